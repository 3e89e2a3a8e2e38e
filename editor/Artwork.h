// The window's artwork, generated at run time from the layout table: the
// background picture, the slider bar, the dial knob and the read-out plate.
#pragma once

#include "editor/Layout.h"

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
};

struct Artwork {
    Image background; // Image1, 391 x 161, opaque
    Image bar;        // IlBar, 120 x 16
    Image knob;       // ilDial, 41 x 41, transparent outside the knob
    Image plate;      // iPrintOut, 129 x 25, opaque
};

// Generated on first use; shared by every window of the process.
const Artwork& artwork();

Image makeBackground();
Image makeBar();
Image makeKnob();
Image makePlate();

} // namespace ui
