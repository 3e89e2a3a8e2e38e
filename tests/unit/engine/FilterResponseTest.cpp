// What each filter characteristic does to a signal: sine waves run through
// the product's section, their level measured after the section has settled,
// against what a second-order low pass, high pass, band pass and band reject
// must show at, below and above their frequency.
#include "plugin/dsp/Envelope.h"
#include "plugin/dsp/FilterDesign.h"
#include "plugin/dsp/FilterSection.h"
#include "plugin/dsp/Numeric.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace dsp;

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Level of a sine of `hz` after the section, over its level before, in dB.
double gainDb(const BiquadCoefficients& c, double hz, double fs) {
    FilterSection state;
    state.coef = c;
    SectionRun run(state, HistoryRing{});
    // Half a second to settle (the narrowest band rings longest), then a
    // whole number of periods to measure.
    const int settle = static_cast<int>(fs / 2);
    const int periods = std::max(1, static_cast<int>(hz / 2));
    const int measure = static_cast<int>(std::lround(periods * fs / hz));
    double in = 0, out = 0;
    for (int n = 0; n < settle + measure; ++n) {
        const float x = static_cast<float>(0.5 * std::sin(kTwoPi * hz * n / fs));
        const float y = run.filterStep(x);
        if (n >= settle) in += double(x) * x, out += double(y) * y;
    }
    return 10 * std::log10(out / in);
}

double db(double ratio) { return 20 * std::log10(ratio); }

// The damping of the low and high pass for a resonance: the level at the
// frequency itself is 1 / k, from -9 dB with no resonance to +37 dB at the
// top of the range.
double damping(float resonance) {
    const double r = single(double(resonance) + 0.01);
    return std::sqrt((1 - r) * (1 - r) * 8);
}

constexpr double kFs = 44100, kF = 1000;

TEST(FilterResponse, OffPassesEveryFrequencyUnchanged) {
    const auto c = designFilter(kFilterOff, kF, 0.5f, kFs);
    for (double hz : {20.0, 1000.0, 15000.0}) EXPECT_NEAR(gainDb(c, hz, kFs), 0.0, 1e-5) << hz;
}

TEST(FilterResponse, LowPassPassesBelowAndFallsTwelveDecibelsAnOctaveAbove) {
    // Resonance 0.49 makes k = sqrt 2: the flat (Butterworth) low pass.
    const auto c = designFilter(kFilterLow, kF, 0.49f, kFs);
    EXPECT_NEAR(gainDb(c, kF / 10, kFs), 0.0, 0.01);
    EXPECT_NEAR(gainDb(c, kF, kFs), -3.01, 0.05);
    EXPECT_NEAR(gainDb(c, 2 * kF, kFs), -12.3, 0.5);
    EXPECT_NEAR(gainDb(c, 4 * kF, kFs), -24.1, 1.0);
    EXPECT_LT(gainDb(c, 10 * kF, kFs), -39.0);
}

TEST(FilterResponse, HighPassMirrorsTheLowPass) {
    const auto c = designFilter(kFilterHigh, kF, 0.49f, kFs);
    EXPECT_NEAR(gainDb(c, 10 * kF, kFs), 0.0, 0.05);
    EXPECT_NEAR(gainDb(c, kF, kFs), -3.01, 0.05);
    EXPECT_NEAR(gainDb(c, kF / 2, kFs), -12.3, 0.5);
    EXPECT_LT(gainDb(c, kF / 10, kFs), -39.0);
}

TEST(FilterResponse, ResonancePeaksAtTheFrequency) {
    for (int type : {kFilterLow, kFilterHigh}) {
        for (float q : {0.0f, 0.5f, 0.9f, 0.995f * 0.9f}) {
            SCOPED_TRACE(testing::Message() << "type " << type << " resonance " << q);
            const auto c = designFilter(type, kF, q, kFs);
            EXPECT_NEAR(gainDb(c, kF, kFs), db(1 / damping(q)), 0.1);
        }
    }
    // More resonance, a higher peak.
    const auto soft = designFilter(kFilterLow, kF, 0.6f, kFs);
    const auto sharp = designFilter(kFilterLow, kF, 0.95f, kFs);
    EXPECT_GT(gainDb(sharp, kF, kFs), gainDb(soft, kF, kFs) + 6);
}

TEST(FilterResponse, BandPassPassesItsCentreAndAWidthOfResonanceTimesTheFrequency) {
    // Resonance 0.19: a band 0.2 x 1000 = 200 Hz wide around 1000 Hz.
    const auto c = designFilter(kFilterBandPass, kF, 0.19f, kFs);
    EXPECT_NEAR(gainDb(c, kF, kFs), 0.0, 0.05);
    // The band's edges lie 200 Hz apart, geometrically around the centre,
    // 3 dB down.
    const double half = 100, lower = std::sqrt(kF * kF + half * half) - half;
    EXPECT_NEAR(gainDb(c, lower, kFs), -3.01, 0.15);
    EXPECT_NEAR(gainDb(c, lower + 200, kFs), -3.01, 0.15);
    EXPECT_LT(gainDb(c, kF / 4, kFs), -20.0);
    EXPECT_LT(gainDb(c, 4 * kF, kFs), -20.0);
    // A wider band lets more through away from the centre.
    const auto wide = designFilter(kFilterBandPass, kF, 0.9f, kFs);
    EXPECT_GT(gainDb(wide, 4 * kF, kFs), gainDb(c, 4 * kF, kFs) + 10);
}

TEST(FilterResponse, BandRejectRemovesItsCentreAndPassesTheRest) {
    const auto c = designFilter(kFilterBandReject, kF, 0.19f, kFs);
    EXPECT_LT(gainDb(c, kF, kFs), -40.0);
    const double half = 100, lower = std::sqrt(kF * kF + half * half) - half;
    EXPECT_NEAR(gainDb(c, lower, kFs), -3.01, 0.15);
    EXPECT_NEAR(gainDb(c, kF / 4, kFs), 0.0, 0.5);
    EXPECT_NEAR(gainDb(c, 4 * kF, kFs), 0.0, 0.5);
}

TEST(FilterResponse, TheSweepsTopIsDesignedWhereItLiesAndBoundedBelowNyquist) {
    const float top = sweepFrequency(0.0f, 1.0f, 1.0f); // 15360 Hz
    const double k = damping(0.5f);
    // From 44.1 kHz on the top of the sweep is where the low pass turns.
    for (double fs : {44100.0, 48000.0, 96000.0}) {
        const auto c = designFilter(kFilterLow, top, 0.5f, static_cast<float>(fs));
        EXPECT_NEAR(gainDb(c, top, fs), db(1 / k), 0.15) << fs;
    }
    // At 22.05 kHz it would lie past half the rate: the design turns at
    // 0.44 of the rate instead and stays a low pass.
    const double fs = 22050, bound = 0.44 * fs;
    const auto c = designFilter(kFilterLow, top, 0.5f, static_cast<float>(fs));
    EXPECT_NEAR(gainDb(c, bound, fs), db(1 / k), 0.3);
    EXPECT_NEAR(gainDb(c, 100, fs), 0.0, 0.05);
}

} // namespace
