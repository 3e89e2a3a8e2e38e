// The filter design in three steps, each from the one before: designFilter
// runs them in a row, and the keyed filter one at a time between the frames
// of a block (so that the long chain of dependent arithmetic proceeds beside
// the recursions instead of holding them up). Always inline, because the
// keyed filter runs them inside its recursion loop, where a call would push
// the recursions' state out of the registers and pass the chain's values
// through memory (compilers judge them too large to inline of their own).
#pragma once

#include "plugin/dsp/DesignMath.h"
#include "plugin/dsp/FilterDesign.h"
#include "plugin/dsp/FilterSection.h"
#include "plugin/dsp/Numeric.h"

#include <algorithm>
#include <cmath>

namespace dsp {

struct DesignArgs {
    int type;
    float F;  // the frequency plus 0.01, bounded below half the rate
    float R;  // the resonance plus 0.01
    float w;  // F / fs (plus 1e-15): the normalised frequency
    float wb; // R F / fs: the band's normalised width
};
struct DesignAngles {
    float c; // the cotangent or tangent of pi w (low, high) or of pi wb (bands)
    float d; // twice the cosine of 2 pi w (bands)
};

namespace design {

inline constexpr double kOffset = 1e-15;

struct Raw {
    double b0 = 1, b1 = 0, b2 = 0, a0 = 0, a1 = 0, a2 = 0;
};

// Low and high pass share the damping k and the gain g; they differ in c and
// in the signs of b1 and of (1 - c^2).
inline Raw lowOrHigh(float c, float R, double sign) {
    const double dR = R;
    const float k = single(std::sqrt((1.0 - dR) * (1.0 - dR) * 8.0));
    const double dc = c, dk = k;
    const float g = single(1.0 / (dk * dc + 1.0 + dc * dc));
    const double dg = g;
    Raw r;
    r.b0 = dg;
    r.b1 = single(sign * 2.0 * dg);
    r.b2 = dg;
    r.a1 = single(sign * (1.0 - dc * dc) * 2.0 * dg);
    r.a2 = single((1.0 - dk * dc + dc * dc) * dg);
    return r;
}

} // namespace design

DSP_ALWAYS_INLINE DesignArgs designArgs(int type, float frequency, float resonance, float fs) {
    const double dfs = fs;
    // Neither waits on the frequency.
    const double inverseRate = 1.0 / dfs;
    const float top = single(kMaxFrequencyRatio * dfs);
    float F = single(static_cast<double>(frequency) + 0.01);
    if (F > top) [[unlikely]]
        F = top;
    const float R = single(static_cast<double>(resonance) + 0.01);
    const double dF = F, dR = R;
    return {type, F, R, quotientSingle(dF, dfs, inverseRate, design::kOffset),
            quotientSingle(dR * dF, dfs, inverseRate)};
}

DSP_ALWAYS_INLINE DesignAngles designAngles(const DesignArgs& a) {
    switch (a.type) {
    case kFilterLow:
        return {cotangentSingle(a.w), 0.0f};
    case kFilterHigh:
        return {tangentSingle(a.w), 0.0f};
    case kFilterBandPass:
        return {cotangentSingle(a.wb), twiceCosineSingle(a.w)};
    case kFilterBandReject:
        return {tangentSingle(a.wb), twiceCosineSingle(a.w)};
    default:
        return {0.0f, 0.0f};
    }
}

DSP_ALWAYS_INLINE BiquadCoefficients designCoefficients(const DesignArgs& a,
                                                        const DesignAngles& angles) {
    design::Raw r;
    switch (a.type) {
    case kFilterLow:
        r = design::lowOrHigh(angles.c, a.R, 1.0);
        break;
    case kFilterHigh:
        // (c^2 - 1) = -(1 - c^2): the sign flips b1 and a1 together.
        r = design::lowOrHigh(angles.c, a.R, -1.0);
        break;
    case kFilterBandPass: {
        const double c = angles.c, d = angles.d;
        const double g = single(1.0 / (1.0 + c));
        r.b0 = g;
        r.b1 = 0;
        r.b2 = -g;
        r.a1 = single(-c * d * g);
        r.a2 = single((c - 1.0) * g);
        break;
    }
    case kFilterBandReject: {
        const double c = angles.c, d = angles.d;
        const double g = single(1.0 / (1.0 + c));
        r.b0 = g;
        r.b1 = single(-d * g);
        r.b2 = g;
        r.a1 = single(-d * g);
        r.a2 = single((1.0 - c) * g);
        break;
    }
    default: // "Off" and any unknown type keep the identity
        break;
    }
    // Each is a single plus the offset, rounded; withOffset spares the
    // conversions (which would lengthen the design's chain) where the offset
    // cannot change the single.
    const float b0 = withOffset(single(r.b0)), b1 = withOffset(single(r.b1)),
                b2 = withOffset(single(r.b2)), a0 = withOffset(single(r.a0)),
                a1 = withOffset(single(r.a1)), a2 = withOffset(single(r.a2));
    // Only a rate near the top of the single range can overflow a design (the
    // band's tangent then underflows); such a design passes the signal instead.
    if (!(isFiniteSample(b0) && isFiniteSample(b1) && isFiniteSample(b2) && isFiniteSample(a1) &&
          isFiniteSample(a2))) [[unlikely]] {
        const float offset = single(design::kOffset);
        return BiquadCoefficients{{single(1.0 + design::kOffset), offset, offset},
                                  {offset, offset, offset}};
    }
    return BiquadCoefficients{{b0, b1, b2}, {a0, a1, a2}};
}

} // namespace dsp
