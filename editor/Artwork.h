// The window's artwork, generated at run time from the layout table: the
// background picture, the slider bar, the dial knob and the read-out plate,
// each at the device resolution of a scale: above 1x the panels, frames and
// plates, the shading and the captions are drawn again at that resolution,
// not enlarged from the 1x pictures.
#pragma once

#include "editor/Layout.h"
#include "editor/Scale.h"

#include <cstdint>
#include <vector>

namespace ui {

// A picture with a 1-bit transparency mask (1 = opaque), row-major.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;
    std::vector<std::uint8_t> mask;

    Image() = default;
    Image(int width, int height, Rgb fill);
    Rgb at(int x, int y) const { return pixels[y * width + x]; }
    bool opaque(int x, int y) const { return mask[y * width + x] != 0; }
    void set(int x, int y, Rgb c); // ignores positions outside
    void fill(const Rect& r, Rgb c);
    // Moves the pixel at (x, y) towards `c` by `coverage` (0 .. 1); ignores
    // positions outside.
    void blend(int x, int y, Rgb c, double coverage);
};

// Sizes at 1x; at a scale each is its size's edge (Scale::edge).
struct Artwork {
    Image background; // Image1, 391 x 161, opaque
    Image bar;        // IlBar, 120 x 16
    Image knob;       // ilDial, 41 x 41, transparent outside the knob
    Image plate;      // iPrintOut, 129 x 25, opaque
};

// Generated on first use of each scale and never changed after; shared by
// every window of the process.
const Artwork& artwork(Scale scale);
const Artwork& artwork(); // 1x

Image makeBackground(Scale scale = {});
Image makeBar(Scale scale = {});
Image makeKnob(Scale scale = {});
Image makePlate(Scale scale = {});

} // namespace ui
