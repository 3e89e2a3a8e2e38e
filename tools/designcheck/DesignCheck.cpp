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
//   velmora-designcheck [--threads N] [--every K] [--near FILE]
//   velmora-designcheck [--threads N] --list-near FILE
//
// Without options it checks every input: the whole proof, about a minute
// natively on two cores. The 32-bit Windows build, on a machine whose kernel
// executes no 32-bit code, runs under an emulator that evaluates its
// floating-point instructions one call at a time: there the whole proof
// takes hours, and so does merely working out every input's inline value.
// Hence the proof that fits a test run, in two steps:
//
// --list-near FILE writes every input whose inline value lies within 2^-32
// (relative) of a single's rounding midpoint, and calls no runtime. The
// inline values are the same on every build (the same double operations on
// the same tables, no x87 in them), so a native build lists them in seconds.
// --near FILE --every K then checks against the runtime every listed input
// and every K-th of the range. An inline value clear of every midpoint by
// more than the runtime's error rounds as the runtime's does, so that proves
// every input for a runtime accurate to 2^-32 (a 512th of a single's step);
// the even sample tests the runtime against that bound, and checks the list
// against this build's own inline values (an input that this build finds
// near a midpoint and the list lacks, or the other way round, fails).
// --every K alone checks every K-th input, an even sample of the whole proof.
#include "plugin/dsp/DesignMath.h"
#include "plugin/dsp/FilterDesign.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
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

// Half the width of the band around a single's rounding midpoint that
// --list-near lists: 2^20 units in the last place of the double, 2^-32
// relative. Values that round into the single's subnormal range (or to
// zero) round at another bit and are always listed.
constexpr std::uint32_t kNearBand = 1u << 20;

bool nearMidpoint(double v) {
    if (!(std::fabs(v) >= 0x1p-125)) return true;
    const auto low = static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(v) & 0x1FFFFFFFu);
    return low - (0x10000000u - kNearBand) < 2 * kNearBand;
}

// Which inputs a run visits and what it does with each.
struct Plan {
    enum class Mode { Whole, Every, Near, List } mode = Mode::Whole;
    std::uint32_t stride = 1; // every stride-th input from the range's first
    std::string file;         // the list of inputs near a midpoint
};

using Inputs = std::vector<std::uint32_t>; // bit patterns, ascending

// The list's file: a tag, then per check its first and last input, the
// count of inputs listed and the inputs, each a little-endian 32-bit word.
constexpr char kListTag[8] = {'V', 'm', 'N', 'e', 'a', 'r', '0', '1'};

struct Tally {
    std::atomic<std::uint64_t> checked{0}, listed{0}, inlined{0}, differing{0}, misListed{0};
    std::mutex lock;
    std::vector<std::string> examples;
    std::vector<std::pair<std::uint32_t, Inputs>> found; // --list-near: per slice
    void note(const char* text) {
        std::lock_guard<std::mutex> g(lock);
        if (examples.size() < 8) examples.emplace_back(text);
    }
};

void run(const Check& c, const Plan& plan, const Inputs& list, Tally& t, std::uint32_t from,
         std::uint32_t to) {
    std::uint64_t checked = 0, listed = 0, inlined = 0, differing = 0, misListed = 0;
    const auto check = [&](std::uint32_t b) {
        const float x = fromBits(b);
        const float got = c.inlineForm(x), want = c.runtime(x);
        ++checked;
        if (dsp::designmath::roundsClearly(c.value(x))) ++inlined;
        if (!same(got, want)) {
            ++differing;
            char text[160];
            std::snprintf(text, sizeof text, "differs: %s(%a): %a, the runtime %a", c.name,
                          static_cast<double>(x), static_cast<double>(got),
                          static_cast<double>(want));
            t.note(text);
        }
    };
    // Whether b is listed as this build's own inline value says it should be.
    const auto agrees = [&](std::uint32_t b, bool isListed) {
        if (nearMidpoint(c.value(fromBits(b))) == isListed) return;
        ++misListed;
        char text[160];
        std::snprintf(text, sizeof text, "%s: %s(%a) here",
                      isListed ? "listed, not near" : "near, not listed", c.name,
                      static_cast<double>(fromBits(b)));
        t.note(text);
    };
    // The first input of the stride's grid at or after from.
    const std::uint32_t offset = (from - c.first) % plan.stride;
    const std::uint64_t gridFrom = offset == 0 ? from : std::uint64_t{from} + plan.stride - offset;
    switch (plan.mode) {
    case Plan::Mode::Whole:
    case Plan::Mode::Every:
        for (std::uint64_t b = gridFrom; b <= to; b += plan.stride)
            check(static_cast<std::uint32_t>(b));
        break;
    case Plan::Mode::List: {
        Inputs found;
        for (std::uint64_t b = from; b <= to; ++b)
            if (nearMidpoint(c.value(fromBits(static_cast<std::uint32_t>(b)))))
                found.push_back(static_cast<std::uint32_t>(b));
        listed = found.size();
        std::lock_guard<std::mutex> g(t.lock);
        t.found.emplace_back(from, std::move(found));
        break;
    }
    case Plan::Mode::Near: {
        // The grid's inputs and the listed ones, each once, in order.
        auto l = std::lower_bound(list.begin(), list.end(), from);
        const auto lEnd = std::upper_bound(l, list.end(), to);
        std::uint64_t g = gridFrom;
        while (g <= to || l != lEnd) {
            const bool fromList = l != lEnd && (g > to || *l <= g);
            const std::uint64_t b = fromList ? *l : g;
            const bool onGrid = b == g, isListed = l != lEnd && *l == b;
            if (onGrid) {
                agrees(static_cast<std::uint32_t>(b), isListed);
                g += plan.stride;
            }
            if (isListed) {
                if (!onGrid) agrees(static_cast<std::uint32_t>(b), true);
                ++listed;
                ++l;
            }
            check(static_cast<std::uint32_t>(b));
        }
        break;
    }
    }
    t.checked += checked;
    t.listed += listed;
    t.inlined += inlined;
    t.differing += differing;
    t.misListed += misListed;
}

