// The built LV2 plug-in binary as a host loads it (dlopen, lv2_descriptor):
// what lv2apply cannot show. An unconnected Key is silence, buffers may be
// shared between inputs and outputs, run() allocates nothing, and a rate
// the filter cannot use is refused. This executable counts every allocation
// made through operator new, the plug-in's included (CountingNew).
#include "tests/support/CountingNew.h"

#include <gtest/gtest.h>

#include <lv2/core/lv2.h>

#include <dlfcn.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {
const char* pluginPath = nullptr;
} // namespace

namespace {

constexpr std::uint32_t kControls = 8, kAudio = 8, kKey = 9, kOutLeft = 10, kOutRight = 11;
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
