// The read-out: names, value texts and their formatting, and how it is painted.
#include "EditorFixture.h"
#include "plugin/dsp/Numeric.h"

#include <cmath>

namespace edtest {
namespace {

class Readout : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        openEditor();
    }
    // Shows index at value v and answers the two lines of the read-out.
    std::pair<std::string, std::string> show(int index, float v) {
        window().fvar[index] = v;
        window().SetLabel(index);
        const auto& texts = surfaceOf(ui::AreaId::PrintOut).texts();
        if (texts.size() != 2) return {"<" + std::to_string(texts.size()) + " texts>", ""};
        return {texts[0].text, texts[1].text};
    }
    std::string value(int index, float v) { return show(index, v).second; }
};

TEST(Numeric, RoundDownIsFloorExceptJustBelowAnInteger) {
    EXPECT_EQ(dsp::roundDownExtended(2.0f), 2);
    EXPECT_EQ(dsp::roundDownExtended(2.9999f), 2);
    EXPECT_EQ(dsp::roundDownExtended(0.5f), 0);
    EXPECT_EQ(dsp::roundDownExtended(-0.25f), -1);
    // Within 1e-7 below an integer gives that integer.
    EXPECT_EQ(dsp::roundDownExtended(std::nextafter(1.0f, 0.0f)), 1);
    EXPECT_EQ(dsp::roundDownExtended(0.99999f), 0);
    EXPECT_EQ(dsp::roundDownExtended(1.5f), 1);
    EXPECT_EQ(dsp::roundDownExtended(110.0f), 110);
}

TEST(Numeric, Pow2UsesTheDecimalFactor) {
    // 0.6931472 lies just above ln 2 = 0.69314718056: pow2(10) * 15 rounds to
    // 15360.0039, and pow2(9) to the single just above 512.
    EXPECT_EQ(static_cast<float>(15.0L * dsp::pow2Extended(10.0f)), 15360.0039f);
    EXPECT_EQ(dsp::pow2Extended(9.0f), std::nextafter(512.0f, 1000.0f));
    EXPECT_FLOAT_EQ(dsp::pow2Extended(0.0f), 1.0f);
    EXPECT_NEAR(dsp::pow2Extended(4.5f), 22.627417f, 1e-4f);
    EXPECT_EQ(dsp::limit(-0.1f), 0.0f);
    EXPECT_EQ(dsp::limit(1.5f), 1.0f);
    EXPECT_EQ(dsp::limit(std::nanf("")), 0.0f);
    EXPECT_EQ(dsp::limit(0.25f), 0.25f);
}

TEST_F(Readout, FilterFrequencies) {
    EXPECT_EQ(show(0, 0.0f),
              std::make_pair(std::string("Filter Low Frequency"), std::string("25Hz")));
    EXPECT_EQ(value(0, 1.0f), "12.8KHz");
    EXPECT_EQ(value(0, 0.5f), "566Hz");
    EXPECT_EQ(value(0, 0.6f), "1.1KHz");
    EXPECT_EQ(show(1, 1.0f).first, "Filter Hi Frequency");
    EXPECT_EQ(value(1, 1.0f), "12.8KHz");
    // A whole number of kilohertz has no decimal point.
    float v = std::log2(1000.0f / 25.0f) / 9.0f; // about 1000 Hz
    while (25.0f * dsp::pow2Extended(9.0f * v) < 1000.0f) v = std::nextafter(v, 1.0f);
    EXPECT_EQ(value(0, v), "1KHz");
}

TEST_F(Readout, FrequenciesJustBelow1000HzRoundInTheHertzBranch) {
    // The largest value whose frequency is still below 1000 Hz, and one at 999.5 Hz or above.
    float below = std::log2(1000.0f / 25.0f) / 9.0f;
    while (static_cast<float>(25.0L * dsp::pow2Extended(static_cast<float>(9.0L * below))) >=
           1000.0f)
        below = std::nextafter(below, 0.0f);
    EXPECT_EQ(value(0, below), "1000Hz");
    float half = std::log2(999.5f / 25.0f) / 9.0f;
    while (static_cast<float>(25.0L * dsp::pow2Extended(static_cast<float>(9.0L * half))) < 999.5f)
        half = std::nextafter(half, 1.0f);
    EXPECT_EQ(value(0, half), "1000Hz");
    float lower = half;
    while (static_cast<float>(25.0L * dsp::pow2Extended(static_cast<float>(9.0L * lower))) >=
           999.0f)
        lower = std::nextafter(lower, 0.0f);
    EXPECT_EQ(value(0, lower), "999Hz");
}

