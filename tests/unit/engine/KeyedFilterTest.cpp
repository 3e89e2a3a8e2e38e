// The keyed filter on its own, driven as the plug-in drives it and with no
// host: the signal path against its plain reference, bit for bit, the key's
// selection, the follower, the clipper, and the faults it must survive.
#include "SignalSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using namespace enginetest;
using dsp::single;

namespace {
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
} // namespace

// --- Signal path -------------------------------------------------------------------

TEST(FilterDesign, GivesThePlainFormulasSinglesAtEveryRateTypeAndResonance) {
    // Frequencies from the sweep's bottom to past every bound, a single in
    // every 4001 (about 35,000), at rates from 8 to 192 kHz and one that is
    // no round number.
    const auto bitsOf = [](float f) {
        std::uint32_t b;
        std::memcpy(&b, &f, sizeof b);
        return b;
    };
    int checked = 0, differing = 0;
    for (float fs : {8000.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f, 44123.457f})
        for (int type = dsp::kFilterOff; type <= dsp::kFilterBandReject; ++type)
            for (float q : {0.0f, 0.5f, 0.995f})
                for (std::uint32_t b = bitsOf(1.0f); b <= bitsOf(100000.0f); b += 4001) {
                    float f;
                    std::memcpy(&f, &b, sizeof f);
                    const dsp::BiquadCoefficients got = dsp::designFilter(type, f, q, fs);
                    const dsp::BiquadCoefficients want = plainDesign(type, f, q, fs);
                    ++checked;
                    if (std::memcmp(&got, &want, sizeof got) != 0 && ++differing <= 5)
                        ADD_FAILURE()
                            << "type " << type << " at " << f << " Hz, q " << q << ", rate " << fs;
                }
    EXPECT_EQ(differing, 0) << "of " << checked;
    EXPECT_GT(checked, 3000000);
}

TEST(SignalPath, FirstFramesWriteSlotOneAndCarryOnlyOffsets) {
    Unit fx;
    Block b(31);
    fillMusic(b, 4);
    b.run(fx, 0, 1);
    EXPECT_EQ(fx.filter.ring().ringNow, 1);
    EXPECT_EQ(fx.filter.sampleCount(), 1u);
    b.run(fx, 1, 30);
    for (int i = 0; i < 31; ++i) {
        EXPECT_GT(b.outL[i], 0.0f);
        EXPECT_LT(b.outL[i], 4e-15f);
    }
    for (int i = 0; i < 3; ++i) EXPECT_EQ(fx.filter.section().coef.coefB[i], 0.0f);
}

TEST(SignalPath, MatchesAPlainReferenceBitForBitInAnyBlockSplit) {
    for (int variant = 0; variant < 4; ++variant) {
        Unit fx;
        if (variant == 1) fx.set(7, 1.0f);
        if (variant == 2) {
            fx.set(2, 0.7f);
            fx.set(0, 0.9f);
            fx.set(1, 0.1f);
            fx.set(5, 0.1f);
        }
        if (variant == 3) {
            fx.set(2, 0.9f);
            fx.set(3, 0.3f);
            fx.set(6, 0.95f);
        }
        ReferencePath ref(fx.controls());
        Block b(20000);
        fillMusic(b, 10 + variant);
        std::mt19937 rng(variant);
        for (int pos = 0; pos < 20000;) {
            const int n =
                std::min<int>(std::uniform_int_distribution<int>(1, 700)(rng), 20000 - pos);
            b.run(fx, pos, n);
            pos += n;
        }
        int mismatches = 0;
        for (int i = 0; i < 20000; ++i) {
            const float want = ref.step(b.inL[i], b.inR[i]);
            if (b.outL[i] != want || b.outR[i] != want) ++mismatches;
        }
        EXPECT_EQ(mismatches, 0) << "variant " << variant;
        EXPECT_EQ(fx.filter.sampleCount(), 20000u);
    }
}

TEST(SignalPath, OffPassesTheClippedAudio) {
    Unit fx;
    fx.set(2, 0.0f);
    runConstant(fx, 0.0f, 0.0f, 32);
    const std::pair<float, float> cases[] = {
        {0.5f, 0.625f}, {1.0f, 1.0f}, {-2.0f, -1.0f}, {0.1f, 0.145f}};
    for (auto [x, y] : cases) {
        float right = 0;
        EXPECT_EQ(runConstant(fx, 0.0f, x, 1, &right), y) << x;
        EXPECT_EQ(right, y);
    }
}

