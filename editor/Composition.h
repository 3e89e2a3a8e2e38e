// The window's picture as the user sees it, from the software raster's area
// bitmaps: the window colour, then each area that has been drawn, in
// stacking order (a later area over an earlier one). The headless back-end
// composes its pictures so and the X11 back-end its frame, so the two show
// the same pixels.
#pragma once

#include "editor/Artwork.h"
#include "editor/Layout.h"
#include "editor/Scale.h"

#include <algorithm>

namespace ui {

// Calls put(x, y, colour) for every device pixel of a window at `scale`
// inside `clip` (device pixels, clipped to the window), each with its final
// colour last. `imageOf(id)` is the area's bitmap at that scale, or null
// while it has not been drawn.
template <typename ImageOf, typename Put>
void composeWindow(const Rect& clip, Scale scale, const ImageOf& imageOf, const Put& put) {
    const Rect c{std::max(clip.left, 0), std::max(clip.top, 0),
                 std::min(clip.right, scale.edge(kClientWidth)),
                 std::min(clip.bottom, scale.edge(kClientHeight))};
    for (int y = c.top; y < c.bottom; ++y)
        for (int x = c.left; x < c.right; ++x) put(x, y, kWindowColour);
    for (const AreaDesc& a : kAreas) {
        const Image* src = imageOf(a.id);
        if (!src) continue;
        const Rect b = scale.rect(a.bounds);
        const int x0 = std::max(c.left, b.left), x1 = std::min(c.right, b.right);
        const int y0 = std::max(c.top, b.top), y1 = std::min(c.bottom, b.bottom);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) put(x, y, src->at(x - b.left, y - b.top));
    }
}

} // namespace ui
