// velmora-validate: loads a VST 2 plug-in binary through its exported entry,
// as a host does, and attacks it as a hostile or careless host would.
//
//   velmora-validate PLUGIN [--seconds S] [--seed N] [--only NAME]
//
// Attacks, each bounded in time by S seconds (or by its own counts):
// dispatcher fuzz, text bounds, processing abuse, lifecycle, threads, the
// coherence after a two-thread storm, names at a page's end and while
// renamed, every entry with floating-point exceptions unmasked, and the
// editor's X displays (Linux). Each prints its counts and PASS or FAIL; the
// last line is "validate: N passed, M failed". The exit status is 0 only
// when all pass. --only runs the one attack of that name.
#include "tools/host/VstHost.h"
#include "tools/validate/DisplayAttacks.h"
#include "tools/validate/HostFloatingPoint.h"
#include "tools/validate/HostWindow.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

// The sanitizers keep freed memory in quarantine and replace the heap, so
// the heap's own counts say nothing of leaks; LeakSanitizer reports them
// at exit in the AddressSanitizer build.
#if defined(__SANITIZE_ADDRESS__)
constexpr const char* kSanitizer = "AddressSanitizer";
#elif defined(__SANITIZE_THREAD__)
constexpr const char* kSanitizer = "ThreadSanitizer";
#else
constexpr const char* kSanitizer = nullptr;
#endif
constexpr bool kSanitized = kSanitizer != nullptr;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// ---- one attack's verdict ---------------------------------------------------

class Attack {
public:
    explicit Attack(const char* name) : name(name), start(Clock::now()) {}

    void fail(const std::string& what) {
        if (failures++ < 8) std::printf("  %s: %s\n", name, what.c_str());
    }
    void check(bool ok, const std::string& what) {
        if (!ok) fail(what);
    }
    // Prints the counts and the verdict; true when nothing failed.
    bool finish(const std::string& counts) {
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("%s: %s, %.1f s: %s\n", name, counts.c_str(), s, failures ? "FAIL" : "PASS");
        if (failures > 8) std::printf("  (%ld failures in all)\n", failures);
        std::fflush(stdout);
        return failures == 0;
    }
    double elapsed() const { return std::chrono::duration<double>(Clock::now() - start).count(); }

private:
    const char* name;
    Clock::time_point start;
    long failures = 0;
};

// ---- hostile arguments --------------------------------------------------------

struct Hostile {
    std::mt19937_64 rng;
    explicit Hostile(std::uint64_t seed) : rng(seed) {}

    std::uint64_t bits() { return rng(); }
    int below(int n) { return static_cast<int>(rng() % static_cast<std::uint64_t>(n)); }
    float unit() { return std::uniform_real_distribution<float>(0.0f, 1.0f)(rng); }

    VstInt32 index() {
        static constexpr VstInt32 kIndices[] = {-1,  0,   7,   8,   15,      16,
                                                119, 120, 500, 501, INT_MIN, INT_MAX};
        const int k = below(14);
        if (k < 12) return kIndices[k];
        return static_cast<VstInt32>(bits());
    }
    VstIntPtr value() {
        switch (below(10)) {
        case 0:
            return 0;
        case 1:
            return 1;
        case 2:
            return -1;
        case 3:
            return INT32_MIN;
        case 4:
            return INT32_MAX;
        case 5:
            return std::numeric_limits<VstIntPtr>::min();
        case 6:
            return std::numeric_limits<VstIntPtr>::max();
        case 7:
            // A small number with garbage in the upper half, where there is one.
            return static_cast<VstIntPtr>((bits() << 32) | static_cast<std::uint64_t>(below(20)));
        case 8:
            return below(20) - 2;
        default:
            return static_cast<VstIntPtr>(bits());
        }
    }
    float opt() {
        switch (below(9)) {
        case 0:
            return 0.0f;
        case 1:
            return kNaN;
        case 2:
            return kInf;
        case 3:
            return -kInf;
        case 4:
            return 1e30f;
        case 5:
            return -1e30f;
        case 6:
            return unit() * 4.0f - 2.0f;
        case 7:
            return static_cast<float>(below(200000));
        default: {
            const std::uint32_t b = static_cast<std::uint32_t>(bits());
            float f;
            std::memcpy(&f, &b, sizeof f);
            return f;
        }
        }
    }
    float parameterValue() {
        switch (below(6)) {
        case 0:
            return unit();
        case 1:
            return unit() * 3.0f - 1.0f;
        default:
            return opt();
        }
    }
};

// ---- signals ------------------------------------------------------------------

enum class Signal {
    Ordinary,
    Loud,
    Silent,
    NaN,
    PosInf,
    NegInf,
    Subnormal,
    Huge,
    RandomBits,
    Mixed
};
constexpr int kSignalKinds = 10;
const char* const kSignalNames[kSignalKinds] = {"ordinary",    "loud", "silent",    "NaN",
                                                "+Inf",        "-Inf", "subnormal", "1e38",
                                                "random bits", "mixed"};

float sampleOf(Signal kind, Hostile& h) {
    switch (kind) {
    case Signal::Ordinary:
        return h.unit() * 2.0f - 1.0f;
    case Signal::Loud:
        return (h.unit() * 2.0f - 1.0f) * 8.0f;
    case Signal::Silent:
        return 0.0f;
    case Signal::NaN:
        return kNaN;
    case Signal::PosInf:
        return kInf;
    case Signal::NegInf:
        return -kInf;
    case Signal::Subnormal:
        return (h.unit() * 2.0f - 1.0f) * FLT_MIN * 0.5f;
    case Signal::Huge:
        return h.below(2) ? 1e38f : -1e38f;
    case Signal::RandomBits: {
        const std::uint32_t b = static_cast<std::uint32_t>(h.bits());
        float f;
        std::memcpy(&f, &b, sizeof f);
        return f;
    }
    case Signal::Mixed:
        return sampleOf(static_cast<Signal>(h.below(kSignalKinds - 1)), h);
    }
    return 0.0f;
}

