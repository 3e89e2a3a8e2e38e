// The editor window's one layout table: the child areas by name, their kind,
// parameter and rectangle in stacking order, and the panels, plates and
// captions that the background picture is generated from. All positions are
// client pixels (left and top inclusive); the window is laid out for 96 dpi
// and never rescaled.
#pragma once

#include "plugin/params/Parameters.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace ui {

struct Rgb {
    std::uint8_t r, g, b;
    constexpr bool operator==(const Rgb&) const = default;
};

constexpr Rgb grey(std::uint8_t level) { return {level, level, level}; }

// left, top inclusive; right, bottom exclusive.
struct Rect {
    int left, top, right, bottom;
    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
    constexpr bool contains(int x, int y) const {
        return x >= left && x < right && y >= top && y < bottom;
    }
};

constexpr Rect rectOf(int left, int top, int width, int height) {
    return {left, top, left + width, top + height};
}
// From inclusive coordinate ranges, as the panel layout is given.
constexpr Rect spanOf(int x0, int x1, int y0, int y1) { return {x0, y0, x1 + 1, y1 + 1}; }

inline constexpr int kClientWidth = 390;
inline constexpr int kClientHeight = 158;
inline constexpr Rgb kWindowColour = grey(102);
inline constexpr Rgb kBlack = grey(0);
inline constexpr Rgb kWhite = grey(255);
inline constexpr std::string_view kWindowText = "Harrowby";

enum class AreaKind { Picture, Slider, Dial, ReadOut };

// In stacking order, bottom first: a later area lies over an earlier one.
enum class AreaId {
    Image1,
    SLFilter1,
    SlFilter2,
    DlFType1,
    DlQ1,
    DlSmooth2,
    DlSign12,
    DlSmooth1,
    PrintOut,
    DlBoost,
};
inline constexpr int kAreaCount = 10;

struct AreaDesc {
    AreaId id;
    std::string_view name;
    AreaKind kind;
    int param; // fvar index of the control, -1 for none
    Rect bounds;
    bool mouse; // receives press, move and release
};

inline constexpr std::array<AreaDesc, kAreaCount> kAreas{{
    {AreaId::Image1, "Image1", AreaKind::Picture, -1, rectOf(0, 0, 391, 161), false},
    {AreaId::SLFilter1, "SLFilter1", AreaKind::Slider, 0, rectOf(24, 40, 120, 16), true},
    {AreaId::SlFilter2, "SlFilter2", AreaKind::Slider, 1, rectOf(24, 56, 120, 16), true},
    {AreaId::DlFType1, "DlFType1", AreaKind::Dial, 2, rectOf(24, 96, 41, 41), true},
    {AreaId::DlQ1, "DlQ1", AreaKind::Dial, 3, rectOf(64, 96, 41, 41), true},
    {AreaId::DlSmooth2, "DlSmooth2", AreaKind::Dial, 6, rectOf(168, 96, 41, 41), true},
    {AreaId::DlSign12, "DlSign12", AreaKind::Dial, 7, rectOf(224, 96, 41, 41), true},
    {AreaId::DlSmooth1, "DlSmooth1", AreaKind::Dial, 5, rectOf(168, 40, 41, 41), true},
    {AreaId::PrintOut, "PrintOut", AreaKind::ReadOut, -1, rectOf(232, 32, 129, 25), false},
    {AreaId::DlBoost, "DlBoost", AreaKind::Dial, 4, rectOf(104, 96, 41, 41), true},
}};

constexpr const AreaDesc& area(AreaId id) { return kAreas[static_cast<int>(id)]; }

// The control of a parameter, as the table above pairs them: the area whose
// parameter is `index`, null for an index that no control shows.
constexpr const AreaDesc* controlOf(int index) {
    if (index < 0) return nullptr;
    for (const AreaDesc& a : kAreas)
        if (a.param == index) return &a;
    return nullptr;
}
inline constexpr int kControlCount = kNumActiveParams; // one per parameter that acts

// Every parameter 0 .. kControlCount - 1 has exactly one control.
constexpr bool oneControlEach() {
    for (int i = 0; i < kControlCount; ++i) {
        int n = 0;
        for (const AreaDesc& a : kAreas) n += a.param == i ? 1 : 0;
        if (n != 1) return false;
    }
    for (const AreaDesc& a : kAreas)
        if (a.param >= kControlCount) return false;
    return true;
}
static_assert(oneControlEach());

// Artwork sizes.
inline constexpr int kPictureWidth = 391; // one column and three rows never show
inline constexpr int kPictureHeight = 161;
inline constexpr int kBarWidth = 120;
inline constexpr int kBarHeight = 16;
inline constexpr int kKnobSize = 41;
inline constexpr int kKnobCentre = 20;
inline constexpr int kKnobRadius = 13; // about 27 pixels across
inline constexpr int kPlateWidth = 129;
inline constexpr int kPlateHeight = 25;

// Control painting constants.
inline constexpr Rgb kMarkerColour{250, 150, 0};
inline constexpr Rgb kDotColour = grey(187);

// Background picture: colours and regions.
inline constexpr Rgb kPanelColour = grey(102);
inline constexpr Rgb kReadoutPlateColour = grey(153);
inline constexpr Rgb kLogoPlateColour{153, 0, 0};
inline constexpr Rgb kFrameColour = grey(58);
inline constexpr Rgb kFrameLight = grey(120);
inline constexpr Rgb kFrameDark = grey(22);

inline constexpr Rect kLeftPanel = spanOf(21, 153, 20, 140);
// The right panel is L-shaped around the two plates: its bounding box less
// the corner that holds the read-out plate and the one that holds the logo.
inline constexpr Rect kRightPanelBox = spanOf(159, 369, 20, 140);
inline constexpr Rect kRightPanelCutReadout = spanOf(216, 369, 20, 71);
inline constexpr Rect kRightPanelCutLogo = spanOf(276, 369, 92, 140);
inline constexpr Rect kReadoutPlate = spanOf(221, 369, 19, 67);
inline constexpr Rect kLogoPlate = spanOf(282, 368, 98, 140);

struct Caption {
    std::string_view text;
    int centreX; // captions are centred on this column
    int top;
    int scale; // pixel size of one font dot
    Rgb colour;
};

inline constexpr std::array<Caption, 9> kCaptions{{
    {"Low/Hi Filter", 84, 26, 1, kWhite},
    {"Type", 44, 86, 1, kWhite},
    {"Q", 84, 86, 1, kWhite},
    {"Boost", 124, 86, 1, kWhite},
    {"Att", 188, 30, 1, kWhite},
    {"Rel", 188, 86, 1, kWhite},
    {"Stereo", 244, 86, 1, kWhite},
    {"Velmora", 325, 105, 2, kWhite},
    {"Pemberly", 325, 127, 1, kWhite},
}};

} // namespace ui
