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

// A set of picture pixels, for the panels whose outline is not a rectangle,
// kept within `box`: the part of the picture that it and the rings around
// it reach.
struct Region {
    Rect box;
    std::vector<std::uint8_t> in; // row-major within the box
    explicit Region(const Rect& box)
        : box(box), in(static_cast<std::size_t>(box.width()) * box.height(), 0) {}
    void add(const Rect& r, bool value = true) {
        for (int y = std::max(r.top, box.top); y < std::min(r.bottom, box.bottom); ++y)
            for (int x = std::max(r.left, box.left); x < std::min(r.right, box.right); ++x)
                in[(y - box.top) * box.width() + x - box.left] = value;
    }
    // Each pixel's distance to the region in the chessboard metric (0
    // inside), and where `upLeftOnly`, to the part of it that lies above and
    // left of the pixel (x and y no greater); row-major within the box, and
    // capped at `cap`, which the box must reach beyond the region.
    std::vector<int> distances(int cap, bool upLeftOnly) const {
        const int width = box.width(), height = box.height();
        std::vector<int> d(in.size());
        auto at = [&](int x, int y) {
            return x >= 0 && y >= 0 && x < width && y < height ? d[y * width + x] : cap;
        };
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                int v = cap;
                if (in[y * width + x]) {
                    v = 0;
                } else {
                    v = std::min(v, at(x - 1, y) + 1);
                    v = std::min(v, at(x - 1, y - 1) + 1);
                    v = std::min(v, at(x, y - 1) + 1);
                    if (!upLeftOnly) v = std::min(v, at(x + 1, y - 1) + 1);
                }
                d[y * width + x] = std::min(v, cap);
            }
        if (upLeftOnly) return d;
        for (int y = height - 1; y >= 0; --y)
            for (int x = width - 1; x >= 0; --x) {
                int& v = d[y * width + x];
                v = std::min(v, at(x + 1, y) + 1);
                v = std::min(v, at(x + 1, y + 1) + 1);
                v = std::min(v, at(x, y + 1) + 1);
                v = std::min(v, at(x - 1, y + 1) + 1);
            }
        return d;
    }
};

// How far the rings around a panel reach, and one pixel more, in device pixels.
constexpr int ringReach(Scale scale) { return scale.halves() + 1; }

// Plates and panels sit in the frame as if milled into it: a black edge
// one layout pixel wide all round, then, one more layout pixel out, a
// shadow on the upper left and a highlight on the lower right of the
// surrounding metal. The region and the picture are in device pixels, so
// the edge reaches out to the factor (2r <= halves) and the shading to twice
// it (r <= halves).
void inset(Image& img, const Region& region, Rgb face, Scale scale) {
    const int h = scale.halves();
    const auto distance = region.distances(ringReach(scale), false);
    const auto upLeft = region.distances(ringReach(scale), true);
    const Rect& box = region.box;
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x) {
            const int i = (y - box.top) * box.width() + x - box.left;
            const int r = distance[i];
            if (r == 0) {
                img.set(x, y, face);
            } else if (2 * r <= h) {
                img.set(x, y, kBlack);
            } else if (r <= h) {
                // The region lies up and to the left within the ring's reach:
                // this is the lower right side, which the light falls on.
                const bool lowerRight = upLeft[i] <= h;
                img.set(x, y, shade(img.at(x, y), lowerRight ? 1.45 : 0.55));
            }
        }
}

void caption(Image& img, const Caption& c, Scale scale) {
    const TextStyle style{c.scale, true};
    const int left = c.centreX - textWidth(c.text, style) / 2;
    if (scale.isOne()) {
        const auto dots = textPixels(c.text, style);
        // A soft drop shadow lifts the white lettering off the grey.
        for (auto [x, y] : dots)
            img.set(left + x + 1, c.top + y + 1,
                    shade(img.at(std::min(left + x + 1, img.width - 1),
                                 std::min(c.top + y + 1, img.height - 1)),
                          0.45));
        for (auto [x, y] : dots) img.set(left + x, c.top + y, c.colour);
        return;
    }
    // The same lettering, shadow and boldness one layout pixel each, as
    // smooth strokes at the device resolution.
    const double s = scale.factor();
    const double x0 = left * s, y0 = c.top * s;
    for (const Coverage& p : smoothTextPixels(c.text, c.scale * s, s, x0 + s, y0 + s))
        if (p.x >= 0 && p.y >= 0 && p.x < img.width && p.y < img.height)
            img.blend(p.x, p.y, shade(img.at(p.x, p.y), 0.45), p.amount);
    for (const Coverage& p : smoothTextPixels(c.text, c.scale * s, s, x0, y0))
        img.blend(p.x, p.y, c.colour, p.amount);
}