TEST(SignalPath, KeySelectionFollowsSwapStereo) {
    const float rest = single(double(dsp::pow2(single(10.0 * 0.75f))) * 15.0);
    {
        Unit fx;
        Block b(4096);
        for (int i = 0; i < 4096; ++i) b.inR[i] = 0.8f * std::sin(0.05f * i);
        b.run(fx);
        EXPECT_EQ(fx.filter.cutoff(), rest);
        EXPECT_EQ(fx.filter.envelope(), 0.0f);
        float peak = 0;
        for (int i = 2048; i < 4096; ++i) peak = std::max(peak, std::fabs(b.outL[i]));
        EXPECT_GT(peak, 0.1f);
    }
    {
        Unit fx;
        fx.set(7, 1.0f);
        Block b(4096);
        for (int i = 0; i < 4096; ++i) b.inR[i] = 0.8f * std::sin(0.05f * i);
        b.run(fx);
        EXPECT_GT(fx.filter.cutoff(), rest);
        EXPECT_GT(fx.filter.envelope(), 0.1f);
        for (int i = 2048; i < 4096; ++i) EXPECT_LT(std::fabs(b.outL[i]), 1e-6f);
    }
}

TEST(SignalPath, BoostSetsHowFarTheEnvelopeClimbs) {
    Unit fx;
    fx.set(4, 0.0f);
    runConstant(fx, 1.0f, 0.2f, 2048);
    EXPECT_EQ(fx.filter.envelope(), 0.0f);
    EXPECT_EQ(fx.filter.cutoff(), single(double(dsp::pow2(single(10.0 * 0.75f))) * 15.0));
    fx.set(4, 1.0f);
    fx.set(5, 0.0f);
    fx.set(6, 0.8f);
    runConstant(fx, 1.0f, 0.2f, 256);
    EXPECT_EQ(fx.filter.envelope(), 3.999f);
    // Silent key: the sweep stays at the top until the envelope falls below 1.
    const float top = single(double(dsp::pow2(10.0f)) * 15.0);
    int framesAtTop = 0;
    while (fx.filter.envelope() >= 1.0f && framesAtTop < 1000000) {
        runConstant(fx, 0.0f, 0.2f, 32);
        framesAtTop += 32;
        if (fx.filter.envelope() >= 1.0f) {
            EXPECT_EQ(fx.filter.cutoff(), top);
        }
    }
    EXPECT_GT(framesAtTop, 32);
    runConstant(fx, 0.0f, 0.2f, 64);
    EXPECT_LT(fx.filter.cutoff(), top);
}

TEST(SignalPath, SilenceSettlesAtSmallPositiveValues) {
    Unit fx;
    float right = 0;
    const float y = runConstant(fx, 0.0f, 0.0f, 100000, &right);
    EXPECT_GT(y, 0.0f);
    EXPECT_GE(y, FLT_MIN);
    EXPECT_LT(y, 1e-12f);
    EXPECT_EQ(right, y);
}

TEST(SignalPath, ASilentKeyLeavesNoSubnormalState) {
    auto zeroOrNormal = [](float x) { return std::fpclassify(x) != FP_SUBNORMAL; };
    // Program 0 releases with 0.5; at 0.5 and above each step keeps more than
    // half of an envelope that sits on the smallest subnormal, which the
    // rounding then holds there.
    for (float release : {0.5f, 0.75f, 1.0f}) {
        Unit fx;
        fx.set(6, release);
        runConstant(fx, 0.9f, 0.3f, 44100);
        ASSERT_GT(fx.filter.envelope(), 0.01f) << "the key must have opened the follower";
        runConstant(fx, 0.0f, 0.0f, 10 * 44100);
        EXPECT_EQ(fx.filter.envelope(), 0.0f) << release;
        const dsp::FilterSection& s = fx.filter.section();
        EXPECT_TRUE(zeroOrNormal(s.filterOut)) << release;
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(zeroOrNormal(s.xHist[i])) << release << " x " << i;
            EXPECT_TRUE(zeroOrNormal(s.yHist[i])) << release << " y " << i;
        }
    }
}

