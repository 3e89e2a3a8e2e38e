// processReplacing runs on the host's audio thread: it must not allocate.
// This executable counts every allocation made through operator new.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// GCC, inlining these into a sanitizer build, takes the malloc behind the
// replaced operator new for a mismatch with free; they are the pair.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

using namespace enginetest;

TEST(Allocation, ProcessReplacingAllocatesNothing) {
    Instance in;
    APlugin& fx = *in.effect;
    std::vector<float> l(4096, 0.25f), r(4096, -0.5f), ol(4096), orr(4096);
    for (int i = 0; i < 4096; ++i) l[i] = (i / 100) % 2 ? 0.9f : 0.01f;
    float* inb[2] = {l.data(), r.data()};
    float* outb[2] = {ol.data(), orr.data()};
    const long before = allocations;
    for (int frames : {1, 31, 32, 33, 64, 65, 512, 4096}) fx.processReplacing(inb, outb, frames);
    EXPECT_EQ(allocations - before, 0);
    // The counter works: a parameter change logs its host call in an empty
    // vector, which must allocate.
    in.host.clearCalls();
    const long beforeParam = allocations;
    fx.setParameter(0, 0.5f);
    EXPECT_GT(allocations - beforeParam, 0);
}