TEST_F(Readout, CommaLocaleUsesItsSeparator) {
    platform.decimalSeparator = ",";
    EXPECT_EQ(value(1, 1.0f), "12,8KHz");
    EXPECT_EQ(value(3, 0.355f), "35,5%");
    EXPECT_EQ(value(4, 0.9f), "360%"); // integers have no separator to replace
}

TEST_F(Readout, FilterTypeNamesAndTheirBoundaries) {
    EXPECT_EQ(show(2, 0.2004f), std::make_pair(std::string("Filter Type"), std::string("Off")));
    EXPECT_EQ(value(2, 0.20041f), "Low");
    EXPECT_EQ(value(2, 0.5f), "High");
    EXPECT_EQ(value(2, 0.75f), "Band Pass");
    EXPECT_EQ(value(2, 1.0f), "Band Reject");
    EXPECT_EQ(value(2, 0.0f), "Off");
}

TEST_F(Readout, PercentagesAndBoost) {
    for (int i : {3, 5, 6}) {
        EXPECT_EQ(value(i, 0.355f), "35.5%") << i;
        EXPECT_EQ(value(i, 0.35f), "35%") << i;
        EXPECT_EQ(value(i, 1.0f), "100%") << i;
        EXPECT_EQ(value(i, 0.0f), "0%") << i;
    }
    EXPECT_EQ(show(3, 0.5f).first, "Filter Q");
    EXPECT_EQ(show(5, 0.5f).first, "Attack");
    EXPECT_EQ(show(6, 0.5f).first, "Release");
    EXPECT_EQ(show(4, 0.9f), std::make_pair(std::string("Boost"), std::string("360%")));
    EXPECT_EQ(value(4, 1.0f), "400%");
    EXPECT_EQ(value(4, 0.1f), "40%");
    EXPECT_EQ(value(4, 0.0f), "0%");
}

TEST_F(Readout, StereoSwitchesAtTheReadoutsOwnFactor) {
    EXPECT_EQ(show(7, 0.5f), std::make_pair(std::string("Swap Stereo"), std::string("Normal")));
    EXPECT_EQ(value(7, 0.5026f), "Reversed");
    EXPECT_EQ(value(7, 1.0f), "Reversed");
    EXPECT_EQ(value(7, 0.0f), "Normal");
}

TEST_F(Readout, PaintsPlateThenTwoLinesInArial8) {
    window().fvar[3] = 0.355f;
    window().SetLabel(3);
    const auto& s = surfaceOf(ui::AreaId::PrintOut);
    ASSERT_EQ(s.texts().size(), 2u);
    for (const auto& t : s.texts()) {
        EXPECT_EQ(t.font, "Arial");
        EXPECT_EQ(t.points, 8);
        EXPECT_EQ(t.colour, ui::kBlack);
        EXPECT_TRUE(t.transparent);
    }
    EXPECT_EQ(s.texts()[0].x, 10);
    EXPECT_EQ(s.texts()[0].y, -1);
    EXPECT_EQ(s.texts()[1].x, 10);
    EXPECT_EQ(s.texts()[1].y, 12);
    // The text is drawn: dark pixels on the light plate.
    int dark = 0;
    for (auto c : s.pixels().pixels) dark += c == ui::kBlack;
    EXPECT_GT(dark, 20);
}

TEST_F(Readout, MinusOneBlanksAndOtherIndicesChangeNothing) {
    window().fvar[0] = 0.5f;
    window().SetLabel(0);
    const auto& s = surfaceOf(ui::AreaId::PrintOut);
    const ui::Image before = s.pixels();
    const int ops = s.operations();
    window().SetLabel(8);
    window().SetLabel(-2);
    window().SetLabel(120);
    EXPECT_EQ(s.operations(), ops);
    EXPECT_EQ(s.texts().size(), 2u);
    EXPECT_EQ(s.pixels().pixels, before.pixels);

    window().SetLabel(-1);
    // Two empty texts over the plate alone.
    ASSERT_EQ(s.texts().size(), 2u);
    EXPECT_EQ(s.texts()[0].text, "");
    EXPECT_EQ(s.texts()[1].text, "");
    EXPECT_EQ(s.pixels().pixels, ui::artwork().plate.pixels);
}

} // namespace
} // namespace edtest
