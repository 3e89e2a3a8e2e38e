// The editor as the LV2 plug-in's X11 user interface: the same window as
// the VST 2 editor on Linux (uEditor, the X11 back-end), a child of the
// host's window (ui:parent), driven by the host's idle calls
// (ui:idleInterface) as the VST 2 host's effEditIdle drives it: events,
// then the 500 ms and 250 ms timers when due.
//
// The window works in normalised values, as it always does; the ports hold
// units (Units.h). A value the user sets is written to its control port in
// the port's unit; a value the host sends (port_event) reaches the window's
// values block, and the next 250 ms tick moves the control, as automation
// does in the VST 2 editor. Gestures are the host's touch requests where it
// offers ui:touch.
#include "editor/EditedEffect.h"
#include "editor/Platform.h"
#include "editor/uEditor.h"
#include "lv2/Ports.h"
#include "plugin/params/Units.h"

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace {

using namespace lv2glue;

// The feature's data, or null when the host does not offer it.
const void* feature(const LV2_Feature* const* features, const char* uri) {
    for (; features && *features; ++features)
        if (std::strcmp((*features)->URI, uri) == 0) return (*features)->data;
    return nullptr;
}

class EditorUi final : private EditedEffect {
public:
    EditorUi(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch)
        : write(write), controller(controller), touch(touch) {}

    ~EditorUi() {
        // The host hears the end of a gesture in progress: it pairs every
        // touch with a release.
        if (window) window->endGesture();
    }

    // The window in the host's window `parent`; false when it cannot be
    // made (no display, a parent id that is no window).
    bool open(void* parent) {
        window = TPluginEditorWindow::create(ui::editorPlatform(), parent, &values);
        if (!window) return false;
        TPluginEditorWindow& w = *window;
        // The host sends every control's value after this; until then the
        // window shows the factory values, which are the ports' defaults.
        for (const ParameterInfo& p : kParameters) w.fvar[p.index] = p.factoryValue;
        w.plugin = this;
        w.native().processRepaints();
        w.native().show();
        w.SetAll();
        return true;
    }

    TPluginEditorWindow& editor() { return *window; }

    void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format,
                   const void* buffer) {
        if (port >= kNumActiveParams || format != 0 || size != sizeof(float) || !buffer) return;
        float u;
        std::memcpy(&u, buffer, sizeof u);
        const int index = static_cast<int>(port);
        // A value the window holds already, in the port's unit, stays as the
        // window has it: a dial turned to 0.37 on the filter type is written
        // as its choice, 1, and when the 1 comes back the dial stays where
        // the hand left it.
        if (params::unitValue(index, values.fvar[index]) == u) return;
        values.fvar[index] = params::normalisedValue(index, u);
    }

    int idle() {
        window->native().idle();
        return 0;
    }

private:
    void beginEdit(int index) override {
        if (touch && index >= 0 && index < kNumActiveParams)
            touch->touch(touch->handle, static_cast<std::uint32_t>(index), true);
    }
    void endEdit(int index) override {
        if (touch && index >= 0 && index < kNumActiveParams)
            touch->touch(touch->handle, static_cast<std::uint32_t>(index), false);
    }
    void setParameterAutomated(int index, float value) override {
        if (index < 0 || index >= kNumActiveParams) return;
        const float u = params::unitValue(index, value);
        write(controller, static_cast<std::uint32_t>(index), sizeof u, 0, &u);
    }
    // No programs: nothing but the host's values asks for a repaint.
    bool takeRefreshRequest() override { return false; }

    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    const LV2UI_Touch* touch;
    TWindowValues values;
    std::unique_ptr<TPluginEditorWindow> window;
};

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
    if (!pluginUri || kPluginUri != pluginUri || !write || !widget) return nullptr;
    void* parent = const_cast<void*>(feature(features, LV2_UI__parent));
    if (!parent) return nullptr;
    auto touch = static_cast<const LV2UI_Touch*>(feature(features, LV2_UI__touch));
    auto resize = static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize));
    std::unique_ptr<EditorUi> ui(new (std::nothrow) EditorUi(write, controller, touch));
    if (!ui || !ui->open(parent)) return nullptr;
    ui::NativeWindow& native = ui->editor().native();
    *widget = native.nativeHandle();
    if (resize) resize->ui_resize(resize->handle, native.clientWidth(), native.clientHeight());
    return ui.release();
}

void cleanup(LV2UI_Handle h) { delete static_cast<EditorUi*>(h); }

void portEvent(LV2UI_Handle h, std::uint32_t port, std::uint32_t size, std::uint32_t format,
               const void* buffer) {
    static_cast<EditorUi*>(h)->portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle h) { return static_cast<EditorUi*>(h)->idle(); }

const LV2UI_Idle_Interface kIdle{idle};

const void* extensionData(const char* uri) {
    if (uri && std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdle;
    return nullptr;
}

// The URI lives as long as the library: a string_view of a literal.
const LV2UI_Descriptor kDescriptor{kUiUri.data(), instantiate, cleanup, portEvent, extensionData};

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
