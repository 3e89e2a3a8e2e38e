// The output stage's soft clipper.
#pragma once

#include "plugin/dsp/Numeric.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dsp {

// sign(x) (3|x| - x^2) / 2 up to |x| = 1, and +-1 beyond: gain 1.5 near zero,
// slope 0.5 at +-1, never above 1 in magnitude. NaN gives NaN; the signal
// path never feeds it one.
inline float softClip(float x) {
    // Above 1 the result is 1, which is exactly the curve's value at 1: so
    // |x| is limited to 1 instead of branching (loud signals hover around 1,
    // where a branch would often be mispredicted).
    const double b = minOf(std::fabs(static_cast<double>(x)), 1.0);
    const float c = single((-b * b + 3.0 * b) * 0.5);
    // c * sign(x): c >= 0, so that is c with x's sign; adding +0 turns the
    // -0 that a zero x of either sign leaves into +0, and changes no other
    // value.
    return std::copysign(c, x) + 0.0f;
}

// softClip of two samples, written to both outputs, sharing each
// instruction (the same operations, lane by lane, so the same values); `in`
// may be either output.
inline void softClipPairInto(const float* in, float* outL, float* outR) {
#if defined(__SSE2__)
    const __m128d one = _mm_set1_pd(1.0), three = _mm_set1_pd(3.0), half = _mm_set1_pd(0.5);
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    const __m128 sign = _mm_castsi128_ps(_mm_set1_epi32(static_cast<int>(0x80000000u)));
    // Two singles move as one 64-bit word; the buffers need only the
    // alignment of a single.
    double pair;
    std::memcpy(&pair, in, sizeof pair);
    const __m128 x = _mm_castpd_ps(_mm_load_sd(&pair));
    const __m128d b = _mm_min_pd(one, _mm_and_pd(_mm_cvtps_pd(x), magnitude));
    const __m128d v = _mm_mul_pd(_mm_sub_pd(_mm_mul_pd(three, b), _mm_mul_pd(b, b)), half);
    const __m128 y = _mm_add_ps(_mm_or_ps(_mm_cvtpd_ps(v), _mm_and_ps(x, sign)), _mm_setzero_ps());
    _mm_store_sd(&pair, _mm_castps_pd(y));
    std::memcpy(outL, &pair, sizeof pair);
    std::memcpy(outR, &pair, sizeof pair);
#else
    const float y0 = softClip(in[0]), y1 = softClip(in[1]);
    outL[0] = y0, outL[1] = y1;
    outR[0] = y0, outR[1] = y1;
#endif
}

// softClip of `frames` samples, written to both outputs; `in` may be either
// output.
inline void softClipInto(const float* in, float* outL, float* outR, int frames) {
    int i = 0;
    for (; i + 2 <= frames; i += 2) softClipPairInto(in + i, outL + i, outR + i);
    for (; i < frames; ++i) {
        const float y = softClip(in[i]);
        outL[i] = y;
        outR[i] = y;
    }
}

} // namespace dsp
