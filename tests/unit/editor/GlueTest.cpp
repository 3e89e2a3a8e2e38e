// The editor glue: size answers, open and close counting, the editorClosed
// protocol, value copies into the window and the window's lifetime.
#include "EditorFixture.h"

#include <atomic>
#include <cmath>
#include <thread>

namespace edtest {
namespace {

using Glue = EditorTest;

ERect rectOf(APluginEditor& g) {
    ERect* r = nullptr;
    EXPECT_EQ(g.getRect(&r), 1);
    EXPECT_NE(r, nullptr);
    return r ? *r : ERect{-1, -1, -1, -1};
}

void expectRect(const ERect& r, int bottom, int right) {
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.bottom, bottom);
    EXPECT_EQ(r.right, right);
}

TEST_F(Glue, GetRectAnswersTheClosedSizeUnlessAWindowExists) {
    expectRect(rectOf(glue()), 518, 665);
    openEditor();
    expectRect(rectOf(glue()), 158, 390);
    glue().close();
    expectRect(rectOf(glue()), 518, 665);
    // Through the dispatcher, as a host asks.
    ERect* r = nullptr;
    EXPECT_EQ(effect->dispatcher(effEditGetRect, 0, 0, &r, 0.0f), 1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->bottom, 518);
}

TEST_F(Glue, OpenCreatesPlacesFillsAndShowsTheWindow) {
    EXPECT_FALSE(effect->isEditorClosed());
    EXPECT_EQ(glue().getOpenCount(), 0);
    openEditor();
    EXPECT_EQ(glue().getOpenCount(), 1);
    EXPECT_EQ(glue().getParentWindow(), &fakeParent);
    EXPECT_EQ(native().parent(), &fakeParent);
    EXPECT_TRUE(native().visible());
    EXPECT_EQ(native().placement().left, 0);
    EXPECT_EQ(native().placement().top, 0);
    EXPECT_EQ(native().placement().width(), 390);
    EXPECT_EQ(native().placement().height(), 158);
    for (int i = 0; i < kWindowValues; ++i)
        EXPECT_EQ(window().fvar[i], effect->storedValue(i)) << i;
    // The window's plugin is this effect, as the glue presents it.
    ASSERT_NE(window().plugin, nullptr);
    const float before = effect->storedValue(119);
    window().plugin->setParameterAutomated(119, 0.375f);
    EXPECT_EQ(effect->storedValue(119), 0.375f);
    effect->setParameter(119, before);
    EXPECT_FALSE(effect->isEditorClosed());
    // SetAll ran after the values arrived: markers at program 0's 0.75 and 1.0.
    EXPECT_EQ(markerColumns(surfaceOf(ui::AreaId::SLFilter1).pixels()).front(), 82);
    EXPECT_EQ(markerColumns(surfaceOf(ui::AreaId::SlFilter2).pixels()).front(), 107);
}

TEST_F(Glue, SecondOpenReusesTheWindow) {
    openEditor();
    TPluginEditorWindow* first = glue().getWindow();
    int otherParent = 0;
    EXPECT_EQ(glue().open(&otherParent), 1);
    EXPECT_EQ(glue().getWindow(), first);
    EXPECT_EQ(platform.windowsMade(), 1);
    EXPECT_EQ(glue().getOpenCount(), 2);
    EXPECT_EQ(glue().getParentWindow(), &otherParent);

    glue().close();
    EXPECT_EQ(glue().getWindow(), first) << "open, open, close keeps the window";
    EXPECT_FALSE(native().visible());
    EXPECT_EQ(glue().getOpenCount(), 1);
    EXPECT_FALSE(effect->isEditorClosed());

    glue().close();
    EXPECT_EQ(glue().getWindow(), nullptr);
    EXPECT_TRUE(platform.windows().empty());
    EXPECT_EQ(glue().getOpenCount(), 0);
    EXPECT_TRUE(effect->isEditorClosed());
    EXPECT_EQ(glue().getParentWindow(), nullptr);
}

TEST_F(Glue, CloseWithoutOpenStaysAtZeroAndMarksClosed) {
    glue().close();
    glue().close();
    EXPECT_EQ(glue().getOpenCount(), 0);
    EXPECT_TRUE(effect->isEditorClosed());
    glue().update(); // nothing to copy into
    EXPECT_EQ(glue().getWindow(), nullptr);
    // One open after extra closes opens.
    openEditor();
    EXPECT_EQ(glue().getOpenCount(), 1);
    EXPECT_FALSE(effect->isEditorClosed());
}

TEST_F(Glue, ReopenMakesAFreshWindow) {
    openEditor();
    window().dragging = true;
    window().stepDelta = 0.001f;
    glue().close();
    openEditor();
    EXPECT_EQ(platform.windowsMade(), 2);
    EXPECT_FALSE(window().dragging);
    EXPECT_EQ(window().stepDelta, 0.0f);
    expectRect(rectOf(glue()), 158, 390);
}

TEST_F(Glue, UpdateCopiesValuesOnlyWhileOpen) {
    openEditor();
    effect->setParameter(3, 0.2f); // the effect's setParameter calls update
    EXPECT_FLOAT_EQ(window().fvar[3], 0.2f);
    effect->setParameter(120, 0.7f); // a program carries index 120 along
    glue().update();
    EXPECT_FLOAT_EQ(window().fvar[120], 0.7f);
    // Update copies; it does not repaint.
    const int ops = surfaceOf(ui::AreaId::DlQ1).operations();
    glue().update();
    EXPECT_EQ(surfaceOf(ui::AreaId::DlQ1).operations(), ops);

    // While the effect's flag says closed, update copies nothing.
    effect->setEditorClosed(true);
    effect->setParameter(3, 0.9f);
    glue().update();
    EXPECT_FLOAT_EQ(window().fvar[3], 0.2f);
}

TEST_F(Glue, UpdatesFromAnotherThreadWhileTheWindowComesAndGoes) {
    // The host may set parameters (and so update the editor) on its audio
    // thread while the user opens and closes the editor. Updates write only
    // into storage that lives as long as the glue; under AddressSanitizer a
    // write into a destroyed window would show here.
    std::atomic<bool> stop{false};
    std::thread automation([&] {
        float v = 0.0f;
        while (!stop) {
            effect->setParameter(3, v);
            v = v > 0.99f ? 0.0f : v + 0.01f;
        }
    });
    for (int i = 0; i < 200; ++i) {
        openEditor();
        glue().close();
    }
    stop = true;
    automation.join();
    openEditor();
    effect->setParameter(3, 0.25f);
    EXPECT_EQ(window().fvar[3], 0.25f);
}

TEST_F(Glue, IdleDoesNothing) {
    openEditor();
    // A value changed while the glue copies nothing, so that only idle could.
    effect->setEditorClosed(true);
    effect->setParameter(5, 0.123f);
    effect->setEditorClosed(false);
    glue().postUpdate();
    glue().idle();
    EXPECT_NE(window().fvar[5], 0.123f);
}

TEST_F(Glue, DestroyingTheEffectWithTheEditorOpenLeavesNothing) {
    openEditor();
    native().advance(1000);
    EXPECT_EQ(host.close(), 1);
    effect = nullptr;
    EXPECT_TRUE(platform.windows().empty());
}

TEST_F(Glue, FailedWindowCreationIsReportedAndCounted) {
    platform.refuseWindows = true;
    EXPECT_EQ(glue().open(&fakeParent), 0);
    EXPECT_EQ(glue().getOpenCount(), 0);
    EXPECT_EQ(glue().getWindow(), nullptr);
    expectRect(rectOf(glue()), 518, 665);
    platform.refuseWindows = false;
    openEditor();
    EXPECT_EQ(glue().getOpenCount(), 1);
}

TEST_F(Glue, ProgramChangeRepaintsWithin250msAndBlanksTheReadout) {
    openEditor();
    native().advance(250);
    native().press(ui::MouseButton::Left, 24 + 60, 45); // SLFilter1 to 0.5: the read-out shows it
    native().release(ui::MouseButton::Left, 24 + 60, 45);
    ASSERT_EQ(surfaceOf(ui::AreaId::PrintOut).texts()[1].text, "566Hz");
    effect->dispatcher(effSetProgram, 0, 5, nullptr, 0.0f); // program 5: all 0.0
    native().advance(250);
    EXPECT_EQ(markerColumns(surfaceOf(ui::AreaId::SLFilter1).pixels()).front(), 7);
    EXPECT_EQ(markerColumns(surfaceOf(ui::AreaId::SlFilter2).pixels()).front(), 7);
    const Point p = dotCentre(surfaceOf(ui::AreaId::DlBoost).pixels());
    EXPECT_NEAR(p.x, 35, 1.01);
    EXPECT_NEAR(p.y, 20, 1.01);
    EXPECT_EQ(surfaceOf(ui::AreaId::PrintOut).texts()[1].text, "");
    EXPECT_EQ(surfaceOf(ui::AreaId::PrintOut).pixels().pixels, ui::artwork().plate.pixels);
}

TEST_F(Glue, EveryInstancesWindowRepaintsAfterItsProgramChange) {
    vhost::Host secondHost(&editorMain);
    APlugin& second = *pluginOf(secondHost.open());
    auto& secondGlue = *static_cast<APluginEditor*>(second.getEditor());
    openEditor();
    ui::HeadlessWindow& firstNative = native();
    ASSERT_EQ(secondGlue.open(&fakeParent), 1);
    ui::HeadlessWindow& secondNative = *platform.lastWindow();
    firstNative.advance(250);
    secondNative.advance(250);

    effect->dispatcher(effSetProgram, 0, 7, nullptr, 0.0f);
    // The other instance's window ticks first and takes the shared flag.
    secondNative.advance(250);
    EXPECT_FALSE(editorRefreshPending);
    firstNative.advance(250);
    EXPECT_EQ(markerColumns(firstNative.surfaceIfMade(ui::AreaId::SLFilter1)->pixels()).front(), 7);
    secondGlue.close();
}

TEST_F(Glue, AHostMayCloseTheEditorOrTheInstanceWhenItHearsOfAChange) {
    // The host reacts to the automate request of a press, a drag and a fine
    // step by closing the editor; the window must not go on drawing into
    // itself once the call returns (AddressSanitizer sees it if it does).
    for (ui::MouseButton button : {ui::MouseButton::Left, ui::MouseButton::Right}) {
        openEditor();
        host.clearCalls();
        host.onCall = [&](const HostRequest& r) -> std::optional<VstIntPtr> {
            if (r.opcode == audioMasterAutomate) host.dispatch(effEditClose);
            return std::nullopt;
        };
        ui::HeadlessWindow& w = native();
        w.press(button, clientX(ui::AreaId::SLFilter1, 80), clientY(ui::AreaId::SLFilter1, 4));
        if (button == ui::MouseButton::Right) w.advance(500); // the fine step's tick
        host.onCall = nullptr;
        EXPECT_EQ(glue().getWindow(), nullptr);
        EXPECT_TRUE(platform.windows().empty());
        EXPECT_EQ(automations().size(), 1u);
        // The value reached the effect before the host closed the editor.
        EXPECT_GE(effect->getParameter(0), 0.7f);
    }
    // The same when it closes the editor as it hears a gesture begin or end.
    for (VstInt32 opcode : {VstInt32{audioMasterBeginEdit}, VstInt32{audioMasterEndEdit}}) {
        openEditor();
        host.onCall = [&](const HostRequest& r) -> std::optional<VstIntPtr> {
            if (r.opcode == opcode) host.dispatch(effEditClose);
            return std::nullopt;
        };
        ui::HeadlessWindow& w = native();
        w.press(ui::MouseButton::Left, clientX(ui::AreaId::DlQ1, 35),
                clientY(ui::AreaId::DlQ1, 21));
        if (opcode == audioMasterEndEdit)
            w.release(ui::MouseButton::Left, clientX(ui::AreaId::DlQ1, 35),
                      clientY(ui::AreaId::DlQ1, 21));
        host.onCall = nullptr;
        EXPECT_EQ(glue().getWindow(), nullptr) << opcode;
        EXPECT_TRUE(platform.windows().empty()) << opcode;
    }
    // A host that ends the whole instance there.
    openEditor();
    host.onCall = [&](const HostRequest& r) -> std::optional<VstIntPtr> {
        if (r.opcode == audioMasterAutomate) host.close();
        return std::nullopt;
    };
    native().press(ui::MouseButton::Left, clientX(ui::AreaId::DlQ1, 35),
                   clientY(ui::AreaId::DlQ1, 21));
    host.onCall = nullptr;
    effect = nullptr;
    EXPECT_EQ(host.effect(), nullptr) << "the instance is gone";
    EXPECT_TRUE(platform.windows().empty());
}

// The host's scale as hosts send it: effVendorSpecific 'PreS' 'AeCs' with
// the factor in opt; the answer says whether the editor took it.
VstIntPtr sendScale(vhost::Host& h, float factor, VstInt32 index = fourCharCode('P', 'r', 'e', 'S'),
                    VstIntPtr value = fourCharCode('A', 'e', 'C', 's')) {
    return h.dispatch(effVendorSpecific, index, value, nullptr, factor);
}
ERect hostRect(vhost::Host& h) {
    ERect* r = nullptr;
    EXPECT_EQ(h.dispatch(effEditGetRect, 0, 0, &r), 1);
    return r ? *r : ERect{-1, -1, -1, -1};
}

TEST_F(Glue, TheHostsScaleSizesTheEditorFromItsNextOpen) {
    // Other requests and codes are not the scale.
    EXPECT_EQ(
        sendScale(host, 2.0f, fourCharCode('A', 'e', 'C', 's'), fourCharCode('P', 'r', 'e', 'S')),
        0);
    EXPECT_EQ(sendScale(host, 2.0f, fourCharCode('P', 'r', 'e', 'S'), 0), 0);
    EXPECT_EQ(sendScale(host, std::nanf("")), 0);
    expectRect(hostRect(host), 518, 665);

    // Taken before the editor opens: the size is the scaled window's at once.
    EXPECT_EQ(sendScale(host, 2.0f), 1);
    expectRect(hostRect(host), 316, 780);
    openEditor();
    EXPECT_EQ(native().scale(), ui::Scale::nearest(2));
    EXPECT_EQ(native().placement().width(), 780);
    EXPECT_EQ(native().placement().height(), 316);
    expectRect(hostRect(host), 316, 780);

    // While it is open a new scale waits for the next open.
    EXPECT_EQ(sendScale(host, 3.0f), 1);
    expectRect(hostRect(host), 316, 780);
    EXPECT_EQ(native().composite().width, 780);
    glue().close();
    expectRect(hostRect(host), 474, 1170);
    openEditor();
    expectRect(hostRect(host), 474, 1170);
    EXPECT_EQ(native().composite().height, 474);
    glue().close();

    // Other factors go to the nearest of 1, 1.5, 2 and 3, a tie upwards;
    // below 1 is 1, where the answers are the ones hosts always had.
    const std::pair<float, int> rounded[] = {{1.25f, 585}, {1.74f, 585}, {1.75f, 780},
                                             {2.49f, 780}, {2.5f, 1170}, {8.0f, 1170},
                                             {1.1f, 390},  {0.5f, 390},  {-2.0f, 390}};
    for (const auto& [factor, width] : rounded) {
        EXPECT_EQ(sendScale(host, factor), 1) << factor;
        openEditor();
        EXPECT_EQ(native().placement().width(), width) << factor;
        glue().close();
    }
    expectRect(hostRect(host), 518, 665);
}

TEST_F(Glue, WithoutTheHostsScaleTheWindowTakesTheSystemsAndTheHostsComesFirst) {
    platform.systemScale = ui::Scale::nearest(1.5);
    // Nothing is known of the system before a window exists.
    expectRect(rectOf(glue()), 518, 665);
    openEditor();
    EXPECT_EQ(native().placement().width(), 585);
    expectRect(rectOf(glue()), 237, 585);
    glue().close();
    expectRect(rectOf(glue()), 237, 585);
    EXPECT_EQ(sendScale(host, 1.0f), 1);
    expectRect(rectOf(glue()), 518, 665);
    openEditor();
    EXPECT_EQ(native().placement().width(), 390);
    glue().close();
}

// Device pixels from the mouse mean what a scale's share of them means at
// 1x: a drag of N pixels is one of N / scale (rounded down), and the right
// button's fine step is the same 0.001 per tick.
TEST_F(Glue, AtAScaleTheMouseMeansWhatItMeansAt1x) {
    for (const float factor : {1.5f, 2.0f, 3.0f}) {
        SCOPED_TRACE("at " + std::to_string(factor));
        ASSERT_EQ(sendScale(host, factor), 1);
        openEditor();
        const ui::Scale s = native().scale();
        host.clearCalls();
        // SLFilter1's value range starts at layout column 10 of the area.
        const int x0 = s.edge(24 + 10), y = s.edge(40 + 8);
        native().press(ui::MouseButton::Left, x0, y);
        EXPECT_EQ(window().fvar[0], 0.0f);
        for (const int n : {1, 2, 3, 44, 45, 46, 149, 150, 151, 400}) {
            native().move(x0 + n, y);
            const int pixels = std::min(static_cast<int>(n / s.factor()), 100);
            EXPECT_EQ(window().fvar[0], static_cast<float>(pixels / 100.0L)) << n;
        }
        native().release(ui::MouseButton::Left, x0 + 400, y);
        EXPECT_EQ(effect->getParameter(0), 1.0f);
        // The right button on DlQ1's upper half: one step up per Timer1 tick.
        const float before = effect->getParameter(3);
        native().press(ui::MouseButton::Right, s.edge(64 + 21), s.edge(96 + 8));
        native().advance(1000);
        native().release(ui::MouseButton::Right, s.edge(64 + 21), s.edge(96 + 8));
        EXPECT_EQ(effect->getParameter(3),
                  static_cast<float>(static_cast<float>(before + 0.001L) + 0.001L));
        glue().close();
    }
}

TEST(HeadlessBackEnd, AWindowOutlivingItsPlatformForgetsIt) {
    auto platform = std::make_unique<ui::HeadlessPlatform>();
    platform->decimalSeparator = ",";
    auto w = TPluginEditorWindow::create(*platform, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->native().decimalSeparator(), ",");
    platform.reset();
    EXPECT_EQ(w->native().decimalSeparator(), ".");
    w->fvar[0] = 0.6f;
    w->SetLabel(0); // still paints
    w.reset();
}

TEST(HeadlessBackEnd, WindowsComeAndGoOnTwoThreadsAtOnce) {
    // Two instances opening and closing editors on threads of their own.
    ui::HeadlessPlatform platform;
    constexpr int kCycles = 100;
    auto cycle = [&] {
        for (int i = 0; i < kCycles; ++i) {
            auto w = TPluginEditorWindow::create(platform, nullptr);
            ASSERT_NE(w, nullptr);
            EXPECT_FALSE(platform.windows().empty());
        }
    };
    std::thread a(cycle), b(cycle);
    a.join();
    b.join();
    EXPECT_TRUE(platform.windows().empty());
    EXPECT_EQ(platform.windowsMade(), 2 * kCycles);
}

} // namespace
} // namespace edtest
