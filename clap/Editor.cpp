#include "clap/Editor.h"

#include "editor/Layout.h"
#include "editor/Platform.h"

#include <bit>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace clapglue {

namespace {

// How often the X11 window's events and timers run: often enough that a
// control follows a drag; its own timers (500 and 250 ms) are paced on this.
constexpr std::uint32_t kIdlePeriodMs = 15;

#if defined(_WIN32)
constexpr bool kHostDrivesWindow = false; // the host's message loop does
#else
constexpr bool kHostDrivesWindow = true;
#endif

} // namespace

Editor::Editor(EditorLink& link, const clap_host& host, const clap_host_gui* hostGui,
               const clap_host_timer_support* hostTimers)
    : link(link), host(host), hostGui(hostGui), hostTimers(hostTimers) {}

Editor::~Editor() {
    // No more main-thread calls are asked for, then the window goes; the
    // host hears the end of a gesture in progress on the way.
    pacer = {};
    if (window) window->endGesture();
    window.reset();
    if (timerId && hostTimers && hostTimers->unregister_timer)
        hostTimers->unregister_timer(&host, *timerId);
}

ui::Scale Editor::scaleInForce() const {
    if (window) return window->native().scale();
    return hostScale.value_or(ui::Scale{});
}

bool Editor::setScale(double factor) {
    if (!std::isfinite(factor) || !(factor > 0.0)) return false;
    hostScale = ui::Scale::nearest(factor);
    // The window draws at one scale for its life: at another it is made again.
    if (window && window->native().scale() != *hostScale) return setParent(parent);
    return true;
}

void Editor::size(std::uint32_t& width, std::uint32_t& height) const {
    if (window) {
        width = static_cast<std::uint32_t>(window->native().clientWidth());
        height = static_cast<std::uint32_t>(window->native().clientHeight());
        return;
    }
    const ui::Scale s = scaleInForce();
    width = static_cast<std::uint32_t>(s.edge(ui::kClientWidth));
    height = static_cast<std::uint32_t>(s.edge(ui::kClientHeight));
}

bool Editor::isSize(std::uint32_t width, std::uint32_t height) const {
    std::uint32_t w = 0, h = 0;
    size(w, h);
    return w == width && h == height;
}

bool Editor::closeWindow() {
    if (!window) return true;
    const auto alive = lifeToken.watch();
    window->endGesture();
    if (alive.expired()) return false;
    window.reset();
    return true;
}

bool Editor::setParent(void* newParent) {
    // What the host was told: the window's size, or before there is one,
    // what get_size answered.
    std::uint32_t toldWidth = 0, toldHeight = 0;
    size(toldWidth, toldHeight);
    if (!closeWindow()) return false;
    window = TPluginEditorWindow::create(ui::editorPlatform(), newParent, &values, hostScale);
    if (!window) {
        parent = nullptr;
        return false;
    }
    parent = newParent;
    TPluginEditorWindow& w = *window;
    for (int i = 0; i < kNumActiveParams; ++i) {
        synced[static_cast<std::size_t>(i)] = link.value(i);
        w.fvar[i] = synced[static_cast<std::size_t>(i)];
    }
    w.plugin = this;
    startPacing();
    if (shown) {
        w.native().processRepaints();
        w.native().show();
        w.SetAll();
    }
    // Where the system's scale made the window another size than the host
    // was told, the host is asked for the room.
    std::uint32_t width = 0, height = 0;
    size(width, height);
    if ((width != toldWidth || height != toldHeight) && hostGui && hostGui->request_resize)
        hostGui->request_resize(&host, width, height);
    return true;
}

bool Editor::show() {
    if (!window) return false;
    window->native().processRepaints();
    window->native().show();
    window->SetAll();
    shown = true;
    return true;
}

bool Editor::hide() {
    if (!window) return false;
    const auto alive = lifeToken.watch();
    window->endGesture();
    if (alive.expired()) return true;
    window->native().hide();
    shown = false;
    return true;
}

void Editor::setParameterAutomated(int index, float value) {
    if (index < 0 || index >= kNumActiveParams) return;
    synced[static_cast<std::size_t>(index)] = value;
    link.edit(index, value);
}

bool Editor::takeRefreshRequest() {
    if (!window) return false;
    for (int i = 0; i < kNumActiveParams; ++i) {
        const float v = link.value(i);
        float& last = synced[static_cast<std::size_t>(i)];
        if (std::bit_cast<std::uint32_t>(v) == std::bit_cast<std::uint32_t>(last)) continue;
        last = v;
        window->fvar[i] = v;
    }
    // The window repaints the controls whose value moved; there are no
    // programs that would ask for more.
    return false;
}

void Editor::idle() {
    // The back-end may end the window, and the host this editor, on the
    // way: nothing follows the call.
    if (window) window->native().idle();
}

void Editor::timer(clap_id id) {
    if (timerId && *timerId == id) idle();
}

void Editor::mainThreadCall() {
    if (!timerId) idle();
}

void Editor::startPacing() {
    if (!kHostDrivesWindow || timerId || pacer.joinable()) return;
    clap_id id = CLAP_INVALID_ID;
    if (hostTimers && hostTimers->register_timer &&
        hostTimers->register_timer(&host, kIdlePeriodMs, &id)) {
        timerId = id;
        return;
    }
    if (!host.request_callback) return;
    // request_callback may be called from any thread; the calls it brings
    // come on the main thread, where the window lives.
    pacer = std::jthread([h = &host](std::stop_token stop) {
        std::mutex m;
        std::condition_variable_any wake;
        std::unique_lock<std::mutex> lock(m);
        while (!stop.stop_requested()) {
            wake.wait_for(lock, stop, std::chrono::milliseconds(kIdlePeriodMs),
                          [] { return false; });
            if (!stop.stop_requested()) h->request_callback(h);
        }
    });
}

} // namespace clapglue
