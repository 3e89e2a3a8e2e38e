// Shared set-up of the editor tests: a real effect whose host callback
// records every request, its editor glue, and the headless back-end in place
// of the native one.
#pragma once

#include "editor/APluginEditor.h"
#include "editor/platform/headless/HeadlessPlatform.h"
#include "editor/uEditor.h"
#include "plugin/uPlugin.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace edtest {

struct HostRequest {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    float opt;
};

// Requests of every effect made by the tests, in arrival order.
std::vector<HostRequest>& hostRequests();
// Called with each request after it is recorded, as a host reacts to it;
// empty by default and reset by every test.
std::function<void(AEffect*, VstInt32 opcode)>& hostReaction();
VstIntPtr VSTCALLBACK recordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                    VstIntPtr value, void* ptr, float opt);
// The audioMasterAutomate requests of one effect, in order.
std::vector<HostRequest> automations(AEffect* effect);

// A parent handle for the headless back-end, which only keeps it.
inline int fakeParent = 0;

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    APluginEditor& glue() { return *static_cast<APluginEditor*>(effect->getEditor()); }
    // Opens the editor and answers its window on both levels.
    void openEditor();
    TPluginEditorWindow& window() { return *glue().getWindow(); }
    ui::HeadlessWindow& native() { return *platform.lastWindow(); }
    const ui::HeadlessSurface& surfaceOf(ui::AreaId id) { return *native().surfaceIfMade(id); }
    // Client position of a point given in an area's coordinates.
    static int clientX(ui::AreaId id, int x) { return ui::area(id).bounds.left + x; }
    static int clientY(ui::AreaId id, int y) { return ui::area(id).bounds.top + y; }

    ui::HeadlessPlatform platform;
    std::unique_ptr<APlugin> effect;
};

// Columns of a slider area whose top row shows the marker colour.
std::vector<int> markerColumns(const ui::Image& sliderPixels);
// Centre of the dial dot (pixels of the dot's fill colour) in area coordinates.
struct Point {
    double x, y;
};
Point dotCentre(const ui::Image& dialPixels);

} // namespace edtest
