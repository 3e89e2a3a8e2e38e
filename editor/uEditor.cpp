#include "editor/uEditor.h"

#include "editor/EditedEffect.h"
#include "plugin/dsp/Numeric.h"
#include "plugin/params/Readout.h"

#include <algorithm>
#include <array>
#include <cmath>

// The window computes in extended precision, as the read-out does.
using dsp::limit;
using dsp::roundDownExtended;

namespace {

constexpr int kSliderMargin = 10;        // the value range starts 10 pixels into the slider
constexpr int kSliderTravel = 100;       // pixels for 0.0 .. 1.0
constexpr int kSliderStepThreshold = 60; // value pixel; not the middle (50)
constexpr int kDialCentre = 21;          // for the mouse
constexpr int kDialDeadZone = 50;        // squared pixels around the centre
constexpr int kDotRadius = 15;           // path of the dot around (20, 20)
constexpr long double kFullTurn = 6.28318L;
constexpr float kFineStep = 0.001f;

constexpr ui::Rgb kReadoutTextColour = ui::kBlack;
constexpr int kReadoutPoints = 8;
constexpr std::string_view kReadoutFont = "Arial";

} // namespace

TPluginEditorWindow::TPluginEditorWindow(TWindowValues* shared)
    : ownValues(shared ? nullptr : std::make_unique<TWindowValues>()),
      values(shared ? *shared : *ownValues), fvar(values.fvar) {
    for (int i = 0; i < kWindowValues; ++i) fvar[i] = 0.0f;
    values.refreshRequested = false;
}

TPluginEditorWindow::~TPluginEditorWindow() = default;

std::unique_ptr<TPluginEditorWindow> TPluginEditorWindow::create(ui::Platform& platform,
                                                                 void* parent,
                                                                 TWindowValues* values,
                                                                 std::optional<ui::Scale> scale) {
    std::unique_ptr<TPluginEditorWindow> w(new TPluginEditorWindow(values));
    w->window = platform.createChildWindow(parent, *w, scale);
    if (!w->window) return nullptr;
    const ui::Artwork& art = ui::artwork(w->window->scale());
    w->IlBar = &art.bar;
    w->ilDial = &art.knob;
    w->iPrintOut = &art.plate;
    w->FormCreate();
    w->window->startTimer(w->Timer1.id, w->Timer1.Interval);
    w->window->startTimer(w->Timer2.id, w->Timer2.Interval);
    return w;
}

const TPluginEditorWindow::Area& TPluginEditorWindow::areaOf(ui::AreaId id) const {
    static constexpr std::array<const Area TPluginEditorWindow::*, ui::kAreaCount> members{
        &TPluginEditorWindow::Image1,    &TPluginEditorWindow::SLFilter1,
        &TPluginEditorWindow::SlFilter2, &TPluginEditorWindow::DlFType1,
        &TPluginEditorWindow::DlQ1,      &TPluginEditorWindow::DlSmooth2,
        &TPluginEditorWindow::DlSign12,  &TPluginEditorWindow::DlSmooth1,
        &TPluginEditorWindow::PrintOut,  &TPluginEditorWindow::DlBoost,
    };
    return this->*members[static_cast<std::size_t>(id)];
}

void TPluginEditorWindow::FormCreate() {
    stepDelta = 0.0f;
    selectedIndex = 0;
    window->setDoubleBuffered(true);
    const ui::Scale scale = window->scale();
    window->setBounds(0, 0, scale.edge(ui::kClientWidth), scale.edge(ui::kClientHeight));
    // The background picture belongs to the window description: Image1
    // shows it from creation on and nothing paints over it later.
    window->surface(Image1.id).drawImage(ui::artwork(scale).background, 0, 0);
    SetAll();
}

// ---- painting -------------------------------------------------------------

void TPluginEditorWindow::Clearscreen(const Area& area, ui::Rgb colour) {
    ui::Surface& s = window->surface(area.id);
    s.setBrushColor(colour);
    s.setPenColor(colour);
    s.fillRect({0, 0, area.Bounds().width(), area.Bounds().height()});
}

void TPluginEditorWindow::DrawSlider(const Area& area, int index) {
    const float v = fvar[index];
    painted[index] = v;
    const int a = roundDownExtended(static_cast<float>(100.0L * v + kSliderMargin));
    ui::Surface& s = window->surface(area.id);
    s.drawImage(*IlBar, 0, 0);
    s.setBrushColor(ui::kMarkerColour);
    s.fillRect({a - 3, 0, a + 3, 6});
}

