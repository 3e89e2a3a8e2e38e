#include "EditorFixture.h"

namespace edtest {

std::vector<HostRequest>& hostRequests() {
    static std::vector<HostRequest> requests;
    return requests;
}

std::function<void(AEffect*, VstInt32)>& hostReaction() {
    static std::function<void(AEffect*, VstInt32)> reaction;
    return reaction;
}

VstIntPtr VSTCALLBACK recordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr,
                                    void*, float opt) {
    hostRequests().push_back({effect, opcode, index, opt});
    if (hostReaction()) hostReaction()(effect, opcode);
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterGetSampleRate:
        return 44100;
    default:
        return 0;
    }
}

std::vector<HostRequest> automations(AEffect* effect) {
    std::vector<HostRequest> out;
    for (const auto& r : hostRequests())
        if (r.effect == effect && r.opcode == audioMasterAutomate) out.push_back(r);
    return out;
}

void EditorTest::SetUp() {
    hostRequests().clear();
    hostReaction() = nullptr;
    ui::setEditorPlatform(&platform);
    effect = std::make_unique<APlugin>(recordingHost, &createPluginEditor);
}

void EditorTest::TearDown() {
    hostReaction() = nullptr;
    effect.reset();
    ui::setEditorPlatform(nullptr);
    EXPECT_TRUE(platform.windows().empty()) << "a window outlived its effect";
}

void EditorTest::openEditor() {
    ASSERT_EQ(glue().open(&fakeParent), 1);
    ASSERT_NE(glue().getWindow(), nullptr);
    ASSERT_NE(platform.lastWindow(), nullptr);
}

std::vector<int> markerColumns(const ui::Image& px) {
    std::vector<int> cols;
    for (int x = 0; x < px.width; ++x)
        if (px.at(x, 0) == ui::kMarkerColour) cols.push_back(x);
    return cols;
}

Point dotCentre(const ui::Image& px) {
    double sx = 0, sy = 0;
    int n = 0;
    for (int y = 0; y < px.height; ++y)
        for (int x = 0; x < px.width; ++x)
            if (px.at(x, y) == ui::kDotColour) {
                sx += x;
                sy += y;
                ++n;
            }
    if (n == 0) return {-1, -1};
    return {sx / n, sy / n};
}

} // namespace edtest
