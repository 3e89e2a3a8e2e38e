#include "plugin/params/Readout.h"

#include "plugin/dsp/Numeric.h"
#include "plugin/params/Parameters.h"

#include <algorithm>
#include <charconv>

// The read-out computes in extended precision, as the editor window does.
using dsp::pow2Extended;
using dsp::roundDownExtended;
using dsp::roundEven;

namespace readout {

namespace {

std::string_view choiceName(const ParameterInfo& p, float v) {
    const int number = roundDownExtended(static_cast<float>(v * p.scale));
    // The factors keep the number inside the names for values in 0 .. 1; a
    // value from outside cannot index past them.
    const int last = static_cast<int>(p.choices.size()) - 1;
    return p.choices[static_cast<std::size_t>(std::clamp(number, 0, last))];
}

} // namespace

bool shows(int index) { return parameterInfo(index) != nullptr; }

std::string_view name(int index) {
    const ParameterInfo* p = parameterInfo(index);
    return p ? p->caption : std::string_view{};
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
    const float f = static_cast<float>(25.0L * pow2Extended(static_cast<float>(9.0L * v)));
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

std::string plainText(float v, std::string_view separator) {
    char buf[64];
    const auto r =
        std::to_chars(buf, buf + sizeof buf, static_cast<double>(v), std::chars_format::fixed, 3);
    std::string text(buf, r.ptr);
    const auto point = text.find('.');
    if (point != std::string::npos) text.replace(point, 1, separator);
    return text;
}

std::string valueText(int index, float v, std::string_view separator) {
    const ParameterInfo* p = parameterInfo(index);
    if (!p) return {};
    switch (p->readout) {
    case ReadoutKind::Frequency:
        return frequencyText(v, separator);
    case ReadoutKind::Choice:
        return std::string(choiceName(*p, v));
    case ReadoutKind::Percent:
        return percentText(v, separator);
    case ReadoutKind::WholePercent:
        return std::to_string(roundDownExtended(static_cast<float>(v * p->scale))) + "%";
    }
    return {};
}

} // namespace readout