void TPluginEditorWindow::DrawDial(const Area& area, int index, ui::Rgb background) {
    const float v = fvar[index];
    painted[index] = v;
    const float t = static_cast<float>(kFullTurn * v);
    const long double c = std::cos(static_cast<long double>(t));
    const long double sn = std::sin(static_cast<long double>(t));
    const int x1 = roundDownExtended(static_cast<float>(kDotRadius * c + 24));
    const int y1 = roundDownExtended(static_cast<float>(kDotRadius * sn + 24));
    const int x2 = roundDownExtended(static_cast<float>(kDotRadius * c + 16));
    const int y2 = roundDownExtended(static_cast<float>(kDotRadius * sn + 16));
    Clearscreen(area, background);
    ui::Surface& s = window->surface(area.id);
    s.drawImage(*ilDial, 0, 0);
    s.setBrushColor(ui::kDotColour);
    s.setPenColor(ui::kBlack);
    s.ellipse({std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)});
}

void TPluginEditorWindow::SetControl(int index) {
    if (index == -1) {
        for (int i = 0; i < ui::kControlCount; ++i) SetControl(i);
        return;
    }
    const ui::AreaDesc* control = ui::controlOf(index);
    if (!control) return;
    const Area& a = areaOf(control->id);
    if (control->kind == ui::AreaKind::Slider)
        DrawSlider(a, index);
    else
        DrawDial(a, index, ui::kWindowColour);
}

void TPluginEditorWindow::SetAll() {
    SetControl(-1);
    SetLabel(-1);
}

// ---- read-out -------------------------------------------------------------

std::string TPluginEditorWindow::FilterStr(int index) {
    return readout::frequencyText(fvar[index], window->decimalSeparator());
}

std::string TPluginEditorWindow::PerStr(int index) {
    return readout::percentText(fvar[index], window->decimalSeparator());
}

void TPluginEditorWindow::SetLabel(int index) {
    if (index == -1) {
        PrintLabels("", "");
        return;
    }
    if (!readout::shows(index)) return;
    PrintLabels(readout::name(index),
                readout::valueText(index, fvar[index], window->decimalSeparator()));
}

void TPluginEditorWindow::PrintLabels(std::string_view name, std::string_view value) {
    ui::Surface& s = window->surface(PrintOut.id);
    s.drawImage(*iPrintOut, 0, 0);
    s.setTextTransparent();
    s.setFont(kReadoutFont, kReadoutPoints, kReadoutTextColour);
    s.textOut(10, -1, name);
    s.textOut(10, 12, value);
}

// ---- mouse ----------------------------------------------------------------

int TPluginEditorWindow::controlIndex(const Area& sender) {
    const ui::AreaDesc& a = ui::area(sender.id);
    return a.mouse ? a.param : -1;
}

void TPluginEditorWindow::SetControlSelect(const Area& sender, ui::MouseButton button, TShiftState,
                                           int x, int y) {
    const int index = controlIndex(sender);
    if (index < 0) return;
    if (ui::area(sender.id).kind == ui::AreaKind::Slider)
        SetSlider(index, x, button);
    else
        SetDial(index, x, y, button);
}

void TPluginEditorWindow::Mousemove(const Area& sender, TShiftState, int x, int y) {
    const int index = controlIndex(sender);
    if (index < 0) return;
    if (ui::area(sender.id).kind == ui::AreaKind::Slider)
        MoveSlider(index, x);
    else
        MoveDial(index, x, y);
}

void TPluginEditorWindow::MouseDown(const Area& sender, ui::MouseButton, TShiftState, int, int) {
    if (controlIndex(sender) < 0) return;
    endGesture();
}

void TPluginEditorWindow::endGesture() {
    stepDelta = 0.0f;
    dragging = false;
    if (gestureIndex < 0) return;
    const int index = gestureIndex;
    gestureIndex = -1;
    if (plugin) plugin->endEdit(index);
}

bool TPluginEditorWindow::beginGesture(int index) {
    if (!plugin || gestureIndex == index) return true;
    // The host may end the editor, or the instance, when it hears of either.
    const auto alive = lifeToken.watch();
    if (gestureIndex >= 0) {
        const int previous = gestureIndex;
        gestureIndex = -1;
        plugin->endEdit(previous);
        if (alive.expired()) return false;
    }
    gestureIndex = index;
    plugin->beginEdit(index);
    return !alive.expired();
}

namespace {
void adjustModeFrom(ui::MouseButton button, int& adjustMode) {
    if (button == ui::MouseButton::Left) adjustMode = 0;
    if (button == ui::MouseButton::Right) adjustMode = 1;
}
} // namespace