// How the host lays out its buffers for one call.
enum class Layout { Separate, InPlace, SharedInput };
constexpr int kLayouts = 3;
const char* const kLayoutNames[kLayouts] = {"separate", "in place", "one buffer for both inputs"};

struct Buffers {
    std::vector<float> a, b, c, d;
    void run(vhost::Host& host, int frames, Layout layout, Signal kind, Hostile& h, Attack& attack,
             const char* context) {
        const std::size_t n = static_cast<std::size_t>(std::max(frames, 1));
        a.assign(n, 0.0f), b.assign(n, 0.0f), c.assign(n, -7.0f), d.assign(n, -7.0f);
        for (std::size_t i = 0; i < n; ++i) a[i] = sampleOf(kind, h), b[i] = sampleOf(kind, h);
        float* in[2] = {a.data(), b.data()};
        float* out[2] = {c.data(), d.data()};
        if (layout == Layout::InPlace) out[0] = a.data(), out[1] = b.data();
        if (layout == Layout::SharedInput) in[1] = a.data();
        host.processReplacing(in, out, frames);
        for (int i = 0; i < frames; ++i) {
            const float l = out[0][i], r = out[1][i];
            if (!(std::fabs(l) <= 1.0f) || !(l == r)) {
                char msg[200];
                std::snprintf(msg, sizeof msg, "%s: frame %d of %d (%s, %s): %g / %g", context, i,
                              frames, kSignalNames[static_cast<int>(kind)],
                              kLayoutNames[static_cast<int>(layout)], l, r);
                attack.fail(msg);
                return;
            }
        }
    }
};

// ---- the plug-in under attack ---------------------------------------------------

struct Target {
    std::unique_ptr<vhost::Library> library;
    vhost::MainProc entry = nullptr;
    std::unique_ptr<validate::HostWindow> window;

    // A fresh instance with a host that keeps no log and, when asked for the
    // rate, answers `rate` and may set it back through the dispatcher.
    std::unique_ptr<vhost::Host> open(float* rate = nullptr, bool* setOnRequest = nullptr) const {
        auto host = std::make_unique<vhost::Host>(entry);
        host->keepLog = false;
        if (rate) {
            host->onCall = [rate,
                            setOnRequest](const vhost::HostCall& c) -> std::optional<VstIntPtr> {
                if (c.opcode != audioMasterGetSampleRate) return std::nullopt;
                if (setOnRequest && *setOnRequest && c.effect)
                    c.effect->dispatcher(c.effect, effSetSampleRate, 0, 0, nullptr, *rate);
                return std::isfinite(*rate)
                           ? static_cast<VstIntPtr>(std::fmax(std::fmin(*rate, 1e9f), -1e9f))
                           : 0;
            };
        }
        if (!host->open()) return nullptr;
        return host;
    }
    void* parent() const { return window ? window->parent() : nullptr; }
    void pump() const {
        if (window) window->pump();
    }
};

// A text buffer of `size` bytes between two canaries.
class Guarded {
public:
    static constexpr std::size_t kCanary = 32;
    static constexpr unsigned char kCanaryByte = 0xCD;

    Guarded(std::size_t size, unsigned char fill) : size(size), fill(fill) {
        bytes.assign(size + 2 * kCanary, kCanaryByte);
        std::memset(bytes.data() + kCanary, fill, size);
    }
    char* text() { return reinterpret_cast<char*>(bytes.data() + kCanary); }
    bool canariesIntact() const {
        for (std::size_t i = 0; i < kCanary; ++i)
            if (bytes[i] != kCanaryByte || bytes[kCanary + size + i] != kCanaryByte) return false;
        return true;
    }
    bool untouched() const {
        for (std::size_t i = 0; i < size; ++i)
            if (bytes[kCanary + i] != fill) return false;
        return true;
    }
    bool terminated() const { return std::memchr(bytes.data() + kCanary, 0, size) != nullptr; }

private:
    std::size_t size;
    unsigned char fill;
    std::vector<unsigned char> bytes;
};

// ---- 1. dispatcher fuzz -----------------------------------------------------------

// A well-formed event list of 0 .. 200 events, some references null, now and
// then with a negative count.
struct EventList {
    std::vector<VstMidiEvent> events;
    std::vector<unsigned char> block;

    VstEvents* make(Hostile& h) {
        const int n = h.below(201);
        events.assign(static_cast<std::size_t>(n), VstMidiEvent{});
        block.assign(sizeof(VstEvents) + sizeof(VstEvent*) * static_cast<std::size_t>(n), 0);
        auto* list = reinterpret_cast<VstEvents*>(block.data());
        list->numEvents = h.below(10) == 0 ? -h.below(1000) - 1 : n;
        auto** refs = list->events;
        for (int i = 0; i < n; ++i) {
            VstMidiEvent& e = events[static_cast<std::size_t>(i)];
            const int kind = h.below(10);
            e.type = kind < 7 ? kVstMidiType : (kind < 9 ? kVstSysExType : h.below(100) - 50);
            e.byteSize = static_cast<VstInt32>(sizeof(VstMidiEvent));
            e.deltaFrames = h.below(512);
            for (char& m : e.midiData) m = static_cast<char>(h.bits());
            refs[i] = h.below(8) == 0 ? nullptr : reinterpret_cast<VstEvent*>(&e);
        }
        return list;
    }
};

