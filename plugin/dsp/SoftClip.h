// The output stage's soft clipper.
#pragma once

#include "plugin/dsp/Numeric.h"

#include <algorithm>

namespace dsp {

// sign(x) (3|x| - x^2) / 2 up to |x| = 1, and +-1 beyond: gain 1.5 near zero,
// slope 0.5 at +-1, never above 1 in magnitude. NaN gives NaN; the signal
// path never feeds it one.
inline float softClip(float x) {
    // Above 1 the result is 1, which is exactly the curve's value at 1: so
    // limit |x| to 1 instead of branching (loud signals hover around 1,
    // where a branch would often be mispredicted).
    const double b = std::min(std::fabs(static_cast<double>(x)), 1.0);
    const float c = single((-b * b + 3.0 * b) * 0.5);
    // c * sign(x): c >= 0, so that is c with x's sign, and +0 at either zero.
    return x == 0.0f ? 0.0f : std::copysign(c, x);
}

} // namespace dsp
