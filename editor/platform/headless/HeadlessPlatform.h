// The headless back-end: every area is the shared software raster, timers
// and mouse events are driven by the caller, and text calls are recorded
// (and drawn with the project's bitmap font so that pictures show them).
// Tests and the picture tools run all of the window's behaviour on it; the
// shipped plug-in never contains it.
#pragma once

#include "editor/LifeToken.h"
#include "editor/MouseRouter.h"
#include "editor/Platform.h"
#include "editor/RasterSurface.h"
#include "editor/TimerPacer.h"

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ui {

class HeadlessPlatform;
class HeadlessWindow;

struct TextCall {
    int x, y;
    std::string text;
    std::string font;
    int points;
    Rgb colour;
    bool transparent;
};

class HeadlessSurface final : public RasterSurface {
public:
    HeadlessSurface(HeadlessWindow& owner, int width, int height, Scale scale);

    // Text drawn since the surface was last covered whole.
    const std::vector<TextCall>& texts() const { return textLog; }
    // Drawing operations so far.
    int operations() const { return operationCount; }

private:
    void drawn(bool coversAll) override;
    void textDrawn(int x, int y, std::string_view text) override;

    HeadlessWindow& owner;
    std::vector<TextCall> textLog;
    int operationCount = 0;
};

class HeadlessWindow final : public NativeWindow {
public:
    HeadlessWindow(HeadlessPlatform& platform, void* parent, WindowListener& listener,
                   Scale scale = {});
    ~HeadlessWindow() override;

    Scale scale() const override { return windowScale; }
    void setBounds(int x, int y, int width, int height) override;
    int clientWidth() const override { return bounds.width(); }
    int clientHeight() const override { return bounds.height(); }
    void show() override { shown = true; }
    void hide() override { shown = false; }
    void setDoubleBuffered(bool on) override { doubleBuffered = on; }
    Surface& surface(AreaId area) override;
    void processRepaints() override { pendingRepaints = 0; }
    void startTimer(TimerId id, int periodMs) override;
    std::string decimalSeparator() const override;

    // Driven by the caller. Mouse positions are client coordinates in
    // device pixels, as the window system gives them.
    void press(MouseButton button, int x, int y) {
        router.press(button, windowScale.layout(x), windowScale.layout(y));
    }
    void move(int x, int y) { router.move(windowScale.layout(x), windowScale.layout(y)); }
    void release(MouseButton button, int x, int y) {
        router.release(button, windowScale.layout(x), windowScale.layout(y));
    }
    // Lets `ms` milliseconds pass, firing every timer that falls due, in order.
    void advance(int ms);
    void fireTimer(TimerId id);

    void* parent() const { return parentWindow; }
    bool visible() const { return shown; }
    bool isDoubleBuffered() const { return doubleBuffered; }
    const Rect& placement() const { return bounds; }
    int timerPeriod(TimerId id) const { return timers.period(id); }
    int repaintsPending() const { return pendingRepaints; }
    // Null until the area was first drawn into.
    const HeadlessSurface* surfaceIfMade(AreaId area) const {
        return surfaces[static_cast<int>(area)].get();
    }
    const MouseRouter& mouse() const { return router; }

    // The client area as it would show, in device pixels: the areas in
    // stacking order.
    Image composite() const;
    bool writePng(const std::string& path) const;

    void invalidate() { ++pendingRepaints; }

private:
    friend class HeadlessPlatform;
    HeadlessPlatform* platform; // null once the platform is gone
    void* parentWindow;
    WindowListener& listener;
    MouseRouter router;
    Scale windowScale;
    Rect bounds;
    bool shown = false;
    bool doubleBuffered = false;
    int pendingRepaints = 0;
    std::array<std::unique_ptr<HeadlessSurface>, kAreaCount> surfaces;
    TimerPacer timers;
    long long now = 0;   // ms
    LifeToken lifeToken; // the timer loop checks it after each handler
};

class HeadlessPlatform final : public Platform {
public:
    HeadlessPlatform() = default;
    // Windows that outlive their platform (an effect the host never closed,
    // at process exit) forget it instead of reaching freed memory.
    ~HeadlessPlatform() override;
    HeadlessPlatform(const HeadlessPlatform&) = delete;
    HeadlessPlatform& operator=(const HeadlessPlatform&) = delete;

    std::unique_ptr<NativeWindow> createChildWindow(void* parent, WindowListener& listener,
                                                    std::optional<Scale> scale) override;

    // What the user's locale would give; "." unless a test chooses another.
    std::string decimalSeparator = ".";
    // What the system would ask windows to draw at: 1x unless a test
    // chooses another.
    Scale systemScale;
    // Makes window creation fail, as a platform without a usable parent would.
    bool refuseWindows = false;

    // Live windows, oldest first. Instances may open and close editors on
    // different threads, so the list is guarded and handed out as a copy.
    std::vector<HeadlessWindow*> windows() const;
    HeadlessWindow* lastWindow() const;
    int windowsMade() const;

private:
    friend class HeadlessWindow;
    void add(HeadlessWindow* w);
    void remove(HeadlessWindow* w);

    mutable std::mutex lock;
    std::vector<HeadlessWindow*> live;
    int made = 0;
};

} // namespace ui
