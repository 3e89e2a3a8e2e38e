// The effect as an LV2 plug-in: the keyed filter behind the ports of
// lv2/Ports.h. "Audio" passes the filter, the side-chain "Key" sweeps it
// (silence while unconnected), and both outputs carry the result, as the
// VST 2 plug-in's do with the key on its first input and the audio on its
// second. The controls hold the parameters in their units (Units.h); they
// are the whole state, which hosts keep themselves. The host's bypass
// (lv2:enabled) fades both outputs over to the dry Audio and back, while
// the filter runs on, so that it picks up where it would have been.
//
// run() is hard real-time safe: it allocates nothing, takes no lock and
// makes no system call. Every input sample is read before its frame's
// outputs are written, so hosts may run it in place.
#include "frame/DFloatingPoint.h"
#include "lv2/Ports.h"
#include "plugin/dsp/Controls.h"
#include "plugin/dsp/KeyedFilter.h"
#include "plugin/params/Units.h"

#include <lv2/core/lv2.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <new>

namespace {

using namespace lv2glue;

// Frames of the silence that stands in for an unconnected key, and of the
// copy of the dry Audio kept while the bypass is on or fading (an output
// may share its buffer with the Audio). Longer runs are cut into pieces of
// this size, which gives the same samples: the keyed filter's output does
// not depend on how a signal is cut into blocks.
constexpr int kPieceFrames = 256;

// The mix of the effect and the dry Audio: its position in frames of the
// fade, from 0 (dry) to `length` (the effect alone), moving one frame per
// frame towards the end the bypass port asks for.
class BypassFade {
public:
    explicit BypassFade(float rate)
        : length(std::max(1, static_cast<int>(std::lround(rate * kBypassFadeSeconds)))),
          position(length) {}

    // The host's switch: on above 0 (an unconnected port is on). The first
    // run after activation starts where the switch stands, without a fade.
    void follow(const float* port) {
        target = !port || params::switchedOn(*port) ? length : 0;
        if (settle) position = target, settle = false;
    }
    void restart() { settle = true; }
    // The effect alone, as if there were no bypass: nothing to mix.
    bool effectOnly() const { return position == length && target == length; }

    // Mixes n frames of the effect in `out` with the dry Audio, into both
    // outputs.
    void mix(const float* dry, float* outLeft, float* outRight, int n) {
        const float step = 1.0f / static_cast<float>(length);
        for (int i = 0; i < n; ++i) {
            if (position != target) position += position < target ? 1 : -1;
            const float wet = outLeft[i];
            const float v = position == length ? wet
                            : position == 0
                                ? dry[i]
                                : dry[i] + static_cast<float>(position) * step * (wet - dry[i]);
            outLeft[i] = v;
            outRight[i] = v;
        }
    }

private:
    const int length;
    int position, target = 0;
    bool settle = true;
};

class Instance {
public:
    explicit Instance(float rate) : rate(rate), fade(rate) {
        for (const ParameterInfo& p : kParameters) {
            const std::size_t i = static_cast<std::size_t>(p.index);
            defaults[i] = params::unitValue(p.index, p.factoryValue);
        }
    }

    void connect(std::uint32_t port, void* data) {
        if (port < kNumActiveParams) {
            controlPorts[port] = static_cast<const float*>(data);
            return;
        }
        switch (port) {
        case kPortAudio:
            audio = static_cast<const float*>(data);
            break;
        case kPortKey:
            key = static_cast<const float*>(data);
            break;
        case kPortOutLeft:
            outLeft = static_cast<float*>(data);
            break;
        case kPortOutRight:
            outRight = static_cast<float*>(data);
            break;
        case kPortEnabled:
            enabled = static_cast<const float*>(data);
            break;
        default:
            break;
        }
    }

    // A fresh start: the follower, the filter's history and the frame count
    // as at instantiation, and the bypass where the host's switch stands.
    // The controls stay.
    void activate() {
        filter = dsp::KeyedFilter();
        fade.restart();
    }

