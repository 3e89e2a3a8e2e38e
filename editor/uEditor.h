// The editor window: a fixed 390 x 158 skinned panel with two sliders, six
// dials and a two-line read-out, painted and driven through the platform
// interface (Platform.h) so that the same logic runs on every back-end and
// at every scale: it computes in layout pixels, and only the artwork it
// hands its surfaces is the scale's.
#pragma once

#include "editor/Layout.h"
#include "editor/LifeToken.h"
#include "editor/Platform.h"
#include "frame/Relaxed.h"
#include "plugin/params/Parameters.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class EditedEffect;

// The window copies the values that a program change loads.
inline constexpr int kWindowValues = kNumProgramValues;

using TShiftState = unsigned; // modifier keys with a mouse event; the window ignores them

// What the editor glue hands the window from any thread: the values and a
// request to repaint everything. The glue keeps this block for its whole
// life, so an update that races the window's destruction on the
// user-interface thread still writes into live memory.
struct TWindowValues {
    Relaxed<float> fvar[kWindowValues];
    Relaxed<bool> refreshRequested{false};
};

class TPluginEditorWindow final : private ui::WindowListener {
public:
    // One child area of the window, known to the handlers by its name.
    struct Area {
        ui::AreaId id;
        std::string_view Name() const { return ui::area(id).name; }
        const ui::Rect& Bounds() const { return ui::area(id).bounds; }
    };
    struct Timer {
        ui::TimerId id;
        int Interval; // ms
    };

    // A new window as a child of `parent`, already past FormCreate and with
    // both timers running; null when the platform cannot make it. `values`,
    // when given, must outlive the window; it is zeroed first, as a new
    // window's values are. Without it the window keeps a block of its own.
    // It draws at `scale`, else at the one the system asks for there.
    static std::unique_ptr<TPluginEditorWindow>
    create(ui::Platform& platform, void* parent, TWindowValues* values = nullptr,
           std::optional<ui::Scale> scale = std::nullopt);
    ~TPluginEditorWindow();
    TPluginEditorWindow(const TPluginEditorWindow&) = delete;
    TPluginEditorWindow& operator=(const TPluginEditorWindow&) = delete;

    // The images are the artwork at the window's scale, known once the
    // platform has made the native window.
    const Timer Timer1{ui::TimerId::Timer1, ui::kTimer1Period};
    const ui::Image* IlBar = nullptr;
    const Timer Timer2{ui::TimerId::Timer2, ui::kTimer2Period};
    const ui::Image* ilDial = nullptr;
    const ui::Image* iPrintOut = nullptr;
    const Area SLFilter1{ui::AreaId::SLFilter1};
    const Area SlFilter2{ui::AreaId::SlFilter2};
    const Area DlFType1{ui::AreaId::DlFType1};
    const Area DlQ1{ui::AreaId::DlQ1};
    const Area DlSmooth2{ui::AreaId::DlSmooth2};
    const Area DlSign12{ui::AreaId::DlSign12};
    const Area DlSmooth1{ui::AreaId::DlSmooth1};
    const Area PrintOut{ui::AreaId::PrintOut};
    const Area Image1{ui::AreaId::Image1};
    const Area DlBoost{ui::AreaId::DlBoost};

    // The effect, borrowed, as the format's glue presents it; set by the glue.
    EditedEffect* plugin = nullptr;
    int adjustMode = 0;     // 0: left-button drag, 1: right-button fine step
    float stepDelta = 0.0f; // 0, +0.001 or -0.001 per Timer1 tick
    int selectedIndex = 0;  // the parameter that the fine step acts on
private:
    std::unique_ptr<TWindowValues> ownValues; // only when the glue gave none
    TWindowValues& values;

public:
    // Written by the glue's update, possibly from another thread.
    Relaxed<float>* const fvar;
    bool dragging = false;

    // Event handlers.
    void FormCreate();
    void Timer1Timer();
    void Timer2Timer();
    void SetControlSelect(const Area& sender, ui::MouseButton button, TShiftState shift, int x,
                          int y);
    void Mousemove(const Area& sender, TShiftState shift, int x, int y);
    void MouseDown(const Area& sender, ui::MouseButton button, TShiftState shift, int x, int y);

    // Gestures on one control.
    void SetSlider(int index, int x, ui::MouseButton button);
    void SetDial(int index, int x, int y, ui::MouseButton button);
    void MoveSlider(int index, int x);
    void MoveDial(int index, int x, int y);

    // Painting.
    void SetControl(int index);
    void SetAll();
    void Clearscreen(const Area& area, ui::Rgb colour);
    void DrawSlider(const Area& area, int index);
    void DrawDial(const Area& area, int index, ui::Rgb background);

    // The read-out.
    void SetLabel(int index);
    void PrintLabels(std::string_view name, std::string_view value);
    std::string FilterStr(int index);
    std::string PerStr(int index);

    // For the editor glue.
    ui::NativeWindow& native() { return *window; }
    // Asks for a full repaint at the next Timer2 tick. The glue calls it
    // when its effect has just loaded a program, so that this window
    // repaints even when another instance's window consumed the shared flag.
    void requestRefresh() { values.refreshRequested = true; }
    // Ends a mouse gesture in progress as a release would, the host's
    // end-edit request included; the glue calls it before the window is
    // hidden or destroyed. The request may end the window (and the editor):
    // the caller checks lifeWatch().
    void endGesture();
    std::weak_ptr<const void> lifeWatch() const { return lifeToken.watch(); }

    const Area& areaOf(ui::AreaId id) const;

private:
    explicit TPluginEditorWindow(TWindowValues* shared);

    // The parameter of an area's control, as the layout table pairs them;
    // -1 for an area that is no control.
    static int controlIndex(const Area& sender);
    // After fvar[index] has its new value: tell the effect and the host,
    // repaint the control and show it in the read-out.
    void changed(int index);
    // A press starts the host's edit gesture on `index` (after ending one on
    // another parameter); false when the host ended the window on the way.
    bool beginGesture(int index);

    void areaPress(ui::AreaId area, ui::MouseButton button, int x, int y) override;
    void areaMove(ui::AreaId area, int x, int y) override;
    void areaRelease(ui::AreaId area, ui::MouseButton button, int x, int y) override;
    void releaseElsewhere(ui::MouseButton button) override;
    void timer(ui::TimerId id) override;

    std::unique_ptr<ui::NativeWindow> window;
    // The value each control was painted with last, so that Timer2 repaints
    // the controls whose value changed elsewhere (the host, automation) and
    // no other.
    float painted[ui::kControlCount] = {};
    int gestureIndex = -1;   // the parameter of the host's edit gesture; -1: none
    ui::LifeToken lifeToken; // checked by handlers that call out to the host
};
