// The effect's editor glue: answers the host's editor requests, owns the
// editor window while it exists and keeps the effect's editorClosed flag.
#pragma once

#include "editor/EditedEffect.h"
#include "editor/uEditor.h"
#include "frame/DAudioEffect.h"

#include <memory>

class APlugin;
class TPluginEditorWindow;

// To its window it presents the effect through the editor's seam, forwarding
// each call to the effect and, through it, to the host.
class APluginEditor : public AEffEditor, private EditedEffect {
public:
    explicit APluginEditor(APlugin* effect);
    ~APluginEditor() override;

    // The window's size while it exists. Before, and after it closed, the
    // size at the scale in force when that is above 1x, else the answer
    // hosts have always had (518 x 665).
    VstInt32 getRect(ERect** rect) override;
    VstInt32 open(void* ptr) override;
    void close() override;
    void idle() override;
    // Copies the effect's values into the window; any thread may call it.
    void update() override;
    // The host's scale: a finite factor is taken (rounded to 1, 1.5, 2 or
    // 3), and a window made from then on draws at it. A window already open
    // keeps its scale until the editor opens again.
    bool setScaleFactor(float factor) override;

    VstInt32 getOpenCount() const { return openCount; }
    TPluginEditorWindow* getWindow() const { return window.get(); }
    void* getParentWindow() const { return parentWindow; }

private:
    void beginEdit(int index) override;
    void endEdit(int index) override;
    void setParameterAutomated(int index, float value) override;
    bool takeRefreshRequest() override;

    APlugin& plugin() const;
    void destroyWindow();
    // The host's scale if it sent one, else the one the last window drew at
    // (the system's); 1x while neither is known.
    ui::Scale scaleInForce() const;

    ERect rect{};
    VstInt32 openCount = 0;
    // The window's values and refresh request. update, which may run on
    // another thread, writes only here: this block lives as long as the glue.
    TWindowValues values;
    std::unique_ptr<TPluginEditorWindow> window;
    // Whether a window exists, for update on another thread.
    Relaxed<bool> windowLive{false};
    void* parentWindow = nullptr;
    // In halves (Scale::halves), 0 while unknown: the host's scale, which
    // its dispatcher may send on any thread, and the last window's.
    Relaxed<int> hostScale{0};
    Relaxed<int> windowScale{0};
};

// The editor of the plug-in: what its entry hands the effect to make one.
std::unique_ptr<AEffEditor> createPluginEditor(APlugin& effect);
