// Cost per frame of processReplacing on stereo blocks of 512 frames at
// 44100 Hz, beside the bare filter recursion of the signal path with the same
// single-precision rounding. Frames per second are reported as items/s.
#include "plugin/dsp/FilterDesign.h"
#include "plugin/dsp/Numeric.h"
#include "plugin/uPlugin.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kBlock = 512;

VstIntPtr VSTCALLBACK benchHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct Signal {
    std::vector<float> key, audio;
    Signal() : key(kBlock * 64), audio(kBlock * 64) {
        for (std::size_t i = 0; i < key.size(); ++i) {
            key[i] = 0.8f * std::exp(-float(i % 5512) / 900.0f) * std::sin(0.02f * i);
            audio[i] = 0.3f * (std::sin(0.013f * i) + std::sin(0.021f * i));
        }
    }
};

void BM_ProcessReplacing(benchmark::State& state) {
    APlugin effect(&benchHost, nullptr); // no editor
    effect.setParameter(2, 0.35f);       // "Low", the factory setting
    Signal s;
    std::vector<float> outL(kBlock), outR(kBlock);
    std::size_t pos = 0;
    for (auto _ : state) {
        float* in[2] = {s.key.data() + pos, s.audio.data() + pos};
        float* out[2] = {outL.data(), outR.data()};
        effect.processReplacing(in, out, kBlock);
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        pos = (pos + kBlock) % s.key.size();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_ProcessReplacing);

// The recursion alone: fixed coefficients, histories in registers, the same
// 1e-15 offsets and roundings, one output channel.
void BM_BareRecursion(benchmark::State& state) {
    const dsp::BiquadCoefficients c = dsp::designFilter(dsp::kFilterLow, 2000.0f, 0.9f, 44100.0f);
    const double b0 = c.coefB[0], b1 = c.coefB[1], b2 = c.coefB[2], a1 = c.coefA[1],
                 a2 = c.coefA[2];
    Signal s;
    std::vector<float> out(kBlock);
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    std::size_t pos = 0;
    for (auto _ : state) {
        const float* in = s.audio.data() + pos;
        for (int i = 0; i < kBlock; ++i) {
            const float x0 = dsp::single(double(in[i]) + 1e-15);
            const float y0 = dsp::single(b0 * x0 + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2 + 1e-15);
            x2 = x1;
            x1 = x0;
            y2 = y1;
            y1 = y0;
            out[i] = dsp::single(double(y0) + 1e-15);
        }
        benchmark::DoNotOptimize(out.data());
        pos = (pos + kBlock) % s.audio.size();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_BareRecursion);

} // namespace

BENCHMARK_MAIN();
