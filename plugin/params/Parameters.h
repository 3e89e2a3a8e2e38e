// The effect's parameters: the counts the interface declares and one row per
// parameter that acts, with everything a value means: the names, the factory
// value, the mapping to the keyed filter's control values and how the
// read-out writes it. The engine, the editor, the tools and the tests all
// read this table, so each fact is written once.
#pragma once

#include "plugin/dsp/Controls.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

inline constexpr std::int32_t kNumPrograms = 16;
inline constexpr std::int32_t kNumParams = 120; // declared to the host
inline constexpr int kNumProgramValues = 121;   // loaded by a program change, copied to the editor
inline constexpr int kNumStoredValues = 501;    // size of every fvar array
inline constexpr int kProgramNameSize = 64;     // bytes, terminating zero included

// Indices of the eight values that act.
enum ParamIndex : int {
    kParamLowFrequency = 0,
    kParamHighFrequency,
    kParamFilterType,
    kParamFilterQ,
    kParamBoost,
    kParamAttack,
    kParamRelease,
    kParamSwapStereo,
    kNumActiveParams
};

// How the editor's read-out writes a value v (0 .. 1).
enum class ReadoutKind {
    Frequency,    // the sweep position's figure, 25Hz .. 12.8KHz
    Choice,       // the name of choice number roundDown(single(v * scale))
    Percent,      // v in tenths of a percent, 0% .. 100%
    WholePercent, // the integer roundDown(single(v * scale)) and "%"
};

inline constexpr std::array<std::string_view, 5> kFilterTypeNames{"Off", "Low", "High", "Band Pass",
                                                                  "Band Reject"};
inline constexpr std::array<std::string_view, 2> kStereoNames{"Normal", "Reversed"};

// The unit a value reads in where a host shows it in a unit of its own (the
// LV2 plug-in's control ports; plugin/params/Units.h has the mapping).
enum class UnitKind {
    Hertz,   // the sweep position's frequency, 15 * 2^(10 p) Hz, on a logarithmic scale
    Choice,  // the number of the choice the effect makes of p, 0 .. choices - 1
    Percent, // p * percentOfOne %
};

// What a value p (0 .. 1) does to the keyed filter at `fs` Hz: writes the
// control values that derive from it.
using ControlMapping = void (*)(float p, float fs, dsp::Controls& controls);

struct ParameterInfo {
    int index;
    std::string_view hostName; // what effGetParamName answers
    std::string_view caption;  // the read-out's name line
    float factoryValue;        // program 0's value; the other programs start at 0
    ControlMapping map;
    ReadoutKind readout;
    // Choice and WholePercent: the factor of the read-out's rule. The filter
    // type's 4.99 is also the effect's, so the read-out always names the
    // characteristic in use; the stereo read-out's 1.99 is its own (the
    // effect swaps from 0.5 on).
    long double scale;
    std::span<const std::string_view> choices; // Choice: the names, by number
    UnitKind unit;
    float percentOfOne; // Percent: the unit value of p = 1
};

namespace params {
// The mappings (Parameters.cpp). The sweep positions go to the filter as they
// are; the type is roundDown(single(4.99 p)), the factor the read-out names
// it by; Q single(0.995 p); the boost single(3.999 p); attack and release
// the envelope coefficient of p; the stereo swap from p = 0.5 on.
void mapLowFrequency(float p, float fs, dsp::Controls& c);
void mapHighFrequency(float p, float fs, dsp::Controls& c);
void mapFilterType(float p, float fs, dsp::Controls& c);
void mapFilterQ(float p, float fs, dsp::Controls& c);
void mapBoost(float p, float fs, dsp::Controls& c);
void mapAttack(float p, float fs, dsp::Controls& c);
void mapRelease(float p, float fs, dsp::Controls& c);
void mapSwapStereo(float p, float fs, dsp::Controls& c);
} // namespace params

inline constexpr std::array<ParameterInfo, kNumActiveParams> kParameters{{
    {kParamLowFrequency,
     "Low Filter frequency",
     "Filter Low Frequency",
     0.75f,
     &params::mapLowFrequency,
     ReadoutKind::Frequency,
     0,
     {},
     UnitKind::Hertz,
     0},
    {kParamHighFrequency,
     "Hi Filter frequency",
     "Filter Hi Frequency",
     1.0f,
     &params::mapHighFrequency,
     ReadoutKind::Frequency,
     0,
     {},
     UnitKind::Hertz,
     0},
    {kParamFilterType, "Filter type", "Filter Type", 0.35f, &params::mapFilterType,
     ReadoutKind::Choice, 4.99L, kFilterTypeNames, UnitKind::Choice, 0},
    {kParamFilterQ,
     "Filter Q",
     "Filter Q",
     0.9f,
     &params::mapFilterQ,
     ReadoutKind::Percent,
     0,
     {},
     UnitKind::Percent,
     100.0f},
    {kParamBoost,
     "Boost",
     "Boost",
     0.9f,
     &params::mapBoost,
     ReadoutKind::WholePercent,
     400.0L,
     {},
     UnitKind::Percent,
     400.0f},
    {kParamAttack,
     "Attack",
     "Attack",
     0.5f,
     &params::mapAttack,
     ReadoutKind::Percent,
     0,
     {},
     UnitKind::Percent,
     100.0f},
    {kParamRelease,
     "Release",
     "Release",
     0.5f,
     &params::mapRelease,
     ReadoutKind::Percent,
     0,
     {},
     UnitKind::Percent,
     100.0f},
    {kParamSwapStereo, "Stereo", "Swap Stereo", 0.25f, &params::mapSwapStereo, ReadoutKind::Choice,
     1.99L, kStereoNames, UnitKind::Choice, 0},
}};

// Row i describes parameter i.
constexpr bool rowsInIndexOrder() {
    for (int i = 0; i < kNumActiveParams; ++i)
        if (kParameters[static_cast<std::size_t>(i)].index != i) return false;
    return true;
}
static_assert(rowsInIndexOrder());

constexpr const ParameterInfo* parameterInfo(int index) {
    if (index < 0 || index >= kNumActiveParams) return nullptr;
    return &kParameters[static_cast<std::size_t>(index)];
}

namespace params {

// The control values of the acting parameters' values (indices 0 .. 7) at
// `fs` Hz, row by row.
dsp::Controls controlsOf(const std::array<float, kNumActiveParams>& values, float fs);

// Follower coefficient for a normalised time p (0 .. 1) at `fs` Hz: the
// follower covers the fraction c of the remaining distance per sample, with
// c = 1000 / n for n samples in 2^(12 p) ms, and c = 1 below 1000 samples.
float envelopeCoefficient(float p, float fs);

// Detector gain for the "Boost" value p: 0 .. 3.999.
float boostGain(float p);

} // namespace params
