// The editor as the headless back-end draws it, for the Linux real-window
// test to compare its screenshots with: opens a factory-fresh effect's
// editor, lets its first refresh tick pass, replays the given steps and
// writes the client area as PNG.
//
//   velmora-editor-snapshot OUT.png [STEP]...
//     sep S                the user's decimal separator (default ".")
//     press L|M|R X Y      a button press at client position (X, Y)
//     move X Y             a pointer move
//     release L|M|R X Y    a button release
//     program N            effSetProgram through the dispatcher
//     wait MS              lets MS milliseconds of timers pass
#include "editor/APluginEditor.h"
#include "editor/platform/headless/HeadlessPlatform.h"
#include "plugin/uPlugin.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterGetSampleRate:
        return 44100;
    default:
        return 0;
    }
}

bool buttonOf(const std::string& s, ui::MouseButton& b) {
    if (s == "L")
        b = ui::MouseButton::Left;
    else if (s == "M")
        b = ui::MouseButton::Middle;
    else if (s == "R")
        b = ui::MouseButton::Right;
    else
        return false;
    return true;
}

int usage() {
    std::fprintf(stderr, "usage: velmora-editor-snapshot OUT.png [sep S | press B X Y | move X Y "
                         "| release B X Y | program N | wait MS]...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    ui::HeadlessPlatform platform;
    ui::setEditorPlatform(&platform);
    auto effect = std::make_unique<APlugin>(host, &createPluginEditor);
    int parent = 0;
    // The separator must be known before the window exists.
    for (int i = 2; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "sep") platform.decimalSeparator = argv[i + 1];
    if (effect->dispatcher(effEditOpen, 0, 0, &parent, 0.0f) != 1 || !platform.lastWindow()) {
        std::fprintf(stderr, "the editor did not open\n");
        return 1;
    }
    ui::HeadlessWindow& w = *platform.lastWindow();
    w.advance(ui::kTimer2Period);
    for (int i = 2; i < argc; ++i) {
        const std::string step = argv[i];
        auto number = [&](int k) { return std::atoi(argv[i + k]); };
        ui::MouseButton b{};
        if (step == "sep" && i + 1 < argc) {
            i += 1;
        } else if ((step == "press" || step == "release") && i + 3 < argc &&
                   buttonOf(argv[i + 1], b)) {
            if (step == "press")
                w.press(b, number(2), number(3));
            else
                w.release(b, number(2), number(3));
            i += 3;
        } else if (step == "move" && i + 2 < argc) {
            w.move(number(1), number(2));
            i += 2;
        } else if (step == "program" && i + 1 < argc) {
            effect->dispatcher(effSetProgram, 0, number(1), nullptr, 0.0f);
            i += 1;
        } else if (step == "wait" && i + 1 < argc) {
            w.advance(number(1));
            i += 1;
        } else {
            return usage();
        }
    }
    if (!w.writePng(argv[1])) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    effect->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    effect.reset();
    ui::setEditorPlatform(nullptr);
    return 0;
}
