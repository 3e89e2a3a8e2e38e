// The built LV2 plug-in binary as a host loads it (dlopen, lv2_descriptor):
// what lv2apply cannot show. An unconnected Key is silence, buffers may be
// shared between inputs and outputs, run() allocates nothing, a rate the
// filter cannot use is refused, the stereo switch is on above 0, the host's
// bypass fades to the dry Audio and back without a click, and no call traps
// or changes the host's floating-point environment when the host has
// unmasked its exceptions. This executable counts every allocation made
// through operator new, the plug-in's included (CountingNew).
#include "tests/support/CountingNew.h"

#include <gtest/gtest.h>

#include <lv2/core/lv2.h>

#include <dlfcn.h>
#include <fenv.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {
const char* pluginPath = nullptr;
} // namespace

namespace {

constexpr std::uint32_t kControls = 8, kAudio = 8, kKey = 9, kOutLeft = 10, kOutRight = 11,
                        kEnabled = 12, kSwap = 7;
constexpr int kFrames = 3000; // longer than the plug-in's piece of silence

const LV2_Descriptor* descriptor() {
    static void* library = dlopen(pluginPath, RTLD_NOW | RTLD_LOCAL);
    if (!library) return nullptr;
    auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(library, "lv2_descriptor"));
    return entry ? entry(0) : nullptr;
}

// Pulses as the key and a chord as the audio: a key that opens the filter.
struct Signal {
    std::vector<float> key = std::vector<float>(kFrames), audio = std::vector<float>(kFrames);
    Signal() {
        for (int i = 0; i < kFrames; ++i) {
            key[i] = (i / 300) % 2 ? 0.8f * std::sin(0.05f * i) : 0.0f;
            audio[i] = 0.3f * std::sin(0.031f * i) + 0.2f * std::sin(0.047f * i);
        }
    }
};

class Instance {
public:
    explicit Instance(double rate = 48000.0) {
        const LV2_Descriptor* d = descriptor();
        handle = d ? d->instantiate(d, rate, "", nullptr) : nullptr;
        if (!handle) return;
        // The factory values in the ports' units, as the description gives them.
        controls = {2715.29f, 15360.0f, 1.0f, 90.0f, 360.0f, 50.0f, 50.0f, 0.0f};
        for (std::uint32_t i = 0; i < kControls; ++i) d->connect_port(handle, i, &controls[i]);
        d->activate(handle);
    }
    ~Instance() {
        if (handle) descriptor()->cleanup(handle);
    }
    void connect(std::uint32_t port, const float* data) {
        descriptor()->connect_port(handle, port, const_cast<float*>(data));
    }
    void run(std::uint32_t frames) { descriptor()->run(handle, frames); }

    LV2_Handle handle = nullptr;
    std::array<float, kControls> controls{};
};

TEST(Lv2Plugin, AnUnconnectedKeyIsSilenceAndBuffersMayBeShared) {
    ASSERT_NE(descriptor(), nullptr) << pluginPath << ": " << dlerror();
    EXPECT_EQ(std::string(descriptor()->URI), "urn:pemberly:velmora");
    const Signal s;
    const std::vector<float> silence(kFrames, 0.0f);

    // The reference: the Key connected to silence, separate buffers.
    Instance reference;
    ASSERT_NE(reference.handle, nullptr);
    std::vector<float> left(kFrames), right(kFrames);
    reference.connect(kAudio, s.audio.data());
    reference.connect(kKey, silence.data());
    reference.connect(kOutLeft, left.data());
    reference.connect(kOutRight, right.data());
    reference.run(kFrames);

    // The Key never connected: one run longer than the plug-in's silence.
    Instance unconnected;
    std::vector<float> l2(kFrames), r2(kFrames);
    unconnected.connect(kAudio, s.audio.data());
    unconnected.connect(kOutLeft, l2.data());
    unconnected.connect(kOutRight, r2.data());
    unconnected.run(kFrames);
    EXPECT_EQ(l2, left);
    EXPECT_EQ(r2, right);

    // With a key, in place: the audio's buffer is also the left output, the
    // key's the right one; the same as with separate buffers.
    Instance separate, inPlace;
    std::vector<float> l3(kFrames), r3(kFrames);
    separate.connect(kAudio, s.audio.data());
    separate.connect(kKey, s.key.data());
    separate.connect(kOutLeft, l3.data());
    separate.connect(kOutRight, r3.data());
    separate.run(kFrames);
    std::vector<float> shared0 = s.audio, shared1 = s.key;
    inPlace.connect(kAudio, shared0.data());
    inPlace.connect(kKey, shared1.data());
    inPlace.connect(kOutLeft, shared0.data());
    inPlace.connect(kOutRight, shared1.data());
    inPlace.run(kFrames);
    EXPECT_EQ(shared0, l3);
    EXPECT_EQ(shared1, r3);
    // The key did something: the output differs from the one with silence.
    EXPECT_NE(l3, left);
    EXPECT_EQ(l3, r3); // both outputs carry the result
}

