// The floor of the signal path's cost: the bare filter recursion with fixed
// coefficients and the same 1e-15 offsets and single-precision roundings,
// one channel in and out, nothing else. Each output sample waits on the one
// before through the recursion's multiplies, adds and roundings, and nothing
// else in the signal path needs to lie on that chain. It runs block by block
// through a call that is not inlined, with its state in memory between
// blocks, as a plug-in's processing does. velmora-bench and velmora-vstbench
// time it in the same rounds as what they measure.
#pragma once

#include "plugin/dsp/FilterDesign.h"
#include "plugin/dsp/Numeric.h"

namespace bench {

struct Floor {
    double b0, b1, b2, a1, a2;
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    Floor() {
        const auto c = dsp::designFilter(dsp::kFilterLow, 2000.0f, 0.9f, 44100.0f);
        b0 = c.coefB[0], b1 = c.coefB[1], b2 = c.coefB[2], a1 = c.coefA[1], a2 = c.coefA[2];
    }
};

#if defined(__GNUC__)
[[gnu::noinline]]
#endif
inline void
floorBlock(Floor& f, const float* in, float* out, int frames) {
    float x1 = f.x1, x2 = f.x2, y1 = f.y1, y2 = f.y2;
    for (int i = 0; i < frames; ++i) {
        const float x0 = dsp::single(double(in[i]) + 1e-15);
        const float y0 =
            dsp::single(f.b0 * x0 + f.b1 * x1 + f.b2 * x2 - f.a1 * y1 - f.a2 * y2 + 1e-15);
        x2 = x1, x1 = x0, y2 = y1, y1 = y0;
        out[i] = dsp::single(double(y0) + 1e-15);
    }
    f.x1 = x1, f.x2 = x2, f.y1 = y1, f.y2 = y2;
}

} // namespace bench
