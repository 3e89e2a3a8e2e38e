// The transcendental functions of the filter's redesign, evaluated inline.
//
// Every 32 frames the sweep and the design run a dependent chain of an
// exponent, a tangent (or cotangent), a cosine for the band designs, and
// divisions; through the C runtime's functions that chain is longer than the
// processor can hide behind the filter's own work, most of all where the
// runtime's functions are slow (the Windows builds). Here each function is a
// polynomial in double (Taylor series after an exact range reduction, summed
// by Estrin's scheme so that its terms proceed side by side), accurate to a
// few units in the last place of a double.
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

// pi / 2 as a double and the remainder, for reductions that stay exact.
inline constexpr double kHalfPiHi = 0x1.921fb54442d18p+0;
inline constexpr double kHalfPiLo = 0x1.1a62633145c07p-54;
// ln 2 in two parts: the first with its low 32 bits zero, so that n times it
// is exact for the small n here.
inline constexpr double kLn2Hi = 0x1.62e42feep-1;
inline constexpr double kLn2Lo = 0x1.a39ef35793c76p-33;
inline constexpr double kInvLn2 = 0x1.71547652b82fep+0;
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

// sin(y) for |y| <= pi / 2: the Taylor series to y^23 (truncation below
// 2^-60 relative there).
inline double sinTaylor(double y) {
    const double z = y * y, z2 = z * z, z4 = z2 * z2, z8 = z4 * z4;
    const double p01 = 1.0 + z * (-1.0 / 6.0);
    const double p23 = (1.0 / 120.0) + z * (-1.0 / 5040.0);
    const double p45 = (1.0 / 362880.0) + z * (-1.0 / 39916800.0);
    const double p67 = (1.0 / 6227020800.0) + z * (-1.0 / 1307674368000.0);
    const double p89 = (1.0 / 355687428096000.0) + z * (-1.0 / 121645100408832000.0);
    const double p1011 = (1.0 / 51090942171709440000.0) + z * (-1.0 / 25852016738884976640000.0);
    const double q0 = p01 + z2 * p23, q1 = p45 + z2 * p67, q2 = p89 + z2 * p1011;
    return y * ((q0 + z4 * q1) + z8 * q2);
}

// exp(r) for |r| <= ln 2 / 2: the Taylor series to r^13.
inline double expTaylor(double r) {
    const double r2 = r * r, r4 = r2 * r2, r8 = r4 * r4;
    const double e0 = 1.0 + r, e1 = 0.5 + r * (1.0 / 6.0);
    const double e2 = (1.0 / 24.0) + r * (1.0 / 120.0), e3 = (1.0 / 720.0) + r * (1.0 / 5040.0);
    const double e4 = (1.0 / 40320.0) + r * (1.0 / 362880.0);
    const double e5 = (1.0 / 3628800.0) + r * (1.0 / 39916800.0);
    const double e6 = (1.0 / 479001600.0) + r * (1.0 / 6227020800.0);
    const double f0 = e0 + r2 * e1, f1 = e2 + r2 * e3, f2 = e4 + r2 * e5;
    return (f0 + r4 * f1) + r8 * (f2 + r4 * e6);
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
    const double a = 0.6931472 * static_cast<double>(x);
    const double n = (a * kInvLn2 + kRoundToInteger) - kRoundToInteger;
    const double r = (a - n * kLn2Hi) - n * kLn2Lo;
    const auto scale =
        std::bit_cast<double>(static_cast<std::uint64_t>(1023 + static_cast<int>(n)) << 52);
    return expTaylor(r) * scale;
}

inline double cotangentValue(double x) {
    if (!(x > 0.0 && x <= kTangentInlineTop)) return NAN;
    return sinTaylor((kHalfPiHi - x) + kHalfPiLo) / sinTaylor(x);
}

inline double tangentValue(double x) {
    if (!(x > 0.0 && x <= kTangentInlineTop)) return NAN;
    return sinTaylor(x) / sinTaylor((kHalfPiHi - x) + kHalfPiLo);
}

inline double twiceCosineValue(double x) {
    if (!(x > 0.0 && x <= kCosineInlineTop)) return NAN;
    return 2.0 * sinTaylor((kHalfPiHi - x) + kHalfPiLo);
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