void TPluginEditorWindow::SetSlider(int index, int x, ui::MouseButton button) {
    const int a = std::clamp(x - kSliderMargin, 0, kSliderTravel);
    adjustModeFrom(button, adjustMode);
    if (!beginGesture(index)) return;
    if (adjustMode == 0) {
        dragging = true;
        stepDelta = 0.0f;
        selectedIndex = index;
        fvar[index] = limit(static_cast<float>(a / 100.0L));
        changed(index);
    } else {
        if (a < kSliderStepThreshold) stepDelta = -kFineStep;
        if (a > kSliderStepThreshold) stepDelta = kFineStep;
        selectedIndex = index;
        dragging = true;
    }
}

void TPluginEditorWindow::SetDial(int index, int x, int y, ui::MouseButton button) {
    const long double t = std::atan2(static_cast<long double>(y - kDialCentre),
                                     static_cast<long double>(x - kDialCentre));
    const int d = (x - kDialCentre) * (x - kDialCentre) + (y - kDialCentre) * (y - kDialCentre);
    adjustModeFrom(button, adjustMode);
    if (!beginGesture(index)) return;
    if (adjustMode == 0) {
        dragging = true;
        stepDelta = 0.0f;
        selectedIndex = index;
        float v = static_cast<float>(t / kFullTurn);
        if (v < 0) v = static_cast<float>(v + 1.0L);
        if (d < kDialDeadZone) v = 0.0f;
        fvar[index] = v;
        changed(index);
    } else {
        stepDelta = (y <= kDialCentre) ? kFineStep : -kFineStep;
        selectedIndex = index;
        dragging = true;
    }
}

void TPluginEditorWindow::MoveSlider(int index, int x) {
    const int a = std::clamp(x - kSliderMargin, 0, kSliderTravel);
    if (!dragging || adjustMode != 0) return;
    // A drag with a button that does not hold the pointer may cross onto
    // another control: the host's gesture follows it.
    if (!beginGesture(index)) return;
    fvar[index] = limit(static_cast<float>(a / 100.0L));
    changed(index);
}

void TPluginEditorWindow::MoveDial(int index, int x, int y) {
    if (!dragging || adjustMode != 0) return;
    if (!beginGesture(index)) return;
    stepDelta = 0.0f;
    selectedIndex = index;
    const long double t = std::atan2(static_cast<long double>(y - kDialCentre),
                                     static_cast<long double>(x - kDialCentre));
    float v = static_cast<float>(t / kFullTurn);
    if (v < 0) v = static_cast<float>(v + 1.0L);
    fvar[index] = v;
    changed(index);
}

void TPluginEditorWindow::changed(int index) {
    // Before the glue has set it there is no effect to tell; the window is
    // not shown then either.
    if (plugin) {
        // The host hears of the change in its automate callback, and may
        // close the editor or the whole instance there. Then this window is
        // gone when the call returns, and nothing of it may be touched.
        const auto alive = lifeToken.watch();
        plugin->setParameterAutomated(index, fvar[index]);
        if (alive.expired()) return;
    }
    SetControl(index);
    SetLabel(index);
}

// ---- timers ---------------------------------------------------------------

void TPluginEditorWindow::Timer1Timer() {
    if (stepDelta == 0.0f) return;
    const int i = selectedIndex;
    fvar[i] = limit(static_cast<float>(static_cast<long double>(fvar[i]) + stepDelta));
    changed(i);
}

void TPluginEditorWindow::Timer2Timer() {
    // The glue notes a program load of its effect in the values block; the
    // effect's own request is taken from it here.
    const bool asked = plugin && plugin->takeRefreshRequest();
    if (values.refreshRequested.exchange(false) || asked) {
        SetAll();
    } else {
        // Values the host changed (automation, its own controls): the
        // controls move, the read-out stays with the control last moved here.
        for (int i = 0; i < ui::kControlCount; ++i)
            if (fvar[i] != painted[i]) SetControl(i);
    }
}

// ---- platform events ------------------------------------------------------

void TPluginEditorWindow::areaPress(ui::AreaId id, ui::MouseButton button, int x, int y) {
    SetControlSelect(areaOf(id), button, 0, x, y);
}

void TPluginEditorWindow::areaMove(ui::AreaId id, int x, int y) { Mousemove(areaOf(id), 0, x, y); }

void TPluginEditorWindow::areaRelease(ui::AreaId id, ui::MouseButton button, int x, int y) {
    MouseDown(areaOf(id), button, 0, x, y);
}

void TPluginEditorWindow::releaseElsewhere(ui::MouseButton) {
    // A fine step must not outlive its button: end the gesture wherever the
    // release lands.
    endGesture();
}

void TPluginEditorWindow::timer(ui::TimerId id) {
    if (id == Timer1.id)
        Timer1Timer();
    else
        Timer2Timer();
}
