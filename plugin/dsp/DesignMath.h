// The transcendental functions of the filter's redesign, evaluated inline.
//
// Every 32 frames the sweep and the design run a dependent chain of an
// exponent, a tangent (or cotangent), a cosine for the band designs, and
// divisions; through the C runtime's functions that chain is longer than the
// processor can hide behind the filter's own work, most of all where the
// runtime's functions are slow (the Windows builds). Here each function is
// reduced exactly to a short Taylor series around the nearest of 32 points
// whose values a table holds (sin and cos of j pi / 32, the exponent at
// multiples of 1/32),
// accurate to a few units in the last place of a double.
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

// sin and cos of j pi / 32, j = 0 .. 31; exp(0.6931472 q), q = 0 .. 12, and
// exp(0.6931472 s / 32), s = 0 .. 31 (DesignMath.cpp).
extern const double kSinPiBy32[32];
extern const double kCosPiBy32[32];
extern const double kExpFactorWhole[13];
extern const double kExpFactorBy32[32];

// pi / 32 as a first part whose low bits are zero (so
// that a small integer times it is exact) and the remainder.
inline constexpr double kPiBy32Hi = 0x1.921fb54442d00p-4;
inline constexpr double kPiBy32Lo = 0x1.8469898cc5170p-52;
inline constexpr double kThirtyTwoOverPi = 0x1.45f306dc9c883p+3;

struct SinCos {
    double s, c;
};

// sin and cos of x for 0 <= x < 63 pi / 64: x = j pi / 32 + r with
// |r| <= pi / 64, the table's values at j turned by r (the Taylor series of
// sin r to r^9 and of cos r to r^8, truncated below 2^-60).
inline SinCos sinCos(double x) {
    const double jf = (x * kThirtyTwoOverPi + kRoundToInteger) - kRoundToInteger;
    const int j = static_cast<int>(jf);
    const double r = (x - jf * kPiBy32Hi) - jf * kPiBy32Lo;
    const double z = r * r, z2 = z * z;
    const double sr = r + (r * z) * ((-1.0 / 6.0 + z * (1.0 / 120.0)) +
                                     z2 * (-1.0 / 5040.0 + z * (1.0 / 362880.0)));
    const double cr =
        1.0 + z * ((-0.5 + z * (1.0 / 24.0)) + z2 * ((-1.0 / 720.0) + z * (1.0 / 40320.0)));
    const double S = kSinPiBy32[j], C = kCosPiBy32[j];
    return {S * cr + C * sr, C * cr - S * sr};
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
inline constexpr double kTangentInlineTop = 1.3895;
inline constexpr double kCosineInlineTop = 2.779;

// The inline values in double, before their rounding to single; NaN outside
// the ranges they serve.
namespace designmath {

inline double pow2Value(float x) {
    if (!(x >= 0.0f && x <= kPow2InlineTop)) return NAN;
    return expOfFactor(x);
}

inline double cotangentValue(double x) {
    if (!(x > 0.0 && x <= kTangentInlineTop)) return NAN;
    const SinCos t = sinCos(x);
    return t.c / t.s;
}

inline double tangentValue(double x) {
    if (!(x > 0.0 && x <= kTangentInlineTop)) return NAN;
    const SinCos t = sinCos(x);
    return t.s / t.c;
}

inline double twiceCosineValue(double x) {
    if (!(x > 0.0 && x <= kCosineInlineTop)) return NAN;
    return 2.0 * sinCos(x).c;
}

} // namespace designmath

// single(exp(0.6931472 x)): pow2 of the numeric header, inline for 0 <= x <= 12.
inline float pow2Inline(float x) {
    const double v = designmath::pow2Value(x);
    if (designmath::roundsClearly(v)) return single(v);
    return single(std::exp(0.6931472 * static_cast<double>(x)));
}

// single(1 / tan(x)) and single(tan(x)) for x = 3.14159 w, inline for
// 0 < x <= 1.3895: the sine of pi / 2 - x over the sine of x, and the
// other way round.
inline float cotangentSingle(double x) {
    const double v = designmath::cotangentValue(x);
    if (designmath::roundsClearly(v)) return single(v);
    return single(1.0 / std::tan(x));
}
inline float tangentSingle(double x) {
    const double v = designmath::tangentValue(x);
    if (designmath::roundsClearly(v)) return single(v);
    return single(std::tan(x));
}

// single(cos(x) * 2) for x = 6.28318 w, inline for 0 < x <= 2.779: twice
// the sine of pi / 2 - x.
inline float twiceCosineSingle(double x) {
    const double v = designmath::twiceCosineValue(x);
    if (designmath::roundsClearly(v)) return single(v);
    return single(std::cos(x) * 2.0);
}

} // namespace dsp
