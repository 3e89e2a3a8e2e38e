// The key channel's envelope follower and the sweep it drives.
#pragma once

#include "plugin/dsp/DesignMath.h"
#include "plugin/dsp/Numeric.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace dsp {

// Follower state: one single, never clamped, so with a gain above 1 it may
// rise above 1. It never becomes negative or infinite: the detector value is
// bounded to half the largest finite single, and one step moves the envelope
// at most half a unit in the last place past it. It is zero or normal, never
// subnormal.
struct EnvelopeFollower {
    float envelope = 0.0f;

    // Half the largest single: far above any real level, and low enough that
    // a step towards it cannot round past the largest single.
    static constexpr float kDetectorLimit = FLT_MAX / 2;

    // The detector gain and the two coefficients, prepared for a run of
    // samples. The step moves the envelope by d * attackCoef when the
    // detector value is above it (d > 0) and by d * releaseCoef otherwise.
    // Both coefficients are positive, so with attackCoef >= releaseCoef that
    // is the larger of the two products, whatever the sign of d, and with
    // attackCoef < releaseCoef the smaller. So the step takes a maximum or a
    // minimum, which of the two being fixed for the run, instead of choosing
    // by d: no comparison waits on the envelope, and no jump follows the
    // signal.
    struct Settings {
        float boost;
        double attack, release;
        bool attackFaster; // attackCoef >= releaseCoef: the larger product
        Settings(float boost, float attackCoef, float releaseCoef)
            : boost(boost), attack(attackCoef), release(releaseCoef),
              attackFaster(attackCoef >= releaseCoef) {}
    };

    // One sample of the key channel; `key` must be finite. Returns the
    // envelope limited to 0 .. 1, the sweep position's weight.
    float follow(float key, const Settings& s) {
        // A huge key times the gain may overflow; an infinite detector value
        // would leave the envelope infinite, then NaN, for good.
        const float t =
            std::min(single(std::fabs(static_cast<double>(key)) * s.boost), kDetectorLimit);
        // The difference of two singles rounded once to single equals the
        // double difference rounded to single (double has more than twice
        // the precision), so single arithmetic gives the same d. Both
        // products d * c are exact in double (singles have 24 bits), so the
        // sum is rounded once, then to single.
        const double d = t - envelope;
        const double a = d * s.attack, r = d * s.release;
        // The same choice for every sample of the run: a jump that is always
        // predicted, off the envelope's chain of dependent steps.
        const double step = s.attackFaster ? maxOf(a, r) : minOf(a, r);
        const float next = single(step + static_cast<double>(envelope));
        // A silent key lets the envelope decay into subnormal numbers, where
        // a release below 0.5 holds it on the smallest one for good and some
        // processors compute slowly. Below the smallest normal single it
        // makes no difference to the sweep, so it rests at zero instead.
        envelope = next >= FLT_MIN ? next : 0.0f;
        return weight();
    }

    float follow(float key, float boost, float attackCoef, float releaseCoef) {
        return follow(key, Settings(boost, attackCoef, releaseCoef));
    }

    // The envelope limited to 0 .. 1 (it is never negative).
    float weight() const { return std::min(envelope, 1.0f); }
};

// Sweep frequency in Hz for the envelope weight e (0 .. 1) between the
// positions `low` (at e = 0) and `high` (at e = 1): 15 * 2^(10 m) Hz, from
// 15 Hz at m = 0 to 15360.0039 Hz at m = 1.
float sweepFrequency(float low, float high, float e);

// The same in two steps: the exponent 10 m of the weight's position, and the
// frequency of an exponent. Each product of a single and a small integer is
// exact in double, so rounding it once to single is what the single
// multiplication does. Inline, for the keyed filter's recursion loop.
inline float sweepExponent(float low, float high, float e) {
    const float m = single((static_cast<double>(high) - low) * e + low);
    return m * 10.0f;
}
inline float sweepFrequencyOf(float exponent) { return pow2Inline(exponent) * 15.0f; }

} // namespace dsp
