#include "editor/RasterSurface.h"

#include "editor/BitmapFont.h"

namespace ui {

namespace {
// The bitmap font's dots start this far below the text's top, where a
// system font of the read-out's size would start its capitals.
constexpr int kTextTopOffset = 3;
} // namespace

RasterSurface::RasterSurface(int width, int height, Scale scale)
    : deviceScale(scale), bitmap(scale.edge(width), scale.edge(height), kWindowColour) {}

void RasterSurface::fillRect(const Rect& layout) {
    const Rect r = deviceScale.rect(layout);
    bitmap.fill(r, brush);
    drawn(r.left <= 0 && r.top <= 0 && r.right >= bitmap.width && r.bottom >= bitmap.height);
}

void RasterSurface::ellipse(const Rect& layout) {
    const Rect r = deviceScale.rect(layout);
    const double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
    const double rx = r.width() / 2.0, ry = r.height() / 2.0;
    auto inside = [&](int x, int y) {
        if (rx <= 0 || ry <= 0) return false;
        const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
        return dx * dx + dy * dy <= 1.0;
    };
    // The outline is one layout pixel wide: a pixel is on it when the pixel
    // that far beside it, in any of the four directions, lies outside.
    const int pen1 = deviceScale.edge(1);
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            if (!inside(x, y)) continue;
            const bool edge = !inside(x - pen1, y) || !inside(x + pen1, y) ||
                              !inside(x, y - pen1) || !inside(x, y + pen1);
            bitmap.set(x, y, edge ? pen : brush);
        }
    drawn(false);
}

void RasterSurface::drawImage(const Image& image, int layoutX, int layoutY) {
    const int x = deviceScale.edge(layoutX), y = deviceScale.edge(layoutY);
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

void RasterSurface::setFont(std::string_view name, int size, Rgb colour) {
    font = std::string(name);
    points = size;
    textColour = colour;
}

void RasterSurface::textOut(int x, int y, std::string_view text) {
    const TextStyle style{};
    if (!transparentText && !text.empty())
        bitmap.fill(deviceScale.rect(
                        rectOf(x, y, textWidth(text, style), kGlyphHeight + 2 * kTextTopOffset)),
                    kWhite);
    if (deviceScale.isOne()) {
        for (auto [dx, dy] : textPixels(text, style))
            bitmap.set(x + dx, y + kTextTopOffset + dy, textColour);
    } else {
        // The dots where the layout puts them, times the scale: not moved
        // to whole device pixels, so that each covers the device pixels of
        // its layout pixel.
        const double f = deviceScale.factor();
        for (const Coverage& p : smoothTextPixels(text, f, 0, x * f, (y + kTextTopOffset) * f))
            bitmap.blend(p.x, p.y, textColour, p.amount);
    }
    drawn(false);
    textDrawn(x, y, text);
}

} // namespace ui
