// The keyed filter driven as the plug-in drives it, without a host: program
// 0's values mapped to control values, set and read by the tests; and the
// signal path written out plainly as the reference its output must equal.
#pragma once

#include "plugin/dsp/FilterDesign.h"
#include "plugin/dsp/KeyedFilter.h"
#include "plugin/dsp/Numeric.h"
#include "plugin/dsp/SoftClip.h"
#include "plugin/params/Parameters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

class APlugin;

namespace enginetest {

// A keyed filter with the parameters' values and the rate it runs on.
struct Unit {
    dsp::KeyedFilter filter;
    std::array<float, kNumActiveParams> values{};
    float fs = 44100.0f;
    dsp::FixedControls source;

    Unit() {
        for (const ParameterInfo& p : kParameters)
            values[static_cast<std::size_t>(p.index)] = p.factoryValue;
        remap();
    }
    // A parameter's value (0 .. 1), as setParameter stores it.
    void set(int index, float value) {
        values[static_cast<std::size_t>(index)] = value;
        remap();
    }
    void setRate(float rate) {
        fs = rate;
        remap();
    }
    const dsp::Controls& controls() const { return source.values; }
    void process(const float* l, const float* r, float* ol, float* orr, int frames) {
        filter.process(l, r, ol, orr, frames, source);
    }

private:
    void remap() { source.values = params::controlsOf(values, fs); }
};

// One stereo block of input and output, outputs preset to -7.
struct Block {
    std::vector<float> inL, inR, outL, outR;
    explicit Block(int n) : inL(n), inR(n), outL(n, -7.0f), outR(n, -7.0f) {}
    // Frames from `offset` (all to the end when `frames` < 0).
    void run(Unit& unit, int offset = 0, int frames = -1) {
        if (frames < 0) frames = static_cast<int>(inL.size()) - offset;
        unit.process(inL.data() + offset, inR.data() + offset, outL.data() + offset,
                     outR.data() + offset, frames);
    }
    void run(APlugin& fx, int offset = 0, int frames = -1);
};

// A key with drum-like bursts on the left and a chord on the right.
inline void fillMusic(Block& b, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (std::size_t i = 0; i < b.inL.size(); ++i) {
        const float burst = std::exp(-float(i % 5000) / 600.0f);
        b.inL[i] = 0.9f * burst * noise(rng);
        b.inR[i] = 0.3f * (std::sin(0.031f * i) + std::sin(0.047f * i) + std::sin(0.0625f * i));
    }
}

// The filter design written out plainly: the runtime's tangent and cosine,
// the divisions as divisions, every stored coefficient rounded with its
// offset. The plug-in's design takes shortcuts to the same singles.
inline dsp::BiquadCoefficients plainDesign(int type, float frequency, float resonance, float fs) {
    using dsp::single;
    const double dfs = fs;
    const float F = std::min(single(double(frequency) + 0.01), single(0.44 * dfs));
    const float R = single(double(resonance) + 0.01);
    const double dF = F, dR = R;
    const float w = single(dF / dfs + 1e-15), wb = single(dR * dF / dfs);
    double b0 = 1, b1 = 0, b2 = 0, a0 = 0, a1 = 0, a2 = 0;
    if (type == dsp::kFilterLow || type == dsp::kFilterHigh) {
        const bool low = type == dsp::kFilterLow;
        const double sign = low ? 1.0 : -1.0;
        const double c = low ? single(1.0 / std::tan(3.14159 * w)) : single(std::tan(3.14159 * w));
        const double k = single(std::sqrt((1.0 - dR) * (1.0 - dR) * 8.0));
        const double g = single(1.0 / (k * c + 1.0 + c * c));
        b0 = g, b1 = single(sign * 2.0 * g), b2 = g;
        a1 = single(sign * (1.0 - c * c) * 2.0 * g);
        a2 = single((1.0 - k * c + c * c) * g);
    } else if (type == dsp::kFilterBandPass || type == dsp::kFilterBandReject) {
        const bool pass = type == dsp::kFilterBandPass;
        const double c =
            pass ? single(1.0 / std::tan(3.14159 * wb)) : single(std::tan(3.14159 * wb));
        const double d = single(std::cos(6.28318 * w) * 2.0);
        const double g = single(1.0 / (1.0 + c));
        b0 = g, b1 = pass ? 0.0 : single(-d * g), b2 = pass ? -g : g;
        a1 = single(pass ? -c * d * g : -d * g);
        a2 = single(pass ? (c - 1.0) * g : (1.0 - c) * g);
    }
    dsp::BiquadCoefficients out{{single(b0 + 1e-15), single(b1 + 1e-15), single(b2 + 1e-15)},
                                {single(a0 + 1e-15), single(a1 + 1e-15), single(a2 + 1e-15)}};
    for (int i = 0; i < 3; ++i)
        if (!std::isfinite(out.coefB[i]) || !std::isfinite(out.coefA[i]))
            out = {{single(1.0 + 1e-15), single(1e-15), single(1e-15)},
                   {single(1e-15), single(1e-15), single(1e-15)}};
    return out;
}

// The signal path written out plainly, step by step: shifting history
// variables instead of rings, the follower and recursion inline.
struct ReferencePath {
    float fvar0, fvar1, filterQ, boost, attack, release, swap;
    int type;
    float fs = 44100.0f;
    float envelope = 0;
    unsigned count = 0;
    float b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    explicit ReferencePath(const dsp::Controls& c) { reload(c); }

    // The settings as the effect derived them; the signal state stays.
    void reload(const dsp::Controls& c) {
        fvar0 = c.low, fvar1 = c.high, filterQ = c.filterQ, boost = c.boost;
        attack = c.attackCoef, release = c.releaseCoef, swap = c.swapStereo;
        type = c.filterType, fs = c.fs;
    }

    float step(float L, float R) {
        using dsp::single;
        ++count;
        const float key = swap == 0.0f ? L : R, audio = swap == 0.0f ? R : L;
        const float t = single(std::fabs(double(key)) * boost);
        const float d = single(double(t) - envelope);
        envelope = single(double(d) * (d > 0 ? attack : release) + envelope);
        const float e = envelope > 1 ? 1.0f : (envelope >= 0 ? envelope : 0.0f);
        if (count % 32 == 0) {
            const float m = single((double(fvar1) - fvar0) * e + fvar0);
            const float cutoff = single(double(dsp::pow2(single(10.0 * m))) * 15.0);
            const auto c = plainDesign(type, cutoff, filterQ, fs);
            b0 = c.coefB[0], b1 = c.coefB[1], b2 = c.coefB[2], a1 = c.coefA[1], a2 = c.coefA[2];
        }
        const float x0 = single(double(audio) + 1e-15);
        const float y0 = single(double(b0) * x0 + double(b1) * x1 + double(b2) * x2 -
                                double(a1) * y1 - double(a2) * y2 + 1e-15);
        x2 = x1, x1 = x0, y2 = y1, y1 = y0;
        return dsp::softClip(single(double(y0) + 1e-15));
    }
};

// Runs `frames` frames of constant input in one block; returns the left
// output of the last frame and checks nothing.
inline float runConstant(Unit& unit, float left, float right, int frames,
                         float* outRight = nullptr) {
    std::vector<float> inL(frames, left), inR(frames, right), oL(frames), oR(frames);
    unit.process(inL.data(), inR.data(), oL.data(), oR.data(), frames);
    if (outRight) *outRight = oR.back();
    return oL.back();
}

} // namespace enginetest
