// Shared set-up of the editor tests: a real effect with its editor glue,
// hosted by the host library's host (which records every request), and the
// headless back-end in place of the native one.
#pragma once

#include "editor/APluginEditor.h"
#include "editor/platform/headless/HeadlessPlatform.h"
#include "editor/uEditor.h"
#include "plugin/uPlugin.h"
#include "tools/host/VstHost.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace edtest {

using HostRequest = vhost::HostCall;

// The plug-in's entry as it is in the binary, made in this process: the
// effect with the editor library's glue.
AEffect* VSTCALLBACK editorMain(audioMasterCallback audioMaster);
// The effect behind a record that editorMain handed out.
APlugin* pluginOf(AEffect* effect);

// A parent handle for the headless back-end, which only keeps it.
inline int fakeParent = 0;

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The requests the host heard, and its audioMasterAutomate ones.
    std::vector<HostRequest> requests() const { return host.calls(); }
    std::vector<HostRequest> automations() const { return host.callsOf(audioMasterAutomate); }

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
    vhost::Host host{&editorMain};
    APlugin* effect = nullptr; // until the host's effClose
};

// Columns of a slider area whose top row shows the marker colour.
std::vector<int> markerColumns(const ui::Image& sliderPixels);
// Centre of the dial dot (pixels of the dot's fill colour) in area coordinates.
struct Point {
    double x, y;
};
Point dotCentre(const ui::Image& dialPixels);

} // namespace edtest
