#include "plugin/params/Units.h"

#include "plugin/dsp/Numeric.h"

#include <cmath>
#include <limits>
#include <utility>

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

// The unit value nearest to p's.
float nearestUnitValue(const ParameterInfo& info, float p) {
    return dsp::single(exactUnitValue(info, p));
}

// The normalised value of a sweep or percent unit value u (in range) before
// rounding to single.
double exactNormalisedValue(const ParameterInfo& info, float u) {
    if (info.unit == UnitKind::Hertz) return std::log2(static_cast<double>(u) / kSweepLowHz) / 10.0;
    return static_cast<double>(u) / static_cast<double>(info.percentOfOne);
}

// Of the normalised values whose nearest unit value is u, the one with the
// fewest significant decimal digits: where several singles share one unit
// value, the one a person or a host most likely wrote (0.123, not the
// single next to it). The decimals with d digits on either side of the
// exact value are tried for d = 1 .. 9; none, where no single has u as its
// nearest unit value (then the single nearest to the exact value).
float shortestNormalisedValue(const ParameterInfo& info, float u) {
    if (nearestUnitValue(info, 0.0f) == u) return 0.0f;
    const double exact = exactNormalisedValue(info, u);
    if (exact > 0.0) {
        const int order = static_cast<int>(std::floor(std::log10(exact)));
        for (int digits = 1; digits <= 9; ++digits) {
            const double scale = std::pow(10.0, digits - 1 - order);
            double below = std::floor(exact * scale) / scale;
            double above = std::ceil(exact * scale) / scale;
            if (above - exact < exact - below) std::swap(below, above);
            for (double candidate : {below, above}) {
                const float p = dsp::single(candidate);
                if (p >= 0.0f && p <= 1.0f && nearestUnitValue(info, p) == u) return p;
            }
        }
    }
    return dsp::limit(dsp::single(exact));
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

bool isSwitch(int index) {
    const ParameterInfo& info = row(index);
    return info.unit == UnitKind::Choice && choiceCount(info) == 2;
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
    if (info.unit == UnitKind::Choice) {
        if (isSwitch(index)) return choiceValue(index, switchedOn(u) ? 1 : 0);
        return choiceValue(index, static_cast<int>(std::lround(u)));
    }
    return shortestNormalisedValue(info, u);
}

float unitValue(int index, float p) {
    const ParameterInfo& info = row(index);
    p = dsp::limit(p);
    const float nearest = nearestUnitValue(info, p);
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