bool dispatcherFuzz(const Target& t, double seconds, std::uint64_t seed) {
    Attack attack("dispatcher fuzz");
    Hostile h(seed);
    constexpr long kMaxCalls = 1'000'000;
    auto host = t.open();
    if (!host) {
        attack.fail("no instance");
        return attack.finish("0 calls");
    }
    std::vector<unsigned char> zeroed(4096), random(4096);
    EventList events;
    Buffers buffers;
    long calls = 0, dispatches = 0, parameterCalls = 0, blocks = 0, frames = 0, instances = 1;
    long editorOpens = 0;
    constexpr int kBlockSizes[] = {0, 1, 31, 32, 33, 64, 65, 511, 512, 1024};
    while (calls < kMaxCalls && attack.elapsed() < seconds) {
        ++calls;
        const int action = h.below(100);
        if (action < 70) {
            const VstInt32 opcode = h.below(111) - 10;
            if (opcode == effClose) {
                // Rarely: the instance goes, with whatever it has open, and
                // the host makes another.
                if (h.below(2000) != 0) continue;
                ++dispatches;
                attack.check(host->close() == 1, "effClose did not answer 1");
                host = t.open();
                if (!host) {
                    attack.fail("no instance after effClose");
                    break;
                }
                ++instances;
                continue;
            }
            void* ptr = nullptr;
            if (opcode == effProcessEvents) {
                ptr = events.make(h);
            } else if (opcode == effEditOpen) {
                ptr = t.parent();
                ++editorOpens;
            } else {
                switch (h.below(3)) {
                case 0:
                    break;
                case 1:
                    std::fill(zeroed.begin(), zeroed.end(), 0);
                    ptr = zeroed.data();
                    break;
                default:
                    for (auto& b : random) b = static_cast<unsigned char>(h.bits());
                    random.back() = 0;
                    ptr = random.data();
                    break;
                }
            }
            ++dispatches;
            host->dispatch(opcode, h.index(), h.value(), ptr, h.opt());
        } else if (action < 80) {
            ++parameterCalls;
            host->setParameter(h.index(), h.parameterValue());
        } else if (action < 90) {
            ++parameterCalls;
            const VstInt32 index = h.index();
            const float v = host->getParameter(index);
            attack.check(v >= 0.0f && v <= 1.0f, "getParameter(" + std::to_string(index) +
                                                     ") answered " + std::to_string(v));
        } else {
            const int n = kBlockSizes[h.below(10)];
            buffers.run(*host, n, static_cast<Layout>(h.below(kLayouts)),
                        static_cast<Signal>(h.below(kSignalKinds)), h, attack, "fuzz block");
            ++blocks;
            frames += n;
        }
        if (calls % 1000 == 0) t.pump();
    }
    host.reset();
    return attack.finish(std::to_string(calls) + " calls (" + std::to_string(dispatches) +
                         " dispatcher, " + std::to_string(parameterCalls) + " parameter, " +
                         std::to_string(blocks) + " blocks of " + std::to_string(frames) +
                         " frames), " + std::to_string(editorOpens) + " editor opens, " +
                         std::to_string(instances) + " instances");
}

// ---- 2. text bounds -----------------------------------------------------------------

struct TextOpcode {
    VstInt32 opcode;
    const char* name;
    std::size_t size; // what the host gives
};
// The interface's sizes; parameter texts get the 64 bytes hosts give in
// practice (the interface's 8 are too few for the names).
constexpr TextOpcode kTextOpcodes[] = {
    {effGetProgramName, "effGetProgramName", kVstMaxProgNameLen},
    {effGetProgramNameIndexed, "effGetProgramNameIndexed", kVstMaxProgNameLen},
    {effGetEffectName, "effGetEffectName", kVstMaxEffectNameLen},
    {effGetVendorString, "effGetVendorString", kVstMaxVendorStrLen},
    {effGetProductString, "effGetProductString", kVstMaxProductStrLen},
    {effGetParamName, "effGetParamName", 64},
    {effGetParamLabel, "effGetParamLabel", 64},
    {effGetParamDisplay, "effGetParamDisplay", 64},
};

bool textBounds(const Target& t) {
    Attack attack("text bounds");
    auto host = t.open();
    if (!host) {
        attack.fail("no instance");
        return attack.finish("0 calls");
    }
    std::vector<VstInt32> indices = {INT_MIN, INT_MAX, 500, 501, 4096};
    for (VstInt32 i = -1; i <= 130; ++i) indices.push_back(i);
    long calls = 0;
    auto probe = [&](const TextOpcode& op, VstInt32 index, const std::string& context) {
        for (unsigned char fill : {0x00, 0x41}) {
            Guarded g(op.size, fill);
            host->dispatch(op.opcode, index, 0, g.text());
            ++calls;
            const std::string where = std::string(op.name) + " " + context + " index " +
                                      std::to_string(index) + (fill ? " (filled buffer)" : "");
            attack.check(g.canariesIntact(),
                         where + ": wrote past its " + std::to_string(op.size) + "-byte buffer");
            attack.check(g.untouched() || g.terminated(), where + ": answer without a zero");
        }
    };
    for (const auto& op : kTextOpcodes)
        for (VstInt32 index : indices) probe(op, index, "");
    // Pin properties: the whole record is the buffer.
    for (VstInt32 opcode : {effGetInputProperties, effGetOutputProperties})
        for (VstInt32 index : indices) {
            Guarded g(sizeof(VstPinProperties), 0x41);
            const VstIntPtr answer = host->dispatch(opcode, index, 0, g.text());
            ++calls;
            const std::string where =
                "pin properties " + std::to_string(opcode) + " index " + std::to_string(index);
            attack.check(g.canariesIntact(), where + ": wrote past the record");
            const auto* p = reinterpret_cast<const VstPinProperties*>(g.text());
            if (answer)
                attack.check(std::memchr(p->label, 0, sizeof p->label) != nullptr,
                             where + ": label without a zero");
        }
    // Program names the host sets: too long, of high bytes, empty.
    std::string tooLong(10000, 'x');
    std::string high;
    for (int i = 0; i < 300; ++i) high.push_back(static_cast<char>(0x80 + i % 0x80));
    const std::string names[] = {tooLong, high, ""};
    for (VstInt32 program = 0; program < 16; ++program) {
        host->setProgram(program);
        for (const std::string& name : names) {
            std::vector<char> sent(name.begin(), name.end());
            sent.push_back('\0');
            host->dispatch(effSetProgramName, 0, 0, sent.data());
            ++calls;
            const std::string want = name.substr(0, kVstMaxProgNameLen - 1);
            for (const auto& op : {kTextOpcodes[0], kTextOpcodes[1]}) {
                Guarded g(op.size, 0x41);
                host->dispatch(op.opcode, program, 0, g.text());
                ++calls;
                const std::string where = std::string(op.name) + " after a name of " +
                                          std::to_string(name.size()) + " bytes";
                attack.check(g.canariesIntact(), where + ": wrote past the buffer");
                attack.check(g.terminated() && std::string(g.text()) == want,
                             where + ": not the name cut to the buffer");
            }
        }
    }
    host.reset();
    return attack.finish(std::to_string(calls) + " calls over " + std::to_string(indices.size()) +
                         " indices");
}