    void run(std::uint32_t frames) {
        if (!audio || !outLeft || !outRight) return;
        readControls();
        fade.follow(enabled);
        // The keyed filter's first input is the key, its second the audio;
        // the swap makes the second the key.
        if (key && fade.effectOnly()) {
            filter.process(key, audio, outLeft, outRight, static_cast<int>(frames), controls);
            return;
        }
        for (std::uint32_t done = 0; done < frames;) {
            const int n = static_cast<int>(std::min<std::uint32_t>(frames - done, kPieceFrames));
            const float* k = key ? key + done : silence.data();
            float* left = outLeft + done;
            float* right = outRight + done;
            if (fade.effectOnly()) {
                filter.process(k, audio + done, left, right, n, controls);
            } else {
                std::copy_n(audio + done, n, dry.begin());
                filter.process(k, dry.data(), left, right, n, controls);
                fade.mix(dry.data(), left, right, n);
            }
            done += static_cast<std::uint32_t>(n);
        }
    }

private:
    // The control values, derived again when a port's value has changed
    // since they were last derived (compared bit for bit, so that a NaN
    // from a host counts as one value and not as a change every block).
    void readControls() {
        bool changed = !derived;
        for (std::size_t i = 0; i < kNumActiveParams; ++i) {
            const float u = controlPorts[i] ? *controlPorts[i] : defaults[i];
            if (std::bit_cast<std::uint32_t>(u) != std::bit_cast<std::uint32_t>(seen[i])) {
                seen[i] = u;
                changed = true;
            }
        }
        if (!changed) return;
        std::array<float, kNumActiveParams> values;
        for (std::size_t i = 0; i < kNumActiveParams; ++i)
            values[i] = params::normalisedValue(static_cast<int>(i), seen[i]);
        controls.values = params::controlsOf(values, rate);
        derived = true;
    }

    const float rate; // Hz, from the host at instantiation
    std::array<const float*, kNumActiveParams> controlPorts{};
    std::array<float, kNumActiveParams> defaults{}; // for a control port left unconnected
    std::array<float, kNumActiveParams> seen{};     // the values the controls derive from
    bool derived = false;
    const float* audio = nullptr;
    const float* key = nullptr;
    float* outLeft = nullptr;
    float* outRight = nullptr;
    const float* enabled = nullptr; // the host's bypass; unconnected: on
    dsp::FixedControls controls;
    dsp::KeyedFilter filter;
    BypassFade fade;
    const std::array<float, kPieceFrames> silence{};
    std::array<float, kPieceFrames> dry; // the Audio of one piece, before the outputs overwrite it
};

// The host's calls, each with every floating-point exception masked.
LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const*) {
    FloatingPointScope fp;
    // The filter design and the follower need a positive, finite, normal rate.
    const float fs = static_cast<float>(rate);
    if (!(fs >= FLT_MIN && fs <= FLT_MAX)) return nullptr;
    return new (std::nothrow) Instance(fs);
}

void connectPort(LV2_Handle h, std::uint32_t port, void* data) {
    FloatingPointScope fp;
    static_cast<Instance*>(h)->connect(port, data);
}

void activate(LV2_Handle h) {
    FloatingPointScope fp;
    static_cast<Instance*>(h)->activate();
}

void run(LV2_Handle h, std::uint32_t frames) {
    FloatingPointScope fp;
    static_cast<Instance*>(h)->run(frames);
}

void cleanup(LV2_Handle h) {
    FloatingPointScope fp;
    delete static_cast<Instance*>(h);
}

const void* extensionData(const char*) { return nullptr; }

// The URI lives as long as the library: a string_view of a literal.
const LV2_Descriptor kDescriptor{kPluginUri.data(), instantiate, connectPort,  activate, run,
                                 nullptr,           cleanup,     extensionData};

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
