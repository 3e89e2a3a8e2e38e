#include "plugin/dsp/FilterDesign.h"

#include "plugin/dsp/DesignSteps.h"

namespace dsp {

BiquadCoefficients designFilter(int type, float frequency, float resonance, float fs) {
    const DesignArgs a = designArgs(type, frequency, resonance, fs);
    return designCoefficients(a, designAngles(a));
}

} // namespace dsp
