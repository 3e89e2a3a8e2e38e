#include "plugin/params/Units.h"

#include "plugin/dsp/Numeric.h"

#include <cmath>
#include <limits>

namespace params {

namespace {

// Any rate will do: no choice depends on it.
constexpr float kAnyRate = 44100.0f;
// Singles on either side of the nearest that may map back exactly: where the
// unit's grid is as fine as p's or finer, one of these does.
constexpr int kNeighbours = 2;

const ParameterInfo& row(int index) { return kParameters[static_cast<std::size_t>(index)]; }

int choiceCount(const ParameterInfo& info) { return static_cast<int>(info.choices.size()); }

// p's unit value before rounding to single.
double exactUnitValue(const ParameterInfo& info, float p) {
    switch (info.unit) {
    case UnitKind::Hertz:
        return kSweepLowHz * std::exp2(10.0 * static_cast<double>(p));
    case UnitKind::Percent:
        return static_cast<double>(info.percentOfOne) * static_cast<double>(p);
    case UnitKind::Choice:
        break;
    }
    return choiceOf(info.index, p);
}

} // namespace

UnitRange unitRange(int index) {
    const ParameterInfo& info = row(index);
    switch (info.unit) {
    case UnitKind::Hertz:
        return {kSweepLowHz, kSweepHighHz};
    case UnitKind::Percent:
        return {0.0f, info.percentOfOne};
    case UnitKind::Choice:
        break;
    }
    return {0.0f, static_cast<float>(choiceCount(info) - 1)};
}

int choiceOf(int index, float p) {
    dsp::Controls c;
    row(index).map(dsp::limit(p), kAnyRate, c);
    if (index == kParamFilterType) return c.filterType;
    if (index == kParamSwapStereo) return c.swapStereo != 0.0f ? 1 : 0;
    return 0;
}

float choiceValue(int index, int k) {
    const ParameterInfo& info = row(index);
    const int n = choiceCount(info);
    if (k < 0) k = 0;
    if (k > n - 1) k = n - 1;
    const int factoryChoice = choiceOf(index, info.factoryValue);
    return dsp::single(static_cast<double>(info.factoryValue) +
                       static_cast<double>(k - factoryChoice) / n);
}

float normalisedValue(int index, float u) {
    const ParameterInfo& info = row(index);
    const UnitRange range = unitRange(index);
    if (!(u >= range.minimum)) u = range.minimum;
    if (u > range.maximum) u = range.maximum;
    switch (info.unit) {
    case UnitKind::Hertz:
        return dsp::limit(dsp::single(std::log2(static_cast<double>(u) / kSweepLowHz) / 10.0));
    case UnitKind::Percent:
        return dsp::limit(
            dsp::single(static_cast<double>(u) / static_cast<double>(info.percentOfOne)));
    case UnitKind::Choice:
        break;
    }
    return choiceValue(index, static_cast<int>(std::lround(u)));
}

float unitValue(int index, float p) {
    const ParameterInfo& info = row(index);
    p = dsp::limit(p);
    const float nearest = dsp::single(exactUnitValue(info, p));
    if (info.unit == UnitKind::Choice || normalisedValue(index, nearest) == p) return nearest;
    const UnitRange range = unitRange(index);
    float below = nearest, above = nearest;
    for (int i = 0; i < kNeighbours; ++i) {
        below = std::nextafter(below, -std::numeric_limits<float>::infinity());
        above = std::nextafter(above, std::numeric_limits<float>::infinity());
        if (below >= range.minimum && normalisedValue(index, below) == p) return below;
        if (above <= range.maximum && normalisedValue(index, above) == p) return above;
    }
    return nearest;
}

} // namespace params
