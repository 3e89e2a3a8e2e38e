// The other side of the comparisons: a test signal with a moving key, and
// the VST 2 plug-in run over it as velmora-render runs it (the key on its
// left input, the audio on its right, its parameters set in normalised
// values, blocks of 512 frames unless cut elsewhere).
#pragma once

#include "tools/claptesthost/ClapHost.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace claphost {

// `seconds` of a drum-like key (pulses of changing spacing and strength,
// with pauses) and a rich chord as the audio, at `rate` Hz.
Signal testSignal(double seconds, int rate);

// A VST 2 plug-in binary, loaded once.
class Vst2Reference {
public:
    static std::unique_ptr<Vst2Reference> load(const std::string& path, std::string& error);

    // A parameter change: index, normalised value, at the frame given.
    struct SetAt {
        std::size_t frame;
        int index;
        float value;
    };
    // A fresh instance at `rate` Hz: `initial` set first, then the signal in
    // blocks of 512 frames, cut also where a change falls, each change set
    // between the two blocks.
    Stereo render(const Signal& signal, int rate, const std::vector<std::pair<int, float>>& initial,
                  const std::vector<SetAt>& changes = {}) const;
    // The text the plug-in shows for parameter `index` at value v.
    std::string display(int index, float v) const;

private:
    std::unique_ptr<vhost::Library> library;
};

} // namespace claphost
