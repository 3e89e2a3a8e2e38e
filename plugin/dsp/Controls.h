// The quantities the keyed filter runs on, and where it takes them from.
#pragma once

namespace dsp {

// The acting parameters, mapped to what the follower, the sweep and the
// filter design use (the mapping is the parameters' own).
struct Controls {
    float low = 0.0f, high = 0.0f; // sweep positions 0 .. 1 at envelope 0 and 1
    int filterType = 0;            // 0 .. 4 (FilterType)
    float filterQ = 0.0f;          // resonance 0 .. 0.995
    float boost = 0.0f;            // detector gain 0 .. 3.999
    float attackCoef = 1.0f;       // follower coefficients, 0 < c <= 1
    float releaseCoef = 1.0f;
    float swapStereo = 0.0f; // 0.0: the first input is the key; 1.0: the second
    float fs = 44100.0f;     // Hz, positive and normal
};

// Where the keyed filter reads its control values: at the start of every
// block and again at every design point, so that a change made while a
// block runs lands within 32 frames. Called on the thread that processes.
class ControlSource {
public:
    virtual const Controls& controls() = 0;

protected:
    ~ControlSource() = default;
};

// Values that change only when their owner sets them.
class FixedControls final : public ControlSource {
public:
    FixedControls() = default;
    explicit FixedControls(const Controls& c) : values(c) {}
    const Controls& controls() override { return values; }
    Controls values;
};

} // namespace dsp
