#include "editor/platform/headless/HeadlessPlatform.h"

#include "editor/BitmapFont.h"
#include "editor/platform/headless/Png.h"

#include <algorithm>

namespace ui {

namespace {
// The bitmap font's dots start this far below the text's top, where a
// system font of the read-out's size would start its capitals.
constexpr int kTextTopOffset = 3;
} // namespace

// ---- surface --------------------------------------------------------------

HeadlessSurface::HeadlessSurface(HeadlessWindow& owner, int width, int height)
    : owner(owner), bitmap(width, height, kWindowColour) {}

void HeadlessSurface::drawn(bool coversAll) {
    ++operationCount;
    if (coversAll) textLog.clear();
    owner.invalidate();
}

void HeadlessSurface::fillRect(const Rect& r) {
    bitmap.fill(r, brush);
    drawn(r.left <= 0 && r.top <= 0 && r.right >= bitmap.width && r.bottom >= bitmap.height);
}

void HeadlessSurface::ellipse(const Rect& r) {
    const double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
    const double rx = r.width() / 2.0, ry = r.height() / 2.0;
    auto inside = [&](int x, int y) {
        if (rx <= 0 || ry <= 0) return false;
        const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
        return dx * dx + dy * dy <= 1.0;
    };
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            if (!inside(x, y)) continue;
            const bool edge =
                !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
            bitmap.set(x, y, edge ? pen : brush);
        }
    drawn(false);
}

void HeadlessSurface::drawImage(const Image& image, int x, int y) {
    bool everyPixel = true;
    for (int iy = 0; iy < image.height; ++iy)
        for (int ix = 0; ix < image.width; ++ix) {
            if (image.opaque(ix, iy))
                bitmap.set(x + ix, y + iy, image.at(ix, iy));
            else
                everyPixel = false;
        }
    drawn(everyPixel && x <= 0 && y <= 0 && x + image.width >= bitmap.width &&
          y + image.height >= bitmap.height);
}

void HeadlessSurface::setFont(std::string_view name, int points, Rgb colour) {
    fontName = std::string(name);
    fontPoints = points;
    fontColour = colour;
}

void HeadlessSurface::textOut(int x, int y, std::string_view text) {
    const TextStyle style{};
    if (!transparentText && !text.empty())
        bitmap.fill(rectOf(x, y, textWidth(text, style), kGlyphHeight + 2 * kTextTopOffset),
                    kWhite);
    for (auto [dx, dy] : textPixels(text, style))
        bitmap.set(x + dx, y + kTextTopOffset + dy, fontColour);
    drawn(false);
    textLog.push_back({x, y, std::string(text), fontName, fontPoints, fontColour, transparentText});
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
        listener.timer(static_cast<TimerId>(next));
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