TEST(Lv2Plugin, RunAllocatesNothingWhateverTheControlsDo) {
    const Signal s;
    Instance in;
    ASSERT_NE(in.handle, nullptr);
    std::vector<float> left(kFrames), right(kFrames);
    in.connect(kAudio, s.audio.data());
    in.connect(kOutLeft, left.data());
    in.connect(kOutRight, right.data());
    const long before = testsupport::allocationCount();
    for (std::uint32_t frames : {1u, 31u, 256u, 257u, 3000u}) {
        in.controls[2] += 1.0f; // another filter type each block
        in.controls[0] *= 0.5f; // and another sweep
        in.controls[3] = NAN;   // and a value no host should send
        in.run(frames);
        in.connect(kKey, frames % 2 ? s.key.data() : nullptr);
    }
    EXPECT_EQ(testsupport::allocationCount() - before, 0);
    for (float v : left) ASSERT_TRUE(std::isfinite(v));
    // The counter works: making an instance allocates.
    const long beforeInstance = testsupport::allocationCount();
    { Instance another; }
    EXPECT_GT(testsupport::allocationCount() - beforeInstance, 0);
}

TEST(Lv2Plugin, ARateTheFilterCannotUseIsRefused) {
    const LV2_Descriptor* d = descriptor();
    ASSERT_NE(d, nullptr);
    for (double rate : {0.0, -44100.0, 1e-320, static_cast<double>(NAN), 1e300})
        EXPECT_EQ(d->instantiate(d, rate, "", nullptr), nullptr) << rate;
}

// The outputs of one instance over the whole signal, run in blocks of
// `block` frames; before each block `before(frame)` may change its ports.
struct Outputs {
    std::vector<float> left = std::vector<float>(kFrames), right = std::vector<float>(kFrames);
};
template <typename F> Outputs runOver(Instance& in, const Signal& s, int block, F before) {
    Outputs r;
    in.connect(kAudio, s.audio.data());
    in.connect(kKey, s.key.data());
    in.connect(kOutLeft, r.left.data());
    in.connect(kOutRight, r.right.data());
    for (int done = 0; done < kFrames; done += block) {
        before(done);
        const int n = std::min(block, kFrames - done);
        in.connect(kAudio, s.audio.data() + done);
        in.connect(kKey, s.key.data() + done);
        in.connect(kOutLeft, r.left.data() + done);
        in.connect(kOutRight, r.right.data() + done);
        in.run(static_cast<std::uint32_t>(n));
    }
    return r;
}