void putWord(std::FILE* f, std::uint32_t w) {
    const unsigned char b[4] = {static_cast<unsigned char>(w), static_cast<unsigned char>(w >> 8),
                                static_cast<unsigned char>(w >> 16),
                                static_cast<unsigned char>(w >> 24)};
    std::fwrite(b, 1, 4, f);
}
bool getWord(std::FILE* f, std::uint32_t& w) {
    unsigned char b[4];
    if (std::fread(b, 1, 4, f) != 4) return false;
    w = b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t{b[3]} << 24);
    return true;
}

// Reads the list for every check, in the checks' order; false (with the
// reason on standard error) when the file is not a list for these checks.
bool readLists(const std::string& path, std::vector<Inputs>& lists) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        std::fprintf(stderr, "velmora-designcheck: cannot open %s\n", path.c_str());
        return false;
    }
    char tag[8];
    bool ok = std::fread(tag, 1, 8, f) == 8 && std::memcmp(tag, kListTag, 8) == 0;
    for (const Check& c : kChecks) {
        std::uint32_t first = 0, last = 0, count = 0;
        ok = ok && getWord(f, first) && getWord(f, last) && getWord(f, count) && first == c.first &&
             last == c.last && count <= last - first + 1;
        if (!ok) break;
        Inputs l(count);
        for (std::uint32_t i = 0; ok && i < count; ++i)
            ok = getWord(f, l[i]) && l[i] >= first && l[i] <= last && (i == 0 || l[i] > l[i - 1]);
        lists.push_back(std::move(l));
    }
    ok = ok && std::fgetc(f) == EOF;
    std::fclose(f);
    if (!ok)
        std::fprintf(stderr, "velmora-designcheck: %s is not a list of these checks' inputs\n",
                     path.c_str());
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    Plan plan;
    bool usage = false;
    for (int i = 1; i < argc && !usage; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if ((a == "--threads" || a == "--every") && hasValue && std::atoi(argv[i + 1]) >= 1) {
            (a == "--threads" ? threads : plan.stride) =
                static_cast<unsigned>(std::atoi(argv[++i]));
            if (a == "--every" && plan.mode == Plan::Mode::Whole) plan.mode = Plan::Mode::Every;
        } else if ((a == "--near" || a == "--list-near") && hasValue && plan.file.empty()) {
            plan.file = argv[++i];
            plan.mode = a == "--near" ? Plan::Mode::Near : Plan::Mode::List;
        } else {
            usage = true;
        }
    }
    if (usage || (plan.mode == Plan::Mode::List && plan.stride != 1)) {
        std::fprintf(stderr, "usage: velmora-designcheck [--threads N] [--every K] [--near FILE]\n"
                             "       velmora-designcheck [--threads N] --list-near FILE\n");
        return 2;
    }
    std::vector<Inputs> lists(std::size(kChecks));
    std::FILE* out = nullptr;
    if (plan.mode == Plan::Mode::Near) {
        lists.clear();
        if (!readLists(plan.file, lists)) return 2;
    } else if (plan.mode == Plan::Mode::List) {
        out = std::fopen(plan.file.c_str(), "wb");
        if (out == nullptr) {
            std::fprintf(stderr, "velmora-designcheck: cannot write %s\n", plan.file.c_str());
            return 2;
        }
        std::fwrite(kListTag, 1, 8, out);
    }
    switch (plan.mode) {
    case Plan::Mode::Whole:
        std::printf("velmora-designcheck: every input of the design's inline functions against "
                    "the runtime, %u threads\n",
                    threads);
        break;
    case Plan::Mode::Every:
        std::printf("velmora-designcheck: every %u-th input of the design's inline functions "
                    "against the runtime, %u threads\n",
                    plan.stride, threads);
        break;
    case Plan::Mode::Near:
        std::printf("velmora-designcheck: every input within 2^-32 of a rounding midpoint (%s) "
                    "and every %u-th input against the runtime, %u threads\n",
                    plan.file.c_str(), plan.stride, threads);
        break;
    case Plan::Mode::List:
        std::printf("velmora-designcheck: listing every input within 2^-32 of a rounding "
                    "midpoint in %s, %u threads\n",
                    plan.file.c_str(), threads);
        break;
    }
    std::fflush(stdout);
    bool allSame = true;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t k = 0; k < std::size(kChecks); ++k) {
        const Check& c = kChecks[k];
        const auto t0 = std::chrono::steady_clock::now();
        Tally t;
        // Slices handed out one at a time, so that threads finish together.
        constexpr std::uint32_t kSlice = 1u << 20;
        std::atomic<std::uint64_t> next{c.first};
        std::vector<std::thread> pool;
        for (unsigned n = 0; n < threads; ++n)
            pool.emplace_back([&] {
                for (;;) {
                    const std::uint64_t from = next.fetch_add(kSlice);
                    if (from > c.last) return;
                    const std::uint64_t to = std::min<std::uint64_t>(from + kSlice - 1, c.last);
                    run(c, plan, lists[k], t, static_cast<std::uint32_t>(from),
                        static_cast<std::uint32_t>(to));
                }
            });
        for (auto& th : pool) th.join();
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const auto inputs = static_cast<unsigned long long>(c.last - c.first) + 1;
        const auto checked = static_cast<unsigned long long>(t.checked.load());
        const auto listed = static_cast<unsigned long long>(t.listed.load());
        if (plan.mode == Plan::Mode::List) {
            std::sort(t.found.begin(), t.found.end());
            putWord(out, c.first);
            putWord(out, c.last);
            putWord(out, static_cast<std::uint32_t>(listed));
            for (const auto& slice : t.found)
                for (const std::uint32_t b : slice.second) putWord(out, b);
            std::printf("%-10s %-17s %11llu inputs, %11llu near a midpoint, %.1f s\n", c.name,
                        c.domain, inputs, listed, s);
            std::fflush(stdout);
            continue;
        }
        std::printf("%-10s %-17s %11llu inputs, %11llu checked", c.name, c.domain, inputs, checked);
        if (plan.mode == Plan::Mode::Near)
            std::printf(" (%llu listed near a midpoint, %llu more of the sample)", listed,
                        checked - listed);
        std::printf(", %llu inline (%.6f%% to the runtime), %llu differ, %.1f s\n",
                    static_cast<unsigned long long>(t.inlined.load()),
                    checked == 0 ? 0.0
                                 : 100.0 * static_cast<double>(t.checked - t.inlined) /
                                       static_cast<double>(checked),
                    static_cast<unsigned long long>(t.differing.load()), s);
        if (t.misListed != 0)
            std::printf("  %llu inputs where the list and this build's inline values disagree\n",
                        static_cast<unsigned long long>(t.misListed.load()));
        for (const auto& e : t.examples) std::printf("  %s\n", e.c_str());
        std::fflush(stdout);
        allSame = allSame && t.differing == 0 && t.misListed == 0 && checked > 0;
    }
    const double total =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (out != nullptr) {
        const bool written = std::fflush(out) == 0 && !std::ferror(out);
        std::fclose(out);
        std::printf("designcheck: %s %s, %.0f s\n", written ? "listed in" : "COULD NOT WRITE",
                    plan.file.c_str(), total);
        return written ? 0 : 1;
    }
    std::printf("designcheck: %s, %.0f s\n",
                !allSame                         ? "SOME INPUTS DIFFER"
                : plan.mode == Plan::Mode::Whole ? "every input gives the runtime's single"
                                                 : "every input checked gives the runtime's single",
                total);
    return allSame ? 0 : 1;
}
