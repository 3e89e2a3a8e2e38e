// Cost per frame of the keyed filter (what processReplacing runs) beside the
// bare filter recursion, its floor: each output sample waits on the one before through the
// recursion's multiplies, adds and roundings, and nothing else in the signal path needs to lie on
// that chain.
//
// Every case runs at 44100 Hz with program 0 on stereo blocks of 32, 64, 512
// and 4096 frames, for three keys: a moving key (the envelope changes at every
// redesign), a silent key after a loud passage and a saturated key (the
// envelope above 1, so the sweep stays at its top). The keyed filter is
// driven as the plug-in drives it, with program 0's control values and no
// host. Each iteration times one pass over the signal through it and then
// the same frames
// through the floor in blocks of the same size, so drift on a shared machine
// hits both alike; the ratio is computed for each iteration. Each
// repetition reports the medians over its iterations, and the summary table
// at the end the medians of those over the repetitions.
#include "bench/Floor.h"
#include "plugin/dsp/KeyedFilter.h"
#include "plugin/dsp/Numeric.h"
#include "plugin/params/Parameters.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kSignalFrames = 16384; // one pass; 64 KB per channel, cache-resident
constexpr int kBlockSizes[] = {32, 64, 512, 4096};
constexpr int kRepetitions = 9;

// Program 0's control values at 44100 Hz.
dsp::Controls factoryControls() {
    std::array<float, kNumActiveParams> values{};
    for (const ParameterInfo& p : kParameters)
        values[static_cast<std::size_t>(p.index)] = p.factoryValue;
    return params::controlsOf(values, 44100.0f);
}

enum KeyCase : int { kMovingKey, kSilentKey, kSaturatedKey, kNumKeyCases };
constexpr const char* kKeyCaseNames[kNumKeyCases] = {"moving key", "silent key after loud",
                                                     "saturated key"};

// A repeatable noise source in -1 .. 1.
struct Noise {
    std::uint32_t state = 12345;
    float next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<std::int32_t>(state)) / 2147483648.0f;
    }
};

struct Signal {
    std::vector<float> key, audio;
    explicit Signal(KeyCase keyCase) : key(kSignalFrames), audio(kSignalFrames) {
        Noise n;
        for (int i = 0; i < kSignalFrames; ++i) {
            audio[i] = 0.3f * (std::sin(0.013f * i) + std::sin(0.021f * i));
            const float u = n.next();
            switch (keyCase) {
            case kMovingKey: // detector values 0 .. 0.85 with program 0's boost of 3.6
                key[i] = 0.24f * (0.55f + 0.45f * std::sin(6.2831853f * i / 4410.0f)) * u;
                break;
            case kSilentKey:
                key[i] = 0.0f;
                break;
            case kSaturatedKey: // detector values 1.8 .. 3.6
                key[i] = (u < 0 ? -1.0f : 1.0f) * (0.5f + 0.5f * std::fabs(n.next()));
                break;
            default:
                break;
            }
        }
    }
};

using bench::Floor;
using bench::floorBlock;

double nanoseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::nano>(d).count();
}

double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

void BM_Signal(benchmark::State& state) {
    const auto keyCase = static_cast<KeyCase>(state.range(0));
    const int block = static_cast<int>(state.range(1));
    dsp::KeyedFilter filter;
    dsp::FixedControls controls(factoryControls());
    Signal s(keyCase);
    std::vector<float> outL(kSignalFrames), outR(kSignalFrames), floorOut(kSignalFrames);
    if (keyCase == kSilentKey) {
        // One second of a full-scale key first: the envelope climbs near 4
        // and then falls through the smallest numbers once the key is silent.
        std::vector<float> loud(block, 1.0f), audio(block, 0.2f), l(block), r(block);
        for (int done = 0; done < 44100; done += block)
            filter.process(loud.data(), audio.data(), l.data(), r.data(), block, controls);
    }
    Floor f;
    // Per iteration: ns per frame of each, and their ratio. Medians over the
    // iterations keep a preempted or migrated iteration on a shared machine
    // from weighing in.
    std::vector<double> process, floor, ratio;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        for (int pos = 0; pos < kSignalFrames; pos += block)
            filter.process(s.key.data() + pos, s.audio.data() + pos, outL.data() + pos,
                           outR.data() + pos, block, controls);
        const auto t1 = std::chrono::steady_clock::now();
        for (int pos = 0; pos < kSignalFrames; pos += block)
            floorBlock(f, s.audio.data() + pos, floorOut.data() + pos, block);
        const auto t2 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        benchmark::DoNotOptimize(floorOut.data());
        benchmark::ClobberMemory();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        process.push_back(nanoseconds(t1 - t0) / kSignalFrames);
        floor.push_back(nanoseconds(t2 - t1) / kSignalFrames);
        ratio.push_back(process.back() / floor.back());
    }
    state.SetItemsProcessed(state.iterations() * kSignalFrames);
    state.counters["ns/frame"] = median(process);
    state.counters["floor"] = median(floor);
    state.counters["x_floor"] = median(ratio);
    state.SetLabel(kKeyCaseNames[keyCase]);
}

void registerCases(benchmark::internal::Benchmark* b) {
    for (int keyCase = 0; keyCase < kNumKeyCases; ++keyCase)
        for (int block : kBlockSizes) b->Args({keyCase, block});
}
BENCHMARK(BM_Signal)
    ->Apply(registerCases)
    ->ArgNames({"key", "block"})
    ->UseManualTime()
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

// The console output, then one table of the medians: ns per frame of
// the keyed filter and of the floor, and their ratio.
class TableReporter : public benchmark::ConsoleReporter {
public:
    TableReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.aggregate_name != "median") continue;
            auto value = [&](const char* name) {
                auto it = r.counters.find(name);
                return it == r.counters.end() ? 0.0 : it->second.value;
            };
            const std::string& args = r.run_name.args; // "key:K/block:B"
            rows.push_back({value("ns/frame"), value("floor"), value("x_floor"), r.report_label,
                            args.substr(args.rfind(':') + 1)});
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nMedians of %d repetitions, ns per frame (stereo frames at 44100 Hz):\n",
                    kRepetitions);
        std::printf("%-22s %6s %18s %8s %9s\n", "key", "block", "keyed filter", "floor", "x floor");
        for (const Row& row : rows)
            std::printf("%-22s %6s %18.2f %8.2f %9.2f\n", row.label.c_str(), row.block.c_str(),
                        row.process, row.floor, row.ratio);
    }

private:
    struct Row {
        double process, floor, ratio;
        std::string label, block;
    };
    std::vector<Row> rows; // in the order the cases ran
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
