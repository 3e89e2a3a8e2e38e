#include "editor/platform/headless/HeadlessPlatform.h"

#include "editor/platform/headless/Png.h"

#include <algorithm>

namespace ui {

// ---- surface --------------------------------------------------------------

HeadlessSurface::HeadlessSurface(HeadlessWindow& owner, int width, int height)
    : RasterSurface(width, height), owner(owner) {}

void HeadlessSurface::drawn(bool coversAll) {
    ++operationCount;
    if (coversAll) textLog.clear();
    owner.invalidate();
}

void HeadlessSurface::textDrawn(int x, int y, std::string_view text) {
    textLog.push_back(
        {x, y, std::string(text), fontName(), fontPoints(), fontColour(), textIsTransparent()});
}

// ---- window ---------------------------------------------------------------

HeadlessWindow::HeadlessWindow(HeadlessPlatform& platform, void* parent, WindowListener& listener)
    : platform(&platform), parentWindow(parent), listener(listener), router(listener) {
    platform.add(this);
}

HeadlessWindow::~HeadlessWindow() {
    if (platform) platform->remove(this);
}

void HeadlessWindow::setBounds(int x, int y, int width, int height) {
    bounds = rectOf(x, y, width, height);
}

Surface& HeadlessWindow::surface(AreaId id) {
    auto& s = surfaces[static_cast<int>(id)];
    if (!s) {
        const Rect& b = area(id).bounds;
        s = std::make_unique<HeadlessSurface>(*this, b.width(), b.height());
    }
    return *s;
}

void HeadlessWindow::startTimer(TimerId id, int periodMs) {
    auto& t = timers[static_cast<int>(id)];
    t.period = periodMs;
    t.due = now + periodMs;
}

std::string HeadlessWindow::decimalSeparator() const {
    return platform ? platform->decimalSeparator : ".";
}

void HeadlessWindow::advance(int ms) {
    const long long end = now + ms;
    for (;;) {
        // The earliest timer due by `end`; Timer1 first on a tie.
        int next = -1;
        for (int i = 0; i < 2; ++i)
            if (timers[i].period > 0 && timers[i].due <= end &&
                (next < 0 || timers[i].due < timers[next].due))
                next = i;
        if (next < 0) break;
        now = timers[next].due;
        timers[next].due += timers[next].period;
        // The handler may end this window (a host that closes the editor
        // when it hears of a change); then nothing of it is touched again.
        const auto alive = lifeToken.watch();
        listener.timer(static_cast<TimerId>(next));
        if (alive.expired()) return;
    }
    now = end;
}

void HeadlessWindow::fireTimer(TimerId id) {
    if (timers[static_cast<int>(id)].period > 0) listener.timer(id);
}

Image HeadlessWindow::composite() const {
    Image out(bounds.width(), bounds.height(), kWindowColour);
    for (const auto& a : kAreas) {
        const auto& s = surfaces[static_cast<int>(a.id)];
        if (!s) continue;
        const Image& src = s->pixels();
        for (int y = 0; y < src.height; ++y)
            for (int x = 0; x < src.width; ++x)
                out.set(a.bounds.left + x, a.bounds.top + y, src.at(x, y));
    }
    return out;
}

bool HeadlessWindow::writePng(const std::string& path) const {
    return png::write(path, composite());
}

// ---- platform -------------------------------------------------------------

HeadlessPlatform::~HeadlessPlatform() {
    std::lock_guard<std::mutex> g(lock);
    for (HeadlessWindow* w : live) w->platform = nullptr;
}

void HeadlessPlatform::add(HeadlessWindow* w) {
    std::lock_guard<std::mutex> g(lock);
    live.push_back(w);
    ++made;
}

void HeadlessPlatform::remove(HeadlessWindow* w) {
    std::lock_guard<std::mutex> g(lock);
    live.erase(std::remove(live.begin(), live.end(), w), live.end());
}

std::vector<HeadlessWindow*> HeadlessPlatform::windows() const {
    std::lock_guard<std::mutex> g(lock);
    return live;
}

HeadlessWindow* HeadlessPlatform::lastWindow() const {
    std::lock_guard<std::mutex> g(lock);
    return live.empty() ? nullptr : live.back();
}

int HeadlessPlatform::windowsMade() const {
    std::lock_guard<std::mutex> g(lock);
    return made;
}

std::unique_ptr<NativeWindow> HeadlessPlatform::createChildWindow(void* parent,
                                                                  WindowListener& listener) {
    if (refuseWindows) return nullptr;
    return std::make_unique<HeadlessWindow>(*this, parent, listener);
}

} // namespace ui