// ---- 3. processing abuse --------------------------------------------------------------

bool processingAbuse(const Target& t, double seconds, std::uint64_t seed) {
    Attack attack("processing abuse");
    Hostile h(seed + 3);
    float rate = 44100.0f;
    bool setOnRequest = false;
    auto host = t.open(&rate, &setOnRequest);
    if (!host) {
        attack.fail("no instance");
        return attack.finish("0 blocks");
    }
    host->resume();
    constexpr int kSizes[] = {0, 1, 31, 32, 33, 64, 65, 511, 4096, 65536};
    constexpr float kRates[] = {0.0f,     -1.0f,    kNaN,      kInf,      1.0f, 8000.0f,
                                22050.0f, 44100.0f, 192000.0f, 768000.0f, 1e9f};
    Buffers buffers;
    long blocks = 0, frames = 0, rateChanges = 0, settingChanges = 0;
    // The first pass takes every size, layout, signal and rate once in turn;
    // after it, random choices until the time is up.
    const long firstPass = 10 * kLayouts * kSignalKinds;
    for (long k = 0; k < firstPass || attack.elapsed() < seconds; ++k) {
        const bool ordered = k < firstPass;
        const int size = kSizes[ordered ? k % 10 : h.below(10)];
        const auto layout = static_cast<Layout>(ordered ? (k / 10) % kLayouts : h.below(kLayouts));
        const auto kind = static_cast<Signal>(ordered ? (k / (10 * kLayouts)) % kSignalKinds
                                                      : h.below(kSignalKinds));
        if (ordered ? k % 3 == 0 : h.below(4) == 0) {
            rate = kRates[ordered ? (k / 3) % 11 : h.below(11)];
            ++rateChanges;
            switch (h.below(3)) {
            case 0:
                host->setSampleRate(rate);
                break;
            case 1:
                host->dispatch(effSetBlockSizeAndSampleRate, 0, std::max(size, 1), nullptr, rate);
                break;
            default:
                // The host's answer, given when a parameter change asks.
                setOnRequest = h.below(2) == 0;
                host->setParameter(h.below(8), h.unit());
                break;
            }
        }
        for (int c = h.below(3); c > 0; --c, ++settingChanges) {
            if (h.below(5) == 0)
                host->setProgram(h.below(16));
            else
                host->setParameter(h.below(8), h.unit());
        }
        buffers.run(*host, size, layout, kind, h, attack, "block");
        ++blocks;
        frames += size;
    }
    host.reset();
    return attack.finish(std::to_string(blocks) + " blocks, " + std::to_string(frames) +
                         " frames, " + std::to_string(rateChanges) + " rate changes, " +
                         std::to_string(settingChanges) + " parameter and program changes");
}

// ---- 4. lifecycle ----------------------------------------------------------------------

struct Census {
    std::size_t memory;
    std::optional<long> graphics;
    int children;
};

Census census(const Target& t) {
    t.pump();
    if (!t.window) return {validate::processMemory(), std::nullopt, 0};
    return {validate::processMemory(), t.window->graphicsObjects(), t.window->childWindows()};
}

void someBlocks(vhost::Host& host, Hostile& h, Buffers& b, Attack& attack, int count) {
    for (int i = 0; i < count; ++i)
        b.run(host, 64 + h.below(512), Layout::Separate, Signal::Ordinary, h, attack, "block");
}

bool lifecycle(const Target& t, std::uint64_t seed) {
    Attack attack("lifecycle");
    Hostile h(seed + 4);
    Buffers buffers;
    constexpr int kCycles = 2000, kWarmUp = 100, kLive = 50;
    long editors = 0;
    auto cycle = [&] {
        auto host = t.open();
        if (!host) {
            attack.fail("no instance");
            return;
        }
        host->dispatch(effOpen);
        host->setSampleRate(h.below(2) ? 44100.0f : 48000.0f);
        host->setBlockSize(512);
        host->resume();
        someBlocks(*host, h, buffers, attack, 3);
        if (host->dispatch(effEditOpen, 0, 0, t.parent())) ++editors;
        host->dispatch(effEditIdle);
        t.pump();
        host->dispatch(effEditClose);
        host->suspend();
        attack.check(host->close() == 1, "effClose did not answer 1");
    };
    for (int i = 0; i < kWarmUp; ++i) cycle();
    const Census before = census(t);
    for (int i = kWarmUp; i < kCycles; ++i) cycle();
    const Census afterCycles = census(t);

    // Many instances at once, some with their editors open, closed in a
    // random order. The first time many editors are open together the
    // window system may grow caches of its own, so the round runs twice and
    // the second must end where the first did.
    auto liveRound = [&] {
        std::vector<std::unique_ptr<vhost::Host>> live;
        for (int i = 0; i < kLive; ++i) {
            auto host = t.open();
            if (!host) {
                attack.fail("no live instance");
                break;
            }
            host->resume();
            if (i % 3 == 0 && host->dispatch(effEditOpen, 0, 0, t.parent())) ++editors;
            live.push_back(std::move(host));
        }
        for (int round = 0; round < 4; ++round)
            for (auto& host : live) {
                someBlocks(*host, h, buffers, attack, 1);
                host->dispatch(effEditIdle);
            }
        t.pump();
        std::shuffle(live.begin(), live.end(), h.rng);
        for (auto& host : live) attack.check(host->close() == 1, "effClose did not answer 1");
        live.clear();
        return census(t);
    };
    const Census firstRound = liveRound();
    const Census after = liveRound();

    auto mb = [](std::size_t bytes) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1e6);
        return std::string(text);
    };
    std::string text = std::to_string(kCycles) + " cycles, 2 x " + std::to_string(kLive) +
                       " live instances closed in random order, " + std::to_string(editors) +
                       " editor opens";
    if (!kSanitized)
        text += "; memory " + mb(before.memory) + " MB after " + std::to_string(kWarmUp) +
                " cycles, " + mb(afterCycles.memory) + " MB after all, " + mb(firstRound.memory) +
                " / " + mb(after.memory) + " MB after each round of live instances";
    if (before.graphics && afterCycles.graphics && firstRound.graphics && after.graphics) {
        text += "; window-system objects " + std::to_string(*before.graphics) + ", " +
                std::to_string(*afterCycles.graphics) + ", " +
                std::to_string(*firstRound.graphics) + " / " + std::to_string(*after.graphics);
        attack.check(*afterCycles.graphics <= *before.graphics,
                     "window-system objects grew over the cycles from " +
                         std::to_string(*before.graphics) + " to " +
                         std::to_string(*afterCycles.graphics));
        attack.check(*after.graphics <= *firstRound.graphics,
                     "window-system objects grew from one round of live instances to the next: " +
                         std::to_string(*firstRound.graphics) + " to " +
                         std::to_string(*after.graphics));
    } else if (t.window) {
        text += "; window-system objects not countable here";
    }
    attack.check(after.children == 0,
                 std::to_string(after.children) + " editor windows left in the host's window");
    if (kSanitized) {
        text += std::string("; memory not measured under ") + kSanitizer;
    } else {
        // 1900 cycles that each kept one instance's 35 KB of values would
        // be 66 MB; allow the allocator and the window system their slack.
        constexpr std::size_t kSlack = 2u << 20;
        attack.check(afterCycles.memory <= before.memory + kSlack, "memory grew over the cycles");
        attack.check(after.memory <= firstRound.memory + kSlack,
                     "memory grew from one round of live instances to the next");
        attack.check(after.memory <= before.memory + kSlack, "memory grew with the live instances");
    }
    return attack.finish(text);
}

