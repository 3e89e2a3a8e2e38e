// velmora-snapshot: writes a PNG of the editor window as the headless
// back-end draws it, with the read-out showing one control as it does right
// after that control was changed.
//   velmora-snapshot -o FILE.png [--program N] [--param INDEX=VALUE]... [--show INDEX]
// Without settings it pictures program 0 with the read-out on control 0:
// the picture in the README.
#include "editor/APluginEditor.h"
#include "editor/platform/headless/HeadlessPlatform.h"
#include "editor/uEditor.h"
#include "plugin/uPlugin.h"

#include <charconv>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr VstIntPtr kHostVersion = 2400;
constexpr VstIntPtr kSampleRate = 44100;

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
    case audioMasterVersion:
        return kHostVersion;
    case audioMasterGetSampleRate:
        return kSampleRate;
    default:
        return 0;
    }
}

template <typename T> bool parse(std::string_view s, T& out) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

int usage(const char* problem) {
    if (problem) std::fprintf(stderr, "velmora-snapshot: %s\n", problem);
    std::fprintf(stderr, "usage: velmora-snapshot -o FILE.png [--program N] [--param "
                         "INDEX=VALUE]... [--show INDEX]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string output;
    int program = 0, show = 0;
    std::vector<std::pair<int, float>> params;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (i + 1 >= argc) return usage(("missing value after " + std::string(a)).c_str());
        const std::string_view v = argv[++i];
        if (a == "-o") {
            output = v;
        } else if (a == "--program") {
            if (!parse(v, program) || program < 0 || program >= kNumPrograms)
                return usage("--program takes 0 .. 15");
        } else if (a == "--show") {
            if (!parse(v, show) || show < -1 || show >= kNumActiveParams)
                return usage("--show takes -1 (nothing) or 0 .. 7");
        } else if (a == "--param") {
            const auto eq = v.find('=');
            int index = 0;
            float value = 0;
            if (eq == std::string_view::npos || !parse(v.substr(0, eq), index) ||
                !parse(v.substr(eq + 1), value) || index < 0 || index >= kNumParams ||
                !(value >= 0.0f && value <= 1.0f))
                return usage("--param takes INDEX=VALUE, 0 .. 119 and 0 .. 1");
            params.emplace_back(index, value);
        } else {
            return usage(("unknown argument " + std::string(a)).c_str());
        }
    }
    if (output.empty()) return usage("no output file (-o)");

    // The headless back-end whatever this build's native one is.
    ui::HeadlessPlatform platform;
    ui::setEditorPlatform(&platform);
    int ok = 1;
    {
        auto effect = std::make_unique<APlugin>(host, &createPluginEditor);
        effect->setProgram(program);
        for (const auto& [index, value] : params) effect->setParameter(index, value);
        auto& glue = *static_cast<APluginEditor*>(effect->getEditor());
        int parent = 0; // the headless back-end only keeps the handle
        if (glue.open(&parent) != 1 || !platform.lastWindow()) {
            std::fprintf(stderr, "velmora-snapshot: the editor did not open\n");
            ok = 0;
        } else {
            // Past the first refresh tick, so that what follows is what stays.
            platform.lastWindow()->advance(ui::kTimer2Period);
            glue.getWindow()->SetLabel(show);
            if (!platform.lastWindow()->writePng(output)) {
                std::fprintf(stderr, "velmora-snapshot: cannot write %s\n", output.c_str());
                ok = 0;
            }
            glue.close();
        }
    }
    ui::setEditorPlatform(nullptr);
    if (!ok) return 1;
    std::printf("velmora-snapshot: wrote %s\n", output.c_str());
    return 0;
}
