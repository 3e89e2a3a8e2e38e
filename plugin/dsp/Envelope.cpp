#include "plugin/dsp/Envelope.h"

#include "plugin/dsp/Numeric.h"

#include <cfloat>
#include <cmath>

namespace dsp {

float envelopeCoefficient(float p, float fs) {
    // Samples in 2^(12 p) milliseconds: 1 ms at p = 0, 4096 ms at p = 1.
    float n = single(static_cast<double>(pow2(single(12.0 * p))) * fs * 0.001);
    if (!(n >= 1000.0f)) n = 1000.0f;
    return single(1000.0 / n);
}

float boostGain(float p) { return single(3.999 * p); }

float sweepFrequency(float low, float high, float e) {
    const float m = single((static_cast<double>(high) - low) * e + low);
    return single(static_cast<double>(pow2(single(10.0 * m))) * 15.0);
}

} // namespace dsp
