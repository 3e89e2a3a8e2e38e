// The CLAP plug-ins' face: their ids and names, their audio ports and the
// ids of their parameters, shared by the plug-in, its editor and the factory.
// Hosts keep sessions by plug-in id and automation by parameter id, so none
// of these ids ever changes once released.
#pragma once

#include "plugin/params/Parameters.h"

#include <clap/id.h>

#include <array>
#include <cstdint>
#include <string_view>

namespace clapglue {

inline constexpr std::string_view kVendor = "Pemberly";

// Where a plug-in takes its key from.
enum class KeySource {
    SideChain,   // a second input port of its own, which hosts route a side-chain to
    LeftChannel, // the left channel of the one stereo input, the audio on the right
};

struct PluginFace {
    std::string_view id, name, description;
    KeySource key;
};

// The factory's plug-ins, in its order.
inline constexpr std::array<PluginFace, 2> kPlugins{{
    {"com.pemberly.velmora", "Velmora",
     "Keyed envelope filter: the key on the side-chain input sweeps a filter on the audio",
     KeySource::SideChain},
    {"com.pemberly.velmora.key-left", "Velmora (Key Left)",
     "Keyed envelope filter for hosts without side-chain routing: the key on the left "
     "channel, the audio on the right (Swap Stereo turns them round)",
     KeySource::LeftChannel},
}};

// Audio port ids: inputs and outputs are numbered apart, and a port keeps
// its id in both plug-ins.
inline constexpr clap_id kPortMainIn = 0;
inline constexpr clap_id kPortKeyIn = 1;
inline constexpr clap_id kPortMainOut = 0;

struct AudioPortFace {
    clap_id id;
    std::string_view name;
    std::uint32_t channels;
    bool main;
};

// Side-chain: "Audio" passes the filter and the side-chain "Key" sweeps it,
// one channel each; both outputs carry the result. Key left: one stereo
// input, the key on the left channel and the audio on the right, as the
// VST 2 plug-in takes them.
inline constexpr std::array<AudioPortFace, 2> kSideChainInputs{{
    {kPortMainIn, "Audio", 1, true},
    {kPortKeyIn, "Key", 1, false},
}};
inline constexpr AudioPortFace kKeyLeftInput{kPortMainIn, "Key L / Audio R", 2, true};
inline constexpr AudioPortFace kOutput{kPortMainOut, "Output", 2, true};

// Parameter ids by parameter index (the table's, 0 .. 7). They differ from
// the indices on purpose: a host that mixes up the index of the list with
// the id finds nothing, instead of the wrong parameter.
inline constexpr std::array<clap_id, kNumActiveParams> kParamIds{101, 102, 103, 104,
                                                                 105, 106, 107, 108};

// The parameter index of an id; -1 for an id that is none of them.
constexpr int paramIndexOf(clap_id id) {
    for (int i = 0; i < kNumActiveParams; ++i)
        if (kParamIds[static_cast<std::size_t>(i)] == id) return i;
    return -1;
}

} // namespace clapglue
