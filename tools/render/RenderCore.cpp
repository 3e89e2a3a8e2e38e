#include "tools/render/RenderCore.h"

#include "plugin/params/Readout.h"
#include "tools/Version.h"
#include "tools/host/VstHost.h"

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace render {

namespace {

namespace fs = std::filesystem;

// ---- the plug-in's two inputs, block by block ------------------------------

class Source {
public:
    virtual ~Source() = default;
    // The frames to expect in all, for the progress display.
    virtual long long frames() const = 0;
    // Up to `count` frames into both channels; answers how many (0 at the end).
    virtual long long read(float* left, float* right, long long count) = 0;
};

// A small deterministic noise source, the same on every platform.
struct Noise {
    std::uint32_t state = 0x9E3779B9u;
    float next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<std::int32_t>(state)) / 2147483648.0f;
    }
};

// The demo: left, a drum-like pulse pattern (the key); right, a rich chord
// (the audio). With the default "Normal" stereo the pulses sweep the filter.
class DemoSource final : public Source {
public:
    DemoSource(int rate, double seconds)
        : rate(static_cast<float>(rate)), total(static_cast<long long>(seconds * this->rate)),
          step(this->rate * 0.125) {}

    long long frames() const override { return total; }

    long long read(float* left, float* right, long long count) override {
        const long long n = std::min(count, total - pos);
        // Key: 120 BPM sixteenths with a kick-like accent on each beat and
        // softer noisy hits between, so the envelope pumps in a groove.
        static constexpr float accents[8] = {1.0f, 0.0f, 0.45f, 0.25f, 0.8f, 0.0f, 0.55f, 0.3f};
        for (long long k = 0; k < n; ++k) {
            const auto i = static_cast<std::size_t>(pos + k);
            const auto hit = static_cast<std::size_t>(i / step);
            const double t = (i - hit * step) / rate; // seconds since the hit
            const float a = accents[hit % 8];
            const double body = std::sin(2.0 * 3.14159265358979 *
                                         (50.0 * t + 60.0 * (1 - std::exp(-t * 30.0)) / 30.0));
            const double decay = std::exp(-t * 14.0);
            left[k] = static_cast<float>(a * decay * (0.7 * body + 0.3 * noise.next()));
        }
        // Audio: a sustained A minor ninth of detuned sawtooth pairs.
        static constexpr double notes[5] = {110.0, 130.81, 164.81, 196.0, 246.94};
        for (long long k = 0; k < n; ++k) {
            double sum = 0;
            for (int v = 0; v < 10; ++v) {
                const double f = notes[v / 2] * (v % 2 ? 1.003 : 0.997);
                phase[v] += f / rate;
                phase[v] -= std::floor(phase[v]);
                sum += 2.0 * phase[v] - 1.0;
            }
            right[k] = static_cast<float>(0.06 * sum);
        }
        pos += n;
        return n;
    }

private:
    float rate;
    long long total;
    double step; // frames per sixteenth at 120 BPM
    long long pos = 0;
    Noise noise;
    double phase[10] = {};
};

// Reads a file's frames in blocks, interleaved as the file holds them.
class Frames {
public:
    explicit Frames(InputFile& file) : file(file) {}
    // Up to count frames; answers how many. The file's channels at
    // at(frame, channel).
    long long read(long long count) {
        buffer.resize(static_cast<std::size_t>(count * file.channels));
        return ended ? 0 : keep(file.read(buffer.data(), count), count);
    }
    float at(long long frame, int channel) const {
        return buffer[static_cast<std::size_t>(frame * file.channels + channel)];
    }
    // Mono as it is; stereo mixed to mono.
    float mono(long long frame) const {
        return file.channels == 1 ? at(frame, 0) : (at(frame, 0) + at(frame, 1)) * 0.5f;
    }
    int channels() const { return file.channels; }

private:
    long long keep(long long got, long long asked) {
        if (got < asked) ended = true;
        return std::max(got, 0LL);
    }
    InputFile& file;
    std::vector<float> buffer;
    bool ended = false;
};

// One file: left the key and right the audio; a mono file feeds both.
class StereoSource final : public Source {
public:
    explicit StereoSource(std::unique_ptr<InputFile> f) : file(std::move(f)), frames_(*file) {}
    long long frames() const override { return file->frames; }
    long long read(float* left, float* right, long long count) override {
        const long long n = frames_.read(count);
        for (long long k = 0; k < n; ++k) {
            left[k] = frames_.at(k, 0);
            right[k] = frames_.at(k, frames_.channels() - 1);
        }
        return n;
    }

private:
    std::unique_ptr<InputFile> file;
    Frames frames_;
};

