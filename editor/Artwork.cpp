#include "editor/Artwork.h"

#include "editor/BitmapFont.h"

#include <algorithm>
#include <cmath>

namespace ui {

Image::Image(int width, int height, Rgb fill)
    : width(width), height(height), pixels(static_cast<std::size_t>(width) * height, fill),
      mask(static_cast<std::size_t>(width) * height, 1) {}

void Image::set(int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    pixels[y * width + x] = c;
}

void Image::fill(const Rect& r, Rgb c) {
    for (int y = std::max(r.top, 0); y < std::min(r.bottom, height); ++y)
        for (int x = std::max(r.left, 0); x < std::min(r.right, width); ++x)
            pixels[y * width + x] = c;
}

namespace {

std::uint8_t clampByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

Rgb shade(Rgb c, double factor) {
    return {clampByte(c.r * factor), clampByte(c.g * factor), clampByte(c.b * factor)};
}

// A set of picture pixels, for the panels whose outline is not a rectangle.
struct Region {
    int width, height;
    std::vector<std::uint8_t> in;
    Region(int w, int h) : width(w), height(h), in(static_cast<std::size_t>(w) * h, 0) {}
    bool has(int x, int y) const {
        return x >= 0 && y >= 0 && x < width && y < height && in[y * width + x];
    }
    void add(const Rect& r, bool value = true) {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (x >= 0 && y >= 0 && x < width && y < height) in[y * width + x] = value;
    }
    // Distance 1 .. 2 outside the region, in the chessboard metric.
    int ring(int x, int y) const {
        if (has(x, y)) return 0;
        for (int d = 1; d <= 2; ++d)
            for (int dy = -d; dy <= d; ++dy)
                for (int dx = -d; dx <= d; ++dx)
                    if (has(x + dx, y + dy)) return d;
        return 3;
    }
};

// Plates and panels sit in the frame as if milled into it: a black edge
// all round, then a shadow on the upper left and a highlight on the lower
// right of the surrounding metal.
void inset(Image& img, const Region& region, Rgb face) {
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const int r = region.ring(x, y);
            if (r == 0) {
                img.set(x, y, face);
            } else if (r == 1) {
                img.set(x, y, kBlack);
            } else if (r == 2) {
                const bool lowerRight = region.has(x - 2, y) || region.has(x, y - 2) ||
                                        region.has(x - 2, y - 2) || region.has(x - 1, y - 2) ||
                                        region.has(x - 2, y - 1);
                img.set(x, y, shade(img.at(x, y), lowerRight ? 1.45 : 0.55));
            }
        }
}

void caption(Image& img, const Caption& c) {
    const TextStyle style{c.scale, true};
    const int left = c.centreX - textWidth(c.text, style) / 2;
    const auto dots = textPixels(c.text, style);
    // A soft drop shadow lifts the white lettering off the grey.
    for (auto [x, y] : dots)
        img.set(left + x + 1, c.top + y + 1,
                shade(img.at(std::min(left + x + 1, img.width - 1),
                             std::min(c.top + y + 1, img.height - 1)),
                      0.45));
    for (auto [x, y] : dots) img.set(left + x, c.top + y, c.colour);
}

// A countersunk screw head with a slot, centred on (cx, cy).
void screw(Image& img, int cx, int cy) {
    for (int y = cy - 5; y <= cy + 5; ++y)
        for (int x = cx - 5; x <= cx + 5; ++x) {
            const double dx = x - cx, dy = y - cy, d = std::hypot(dx, dy);
            if (d > 4.6) continue;
            if (d > 3.7) {
                img.set(x, y, grey(20));
                continue;
            }
            const double light = 1.0 - (dx + dy) / 9.0; // lit from the upper left
            img.set(x, y, grey(clampByte(130 * light)));
        }
    for (int i = -3; i <= 3; ++i) {
        img.set(cx + i, cy + i, grey(35)); // the slot, at 45 degrees
        img.set(cx + i + 1, cy + i, grey(170));
    }
}

} // namespace

