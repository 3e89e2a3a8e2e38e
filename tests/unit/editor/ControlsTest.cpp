// The sliders and dials: painting from fvar, mouse gestures through the
// platform's routing, the fine step on Timer1 and the refresh on Timer2.
#include "EditorFixture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <thread>

namespace edtest {
namespace {

using ui::AreaId;
using ui::MouseButton;

class Controls : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        openEditor();
        host.clearCalls();
    }
    void press(AreaId id, MouseButton b, int x, int y) {
        native().press(b, clientX(id, x), clientY(id, y));
    }
    void moveTo(AreaId id, int x, int y) { native().move(clientX(id, x), clientY(id, y)); }
    void release(AreaId id, MouseButton b, int x, int y) {
        native().release(b, clientX(id, x), clientY(id, y));
    }
    std::vector<int> marker(AreaId id) { return markerColumns(surfaceOf(id).pixels()); }
    std::vector<HostRequest> automated() { return automations(); }
    std::string readoutValue() {
        const auto& t = surfaceOf(AreaId::PrintOut).texts();
        return t.size() == 2 ? t[1].text : "<none>";
    }
};

std::vector<int> columns(int first, int last) {
    std::vector<int> v;
    for (int c = first; c <= last; ++c) v.push_back(c);
    return v;
}

TEST_F(Controls, LeftPressOnSliderSetsValueAndMarker) {
    struct Case {
        int column;
        float value;
        int markerLeft;
    };
    for (const Case c : {Case{10, 0.0f, 7}, Case{0, 0.0f, 7}, Case{110, 1.0f, 107},
                         Case{119, 1.0f, 107}, Case{60, 0.5f, 57}, Case{35, 0.25f, 32}}) {
        host.clearCalls();
        press(AreaId::SLFilter1, MouseButton::Left, c.column, 8);
        release(AreaId::SLFilter1, MouseButton::Left, c.column, 8);
        EXPECT_FLOAT_EQ(window().fvar[0], c.value) << c.column;
        EXPECT_EQ(marker(AreaId::SLFilter1), columns(c.markerLeft, c.markerLeft + 5)) << c.column;
        // The marker is six rows high.
        const auto& px = surfaceOf(AreaId::SLFilter1).pixels();
        EXPECT_EQ(px.at(c.markerLeft, 5), ui::kMarkerColour);
        EXPECT_NE(px.at(c.markerLeft, 6), ui::kMarkerColour);
        const auto a = automated();
        ASSERT_EQ(a.size(), 1u) << c.column;
        EXPECT_EQ(a[0].index, 0);
        EXPECT_FLOAT_EQ(a[0].opt, c.value);
    }
    EXPECT_EQ(readoutValue(), "119Hz"); // the last press, 0.25
}

TEST_F(Controls, LeftDragLeavingTheAreaPinsAtTheEnds) {
    press(AreaId::SlFilter2, MouseButton::Left, 60, 8);
    EXPECT_FLOAT_EQ(window().fvar[1], 0.5f);
    // The pressed area keeps the pointer: moves far outside still reach it.
    native().move(clientX(AreaId::SlFilter2, 300), 5);
    EXPECT_FLOAT_EQ(window().fvar[1], 1.0f);
    native().move(-50, 150);
    EXPECT_FLOAT_EQ(window().fvar[1], 0.0f);
    // Over another control the drag still belongs to the slider.
    moveTo(AreaId::DlQ1, 20, 20);
    EXPECT_FLOAT_EQ(window().fvar[3], effect->storedValue(3));
    native().release(MouseButton::Left, 500, 500);
    EXPECT_FALSE(window().dragging);
    const auto a = automated();
    ASSERT_EQ(a.size(), 4u);
    for (const auto& r : a) EXPECT_EQ(r.index, 1);
    EXPECT_FLOAT_EQ(a[1].opt, 1.0f);
    EXPECT_FLOAT_EQ(a[2].opt, 0.0f);
    // Moves after the release change nothing.
    moveTo(AreaId::SlFilter2, 90, 8);
    EXPECT_EQ(automated().size(), 4u);
}