// The key and the audio from two files, each mixed to mono; the shorter is
// padded with silence. The key goes to the input the effect takes as key.
class PairSource final : public Source {
public:
    PairSource(std::unique_ptr<InputFile> k, std::unique_ptr<InputFile> a, bool keyOnRight)
        : key(std::move(k)), audio(std::move(a)), keyFrames(*key), audioFrames(*audio),
          keyOnRight(keyOnRight) {}
    long long frames() const override { return std::max(key->frames, audio->frames); }
    long long read(float* left, float* right, long long count) override {
        const long long nk = keyFrames.read(count);
        const long long na = audioFrames.read(count);
        const long long n = std::max(nk, na);
        float* k = keyOnRight ? right : left;
        float* a = keyOnRight ? left : right;
        for (long long i = 0; i < n; ++i) {
            k[i] = i < nk ? keyFrames.mono(i) : 0.0f;
            a[i] = i < na ? audioFrames.mono(i) : 0.0f;
        }
        return n;
    }

private:
    std::unique_ptr<InputFile> key, audio;
    Frames keyFrames, audioFrames;
    bool keyOnRight;
};

// A whole file read into memory first, so that the output may replace it.
class BufferedFile final : public InputFile {
public:
    explicit BufferedFile(InputFile& from) {
        channels = from.channels;
        rate = from.rate;
        std::vector<float> block(static_cast<std::size_t>(4096 * channels));
        for (long long got; (got = from.read(block.data(), 4096)) > 0;)
            data.insert(data.end(), block.begin(), block.begin() + got * channels);
        frames = static_cast<long long>(data.size()) / channels;
    }
    long long read(float* out, long long count) override {
        const long long n = std::min(count, frames - pos);
        std::copy_n(data.begin() + pos * channels, n * channels, out);
        pos += n;
        return n;
    }

private:
    std::vector<float> data;
    long long pos = 0;
};

// ---- progress --------------------------------------------------------------

