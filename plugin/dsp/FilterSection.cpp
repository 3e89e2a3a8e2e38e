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

} // namespace dsp
