// How many device pixels the editor spends on one pixel of its layout: 1,
// 1.5, 2 or 3. The layout table, the window's logic and the mouse handlers
// stay in 1x client pixels; the surfaces and back-ends turn them into device
// pixels through the one mapping here, so that what tiles at 1x tiles at
// every scale, and at 1x every position maps to itself.
#pragma once

#include "editor/Layout.h"

namespace ui {

class Scale {
public:
    constexpr Scale() = default; // 1x

    // The nearest of 1, 1.5, 2 and 3 to `factor`, a tie going to the larger
    // one (so that text is never drawn smaller than asked); anything below 1,
    // not a number included, is 1.
    static constexpr Scale nearest(double factor) {
        constexpr int kHalves[] = {2, 3, 4, 6};
        if (!(factor > 1.0)) return Scale{};
        int best = 2;
        for (const int h : kHalves) {
            const double gap = factor - h / 2.0, bestGap = factor - best / 2.0;
            if ((gap < 0 ? -gap : gap) <= (bestGap < 0 ? -bestGap : bestGap)) best = h;
        }
        return Scale(best);
    }

    // In halves, so that 1.5x stays exact: 2, 3, 4 or 6.
    constexpr int halves() const { return half; }
    constexpr double factor() const { return half / 2.0; }
    constexpr bool isOne() const { return half == 2; }

    // The device position of layout edge x: x times the factor, rounded half
    // up. Edges, not pixels: both edges of a rectangle map so, and the
    // rectangles that share an edge at 1x share it at every scale.
    constexpr int edge(int x) const { return floorDiv(x * half + 1, 2); }
    constexpr Rect rect(const Rect& r) const {
        return {edge(r.left), edge(r.top), edge(r.right), edge(r.bottom)};
    }
    // The layout pixel that device pixel d lies in: d divided by the factor,
    // rounded down. It is the one whose edges, mapped, enclose d, so the
    // mouse lands where the picture shows.
    constexpr int layout(int d) const { return floorDiv(d * 2, half); }
    // Where the centre of device pixel d lies, in layout pixels measured
    // between pixel centres (so that at 1x it is d itself, exactly): what
    // the artwork's shading is computed from at the device resolution.
    constexpr double centre(int d) const { return (d + 0.5) / factor() - 0.5; }

    constexpr bool operator==(const Scale&) const = default;

private:
    constexpr explicit Scale(int halves) : half(halves) {}
    static constexpr int floorDiv(int a, int b) {
        return a / b - (a % b != 0 && (a < 0) != (b < 0));
    }
    int half = 2;
};

// Every scale the editor draws at, 1x first.
inline constexpr Scale kScales[] = {Scale::nearest(1), Scale::nearest(1.5), Scale::nearest(2),
                                    Scale::nearest(3)};

// Within an area the surfaces map the area's own coordinates as the window
// maps its own; at 1.5x the two agree only where the area starts on an even
// layout pixel (edge(left + x) == edge(left) + edge(x)).
constexpr bool areasStartOnEvenPixels() {
    for (const AreaDesc& a : kAreas)
        if (a.bounds.left % 2 != 0 || a.bounds.top % 2 != 0) return false;
    return true;
}
static_assert(areasStartOnEvenPixels());

} // namespace ui
