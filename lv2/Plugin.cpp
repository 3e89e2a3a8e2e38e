// The effect as an LV2 plug-in: the keyed filter behind the ports of
// lv2/Ports.h. "Audio" passes the filter, the side-chain "Key" sweeps it
// (silence while unconnected), and both outputs carry the result, as the
// VST 2 plug-in's do with the key on its first input and the audio on its
// second. The controls hold the parameters in their units (Units.h); they
// are the whole state, which hosts keep themselves.
//
// run() is hard real-time safe: it allocates nothing, takes no lock and
// makes no system call. Every input sample is read before its frame's
// outputs are written, so hosts may run it in place.
#include "lv2/Ports.h"
#include "plugin/dsp/Controls.h"
#include "plugin/dsp/KeyedFilter.h"
#include "plugin/params/Units.h"

#include <lv2/core/lv2.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cstdint>
#include <new>

namespace {

using namespace lv2glue;

// Frames of the silence that stands in for an unconnected key. Longer runs
// are cut into pieces of this size, which gives the same samples: the
// keyed filter's output does not depend on how a signal is cut into blocks.
constexpr int kSilenceFrames = 256;

class Instance {
public:
    explicit Instance(float rate) : rate(rate) {
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
        default:
            break;
        }
    }

    // A fresh start: the follower, the filter's history and the frame count
    // as at instantiation. The controls stay.
    void activate() { filter = dsp::KeyedFilter(); }

    void run(std::uint32_t frames) {
        if (!audio || !outLeft || !outRight) return;
        readControls();
        // The keyed filter's first input is the key, its second the audio;
        // the swap makes the second the key.
        if (key) {
            filter.process(key, audio, outLeft, outRight, static_cast<int>(frames), controls);
            return;
        }
        for (std::uint32_t done = 0; done < frames;) {
            const int n = static_cast<int>(std::min<std::uint32_t>(frames - done, kSilenceFrames));
            filter.process(silence.data(), audio + done, outLeft + done, outRight + done, n,
                           controls);
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
    dsp::FixedControls controls;
    dsp::KeyedFilter filter;
    const std::array<float, kSilenceFrames> silence{};
};

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const*) {
    // The filter design and the follower need a positive, finite, normal rate.
    const float fs = static_cast<float>(rate);
    if (!(fs >= FLT_MIN && fs <= FLT_MAX)) return nullptr;
    return new (std::nothrow) Instance(fs);
}

void connectPort(LV2_Handle h, std::uint32_t port, void* data) {
    static_cast<Instance*>(h)->connect(port, data);
}

void activate(LV2_Handle h) { static_cast<Instance*>(h)->activate(); }

void run(LV2_Handle h, std::uint32_t frames) { static_cast<Instance*>(h)->run(frames); }

void cleanup(LV2_Handle h) { delete static_cast<Instance*>(h); }

const void* extensionData(const char*) { return nullptr; }

// The URI lives as long as the library: a string_view of a literal.
const LV2_Descriptor kDescriptor{kPluginUri.data(), instantiate, connectPort,  activate, run,
                                 nullptr,           cleanup,     extensionData};

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
