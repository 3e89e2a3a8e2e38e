// The parameters in the units hosts show (plugin/params/Units.h): what a
// value written in a unit gives back, the choices, and the ranges the
// LV2 plug-in declares.
#include <gtest/gtest.h>

#include "plugin/params/Readout.h"
#include "plugin/params/Units.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

float fromBits(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

} // namespace

TEST(Units, FactoryValuesComeBackExactly) {
    for (const ParameterInfo& p : kParameters) {
        const float u = params::unitValue(p.index, p.factoryValue);
        EXPECT_EQ(params::normalisedValue(p.index, u), p.factoryValue) << p.hostName;
    }
    EXPECT_EQ(params::unitValue(kParamLowFrequency, 0.75f), 2715.29004f);
    EXPECT_EQ(params::unitValue(kParamHighFrequency, 1.0f), 15360.0f);
    EXPECT_EQ(params::unitValue(kParamFilterType, 0.35f), 1.0f);
    EXPECT_EQ(params::unitValue(kParamFilterQ, 0.9f), 90.0f);
    EXPECT_EQ(params::unitValue(kParamBoost, 0.9f), 360.0f);
    EXPECT_EQ(params::unitValue(kParamAttack, 0.5f), 50.0f);
    EXPECT_EQ(params::unitValue(kParamSwapStereo, 0.25f), 0.0f);
}

TEST(Units, SweepAndPercentRoundTripsAreExactWhereTheGridsAllowAndNeverDrift) {
    // Every 4099th single of 0 .. 1 (both ends included): a normalised value
    // through its unit value and back. Where the unit's grid is as fine as
    // p's (sweep positions from 0.23 on; a percentage in the binary order of
    // p's plus the span's) it comes back exactly; everywhere it comes back
    // within 6e-8 (the sweep within 2e-8), and a second trip returns it as
    // it came back the first time.
    const std::uint32_t one = 0x3f800000u;
    for (int index : {kParamLowFrequency, kParamFilterQ, kParamBoost}) {
        const ParameterInfo& info = kParameters[static_cast<std::size_t>(index)];
        for (std::uint32_t bits = 0;; bits = bits + 4099 > one ? one : bits + 4099) {
            const float p = fromBits(bits);
            const float back = params::normalisedValue(index, params::unitValue(index, p));
            const bool gridAllows =
                index == kParamLowFrequency
                    ? p >= 0.23f
                    : p == 0.0f ||
                          (p >= FLT_MIN && std::ilogb(info.percentOfOne * p) ==
                                               std::ilogb(p) + std::ilogb(info.percentOfOne));
            if (gridAllows) {
                ASSERT_EQ(back, p) << "index " << index;
            }
            ASSERT_LE(std::fabs(back - p), index == kParamLowFrequency ? 2e-8f : 6e-8f) << p;
            ASSERT_EQ(params::normalisedValue(index, params::unitValue(index, back)), back) << p;
            if (bits == one) break;
        }
    }
}

TEST(Units, DecimalsOfUpToFourDigitsComeBackExactly) {
    // What a person types and the editor's sliders and fine steps make,
    // including where several singles share one unit value.
    for (int index : {kParamLowFrequency, kParamFilterQ, kParamBoost, kParamRelease})
        for (int k = 0; k <= 10000; ++k) {
            const float p = static_cast<float>(k / 10000.0);
            ASSERT_EQ(params::normalisedValue(index, params::unitValue(index, p)), p)
                << "index " << index << " value " << p;
        }
    EXPECT_EQ(params::normalisedValue(kParamLowFrequency, 35.185051f), 0.123f);
}

TEST(Units, SweepIsFifteenHertzTimesTwoToTheTenthsOfItsPosition) {
    for (int tenth = 0; tenth <= 10; ++tenth) {
        const float hz = static_cast<float>(15 << tenth);
        EXPECT_EQ(params::unitValue(kParamLowFrequency, static_cast<float>(tenth) / 10.0f),
                  static_cast<float>(15.0 * std::exp2(10.0 * (static_cast<float>(tenth) / 10.0f))));
        EXPECT_EQ(params::normalisedValue(kParamHighFrequency, hz),
                  static_cast<float>(tenth) / 10.0f);
    }
    EXPECT_EQ(params::unitRange(kParamLowFrequency).minimum, 15.0f);
    EXPECT_EQ(params::unitRange(kParamHighFrequency).maximum, 15360.0f);
    // Outside the range, and NaN, the nearest end.
    EXPECT_EQ(params::normalisedValue(kParamLowFrequency, 1.0f), 0.0f);
    EXPECT_EQ(params::normalisedValue(kParamLowFrequency, 1e9f), 1.0f);
    EXPECT_EQ(params::normalisedValue(kParamLowFrequency, std::nanf("")), 0.0f);
    EXPECT_EQ(params::normalisedValue(kParamBoost, 500.0f), 1.0f);
}

TEST(Units, EachChoiceStandsForAValueTheEffectAndTheReadoutTakeAsIt) {
    for (int index : {kParamFilterType, kParamSwapStereo}) {
        const ParameterInfo& info = kParameters[static_cast<std::size_t>(index)];
        const int n = static_cast<int>(info.choices.size());
        EXPECT_EQ(params::unitRange(index).maximum, static_cast<float>(n - 1));
        for (int k = 0; k < n; ++k) {
            const float p = params::choiceValue(index, k);
            EXPECT_EQ(params::choiceOf(index, p), k);
            EXPECT_EQ(params::unitValue(index, p), static_cast<float>(k));
            EXPECT_EQ(params::normalisedValue(index, static_cast<float>(k)), p);
            EXPECT_EQ(readout::valueText(index, p, "."), std::string(info.choices[k]));
        }
        // A number between two choices is the nearest one.
        EXPECT_EQ(params::normalisedValue(index, 0.6f), params::choiceValue(index, 1));
        EXPECT_EQ(params::normalisedValue(index, -3.0f), params::choiceValue(index, 0));
    }
    // The number follows the effect, not the read-out: from 0.5 on the
    // inputs swap, while the read-out says "Reversed" from 0.5025 on.
    EXPECT_EQ(params::unitValue(kParamSwapStereo, 0.5f), 1.0f);
    EXPECT_EQ(readout::valueText(kParamSwapStereo, 0.5f, "."), "Normal");
    EXPECT_EQ(params::unitValue(kParamFilterType, 0.2004f), 0.0f); // 4.99 * p just under 1
    EXPECT_EQ(params::unitValue(kParamFilterType, 0.2005f), 1.0f);
    EXPECT_EQ(params::choiceValue(kParamFilterType, 1), 0.35f); // the factory value
}