TEST_F(Controls, MovesWithoutAPressDoNothing) {
    const float before = window().fvar[0];
    for (int x = 0; x < 120; x += 7) moveTo(AreaId::SLFilter1, x, 8);
    moveTo(AreaId::DlQ1, 5, 5);
    EXPECT_EQ(window().fvar[0], before);
    EXPECT_TRUE(automated().empty());
}

TEST_F(Controls, LeftPressOnDialFollowsTheAngle) {
    struct Case {
        int x, y;
        float value;
    };
    for (const Case c : {Case{35, 21, 0.0f}, Case{21, 35, 0.25f}, Case{7, 21, 0.5f},
                         Case{21, 7, 0.75f}, Case{40, 40, 0.125f}}) {
        press(AreaId::DlBoost, MouseButton::Left, c.x, c.y);
        release(AreaId::DlBoost, MouseButton::Left, c.x, c.y);
        EXPECT_NEAR(window().fvar[4], c.value, 1e-5) << c.x << "," << c.y;
    }
}

TEST_F(Controls, DialDeadZoneOnlyOnPress) {
    window().fvar[5] = 0.6f;
    press(AreaId::DlSmooth1, MouseButton::Left, 26, 25); // squared distance 41
    EXPECT_EQ(window().fvar[5], 0.0f);
    moveTo(AreaId::DlSmooth1, 21, 35);
    EXPECT_NEAR(window().fvar[5], 0.25f, 1e-6);
    moveTo(AreaId::DlSmooth1, 26, 25); // through the zone while dragging
    EXPECT_NEAR(window().fvar[5], std::atan2(4.0, 5.0) / 6.28318, 1e-6);
    release(AreaId::DlSmooth1, MouseButton::Left, 26, 25);
    // Distance squared 50 is outside the zone.
    press(AreaId::DlSmooth1, MouseButton::Left, 28, 20);
    EXPECT_GT(window().fvar[5], 0.9f);
}

TEST_F(Controls, DialDotFollowsTheValue) {
    struct Case {
        float value;
        double x, y;
    };
    // The dot is the ellipse inscribed in the corners (roundDown(15 cos t +
    // 24), roundDown(15 sin t + 24)) and (roundDown(15 cos t + 16), ...),
    // right and bottom edges exclusive: its fill is centred in that box.
    auto roundDownSingle = [](double x) {
        return static_cast<int>(
            std::nearbyint(static_cast<double>(static_cast<float>(x)) - 0.4999999));
    };
    for (const Case c : {Case{0.0f, 35, 20}, Case{0.25f, 20, 35}, Case{0.5f, 5, 20},
                         Case{0.75f, 20, 5}, Case{0.125f, 30.6, 30.6}, Case{0.9f, 32.1, 11.2}}) {
        window().fvar[3] = c.value;
        window().SetControl(3);
        const Point p = dotCentre(surfaceOf(AreaId::DlQ1).pixels());
        const double t = static_cast<float>(6.28318 * c.value);
        const int xa = roundDownSingle(15 * std::cos(t) + 24),
                  xb = roundDownSingle(15 * std::cos(t) + 16);
        const int ya = roundDownSingle(15 * std::sin(t) + 24),
                  yb = roundDownSingle(15 * std::sin(t) + 16);
        EXPECT_DOUBLE_EQ(p.x, (std::min(xa, xb) + std::max(xa, xb) - 1) / 2.0) << c.value;
        EXPECT_DOUBLE_EQ(p.y, (std::min(ya, yb) + std::max(ya, yb) - 1) / 2.0) << c.value;
        // ... which is about 15 pixels from (20, 20) in the value's direction.
        EXPECT_NEAR(p.x, c.x, 1.51) << c.value;
        EXPECT_NEAR(p.y, c.y, 1.51) << c.value;
    }
    // The dial area is cleared to the window colour around the knob.
    const auto& px = surfaceOf(AreaId::DlQ1).pixels();
    EXPECT_EQ(px.at(0, 40), ui::kWindowColour);
    EXPECT_EQ(px.at(40, 0), ui::kWindowColour);
    EXPECT_EQ(px.at(20, 20), ui::artwork().knob.at(20, 20));
}

