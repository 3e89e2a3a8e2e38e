#include "EditorFixture.h"

namespace edtest {

AEffect* VSTCALLBACK editorMain(audioMasterCallback audioMaster) {
    return (new APlugin(audioMaster, &createPluginEditor))->getAeffect();
}

APlugin* pluginOf(AEffect* effect) {
    return effect ? static_cast<APlugin*>(AudioEffect::fromAeffect(effect)) : nullptr;
}

void EditorTest::SetUp() {
    ui::setEditorPlatform(&platform);
    effect = pluginOf(host.open());
}

void EditorTest::TearDown() {
    host.onCall = nullptr;
    host.close();
    effect = nullptr;
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
