// velmora-vstbench SECONDS A.so B.so ...
//
// Runs whole VST 2 plug-in binaries side by side, as a host runs them: each
// is loaded through its exported entry (VSTPluginMain, else main), opened,
// set to 44100 Hz and 512-frame blocks and resumed; then every one is fed
// the same stereo noise in 512-frame blocks through processReplacing. The
// plug-ins take turns round by round for SECONDS of wall time, so that drift
// of a shared machine (clock, other load) hits all alike. Prints each one's
// median ns per frame over its timed blocks and its ratio to the first.
#include "tools/host/VstHost.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr float kRate = 44100.0f;
constexpr int kBlock = 512;
constexpr int kBlocksPerRound = 16;   // about 186 ms of audio per turn
constexpr int kWarmUpBlocks = 2 * 86; // two seconds before timing starts
constexpr int kNoiseFrames = 1 << 16; // the noise repeats every 1.5 s

// One plug-in under test with its buffers and its timings.
struct Subject {
    std::string path;
    std::unique_ptr<vhost::Library> library;
    std::unique_ptr<vhost::Host> host;
    std::string name;
    std::vector<std::vector<float>> in, out;
    std::vector<float*> inPtr, outPtr;
    std::vector<double> nsPerFrame; // one entry per timed block
    std::map<VstInt32, long> requests;
    int position = 0; // in the noise
};

// White noise at -12 dBFS peak, the same for every subject.
std::vector<float> makeNoise(std::uint32_t seed) {
    std::vector<float> v(kNoiseFrames);
    for (float& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = 0.25f * static_cast<float>(static_cast<std::int32_t>(seed)) / 2147483648.0f;
    }
    return v;
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool open(Subject& s, std::string& error) {
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
    s.host->blockSizeAnswer = kBlock;
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
    s.host->setBlockSize(kBlock);
    s.host->resume();
    s.name = s.host->getString(effGetEffectName, 0, 0, kVstMaxEffectNameLen);
    s.in.assign(fx->numInputs, std::vector<float>(kBlock, 0.0f));
    s.out.assign(fx->numOutputs, std::vector<float>(kBlock, 0.0f));
    for (auto& c : s.in) s.inPtr.push_back(c.data());
    for (auto& c : s.out) s.outPtr.push_back(c.data());
    return true;
}

// One block of the stereo noise: left and right into the first two inputs
// (a mono plug-in gets the left), silence into any further ones.
void feed(Subject& s, const std::vector<float>& left, const std::vector<float>& right) {
    for (int i = 0; i < kBlock; ++i) {
        const int at = (s.position + i) % kNoiseFrames;
        s.in[0][i] = left[at];
        if (s.in.size() > 1) s.in[1][i] = right[at];
    }
    s.position = (s.position + kBlock) % kNoiseFrames;
}

double runBlock(Subject& s) {
    const auto t0 = std::chrono::steady_clock::now();
    s.host->processReplacing(s.inPtr.data(), s.outPtr.data(), kBlock);
    const auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::nano>(t1 - t0).count() / kBlock;
}

void noteRequests(Subject& s) {
    for (const auto& c : s.host->calls()) ++s.requests[c.opcode];
    s.host->clearCalls();
}

double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc >= 3 ? std::atof(argv[1]) : 0.0;
    if (argc < 3 || !(seconds > 0.0)) {
        std::fprintf(stderr, "usage: %s SECONDS PLUGIN.so [PLUGIN.so ...]\n", argv[0]);
        return 2;
    }
    std::vector<Subject> subjects(static_cast<std::size_t>(argc - 2));
    for (std::size_t i = 0; i < subjects.size(); ++i) {
        subjects[i].path = argv[i + 2];
        std::string error;
        if (!open(subjects[i], error)) {
            std::fprintf(stderr, "%s: cannot run %s: %s\n", argv[0], argv[i + 2], error.c_str());
            return 1;
        }
        noteRequests(subjects[i]);
        subjects[i].requests.clear(); // only what processing asks for counts
    }
    const std::vector<float> left = makeNoise(1), right = makeNoise(2);
    for (Subject& s : subjects) {
        for (int b = 0; b < kWarmUpBlocks; ++b) {
            feed(s, left, right);
            runBlock(s);
        }
        noteRequests(s);
    }
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    long rounds = 0;
    while (std::chrono::steady_clock::now() < end) {
        // Each round starts with another subject, so none is always first
        // after the others have run.
        for (std::size_t k = 0; k < subjects.size(); ++k) {
            Subject& s = subjects[(k + static_cast<std::size_t>(rounds)) % subjects.size()];
            for (int b = 0; b < kBlocksPerRound; ++b) {
                feed(s, left, right);
                s.nsPerFrame.push_back(runBlock(s));
            }
            noteRequests(s);
        }
        ++rounds;
    }

    std::printf("%ld rounds of %d blocks of %d frames at %.0f Hz, stereo noise; median over "
                "timed blocks\n",
                rounds, kBlocksPerRound, kBlock, static_cast<double>(kRate));
    std::printf("%-28s %-24s %12s %10s\n", "plug-in", "effect name", "ns/frame", "x first");
    const double first = median(subjects[0].nsPerFrame);
    for (const Subject& s : subjects) {
        const double m = median(s.nsPerFrame);
        std::printf("%-28s %-24s %12.2f %10.3f\n", baseName(s.path).c_str(), s.name.c_str(), m,
                    first > 0 ? m / first : 0.0);
    }
    for (const Subject& s : subjects) {
        if (s.requests.empty()) continue;
        std::printf("host requests while processing, %s:", baseName(s.path).c_str());
        for (const auto& [opcode, n] : s.requests) std::printf(" opcode %d x %ld", opcode, n);
        std::printf("\n");
    }
    for (Subject& s : subjects) {
        s.host->suspend();
        s.host->close();
    }
    return 0;
}