TEST_F(Controls, RightPressFineStepsOnTimer1) {
    window().fvar[0] = 0.5f;
    press(AreaId::SLFilter1, MouseButton::Right, 69, 8); // value pixel 59: down
    EXPECT_FLOAT_EQ(window().fvar[0], 0.5f) << "no change at the press";
    EXPECT_TRUE(automated().empty());
    native().advance(499);
    EXPECT_FLOAT_EQ(window().fvar[0], 0.5f);
    native().advance(1);
    EXPECT_NEAR(window().fvar[0], 0.499f, 1e-6);
    // Moves do nothing while stepping.
    moveTo(AreaId::SLFilter1, 100, 8);
    EXPECT_NEAR(window().fvar[0], 0.499f, 1e-6);
    native().advance(10000);
    EXPECT_NEAR(window().fvar[0], 0.479f, 1e-5);
    EXPECT_EQ(automated().size(), 21u);
    release(AreaId::SLFilter1, MouseButton::Right, 69, 8);
    native().advance(2000);
    EXPECT_EQ(automated().size(), 21u);
    EXPECT_EQ(readoutValue(), window().FilterStr(0));
}

TEST_F(Controls, SliderStepThresholdIsValuePixel60) {
    window().fvar[1] = 0.5f;
    press(AreaId::SlFilter2, MouseButton::Right, 71, 8); // value pixel 61: up
    native().advance(500);
    EXPECT_NEAR(window().fvar[1], 0.501f, 1e-6);
    release(AreaId::SlFilter2, MouseButton::Right, 71, 8);
    // Exactly on pixel 60 after a release: stepDelta stays 0, nothing moves.
    press(AreaId::SlFilter2, MouseButton::Right, 70, 8);
    EXPECT_TRUE(window().dragging);
    EXPECT_EQ(window().stepDelta, 0.0f);
    native().advance(1500);
    EXPECT_NEAR(window().fvar[1], 0.501f, 1e-6);
}

TEST_F(Controls, DialStepDirectionFromTheRow) {
    window().fvar[6] = 0.5f;
    press(AreaId::DlSmooth2, MouseButton::Right, 30, 21); // row 21: up
    native().advance(1000);
    EXPECT_NEAR(window().fvar[6], 0.502f, 1e-6);
    release(AreaId::DlSmooth2, MouseButton::Right, 30, 21);
    press(AreaId::DlSmooth2, MouseButton::Right, 30, 22); // row 22: down
    native().advance(1500);
    EXPECT_NEAR(window().fvar[6], 0.499f, 1e-6);
    release(AreaId::DlSmooth2, MouseButton::Right, 30, 22);
}

TEST_F(Controls, FineStepAtTheEndKeepsSendingTheClampedValue) {
    window().fvar[7] = 0.9995f;
    press(AreaId::DlSign12, MouseButton::Right, 21, 3);
    native().advance(2000);
    const auto a = automated();
    ASSERT_EQ(a.size(), 4u);
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].index, 7);
        EXPECT_EQ(a[i].opt, 1.0f) << i;
    }
    release(AreaId::DlSign12, MouseButton::Right, 21, 3);
}

TEST_F(Controls, OtherButtonsRepeatTheLastGestureKind) {
    // A fresh window is in left-drag mode: a middle press drags.
    press(AreaId::SLFilter1, MouseButton::Middle, 35, 8);
    EXPECT_FLOAT_EQ(window().fvar[0], 0.25f);
    release(AreaId::SLFilter1, MouseButton::Middle, 35, 8);
    // After a right press, a middle press fine-steps.
    press(AreaId::SLFilter1, MouseButton::Right, 100, 8);
    release(AreaId::SLFilter1, MouseButton::Right, 100, 8);
    press(AreaId::SLFilter1, MouseButton::Middle, 100, 8);
    EXPECT_EQ(window().adjustMode, 1);
    native().advance(500);
    EXPECT_NEAR(window().fvar[0], 0.251f, 1e-6);
    release(AreaId::SLFilter1, MouseButton::Middle, 100, 8);
}