TEST(Lv2Plugin, TheStereoSwitchIsOnAboveZeroAsLv2ToggledPortsAre) {
    const Signal s;
    std::array<Outputs, 2> expected; // the switch at 0 and at 1
    for (int on = 0; on < 2; ++on) {
        Instance in;
        ASSERT_NE(in.handle, nullptr);
        in.controls[kSwap] = static_cast<float>(on);
        expected[on] = runOver(in, s, 512, [](int) {});
    }
    // Swapped, the Audio is the key: what the filter makes of it differs.
    ASSERT_NE(expected[0].left, expected[1].left);
    for (const float v : {0.001f, 0.25f, 0.4999f, 0.5f, 1.0f, 7.0f, FLT_MIN, 0.0f, -0.0f, -0.25f,
                          -1.0f, static_cast<float>(NAN)}) {
        Instance in;
        in.controls[kSwap] = v;
        const Outputs got = runOver(in, s, 512, [](int) {});
        EXPECT_EQ(got.left, expected[v > 0.0f].left) << "swap_stereo at " << v;
    }
}

TEST(Lv2Plugin, TheHostsBypassFadesToTheDryAudioWithoutAClickAndBackToTheEffect) {
    const Signal s;
    // The effect that a host which never touches the bypass hears: the port
    // unconnected, and connected at 1.
    Instance plain;
    ASSERT_NE(plain.handle, nullptr);
    const Outputs effect = runOver(plain, s, 100, [](int) {});
    float enabled = 1.0f;
    Instance on;
    on.connect(kEnabled, &enabled);
    EXPECT_EQ(runOver(on, s, 100, [](int) {}).left, effect.left);

    // Off and on again in blocks of 10 frames, each switch where the effect
    // and the dry Audio lie furthest apart, so that switching at once would
    // make a step. At 48 kHz the fade takes 480 frames.
    constexpr int kFade = 480;
    const auto widestGap = [&](int from, int to) {
        int at = from;
        for (int i = from; i < to; i += 10)
            if (std::fabs(s.audio[i] - effect.left[i]) > std::fabs(s.audio[at] - effect.left[at]))
                at = i;
        return at;
    };
    const int kOff = widestGap(300, 1000), kOn = widestGap(kOff + kFade + 100, kFrames - kFade);
    Instance bypassed;
    bypassed.connect(kEnabled, &enabled);
    const Outputs r = runOver(bypassed, s, 10, [&](int frame) {
        if (frame == kOff) enabled = 0.0f;
        if (frame == kOn) enabled = 1.0f;
    });
    for (int i = 0; i < kFrames; ++i) ASSERT_EQ(r.left[i], r.right[i]) << "frame " << i;
    for (int i = 0; i < kOff; ++i) ASSERT_EQ(r.left[i], effect.left[i]) << "frame " << i;
    // Dry on both outputs once the fade is over, and the effect again after
    // the fade back: the filter ran on meanwhile, as if never bypassed.
    for (int i = kOff + kFade; i < kOn; ++i) ASSERT_EQ(r.left[i], s.audio[i]) << "frame " << i;
    for (int i = kOn + kFade; i < kFrames; ++i)
        ASSERT_EQ(r.left[i], effect.left[i]) << "frame " << i;
    // No click: no step between frames larger than the effect's or the dry
    // Audio's own largest there, where switching at once would have made
    // a step of the gap between the two.
    for (const int at : {kOff, kOn}) {
        float steepest = 0.0f, biggest = 0.0f;
        for (int i = at; i < at + kFade; ++i) {
            steepest = std::max({steepest, std::fabs(effect.left[i] - effect.left[i - 1]),
                                 std::fabs(s.audio[i] - s.audio[i - 1])});
            biggest = std::max(biggest, std::fabs(r.left[i] - r.left[i - 1]));
        }
        const float cut = std::fabs(at == kOff ? s.audio[at] - effect.left[at - 1]
                                               : effect.left[at] - s.audio[at - 1]);
        EXPECT_LE(biggest, steepest * 1.05f) << "switch at frame " << at;
        EXPECT_GT(cut, steepest * 1.5f) << "a cut at frame " << at << " would not click";
    }

    // Bypassed from the first run: the dry Audio at once, no fade in; and in
    // place, the Audio's buffer also the left output.
    enabled = 0.0f;
    Instance fromStart;
    fromStart.connect(kEnabled, &enabled);
    std::vector<float> shared = s.audio, right(kFrames);
    fromStart.connect(kAudio, shared.data());
    fromStart.connect(kKey, s.key.data());
    fromStart.connect(kOutLeft, shared.data());
    fromStart.connect(kOutRight, right.data());
    fromStart.run(kFrames);
    EXPECT_EQ(shared, s.audio);
    EXPECT_EQ(right, s.audio);
}

