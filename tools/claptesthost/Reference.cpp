#include "tools/claptesthost/Reference.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace claphost {

Signal testSignal(double seconds, int rate) {
    const std::size_t frames = static_cast<std::size_t>(seconds * rate);
    Signal s;
    s.key.assign(frames, 0.0f);
    s.audio.assign(frames, 0.0f);
    // The key: a pulse every 0.11 .. 0.37 s, its strength and length
    // changing from one to the next, with a pause after every eighth, so
    // that the envelope keeps moving through its whole range.
    std::uint32_t noise = 12345;
    const auto white = [&noise] {
        noise = noise * 1664525u + 1013904223u;
        return static_cast<double>(noise >> 8) / 8388608.0 - 1.0;
    };
    std::size_t at = 0;
    for (int n = 0; at < frames; ++n) {
        const double spacing = 0.11 + 0.26 * ((n * 7) % 11) / 10.0;
        const double strength = 0.25 + 0.75 * ((n * 5) % 9) / 8.0;
        const double decay = 0.02 + 0.1 * ((n * 3) % 7) / 6.0;
        const std::size_t length = static_cast<std::size_t>(spacing * rate);
        if (n % 8 != 7)
            for (std::size_t i = 0; i < length && at + i < frames; ++i) {
                const double t = static_cast<double>(i) / rate;
                const double body = std::sin(2.0 * 3.141592653589793 * 70.0 * t);
                s.key[at + i] = static_cast<float>(strength * std::exp(-t / decay) *
                                                   (0.7 * body + 0.3 * white()));
            }
        at += length;
    }
    // The audio: four detuned saws of a chord, rich in harmonics.
    const double notes[] = {110.0, 138.59, 164.81, 220.0};
    double phase[4] = {0.0, 0.25, 0.5, 0.75};
    for (std::size_t i = 0; i < frames; ++i) {
        double sum = 0.0;
        for (int v = 0; v < 4; ++v) {
            phase[v] += notes[v] * (1.0 + 0.002 * v) / rate;
            phase[v] -= std::floor(phase[v]);
            sum += 2.0 * phase[v] - 1.0;
        }
        s.audio[i] = static_cast<float>(0.2 * sum);
    }
    return s;
}

std::unique_ptr<Vst2Reference> Vst2Reference::load(const std::string& path, std::string& error) {
    auto library = vhost::Library::load(path, &error);
    if (!library) return nullptr;
    if (!library->pluginEntry()) {
        error = "no VST 2 entry";
        return nullptr;
    }
    std::unique_ptr<Vst2Reference> r(new Vst2Reference);
    r->library = std::move(library);
    return r;
}

Stereo Vst2Reference::render(const Signal& signal, int rate,
                             const std::vector<std::pair<int, float>>& initial,
                             const std::vector<SetAt>& changes) const {
    constexpr std::size_t kBlock = 512;
    vhost::Host host(library->pluginEntry());
    host.keepLog = false;
    host.sampleRateAnswer = rate;
    host.open();
    host.setSampleRate(static_cast<float>(rate));
    host.setBlockSize(kBlock);
    host.resume();
    for (const auto& [index, v] : initial) host.setParameter(index, v);
    const std::size_t frames = signal.frames();
    Stereo out;
    out.left.assign(frames, 0.0f);
    out.right.assign(frames, 0.0f);
    std::vector<float> key(kBlock), audio(kBlock);
    std::size_t at = 0, next = 0;
    while (at < frames) {
        while (next < changes.size() && changes[next].frame <= at) {
            host.setParameter(changes[next].index, changes[next].value);
            ++next;
        }
        std::size_t n = std::min(kBlock - at % kBlock, frames - at);
        if (next < changes.size()) n = std::min(n, changes[next].frame - at);
        std::copy_n(signal.key.begin() + at, n, key.begin());
        std::copy_n(signal.audio.begin() + at, n, audio.begin());
        float* in[] = {key.data(), audio.data()};
        float* o[] = {out.left.data() + at, out.right.data() + at};
        host.processReplacing(in, o, static_cast<VstInt32>(n));
        at += n;
    }
    host.suspend();
    return out;
}

std::string Vst2Reference::display(int index, float v) const {
    vhost::Host host(library->pluginEntry());
    host.keepLog = false;
    host.open();
    host.setParameter(index, v);
    return host.getString(effGetParamDisplay, index);
}

} // namespace claphost
