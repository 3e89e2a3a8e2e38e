// velmora-designcheck: proves, input by input, that the filter design's
// inline transcendental functions (plugin/dsp/DesignMath.h) return the same
// single as the C runtime's expressions they stand for, over every single
// that the signal path can pass them:
//
//   pow2         x in [0, 12]           single(exp(0.6931472 x))
//   cotangent    w in (0, 0.4423]       single(1 / tan(3.14159 w))
//   tangent      w in (0, 0.4423]       single(tan(3.14159 w))
//   cosine       w in (0, 0.4423]       single(cos(6.28318 w) * 2)
//   F / rate     F in [15.01, 0.44 rate] single(F / rate + 1e-15)
//
// and, for the common rates 44.1, 48 and 96 kHz, that the design's quotient by
// the rate (a multiplication by its inverse, checked against the rounding
// midpoints as the inline functions are) gives the division's single for
// every frequency the design can pass.
//
// (w is a normalised frequency, the design's frequency over the rate: at most
// 0.44 for the sweep and 1.005 times that for a band's width; pow2 takes up
// to 10 from the sweep and 12 from the envelope coefficients.) The runtime
// is the one this build links, so the check is run on each build. It prints
// per function the inputs checked, how many took the inline value (the rest
// were near a rounding midpoint and went to the runtime) and any input whose
// results differ; the exit status is 0 only when none differ.
//
//   velmora-designcheck [--threads N]
#include "plugin/dsp/DesignMath.h"
#include "plugin/dsp/FilterDesign.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using dsp::single;

float fromBits(std::uint32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}
std::uint32_t bitsOf(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}
bool same(float a, float b) { return bitsOf(a) == bitsOf(b); }

struct Check {
    const char* name;
    const char* domain;
    std::uint32_t first, last; // the inputs' bit patterns, both included
    float (*inlineForm)(float);
    float (*runtime)(float);
    double (*value)(float); // the inline value before rounding, NaN where not served
};

// F / rate + 1e-15 for every frequency F from the sweep's lowest (15 Hz plus
// 0.01) to the design's bound, at one rate.
#define QUOTIENT_CHECK(rate)                                                                       \
    Check {                                                                                        \
        "F / " #rate, "F in [15.01, top]", bitsOf(15.01f),                                         \
            bitsOf(single(dsp::kMaxFrequencyRatio*(rate))),                                        \
            [](float F) { return dsp::quotientSingle(F, (rate), 1.0 / (rate), 1e-15); },           \
            [](float F) { return single(static_cast<double>(F) / (rate) + 1e-15); },               \
            [](float F) { return static_cast<double>(F) * (1.0 / (rate)) + 1e-15; }                \
    }

const Check kChecks[] = {
    {"pow2", "x in [0, 12]", bitsOf(0.0f), bitsOf(dsp::kPow2InlineTop),
     [](float x) { return dsp::pow2Inline(x); },
     [](float x) { return single(std::exp(0.6931472 * static_cast<double>(x))); },
     [](float x) { return dsp::designmath::pow2Value(x); }},
    {"cotangent", "w in (0, 0.4423]", 1, bitsOf(0.4423f),
     [](float w) { return dsp::cotangentSingle(w); },
     [](float w) { return single(1.0 / std::tan(3.14159 * w)); },
     [](float w) { return dsp::designmath::cotangentValue(w); }},
    {"tangent", "w in (0, 0.4423]", 1, bitsOf(0.4423f),
     [](float w) { return dsp::tangentSingle(w); },
     [](float w) { return single(std::tan(3.14159 * w)); },
     [](float w) { return dsp::designmath::tangentValue(w); }},
    {"cosine", "w in (0, 0.4423]", 1, bitsOf(0.4423f),
     [](float w) { return dsp::twiceCosineSingle(w); },
     [](float w) { return single(std::cos(6.28318 * w) * 2.0); },
     [](float w) { return dsp::designmath::twiceCosineValue(w); }},
    QUOTIENT_CHECK(44100),
    QUOTIENT_CHECK(48000),
    QUOTIENT_CHECK(96000),
};

struct Tally {
    std::atomic<std::uint64_t> checked{0}, inlined{0}, differing{0};
    std::mutex lock;
    std::vector<std::string> examples;
};

void run(const Check& c, Tally& t, std::uint32_t from, std::uint32_t to) {
    std::uint64_t checked = 0, inlined = 0, differing = 0;
    for (std::uint32_t b = from;; ++b) {
        const float x = fromBits(b);
        const float got = c.inlineForm(x), want = c.runtime(x);
        ++checked;
        if (dsp::designmath::roundsClearly(c.value(x))) ++inlined;
        if (!same(got, want)) {
            ++differing;
            std::lock_guard<std::mutex> g(t.lock);
            if (t.examples.size() < 8) {
                char text[160];
                std::snprintf(text, sizeof text, "%s(%a): %a, the runtime %a", c.name,
                              static_cast<double>(x), static_cast<double>(got),
                              static_cast<double>(want));
                t.examples.push_back(text);
            }
        }
        if (b == to) break;
    }
    t.checked += checked;
    t.inlined += inlined;
    t.differing += differing;
}

} // namespace

int main(int argc, char** argv) {
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--threads" && i + 1 < argc) {
            threads = static_cast<unsigned>(std::max(1, std::atoi(argv[++i])));
        } else {
            std::fprintf(stderr, "usage: velmora-designcheck [--threads N]\n");
            return 2;
        }
    }
    std::printf("velmora-designcheck: every input of the design's inline functions against the "
                "runtime, %u threads\n",
                threads);
    std::fflush(stdout);
    bool allSame = true;
    const auto start = std::chrono::steady_clock::now();
    for (const Check& c : kChecks) {
        const auto t0 = std::chrono::steady_clock::now();
        Tally t;
        // Slices handed out one at a time, so that threads finish together.
        constexpr std::uint32_t kSlice = 1u << 20;
        std::atomic<std::uint64_t> next{c.first};
        std::vector<std::thread> pool;
        for (unsigned k = 0; k < threads; ++k)
            pool.emplace_back([&] {
                for (;;) {
                    const std::uint64_t from = next.fetch_add(kSlice);
                    if (from > c.last) return;
                    const std::uint64_t to = std::min<std::uint64_t>(from + kSlice - 1, c.last);
                    run(c, t, static_cast<std::uint32_t>(from), static_cast<std::uint32_t>(to));
                }
            });
        for (auto& th : pool) th.join();
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("%-10s %-17s %11llu inputs, %11llu inline (%.6f%% to the runtime), "
                    "%llu differ, %.1f s\n",
                    c.name, c.domain, static_cast<unsigned long long>(t.checked.load()),
                    static_cast<unsigned long long>(t.inlined.load()),
                    100.0 * static_cast<double>(t.checked - t.inlined) /
                        static_cast<double>(t.checked),
                    static_cast<unsigned long long>(t.differing.load()), s);
        for (const auto& e : t.examples) std::printf("  differs: %s\n", e.c_str());
        std::fflush(stdout);
        allSame = allSame && t.differing == 0;
    }
    const double total =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("designcheck: %s, %.0f s\n",
                allSame ? "every input gives the runtime's single" : "SOME INPUTS DIFFER", total);
    return allSame ? 0 : 1;
}