TEST_F(Controls, ARightButtonDoesNotHoldThePointer) {
    window().fvar[2] = 0.5f;
    press(AreaId::DlFType1, MouseButton::Right, 20, 5);
    // A right-button release over the background still ends the step.
    native().release(MouseButton::Right, 5, 5);
    EXPECT_FALSE(window().dragging);
    native().advance(2000);
    EXPECT_TRUE(automated().empty());
    EXPECT_FALSE(native().mouse().holder().has_value());
}

TEST_F(Controls, OverlappingDialsGoToTheUpperArea) {
    // Client column 64 is DlFType1's last column and DlQ1's first.
    native().press(MouseButton::Left, 64, 96 + 21);
    native().release(MouseButton::Left, 64, 96 + 21);
    ASSERT_EQ(automated().size(), 1u);
    EXPECT_EQ(automated()[0].index, 3);
    // Column 104: DlBoost over DlQ1.
    native().press(MouseButton::Left, 104, 96 + 21);
    native().release(MouseButton::Left, 104, 96 + 21);
    ASSERT_EQ(automated().size(), 2u);
    EXPECT_EQ(automated()[1].index, 4);
    // Press on the read-out or the background: nothing.
    native().press(MouseButton::Left, 240, 40);
    native().press(MouseButton::Left, 5, 5);
    EXPECT_EQ(automated().size(), 2u);
}

TEST_F(Controls, HandlersKnowAreasByName) {
    window().SetControlSelect(window().PrintOut, MouseButton::Left, 0, 60, 8);
    window().SetControlSelect(window().Image1, MouseButton::Left, 0, 60, 8);
    EXPECT_TRUE(automated().empty());
    EXPECT_FALSE(window().dragging);
    window().SetControlSelect(window().DlSign12, MouseButton::Left, 0, 35, 21);
    ASSERT_EQ(automated().size(), 1u);
    EXPECT_EQ(automated()[0].index, 7);
}

TEST_F(Controls, ChangePathReachesEffectThenHostThenPaints) {
    press(AreaId::DlFType1, MouseButton::Left, 21, 35);
    // setParameterAutomated: the effect's value first, then the host's automate.
    EXPECT_NEAR(effect->storedValue(2), 0.25f, 1e-6);
    const auto a = automated();
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].index, 2);
    EXPECT_NEAR(a[0].opt, 0.25f, 1e-6);
    // The effect also asked for the sample rate before the automate (it runs
    // setParameter first).
    bool rateAsked = false;
    for (const auto& r : requests()) {
        if (r.opcode == audioMasterGetSampleRate) rateAsked = true;
        if (r.opcode == audioMasterAutomate) break;
    }
    EXPECT_TRUE(rateAsked);
    EXPECT_EQ(surfaceOf(AreaId::PrintOut).texts()[1].text, "Low");
}

TEST_F(Controls, AChangeRepaintsOnlyItsControl) {
    std::array<int, ui::kAreaCount> before{};
    for (const auto& a : ui::kAreas) before[static_cast<int>(a.id)] = surfaceOf(a.id).operations();
    press(AreaId::DlSmooth1, MouseButton::Left, 35, 21);
    for (const auto& a : ui::kAreas) {
        const int ops = surfaceOf(a.id).operations() - before[static_cast<int>(a.id)];
        if (a.id == AreaId::DlSmooth1 || a.id == AreaId::PrintOut)
            EXPECT_GT(ops, 0) << a.name;
        else
            EXPECT_EQ(ops, 0) << a.name;
    }
}

TEST_F(Controls, SetControlIgnoresOtherIndices) {
    window().fvar[0] = 0.9f;
    const int ops = surfaceOf(AreaId::SLFilter1).operations();
    window().SetControl(8);
    window().SetControl(-2);
    window().SetControl(100);
    EXPECT_EQ(surfaceOf(AreaId::SLFilter1).operations(), ops);
    window().SetControl(-1);
    EXPECT_EQ(marker(AreaId::SLFilter1), columns(97, 102));
}