// One line on standard error, rewritten in place, once a render has run for
// a second; only when standard error is a terminal.
class Progress {
public:
    Progress(const char* tool, int rate, long long total)
        : tool(tool), rate(rate), total(total), start(Clock::now()), terminal(stderrIsTerminal()) {}
    void update(long long done) {
        if (!terminal || done - checked < kCheckFrames) return;
        checked = done;
        const auto now = Clock::now();
        if (now - start < std::chrono::seconds(1) || now - shownAt < std::chrono::milliseconds(100))
            return;
        shownAt = now;
        show(done);
    }
    void finish(long long done) {
        if (!shown) return;
        show(done);
        std::fputc('\n', stderr);
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr long long kCheckFrames = 4096; // frames between two looks at the clock

    static bool stderrIsTerminal() {
#if defined(_WIN32)
        return _isatty(_fileno(stderr)) != 0;
#else
        return isatty(fileno(stderr)) != 0;
#endif
    }
    void show(long long done) {
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 0;
        std::fprintf(stderr, "\r%s: rendering %3d%%  %.1f of %.1f s", tool, percent,
                     static_cast<double>(done) / rate, static_cast<double>(total) / rate);
        std::fflush(stderr);
        shown = true;
    }

    const char* tool;
    int rate;
    long long total;
    Clock::time_point start, shownAt{};
    bool terminal;
    bool shown = false;
    long long checked = 0;
};

// ---- messages ----------------------------------------------------------------

int report(const FileFormat& format, const Mistake& m) {
    if (m.argument.empty())
        std::fprintf(stderr, "%s: %s\n", format.tool, m.problem.c_str());
    else
        std::fprintf(stderr, "%s: %s: %s\n", format.tool, m.argument.c_str(), m.problem.c_str());
    if (!m.hint.empty()) std::fprintf(stderr, "  hint: %s\n", m.hint.c_str());
    return m.status;
}

Mistake fileMistake(std::string argument, std::string problem, std::string hint) {
    return {std::move(argument), std::move(problem), std::move(hint), kExitFailed};
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    const bool same = fs::equivalent(fs::path(a), fs::path(b), ec);
    return same && !ec;
}

fs::path toolDirectory() {
#if defined(_WIN32)
    wchar_t buf[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return fs::path(buf).parent_path();
#else
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : self.parent_path();
#endif
}

// The plug-in to load when the command line names none: one of the built
// plug-in's name beside this tool (as in a release package), else the
// built one.
std::string defaultPlugin(const char* built) {
    const fs::path name = fs::path(built).filename();
    const fs::path dir = toolDirectory();
    std::error_code ec;
    if (!dir.empty() && !name.empty() && fs::is_regular_file(dir / name, ec))
        return (dir / name).string();
    return built;
}

// The user's decimal separator, as the editor's read-out uses it; the
// program's own numbers stay in the C locale.
std::string userDecimalSeparator() {
    std::string sep = ".";
    if (std::setlocale(LC_NUMERIC, "")) {
        const std::lconv* lc = std::localeconv();
        if (lc && lc->decimal_point && *lc->decimal_point) sep = lc->decimal_point;
    }
    std::setlocale(LC_NUMERIC, "C");
    return sep;
}

// ---- the plug-in -----------------------------------------------------------------

struct Plugin {
    std::unique_ptr<vhost::Library> library;
    std::unique_ptr<vhost::Host> host;
    AEffect* fx = nullptr;
};

// Loads the plug-in through its exported `main`, sets rate and block size,
// switches it on, selects the program and sets the parameters, which are
// checked against the plug-in's own counts.
bool openPlugin(const Options& o, const std::string& path, int rate, Plugin& p, Mistake& m) {
    const std::string arg = o.plugin.empty() ? path : o.plugin;
    const char* hint = "give the plug-in binary's path (velmora.so, velmora.dll) as the first "
                       "argument or with --plugin";
    std::string error;
    p.library = vhost::Library::load(path, &error);
    if (!p.library) {
        m = fileMistake(arg, "cannot be loaded as a plug-in: " + error, hint);
        return false;
    }
    vhost::MainProc entry = p.library->mainEntry();
    if (!entry) {
        m = fileMistake(arg, "exports no function main, so it is not a VST 2 plug-in", hint);
        return false;
    }
    p.host = std::make_unique<vhost::Host>(entry);
    p.host->sampleRateAnswer = rate;
    p.host->blockSizeAnswer = o.block;
    p.fx = p.host->open();
    if (!p.fx) {
        m = fileMistake(arg, "its main returned no effect", hint);
        return false;
    }
    if (p.fx->numInputs < 2 || p.fx->numOutputs < 2 || !p.fx->processReplacing) {
        m = fileMistake(arg, "is not a stereo effect with replacing processing",
                        "the renderer runs effects with two inputs and two outputs");
        return false;
    }
    const VstInt32 programs = p.fx->numPrograms, params = p.fx->numParams;
    if (!o.programArg.empty() && (o.program < 0 || o.program >= programs)) {
        m = {o.programArg,
             "there is no program " + std::to_string(o.program) +
                 "; the plug-in's programs are 0 .. " + std::to_string(programs - 1),
             "--list shows their names", kExitUsage};
        return false;
    }
    for (const auto& s : o.params)
        if (s.index < 0 || s.index >= params) {
            m = {s.argument,
                 "there is no parameter " + std::to_string(s.index) +
                     "; the plug-in's parameters are 0 .. " + std::to_string(params - 1),
                 "parameters 0 .. 7 act; --help names them and --list shows their values",
                 kExitUsage};
            return false;
        }
    vhost::Host& h = *p.host;
    h.dispatch(effOpen);
    h.setSampleRate(static_cast<float>(rate));
    h.setBlockSize(o.block);
    h.resume();
    // Selecting a program runs every parameter through setParameter, which is
    // also where the effect takes over the host's sample rate.
    h.setProgram(o.program);
    for (const auto& s : o.params) h.setParameter(s.index, s.value);
    return true;
}

int list(const Plugin& p, const std::string& path) {
    vhost::Host& h = *p.host;
    const std::string sep = userDecimalSeparator();
    const VstInt32 current = h.getProgram();
    std::printf("%s: \"%s\", program %d \"%s\"\n", path.c_str(),
                h.getString(effGetEffectName).c_str(), current,
                h.getString(effGetProgramNameIndexed, current, 0, 64).c_str());
    std::printf("parameters: index, name as hosts see it, value (0 .. 1), and the editor's "
                "read-out for it\n");
    int unnamed = 0, first = -1;
    for (VstInt32 i = 0; i < p.fx->numParams; ++i) {
        const std::string name = h.getString(effGetParamName, i);
        const float v = h.getParameter(i);
        if (name.empty() && v == 0.0f) {
            if (first < 0) first = i;
            ++unnamed;
            continue;
        }
        const std::string shown =
            readout::shows(i) ? std::string(readout::name(i)) + ": " + readout::valueText(i, v, sep)
                              : "(none)";
        std::printf("  %3d  %-22s %-10g %s\n", i, name.empty() ? "(no name)" : name.c_str(), v,
                    shown.c_str());
    }
    if (unnamed > 0)
        std::printf("  %d parameter(s) from %d on have no name and are 0 here; they do nothing\n",
                    unnamed, first);
    std::printf("programs:\n");
    for (VstInt32 i = 0; i < p.fx->numPrograms; ++i)
        std::printf("  %3d  %s%s\n", i, h.getString(effGetProgramNameIndexed, i, 0, 64).c_str(),
                    i == current ? "  (selected)" : "");
    return kExitDone;
}

// ---- inputs ----------------------------------------------------------------------

struct Inputs {
    std::unique_ptr<InputFile> first, second; // -i, or --key and --audio
    std::string firstArg, secondArg;
};

std::unique_ptr<InputFile> openInput(const FileFormat& format, const std::string& arg,
                                     const std::string& path, Mistake& m) {
    std::string problem, hint;
    auto f = format.open(path, problem, hint);
    if (!f) {
        m = fileMistake(arg, problem, hint);
        return nullptr;
    }
    if (f->channels < 1 || f->channels > 2) {
        m = fileMistake(arg, "has " + std::to_string(f->channels) + " channels",
                        "the renderer takes mono or stereo files");
        return nullptr;
    }
    if (f->frames <= 0) {
        m = fileMistake(arg, "holds no sound (0 frames)", "give a file with sound in it");
        return nullptr;
    }
    return f;
}

bool openInputs(const Options& o, const FileFormat& format, Inputs& in, Mistake& m) {
    if (!o.input.empty()) {
        in.firstArg = "-i " + o.input;
        in.first = openInput(format, in.firstArg, o.input, m);
        return in.first != nullptr;
    }
    if (o.key.empty()) return true;
    in.firstArg = "--key " + o.key;
    in.secondArg = "--audio " + o.audio;
    in.first = openInput(format, in.firstArg, o.key, m);
    if (!in.first) return false;
    in.second = openInput(format, in.secondArg, o.audio, m);
    if (!in.second) return false;
    if (in.first->rate != in.second->rate) {
        m = fileMistake(in.secondArg,
                        "is at " + std::to_string(in.second->rate) + " Hz but the key " + o.key +
                            " is at " + std::to_string(in.first->rate) + " Hz",
                        "the two must have one sample rate: convert one of them first (for "
                        "instance with sox FILE -r RATE NEW.wav)");
        return false;
    }
    return true;
}

// An output that is one of the input files is refused unless --force; then
// that input is read whole before the output replaces it.
bool checkOutputs(const Options& o, Inputs& in, Mistake& m) {
    const std::string inputs[2] = {o.input.empty() ? o.key : o.input, o.audio};
    std::unique_ptr<InputFile>* files[2] = {&in.first, &in.second};
    const std::string args[2] = {in.firstArg, in.secondArg};
    struct Written {
        std::string path, arg;
    };
    const Written outputs[2] = {{o.output, "-o " + o.output},
                                {o.writeInput, "--write-input " + o.writeInput}};
    for (const auto& out : outputs) {
        if (out.path.empty()) continue;
        for (int i = 0; i < 2; ++i) {
            if (!*files[i] || !sameFile(out.path, inputs[i])) continue;
            if (!o.force) {
                m = {out.arg, "is the input file (" + args[i] + "); it is left as it is",
                     "choose another output file, or add --force to replace the input with the "
                     "result",
                     kExitUsage};
                return false;
            }
            *files[i] = std::make_unique<BufferedFile>(**files[i]);
        }
    }
    if (!o.writeInput.empty() && sameFile(o.output, o.writeInput)) {
        m = {"--write-input " + o.writeInput, "is the output file too",
             "give the input signal a file of its own", kExitUsage};
        return false;
    }
    return true;
}

void interleave(const float* left, const float* right, long long n, float* out) {
    for (long long i = 0; i < n; ++i) {
        out[2 * i] = left[i];
        out[2 * i + 1] = right[i];
    }
}

} // namespace

int run(int argc, char** argv, const FileFormat& format, const char* builtPlugin) {
    Options o;
    Mistake m;
    if (!parseArgs(argc, argv, o, m)) return report(format, m);
    if (o.help) {
        std::fputs(usage(format).c_str(), stdout);
        return kExitDone;
    }
    if (o.version) {
        std::printf("%s %s\n", format.tool, VELMORA_VERSION);
        return kExitDone;
    }
    if (o.bitsGiven && o.bits != 32 && !format.integerBits)
        return report(format, {"--bits " + std::to_string(o.bits),
                               "this renderer writes 32-bit floats only", "leave out --bits"});

    std::string path = o.plugin.empty() ? defaultPlugin(builtPlugin) : o.plugin;
    // A bare file name means the file here, not one on the library search path.
    if (!fs::path(path).has_parent_path()) path = (fs::path(".") / path).string();

    Plugin plugin;
    if (o.list) {
        if (!openPlugin(o, path, o.rate ? o.rate : kDefaultRate, plugin, m))
            return report(format, m);
        return list(plugin, path);
    }

    Inputs in;
    if (!openInputs(o, format, in, m)) return report(format, m);
    int rate = o.rate ? o.rate : kDefaultRate;
    if (in.first && format.keepsRate) {
        if (!o.rate) rate = in.first->rate;
        if (o.rate && in.first->rate != o.rate)
            std::fprintf(stderr,
                         "%s: note: %s is at %d Hz; rendering and writing at %d Hz as --rate "
                         "says, without resampling\n",
                         format.tool, in.firstArg.c_str(), in.first->rate, o.rate);
    }
    if (rate < kMinRate || rate > kMaxRate)
        return report(format,
                      fileMistake(in.firstArg,
                                  "is at " + std::to_string(rate) + " Hz, outside the renderer's " +
                                      std::to_string(kMinRate) + " .. " + std::to_string(kMaxRate) +
                                      " Hz",
                                  "give --rate to render it at another rate"));
    if (!checkOutputs(o, in, m)) return report(format, m);

    if (!in.first && !o.settingsGiven) {
        // The demo's sweep, 120 Hz .. 5.4 kHz, where the chord's harmonics lie,
        // so that the pulses are clearly heard opening the filter.
        o.program = 0;
        o.params = {{0, 0.3f, "--param 0=0.3"}, {1, 0.85f, "--param 1=0.85"}};
    }
    if (!openPlugin(o, path, rate, plugin, m)) return report(format, m);
    vhost::Host& host = *plugin.host;

    std::unique_ptr<Source> source;
    if (!in.first)
        source = std::make_unique<DemoSource>(rate, o.seconds);
    else if (!in.second)
        source = std::make_unique<StereoSource>(std::move(in.first));
    else // the effect's own rule for which input is the key
        source = std::make_unique<PairSource>(std::move(in.first), std::move(in.second),
                                              host.getParameter(7) >= 0.5f);

    std::string problem;
    auto output = format.create(o.output, rate, o.bits, problem);
    if (!output)
        return report(format, fileMistake("-o " + o.output, "cannot be written: " + problem,
                                          "check that its folder exists, that you may write "
                                          "there and that the disk has room"));
    std::unique_ptr<OutputFile> inputCopy;
    if (!o.writeInput.empty()) {
        inputCopy = format.create(o.writeInput, rate, o.bits, problem);
        if (!inputCopy)
            return report(format, fileMistake("--write-input " + o.writeInput,
                                              "cannot be written: " + problem,
                                              "check that its folder exists, that you may "
                                              "write there and that the disk has room"));
    }

    const auto block = static_cast<std::size_t>(o.block);
    std::vector<float> inL(block), inR(block), outL(block), outR(block), frames(2 * block);
    Progress progress(format.tool, rate, source->frames());
    long long done = 0;
    // A failure ends the progress line before it is told.
    auto writeFailed = [&](const std::string& arg) {
        progress.finish(done);
        return report(format, fileMistake(arg, "could not be written in full",
                                          "check the free space on its disk"));
    };
    for (;;) {
        const long long n = source->read(inL.data(), inR.data(), o.block);
        if (n <= 0) break;
        if (inputCopy) {
            interleave(inL.data(), inR.data(), n, frames.data());
            if (!inputCopy->write(frames.data(), n))
                return writeFailed("--write-input " + o.writeInput);
        }
        float* ins[2] = {inL.data(), inR.data()};
        float* outs[2] = {outL.data(), outR.data()};
        host.processReplacing(ins, outs, static_cast<VstInt32>(n));
        host.clearCalls();
        interleave(outL.data(), outR.data(), n, frames.data());
        if (!output->write(frames.data(), n)) return writeFailed("-o " + o.output);
        done += n;
        progress.update(done);
    }
    progress.finish(done);
    host.suspend();
    host.close();
    if (!output->finish(problem))
        return report(format,
                      fileMistake("-o " + o.output, problem, "check the free space on its disk"));
    if (inputCopy && !inputCopy->finish(problem))
        return report(format, fileMistake("--write-input " + o.writeInput, problem,
                                          "check the free space on its disk"));
    std::printf("%s: %lld frames at %d Hz through %s -> %s\n", format.tool, done, rate,
                path.c_str(), o.output.c_str());
    return kExitDone;
}

} // namespace render
