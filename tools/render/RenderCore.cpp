#include "tools/render/RenderCore.h"

#include <cstdio>

#include "tools/host/VstHost.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace render {

namespace {

bool parseFloat(const char* s, float& out) {
    char* end = nullptr;
    out = std::strtof(s, &end);
    return end && end != s && *end == '\0';
}

bool parseInt(const char* s, int& out) {
    char* end = nullptr;
    const long v = std::strtol(s, &end, 10);
    out = static_cast<int>(v);
    return end && end != s && *end == '\0';
}

// A small deterministic noise source, the same on every platform.
struct Noise {
    std::uint32_t state = 0x9E3779B9u;
    float next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<std::int32_t>(state)) / 2147483648.0f;
    }
};

} // namespace

std::string usage(const char* tool, const char* formatNote) {
    return std::string("usage: ") + tool +
           " [PLUGIN] -o OUTPUT [-i INPUT] [--rate HZ] [--block FRAMES]\n"
           "       [--program N] [--param INDEX=VALUE]... [--seconds S] [--write-input FILE]\n"
           "Renders a stereo signal through the plug-in's processReplacing. Without an input\n"
           "it renders the built-in demo: drum-like pulses on the left (the key) and a chord\n"
           "on the right (the audio). PLUGIN (or --plugin FILE) defaults to the plug-in built\n"
           "beside this tool. Unless --program or --param is given, the demo moves program 0's\n"
           "sweep to 120 Hz .. 5.4 kHz (--param 0=0.3 --param 1=0.85). " +
           formatNote + "\n";
}

bool parseArgs(int argc, char** argv, Options& o, std::string& error) {
    bool pluginGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        auto value = [&]() -> const char* { return argv[++i]; };
        if (a == "-h" || a == "--help") {
            error = "help";
            return false;
        }
        if (!a.empty() && a[0] != '-') {
            // One bare argument: the plug-in binary.
            if (pluginGiven) {
                error = "more than one plug-in binary given: " + a;
                return false;
            }
            o.plugin = a;
            pluginGiven = true;
            continue;
        }
        if (!hasValue) {
            error = "missing value after " + a;
            return false;
        }
        if (a == "-o" || a == "--output") {
            o.output = value();
        } else if (a == "-i" || a == "--input") {
            o.input = value();
        } else if (a == "--plugin") {
            o.plugin = value();
            pluginGiven = true;
        } else if (a == "--write-input") {
            o.writeInput = value();
        } else if (a == "--rate") {
            if (!parseFloat(value(), o.rate) || !(o.rate > 0.0f)) {
                error = "bad --rate";
                return false;
            }
        } else if (a == "--block") {
            if (!parseInt(value(), o.block) || o.block < 1 || o.block > 65536) {
                error = "bad --block (1 .. 65536)";
                return false;
            }
        } else if (a == "--program") {
            o.settingsGiven = true;
            if (!parseInt(value(), o.program)) {
                error = "bad --program";
                return false;
            }
        } else if (a == "--seconds") {
            float s = 0;
            if (!parseFloat(value(), s) || !(s > 0.0f) || s > 3600.0f) {
                error = "bad --seconds";
                return false;
            }
            o.seconds = s;
        } else if (a == "--param") {
            const std::string p = value();
            const auto eq = p.find('=');
            int index = 0;
            float v = 0;
            if (eq == std::string::npos || !parseInt(p.substr(0, eq).c_str(), index) ||
                !parseFloat(p.substr(eq + 1).c_str(), v)) {
                error = "bad --param (INDEX=VALUE): " + p;
                return false;
            }
            o.params.emplace_back(index, v);
            o.settingsGiven = true;
        } else {
            error = "unknown argument " + a;
            return false;
        }
    }
    if (o.output.empty()) {
        error = "no output file (-o)";
        return false;
    }
    return true;
}

void applyDemoSettings(Options& o) {
    if (o.settingsGiven) return;
    o.program = 0;
    o.params = {{0, 0.3f}, {1, 0.85f}};
}

