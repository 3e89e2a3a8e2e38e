// What crosses between the host's threads inside one instance, with no
// lock and no allocation on the audio thread: the parameters' values, and
// the editor's changes on their way to the host.
#pragma once

#include "plugin/params/Parameters.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace clapglue {

using ParamValues = std::array<float, kNumActiveParams>; // normalised, 0 .. 1

// The values as the host's main thread and the editor read them. The audio
// thread stores each value a host event brings straight here. The main
// thread's changes (the editor's, a loaded state) are written as one set
// under a sequence count, odd while a set is being written: the audio
// thread takes them only when the count was even and the same before and
// after its reading, so a state being loaded never reaches the sound half
// old and half new; a set it cannot take yet, it takes at its next look.
// Main-thread writers must not overlap (the instance's lock keeps them
// apart); the audio thread is the only one that takes sets.
class SharedValues {
public:
    explicit SharedValues(const ParamValues& initial) {
        for (std::size_t i = 0; i < values.size(); ++i) values[i].store(initial[i]);
    }

    float get(int index) const {
        return values[static_cast<std::size_t>(index)].load(std::memory_order_relaxed);
    }

    // Audio thread.
    void storeFromAudio(int index, float v) {
        values[static_cast<std::size_t>(index)].store(v, std::memory_order_relaxed);
    }

    // Main thread: `change(set)` stores the values of one set through
    // set(index, value). Each value is a release store, so a reader that
    // sees it sees the odd count before it as well; the even count at the
    // end is a release store after all of them.
    template <typename Change> void write(Change&& change) {
        const std::uint32_t s = sequence.load(std::memory_order_relaxed);
        sequence.store(s + 1, std::memory_order_relaxed);
        change([this](int index, float v) {
            values[static_cast<std::size_t>(index)].store(v, std::memory_order_release);
        });
        sequence.store(s + 2, std::memory_order_release);
    }

    // Audio thread: the values, when main-thread sets have been written
    // since the count `seen` (which then moves on); false when there are
    // none, or one is being written right now. The values are acquire
    // loads: the count read after them is not read before them, and it has
    // moved on if any of them came from a set begun after the first read.
    bool takeSets(std::uint32_t& seen, ParamValues& out) const {
        const std::uint32_t before = sequence.load(std::memory_order_acquire);
        if (before == seen || (before & 1u) != 0) return false;
        ParamValues read;
        for (std::size_t i = 0; i < read.size(); ++i)
            read[i] = values[i].load(std::memory_order_acquire);
        if (sequence.load(std::memory_order_relaxed) != before) return false;
        out = read;
        seen = before;
        return true;
    }

private:
    std::array<std::atomic<float>, kNumActiveParams> values;
    std::atomic<std::uint32_t> sequence{0};
};

// The editor's gestures and changed values on their way to the host, which
// hears of them in the next process() or flush(). Gestures keep their order
// in a ring of fixed size; a value travels as a mark on its parameter, read
// when the host is told, so that a drag the host has not yet heard of
// reaches it as its latest value. One producer (the main thread, under the
// instance's lock) and one consumer (the thread in process() or flush()).
class EditorReports {
public:
    enum class Kind : std::uint8_t { Begin, End };
    struct Gesture {
        Kind kind;
        std::uint8_t index;
    };

    // Producer. A gesture begins only while the ring has room for its
    // beginning and for the ends of every gesture begun and not yet ended,
    // its own included; one that cannot begin is not reported at all, end
    // included, so the host never hears a beginning without its end.
    void begin(int index) {
        const std::size_t i = static_cast<std::size_t>(index);
        if (begun[i]) return;
        if (room() < 2 + open) return;
        put({Kind::Begin, static_cast<std::uint8_t>(index)});
        begun[i] = true;
        ++open;
    }
    void end(int index) {
        const std::size_t i = static_cast<std::size_t>(index);
        if (!begun[i]) return;
        put({Kind::End, static_cast<std::uint8_t>(index)});
        begun[i] = false;
        --open;
    }
    void changed(int index) {
        dirty[static_cast<std::size_t>(index)].store(true, std::memory_order_release);
    }

    // Consumer: the oldest gesture not yet told, or null.
    const Gesture* front() const {
        const std::uint32_t h = head.load(std::memory_order_relaxed);
        if (h == tail.load(std::memory_order_acquire)) return nullptr;
        return &ring[h % kCapacity];
    }
    void pop() { head.store(head.load(std::memory_order_relaxed) + 1, std::memory_order_release); }
    // Whether parameter `index` has changed since the host was last told; clears it.
    bool takeChanged(int index) {
        return dirty[static_cast<std::size_t>(index)].exchange(false, std::memory_order_acq_rel);
    }

private:
    static constexpr std::uint32_t kCapacity = 64;

    std::size_t room() const {
        return kCapacity -
               (tail.load(std::memory_order_relaxed) - head.load(std::memory_order_acquire));
    }
    void put(Gesture g) {
        const std::uint32_t t = tail.load(std::memory_order_relaxed);
        ring[t % kCapacity] = g;
        tail.store(t + 1, std::memory_order_release);
    }

    std::array<Gesture, kCapacity> ring{};
    std::atomic<std::uint32_t> head{0}, tail{0};
    std::array<std::atomic<bool>, kNumActiveParams> dirty{};
    // Producer only.
    std::array<bool, kNumActiveParams> begun{};
    std::size_t open = 0;
};

} // namespace clapglue
