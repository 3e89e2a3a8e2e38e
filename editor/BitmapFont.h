// The project's own small bitmap font for printable ASCII: 5 x 7 dots per
// glyph and one more row for descenders, one column of spacing. It paints the artwork's captions
// and, in the headless back-end, the read-out text, so both back-ends show the same caption pixels
// whatever fonts the system has.
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

} // namespace ui