void makeDemo(float rate, double seconds, std::vector<float>& left, std::vector<float>& right) {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    left.assign(frames, 0.0f);
    right.assign(frames, 0.0f);
    // Key: 120 BPM sixteenths with a kick-like accent on each beat and softer
    // noisy hits between, so the envelope pumps in a groove.
    const double step = rate * 0.125; // frames per sixteenth at 120 BPM
    const float accents[8] = {1.0f, 0.0f, 0.45f, 0.25f, 0.8f, 0.0f, 0.55f, 0.3f};
    Noise noise;
    for (std::size_t i = 0; i < frames; ++i) {
        const auto n = static_cast<std::size_t>(i / step);
        const double t = (i - n * step) / rate; // seconds since the hit
        const float a = accents[n % 8];
        const double body =
            std::sin(2.0 * 3.14159265358979 * (50.0 * t + 60.0 * (1 - std::exp(-t * 30.0)) / 30.0));
        const double decay = std::exp(-t * 14.0);
        left[i] = static_cast<float>(a * decay * (0.7 * body + 0.3 * noise.next()));
    }
    // Audio: a sustained A minor ninth of detuned sawtooth pairs.
    const double notes[5] = {110.0, 130.81, 164.81, 196.0, 246.94};
    double phase[10] = {};
    for (std::size_t i = 0; i < frames; ++i) {
        double sum = 0;
        for (int v = 0; v < 10; ++v) {
            const double f = notes[v / 2] * (v % 2 ? 1.003 : 0.997);
            phase[v] += f / rate;
            phase[v] -= std::floor(phase[v]);
            sum += 2.0 * phase[v] - 1.0;
        }
        right[i] = static_cast<float>(0.06 * sum);
    }
}

bool renderSignal(const Options& o, const std::vector<float>& left, const std::vector<float>& right,
                  std::vector<float>& outLeft, std::vector<float>& outRight, std::string& error) {
    auto lib = vhost::Library::load(o.plugin, &error);
    if (!lib) {
        error = "cannot load " + o.plugin + ": " + error;
        return false;
    }
    vhost::MainProc entry = lib->mainEntry();
    if (!entry) {
        error = o.plugin + " exports no main";
        return false;
    }
    vhost::Host host(entry);
    host.sampleRateAnswer = static_cast<VstIntPtr>(o.rate);
    host.blockSizeAnswer = o.block;
    if (!host.open()) {
        error = "the plug-in's main returned no effect";
        return false;
    }
    AEffect* fx = host.effect();
    if (fx->numInputs < 2 || fx->numOutputs < 2 || !fx->processReplacing) {
        error = "the plug-in is not a stereo effect with replacing processing";
        return false;
    }
    host.dispatch(effOpen);
    host.setSampleRate(o.rate);
    host.setBlockSize(o.block);
    host.resume();
    // Selecting a program runs every parameter through setParameter, which is
    // also where the effect takes over the host's sample rate.
    host.setProgram(o.program);
    for (const auto& [index, value] : o.params) host.setParameter(index, value);

    const std::size_t frames = std::min(left.size(), right.size());
    outLeft.assign(frames, 0.0f);
    outRight.assign(frames, 0.0f);
    std::vector<float> inL(o.block), inR(o.block), oL(o.block), oR(o.block);
    for (std::size_t pos = 0; pos < frames; pos += o.block) {
        const auto n = static_cast<VstInt32>(std::min<std::size_t>(o.block, frames - pos));
        std::memcpy(inL.data(), left.data() + pos, n * sizeof(float));
        std::memcpy(inR.data(), right.data() + pos, n * sizeof(float));
        float* in[2] = {inL.data(), inR.data()};
        float* out[2] = {oL.data(), oR.data()};
        host.processReplacing(in, out, n);
        std::memcpy(outLeft.data() + pos, oL.data(), n * sizeof(float));
        std::memcpy(outRight.data() + pos, oR.data(), n * sizeof(float));
        host.clearCalls();
    }
    host.suspend();
    host.close();
    return true;
}

int run(int argc, char** argv, const FileFormat& format, const char* defaultPlugin) {
    Options o;
    o.plugin = defaultPlugin;
    std::string error;
    if (!parseArgs(argc, argv, o, error)) {
        const bool help = error == "help";
        std::fputs(usage(format.tool, format.note).c_str(), help ? stdout : stderr);
        if (help) return 0;
        std::fprintf(stderr, "%s: %s\n", format.tool, error.c_str());
        return 2;
    }
    std::vector<float> left, right, outL, outR;
    bool ok = true;
    if (o.input.empty()) {
        makeDemo(o.rate, o.seconds, left, right);
        applyDemoSettings(o);
    } else {
        ok = format.read(o.input, o.rate, left, right, error);
    }
    ok = ok && (o.writeInput.empty() || format.write(o.writeInput, o.rate, left, right, error));
    ok = ok && renderSignal(o, left, right, outL, outR, error);
    ok = ok && format.write(o.output, o.rate, outL, outR, error);
    if (!ok) {
        std::fprintf(stderr, "%s: %s\n", format.tool, error.c_str());
        return 1;
    }
    std::printf("%s: %zu frames at %g Hz through %s -> %s\n", format.tool, outL.size(), o.rate,
                o.plugin.c_str(), o.output.c_str());
    return 0;
}

} // namespace render
