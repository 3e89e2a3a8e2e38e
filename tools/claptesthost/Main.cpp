// velmora-claptesthost: the project's CLAP host, as velmora-validate is its
// VST 2 one. It loads a .clap through its exported entry, as hosts do.
//
//   velmora-claptesthost check PLUGIN.clap --vst VST2-PLUGIN [--seconds S] [--no-editor]
//       every check of what the plug-ins describe, their sound against the
//       VST 2 plug-in's bit for bit, their state, a hostile host's calls, two
//       threads and the editor (which needs a display); a line per check and
//       "N passed, M failed"
//   velmora-claptesthost list PLUGIN.clap
//       the factory's plug-ins, their ports and parameters with their texts
//   velmora-claptesthost render PLUGIN.clap -i IN.raw -o OUT.raw [--plugin ID]
//                        [--set ID=VALUE]... [--block FRAMES] [--rate HZ]
//       runs a file through a plug-in: raw interleaved stereo 32-bit floats
//       (velmora-render-raw's files), the key on the left and the audio on
//       the right; "Velmora" takes the key on its "Key" port. Values are
//       plain (the host's, as list shows them), set before the first frame.
//   velmora-claptesthost gui PLUGIN.clap [--plugin ID] [--scale F] [--process] [--no-timers]
//       (Linux) the editor in a window of this host, driven by commands on
//       standard input (see GuiHost.cpp)
#include "tools/Version.h"
#include "tools/claptesthost/Checks.h"
#include "tools/claptesthost/ClapHost.h"
#if !defined(_WIN32)
#include "tools/claptesthost/GuiHost.h"
#endif

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace claphost;

int usage(const char* problem) {
    if (problem) std::fprintf(stderr, "velmora-claptesthost: %s\n", problem);
    std::fprintf(
        stderr,
        "usage: velmora-claptesthost check PLUGIN.clap --vst VST2-PLUGIN [--seconds S] "
        "[--no-editor]\n"
        "       velmora-claptesthost list PLUGIN.clap\n"
        "       velmora-claptesthost render PLUGIN.clap -i IN.raw -o OUT.raw [--plugin ID]\n"
        "                            [--set ID=VALUE]... [--block FRAMES] [--rate HZ]\n"
        "       velmora-claptesthost gui PLUGIN.clap [--plugin ID] [--scale F] "
        "[--process] [--no-timers]\n");
    return 2;
}

template <typename T> bool parse(std::string_view s, T& out) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