// A countersunk screw head with a slot, centred on layout pixel (cx, cy).
void screw(Image& img, int cx, int cy, Scale scale) {
    for (int y = scale.edge(cy - 5); y < scale.edge(cy + 6); ++y)
        for (int x = scale.edge(cx - 5); x < scale.edge(cx + 6); ++x) {
            const double dx = scale.centre(x) - cx, dy = scale.centre(y) - cy;
            const double d = std::hypot(dx, dy);
            if (d <= 3.7) {
                const double light = 1.0 - (dx + dy) / 9.0; // lit from the upper left
                img.set(x, y, grey(clampByte(130 * light)));
            } else if (d <= 4.6) {
                img.set(x, y, grey(20));
            }
            // The slot at 45 degrees, one layout pixel wide, and its lit edge
            // beside it.
            const double across = dx - dy;
            if (dy < -3.5 || dy >= 3.5) continue;
            if (across >= -0.5 && across < 0.5) img.set(x, y, grey(35));
            if (across >= 0.5 && across < 1.5) img.set(x, y, grey(170));
        }
}

} // namespace

void Image::blend(int x, int y, Rgb c, double coverage) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    Rgb& p = pixels[y * width + x];
    auto mix = [&](std::uint8_t under, std::uint8_t over) {
        return clampByte(under + (over - under) * coverage);
    };
    p = {mix(p.r, c.r), mix(p.g, c.g), mix(p.b, c.b)};
}

Image makeBackground(Scale scale) {
    Image img(scale.edge(kPictureWidth), scale.edge(kPictureHeight), kFrameColour);
    // Brushed-metal frame: a faint vertical gradient with fine horizontal
    // grain, the grain at the device resolution.
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const double grain = ((x * 7 + y * 13) % 5 == 0) ? 0.97 : 1.0;
            img.set(x, y,
                    shade(kFrameColour, (1.12 - 0.22 * scale.centre(y) / kPictureHeight) * grain));
        }
    auto fill = [&](const Rect& r, Rgb c) { img.fill(scale.rect(r), c); };
    // The outer bevel on the visible part: lit at the top-left corner.
    const int w = kClientWidth, h = kClientHeight;
    for (int i = 0; i < 3; ++i) {
        const Rgb light = shade(kFrameLight, 1.0 - 0.18 * i);
        const Rgb dark = shade(kFrameDark, 1.0 + 0.5 * i);
        fill({i, i, w - i, i + 1}, light);
        fill({i, h - 1 - i, w - i, h - i}, dark);
        fill({i, i, i + 1, h - i}, light);
        fill({w - 1 - i, i, w - i, h - i}, dark);
    }
    // Never visible: the last column and the bottom three rows.
    fill({w, 0, kPictureWidth, kPictureHeight}, kFrameDark);
    fill({0, h, kPictureWidth, kPictureHeight}, kFrameDark);

    // A panel's outline less the corners cut from it, within what its rings reach.
    auto region = [&](const Rect& outline, std::initializer_list<Rect> cuts) {
        const Rect o = scale.rect(outline);
        const int reach = ringReach(scale);
        Region r({std::max(o.left - reach, 0), std::max(o.top - reach, 0),
                  std::min(o.right + reach, img.width), std::min(o.bottom + reach, img.height)});
        r.add(o);
        for (const Rect& cut : cuts) r.add(scale.rect(cut), false);
        return r;
    };
    inset(img, region(kLeftPanel, {}), kPanelColour, scale);
    inset(img, region(kRightPanelBox, {kRightPanelCutReadout, kRightPanelCutLogo}), kPanelColour,
          scale);
    inset(img, region(kReadoutPlate, {}), kReadoutPlateColour, scale);
    inset(img, region(kLogoPlate, {}), kLogoPlateColour, scale);

    for (const auto& c : kCaptions) caption(img, c, scale);
    screw(img, 10, 9, scale);
    screw(img, w - 11, 9, scale);
    screw(img, 10, h - 11, scale);
    screw(img, w - 11, h - 11, scale);
    return img;
}

