// Numeric helpers of the signal path, the parameters' mapping and texts, and
// the editor window.
//
// The engine carries its arithmetic in double and rounds to single where it
// stores a value; the editor window and the read-out carry theirs in the
// extended precision of long double. The rounding rules are the same; the
// two precisions give different results near the rules' edges, so each has
// its own name and every caller keeps the one it was written for.
#pragma once

#include <cfloat>
#include <cmath>

// Inlining forced where the compiler would call: in the signal path's loops a
// call pushes the recursions' state out of the registers and passes a chain
// of dependent values through memory. And the reverse for the rare paths
// beside them (a runtime function where the inline one cannot decide), kept
// out of the loops' code.
#if defined(__GNUC__)
#define DSP_ALWAYS_INLINE [[gnu::always_inline]] inline
#define DSP_COLD [[gnu::noinline, gnu::cold]]
#else
#define DSP_ALWAYS_INLINE inline
#define DSP_COLD
#endif

namespace dsp {

// Rounds a double to the nearest single (the hardware's default mode).
inline float single(double x) { return static_cast<float>(x); }

// The integer nearest to x - 0.4999999, ties to even: floor(x), except that a
// value less than 1e-7 below an integer gives that integer. Values outside the
// int range (and NaN) give the nearest end of the range, or 0 for NaN.
inline int roundDown(float x) {
    const double r = std::nearbyint(static_cast<double>(x) - 0.4999999);
    if (!(r == r)) return 0;
    if (r >= 2147483647.0) return 2147483647;
    if (r <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(r);
}

// A close approximation of 2^x: exp(0.6931472 x) rounded to single. The
// factor is the decimal 0.6931472, slightly above ln 2, so pow2(10) is
// 1024.000244 and pow2(9) 512.000061 (the single just above 512), not the exact powers.
inline float pow2(float x) { return single(std::exp(0.6931472 * static_cast<double>(x))); }

// roundDown computed in extended precision: the editor window's and the
// read-out's. Values outside the int range are the caller's to avoid.
inline int roundDownExtended(float x) {
    return static_cast<int>(std::nearbyint(static_cast<long double>(x) - 0.4999999L));
}

// pow2 in extended precision: e^(0.6931472 x) rounded to single.
inline float pow2Extended(float x) {
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

// True for a finite single (neither infinite nor NaN).
inline bool isFiniteSample(float x) { return std::fabs(x) <= FLT_MAX; }

// Branch-free choices for the signal path. A compiler may turn a ?: between
// floating-point values into a jump where that looks cheaper; where the
// choice follows the signal, the jump is mispredicted often, and each miss
// throws away the work of both recursions in flight. On x86 these are the
// processor's minimum, maximum and sign instructions, which give exactly the
// values of the plain forms in the comments.

// b < a ? b : a, which is std::min(a, b).
inline double minOf(double a, double b) {
#if defined(__SSE2__) && defined(__GNUC__)
    __asm__("minsd %1, %0" : "+x"(b) : "x"(a));
    return b;
#else
    return b < a ? b : a;
#endif
}

// b > a ? b : a, which is std::max(a, b).
inline double maxOf(double a, double b) {
#if defined(__SSE2__) && defined(__GNUC__)
    __asm__("maxsd %1, %0" : "+x"(b) : "x"(a));
    return b;
#else
    return b > a ? b : a;
#endif
}

// x if finite, else 0: how the signal path hears infinities and NaNs.
inline float finiteOrSilence(float x) { return isFiniteSample(x) ? x : 0.0f; }

} // namespace dsp
