// The audio thread processes while another thread changes parameters,
// programs and names; neither waits for the other.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

using namespace enginetest;

TEST(Threads, ProcessingWhileParametersAndProgramsChange) {
    Instance in;
    APlugin& fx = *in.effect;
    // Millions of changes would fill the host's log; the host need not keep it.
    in.host.keepLog = false;
    std::atomic<bool> done{false};
    std::atomic<long> changes{0};
    std::thread ui([&] {
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> v(-0.2f, 1.2f);
        char name[] = "Live";
        while (!done) {
            const int what = int(rng() % 10);
            if (what == 0)
                fx.setProgram(int(rng() % 16));
            else if (what == 1)
                fx.setProgramName(name);
            else
                fx.setParameter(int(rng() % 8), v(rng));
            ++changes;
        }
    });
    std::vector<float> l(256), r(256), ol(256), orr(256);
    float* inb[2] = {l.data(), r.data()};
    float* outb[2] = {ol.data(), orr.data()};
    bool allGood = true;
    for (int block = 0; block < 4000; ++block) {
        for (int i = 0; i < 256; ++i) {
            l[i] = std::sin(0.01f * (block * 256 + i));
            r[i] = std::sin(0.07f * (block * 256 + i));
        }
        fx.processReplacing(inb, outb, 256);
        for (int i = 0; i < 256; ++i)
            allGood = allGood && std::fabs(ol[i]) <= 1.0f && ol[i] == orr[i];
    }
    done = true;
    ui.join();
    EXPECT_TRUE(allGood);
    EXPECT_GT(changes.load(), 0);
}