Image makeBackground() {
    Image img(kPictureWidth, kPictureHeight, kFrameColour);
    // Brushed-metal frame: a faint vertical gradient with fine horizontal grain.
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const double grain = ((x * 7 + y * 13) % 5 == 0) ? 0.97 : 1.0;
            img.set(x, y, shade(kFrameColour, (1.12 - 0.22 * y / img.height) * grain));
        }
    // The outer bevel on the visible part: lit at the top-left corner.
    const int w = kClientWidth, h = kClientHeight;
    for (int i = 0; i < 3; ++i) {
        const Rgb light = shade(kFrameLight, 1.0 - 0.18 * i);
        const Rgb dark = shade(kFrameDark, 1.0 + 0.5 * i);
        for (int x = i; x < w - i; ++x) {
            img.set(x, i, light);
            img.set(x, h - 1 - i, dark);
        }
        for (int y = i; y < h - i; ++y) {
            img.set(i, y, light);
            img.set(w - 1 - i, y, dark);
        }
    }
    // Never visible: the last column and the bottom three rows.
    img.fill({w, 0, kPictureWidth, kPictureHeight}, kFrameDark);
    img.fill({0, h, kPictureWidth, kPictureHeight}, kFrameDark);

    Region left(img.width, img.height);
    left.add(kLeftPanel);
    inset(img, left, kPanelColour);

    Region right(img.width, img.height);
    right.add(kRightPanelBox);
    right.add(kRightPanelCutReadout, false);
    right.add(kRightPanelCutLogo, false);
    inset(img, right, kPanelColour);

    Region readout(img.width, img.height);
    readout.add(kReadoutPlate);
    inset(img, readout, kReadoutPlateColour);

    Region logo(img.width, img.height);
    logo.add(kLogoPlate);
    inset(img, logo, kLogoPlateColour);

    for (const auto& c : kCaptions) caption(img, c);
    screw(img, 10, 9);
    screw(img, w - 11, 9);
    screw(img, 10, h - 11);
    screw(img, w - 11, h - 11);
    return img;
}

Image makeBar() {
    Image img(kBarWidth, kBarHeight, grey(128));
    const Rgb rows[kBarHeight] = {grey(215), grey(190), grey(165),          // light top edge
                                  grey(0),   grey(0),   grey(0),   grey(0), // groove
                                  grey(150), grey(146), grey(142), grey(138), grey(134),
                                  grey(130), grey(72),  grey(52),  grey(34)}; // dark bottom edge
    for (int y = 0; y < kBarHeight; ++y)
        for (int x = 0; x < kBarWidth; ++x) img.set(x, y, rows[y]);
    // The groove stops three pixels short of each end, inside the bevel.
    for (int y = 3; y <= 6; ++y) {
        for (int x = 0; x < 3; ++x) img.set(x, y, grey(160));
        for (int x = kBarWidth - 3; x < kBarWidth; ++x) img.set(x, y, grey(96));
    }
    for (int y = 7; y < 13; ++y) {
        img.set(0, y, grey(175));
        img.set(kBarWidth - 1, y, grey(90));
    }
    // Scale ticks on the rail at every tenth of the travel (value pixels 0 .. 100).
    for (int t = 0; t <= 10; ++t) {
        const int x = 10 + 10 * t;
        const int length = (t % 5 == 0) ? 4 : 2;
        for (int y = 8; y < 8 + length; ++y) img.set(x, y, grey(70));
    }
    img.mask[kBarWidth - 1] = 0;                // top-right corner
    img.mask[(kBarHeight - 1) * kBarWidth] = 0; // bottom-left corner
    img.pixels[kBarWidth - 1] = kBlack;
    img.pixels[(kBarHeight - 1) * kBarWidth] = kBlack;
    return img;
}

Image makeKnob() {
    Image img(kKnobSize, kKnobSize, kBlack);
    const double outer = kKnobRadius + 0.5;
    for (int y = 0; y < kKnobSize; ++y)
        for (int x = 0; x < kKnobSize; ++x) {
            const double dx = x - kKnobCentre, dy = y - kKnobCentre;
            const double d = std::hypot(dx, dy);
            const int i = y * kKnobSize + x;
            if (d > outer) {
                img.mask[i] = 0;
                img.pixels[i] = kBlack;
                continue;
            }
            // Light comes from the upper left: -1 facing it, +1 facing away.
            const double facing = d > 0 ? (dx + dy) / (d * std::sqrt(2.0)) : 0.0;
            double level;
            if (d > outer - 1.2) {
                level = 28; // dark outline
            } else if (d > 9.5) {
                // Knurled skirt: a lit rim with fine ridges.
                const double ridge =
                    (static_cast<int>(std::atan2(dy, dx) * 24 / 3.14159) & 1) ? 0.9 : 1.0;
                level = (118 - 52 * facing) * ridge;
            } else {
                // Slightly domed cap, brightest up left of the centre.
                const double hx = dx + 3.0, hy = dy + 3.0;
                const double spot = std::exp(-(hx * hx + hy * hy) / 30.0);
                level = 150 - 30 * facing * d / 9.5 + 55 * spot;
                if (d > 8.6) level = 80; // the step between cap and skirt
            }
            std::uint8_t g = clampByte(level);
            // The dial's dot is grey 187; the knob never uses that shade, so
            // the dot stays distinct where it overlaps the skirt.
            if (g == kDotColour.r) --g;
            img.pixels[i] = grey(g);
        }
    return img;
}

Image makePlate() {
    Image img(kPlateWidth, kPlateHeight, grey(205));
    for (int y = 0; y < kPlateHeight; ++y)
        for (int x = 0; x < kPlateWidth; ++x)
            img.set(x, y,
                    grey(clampByte(214 - 16.0 * y / (kPlateHeight - 1) - 4.0 * x / kPlateWidth)));
    return img;
}

const Artwork& artwork() {
    static const Artwork art{makeBackground(), makeBar(), makeKnob(), makePlate()};
    return art;
}

} // namespace ui
