// A value that one thread writes and another reads without a lock.
//
// Each load and store is a single relaxed atomic access: one aligned 32-bit
// move on x86, so it costs what a plain field costs, but the program stays
// free of data races. Nothing orders it against other fields; readers take
// whatever value was last stored, field by field.
#pragma once

#include <atomic>

template <typename T> class Relaxed {
public:
    static_assert(std::atomic<T>::is_always_lock_free);

    constexpr Relaxed() noexcept : v(T{}) {}
    constexpr Relaxed(T x) noexcept : v(x) {}
    Relaxed(const Relaxed& o) noexcept : v(o.load()) {}
    Relaxed& operator=(const Relaxed& o) noexcept {
        store(o.load());
        return *this;
    }
    Relaxed& operator=(T x) noexcept {
        store(x);
        return *this;
    }
    operator T() const noexcept { return load(); }
    T load() const noexcept { return v.load(std::memory_order_relaxed); }
    void store(T x) noexcept { v.store(x, std::memory_order_relaxed); }
    // Stores `x` and answers the value it replaced, as one step.
    T exchange(T x) noexcept { return v.exchange(x, std::memory_order_relaxed); }

private:
    std::atomic<T> v;
};
