// The renderers' command line: every option, its checks, and the help text.
#include "plugin/params/Parameters.h"
#include "plugin/params/Readout.h"
#include "tools/render/RenderCore.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

namespace render {

namespace {

enum class Opt {
    Output,
    Input,
    Key,
    Audio,
    Plugin,
    WriteInput,
    Rate,
    Block,
    Bits,
    Program,
    Param,
    Seconds,
    Force,
    List,
    Help,
    Version
};

struct OptionInfo {
    std::string_view name;
    std::string_view alias; // empty: none
    Opt id;
    bool takesValue;
    std::string_view example; // shown when the value is missing
};

constexpr std::array<OptionInfo, 16> kOptions{{
    {"--output", "-o", Opt::Output, true, "-o out.wav"},
    {"--input", "-i", Opt::Input, true, "-i song.wav"},
    {"--key", "", Opt::Key, true, "--key drums.wav"},
    {"--audio", "", Opt::Audio, true, "--audio pad.wav"},
    {"--plugin", "", Opt::Plugin, true, "--plugin ~/.vst/velmora.so"},
    {"--write-input", "", Opt::WriteInput, true, "--write-input in.wav"},
    {"--rate", "", Opt::Rate, true, "--rate 48000"},
    {"--block", "", Opt::Block, true, "--block 512"},
    {"--bits", "", Opt::Bits, true, "--bits 24"},
    {"--program", "", Opt::Program, true, "--program 3"},
    {"--param", "", Opt::Param, true, "--param 2=0.5"},
    {"--seconds", "", Opt::Seconds, true, "--seconds 20"},
    {"--force", "", Opt::Force, false, ""},
    {"--list", "", Opt::List, false, ""},
    {"--help", "-h", Opt::Help, false, ""},
    {"--version", "", Opt::Version, false, ""},
}};

const OptionInfo* findOption(std::string_view a) {
    for (const auto& o : kOptions)
        if (a == o.name || (!o.alias.empty() && a == o.alias)) return &o;
    return nullptr;
}

// Whole text as a number, in the C locale whatever the user's is.
bool wholeInt(std::string_view s, long long& out) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool wholeNumber(std::string_view s, double& out) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(out);
}

std::string quoted(std::string_view s) {
    std::string out(1, '"');
    out.append(s);
    out += '"';
    return out;
}

Mistake mistake(std::string argument, std::string problem, std::string hint) {
    return {std::move(argument), std::move(problem), std::move(hint), kExitUsage};
}

constexpr std::string_view kValueHint =
    "a parameter value is a number from 0 to 1, as the host sends it, e.g. --param 2=0.5";

bool parseParam(const std::string& arg, std::string_view text, Options& o, Mistake& m) {
    const auto eq = text.find('=');
    if (eq == std::string_view::npos) {
        m = mistake(arg, quoted(text) + " is not INDEX=VALUE", std::string(kValueHint));
        return false;
    }
    long long index = 0;
    double value = 0;
    if (!wholeInt(text.substr(0, eq), index)) {
        m = mistake(arg, quoted(text.substr(0, eq)) + " is not a parameter index",
                    "parameters are numbered from 0; --help names the ones that act");
        return false;
    }
    if (!wholeNumber(text.substr(eq + 1), value)) {
        m = mistake(arg, quoted(text.substr(eq + 1)) + " is not a number", std::string(kValueHint));
        return false;
    }
    if (!(value >= 0.0 && value <= 1.0)) {
        m = mistake(arg, std::string(text.substr(eq + 1)) + " is outside 0 .. 1",
                    std::string(kValueHint));
        return false;
    }
    // The index is checked against the plug-in's count once it is loaded.
    const int i = index < -1 ? -1 : index > 1000000 ? 1000000 : static_cast<int>(index);
    o.params.push_back({i, static_cast<float>(value), arg});
    o.settingsGiven = true;
    return true;
}

bool parseValue(const OptionInfo& option, const std::string& arg, const std::string& v, Options& o,
                Mistake& m) {
    long long n = 0;
    double x = 0;
    switch (option.id) {
    case Opt::Output:
        o.output = v;
        return true;
    case Opt::Input:
        o.input = v;
        return true;
    case Opt::Key:
        o.key = v;
        return true;
    case Opt::Audio:
        o.audio = v;
        return true;
    case Opt::Plugin:
        o.plugin = v;
        return true;
    case Opt::WriteInput:
        o.writeInput = v;
        return true;
    case Opt::Rate:
        if (!wholeInt(v, n)) {
            m = mistake(arg, quoted(v) + " is not a whole number of hertz",
                        "give the sample rate in hertz, e.g. --rate 48000");
            return false;
        }
        if (n < kMinRate || n > kMaxRate) {
            m = mistake(arg,
                        v + " Hz is outside " + std::to_string(kMinRate) + " .. " +
                            std::to_string(kMaxRate) + " Hz",
                        "give the sample rate in hertz, e.g. --rate 48000");
            return false;
        }
        o.rate = static_cast<int>(n);
        return true;
    case Opt::Block:
        if (!wholeInt(v, n) || n < 1 || n > kMaxBlock) {
            m = mistake(arg,
                        quoted(v) + " is not a block size of 1 .. " + std::to_string(kMaxBlock) +
                            " frames",
                        "the frames per processing call, as a host would use; e.g. --block 512");
            return false;
        }
        o.block = static_cast<int>(n);
        return true;
    case Opt::Bits:
        if (!wholeInt(v, n) || (n != 16 && n != 24 && n != 32)) {
            m = mistake(arg, quoted(v) + " is not a sample format the renderer writes",
                        "--bits 16 or 24 writes integer PCM (without dither), --bits 32 (the "
                        "default) 32-bit float");
            return false;
        }
        o.bits = static_cast<int>(n);
        o.bitsGiven = true;
        return true;
    case Opt::Program:
        if (!wholeInt(v, n)) {
            m = mistake(arg, quoted(v) + " is not a program number",
                        "programs are numbered from 0; --list shows their names");
            return false;
        }
        // Checked against the plug-in's count once it is loaded.
        o.program = n < -1 ? -1 : n > 1000000 ? 1000000 : static_cast<int>(n);
        o.programArg = arg;
        o.settingsGiven = true;
        return true;
    case Opt::Param:
        return parseParam(arg, v, o, m);
    case Opt::Seconds:
        if (!wholeNumber(v, x) || !(x > 0.0) || x > kMaxSeconds) {
            m = mistake(arg, quoted(v) + " is not a demo length of more than 0 and at most 3600 s",
                        "the length of the built-in demo in seconds, e.g. --seconds 20");
            return false;
        }
        o.seconds = x;
        o.secondsGiven = true;
        return true;
    default:
        return true;
    }
}

bool checkCombination(const Options& o, Mistake& m) {
    if (o.help || o.version) return true;
    const bool pair = !o.key.empty() || !o.audio.empty();
    const bool anyInput = !o.input.empty() || pair;
    if (!o.input.empty() && pair) {
        m = mistake(o.key.empty() ? "--audio " + o.audio : "--key " + o.key,
                    "cannot be combined with -i " + o.input,
                    "use -i for one stereo file (left the key, right the audio), or --key and "
                    "--audio for two files");
        return false;
    }
    if (o.key.empty() != o.audio.empty()) {
        m = o.key.empty() ? mistake("--audio " + o.audio, "has no key beside it",
                                    "add --key FILE, the signal whose level sweeps the filter")
                          : mistake("--key " + o.key, "has no audio beside it",
                                    "add --audio FILE, the signal that the filter shapes");
        return false;
    }
    if (o.secondsGiven && anyInput) {
        m = mistake("--seconds", "sets the length of the built-in demo; an input file has its own",
                    "leave out --seconds, or the input file to render the demo");
        return false;
    }
    if (o.list) {
        if (!o.output.empty() || anyInput) {
            m = mistake("--list", "prints the parameters and programs and renders nothing",
                        "leave out -o, -i, --key and --audio, or --list");
            return false;
        }
        return true;
    }
    if (o.output.empty()) {
        m = mistake("", "no output file given", "add -o FILE.wav, the file to render into");
        return false;
    }
    return true;
}

} // namespace