Image makeBar(Scale scale) {
    Image img(scale.edge(kBarWidth), scale.edge(kBarHeight), grey(128));
    const double rows[kBarHeight] = {215, 190, 165,                // light top edge
                                     0,   0,   0,   0,             // groove
                                     150, 146, 142, 138, 134, 130, // rail
                                     72,  52,  34};                // dark bottom edge
    // The rows form bands; within one the shade runs smoothly from row to
    // row, so that at a scale the device rows between two layout rows take
    // the shades between theirs.
    struct Band {
        int first, last;
    };
    constexpr Band bands[] = {{0, 2}, {3, 6}, {7, 12}, {13, 15}};
    for (int y = 0; y < img.height; ++y) {
        const int row = std::clamp(scale.layout(y), 0, kBarHeight - 1);
        Band band = bands[0];
        for (const Band& b : bands)
            if (row >= b.first && row <= b.last) band = b;
        const double at = std::clamp(scale.centre(y), double(band.first), double(band.last));
        const int below = static_cast<int>(at);
        const double part = at - below;
        const double level =
            part > 0 ? rows[below] + (rows[below + 1] - rows[below]) * part : rows[below];
        img.fill({0, y, img.width, y + 1}, grey(clampByte(level)));
    }
    auto fill = [&](const Rect& r, Rgb c) { img.fill(scale.rect(r), c); };
    // The groove stops three pixels short of each end, inside the bevel.
    fill({0, 3, 3, 7}, grey(160));
    fill({kBarWidth - 3, 3, kBarWidth, 7}, grey(96));
    fill({0, 7, 1, 13}, grey(175));
    fill({kBarWidth - 1, 7, kBarWidth, 13}, grey(90));
    // Scale ticks on the rail at every tenth of the travel (value pixels 0 .. 100).
    for (int t = 0; t <= 10; ++t) {
        const int x = 10 + 10 * t;
        const int length = (t % 5 == 0) ? 4 : 2;
        fill({x, 8, x + 1, 8 + length}, grey(70));
    }
    // The top-right and bottom-left corner pixels are transparent.
    for (const Rect& corner :
         {Rect{kBarWidth - 1, 0, kBarWidth, 1}, Rect{0, kBarHeight - 1, 1, kBarHeight}}) {
        const Rect r = scale.rect(corner);
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                img.mask[y * img.width + x] = 0;
                img.pixels[y * img.width + x] = kBlack;
            }
    }
    return img;
}

Image makeKnob(Scale scale) {
    const int size = scale.edge(kKnobSize);
    Image img(size, size, kBlack);
    const double outer = kKnobRadius + 0.5;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            // Layout pixels from the knob's centre, at the device pixel's centre.
            const double dx = scale.centre(x) - kKnobCentre, dy = scale.centre(y) - kKnobCentre;
            const double d = std::hypot(dx, dy);
            const int i = y * size + x;
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

Image makePlate(Scale scale) {
    Image img(scale.edge(kPlateWidth), scale.edge(kPlateHeight), grey(205));
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            img.set(x, y,
                    grey(clampByte(214 - 16.0 * scale.centre(y) / (kPlateHeight - 1) -
                                   4.0 * scale.centre(x) / kPlateWidth)));
    return img;
}

const Artwork& artwork(Scale scale) {
    // One set per scale, made by the first window that needs it.
    auto make = [](Scale s) {
        return Artwork{makeBackground(s), makeBar(s), makeKnob(s), makePlate(s)};
    };
    switch (scale.halves()) {
    case 3: {
        static const Artwork art = make(scale);
        return art;
    }
    case 4: {
        static const Artwork art = make(scale);
        return art;
    }
    case 6: {
        static const Artwork art = make(scale);
        return art;
    }
    default:
        return artwork();
    }
}

const Artwork& artwork() {
    static const Artwork art{makeBackground(), makeBar(), makeKnob(), makePlate()};
    return art;
}

} // namespace ui