// The calling thread's floating-point controls (masks, rounding, precision),
// as a host set them; not the exception flags, which any arithmetic raises
// for the exceptions that stay masked.
struct FpState {
    std::uint32_t mxcsr = 0;
    std::uint16_t x87Control = 0;
    bool operator==(const FpState&) const = default;
};
FpState fpState() {
    FpState s;
#if defined(__x86_64__) || defined(__i386__)
    __asm__ volatile("stmxcsr %0" : "=m"(s.mxcsr));
    __asm__ volatile("fnstcw %0" : "=m"(s.x87Control));
    s.mxcsr &= ~0x3Fu;
#endif
    return s;
}

TEST(Lv2Plugin, NoHostileValueTrapsWhereTheHostUnmasksExceptionsNorAreItsControlsChanged) {
    const LV2_Descriptor* d = descriptor();
    ASSERT_NE(d, nullptr);
    const float kHostile[] = {NAN, INFINITY, -INFINITY, FLT_MAX, -FLT_MAX, FLT_MIN / 4, -0.0f};
    std::vector<float> audio(kFrames), key(kFrames), left(kFrames), right(kFrames);
    std::array<float, kControls> controls{};
    float enabled = 1.0f;
    int calls = 0, changed = 0;
    // A host built with Delphi: invalid operation, division by zero and
    // overflow trap (SIGFPE ends this test). Each call is checked for what
    // it leaves of the host's environment.
    feclearexcept(FE_ALL_EXCEPT);
    feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
    const auto call = [&](auto f) {
        const FpState before = fpState();
        f();
        ++calls;
        changed += fpState() == before ? 0 : 1;
    };
    for (const double rate : {static_cast<double>(NAN), 1e300, -1.0, 44100.0}) {
        LV2_Handle h = nullptr;
        call([&] { h = d->instantiate(d, rate, "", nullptr); });
        if (!h) continue;
        for (std::uint32_t p = 0; p < kControls; ++p)
            call([&] { d->connect_port(h, p, &controls[p]); });
        call([&] { d->connect_port(h, kAudio, audio.data()); });
        call([&] { d->connect_port(h, kKey, key.data()); });
        call([&] { d->connect_port(h, kOutLeft, left.data()); });
        call([&] { d->connect_port(h, kOutRight, right.data()); });
        call([&] { d->connect_port(h, kEnabled, &enabled); });
        call([&] { d->activate(h); });
        for (const float v : kHostile) {
            // Every control and the bypass at v, then samples of v in the
            // Audio, the Key and both, among ordinary ones.
            controls.fill(v);
            enabled = v;
            for (int where = 0; where < 3; ++where) {
                for (int i = 0; i < kFrames; ++i) {
                    const float ordinary = 0.5f * std::sin(0.01f * static_cast<float>(i));
                    audio[i] = where != 1 && i % 7 == 0 ? v : ordinary;
                    key[i] = where != 0 && i % 5 == 0 ? v : ordinary;
                }
                call([&] { d->run(h, kFrames); });
            }
            enabled = 1.0f;
            call([&] { d->run(h, 1000); });
        }
        call([&] { d->cleanup(h); });
    }
    fedisableexcept(FE_ALL_EXCEPT);
    EXPECT_EQ(changed, 0) << "of " << calls << " calls";
    EXPECT_GT(calls, 40);
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora-lv2-plugin-tests velmora-lv2.so\n");
        return 2;
    }
    pluginPath = argv[1];
    return RUN_ALL_TESTS();
}