// ---- 5. threads --------------------------------------------------------------------------

bool threads(const Target& t, double seconds, std::uint64_t seed) {
    Attack attack("threads");
    float rate = 44100.0f;
    auto host = t.open(&rate);
    if (!host) {
        attack.fail("no instance");
        return attack.finish("0 blocks");
    }
    host->resume();
    std::atomic<bool> done{false};
    std::atomic<long> blocks{0};
    std::atomic<long> badBlocks{0};
    // The audio thread: blocks of ordinary music-like noise, checked.
    std::thread audio([&] {
        Hostile h(seed + 5);
        std::vector<float> l(1024), r(1024), ol(1024), orr(1024);
        while (!done) {
            const int n = 1 + h.below(1024);
            for (int i = 0; i < n; ++i) l[i] = h.unit() * 2 - 1, r[i] = h.unit() * 2 - 1;
            float* in[2] = {l.data(), r.data()};
            float* out[2] = {ol.data(), orr.data()};
            host->processReplacing(in, out, n);
            for (int i = 0; i < n; ++i)
                if (!(std::fabs(ol[i]) <= 1.0f) || ol[i] != orr[i]) {
                    ++badBlocks;
                    break;
                }
            ++blocks;
        }
    });
    // This thread is the host's user interface.
    Hostile h(seed + 6);
    long actions = 0, editorOpens = 0;
    bool editorOpen = false;
    char name[64];
    EventList events;
    while (attack.elapsed() < seconds) {
        ++actions;
        switch (h.below(12)) {
        case 0:
            host->setProgram(h.below(16));
            break;
        case 1:
            std::snprintf(name, sizeof name, "Take %ld", actions);
            host->dispatch(effSetProgramName, 0, 0, name);
            break;
        case 2: {
            char text[64] = {};
            host->dispatch(h.below(2) ? effGetProgramName : effGetParamName, h.below(8), 0, text);
            host->dispatch(effGetProgramNameIndexed, h.below(16), 0, text);
            break;
        }
        case 3:
            if (editorOpen) {
                host->dispatch(effEditClose);
            } else if (host->dispatch(effEditOpen, 0, 0, t.parent())) {
                ++editorOpens;
            }
            editorOpen = !editorOpen;
            break;
        case 4:
            host->dispatch(effEditIdle);
            t.pump();
            break;
        case 5:
            host->dispatch(effProcessEvents, 0, 0, events.make(h));
            break;
        case 6:
            host->suspend();
            host->resume();
            break;
        case 7:
            rate = h.below(2) ? 44100.0f : 96000.0f;
            host->setSampleRate(rate);
            break;
        default:
            host->setParameter(h.below(8), h.unit());
            break;
        }
    }
    done = true;
    audio.join();
    if (editorOpen) host->dispatch(effEditClose);
    attack.check(badBlocks == 0, std::to_string(badBlocks.load()) + " blocks with bad outputs");
    attack.check(blocks > 0, "the audio thread processed nothing");
    host.reset();
    return attack.finish(std::to_string(blocks.load()) + " blocks on the audio thread beside " +
                         std::to_string(actions) + " user-interface actions (" +
                         std::to_string(editorOpens) + " editor opens)");
}

// ---- 6. coherence after a two-thread storm -------------------------------------------------

