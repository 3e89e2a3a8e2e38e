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
// audio follows, then the host's bypass. Hosts keep a plug-in's state by
// port symbol, so symbols and indices never change once released: a new
// port comes after the last.
enum Port : std::uint32_t {
    kPortAudio = kNumActiveParams, // the sound that passes the filter
    kPortKey,                      // side-chain: the signal whose level sweeps it
    kPortOutLeft,
    kPortOutRight,
    kPortEnabled, // lv2:enabled: above 0 the effect, else the dry Audio on both outputs
    kPortCount
};

// The bypass port's symbol and name.
inline constexpr std::string_view kEnabledSymbol = "enabled";
inline constexpr std::string_view kEnabledName = "Enabled";

// The fade between the effect and the dry Audio when the bypass switches,
// in seconds: short enough to follow the host's switch at once, long
// enough that the step between the two signals does not click.
inline constexpr double kBypassFadeSeconds = 0.01;

inline constexpr std::array<std::string_view, kNumActiveParams> kControlSymbols{
    "low_frequency", "high_frequency", "filter_type", "filter_q",
    "boost",         "attack",         "release",     "swap_stereo"};

// The audio ports in port groups, as LV2's port-groups extension has them:
// the main input (Audio, mono), its side-chain (Key, mono) and the main
// output (stereo). Each port is its group's element of `designation`.
enum class Group { MainInput, SideChain, MainOutput };

struct GroupInfo {
    Group group;
    std::string_view symbol, label;
    bool input;
    bool stereo;
};

inline constexpr std::array<GroupInfo, 3> kGroups{{
    {Group::MainInput, "main_in", "Audio", true, false},
    {Group::SideChain, "sidechain_in", "Key", true, false},
    {Group::MainOutput, "main_out", "Output", false, true},
}};

struct AudioPortInfo {
    Port index;
    std::string_view symbol, name;
    bool input, sideChain;
    Group group;
    std::string_view designation; // pg:center, pg:left or pg:right
};

inline constexpr std::array<AudioPortInfo, 4> kAudioPorts{{
    {kPortAudio, "audio", "Audio", true, false, Group::MainInput, "center"},
    {kPortKey, "key", "Key", true, true, Group::SideChain, "center"},
    {kPortOutLeft, "out_left", "Output 1", false, false, Group::MainOutput, "left"},
    {kPortOutRight, "out_right", "Output 2", false, false, Group::MainOutput, "right"},
}};

} // namespace lv2glue
