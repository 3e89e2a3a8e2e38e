// The second-order filter section and the three-slot history rings it runs on.
#pragma once

#include "plugin/dsp/FilterDesign.h"
#include "plugin/dsp/Numeric.h"

#include <cmath>
#include <cstdint>

namespace dsp {

// Which slot of the three-entry history rings holds the current sample and
// which the two before it. Each frame the written slot moves back by one:
// from the starting phase the first frame writes slot 1, then 0, 2, 1, ...
struct HistoryRing {
    int ringPhase = 0;
    int ringNow = 0;
    int ringPrev1 = 1;
    int ringPrev2 = 2;

    void advance();
    // The same as `frames` calls of advance(): the rotation repeats every 3.
    void advanceBy(std::uint32_t frames);
};

// The constant that keeps the recursion clear of subnormal numbers: added to
// the input, the recursion and the output. At ordinary levels it vanishes in
// the single-precision rounding.
inline constexpr double kDenormalOffset = 1e-15;

// single(x + 1e-15) for a single x. From |x| = 2^-24 on the offset is less
// than half the spacing of singles on either side of x (powers of two
// included), so the sum rounds back to x: only smaller values take the
// conversions, which would otherwise crowd the recursion's own.
inline float withOffset(float x) {
    if (std::fabs(x) >= 0x1p-24f) return x;
    return single(static_cast<double>(x) + kDenormalOffset);
}

// The section's state between blocks: the latest design and the histories,
// in the rings' slots. Processing runs on a SectionRun loaded from it.
struct FilterSection {
    BiquadCoefficients coef = kZeroCoefficients;
    float xHist[3] = {0.0f, 0.0f, 0.0f};
    float yHist[3] = {0.0f, 0.0f, 0.0f};
    float filterOut = 0.0f;
};

// The direct form I recursion y = b0 x + b1 x' + b2 x'' - a1 y' - a2 y'' over
// single-precision history, while a block runs: the three newest samples of
// each ring held in registers, oldest last, so the recursion does not wait on
// memory. Coefficients and history are kept widened to double (they are
// singles, so exactly), which spares a conversion per term. Loaded from the
// section and its rings at the start of a block and stored back at its end.
struct SectionRun {
    double b0, b1, b2, a1, a2;
    double x1, x2, x3, y1, y2, y3;
    float filterOut;

    SectionRun(const FilterSection& s, const HistoryRing& ring)
        : x1(s.xHist[ring.ringNow]), x2(s.xHist[ring.ringPrev1]), x3(s.xHist[ring.ringPrev2]),
          y1(s.yHist[ring.ringNow]), y2(s.yHist[ring.ringPrev1]), y3(s.yHist[ring.ringPrev2]),
          filterOut(s.filterOut) {
        setCoefficients(s.coef);
    }

    // A new design takes effect from the next step, on the old histories.
    void setCoefficients(const BiquadCoefficients& c) {
        b0 = c.coefB[0], b1 = c.coefB[1], b2 = c.coefB[2], a1 = c.coefA[1], a2 = c.coefA[2];
    }

    // One step with input x (finite): the input, the recursion (summed left
    // to right in double, rounded once) and the output each carry the 1e-15
    // offset. Returns and keeps the output in filterOut. A step whose
    // recursion overflows (a huge input, or a marginally stable design that
    // has rung up) brings both histories back to rest instead of carrying inf
    // or NaN into every later sample.
    //
    // The recursion never reads the oldest entries (x3, y3); they only go
    // back into the rings at the end of a block. So a run may leave them
    // behind (`keepOldest` false) as long as its last step keeps them: each
    // step takes them from entries that are always kept.
    template <bool keepOldest = true> float filterStep(float x) {
        const double x0 = withOffset(x);
        const float y0 = single(b0 * x0 + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2 + kDenormalOffset);
        if (!isFiniteSample(y0)) [[unlikely]] {
            x1 = x2 = x3 = y1 = y2 = y3 = 0.0;
            filterOut = 0.0f;
            return filterOut;
        }
        if (keepOldest) x3 = x2, y3 = y2;
        x2 = x1, x1 = x0;
        y2 = y1, y1 = y0;
        filterOut = withOffset(y0);
        return filterOut;
    }

    // `ring` must have advanced once per step since the run was loaded. The
    // coefficients are left to the caller, which knows the design in force.
    void store(FilterSection& s, const HistoryRing& ring) const {
        s.xHist[ring.ringNow] = single(x1), s.xHist[ring.ringPrev1] = single(x2),
        s.xHist[ring.ringPrev2] = single(x3);
        s.yHist[ring.ringNow] = single(y1), s.yHist[ring.ringPrev1] = single(y2),
        s.yHist[ring.ringPrev2] = single(y3);
        s.filterOut = filterOut;
    }
};

} // namespace dsp