int list(const std::string& path) {
    std::string error;
    auto m = Module::load(path, error);
    if (!m || !m->factory()) {
        std::fprintf(stderr, "velmora-claptesthost: %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    const clap_plugin_factory* f = m->factory();
    for (std::uint32_t i = 0; i < f->get_plugin_count(f); ++i) {
        const clap_plugin_descriptor* d = f->get_plugin_descriptor(f, i);
        std::printf("%s  \"%s\" by %s, version %s\n  %s\n  features:", d->id, d->name, d->vendor,
                    d->version, d->description);
        for (const char* const* x = d->features; x && *x; ++x) std::printf(" %s", *x);
        std::printf("\n");
        Host host;
        Instance in(*m, d->id, host);
        if (!in.plugin) continue;
        for (bool input : {true, false})
            for (std::uint32_t p = 0; in.ports && p < in.ports->count(in.plugin, input); ++p) {
                clap_audio_port_info info{};
                in.ports->get(in.plugin, p, input, &info);
                std::printf("  %s %u: \"%s\", %u channel(s)%s\n", input ? "input" : "output", p,
                            info.name, info.channel_count,
                            info.flags & CLAP_AUDIO_PORT_IS_MAIN ? ", main" : "");
            }
        for (std::uint32_t p = 0; in.params && p < in.params->count(in.plugin); ++p) {
            clap_param_info info{};
            in.params->get_info(in.plugin, p, &info);
            std::printf("  param %u \"%s\": %g .. %g, default %g (\"%s\" .. \"%s\", \"%s\")%s\n",
                        info.id, info.name, info.min_value, info.max_value, info.default_value,
                        in.text(info.id, info.min_value).c_str(),
                        in.text(info.id, info.max_value).c_str(),
                        in.text(info.id, info.default_value).c_str(),
                        info.flags & CLAP_PARAM_IS_STEPPED ? ", stepped" : "");
        }
    }
    return 0;
}

int renderFile(int argc, char** argv) {
    std::string path = argv[2], input, output, id = "com.pemberly.velmora";
    std::vector<ValueAt> values;
    std::uint32_t block = 512;
    int rate = 44100;
    for (int i = 3; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (i + 1 >= argc) return usage("an option without its value");
        const std::string_view v = argv[++i];
        if (a == "-i") {
            input = v;
        } else if (a == "-o") {
            output = v;
        } else if (a == "--plugin") {
            id = v;
        } else if (a == "--block") {
            if (!parse(v, block) || block < 1 || block > 65536) return usage("--block: 1 .. 65536");
        } else if (a == "--rate") {
            if (!parse(v, rate) || rate < 8000 || rate > 384000)
                return usage("--rate: 8000 .. 384000");
        } else if (a == "--set") {
            const auto eq = v.find('=');
            clap_id pid = 0;
            double value = 0;
            if (eq == std::string_view::npos || !parse(v.substr(0, eq), pid) ||
                !parse(v.substr(eq + 1), value))
                return usage("--set ID=VALUE");
            values.push_back({0, pid, value});
        } else {
            return usage("unknown option");
        }
    }
    if (input.empty() || output.empty()) return usage("render needs -i and -o");
    std::FILE* in = std::fopen(input.c_str(), "rb");
    if (!in) {
        std::fprintf(stderr, "velmora-claptesthost: %s cannot be read\n", input.c_str());
        return 1;
    }
    Signal s;
    float frame[2];
    while (std::fread(frame, sizeof frame, 1, in) == 1) {
        s.key.push_back(frame[0]);
        s.audio.push_back(frame[1]);
    }
    std::fclose(in);
    std::string error;
    auto m = Module::load(path, error);
    if (!m) {
        std::fprintf(stderr, "velmora-claptesthost: %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    Host host;
    Instance instance(*m, id, host);
    if (!instance.plugin || !instance.ports || !instance.activate(rate, block)) {
        std::fprintf(stderr, "velmora-claptesthost: no plug-in %s to run\n", id.c_str());
        return 1;
    }
    const KeyRoute route = instance.ports->count(instance.plugin, true) >= 2
                               ? KeyRoute::SideChain
                               : KeyRoute::LeftChannel;
    const std::optional<Stereo> out = render(instance, s, route, {block}, values);
    if (!out) {
        std::fprintf(stderr, "velmora-claptesthost: the plug-in refused to process\n");
        return 1;
    }
    std::FILE* o = std::fopen(output.c_str(), "wb");
    bool ok = o != nullptr;
    for (std::size_t i = 0; ok && i < s.frames(); ++i) {
        const float f[2] = {out->left[i], out->right[i]};
        ok = std::fwrite(f, sizeof f, 1, o) == 1;
    }
    if (o && std::fclose(o) != 0) ok = false;
    if (!ok) {
        std::fprintf(stderr, "velmora-claptesthost: %s could not be written\n", output.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("velmora-claptesthost %s\n", VELMORA_VERSION);
        return 0;
    }
    if (argc < 3) return usage(nullptr);
    const std::string_view command = argv[1];
    if (command == "list") return list(argv[2]);
    if (command == "render") return renderFile(argc, argv);
#if defined(_WIN32)
    if (command == "gui") return usage("gui: on Linux only");
#else
    if (command == "gui") return runGuiHost(argc, argv);
#endif
    if (command != "check") return usage("unknown command");
    CheckOptions o;
    o.clap = argv[2];
    for (int i = 3; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--vst" && i + 1 < argc) {
            o.vst = argv[++i];
        } else if (a == "--seconds" && i + 1 < argc) {
            if (!parse(std::string_view(argv[++i]), o.seconds) ||
                !(o.seconds >= 1.0 && o.seconds <= 60.0))
                return usage("--seconds: 1 .. 60");
        } else if (a == "--no-editor") {
            o.editor = false;
        } else {
            return usage("unknown option");
        }
    }
    if (o.vst.empty()) return usage("check needs --vst");
    return runChecks(o);
}
