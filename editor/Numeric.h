// The window's own numeric helpers. The effect engine uses the same rules;
// the window keeps its copies so that what it shows does not depend on the
// engine's headers.
#pragma once

#include <cmath>

namespace editor {

// The integer nearest to x - 0.4999999, ties to even, computed in extended
// precision: floor(x), except that values within 1e-7 below an integer give
// that integer.
inline int roundDown(float x) {
    return static_cast<int>(std::nearbyint(static_cast<long double>(x) - 0.4999999L));
}

// e^(0.6931472 x) rounded to single precision. The factor is the decimal
// 0.6931472, slightly above ln 2, so pow2(9) is the single just above 512.
inline float pow2(float x) {
    return static_cast<float>(std::exp(0.6931472L * static_cast<long double>(x)));
}

// Clamps to 0 .. 1; a NaN gives 0.
inline float limit(float x) {
    if (!(x >= 0.0f)) return 0.0f;
    if (x > 1.0f) return 1.0f;
    return x;
}

// Nearest integer, ties to even (the default rounding mode).
inline long long roundEven(long double x) { return std::llrint(x); }

} // namespace editor
