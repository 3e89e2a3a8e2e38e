// The effect's parameters: the counts the interface declares and one row per
// parameter that acts. The engine's names and factory values, the editor's
// read-out and the tests all read this table, so each fact is written once.
#pragma once

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

struct ParameterInfo {
    int index;
    std::string_view hostName; // what effGetParamName answers
    std::string_view caption;  // the read-out's name line
    float factoryValue;        // program 0's value; the other programs start at 0
    ReadoutKind readout;
    // Choice and WholePercent: the factor of the read-out's rule. The filter
    // type's 4.99 is also the effect's, so the read-out always names the
    // characteristic in use; the stereo read-out's 1.99 is its own (the
    // effect swaps from 0.5 on).
    long double scale;
    std::span<const std::string_view> choices; // Choice: the names, by number
};

inline constexpr std::array<ParameterInfo, kNumActiveParams> kParameters{{
    {kParamLowFrequency,
     "Low Filter frequency",
     "Filter Low Frequency",
     0.75f,
     ReadoutKind::Frequency,
     0,
     {}},
    {kParamHighFrequency,
     "Hi Filter frequency",
     "Filter Hi Frequency",
     1.0f,
     ReadoutKind::Frequency,
     0,
     {}},
    {kParamFilterType, "Filter type", "Filter Type", 0.35f, ReadoutKind::Choice, 4.99L,
     kFilterTypeNames},
    {kParamFilterQ, "Filter Q", "Filter Q", 0.9f, ReadoutKind::Percent, 0, {}},
    {kParamBoost, "Boost", "Boost", 0.9f, ReadoutKind::WholePercent, 400.0L, {}},
    {kParamAttack, "Attack", "Attack", 0.5f, ReadoutKind::Percent, 0, {}},
    {kParamRelease, "Release", "Release", 0.5f, ReadoutKind::Percent, 0, {}},
    {kParamSwapStereo, "Stereo", "Swap Stereo", 0.25f, ReadoutKind::Choice, 1.99L, kStereoNames},
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