TEST_F(Controls, Timer2RepaintsAllWhenTheEffectAsks) {
    native().advance(250); // takes up the request the effect's construction left
    press(AreaId::SLFilter1, MouseButton::Left, 35, 8); // the read-out shows control 0
    release(AreaId::SLFilter1, MouseButton::Left, 35, 8);
    editorRefreshPending = true;
    native().advance(249);
    EXPECT_EQ(readoutValue(), "119Hz");
    native().advance(1);
    EXPECT_EQ(readoutValue(), "") << "a full refresh blanks it";
    EXPECT_FALSE(editorRefreshPending);
}

// Automation playing back, the host's own controls, a script: whatever sets
// a value, the control shows it by the next Timer2 tick, and only the
// controls whose value changed are painted again. The read-out stays with
// the control last moved in the editor.
TEST_F(Controls, ControlsFollowTheHostsChangesWithin250ms) {
    native().advance(250);
    press(AreaId::DlQ1, MouseButton::Left, 35, 21);
    release(AreaId::DlQ1, MouseButton::Left, 35, 21);
    const std::string readout = readoutValue();
    auto operations = [&] {
        std::array<int, ui::kAreaCount> ops{};
        for (const auto& a : ui::kAreas) ops[static_cast<int>(a.id)] = surfaceOf(a.id).operations();
        return ops;
    };
    // One value from the host's own thread, another as automation from the
    // thread that processes.
    std::thread([&] { host.setParameter(0, 1.0f); }).join();
    std::thread([&] {
        float in[64] = {}, out0[64], out1[64];
        float* ins[2] = {in, in};
        float* outs[2] = {out0, out1};
        host.processReplacing(ins, outs, 64);
        host.setParameter(5, 0.75f);
        host.processReplacing(ins, outs, 64);
    }).join();
    const auto before = operations();
    native().advance(249);
    EXPECT_EQ(operations(), before) << "nothing before the tick";
    EXPECT_NE(marker(AreaId::SLFilter1), columns(107, 112));
    native().advance(1);
    EXPECT_EQ(marker(AreaId::SLFilter1), columns(107, 112));
    const Point dot = dotCentre(surfaceOf(AreaId::DlSmooth1).pixels());
    EXPECT_NEAR(dot.x, 20, 2.01) << "0.75: twelve o'clock";
    EXPECT_NEAR(dot.y, 5, 2.01);
    const auto after = operations();
    for (const auto& a : ui::kAreas) {
        const int i = static_cast<int>(a.id);
        if (a.id == AreaId::SLFilter1 || a.id == AreaId::DlSmooth1)
            EXPECT_GT(after[i], before[i]) << a.name;
        else
            EXPECT_EQ(after[i], before[i]) << a.name << " was painted again";
    }
    EXPECT_EQ(readoutValue(), readout);
    // The same values again, and a MIDI refresh: nothing to paint.
    host.setParameter(0, 1.0f);
    host.setParameter(5, 0.75f);
    native().advance(1000);
    EXPECT_EQ(operations(), after);
}

