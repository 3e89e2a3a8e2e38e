// The editor as a CLAP plug-in's GUI: the same window as the VST 2 and LV2
// editors (uEditor), embedded in the window the host gives (set_parent):
// the X11 back-end on Linux, the Win32 one on Windows. It is not resizable;
// it draws at the scale the host sets (1x, 1.5x, 2x or 3x), else at the
// system's.
//
// On X11 the window's events and its two timers run when the instance's
// idle() is called, on the host's main thread: from the host's timer
// where the host offers timer support, else from the host's main-thread
// callback, which a thread of the editor's asks for at the same pace. On
// Windows the window's own messages and timers run it.
//
// Values: the window edits normalised values, as it always does. What the
// user sets goes to the instance, which applies it and tells the host
// (gestures included); what the host sets reaches the window at its next
// 250 ms tick, as automation does in the VST 2 editor.
#pragma once

#include "editor/EditedEffect.h"
#include "editor/LifeToken.h"
#include "editor/Scale.h"
#include "editor/uEditor.h"
#include "plugin/params/Parameters.h"

#include <clap/ext/gui.h>
#include <clap/ext/timer-support.h>
#include <clap/host.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>

namespace clapglue {

// What the editor needs of its instance. The calls come on the thread the
// window runs on, the host's main thread.
class EditorLink {
public:
    virtual float value(int index) const = 0; // normalised
    virtual void beginEdit(int index) = 0;
    virtual void edit(int index, float value) = 0;
    virtual void endEdit(int index) = 0;

protected:
    ~EditorLink() = default;
};

class Editor final : private EditedEffect {
public:
    Editor(EditorLink& link, const clap_host& host, const clap_host_gui* hostGui,
           const clap_host_timer_support* hostTimers);
    ~Editor();
    Editor(const Editor&) = delete;
    Editor& operator=(const Editor&) = delete;

    // The host's scale: any finite factor above 0 goes to the nearest of the
    // four; a window that is open already is made again at it.
    bool setScale(double factor);
    // The window's size in device pixels; before the window exists, the
    // size at the host's scale, else at 1x.
    void size(std::uint32_t& width, std::uint32_t& height) const;
    bool isSize(std::uint32_t width, std::uint32_t height) const;
    // A new window in `parent` (a window made before goes); false when the
    // platform cannot make one there.
    bool setParent(void* parent);
    bool show();
    bool hide();
    // The host's timer `id` fired (its timer support).
    void timer(clap_id id);
    // The host's main-thread callback, which the editor's own thread asks
    // for where the host offers no timers.
    void mainThreadCall();

private:
    void beginEdit(int index) override { link.beginEdit(index); }
    void endEdit(int index) override { link.endEdit(index); }
    void setParameterAutomated(int index, float value) override;
    // Called by the window at its 250 ms tick: the host's changes reach the
    // window's values here.
    bool takeRefreshRequest() override;

    ui::Scale scaleInForce() const;
    // Ends a gesture in progress and destroys the window; false when the
    // host ended this editor on the way (nothing of it may be touched then).
    bool closeWindow();
    void idle();
    void startPacing();

    EditorLink& link;
    const clap_host& host;
    const clap_host_gui* hostGui;
    const clap_host_timer_support* hostTimers;
    std::optional<ui::Scale> hostScale;
    // The window's values block: it outlives the window.
    TWindowValues values;
    std::unique_ptr<TPluginEditorWindow> window;
    void* parent = nullptr;
    bool shown = false;
    // The values last copied into the window, bit for bit.
    std::array<float, kNumActiveParams> synced{};
    std::optional<clap_id> timerId;
    std::jthread pacer; // asks for main-thread calls where the host has no timers
    ui::LifeToken lifeToken;
};

} // namespace clapglue