// Two threads of a host change the instance at the same moment, as a host
// does that loads its rate and programs while automation plays: one sets
// parameters and selects programs, the other sets the rate (both ways the
// interface has) and parameters. Once both have returned, the instance must
// sound exactly as a fresh one given the final values and rate.
bool stormCoherence(const Target& t, double seconds, std::uint64_t seed) {
    Attack attack("coherence after a two-thread storm");
    constexpr float kRates[] = {22050.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 0.0f, kNaN};
    constexpr int kFrames = 512;
    constexpr long kMinTrials = 200, kMaxTrials = 3000;
    // The same key and audio for both instances: noise with bursts on the key.
    std::vector<float> key(kFrames), audio(kFrames);
    {
        Hostile h(seed + 7);
        for (int i = 0; i < kFrames; ++i) {
            key[i] = (h.unit() * 2 - 1) * (i % 128 < 32 ? 1.0f : 0.05f);
            audio[i] = h.unit() * 2 - 1;
        }
    }
    auto render = [&](vhost::Host& host) {
        std::vector<float> l(key), r(audio), ol(kFrames), orr(kFrames);
        float* in[2] = {l.data(), r.data()};
        float* out[2] = {ol.data(), orr.data()};
        host.processReplacing(in, out, kFrames);
        return ol;
    };
    long trials = 0, differing = 0, calls = 0;
    Hostile h(seed + 8);
    while (trials < kMaxTrials && (trials < kMinTrials || attack.elapsed() < seconds)) {
        ++trials;
        auto host = t.open();
        if (!host) {
            attack.fail("no instance");
            break;
        }
        host->resume();
        const std::uint64_t seedA = h.bits(), seedB = h.bits();
        float lastRate = 44100.0f, lastUsableRate = 44100.0f;
        std::atomic<int> ready{0};
        auto together = [&ready] {
            ready.fetch_add(1);
            while (ready.load() < 2) {
            }
        };
        std::thread a([&] {
            Hostile r(seedA);
            together();
            for (int k = 0; k < 6; ++k) {
                if (r.below(6) == 0)
                    host->setProgram(r.below(16));
                else
                    host->setParameter(r.below(8), r.unit());
            }
        });
        std::thread b([&] {
            Hostile r(seedB);
            together();
            for (int k = 0; k < 6; ++k) {
                if (r.below(2) == 0) {
                    host->setParameter(r.below(8), r.unit());
                    continue;
                }
                const float rate = kRates[r.below(7)];
                if (r.below(2) == 0)
                    host->setSampleRate(rate);
                else
                    host->dispatch(effSetBlockSizeAndSampleRate, 0, 512, nullptr, rate);
                lastRate = rate;
                if (rate > 0.0f) lastUsableRate = rate;
            }
        });
        a.join();
        b.join();
        calls += 12;
        // A fresh instance given what the first one holds now.
        auto fresh = t.open();
        if (!fresh) {
            attack.fail("no fresh instance");
            break;
        }
        fresh->resume();
        fresh->setSampleRate(lastUsableRate);
        if (!(lastRate == lastUsableRate)) fresh->setSampleRate(lastRate);
        for (VstInt32 i = 0; i < 120; ++i) fresh->setParameter(i, host->getParameter(i));
        const std::vector<float> got = render(*host), want = render(*fresh);
        if (std::memcmp(got.data(), want.data(), sizeof(float) * kFrames) != 0) {
            ++differing;
            char msg[160];
            std::snprintf(msg, sizeof msg,
                          "trial %ld: the output differs from a fresh instance's with the same "
                          "values at %g Hz",
                          trials, static_cast<double>(lastRate));
            attack.fail(msg);
        }
    }
    return attack.finish(std::to_string(trials) + " trials of " + std::to_string(calls) +
                         " calls from two threads, " + std::to_string(differing) +
                         " instances that did not sound as their values");
}

// ---- 7. program names at the end of a page ---------------------------------------------------

