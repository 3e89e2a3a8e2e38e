#include "editor/platform/headless/HeadlessPlatform.h"

#include "editor/Composition.h"
#include "editor/platform/headless/Png.h"

#include <algorithm>

namespace ui {

// ---- surface --------------------------------------------------------------

HeadlessSurface::HeadlessSurface(HeadlessWindow& owner, int width, int height, Scale scale)
    : RasterSurface(width, height, scale), owner(owner) {}

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

HeadlessWindow::HeadlessWindow(HeadlessPlatform& platform, void* parent, WindowListener& listener,
                               Scale scale)
    : platform(&platform), parentWindow(parent), listener(listener), router(listener),
      windowScale(scale), bounds(scale.rect({0, 0, kClientWidth, kClientHeight})) {
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
        s = std::make_unique<HeadlessSurface>(*this, b.width(), b.height(), windowScale);
    }
    return *s;
}

void HeadlessWindow::startTimer(TimerId id, int periodMs) { timers.start(id, periodMs, now); }

std::string HeadlessWindow::decimalSeparator() const {
    return platform ? platform->decimalSeparator : ".";
}

void HeadlessWindow::advance(int ms) {
    // The clock steps from one due time to the next, so that every firing
    // in the span happens, in order (Timer1 first on a tie).
    const long long end = now + ms;
    for (auto due = timers.nextDue(); due && *due <= end; due = timers.nextDue()) {
        now = *due;
        const auto id = timers.take(now);
        if (!id) break;
        // The handler may end this window (a host that closes the editor
        // when it hears of a change); then nothing of it is touched again.
        const auto alive = lifeToken.watch();
        listener.timer(*id);
        if (alive.expired()) return;
    }
    now = end;
}

void HeadlessWindow::fireTimer(TimerId id) {
    if (timers.running(id)) listener.timer(id);
}

Image HeadlessWindow::composite() const {
    Image out(bounds.width(), bounds.height(), kWindowColour);
    composeWindow(
        rectOf(0, 0, bounds.width(), bounds.height()), windowScale,
        [&](AreaId id) -> const Image* {
            const auto& s = surfaces[static_cast<int>(id)];
            return s ? &s->pixels() : nullptr;
        },
        [&](int x, int y, Rgb c) { out.set(x, y, c); });
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
                                                                  WindowListener& listener,
                                                                  std::optional<Scale> scale) {
    if (refuseWindows) return nullptr;
    return std::make_unique<HeadlessWindow>(*this, parent, listener, scale.value_or(systemScale));
}

} // namespace ui