// Hosts record a gesture in Touch and Latch modes between the begin-edit and
// end-edit requests: every press starts one for its parameter, its release
// ends it, and the automate requests lie in between.
TEST_F(Controls, EveryGestureIsOneBeginEditItsChangesAndOneEndEdit) {
    auto gesture = [&] {
        std::vector<std::string> seen;
        for (const HostRequest& r : requests()) {
            if (r.opcode == audioMasterBeginEdit)
                seen.push_back("begin " + std::to_string(r.index));
            if (r.opcode == audioMasterEndEdit) seen.push_back("end " + std::to_string(r.index));
            if (r.opcode == audioMasterAutomate) {
                if (seen.empty() || seen.back() != "set " + std::to_string(r.index))
                    seen.push_back("set " + std::to_string(r.index));
            }
        }
        host.clearCalls();
        return seen;
    };
    using Seen = std::vector<std::string>;
    // A drag.
    press(AreaId::SlFilter2, MouseButton::Left, 20, 8);
    moveTo(AreaId::SlFilter2, 60, 8);
    moveTo(AreaId::SlFilter2, 90, 8);
    release(AreaId::SlFilter2, MouseButton::Left, 90, 8);
    EXPECT_EQ(gesture(), (Seen{"begin 1", "set 1", "end 1"}));
    // A fine-step hold, and one on the threshold that steps nothing.
    press(AreaId::DlBoost, MouseButton::Right, 21, 5);
    native().advance(1500);
    release(AreaId::DlBoost, MouseButton::Right, 21, 5);
    EXPECT_EQ(gesture(), (Seen{"begin 4", "set 4", "end 4"}));
    press(AreaId::SlFilter2, MouseButton::Right, 70, 8);
    native().advance(1000);
    release(AreaId::SlFilter2, MouseButton::Right, 70, 8);
    EXPECT_EQ(gesture(), (Seen{"begin 1", "end 1"}));
    // A release outside every control still ends it.
    press(AreaId::DlQ1, MouseButton::Left, 35, 21);
    native().release(MouseButton::Left, 385, 150);
    EXPECT_EQ(gesture(), (Seen{"begin 3", "set 3", "end 3"}));
    // A middle-button drag does not hold the pointer: crossing onto another
    // control moves the gesture with it, ended and begun in pairs.
    press(AreaId::DlFType1, MouseButton::Middle, 35, 21);
    native().move(clientX(AreaId::DlQ1, 30), clientY(AreaId::DlQ1, 21));
    release(AreaId::DlQ1, MouseButton::Middle, 30, 21);
    EXPECT_EQ(gesture(), (Seen{"begin 2", "set 2", "end 2", "begin 3", "set 3", "end 3"}));
    // The editor closed in the middle of a drag and of a hold.
    for (MouseButton b : {MouseButton::Left, MouseButton::Right}) {
        press(AreaId::SLFilter1, b, 80, 8);
        native().advance(600);
        host.dispatch(effEditClose);
        const Seen s = gesture();
        ASSERT_GE(s.size(), 2u);
        EXPECT_EQ(s.front(), "begin 0");
        EXPECT_EQ(s.back(), "end 0");
        EXPECT_EQ(std::count(s.begin(), s.end(), "end 0"), 1);
        openEditor();
        host.clearCalls();
    }
}

TEST_F(Controls, FreshWindowShowsZeroValuesBeforeTheGlueFillsThem) {
    ui::HeadlessPlatform other;
    auto w = TPluginEditorWindow::create(other, nullptr);
    ASSERT_NE(w, nullptr);
    const auto& hw = *other.lastWindow();
    EXPECT_EQ(markerColumns(hw.surfaceIfMade(AreaId::SLFilter1)->pixels()), columns(7, 12));
    EXPECT_EQ(markerColumns(hw.surfaceIfMade(AreaId::SlFilter2)->pixels()), columns(7, 12));
    const Point p = dotCentre(hw.surfaceIfMade(AreaId::DlBoost)->pixels());
    EXPECT_NEAR(p.x, 35, 1.01);
    EXPECT_NEAR(p.y, 20, 1.01);
    EXPECT_EQ(hw.surfaceIfMade(AreaId::PrintOut)->pixels().pixels, ui::artwork().plate.pixels);
    EXPECT_EQ(w->stepDelta, 0.0f);
    EXPECT_EQ(w->selectedIndex, 0);
    EXPECT_FALSE(w->dragging);
    EXPECT_EQ(w->plugin, nullptr);
    EXPECT_TRUE(hw.isDoubleBuffered());
    EXPECT_EQ(hw.timerPeriod(ui::TimerId::Timer1), 500);
    EXPECT_EQ(hw.timerPeriod(ui::TimerId::Timer2), 250);
    // Without an effect a gesture still paints and sends nothing.
    other.lastWindow()->press(MouseButton::Left, 24 + 110, 45);
    EXPECT_EQ(markerColumns(hw.surfaceIfMade(AreaId::SLFilter1)->pixels()), columns(107, 112));
}

} // namespace
} // namespace edtest
