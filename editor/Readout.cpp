#include "editor/Readout.h"

#include "editor/Numeric.h"

#include <algorithm>
#include <array>
#include <charconv>

using editor::pow2;
using editor::roundDown;
using editor::roundEven;

namespace readout {

namespace {

constexpr std::array<std::string_view, kShownParameters> kParameterNames{
    "Filter Low Frequency",
    "Filter Hi Frequency",
    "Filter Type",
    "Filter Q",
    "Boost",
    "Attack",
    "Release",
    "Swap Stereo",
};
constexpr std::array<std::string_view, 5> kFilterTypeNames{"Off", "Low", "High", "Band Pass",
                                                           "Band Reject"};
constexpr std::array<std::string_view, 2> kStereoNames{"Normal", "Reversed"};

template <std::size_t N>
std::string_view nameAt(const std::array<std::string_view, N>& names, int i) {
    // The factors 4.99 and 1.99 keep i inside the table for values in
    // 0 .. 1; a value from outside cannot index past it.
    return names[static_cast<std::size_t>(std::clamp(i, 0, static_cast<int>(N) - 1))];
}

} // namespace

bool shows(int index) { return index >= 0 && index < kShownParameters; }

std::string_view name(int index) {
    return shows(index) ? kParameterNames[static_cast<std::size_t>(index)] : std::string_view{};
}

std::string numberText(double value, std::string_view separator) {
    // Independent of the C runtime's locale; the separator is the caller's.
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    std::string text(buf, r.ptr);
    const auto point = text.find('.');
    if (point != std::string::npos) text.replace(point, 1, separator);
    return text;
}

std::string frequencyText(float v, std::string_view separator) {
    const float f = static_cast<float>(25.0L * pow2(static_cast<float>(9.0L * v)));
    if (f >= 1000.0f) {
        const long long n = roundEven(static_cast<long double>(f) / 100.0L);
        return numberText(static_cast<double>(n) / 10.0, separator) + "KHz";
    }
    return std::to_string(roundEven(f)) + "Hz";
}

std::string percentText(float v, std::string_view separator) {
    const long long n = roundEven(static_cast<long double>(v) * 1000.0L);
    return numberText(static_cast<double>(n) / 10.0, separator) + "%";
}

std::string valueText(int index, float v, std::string_view separator) {
    switch (index) {
    case 0:
    case 1:
        return frequencyText(v, separator);
    case 2:
        return std::string(nameAt(kFilterTypeNames, roundDown(static_cast<float>(v * 4.99L))));
    case 3:
    case 5:
    case 6:
        return percentText(v, separator);
    case 4:
        return std::to_string(roundDown(static_cast<float>(v * 400.0L))) + "%";
    case 7:
        return std::string(nameAt(kStereoNames, roundDown(static_cast<float>(v * 1.99L))));
    default:
        return {};
    }
}

} // namespace readout
