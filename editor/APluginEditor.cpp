#include "editor/APluginEditor.h"

#include "editor/Platform.h"
#include "editor/uEditor.h"
#include "plugin/uPlugin.h"

#include <cmath>

namespace {
// Answered while no window exists; it is not the window's own size.
constexpr std::int16_t kClosedHeight = 518;
constexpr std::int16_t kClosedWidth = 665;
} // namespace

APluginEditor::APluginEditor(APlugin* effect) : AEffEditor(effect) {}

APluginEditor::~APluginEditor() {
    // A gesture in progress is ended for the host, which pairs every
    // begin-edit with an end-edit.
    if (window) window->endGesture();
    if (window) {
        plugin().setEditorClosed(true);
        destroyWindow();
        parentWindow = nullptr;
    }
}

APlugin& APluginEditor::plugin() const { return *static_cast<APlugin*>(effect); }

ui::Scale APluginEditor::scaleInForce() const {
    const int halves = hostScale ? hostScale : windowScale;
    return halves ? ui::Scale::nearest(halves / 2.0) : ui::Scale{};
}

bool APluginEditor::setScaleFactor(float factor) {
    if (!std::isfinite(factor)) return false;
    hostScale = ui::Scale::nearest(factor).halves();
    return true;
}

VstInt32 APluginEditor::getRect(ERect** out) {
    rect.top = 0;
    rect.left = 0;
    const ui::Scale scale = scaleInForce();
    if (window) {
        rect.bottom = static_cast<std::int16_t>(window->native().clientHeight());
        rect.right = static_cast<std::int16_t>(window->native().clientWidth());
    } else if (!scale.isOne()) {
        rect.bottom = static_cast<std::int16_t>(scale.edge(ui::kClientHeight));
        rect.right = static_cast<std::int16_t>(scale.edge(ui::kClientWidth));
    } else {
        rect.bottom = kClosedHeight;
        rect.right = kClosedWidth;
    }
    // A host that passes no location gets the answer without the rectangle.
    if (out) *out = &rect;
    return 1;
}

VstInt32 APluginEditor::open(void* ptr) {
    parentWindow = ptr;
    ++openCount;
    if (openCount == 1 || !window) {
        std::optional<ui::Scale> asked;
        if (hostScale) asked = ui::Scale::nearest(hostScale / 2.0);
        window = TPluginEditorWindow::create(ui::editorPlatform(), ptr, &values, asked);
        if (!window) {
            // No window could be made (no usable parent): the open did not
            // happen, and the host is told so.
            --openCount;
            parentWindow = nullptr;
            return 0;
        }
        TPluginEditorWindow& w = *window;
        windowScale = w.native().scale().halves();
        w.native().setBounds(0, 0, w.native().clientWidth(), w.native().clientHeight());
        for (int i = 0; i < kWindowValues; ++i) w.fvar[i] = plugin().storedValue(i);
        w.plugin = this;
        windowLive = true;
    }
    plugin().setEditorClosed(false);
    window->native().processRepaints();
    window->native().show();
    window->SetAll();
    return 1;
}

void APluginEditor::close() {
    if (window) {
        // The host hears the end of a gesture in progress, and may end this
        // editor (or the instance) then: nothing of it is touched after that.
        const auto alive = window->lifeWatch();
        window->endGesture();
        if (alive.expired()) return;
        window->native().hide();
    }
    if (--openCount < 0) openCount = 0;
    if (openCount == 0) {
        plugin().setEditorClosed(true);
        destroyWindow();
        parentWindow = nullptr;
    }
}

void APluginEditor::destroyWindow() {
    windowLive = false;
    window.reset();
}

void APluginEditor::idle() {
    // Where the host's idle calls drive the window's events and timers, they
    // arrive here; the back-end may end the window (and this editor) on the
    // way, so nothing follows the call.
    if (window) window->native().idle();
}

void APluginEditor::update() {
    if (plugin().isEditorClosed() || !windowLive) return;
    for (int i = 0; i < kWindowValues; ++i) values.fvar[i] = plugin().storedValue(i);
    // The effect raises the shared flag right before it updates after a
    // program load; note it for this window so that another instance's
    // window cannot consume it first.
    if (plugin().editorRefreshRequested()) values.refreshRequested = true;
}

void APluginEditor::beginEdit(int index) { plugin().beginEdit(index); }
void APluginEditor::endEdit(int index) { plugin().endEdit(index); }
void APluginEditor::setParameterAutomated(int index, float value) {
    plugin().setParameterAutomated(index, value);
}
bool APluginEditor::takeRefreshRequest() { return plugin().takeEditorRefresh(); }

std::unique_ptr<AEffEditor> createPluginEditor(APlugin& effect) {
    return std::make_unique<APluginEditor>(&effect);
}