// Two pages, the second one inaccessible: bytes placed to end at the first
// page's end are followed by memory whose reading ends the process.
class PageEnd {
public:
    PageEnd() {
#if defined(_WIN32)
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        page = si.dwPageSize;
        base = static_cast<char*>(
            VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old;
        if (base && !VirtualProtect(base + page, page, PAGE_NOACCESS, &old)) release();
#else
        page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        void* p =
            mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base = p == MAP_FAILED ? nullptr : static_cast<char*>(p);
        if (base && mprotect(base + page, page, PROT_NONE) != 0) release();
#endif
    }
    ~PageEnd() { release(); }
    PageEnd(const PageEnd&) = delete;
    PageEnd& operator=(const PageEnd&) = delete;

    // `bytes` copied so that their last one is the page's last byte.
    char* place(const std::string& bytes) {
        char* at = base + page - bytes.size();
        std::memcpy(at, bytes.data(), bytes.size());
        return at;
    }
    bool usable() const { return base != nullptr; }

private:
    void release() {
#if defined(_WIN32)
        if (base) VirtualFree(base, 0, MEM_RELEASE);
#else
        if (base) munmap(base, 2 * page);
#endif
        base = nullptr;
    }
    std::size_t page = 0;
    char* base = nullptr;
};

// A host that fills the interface's 24-byte program-name buffer with strncpy
// leaves a long name unterminated. The name must be taken from those 24
// bytes alone, and come back cut to 23 characters.
bool namesAtPageEnd(const Target& t) {
    Attack attack("program names at a page end");
    PageEnd pages;
    auto host = t.open();
    if (!pages.usable() || !host) {
        attack.fail(host ? "no guarded page" : "no instance");
        return attack.finish("0 names");
    }
    long names = 0;
    for (VstInt32 program = 0; program < 16; ++program) {
        host->setProgram(program);
        for (int length = 1; length <= kVstMaxProgNameLen; ++length) {
            // Unterminated at the full buffer's length, else terminated
            // right at the page's end.
            std::string bytes(static_cast<std::size_t>(length), static_cast<char>('A' + program));
            if (length < kVstMaxProgNameLen) bytes.back() = '\0';
            host->dispatch(effSetProgramName, 0, 0, pages.place(bytes));
            ++names;
            const std::string want = length < kVstMaxProgNameLen
                                         ? bytes.substr(0, bytes.size() - 1)
                                         : bytes.substr(0, kVstMaxProgNameLen - 1);
            Guarded g(kVstMaxProgNameLen, 0x41);
            host->dispatch(effGetProgramNameIndexed, program, 0, g.text());
            attack.check(g.canariesIntact() && g.terminated() && std::string(g.text()) == want,
                         "program " + std::to_string(program) + ", a name of " +
                             std::to_string(length) + " bytes: came back as \"" +
                             std::string(g.text(), strnlen(g.text(), kVstMaxProgNameLen)) + "\"");
        }
    }
    return attack.finish(std::to_string(names) +
                         " names ending at a page's end, none read past it");
}

// ---- 8. names read while renamed ------------------------------------------------------------

// One thread renames the current program back and forth between two names of
// different lengths while another reads it both ways a host can: every read
// must give one of the two names whole.
bool namesWhileRenamed(const Target& t, double seconds) {
    Attack attack("names read while renamed");
    auto host = t.open();
    if (!host) {
        attack.fail("no instance");
        return attack.finish("0 reads");
    }
    host->setProgram(3);
    const std::string longName(kVstMaxProgNameLen - 1, 'L'), shortName = "s";
    {
        std::string first = shortName;
        host->dispatch(effSetProgramName, 0, 0, first.data());
    }
    std::atomic<bool> done{false};
    std::atomic<long> renames{0};
    std::thread writer([&] {
        std::string a = longName, b = shortName;
        while (!done) {
            host->dispatch(effSetProgramName, 0, 0, a.data());
            host->dispatch(effSetProgramName, 0, 0, b.data());
            renames += 2;
        }
    });
    long reads = 0, torn = 0;
    std::string example;
    const double limit = std::min(seconds, 3.0);
    while (attack.elapsed() < limit || reads < 1000) {
        char text[kVstMaxProgNameLen];
        for (VstInt32 opcode : {VstInt32{effGetProgramName}, VstInt32{effGetProgramNameIndexed}}) {
            std::memset(text, 0x41, sizeof text);
            host->dispatch(opcode, 3, 0, text);
            ++reads;
            const std::string got(text, strnlen(text, sizeof text));
            if (got != longName && got != shortName) {
                if (torn++ == 0) example = got;
            }
        }
    }
    done = true;
    writer.join();
    attack.check(torn == 0, std::to_string(torn) + " torn names, for example \"" + example + "\"");
    return attack.finish(std::to_string(reads) + " reads beside " + std::to_string(renames.load()) +
                         " renames, " + std::to_string(torn) + " torn");
}

// ---- 9. exceptions unmasked ------------------------------------------------------------

// Every entry a host calls, from a thread whose invalid operation, division
// by zero and overflow exceptions are unmasked (as Delphi's runtime leaves
// its threads), with hostile values: NaN and infinite rates, parameters and
// samples, the largest finite ones, subnormals; and the editor open at each
// scale with its timers running. No call may trap, and each must leave the
// thread's floating-point controls as it found them.
bool unmaskedExceptions(const Target& t) {
    Attack attack("exceptions unmasked");
    if (!validate::floatingPointStateKnown()) return attack.finish("not applicable: not x86");
    const validate::FloatingPointState masked = validate::currentFloatingPoint();
    const validate::FloatingPointState delphi = validate::delphiHost(masked);
    static const char* current = nullptr;
    validate::reportTrapsAs(&current);
    long calls = 0;
    std::string what;
    // Runs one call in the host's environment and checks what it leaves.
    const auto call = [&](std::string name, const std::function<void()>& f) {
        what = std::move(name);
        current = what.c_str();
        validate::setFloatingPoint(delphi);
        f();
        const validate::FloatingPointState after = validate::currentFloatingPoint();
        validate::setFloatingPoint(masked);
        current = nullptr;
        ++calls;
        attack.check(after.sameControls(delphi),
                     what + " left " + after.text() + " (the host had " + delphi.text() + ")");
    };
    const float kHostileValues[] = {kNaN,           kInf,  -kInf, FLT_MAX, -FLT_MAX,
                                    FLT_MIN / 4.0f, -0.0f, 1e30f, 0.5f};
    const auto valueText = [](float v) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
        return std::string(text);
    };

    float rate = 44100.0f;
    std::unique_ptr<vhost::Host> host;
    call("main", [&] { host = t.open(&rate); });
    if (!host) {
        attack.fail("no instance");
        return attack.finish(std::to_string(calls) + " calls");
    }
    // Two blocks of every hostile kind, the key and the audio in turn.
    std::vector<float> a(256), b(256), c(256), d(256);
    Hostile h(7);
    const auto blocks = [&](const std::string& context) {
        const float kSamples[] = {kNaN, kInf, -kInf, FLT_MAX, -FLT_MAX, FLT_MIN / 4.0f, 1e38f};
        for (const float s : kSamples)
            for (int side = 0; side < 3; ++side) {
                for (std::size_t i = 0; i < a.size(); ++i) {
                    const float ordinary = h.unit() * 2.0f - 1.0f;
                    a[i] = side != 1 && i % 3 == 0 ? s : ordinary;
                    b[i] = side != 0 && i % 5 == 0 ? s : ordinary;
                }
                float* in[2] = {a.data(), b.data()};
                float* out[2] = {c.data(), d.data()};
                const std::string where = context + ", " + valueText(s) + " samples in input " +
                                          (side == 0   ? "1"
                                           : side == 1 ? "2"
                                                       : "1 and 2");
                call("processReplacing, " + where, [&] { host->processReplacing(in, out, 256); });
                call("process, " + where, [&] { host->process(in, out, 256); });
            }
    };

