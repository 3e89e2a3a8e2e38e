// The transcendental functions of the filter's redesign, evaluated inline.
//
// Every 32 frames the sweep and the design run a dependent chain of an
// exponent, a tangent (or cotangent), a cosine for the band designs, and
// divisions; through the C runtime's functions that chain is longer than the
// processor can hide behind the filter's own work, most of all where the
// runtime's functions are slow (the Windows builds). Here each function is
// reduced to a short Taylor series around the nearest point whose values a
// table holds (sin and cos at multiples of pi / 128, the exponent at
// multiples of 1/32), accurate to a few units in the last place of a double.
//
// The design rounds each of these values to single precision at once. Two
// doubles within 2^-40 of each other round to different singles only when a
// single's rounding midpoint lies between them, so the inline value is used
// only where its 29 bits below single precision keep clear of the midpoint
// by more than that; otherwise, and outside the ranges below, the runtime's
// expression is evaluated as before. So each function returns, for every
// input, the single that the runtime's expression returns, whatever build it
// runs in, as long as the runtime is accurate to 2^-40; the project's
// exhaustive check (velmora-designcheck) confirms it over every single
// input that the signal path can pass, on each build it runs on.
#pragma once

#include "plugin/dsp/Numeric.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace dsp {

namespace designmath {

// Adding and subtracting this rounds a double of magnitude below 2^51 to an
// integer, in the default rounding mode.
inline constexpr double kRoundToInteger = 0x1.8p52;

// Distance in units of the double's last place from a single's rounding
// midpoint within which the runtime decides: 2^12 units, 2^-40 relative.
inline constexpr std::uint32_t kGuard = 1u << 12;

// True when single(v) is certain to equal single(u) for every u within
// 2^-40 relative of v. The 29 low bits of a double below a single's
// precision are 0x10000000 at a rounding midpoint. Values that round into
// the single's subnormal range (or to zero) round at another bit and are
// never taken as clear.
inline bool roundsClearly(double v) {
    if (!(std::fabs(v) >= 0x1p-125)) return false;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
    const auto low = static_cast<std::uint32_t>(bits & 0x1FFFFFFFu);
    return low - (0x10000000u - kGuard) >= 2 * kGuard;
}

struct SinCos {
    double s, c;
};

// sin and cos of j pi / 128, j = 0 .. 113; exp(0.6931472 q), q = 0 .. 12, and
// exp(0.6931472 s / 32), s = 0 .. 31 (DesignMath.cpp).
extern const SinCos kSinCosPiBy128[114];
extern const double kExpFactorWhole[13];
extern const double kExpFactorBy32[32];

// The design's angle constants: these decimals, not full-precision pi and
// 2 pi.
inline constexpr double kDesignPi = 3.14159;
inline constexpr double kDesignTwoPi = 6.28318;

// pi / 128 as a first part whose low bits are zero (so that a small integer
// times it is exact) and the remainder; 128 / pi; and 3.14159 (the design's
// pi) in units of pi / 128.
inline constexpr double kPiBy128Hi = 0x1.921fb54442000p-6;
inline constexpr double kPiBy128Lo = 0x1.a308d313198a3p-47;
inline constexpr double k128OverPi = 0x1.45f306dc9c883p+5;
inline constexpr double kDesignPiTurns = 0x1.ffffe3a864848p+6;

// sin and cos of j pi / 128 + r for |r| <= pi / 256: the table's values at j
// turned by r (the Taylor series of sin r to r^5 and of cos r to r^4,
// truncated below 2^-47 of the result).
inline SinCos turn(int j, double r) {
    const double z = r * r;
    const double sr = r + (r * z) * (-1.0 / 6.0 + z * (1.0 / 120.0));
    const double cr = 1.0 + z * (-0.5 + z * (1.0 / 24.0));
    const SinCos t = kSinCosPiBy128[j];
    return {t.s * cr + t.c * sr, t.c * cr - t.s * sr};
}

// sin and cos of x for 0 <= x < 113.5 pi / 128, reduced exactly.
inline SinCos sinCos(double x) {
    const double jf = (x * k128OverPi + kRoundToInteger) - kRoundToInteger;
    return turn(static_cast<int>(jf), (x - jf * kPiBy128Hi) - jf * kPiBy128Lo);
}

// sin and cos of 3.14159 w for a single 0 <= w <= 0.4423, reduced from w
// itself, which spares the chain a multiplication and a subtraction. The
// angle differs from the runtime's (3.14159 w rounded to double) by a few
// units in its last place; the tangent and cotangent there change by at most
// 7.7 times that relative (x (1 + tan^2 x) / tan x, largest at the top), far
// inside roundsClearly's guard. (Not so the cosine near a quarter turn,
// which sinCos reduces exactly.)
inline SinCos sinCosOfDesignPi(float w) {
    const double u = static_cast<double>(w) * kDesignPiTurns;
    const double jf = (u + kRoundToInteger) - kRoundToInteger;
    return turn(static_cast<int>(jf), (u - jf) * (kPiBy128Hi + kPiBy128Lo));
}

// The runtime's factor in pow2, the double nearest 0.6931472 (a little above
// ln 2).
inline constexpr double kPow2Factor = 0.6931472;

// exp(kPow2Factor x) for a single 0 <= x <= 12, without the runtime's
// reduction of its argument: x splits exactly in singles into xh, the nearest
// multiple of 1/32, and |xl| <= 1/64; exp(kPow2Factor xh) is the product of
// two table values and exp(kPow2Factor xl) the Taylor series to r^5
// (|r| < 0.0109, truncated below 2^-48).
inline double expOfFactor(float x) {
    constexpr float kRoundTo32nds = 0x1.8p18f; // the singles' spacing there is 1/32
    const float xh = (x + kRoundTo32nds) - kRoundTo32nds;
    const float xl = x - xh;
    const int j = static_cast<int>(xh * 32.0f);
    const double r = kPow2Factor * static_cast<double>(xl);
    const double r2 = r * r;
    const double p =
        (r + r2 * (0.5 + r * (1.0 / 6.0))) + (r2 * r2) * (1.0 / 24.0 + r * (1.0 / 120.0));
    const double t = kExpFactorWhole[j >> 5] * kExpFactorBy32[j & 31];
    return t + t * p;
}

} // namespace designmath