bool parseArgs(int argc, char** argv, Options& o, Mistake& m) {
    bool pluginGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (!a.empty() && a[0] != '-') {
            // One bare argument: the plug-in binary.
            if (pluginGiven) {
                m = mistake(a, "is a second plug-in binary (the first was " + o.plugin + ")",
                            "give one plug-in; input files go after -i, or --key and --audio");
                return false;
            }
            o.plugin = a;
            pluginGiven = true;
            continue;
        }
        const OptionInfo* option = findOption(a);
        if (!option) {
            m = mistake(a, "is not an option", "--help lists the options");
            return false;
        }
        if (!option->takesValue) {
            switch (option->id) {
            case Opt::Force:
                o.force = true;
                break;
            case Opt::List:
                o.list = true;
                break;
            case Opt::Help:
                o.help = true;
                return true;
            case Opt::Version:
                o.version = true;
                return true;
            default:
                break;
            }
            continue;
        }
        if (i + 1 >= argc) {
            m = mistake(a, "needs a value", "for example " + std::string(option->example));
            return false;
        }
        const std::string v = argv[++i];
        if (option->id == Opt::Plugin) pluginGiven = true;
        if (!parseValue(*option, a + " " + v, v, o, m)) return false;
    }
    return checkCombination(o, m);
}

