#include "plugin/dsp/FilterSection.h"

namespace dsp {

namespace {
// Rotation tables indexed by phase: the phase that follows, and for the
// phase just entered the current slot and the two written before it.
constexpr int kNextPhase[3] = {1, 2, 0};
struct RingSlots {
    int now, prev1, prev2;
};
constexpr RingSlots kRingSlots[3] = {{2, 0, 1}, {1, 2, 0}, {0, 1, 2}};
} // namespace

void HistoryRing::advance() {
    ringPhase = kNextPhase[ringPhase];
    const RingSlots& s = kRingSlots[ringPhase];
    ringNow = s.now;
    ringPrev1 = s.prev1;
    ringPrev2 = s.prev2;
}

void HistoryRing::advanceBy(std::uint32_t frames) {
    for (std::uint32_t i = frames % 3; i > 0; --i) advance();
}

float FilterSection::filterStep(float x, const HistoryRing& ring) {
    const float x0 = single(static_cast<double>(x) + kDenormalOffset);
    xHist[ring.ringNow] = x0;
    const float y = recursionStep(coef, x0, xHist[ring.ringPrev1], xHist[ring.ringPrev2],
                                  yHist[ring.ringPrev1], yHist[ring.ringPrev2]);
    if (!isFiniteSample(y)) {
        // Overflowed (a huge input, or a marginally stable design that has
        // rung up): restart from rest rather than carry inf into every
        // later sample.
        for (int i = 0; i < 3; ++i) xHist[i] = yHist[i] = 0.0f;
        filterOut = 0.0f;
        return filterOut;
    }
    yHist[ring.ringNow] = y;
    filterOut = single(static_cast<double>(y) + kDenormalOffset);
    return filterOut;
}

} // namespace dsp
