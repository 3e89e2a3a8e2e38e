// Each acting parameter in the unit a musician reads, for formats whose
// hosts show and store a value in its own unit (the LV2 plug-in's control
// ports): the sweep positions in Hz, the filter type and the stereo swap as
// the number of the choice the effect makes, the rest in percent.
//
// A normalised value p (0 .. 1) is still what the effect runs on. The way
// from p to the unit value and back is exact wherever the two number grids
// allow it: the unit value written for p is, among the singles nearest to
// p's exact unit value, one that maps back to p itself. Where the unit's
// grid is coarser than p's (sweep positions below 0.23, and percentages
// whose value lies a binary order higher above p's than the span's own
// order: 100 p from 1.28 * 2^k on, so about one value in six), several
// singles share one unit value, and it maps back to the one with the fewest
// significant decimal digits: a value with up to four decimals (0.123, a
// slider's 0.37) still comes back exactly, any other within 6e-8 (the sweep
// within 2e-8). From then on it stays where it came back: a value that has
// been through the unit once maps to a unit value that gives it again, so
// repeated trips never drift. A choice comes back as the value that stands
// for it, which acts exactly as p did.
#pragma once

#include "plugin/params/Parameters.h"

#include <cmath>

namespace params {

// The unit's range: the unit values of p = 0 and p = 1.
struct UnitRange {
    float minimum, maximum;
};

// Lowest and highest frequency of the sweep: positions 0 and 1. The
// filter's own power of two (dsp::pow2) lies within a factor 1 + 2e-7 of
// 2^x on this range, so these are the frequencies it sweeps, to a
// thousandth of a cent.
inline constexpr float kSweepLowHz = 15.0f;
inline constexpr float kSweepHighHz = 15360.0f;

// The range of acting parameter `index` (0 .. kNumActiveParams - 1), whose
// unit the table gives (ParameterInfo::unit).
UnitRange unitRange(int index);

// The unit value of the normalised value p (clamped to 0 .. 1).
float unitValue(int index, float p);

// The normalised value of unit value u: of those whose nearest unit value
// is u, the shortest decimal. Values outside the unit's range (and NaN,
// which counts as its minimum) are first brought into it; a choice's number
// is rounded to the nearest choice, except a switch's (below), which is on
// above 0.
float normalisedValue(int index, float u);

// Whether acting parameter `index` is a switch: a choice of two, which hosts
// show as a toggle (the stereo swap). A toggle is on at any value above 0
// and off at 0 or below, NaN included, as LV2 defines its toggled ports (a
// quiet comparison: a NaN raises no exception, which the audio thread could
// not afford where a host has unmasked them).
bool isSwitch(int index);
inline bool switchedOn(float u) { return std::isgreater(u, 0.0f); }

// The number of the choice that the effect makes of p: the filter type it
// runs, or 1 where it swaps the inputs. Only for Choice parameters.
int choiceOf(int index, float p);

// The normalised value that stands for choice k: the factory value moved by
// whole steps of 1 / choices, so that the factory's own choice comes back
// as the factory value. The effect makes choice k of it, and the editor's
// read-out names choice k.
float choiceValue(int index, int k);

} // namespace params
