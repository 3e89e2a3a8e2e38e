// processReplacing runs on the host's audio thread: it must not allocate.
// This executable counts every allocation made through operator new.
#include "TestSupport.h"
#include "tests/support/CountingNew.h"

#include <gtest/gtest.h>

#include <vector>

using namespace enginetest;

TEST(Allocation, ProcessReplacingAllocatesNothing) {
    Instance in;
    APlugin& fx = *in.effect;
    std::vector<float> l(4096, 0.25f), r(4096, -0.5f), ol(4096), orr(4096);
    for (int i = 0; i < 4096; ++i) l[i] = (i / 100) % 2 ? 0.9f : 0.01f;
    float* inb[2] = {l.data(), r.data()};
    float* outb[2] = {ol.data(), orr.data()};
    const long before = testsupport::allocationCount();
    for (int frames : {1, 31, 32, 33, 64, 65, 512, 4096}) fx.processReplacing(inb, outb, frames);
    EXPECT_EQ(testsupport::allocationCount() - before, 0);
    // The counter works: a parameter change logs its host call in an empty
    // vector, which must allocate.
    in.host.clearCalls();
    const long beforeParam = testsupport::allocationCount();
    fx.setParameter(0, 0.5f);
    EXPECT_GT(testsupport::allocationCount() - beforeParam, 0);
}
