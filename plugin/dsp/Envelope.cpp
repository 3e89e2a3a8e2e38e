#include "plugin/dsp/Envelope.h"

#include "plugin/dsp/Numeric.h"

#include <cfloat>
#include <cmath>

namespace dsp {

float sweepFrequency(float low, float high, float e) {
    const float m = single((static_cast<double>(high) - low) * e + low);
    return single(static_cast<double>(pow2(single(10.0 * m))) * 15.0);
}

} // namespace dsp