TEST(SignalPath, FlushingTheEnvelopeChangesNoOutputSample) {
    // A loud key, a long silence that lets the envelope fall past the normal
    // range, and music again: the plain reference, which keeps subnormal
    // envelopes, hears exactly the same, also with the sweep starting at
    // 0 where a tiny envelope would weigh most.
    for (float low : {0.75f, 0.0f}) {
        Unit fx;
        fx.set(0, low);
        fx.set(6, 0.5f);
        ReferencePath ref(fx.controls());
        Block b(44100 + 6 * 44100 + 20000);
        fillMusic(b, 31);
        for (int i = 0; i < 44100; ++i) b.inL[i] = 0.9f;
        for (int i = 44100; i < 7 * 44100; ++i) b.inL[i] = b.inR[i] = 0.0f;
        b.run(fx);
        int mismatches = 0;
        bool referenceWentSubnormal = false;
        for (std::size_t i = 0; i < b.inL.size(); ++i) {
            if (b.outL[i] != ref.step(b.inL[i], b.inR[i])) ++mismatches;
            referenceWentSubnormal |= std::fpclassify(ref.envelope) == FP_SUBNORMAL;
        }
        EXPECT_EQ(mismatches, 0) << low;
        EXPECT_TRUE(referenceWentSubnormal) << "the silence must be long enough";
    }
}

TEST(Faults, NonFiniteInputIsHeardAsSilence) {
    Unit bad, good;
    Block b(8192);
    fillMusic(b, 9);
    Block clean = b;
    for (int i = 1000; i < 8192; i += 997) {
        b.inL[i] = (i % 3 == 0) ? kNaN : kInf;
        b.inR[i + 1] = (i % 2 == 0) ? -kInf : kNaN;
        clean.inL[i] = 0.0f;
        clean.inR[i + 1] = 0.0f;
    }
    b.run(bad);
    clean.run(good);
    EXPECT_EQ(b.outL, clean.outL);
    EXPECT_EQ(b.outR, clean.outR);
    for (float y : b.outL) ASSERT_TRUE(std::isfinite(y));
}

TEST(Faults, HugeInputsLeaveTheStateFiniteAndOrdinaryInputRecovers) {
    for (float type : {0.3f, 0.5f, 0.7f, 0.9f}) {
        Unit fx;
        fx.set(2, type);
        fx.set(4, 1.0f);
        Block b(4096);
        for (int i = 0; i < 4096; ++i) {
            b.inL[i] = (i % 2 ? 1.0f : -1.0f) * FLT_MAX;
            b.inR[i] = (i % 3 ? 1.0f : -1.0f) * FLT_MAX;
        }
        b.run(fx);
        for (int i = 0; i < 4096; ++i) ASSERT_TRUE(std::fabs(b.outL[i]) <= 1.0f) << i;
        EXPECT_TRUE(std::isfinite(fx.filter.envelope()));
        // Back to ordinary input: the same output as an instance that never
        // saw the burst, once both have forgotten their pasts.
        Unit ref;
        ref.set(2, type);
        ref.set(4, 1.0f);
        runConstant(ref, 0.0f, 0.0f, 4096);
        Block m(60000), n(60000);
        fillMusic(m, 11);
        fillMusic(n, 11);
        m.run(fx);
        n.run(ref);
        float worst = 0;
        for (int i = 50000; i < 60000; ++i)
            worst = std::max(worst, std::fabs(m.outL[i] - n.outL[i]));
        EXPECT_LT(worst, 1e-4f) << type;
    }
}

TEST(Faults, LowRatesKeepTheTopOfTheSweepStable) {
    for (float rate : {8000.0f, 22050.0f}) {
        Unit fx;
        fx.setRate(rate);
        fx.set(3, 0.5f);
        for (float type : {0.3f, 0.5f, 0.7f, 0.9f}) {
            fx.set(2, type);
            Block b(16384);
            for (int i = 0; i < 16384; ++i) {
                b.inL[i] = 1.0f;
                b.inR[i] = 0.5f * std::sin(0.3f * i);
            }
            b.run(fx);
            float peak = 0;
            for (int i = 0; i < 3; ++i)
                peak = std::max(peak, std::fabs(fx.filter.section().yHist[i]));
            EXPECT_LT(peak, 100.0f) << rate << " " << type;
        }
    }
}
