// The two window timers on a monotonic clock, driven by the host's idle
// calls (X11), or by a test's clock stepping from one due time to the next
// (headless). A timer fires on the first idle call at or after its due time, once,
// and is next due one period after the time it was due, so that on-time idle
// calls keep the period exact. Idle calls that come a whole period late or
// more do not make up for the lost firings: the timer is then next due one
// period after the late call. So it never fires twice in one period.
#pragma once

#include "editor/Platform.h"

#include <array>
#include <optional>

namespace ui {

class TimerPacer {
public:
    void start(TimerId id, int periodMs, long long nowMs) {
        Slot& s = slots[index(id)];
        s.period = periodMs > 0 ? periodMs : 0;
        s.due = nowMs + s.period;
    }
    void stopAll() {
        for (Slot& s : slots) s.period = 0;
    }
    bool running(TimerId id) const { return slots[index(id)].period > 0; }
    int period(TimerId id) const { return slots[index(id)].period; }
    // When the next running timer falls due; none when none runs.
    std::optional<long long> nextDue() const {
        std::optional<long long> due;
        for (const Slot& s : slots)
            if (s.period > 0 && (!due || s.due < *due)) due = s.due;
        return due;
    }

    // The timer to fire now, earliest due first (Timer1 on a tie), already
    // moved on to its next due time; none when no timer is due. Calling it
    // until it answers none fires each timer at most once.
    std::optional<TimerId> take(long long nowMs) {
        int next = -1;
        for (int i = 0; i < 2; ++i)
            if (slots[i].period > 0 && slots[i].due <= nowMs &&
                (next < 0 || slots[i].due < slots[next].due))
                next = i;
        if (next < 0) return std::nullopt;
        Slot& s = slots[next];
        s.due += s.period;
        if (s.due <= nowMs) s.due = nowMs + s.period;
        return static_cast<TimerId>(next);
    }

private:
    struct Slot {
        int period = 0; // ms; 0: not running
        long long due = 0;
    };
    static int index(TimerId id) { return id == TimerId::Timer1 ? 0 : 1; }
    std::array<Slot, 2> slots;
};

} // namespace ui