    call("effMainsChanged", [&] { host->resume(); });
    blocks("at 44100 Hz");
    for (const float r : {kNaN, kInf, -kInf, 0.0f, -1.0f, FLT_MAX, FLT_MIN / 4.0f, 96000.0f}) {
        rate = r;
        call("effSetSampleRate(" + valueText(r) + ")", [&] { host->setSampleRate(r); });
        call("setParameter(0) at " + valueText(r) + " Hz", [&] { host->setParameter(0, 0.3f); });
    }
    blocks("after hostile rates");
    for (const VstInt32 index : {0, 1, 2, 3, 4, 5, 6, 7, 8, 119})
        for (const float v : kHostileValues) {
            const std::string p = "(" + std::to_string(index) + ", " + valueText(v) + ")";
            call("setParameter" + p, [&] { host->setParameter(index, v); });
            call("getParameter after setParameter" + p, [&] { (void)host->getParameter(index); });
            call("effGetParamDisplay after setParameter" + p,
                 [&] { (void)host->getString(effGetParamDisplay, index); });
        }
    blocks("after hostile parameters");
    // The signal path at the edges of what it accepts: every filter type
    // at the lowest and highest rate, sweep, resonance, gain and speeds,
    // each with every kind of hostile sample.
    for (const float r : {FLT_MIN, 1.0f, 192000.0f, FLT_MAX}) {
        rate = r;
        call("effSetSampleRate(" + valueText(r) + ")", [&] { host->setSampleRate(r); });
        for (int type = 0; type < 5; ++type)
            for (const float edge : {0.0f, 1.0f}) {
                const float settings[] = {edge, 1.0f - edge, (type + 0.5f) / 4.99f, edge, edge,
                                          edge, 1.0f - edge};
                for (VstInt32 i = 0; i < 7; ++i)
                    call("setParameter(" + std::to_string(i) + ")",
                         [&] { host->setParameter(i, settings[i]); });
                blocks("at " + valueText(r) + " Hz, filter type " + std::to_string(type) +
                       ", the other controls at " + valueText(edge));
            }
    }
    for (const float v : kHostileValues)
        call("effVendorSpecific and effSetSampleRate with opt " + valueText(v), [&] {
            host->dispatch(effVendorSpecific, 0, 0, nullptr, v);
            host->dispatch(effSetSampleRate, 0, 0, nullptr, v);
        });
    if (t.window) {
        const VstInt32 kPreS = ('P' << 24) | ('r' << 16) | ('e' << 8) | 'S';
        const VstIntPtr kAeCs = ('A' << 24) | ('e' << 16) | ('C' << 8) | 's';
        for (const float scale : {1.0f, 1.5f, 2.0f, 3.0f, kNaN, kInf}) {
            const std::string at = " at scale " + valueText(scale);
            call("effVendorSpecific (the host's scale)" + at,
                 [&] { host->dispatch(effVendorSpecific, kPreS, kAeCs, nullptr, scale); });
            call("effEditOpen" + at, [&] { host->dispatch(effEditOpen, 0, 0, t.parent()); });
            // Long enough for both timers to fire: the window's messages
            // run in the host's environment too.
            const auto until = Clock::now() + std::chrono::milliseconds(600);
            for (int k = 0; Clock::now() < until; ++k) {
                call("effEditIdle and the window's messages" + at, [&] {
                    host->dispatch(effEditIdle);
                    t.pump();
                });
                if (k % 4 == 0)
                    call("setParameter(3, NaN) with the editor open" + at,
                         [&] { host->setParameter(3, kNaN); });
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            call("effEditClose" + at, [&] { host->dispatch(effEditClose); });
        }
    }
    blocks("at the end");
    call("effClose", [&] { host->close(); });
    return attack.finish(std::to_string(calls) + " calls" +
                         (t.window ? ", the editor at 1x to 3x" : ", no display for the editor"));
}

// ---- command line ----------------------------------------------------------------------

// Wine maps the Unix root to drive Z:; a Unix path from a script needs it.
std::string nativePath(const std::string& p) {
#if defined(_WIN32)
    if (!p.empty() && p[0] == '/') return "Z:" + p;
#endif
    return p;
}

int usage() {
    std::fprintf(stderr, "usage: velmora-validate PLUGIN [--seconds S] [--seed N] [--only NAME]\n"
                         "Attacks a VST 2 plug-in as a hostile host would; each attack takes\n"
                         "about S seconds (default 10). Ends with 'validate: N passed, M "
                         "failed'. --only runs one attack: fuzz, text, processing, lifecycle,\n"
                         "threads, coherence, names, renames, unmasked or display.\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string plugin;
    double seconds = 10.0;
    std::uint64_t seed = 1;
    std::string only; // one attack's name, or every attack
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--seconds" || a == "--seed") && i + 1 < argc) {
            char* end = nullptr;
            const char* v = argv[++i];
            if (a == "--seconds") {
                seconds = std::strtod(v, &end);
                if (*end || !(seconds > 0)) return usage();
            } else {
                seed = std::strtoull(v, &end, 10);
                if (*end) return usage();
            }
        } else if (a == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if (a == "-h" || a == "--help") {
            return usage();
        } else if (plugin.empty() && a[0] != '-') {
            plugin = a;
        } else {
            return usage();
        }
    }
    if (plugin.empty()) return usage();

    Target t;
    std::string error;
    t.library = vhost::Library::load(nativePath(plugin), &error);
    if (!t.library) {
        std::fprintf(stderr, "velmora-validate: %s: %s\n", plugin.c_str(), error.c_str());
        return 1;
    }
    t.entry = t.library->pluginEntry();
    if (!t.entry) {
        std::fprintf(stderr, "velmora-validate: %s exports no VST 2 entry\n", plugin.c_str());
        return 1;
    }
    t.window = validate::HostWindow::create();
    std::printf("velmora-validate %s, %.0f s per attack, seed %llu, %s\n", plugin.c_str(), seconds,
                static_cast<unsigned long long>(seed),
                t.window ? "editors in a real window" : "no display: editors cannot open");
    std::fflush(stdout);

    const std::pair<const char*, std::function<bool()>> attacks[] = {
        {"fuzz", [&] { return dispatcherFuzz(t, seconds, seed); }},
        {"text", [&] { return textBounds(t); }},
        {"processing", [&] { return processingAbuse(t, seconds, seed); }},
        {"lifecycle", [&] { return lifecycle(t, seed); }},
        {"threads", [&] { return threads(t, seconds, seed); }},
        {"coherence", [&] { return stormCoherence(t, seconds, seed); }},
        {"names", [&] { return namesAtPageEnd(t); }},
        {"renames", [&] { return namesWhileRenamed(t, seconds); }},
        {"unmasked", [&] { return unmaskedExceptions(t); }},
    };
    int passed = 0, failed = 0;
    for (const auto& [name, attack] : attacks)
        if (only.empty() || only == name) (attack() ? passed : failed)++;
    t.window.reset();
    t.library.reset();
    // With the validator's handle released: these load the plug-in with
    // handles of their own, and one sees it unload.
    if (only.empty() || only == "display")
        validate::displayAttacks(nativePath(plugin), passed, failed);
    std::printf("validate: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
