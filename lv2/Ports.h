// The LV2 plug-in's face: its URIs and its ports, shared by the plug-in,
// its editor and the description that the build writes for hosts.
#pragma once

#include "plugin/params/Parameters.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace lv2glue {

inline constexpr std::string_view kPluginUri = "urn:pemberly:velmora";
inline constexpr std::string_view kUiUri = "urn:pemberly:velmora#ui";

// File names inside the bundle.
inline constexpr std::string_view kPluginBinary = "velmora-lv2.so";
inline constexpr std::string_view kUiBinary = "velmora-lv2-ui.so";
inline constexpr std::string_view kDescriptionFile = "velmora.ttl";

// Port indices. The eight controls come first, each at its parameter's
// index, so a port index below kNumActiveParams is a parameter index; the
// audio follows. Hosts keep a plug-in's state by port symbol, so symbols
// and indices never change once released.
enum Port : std::uint32_t {
    kPortAudio = kNumActiveParams, // the sound that passes the filter
    kPortKey,                      // side-chain: the signal whose level sweeps it
    kPortOutLeft,
    kPortOutRight,
    kPortCount
};

inline constexpr std::array<std::string_view, kNumActiveParams> kControlSymbols{
    "low_frequency", "high_frequency", "filter_type", "filter_q",
    "boost",         "attack",         "release",     "swap_stereo"};

struct AudioPortInfo {
    Port index;
    std::string_view symbol, name;
    bool input, sideChain;
};

inline constexpr std::array<AudioPortInfo, 4> kAudioPorts{{
    {kPortAudio, "audio", "Audio", true, false},
    {kPortKey, "key", "Key", true, true},
    {kPortOutLeft, "out_left", "Output 1", false, false},
    {kPortOutRight, "out_right", "Output 2", false, false},
}};

} // namespace lv2glue