// The largest arguments the inline forms serve: pow2 up to 12 (the sweep
// passes up to 10, the envelope coefficients 12), the tangent and cotangent
// of 3.14159 w and the cosine of 6.28318 w for every normalised frequency w
// up to 0.4423 (the design bounds its frequencies to 0.44 of the rate, and
// the band's width to 1.005 times that).
inline constexpr float kPow2InlineTop = 12.0f;
inline constexpr float kFrequencyInlineTop = 0.4423f;

// The inline values in double, before their rounding to single; NaN outside
// the ranges they serve.
namespace designmath {

inline double pow2Value(float x) {
    if (!(x >= 0.0f && x <= kPow2InlineTop)) return NAN;
    return expOfFactor(x);
}

inline double cotangentValue(float w) {
    if (!(w > 0.0f && w <= kFrequencyInlineTop)) return NAN;
    const SinCos t = sinCosOfDesignPi(w);
    return t.c / t.s;
}

inline double tangentValue(float w) {
    if (!(w > 0.0f && w <= kFrequencyInlineTop)) return NAN;
    const SinCos t = sinCosOfDesignPi(w);
    return t.s / t.c;
}

inline double twiceCosineValue(float w) {
    if (!(w > 0.0f && w <= kFrequencyInlineTop)) return NAN;
    return 2.0 * sinCos(kDesignTwoPi * static_cast<double>(w)).c;
}

} // namespace designmath

// The runtime's expressions, for the inputs the inline forms leave to them.
DSP_COLD float runtimeQuotient(double n, double d, double offset);
DSP_COLD float runtimePow2(float x);
DSP_COLD float runtimeCotangent(float w);
DSP_COLD float runtimeTangent(float w);
DSP_COLD float runtimeTwiceCosine(float w);

// single(n / d + offset) for n >= 0, d > 0 and offset >= 0, given inverse =
// 1 / d: by a multiplication where it is certain to give the same single,
// the division (slow, and one at a time) elsewhere. n * inverse lies within
// 2^-52 relative of n / d (the reciprocal and the product each rounded once),
// so the two sums lie a few units in the last place apart, far inside
// roundsClearly's guard. The inverse does not wait on n: worked out before
// n is known, it takes the division off the chain that leads to n / d.
inline float quotientSingle(double n, double d, double inverse, double offset) {
    const double v = n * inverse + offset;
    if (designmath::roundsClearly(v)) [[likely]]
        return single(v);
    return runtimeQuotient(n, d, offset);
}
inline float quotientSingle(double n, double d, double inverse) {
    const double v = n * inverse;
    if (designmath::roundsClearly(v)) [[likely]]
        return single(v);
    return runtimeQuotient(n, d, 0.0);
}

// single(exp(0.6931472 x)): pow2 of the numeric header, inline for 0 <= x <= 12.
inline float pow2Inline(float x) {
    const double v = designmath::pow2Value(x);
    if (designmath::roundsClearly(v)) [[likely]]
        return single(v);
    return runtimePow2(x);
}

// single(1 / tan(3.14159 w)) and single(tan(3.14159 w)), inline for
// 0 < w <= 0.4423: the sine of pi / 2 - x over the sine of x, and the other
// way round.
inline float cotangentSingle(float w) {
    const double v = designmath::cotangentValue(w);
    if (designmath::roundsClearly(v)) [[likely]]
        return single(v);
    return runtimeCotangent(w);
}
inline float tangentSingle(float w) {
    const double v = designmath::tangentValue(w);
    if (designmath::roundsClearly(v)) [[likely]]
        return single(v);
    return runtimeTangent(w);
}

// single(cos(6.28318 w) * 2), inline for 0 < w <= 0.4423: twice the sine of
// pi / 2 - x.
inline float twiceCosineSingle(float w) {
    const double v = designmath::twiceCosineValue(w);
    if (designmath::roundsClearly(v)) [[likely]]
        return single(v);
    return runtimeTwiceCosine(w);
}

} // namespace dsp
