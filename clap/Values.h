// The parameters' values as CLAP hosts see them ("plain" values), and their
// texts. The effect runs on a normalised value p (0 .. 1) per parameter, as
// the editor and the VST 2 plug-in do; the host sees each in the form that a
// host's own controls and automation lanes handle best:
//
//   - the two sweep positions as p itself: a host's control moves linearly
//     over the range, and p is the position on the logarithmic sweep, as
//     the editor's sliders move (in Hz, half the travel would cover the top
//     octave alone);
//   - the filter type and the stereo swap as the number of the choice the
//     effect makes of p, stepped, their texts the choices' names;
//   - the rest in percent, as the read-out shows them, through the exact
//     way there and back of plugin/params/Units.h.
//
// The texts are the editor's read-out's, words and units, with the user's
// decimal separator; typed texts are read back in the same units.
#pragma once

#include "plugin/params/Parameters.h"

#include <optional>
#include <string>
#include <string_view>

namespace clapglue {

enum class PlainKind { Position, Choice, Percent };

PlainKind plainKind(int index);

// The range and default of parameter `index`, in plain values.
struct PlainRange {
    double minimum, maximum, defaultValue;
};
PlainRange plainRange(int index);

// The plain value of the normalised value p (clamped to 0 .. 1).
double plainValue(int index, float p);

// The normalised value of a plain value; none for a value that is not a
// number or infinite. Finite values outside the range are brought into it;
// a choice's number is cut to an integer, as the interface defines stepped
// values.
std::optional<float> normalisedValue(int index, double plain);

// The read-out's text of a plain value; none where normalisedValue has none.
std::optional<std::string> valueText(int index, double plain, std::string_view separator);

// The plain value a typed text stands for: a choice by its name (any case)
// or its number; a frequency in Hz or kHz ("440", "2.5KHz", "1k"), in the
// read-out's scale; a percentage with or without "%". A point or a comma
// separates decimals. None for a text that says no value; values outside
// the range are brought into it.
std::optional<double> textValue(int index, std::string_view text);

} // namespace clapglue
