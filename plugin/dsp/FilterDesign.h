// Coefficient design for the effect's second-order filter section.
#pragma once

namespace dsp {

// Filter characteristics, numbered as the "Filter Type" parameter selects them.
enum FilterType : int {
    kFilterOff = 0,
    kFilterLow,
    kFilterHigh,
    kFilterBandPass,
    kFilterBandReject
};
inline constexpr int kNumFilterTypes = 5;

// b0, b1, b2 feed forward; a1, a2 feed back. a0 is part of the stored set but
// takes no part in the recursion y = b0 x + b1 x' + b2 x'' - a1 y' - a2 y''.
struct BiquadCoefficients {
    float coefB[3];
    float coefA[3];
};

// Before the first design every coefficient is zero.
inline constexpr BiquadCoefficients kZeroCoefficients{{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}};

// Highest designed frequency as a fraction of the sample rate. Beyond half the
// rate the tangent passes a quarter turn and the section turns unstable; the
// band designs use up to 1.005 times the frequency, so the bound stays well
// clear of 0.5. At 44.1 kHz it is 19404 Hz, above the sweep's top of 15360 Hz.
inline constexpr double kMaxFrequencyRatio = 0.44;

// Designs `type` (kFilterOff .. kFilterBandReject; any other value passes the
// signal unchanged) at `frequency` Hz with `resonance` 0 .. 0.995 for the
// sample rate `fs` (Hz, a positive normal number). Every stored coefficient
// carries a 1e-15 offset so that none is exactly zero.
BiquadCoefficients designFilter(int type, float frequency, float resonance, float fs);

} // namespace dsp
