#include "plugin/dsp/FilterDesign.h"

#include "plugin/dsp/Numeric.h"

#include <algorithm>
#include <cmath>

namespace dsp {

namespace {

// The angle constants are these decimals, not full-precision pi and 2 pi.
constexpr double kPi = 3.14159;
constexpr double kTwoPi = 6.28318;
constexpr double kOffset = 1e-15;

struct Raw {
    double b0 = 1, b1 = 0, b2 = 0, a0 = 0, a1 = 0, a2 = 0;
};

// Low and high pass share the damping k and the gain g; they differ in c and
// in the signs of b1 and of (1 - c^2).
Raw lowOrHigh(float c, float R, double sign) {
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

} // namespace

BiquadCoefficients designFilter(int type, float frequency, float resonance, float fs) {
    const double dfs = fs;
    float F = single(static_cast<double>(frequency) + 0.01);
    F = std::min(F, single(kMaxFrequencyRatio * dfs));
    const float R = single(static_cast<double>(resonance) + 0.01);
    const double dF = F, dR = R;
    const float wb = single(dR * dF / dfs);
    const float w = single(dF / dfs + kOffset);

    Raw r;
    switch (type) {
    case kFilterLow:
        r = lowOrHigh(single(1.0 / std::tan(kPi * w)), R, 1.0);
        break;
    case kFilterHigh:
        // (c^2 - 1) = -(1 - c^2): the sign flips b1 and a1 together.
        r = lowOrHigh(single(std::tan(kPi * w)), R, -1.0);
        break;
    case kFilterBandPass: {
        const double c = single(1.0 / std::tan(kPi * wb));
        const double d = single(std::cos(kTwoPi * w) * 2.0);
        const double g = single(1.0 / (1.0 + c));
        r.b0 = g;
        r.b1 = 0;
        r.b2 = -g;
        r.a1 = single(-c * d * g);
        r.a2 = single((c - 1.0) * g);
        break;
    }
    case kFilterBandReject: {
        const double c = single(std::tan(kPi * wb));
        const double d = single(std::cos(kTwoPi * w) * 2.0);
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
    const BiquadCoefficients out{
        {single(r.b0 + kOffset), single(r.b1 + kOffset), single(r.b2 + kOffset)},
        {single(r.a0 + kOffset), single(r.a1 + kOffset), single(r.a2 + kOffset)}};
    // Only a rate near the top of the single range can overflow a design (the
    // band's tangent then underflows); such a design passes the signal instead.
    for (int i = 0; i < 3; ++i) {
        if (!isFiniteSample(out.coefB[i]) || !isFiniteSample(out.coefA[i])) {
            const Raw identity;
            return BiquadCoefficients{
                {single(identity.b0 + kOffset), single(kOffset), single(kOffset)},
                {single(kOffset), single(kOffset), single(kOffset)}};
        }
    }
    return out;
}

} // namespace dsp