namespace {

// What the read-out shows over 0 .. 1: the list of its names for a choice,
// else the texts at both ends.
std::string readoutRange(int index) {
    std::vector<std::string> seen;
    constexpr int kSteps = 1000;
    for (int s = 0; s <= kSteps; ++s) {
        const std::string t = readout::valueText(index, static_cast<float>(s) / kSteps, ".");
        if (seen.empty() || seen.back() != t) seen.push_back(t);
        if (seen.size() > 5) break;
    }
    if (seen.size() > 5) return seen.front() + " .. " + readout::valueText(index, 1.0f, ".");
    std::string out;
    for (const auto& t : seen) out += (out.empty() ? "" : ", ") + t;
    return out;
}

} // namespace

std::string usage(const FileFormat& f) {
    const std::string t = f.tool;
    std::string s =
        "usage: " + t + " [PLUGIN] -o OUTPUT [-i INPUT | --key FILE --audio FILE] [OPTION]...\n" +
        "       " + t + " [PLUGIN] --list [--program N] [--param INDEX=VALUE]...\n" +
        "Renders sound through the plug-in's processReplacing, as a host does, block by block.\n"
        "PLUGIN (or --plugin FILE) defaults to the plug-in beside this tool, else the one it\n"
        "was built with.\n"
        "\n"
        "Input; without one, the built-in demo: drum-like pulses as the key, a chord as the audio\n"
        "  -i, --input FILE     one stereo file: left the key, right the audio (mono: both)\n"
        "  --key FILE           the key (whose level sweeps the filter) and the audio (which\n"
        "  --audio FILE         the filter shapes) from two files, mono or stereo (mixed to\n"
        "                       mono), at one sample rate; the shorter is padded with silence.\n"
        "                       The key goes to the input that Swap Stereo makes the key.\n"
        "  --seconds S          length of the demo, up to 3600 (default 8)\n"
        "Output\n"
        "  -o, --output FILE    the rendered stereo file; not an input file, unless\n"
        "  --force              is given: then the input is read whole and replaced\n" +
        (f.integerBits ? "  --bits 16|24|32      16- or 24-bit integer PCM (no dither), or 32-bit "
                         "float (default)\n"
                       : "") +
        "Processing\n"
        "  --rate HZ            sample rate, " +
        std::to_string(kMinRate) + " .. " + std::to_string(kMaxRate) +
        (f.keepsRate ? " (default: the input's, else 44100);\n"
                       "                       the input is taken at this rate, not resampled\n"
                     : " (default 44100)\n") +
        "  --block FRAMES       frames per processReplacing call, 1 .. " +
        std::to_string(kMaxBlock) +
        " (default 512)\n"
        "  --program N          program selected first, 0 .. 15 (default 0)\n"
        "  --param INDEX=VALUE  then parameter INDEX (0 .. 119) set to VALUE (0 .. 1); repeatable\n"
        "  --list               print the parameters, their read-out texts and the programs\n"
        "  --write-input FILE   also write the plug-in's input signal\n"
        "  --version, --help\n"
        "\n"
        "The parameters that act, by the names of the editor's read-out (--list shows the\n"
        "names hosts see), and what the read-out shows for values 0 .. 1:\n";
    for (int i = 0; i < kNumActiveParams; ++i) {
        const std::string name(readout::name(i));
        s += "  " + std::string(i < 10 ? " " : "") + std::to_string(i) + "  " + name +
             std::string(name.size() < 22 ? 22 - name.size() : 1, ' ') + readoutRange(i) + "\n";
    }
    s += "Parameters 8 .. 119 are stored with the program and do nothing. The effect works\n"
         "reversed (the right input is the key) from Swap Stereo 0.5 on.\n"
         "Unless --program or --param is given, the demo moves program 0's sweep to\n"
         "120 Hz .. 5.4 kHz (--param 0=0.3 --param 1=0.85).\n" +
         std::string(f.files) +
         "\n"
         "Exit status: 0 done, 1 a file or the plug-in failed, 2 a mistake on the command line.\n";
    return s;
}

} // namespace render
