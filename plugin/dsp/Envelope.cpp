#include "plugin/dsp/Envelope.h"

#include "plugin/dsp/DesignMath.h"
#include "plugin/dsp/Numeric.h"

#include <cfloat>
#include <cmath>

namespace dsp {

float sweepFrequency(float low, float high, float e) {
    return sweepFrequencyOf(sweepExponent(low, high, e));
}

} // namespace dsp
