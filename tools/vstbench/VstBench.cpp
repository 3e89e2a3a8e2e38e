// velmora-vstbench [--floor] [--block N] [--key moving|silent|saturated] SECONDS A.so B.so ...
// velmora-vstbench --table SECONDS PLUGIN
//
// Runs whole VST 2 plug-in binaries side by side, as a host runs them: each
// is loaded through its exported entry (VSTPluginMain, else main), opened,
// set to 44100 Hz and the block size and resumed; then every one is fed the
// same stereo signal block by block through processReplacing. The plug-ins
// take turns round by round for SECONDS of wall time, so that drift of a
// shared machine (clock, other load) hits all alike. Prints each one's
// median ns per frame over its timed rounds and its ratio to the first.
//
// The signal: the right channel (Velmora's audio) is white noise; the left
// (its key) is noise too by default, a moving key; `--key silent` plays a
// full-scale key for a second before timing and silence while timing, and
// `--key saturated` a key loud enough to hold the envelope above 1.
//
// `--floor` times the bare filter recursion (bench/Floor.h) in the same
// rounds, on the same audio and blocks, and prints every plug-in's ratio to
// it: the median over the rounds of the round's time over the floor's.
// `--table` does that for one plug-in for every case, blocks of 32, 64, 512
// and 4096 frames with each key, SECONDS each, and prints one table.
#include "bench/Floor.h"
#include "tools/host/VstHost.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr float kRate = 44100.0f;
constexpr int kDefaultBlock = 512;
constexpr int kFramesPerRound = 8192;    // about 186 ms of audio per turn
constexpr int kWarmUpFrames = 2 * 44100; // two seconds before timing starts
constexpr int kNoiseFrames = 1 << 16; // the signal repeats every 1.5 s; a multiple of every block

enum class Key { Moving, Silent, Saturated };
constexpr const char* kKeyNames[] = {"moving key", "silent key after loud", "saturated key"};

using Clock = std::chrono::steady_clock;

// One plug-in under test, or the floor, with its timings.
struct Subject {
    std::string path; // empty for the floor
    std::unique_ptr<vhost::Library> library;
    std::unique_ptr<vhost::Host> host;
    bench::Floor floor;
    std::string name;
    std::vector<std::vector<float>> in, out;
    std::vector<float*> outPtr;
    std::vector<double> roundNs; // one entry per timed round
    std::map<VstInt32, long> requests;
};

// White noise in -peak .. peak, the same for every subject.
std::vector<float> makeNoise(std::uint32_t seed, float peak) {
    std::vector<float> v(kNoiseFrames);
    for (float& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = peak * static_cast<float>(static_cast<std::int32_t>(seed)) / 2147483648.0f;
    }
    return v;
}

