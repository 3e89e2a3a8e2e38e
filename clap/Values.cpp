#include "clap/Values.h"

#include "plugin/dsp/Numeric.h"
#include "plugin/params/Readout.h"
#include "plugin/params/Units.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace clapglue {

namespace {

// The read-out writes a sweep position p as the frequency 25 * 2^(9 p) Hz
// (plugin/params/Readout.h): 25 Hz .. 12.8 kHz.
constexpr double kReadoutLowHz = 25.0;
constexpr double kReadoutOctaves = 9.0;

const ParameterInfo& row(int index) { return kParameters[static_cast<std::size_t>(index)]; }

int choiceCount(int index) { return static_cast<int>(row(index).choices.size()); }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool sameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Takes `suffix` (any case) off the end of `s`; false when it is not there.
bool takeSuffix(std::string_view& s, std::string_view suffix) {
    if (s.size() < suffix.size() || !sameLetters(s.substr(s.size() - suffix.size()), suffix))
        return false;
    s.remove_suffix(suffix.size());
    s = trimmed(s);
    return true;
}

// A whole text that is one finite decimal number, with a point or a comma.
std::optional<double> number(std::string_view s) {
    s = trimmed(s);
    if (s.empty() || s.size() > 64) return std::nullopt;
    char buf[64];
    std::size_t n = 0;
    for (char c : s) buf[n++] = c == ',' ? '.' : c;
    const char* first = buf;
    if (*first == '+') ++first; // from_chars takes no plus sign
    double v = 0.0;
    const auto r = std::from_chars(first, buf + n, v);
    if (r.ec != std::errc() || r.ptr != buf + n || !std::isfinite(v)) return std::nullopt;
    return v;
}

double clamped(double v, double lo, double hi) { return std::min(std::max(v, lo), hi); }

} // namespace

PlainKind plainKind(int index) {
    const ParameterInfo& p = row(index);
    if (p.readout == ReadoutKind::Frequency) return PlainKind::Position;
    if (p.unit == UnitKind::Choice) return PlainKind::Choice;
    return PlainKind::Percent;
}

PlainRange plainRange(int index) {
    const double defaultValue = plainValue(index, row(index).factoryValue);
    switch (plainKind(index)) {
    case PlainKind::Position:
        break;
    case PlainKind::Choice:
        return {0.0, static_cast<double>(choiceCount(index) - 1), defaultValue};
    case PlainKind::Percent: {
        const params::UnitRange u = params::unitRange(index);
        return {u.minimum, u.maximum, defaultValue};
    }
    }
    return {0.0, 1.0, defaultValue};
}

double plainValue(int index, float p) {
    switch (plainKind(index)) {
    case PlainKind::Position:
        break;
    case PlainKind::Choice:
        return params::choiceOf(index, p);
    case PlainKind::Percent:
        return params::unitValue(index, p);
    }
    return static_cast<double>(dsp::limit(p));
}

std::optional<float> normalisedValue(int index, double plain) {
    if (!std::isfinite(plain)) return std::nullopt;
    const PlainRange range = plainRange(index);
    const double v = clamped(plain, range.minimum, range.maximum);
    switch (plainKind(index)) {
    case PlainKind::Position:
        break;
    case PlainKind::Choice:
        return params::choiceValue(index, static_cast<int>(std::trunc(v)));
    case PlainKind::Percent:
        return params::normalisedValue(index, static_cast<float>(v));
    }
    return dsp::limit(static_cast<float>(v));
}

std::optional<std::string> valueText(int index, double plain, std::string_view separator) {
    const std::optional<float> p = normalisedValue(index, plain);
    if (!p) return std::nullopt;
    return readout::valueText(index, *p, separator);
}

std::optional<double> textValue(int index, std::string_view text) {
    std::string_view s = trimmed(text);
    const PlainRange range = plainRange(index);
    switch (plainKind(index)) {
    case PlainKind::Choice: {
        const auto& names = row(index).choices;
        for (std::size_t k = 0; k < names.size(); ++k)
            if (sameLetters(s, names[k])) return static_cast<double>(k);
        const std::optional<double> k = number(s);
        if (!k) return std::nullopt;
        return std::trunc(clamped(*k, range.minimum, range.maximum));
    }
    case PlainKind::Percent: {
        takeSuffix(s, "%");
        const std::optional<double> v = number(s);
        if (!v) return std::nullopt;
        return clamped(*v, range.minimum, range.maximum);
    }
    case PlainKind::Position:
        break;
    }
    double factor = 1.0;
    if (takeSuffix(s, "khz") || takeSuffix(s, "k"))
        factor = 1000.0;
    else
        takeSuffix(s, "hz");
    const std::optional<double> v = number(s);
    if (!v) return std::nullopt;
    const double hz = *v * factor;
    if (!(hz > kReadoutLowHz)) return range.minimum;
    return clamped(std::log2(hz / kReadoutLowHz) / kReadoutOctaves, range.minimum, range.maximum);
}

} // namespace clapglue
