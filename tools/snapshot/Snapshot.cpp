// velmora-snapshot: writes a PNG of the editor window as the headless
// back-end draws it: a factory-fresh effect and its editor in this process,
// hosted by the host library, past the window's first refresh tick.
//
//   velmora-snapshot -o FILE.png [--program N] [--param INDEX=VALUE]... [--sep S]
//                    [--scale F] [--show INDEX] [STEP]...
//
// --program and --param are set before the editor opens; --sep is the user's
// decimal separator; --scale is the scale the host asks of the editor
// (effVendorSpecific 'PreS' 'AeCs' with F), which then draws at 1, 1.5, 2
// or 3 times the size. The steps then act on the open window, in order:
//   press L|M|R X Y      a button press at client position (X, Y), in the
//                        picture's pixels
//   move X Y             a pointer move
//   release L|M|R X Y    a button release
//   program N            effSetProgram through the dispatcher
//   set INDEX VALUE      the host's own setParameter (automation, its controls)
//   wait MS              lets MS milliseconds of the window's timers pass
// --show INDEX last puts control INDEX's read-out on the plate (-1 blanks
// it); without steps it defaults to control 0. Without settings the picture
// is program 0 with the read-out on control 0: the picture in the README.
#include "editor/APluginEditor.h"
#include "editor/platform/headless/HeadlessPlatform.h"
#include "editor/uEditor.h"
#include "plugin/uPlugin.h"
#include "tools/host/VstHost.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

template <typename T> bool parse(std::string_view s, T& out) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

int usage(const std::string& problem) {
    if (!problem.empty()) std::fprintf(stderr, "velmora-snapshot: %s\n", problem.c_str());
    std::fprintf(stderr,
                 "usage: velmora-snapshot -o FILE.png [--program N] [--param INDEX=VALUE]...\n"
                 "       [--sep S] [--scale F] [--show INDEX] [press B X Y | move X Y |\n"
                 "       release B X Y | program N | set INDEX VALUE | wait MS]...\n");
    return 2;
}

std::optional<ui::MouseButton> buttonOf(std::string_view s) {
    if (s == "L") return ui::MouseButton::Left;
    if (s == "M") return ui::MouseButton::Middle;
    if (s == "R") return ui::MouseButton::Right;
    return std::nullopt;
}

// The plug-in's entry as it is in the binary, made in this process.
AEffect* VSTCALLBACK snapshotMain(audioMasterCallback audioMaster) {
    return (new APlugin(audioMaster, &createPluginEditor))->getAeffect();
}

struct Step {
    std::string_view what;
    std::vector<int> numbers;
    ui::MouseButton button = ui::MouseButton::Left;
    float value = 0.0f; // set
};

} // namespace

