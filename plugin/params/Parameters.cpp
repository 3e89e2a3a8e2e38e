#include "plugin/params/Parameters.h"

#include "plugin/dsp/Numeric.h"

namespace params {

using dsp::single;

float envelopeCoefficient(float p, float fs) {
    // Samples in 2^(12 p) milliseconds: 1 ms at p = 0, 4096 ms at p = 1.
    float n = single(static_cast<double>(dsp::pow2(single(12.0 * p))) * fs * 0.001);
    if (!(n >= 1000.0f)) n = 1000.0f;
    return single(1000.0 / n);
}

float boostGain(float p) { return single(3.999 * p); }

void mapLowFrequency(float p, float, dsp::Controls& c) { c.low = p; }
void mapHighFrequency(float p, float, dsp::Controls& c) { c.high = p; }
void mapFilterType(float p, float, dsp::Controls& c) {
    const double scale = static_cast<double>(kParameters[kParamFilterType].scale);
    c.filterType = dsp::roundDown(single(scale * p));
}
void mapFilterQ(float p, float, dsp::Controls& c) { c.filterQ = single(0.995 * p); }
void mapBoost(float p, float, dsp::Controls& c) { c.boost = boostGain(p); }
void mapAttack(float p, float fs, dsp::Controls& c) { c.attackCoef = envelopeCoefficient(p, fs); }
void mapRelease(float p, float fs, dsp::Controls& c) { c.releaseCoef = envelopeCoefficient(p, fs); }
void mapSwapStereo(float p, float, dsp::Controls& c) { c.swapStereo = p >= 0.5f ? 1.0f : 0.0f; }

dsp::Controls controlsOf(const std::array<float, kNumActiveParams>& values, float fs) {
    dsp::Controls c;
    c.fs = fs;
    for (const ParameterInfo& p : kParameters)
        p.map(values[static_cast<std::size_t>(p.index)], fs, c);
    return c;
}

} // namespace params
