// The project's own small bitmap font for printable ASCII: 5 x 7 dots per
// glyph and one more row for descenders, one column of spacing. It paints the artwork's captions
// and, in the headless back-end, the read-out text, so both back-ends show the same caption pixels
// whatever fonts the system has. At 1x each dot is a square of pixels; above 1x the same dots are
// drawn as smooth strokes at the device resolution.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

namespace ui {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 8;  // the last row for descenders only
inline constexpr int kGlyphAdvance = 6; // dots, spacing included

struct TextStyle {
    int scale = 1;     // pixels per dot
    bool bold = false; // each dot doubled one pixel to the right
};

// Width in pixels of `text` as textPixels paints it.
int textWidth(std::string_view text, TextStyle style);

// The pixels of `text` with its top-left corner at (0, 0). Characters outside
// printable ASCII (bytes of multi-byte UTF-8 included) show as a box.
std::vector<std::pair<int, int>> textPixels(std::string_view text, TextStyle style);

// A device pixel that smooth text touches, and how much of it is covered (0 .. 1].
struct Coverage {
    int x, y;
    float amount;
};

// `text` as strokes through the font's dots, for scales above 1x: each dot
// spans `dot` device pixels; a run of dots stays a solid bar with square
// ends, and two dots that touch only at a corner are joined by a round
// stroke one dot wide, so that slopes and bowls come out as lines rather
// than as the staircase of a dot matrix enlarged. `bold` widens every stroke
// to the right by that many device pixels. The text's top-left corner lies
// at (left, top) in device pixels, between pixels if need be; each pixel
// gets the part of it the strokes cover, sampled 4 x 4.
std::vector<Coverage> smoothTextPixels(std::string_view text, double dot, double bold, double left,
                                       double top);

} // namespace ui