int main(int argc, char** argv) {
    std::string output, separator = ".";
    int program = 0;
    std::optional<int> show;
    std::optional<float> scale;
    std::vector<std::pair<int, float>> params;
    std::vector<Step> steps;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        auto next = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string_view(argv[++i]);
        };
        if (a == "-o" || a == "--program" || a == "--show" || a == "--param" || a == "--sep" ||
            a == "--scale") {
            const auto v = next();
            if (!v) return usage("missing value after " + std::string(a));
            int n = 0;
            if (a == "-o") {
                output = *v;
            } else if (a == "--sep") {
                separator = *v;
            } else if (a == "--scale") {
                float f = 0;
                if (!parse(*v, f) || !(f > 0 && f <= 16)) return usage("--scale takes a factor");
                scale = f;
            } else if (a == "--program") {
                if (!parse(*v, program) || program < 0 || program >= kNumPrograms)
                    return usage("--program takes 0 .. 15");
            } else if (a == "--show") {
                if (!parse(*v, n) || n < -1 || n >= kNumActiveParams)
                    return usage("--show takes -1 (nothing) or 0 .. 7");
                show = n;
            } else {
                const auto eq = v->find('=');
                float value = 0;
                if (eq == std::string_view::npos || !parse(v->substr(0, eq), n) ||
                    !parse(v->substr(eq + 1), value) || n < 0 || n >= kNumParams ||
                    !(value >= 0.0f && value <= 1.0f))
                    return usage("--param takes INDEX=VALUE, 0 .. 119 and 0 .. 1");
                params.emplace_back(n, value);
            }
            continue;
        }
        // A step: its word, then its button and numbers.
        Step s{a, {}};
        if (a == "set") {
            const auto index = next(), value = next();
            int n = 0;
            if (!index || !value || !parse(*index, n) || !parse(*value, s.value) || n < 0 ||
                n >= kNumParams)
                return usage("set takes INDEX VALUE");
            s.numbers.push_back(n);
            steps.push_back(std::move(s));
            continue;
        }
        const bool withButton = a == "press" || a == "release";
        const int count = withButton || a == "move" ? 2 : (a == "program" || a == "wait") ? 1 : 0;
        if (count == 0) return usage("unknown argument " + std::string(a));
        if (withButton) {
            const auto b = next();
            if (!b || !buttonOf(*b)) return usage(std::string(a) + " takes L, M or R first");
            s.button = *buttonOf(*b);
        }
        for (int k = 0; k < count; ++k) {
            const auto v = next();
            int n = 0;
            if (!v || !parse(*v, n)) return usage(std::string(a) + " takes whole numbers");
            s.numbers.push_back(n);
        }
        steps.push_back(std::move(s));
    }
    if (output.empty()) return usage("no output file (-o)");
    if (!show && steps.empty()) show = 0;

    // The headless back-end whatever this build's native one is.
    ui::HeadlessPlatform platform;
    platform.decimalSeparator = separator;
    ui::setEditorPlatform(&platform);
    int status = 0;
    {
        vhost::Host host(&snapshotMain);
        auto* effect = static_cast<APlugin*>(AudioEffect::fromAeffect(host.open()));
        effect->setProgram(program);
        for (const auto& [index, value] : params) effect->setParameter(index, value);
        // The host's scale goes to the effect, which answers 1 when its
        // editor took it.
        const bool scaleTaken =
            !scale || host.dispatch(effVendorSpecific, fourCharCode('P', 'r', 'e', 'S'),
                                    fourCharCode('A', 'e', 'C', 's'), nullptr, *scale) == 1;
        int parent = 0; // the headless back-end only keeps the handle
        if (!scaleTaken) {
            std::fprintf(stderr, "velmora-snapshot: the editor did not take the scale\n");
            status = 1;
        } else if (host.dispatch(effEditOpen, 0, 0, &parent) != 1 || !platform.lastWindow()) {
            std::fprintf(stderr, "velmora-snapshot: the editor did not open\n");
            status = 1;
        } else {
            ui::HeadlessWindow& w = *platform.lastWindow();
            // Past the first refresh tick, so that what follows is what stays.
            w.advance(ui::kTimer2Period);
            for (const Step& s : steps) {
                const auto& n = s.numbers;
                if (s.what == "press") w.press(s.button, n[0], n[1]);
                if (s.what == "release") w.release(s.button, n[0], n[1]);
                if (s.what == "move") w.move(n[0], n[1]);
                if (s.what == "program") host.dispatch(effSetProgram, 0, n[0]);
                if (s.what == "set") host.setParameter(n[0], s.value);
                if (s.what == "wait") w.advance(n[0]);
            }
            auto& glue = *static_cast<APluginEditor*>(effect->getEditor());
            if (show) glue.getWindow()->SetLabel(*show);
            if (!w.writePng(output)) {
                std::fprintf(stderr, "velmora-snapshot: cannot write %s\n", output.c_str());
                status = 1;
            }
            host.dispatch(effEditClose);
        }
    }
    ui::setEditorPlatform(nullptr);
    if (status == 0) std::printf("velmora-snapshot: wrote %s\n", output.c_str());
    return status;
}