// The key while timing and while warming up.
std::vector<float> makeKey(Key key, bool warmUp) {
    switch (key) {
    case Key::Silent:
        return warmUp ? std::vector<float>(kNoiseFrames, 1.0f) : std::vector<float>(kNoiseFrames);
    case Key::Saturated: {
        std::vector<float> v = makeNoise(3, 1.0f);
        for (float& x : v) x = (x < 0 ? -1.0f : 1.0f) * (0.5f + 0.5f * std::abs(x));
        return v;
    }
    case Key::Moving:
    default:
        return makeNoise(1, 0.25f); // -12 dBFS peak
    }
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool open(Subject& s, int block, std::string& error) {
    if (s.path.empty()) {
        s.name = "bare recursion";
        s.out.assign(1, std::vector<float>(static_cast<std::size_t>(block)));
        return true;
    }
    s.library = vhost::Library::load(s.path, &error);
    if (!s.library) return false;
    auto entry = reinterpret_cast<vhost::MainProc>(s.library->symbol("VSTPluginMain"));
    if (!entry) entry = s.library->mainEntry();
    if (!entry) {
        error = "exports neither VSTPluginMain nor main";
        return false;
    }
    s.host = std::make_unique<vhost::Host>(entry);
    s.host->sampleRateAnswer = static_cast<VstIntPtr>(kRate);
    s.host->blockSizeAnswer = block;
    // A host without a transport: no time information, no tempo. The
    // interface lets a host answer 0 to both.
    s.host->onCall = [](const vhost::HostCall& call) -> std::optional<VstIntPtr> {
        if (call.opcode == audioMasterGetTime || call.opcode == audioMasterTempoAt) return 0;
        return std::nullopt;
    };
    AEffect* fx = s.host->open();
    if (!fx || fx->magic != kEffectMagic) {
        error = "its entry returned no effect";
        return false;
    }
    if (!(fx->flags & effFlagsCanReplacing) || !fx->processReplacing) {
        error = "it cannot process replacing";
        return false;
    }
    if (fx->numInputs < 1 || fx->numOutputs < 1) {
        error = "it has no audio inputs or outputs";
        return false;
    }
    s.host->dispatch(effOpen);
    s.host->setSampleRate(kRate);
    s.host->setBlockSize(block);
    s.host->resume();
    s.name = s.host->getString(effGetEffectName, 0, 0, kVstMaxEffectNameLen);
    // Inputs beyond the first two get silence.
    s.in.assign(static_cast<std::size_t>(std::max(fx->numInputs - 2, 0)),
                std::vector<float>(static_cast<std::size_t>(block), 0.0f));
    s.out.assign(static_cast<std::size_t>(fx->numOutputs),
                 std::vector<float>(static_cast<std::size_t>(block), 0.0f));
    for (auto& c : s.out) s.outPtr.push_back(c.data());
    return true;
}

// `blocks` blocks from frame `position` of the signal; the time they took.
double runRound(Subject& s, const std::vector<float>& left, const std::vector<float>& right,
                int position, int block, int blocks) {
    std::vector<float*> inPtr(2 + s.in.size());
    for (std::size_t i = 2; i < inPtr.size(); ++i) inPtr[i] = s.in[i - 2].data();
    const auto t0 = Clock::now();
    for (int b = 0, at = position; b < blocks; ++b, at = (at + block) % kNoiseFrames) {
        // Left and right straight from the signal, as a host hands its
        // buffers; a mono plug-in gets the left.
        inPtr[0] = const_cast<float*>(left.data() + at);
        inPtr[1] = const_cast<float*>(right.data() + at);
        if (s.host)
            s.host->processReplacing(inPtr.data(), s.outPtr.data(), block);
        else
            bench::floorBlock(s.floor, right.data() + at, s.out[0].data(), block);
    }
    return std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
}

void noteRequests(Subject& s) {
    if (!s.host) return;
    for (const auto& c : s.host->calls()) ++s.requests[c.opcode];
    s.host->clearCalls();
}

double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

struct Result {
    long rounds = 0;
    std::vector<double> nsPerFrame; // per subject
    std::vector<double> ratio;      // per subject, to the last subject's rounds (the floor)
};

// Runs the subjects (the floor last, when there is one) for `seconds`.
Result measure(std::vector<Subject>& subjects, int block, Key key, double seconds) {
    const std::vector<float> right = makeNoise(2, 0.25f);
    const std::vector<float> warmKey = makeKey(key, true), key2 = makeKey(key, false);
    const int blocks = std::max(1, kFramesPerRound / block);
    for (Subject& s : subjects) {
        for (int done = 0, at = 0; done < kWarmUpFrames; done += block * blocks) {
            runRound(s, warmKey, right, at, block, blocks);
            at = (at + block * blocks) % kNoiseFrames;
        }
        noteRequests(s);
        s.requests.clear(); // only what timed processing asks for counts
        s.roundNs.clear();
    }
    Result r;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    int position = 0;
    while (Clock::now() < end) {
        // Each round starts with another subject, so none is always first
        // after the others have run.
        for (std::size_t k = 0; k < subjects.size(); ++k) {
            Subject& s = subjects[(k + static_cast<std::size_t>(r.rounds)) % subjects.size()];
            s.roundNs.push_back(runRound(s, key2, right, position, block, blocks));
            noteRequests(s);
        }
        position = (position + block * blocks) % kNoiseFrames;
        ++r.rounds;
    }
    const double frames = static_cast<double>(block) * blocks;
    const Subject& last = subjects.back();
    for (const Subject& s : subjects) {
        std::vector<double> perFrame, ratios;
        for (std::size_t i = 0; i < s.roundNs.size(); ++i) {
            perFrame.push_back(s.roundNs[i] / frames);
            ratios.push_back(s.roundNs[i] / last.roundNs[i]);
        }
        r.nsPerFrame.push_back(median(perFrame));
        r.ratio.push_back(median(ratios));
    }
    return r;
}

bool openAll(std::vector<Subject>& subjects, int block, const char* program) {
    for (Subject& s : subjects) {
        std::string error;
        if (!open(s, block, error)) {
            std::fprintf(stderr, "%s: cannot run %s: %s\n", program, s.path.c_str(), error.c_str());
            return false;
        }
    }
    return true;
}

void closeAll(std::vector<Subject>& subjects) {
    for (Subject& s : subjects)
        if (s.host) {
            s.host->suspend();
            s.host->close();
        }
}

int usage(const char* program) {
    std::fprintf(stderr,
                 "usage: %s [--floor] [--block N] [--key moving|silent|saturated] SECONDS "
                 "PLUGIN [PLUGIN ...]\n"
                 "       %s --table SECONDS PLUGIN\n",
                 program, program);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    bool floor = false, table = false;
    int block = kDefaultBlock;
    Key key = Key::Moving;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--floor") {
            floor = true;
        } else if (a == "--table") {
            table = true;
        } else if (a == "--block" && i + 1 < argc) {
            block = std::atoi(argv[++i]);
            if (block < 1 || kNoiseFrames % block != 0) return usage(argv[0]);
        } else if (a == "--key" && i + 1 < argc) {
            const std::string k = argv[++i];
            if (k == "moving")
                key = Key::Moving;
            else if (k == "silent")
                key = Key::Silent;
            else if (k == "saturated")
                key = Key::Saturated;
            else
                return usage(argv[0]);
        } else {
            args.push_back(a);
        }
    }
    const double seconds = args.size() >= 2 ? std::atof(args[0].c_str()) : 0.0;
    if (args.size() < 2 || !(seconds > 0.0) || (table && args.size() != 2)) return usage(argv[0]);

    if (table) {
        std::printf("%s against the bare recursion, %.0f s per case, 44100 Hz, noise as the "
                    "audio; median over the rounds\n",
                    baseName(args[1]).c_str(), seconds);
        std::printf("%-22s %6s %12s %10s %9s\n", "key", "block", "ns/frame", "floor", "x floor");
        for (Key k : {Key::Moving, Key::Silent, Key::Saturated})
            for (int b : {32, 64, 512, 4096}) {
                std::vector<Subject> subjects(2);
                subjects[0].path = args[1];
                if (!openAll(subjects, b, argv[0])) return 1;
                const Result r = measure(subjects, b, k, seconds);
                std::printf("%-22s %6d %12.2f %10.2f %9.2f\n", kKeyNames[static_cast<int>(k)], b,
                            r.nsPerFrame[0], r.nsPerFrame[1], r.ratio[0]);
                std::fflush(stdout);
                closeAll(subjects);
            }
        return 0;
    }

    std::vector<Subject> subjects(args.size() - 1 + (floor ? 1 : 0));
    for (std::size_t i = 1; i < args.size(); ++i) subjects[i - 1].path = args[i];
    if (!openAll(subjects, block, argv[0])) return 1;
    const Result r = measure(subjects, block, key, seconds);
    std::printf("%ld rounds of %d frames in blocks of %d at %.0f Hz, %s, noise as the audio; "
                "median over the rounds\n",
                r.rounds, std::max(1, kFramesPerRound / block) * block, block,
                static_cast<double>(kRate), kKeyNames[static_cast<int>(key)]);
    std::printf("%-28s %-24s %12s %10s%s\n", "plug-in", "effect name", "ns/frame", "x first",
                floor ? "   x floor" : "");
    for (std::size_t i = 0; i < subjects.size(); ++i) {
        const Subject& s = subjects[i];
        std::printf("%-28s %-24s %12.2f %10.3f",
                    s.path.empty() ? "(floor)" : baseName(s.path).c_str(), s.name.c_str(),
                    r.nsPerFrame[i], r.nsPerFrame[0] > 0 ? r.nsPerFrame[i] / r.nsPerFrame[0] : 0.0);
        if (floor) std::printf(" %9.3f", r.ratio[i]);
        std::printf("\n");
    }
    for (const Subject& s : subjects) {
        if (s.requests.empty()) continue;
        std::printf("host requests while processing, %s:", baseName(s.path).c_str());
        for (const auto& [opcode, n] : s.requests) std::printf(" opcode %d x %ld", opcode, n);
        std::printf("\n");
    }
    closeAll(subjects);
    return 0;
}
