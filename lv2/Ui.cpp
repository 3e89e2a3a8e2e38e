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
#include "frame/DFloatingPoint.h"
#include "lv2/Ports.h"
#include "plugin/params/Units.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

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

    // The window in the host's window `parent`, at `scale` where the host
    // gives one (else the system's); false when it cannot be made (no
    // display, a parent id that is no window).
    bool open(void* parent, std::optional<ui::Scale> scale) {
        window = TPluginEditorWindow::create(ui::editorPlatform(), parent, &values, scale);
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

// The scale the host asks the UI to draw at (ui:scaleFactor among its
// options, a float), or none: then the system's scale (Xft.dpi, GDK_SCALE)
// holds, as for the VST 2 editor.
std::optional<ui::Scale> hostScale(const LV2_Feature* const* features) {
    auto options = static_cast<const LV2_Options_Option*>(feature(features, LV2_OPTIONS__options));
    auto map = static_cast<const LV2_URID_Map*>(feature(features, LV2_URID__map));
    if (!options || !map || !map->map) return std::nullopt;
    const LV2_URID scaleFactor = map->map(map->handle, LV2_UI__scaleFactor);
    const LV2_URID atomFloat = map->map(map->handle, LV2_ATOM__Float);
    for (const LV2_Options_Option* o = options; o->key != 0 || o->value != nullptr; ++o) {
        if (o->key != scaleFactor || o->type != atomFloat || o->size != sizeof(float) || !o->value)
            continue;
        float factor;
        std::memcpy(&factor, o->value, sizeof factor);
        return ui::Scale::nearest(factor);
    }
    return std::nullopt;
}

// The host's calls, each with every floating-point exception masked.
LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
    FloatingPointScope fp;
    if (!pluginUri || kPluginUri != pluginUri || !write || !widget) return nullptr;
    void* parent = const_cast<void*>(feature(features, LV2_UI__parent));
    if (!parent) return nullptr;
    auto touch = static_cast<const LV2UI_Touch*>(feature(features, LV2_UI__touch));
    auto resize = static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize));
    std::unique_ptr<EditorUi> ui(new (std::nothrow) EditorUi(write, controller, touch));
    if (!ui || !ui->open(parent, hostScale(features))) return nullptr;
    ui::NativeWindow& native = ui->editor().native();
    *widget = native.nativeHandle();
    if (resize) resize->ui_resize(resize->handle, native.clientWidth(), native.clientHeight());
    return ui.release();
}

void cleanup(LV2UI_Handle h) {
    FloatingPointScope fp;
    delete static_cast<EditorUi*>(h);
}

void portEvent(LV2UI_Handle h, std::uint32_t port, std::uint32_t size, std::uint32_t format,
               const void* buffer) {
    FloatingPointScope fp;
    static_cast<EditorUi*>(h)->portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle h) {
    FloatingPointScope fp;
    return static_cast<EditorUi*>(h)->idle();
}

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
