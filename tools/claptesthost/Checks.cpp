#include "tools/claptesthost/Checks.h"

#include "tools/Version.h"

#include "tools/claptesthost/ClapHost.h"
#include "tools/claptesthost/Reference.h"
#include "tools/validate/HostFloatingPoint.h"
#include "tools/validate/HostWindow.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace claphost {

namespace {

constexpr int kRate = 44100;
const std::string kSideChainId = "com.pemberly.velmora";
const std::string kKeyLeftId = "com.pemberly.velmora.key-left";

// ---- reporting -------------------------------------------------------------------

struct Tally {
    int passed = 0, failed = 0;
    bool check(bool ok, const std::string& name, const std::string& detail = {}) {
        if (ok) {
            ++passed;
            std::printf("PASS %s\n", name.c_str());
        } else {
            ++failed;
            std::printf("FAIL %s%s%s\n", name.c_str(), detail.empty() ? "" : ": ", detail.c_str());
        }
        std::fflush(stdout);
        return ok;
    }
};

void note(const std::string& text) {
    std::printf("  %s\n", text.c_str());
    std::fflush(stdout);
}

std::string num(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

// ---- comparing sound ---------------------------------------------------------------

struct Comparison {
    std::size_t samples = 0, differing = 0;
    float peak = 0.0f;
    bool finite = true;
};

Comparison compare(const Stereo& a, const Stereo& b) {
    Comparison c;
    for (int ch = 0; ch < 2; ++ch) {
        const auto& x = ch ? a.right : a.left;
        const auto& y = ch ? b.right : b.left;
        c.samples += std::min(x.size(), y.size());
        if (x.size() != y.size()) c.differing += std::max(x.size(), y.size()) - c.samples;
        for (std::size_t i = 0; i < std::min(x.size(), y.size()); ++i) {
            if (std::bit_cast<std::uint32_t>(x[i]) != std::bit_cast<std::uint32_t>(y[i]))
                ++c.differing;
            c.peak = std::max(c.peak, std::fabs(y[i]));
            if (!std::isfinite(x[i])) c.finite = false;
        }
    }
    return c;
}

std::string told(const Comparison& c) {
    return std::to_string(c.samples) + " samples compared, " + std::to_string(c.differing) +
           " differ, peak " + num(c.peak);
}

// ---- what the instances should be -----------------------------------------------------

struct ParamExpected {
    clap_id id;
    const char* name;
    bool stepped;
    double min, max, def;
};
// Written out here, not taken from the plug-in's tables: this is what a
// host must find.
const ParamExpected kParams[] = {
    {101, "Low Filter frequency", false, 0.0, 1.0, 0.75},
    {102, "Hi Filter frequency", false, 0.0, 1.0, 1.0},
    {103, "Filter type", true, 0.0, 4.0, 1.0},
    {104, "Filter Q", false, 0.0, 100.0, 90.0},
    {105, "Boost", false, 0.0, 400.0, 360.0},
    {106, "Attack", false, 0.0, 100.0, 50.0},
    {107, "Release", false, 0.0, 100.0, 50.0},
    {108, "Stereo", true, 0.0, 1.0, 0.0},
};
const char* const kTypeNames[] = {"Off", "Low", "High", "Band Pass", "Band Reject"};
const char* const kStereoNames[] = {"Normal", "Reversed"};

// A setting as the VST 2 plug-in takes it (index, normalised value) and the
// same as a CLAP host sets it (id, plain value).
struct Setting {
    const char* name;
    std::vector<std::pair<int, float>> vst;
    std::vector<std::pair<clap_id, double>> clap;
};
const std::vector<Setting>& settings() {
    static const std::vector<Setting> s{
        {"factory values", {}, {}},
        {"high pass, swept 0.3 .. 0.9",
         {{2, 0.5f}, {3, 0.5f}, {4, 0.5f}, {5, 0.25f}, {6, 0.75f}, {0, 0.3f}, {1, 0.9f}},
         {{103, 2}, {104, 50}, {105, 200}, {106, 25}, {107, 75}, {101, 0.3}, {102, 0.9}}},
        {"band pass, inputs swapped, falling sweep",
         {{7, 1.0f}, {2, 0.7f}, {0, 0.8f}, {1, 0.2f}, {5, 0.0f}, {6, 1.0f}},
         {{108, 1}, {103, 3}, {101, 0.8}, {102, 0.2}, {106, 0}, {107, 100}}},
        {"band reject, off-grid values",
         {{2, 0.9f}, {3, 0.33f}, {4, 0.3075f}},
         {{103, 4}, {104, 33}, {105, 123}}},
        {"low pass, full resonance and boost, slow attack",
         {{2, 0.3f}, {3, 1.0f}, {4, 1.0f}, {5, 0.6f}, {6, 0.4f}, {0, 0.1f}},
         {{103, 1}, {104, 100}, {105, 400}, {106, 60}, {107, 40}, {101, 0.1}}},
        {"off: the audio through the clipper alone", {{2, 0.0f}}, {{103, 0}}},
    };
    return s;
}

std::vector<ValueAt> atStart(const std::vector<std::pair<clap_id, double>>& values) {
    std::vector<ValueAt> e;
    for (const auto& [id, v] : values) e.push_back({0, id, v});
    return e;
}

// The state layout the plug-in documents (clap/State.h), written here from
// that description: "VLMR", version 1, the count 8, then id and value bits.
std::vector<std::uint8_t> stateBytes(const std::vector<std::pair<std::uint32_t, float>>& values,
                                     std::uint32_t version = 1, std::uint32_t count = 8) {
    std::vector<std::uint8_t> b{'V', 'L', 'M', 'R'};
    const auto put = [&b](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    put(version);
    put(count);
    for (const auto& [id, v] : values) {
        put(id);
        put(std::bit_cast<std::uint32_t>(v));
    }
    return b;
}

std::vector<double> allValues(const Instance& in) {
    std::vector<double> v;
    for (const ParamExpected& p : kParams) v.push_back(in.value(p.id));
    return v;
}

bool sameValues(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::bit_cast<std::uint64_t>(a[i]) != std::bit_cast<std::uint64_t>(b[i])) return false;
    return true;
}

std::string valuesText(const std::vector<double>& v) {
    std::string s;
    for (double x : v) {
        if (!s.empty()) s += ' ';
        s += num(x);
    }
    return s;
}

// A fresh instance, active at the test rate.
struct Live {
    Host host;
    Instance instance;
    Live(const Module& m, const std::string& id) : instance(m, id, host) {}
    bool start(std::uint32_t maxFrames = 4096) {
        return instance.plugin && instance.initialised && instance.activate(kRate, maxFrames);
    }
};

// ---- the entry and the factory -----------------------------------------------------------

void checkFactory(Tally& t, const Module& m) {
    const clap_plugin_entry& e = m.entry();
    t.check(e.get_factory("clap.nothing") == nullptr && e.get_factory(nullptr) == nullptr,
            "the entry answers no factory for an unknown id or none");
    const clap_plugin_factory* f = m.factory();
    if (!t.check(f != nullptr, "the entry gives the plug-in factory")) return;
    t.check(f->get_plugin_count(f) == 2, "the factory holds two plug-ins",
            std::to_string(f->get_plugin_count(f)));
    struct Expected {
        const std::string& id;
        const char* name;
    } const expected[] = {{kSideChainId, "Velmora"}, {kKeyLeftId, "Velmora (Key Left)"}};
    for (std::uint32_t i = 0; i < 2; ++i) {
        const clap_plugin_descriptor* d = f->get_plugin_descriptor(f, i);
        if (!t.check(d != nullptr, "descriptor " + std::to_string(i) + " exists")) continue;
        std::vector<std::string> features;
        for (const char* const* x = d->features; x && *x; ++x) features.emplace_back(*x);
        const bool has = [&] {
            return std::find(features.begin(), features.end(), "audio-effect") != features.end() &&
                   std::find(features.begin(), features.end(), "filter") != features.end();
        }();
        note(std::string(d->id) + " \"" + d->name + "\" by " + d->vendor + ", version " +
             d->version + ": " + d->description);
        t.check(clap_version_is_compatible(d->clap_version) && d->id == expected[i].id &&
                    std::string(d->name) == expected[i].name &&
                    std::string(d->vendor) == "Pemberly" &&
                    std::string(d->version) == VELMORA_VERSION && has,
                std::string("\"") + expected[i].name + "\": id, name, vendor Pemberly, version " +
                    VELMORA_VERSION + ", features audio-effect and filter");
    }
    t.check(f->get_plugin_descriptor(f, 2) == nullptr, "no descriptor past the last");
    Host host;
    t.check(f->create_plugin(f, host.record(), "com.pemberly.nothing") == nullptr &&
                f->create_plugin(f, host.record(), nullptr) == nullptr &&
                f->create_plugin(f, nullptr, kSideChainId.c_str()) == nullptr,
            "create_plugin refuses an unknown id, no id and no host");
    // A host may initialise the entry again (init is meant to come once,
    // but hosts that scan pair init and deinit): the factory still works.
    e.init("again");
    e.deinit();
    const clap_plugin_factory* again =
        static_cast<const clap_plugin_factory*>(e.get_factory(CLAP_PLUGIN_FACTORY_ID));
    Instance in(m, kSideChainId, host);
    t.check(again == f && in.plugin && in.initialised,
            "after a further init and deinit the factory still makes instances");
}

// ---- ports, parameters, texts ---------------------------------------------------------------

bool portIs(const Instance& in, bool input, std::uint32_t index, clap_id id, const char* name,
            std::uint32_t channels, bool main, clap_id pair) {
    clap_audio_port_info info{};
    if (!in.ports->get(in.plugin, index, input, &info)) return false;
    const char* type = channels == 2 ? "stereo" : "mono";
    note(std::string(input ? "input " : "output ") + std::to_string(index) + ": id " +
         std::to_string(info.id) + " \"" + info.name + "\", " + std::to_string(info.channel_count) +
         " channel(s), " + (info.flags & CLAP_AUDIO_PORT_IS_MAIN ? "main" : "not main"));
    return info.id == id && std::string(info.name) == name && info.channel_count == channels &&
           ((info.flags & CLAP_AUDIO_PORT_IS_MAIN) != 0) == main &&
           (info.flags & ~CLAP_AUDIO_PORT_IS_MAIN) == 0 && info.port_type &&
           std::string(info.port_type) == type && info.in_place_pair == pair;
}

void checkPorts(Tally& t, const Module& m) {
    Host h1, h2;
    Instance side(m, kSideChainId, h1), left(m, kKeyLeftId, h2);
    if (!t.check(side.ports && left.ports, "both plug-ins describe their audio ports")) return;
    t.check(side.ports->count(side.plugin, true) == 2 &&
                side.ports->count(side.plugin, false) == 1 &&
                portIs(side, true, 0, 0, "Audio", 1, true, CLAP_INVALID_ID) &&
                portIs(side, true, 1, 1, "Key", 1, false, CLAP_INVALID_ID) &&
                portIs(side, false, 0, 0, "Output", 2, true, CLAP_INVALID_ID),
            "\"Velmora\": main input \"Audio\", side-chain input \"Key\" (not main), main "
            "stereo output");
    clap_audio_port_info info{};
    t.check(!side.ports->get(side.plugin, 2, true, &info) &&
                !side.ports->get(side.plugin, 1, false, &info) &&
                !side.ports->get(side.plugin, 0, true, nullptr),
            "no port past the last, and none into a null record");
    t.check(left.ports->count(left.plugin, true) == 1 &&
                left.ports->count(left.plugin, false) == 1 &&
                portIs(left, true, 0, 0, "Key L / Audio R", 2, true, 0) &&
                portIs(left, false, 0, 0, "Output", 2, true, 0),
            "\"Velmora (Key Left)\": one stereo main input and output, in place");
    t.check(side.latency && side.latency->get(side.plugin) == 0, "latency 0");
    t.check(side.plugin->get_extension(side.plugin, "clap.nothing") == nullptr &&
                side.plugin->get_extension(side.plugin, nullptr) == nullptr,
            "no extension for an unknown id or none");
}

void checkParams(Tally& t, const Module& m, const Vst2Reference& vst) {
    Host host;
    Instance in(m, kSideChainId, host);
    if (!t.check(in.params != nullptr && in.params->count(in.plugin) == 8, "eight parameters"))
        return;
    bool infos = true;
    for (std::uint32_t i = 0; i < 8; ++i) {
        clap_param_info info{};
        const ParamExpected& e = kParams[i];
        const clap_param_info_flags flags =
            CLAP_PARAM_IS_AUTOMATABLE | (e.stepped ? CLAP_PARAM_IS_STEPPED : 0);
        const bool ok = in.params->get_info(in.plugin, i, &info) && info.id == e.id &&
                        std::string(info.name) == e.name && info.flags == flags &&
                        info.min_value == e.min && info.max_value == e.max &&
                        info.default_value == e.def && in.value(e.id) == e.def;
        note("id " + std::to_string(info.id) + " \"" + info.name + "\" " + num(info.min_value) +
             " .. " + num(info.max_value) + ", default " + num(info.default_value) + " (\"" +
             in.text(info.id, info.default_value) + "\")" + (e.stepped ? ", stepped" : ""));
        infos = infos && ok;
    }
    t.check(infos, "ids, names, automatable, stepped choices, ranges and defaults as a host "
                   "must find them, and each value at its default");
    clap_param_info info{};
    double v = 0;
    t.check(
        !in.params->get_info(in.plugin, 8, &info) && !in.params->get_info(in.plugin, 0, nullptr) &&
            !in.params->get_value(in.plugin, 0, &v) && !in.params->get_value(in.plugin, 7, &v) &&
            !in.params->get_value(in.plugin, 109, &v) &&
            !in.params->get_value(in.plugin, CLAP_INVALID_ID, &v) &&
            !in.params->get_value(in.plugin, 101, nullptr),
        "no info past the last parameter; no value for an index, an unknown id or null");

    // The texts are the VST 2 plug-in's read-out's, value for value.
    const float probes[] = {0.0f, 0.001f, 0.1234f, 0.25f, 0.5f, 0.61f, 0.75f, 0.9996f, 1.0f};
    int compared = 0, mismatched = 0;
    std::string first;
    for (int index : {0, 1, 3, 4, 5, 6})
        for (float p : probes) {
            const double plain = kParams[index].max == 1.0 ? p : p * kParams[index].max;
            const std::string mine = in.text(kParams[index].id, plain);
            const std::string theirs = vst.display(index, p);
            ++compared;
            if (mine != theirs) {
                ++mismatched;
                if (first.empty()) first = kParams[index].name + (": " + mine + " vs " + theirs);
            }
        }
    note(std::to_string(compared) + " texts compared with the VST 2 plug-in's, e.g. \"" +
         in.text(101, 0.61) + "\", \"" + in.text(104, 12.34) + "\", \"" + in.text(105, 123) + "\"");
    t.check(mismatched == 0, "value texts equal the VST 2 plug-in's read-out texts", first);
    bool names = true;
    for (int k = 0; k < 5; ++k) names = names && in.text(103, k) == kTypeNames[k];
    for (int k = 0; k < 2; ++k) names = names && in.text(108, k) == kStereoNames[k];
    t.check(names, "the choices read as their names: Off .. Band Reject, Normal and Reversed");
    char small[5] = "xxxx";
    t.check(in.params->value_to_text(in.plugin, 103, 4, small, sizeof small) &&
                std::string(small) == "Band",
            "a text cut to the host's buffer, terminated");
    t.check(!in.params->value_to_text(in.plugin, 104, std::nan(""), small, sizeof small) &&
                !in.params->value_to_text(in.plugin, 999, 1, small, sizeof small) &&
                !in.params->value_to_text(in.plugin, 104, 1, small, 0) &&
                !in.params->value_to_text(in.plugin, 104, 1, nullptr, 8),
            "no text for NaN, an unknown id, or no room");

    // Typed values.
    struct Typed {
        clap_id id;
        const char* text;
        std::optional<double> value;
    } const typed[] = {
        {103, "Band Pass", 3},
        {103, " band reject ", 4},
        {103, "2", 2},
        {108, "reversed", 1},
        {108, "Normal", 0},
        {104, "50%", 50},
        {104, "12.5 %", 12.5},
        {104, "12,5", 12.5},
        {105, "500%", 400},
        {106, "-3", 0},
        {101, "25Hz", 0},
        {101, "12.8KHz", 1},
        {101, "1 kHz", std::log2(40.0) / 9.0},
        {103, "Bandpass", std::nullopt},
        {104, "banana", std::nullopt},
        {104, "", std::nullopt},
        {104, "nan", std::nullopt},
        {104, "inf", std::nullopt},
        {999, "1", std::nullopt},
    };
    bool typing = true;
    for (const Typed& c : typed) {
        double got = -1;
        const bool ok = in.params->text_to_value(in.plugin, c.id, c.text, &got);
        const bool right = c.value ? ok && std::fabs(got - *c.value) < 1e-9 : !ok;
        if (!right) note(std::string("typed \"") + c.text + "\": " + (ok ? num(got) : "refused"));
        typing = typing && right;
    }
    t.check(typing && !in.params->text_to_value(in.plugin, 104, nullptr, &v),
            "typed texts: names in any case, numbers, %, Hz and kHz, decimal comma; nonsense "
            "refused");
    bool back = true;
    for (const ParamExpected& p : kParams)
        for (double f : {0.0, 0.137, 0.5, 0.8, 1.0}) {
            const double x = p.stepped ? std::trunc(f * p.max) : f * p.max;
            const std::string text = in.text(p.id, x);
            double y = -1;
            const bool ok = in.params->text_to_value(in.plugin, p.id, text.c_str(), &y);
            if (!ok || in.text(p.id, y) != text) {
                back = false;
                note(std::string(p.name) + ": \"" + text + "\" came back as \"" + in.text(p.id, y) +
                     "\"");
            }
        }
    t.check(back, "every text typed back gives a value that reads the same");
}

// ---- sound against the VST 2 plug-in ---------------------------------------------------------

void checkSound(Tally& t, const Module& m, const Vst2Reference& vst, const Signal& signal) {
    const std::vector<std::vector<std::uint32_t>> blockings{{480}, {1, 17, 4096, 333, 64}, {512}};
    int n = 0;
    for (const Setting& s : settings()) {
        const Stereo reference = vst.render(signal, kRate, s.vst);
        for (const auto& [id, route, name] :
             {std::tuple{kSideChainId, KeyRoute::SideChain, "\"Velmora\" (key on \"Key\")"},
              std::tuple{kKeyLeftId, KeyRoute::LeftChannel, "\"Velmora (Key Left)\""}}) {
            Live live(m, id);
            // Half the settings reach the instance before activation, through
            // flush on the main thread; the others as events at the first frame.
            const bool byFlush = n % 2 == 1;
            if (byFlush) {
                InputEvents in;
                for (const auto& [pid, v] : s.clap) in.value(0, pid, v);
                OutputEvents out;
                live.instance.params->flush(live.instance.plugin, in.list(), out.list());
            }
            const auto& blocks = blockings[static_cast<std::size_t>(n) % blockings.size()];
            std::optional<Stereo> mine;
            if (live.start())
                mine = render(live.instance, signal, route, blocks,
                              byFlush ? std::vector<ValueAt>{} : atStart(s.clap));
            const Comparison c = mine ? compare(*mine, reference) : Comparison{};
            note(std::string(name) + ", " + s.name + (byFlush ? " (set by flush)" : "") +
                 ", blocks " + std::to_string(blocks.front()) + (blocks.size() > 1 ? ".." : "") +
                 ": " + told(c));
            t.check(mine && c.samples == 2 * signal.frames() && c.differing == 0 && c.peak > 0.01f,
                    std::string(name) + " equals the VST 2 plug-in bit for bit: " + s.name);
            ++n;
        }
    }
    // The key port fed nothing: the VST 2 plug-in with a silent key.
    Signal silentKey = signal;
    std::fill(silentKey.key.begin(), silentKey.key.end(), 0.0f);
    const Stereo reference = vst.render(silentKey, kRate, settings()[1].vst);
    Live live(m, kSideChainId);
    std::optional<Stereo> mine;
    if (live.start())
        mine = render(live.instance, signal, KeyRoute::SideChain, {512},
                      atStart(settings()[1].clap), false);
    const Comparison c = mine ? compare(*mine, reference) : Comparison{};
    note("\"Key\" not fed: " + told(c));
    t.check(mine && c.differing == 0 && c.peak > 0.01f,
            "\"Velmora\" with nothing on \"Key\" sounds as the VST 2 plug-in with a silent key");
    // One channel on the stereo input: it is the key and the audio.
    Signal selfKeyed = signal;
    selfKeyed.key = signal.audio;
    const Stereo selfReference = vst.render(selfKeyed, kRate, settings()[1].vst);
    Live mono(m, kKeyLeftId);
    std::optional<Stereo> monoOut;
    if (mono.start())
        monoOut =
            render(mono.instance, signal, KeyRoute::MonoInput, {512}, atStart(settings()[1].clap));
    const Comparison cm = monoOut ? compare(*monoOut, selfReference) : Comparison{};
    note("one input channel: " + told(cm));
    t.check(monoOut && cm.differing == 0 && cm.peak > 0.01f,
            "\"Velmora (Key Left)\" given one channel takes it as key and audio, as the VST 2 "
            "plug-in with the same signal on both inputs");
}

// Value events inside blocks take effect at their frame: the same as the
// VST 2 plug-in with its blocks cut there and the parameter set between.
void checkEvents(Tally& t, const Module& m, const Vst2Reference& vst, const Signal& signal) {
    struct Change {
        std::uint32_t frame;
        clap_id id;
        double plain;
        int index;
        float normalised;
    } const changes[] = {
        {5000, 103, 2, 2, 0.5f},   {12345, 104, 20, 3, 0.2f},     {30001, 101, 0.1, 0, 0.1f},
        {47000, 108, 1, 7, 1.0f},  {60000, 105, 40, 4, 0.1f},     {77777, 106, 80, 5, 0.8f},
        {90000, 107, 5, 6, 0.05f}, {100003, 102, 0.55, 1, 0.55f}, {100003, 103, 4, 2, 0.9f},
        {110500, 108, 0, 7, 0.0f},
    };
    std::vector<ValueAt> events;
    std::vector<Vst2Reference::SetAt> sets;
    for (const Change& c : changes)
        if (c.frame < signal.frames()) {
            events.push_back({c.frame, c.id, c.plain});
            sets.push_back({c.frame, c.index, c.normalised});
        }
    const Stereo reference = vst.render(signal, kRate, {}, sets);
    for (const auto& [id, route, name] :
         {std::tuple{kSideChainId, KeyRoute::SideChain, "\"Velmora\""},
          std::tuple{kKeyLeftId, KeyRoute::LeftChannel, "\"Velmora (Key Left)\""}}) {
        Live live(m, id);
        std::optional<Stereo> mine;
        if (live.start()) mine = render(live.instance, signal, route, {512}, events);
        const Comparison c = mine ? compare(*mine, reference) : Comparison{};
        note(std::string(name) + ", " + std::to_string(events.size()) +
             " value events inside blocks of 512: " + told(c));
        t.check(mine && c.differing == 0 && c.peak > 0.01f,
                std::string(name) + ": events take effect at their frame, as the VST 2 plug-in "
                                    "with its blocks cut there");
    }
    // The same events at the start of their blocks sound otherwise: the
    // frame matters, and the comparison above could tell.
    std::vector<ValueAt> early = events;
    for (ValueAt& e : early) e.frame -= e.frame % 512;
    Live live(m, kSideChainId);
    std::optional<Stereo> moved;
    if (live.start()) moved = render(live.instance, signal, KeyRoute::SideChain, {512}, early);
    const Comparison c = moved ? compare(*moved, reference) : Comparison{};
    note("the events moved to their blocks' starts: " + told(c));
    t.check(moved && c.differing > 0, "events moved to their blocks' starts sound otherwise");
}

// ---- state -----------------------------------------------------------------------------------

void checkState(Tally& t, const Module& m, const Vst2Reference& vst, const Signal& signal) {
    // A state written from the layout's description, with a dial left
    // between two choices (filter type 0.37: "Low").
    const std::vector<std::pair<std::uint32_t, float>> values{
        {101, 0.2f}, {102, 0.95f}, {103, 0.37f}, {104, 0.123f},
        {105, 0.8f}, {106, 0.45f}, {107, 0.7f},  {108, 0.6f}};
    const std::vector<std::uint8_t> crafted = stateBytes(values);
    Live a(m, kSideChainId);
    if (!t.check(a.instance.state != nullptr, "the state extension")) return;
    t.check(a.instance.load(crafted, 1), "a state read one byte per call is taken");
    const std::vector<double> expected{0.2, 0.95, 1.0, 12.3, 320.0, 45.0, 70.0, 1.0};
    bool near = true;
    const std::vector<double> got = allValues(a.instance);
    for (std::size_t i = 0; i < got.size(); ++i)
        near = near && std::fabs(got[i] - expected[i]) < 1e-4;
    t.check(near, "its values reach the host", valuesText(got));
    t.check(a.host.rescans.load() == 1, "the host is asked to read the values again (rescan)");
    const auto saved = a.instance.save(1);
    t.check(saved && *saved == crafted,
            "saved one byte per call, it is the same state, byte for byte");
    {
        // The host sends the choice the dial stands for ("Low", 1): the dial
        // stays where it was left.
        InputEvents same;
        same.value(0, 103, 1.0);
        OutputEvents out;
        a.instance.params->flush(a.instance.plugin, same.list(), out.list());
        t.check(a.instance.save() == crafted,
                "a value event with the choice a dial between two choices stands for leaves it "
                "where it was");
    }
    std::vector<std::pair<int, float>> vstValues;
    for (std::size_t i = 0; i < values.size(); ++i)
        vstValues.push_back({static_cast<int>(i), values[i].second});
    const Stereo reference = vst.render(signal, kRate, vstValues);
    std::optional<Stereo> mine;
    if (a.start()) mine = render(a.instance, signal, KeyRoute::SideChain, {1024});
    Comparison c = mine ? compare(*mine, reference) : Comparison{};
    note("after the crafted state: " + told(c));
    t.check(mine && c.differing == 0 && c.peak > 0.01f,
            "the loaded state sounds as the VST 2 plug-in with the same values");

    // Into a fresh instance of the other plug-in, and back into itself.
    Live b(m, kKeyLeftId);
    t.check(saved && b.instance.load(*saved) && sameValues(allValues(b.instance), got) &&
                b.instance.save() == saved,
            "a fresh instance takes the state: same values, same bytes saved");
    const auto before = a.instance.save();
    const bool reloaded = before && a.instance.load(*before);
    a.instance.deactivate();
    std::optional<Stereo> again;
    if (a.start()) again = render(a.instance, signal, KeyRoute::SideChain, {1024});
    c = mine && again ? compare(*again, *mine) : Comparison{};
    note("render after the round trip against before it: " + told(c));
    t.check(reloaded && again && c.differing == 0 && sameValues(allValues(a.instance), got),
            "a state round trip into the same instance changes nothing: values and sound");
    WriteStream failing(8, 0);
    t.check(!a.instance.state->save(a.instance.plugin, failing.stream()),
            "save into a stream that fails answers false");

    // Hostile streams: each refused, nothing changed.
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> bad;
    bad.push_back({"an empty stream", {}});
    for (std::size_t n : {1u, 4u, 11u, 12u, 40u, 75u})
        bad.push_back({"the state cut to " + std::to_string(n) + " bytes",
                       std::vector<std::uint8_t>(crafted.begin(), crafted.begin() + n)});
    auto withTail = crafted;
    withTail.push_back(0);
    bad.push_back({"the state with a byte more", withTail});
    auto foreign = crafted;
    std::memcpy(foreign.data(), "RIFF", 4);
    bad.push_back({"another tag", foreign});
    bad.push_back({"version 2", stateBytes(values, 2)});
    bad.push_back({"version 0", stateBytes(values, 0)});
    bad.push_back({"7 values counted", stateBytes(values, 1, 7)});
    auto twice = values;
    twice[3].first = 101;
    bad.push_back({"an id twice", stateBytes(twice)});
    auto unknown = values;
    unknown[5].first = 999;
    bad.push_back({"an unknown id", stateBytes(unknown)});
    for (float f : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                    1.5f, -0.25f}) {
        auto wrong = values;
        wrong[2].second = f;
        bad.push_back({"a value " + num(f), stateBytes(wrong)});
    }
    const std::string text = "<?xml version=\"1.0\"?><state plugin=\"other\"/>";
    bad.push_back({"another plug-in's text", std::vector<std::uint8_t>(text.begin(), text.end())});
    std::vector<std::uint8_t> garbage(4096);
    std::uint32_t x = 99;
    for (auto& g : garbage) g = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    bad.push_back({"4096 random bytes", garbage});
    auto garbageTagged = garbage;
    std::memcpy(garbageTagged.data(), "VLMR", 4);
    garbageTagged.resize(crafted.size());
    bad.push_back({"random bytes after the tag", garbageTagged});
    const std::vector<double> held = allValues(a.instance);
    int refused = 0;
    for (const auto& [what, bytes] : bad) {
        const bool taken = a.instance.load(bytes, 7);
        const bool same = sameValues(allValues(a.instance), held) && a.instance.save() == before;
        if (!taken && same)
            ++refused;
        else
            note(what + (taken ? ": taken" : ": changed values"));
    }
    struct Broken {
        const char* what;
        std::optional<int> failAt;
        bool overclaim;
    } const broken[] = {{"a stream that fails at once", 0, false},
                        {"a stream that fails after 3 calls", 3, false},
                        {"a stream that claims more than it was asked", std::nullopt, true}};
    for (const Broken& b : broken) {
        const ReadStream stream(crafted, 8, b.failAt, b.overclaim);
        const bool taken = a.instance.state->load(a.instance.plugin, stream.stream());
        const bool same = sameValues(allValues(a.instance), held);
        if (!taken && same)
            ++refused;
        else
            note(std::string(b.what) + (taken ? ": taken" : ": changed values"));
    }
    const int cases = static_cast<int>(bad.size()) + 3;
    note(std::to_string(refused) + " of " + std::to_string(cases) + " hostile streams refused");
    a.instance.deactivate();
    std::optional<Stereo> after;
    if (a.start()) after = render(a.instance, signal, KeyRoute::SideChain, {1024});
    c = mine && after ? compare(*after, *mine) : Comparison{};
    t.check(refused == cases && after && c.differing == 0,
            "truncated, foreign, garbage and failing streams are refused and change nothing, "
            "values, state or sound");
}

// ---- a hostile host --------------------------------------------------------------------------

clap_process_status processOnce(Instance& in, std::uint32_t frames, InputEvents* events,
                                bool withOutputs = true, bool nullData = false,
                                float* sink = nullptr) {
    std::vector<float> a(frames ? frames : 1, 0.25f), k(frames ? frames : 1, 0.5f);
    std::vector<float> l(frames ? frames : 1), r(frames ? frames : 1);
    float* ins[] = {a.data()};
    float* keys[] = {k.data()};
    float* outs[] = {nullData ? nullptr : l.data(), r.data()};
    clap_audio_buffer inputs[2]{{ins, nullptr, 1, 0, 0}, {keys, nullptr, 1, 0, 0}};
    clap_audio_buffer outputs[1]{{outs, nullptr, 2, 0, 0}};
    clap_process p{};
    p.steady_time = -1;
    p.frames_count = frames;
    p.audio_inputs = inputs;
    p.audio_inputs_count = 2;
    p.audio_outputs = withOutputs ? outputs : nullptr;
    p.audio_outputs_count = withOutputs ? 1 : 0;
    p.in_events = events ? events->list() : nullptr;
    p.out_events = nullptr;
    const clap_process_status s = in.plugin->process(in.plugin, &p);
    if (sink)
        for (std::uint32_t i = 0; i < frames; ++i) sink[i] = l[i] + r[i];
    return s;
}

void checkHostile(Tally& t, const Module& m) {
    {
        Host host;
        Instance in(m, kSideChainId, host);
        t.check(processOnce(in, 64, nullptr) == CLAP_PROCESS_ERROR &&
                    !in.plugin->start_processing(in.plugin),
                "process and start_processing before activate are refused");
        in.plugin->reset(in.plugin);
        in.plugin->deactivate(in.plugin);
        in.plugin->stop_processing(in.plugin);
        in.plugin->on_main_thread(in.plugin);
        if (in.timer) in.timer->on_timer(in.plugin, 77);
        bool refused = true;
        for (double rate :
             {0.0, -44100.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e-300, 1e300})
            refused = refused && !in.plugin->activate(in.plugin, rate, 1, 512);
        t.check(refused, "activate refuses a rate of 0, negative, NaN, infinite, 1e-300, 1e300");
        t.check(in.plugin->activate(in.plugin, 48000, 1, 512) &&
                    !in.plugin->activate(in.plugin, 44100, 1, 512),
                "activate, then a second activate while active is refused");
        t.check(processOnce(in, 64, nullptr, false) == CLAP_PROCESS_ERROR &&
                    processOnce(in, 64, nullptr, true, true) == CLAP_PROCESS_ERROR &&
                    in.plugin->process(in.plugin, nullptr) == CLAP_PROCESS_ERROR,
                "process without outputs, with a null channel or no process record: refused");
        t.check(processOnce(in, 0, nullptr) == CLAP_PROCESS_CONTINUE &&
                    processOnce(in, 100000, nullptr) == CLAP_PROCESS_CONTINUE,
                "blocks of 0 frames and of more than the host announced are processed");
        in.params->flush(in.plugin, nullptr, nullptr);
        in.plugin->deactivate(in.plugin);
        in.plugin->deactivate(in.plugin);
        t.check(in.plugin->activate(in.plugin, 44100, 1, 512),
                "flush with no lists, deactivate twice, then activate again");
        in.plugin->deactivate(in.plugin);
    }
    {
        // Events no host should send, in one block, out of order and beyond
        // it; then the values they leave.
        Live live(m, kSideChainId);
        live.start();
        InputEvents in;
        const std::vector<double> before = allValues(live.instance);
        in.value(10, 999, 0.5);
        in.value(10, CLAP_INVALID_ID, 0.5);
        in.value(20, 104, std::nan(""));
        in.value(20, 105, std::numeric_limits<double>::infinity());
        in.value(30, 105, -std::numeric_limits<double>::infinity());
        in.value(5, 104, 1e300);   // out of order
        in.value(40, 106, -5);     // below the range
        in.value(50, 103, 7.9);    // above the range
        in.value(60, 108, 0.5);    // stepped: cut to 0
        in.value(9999, 107, 12.5); // beyond the block
        clap_event_param_value shortEvent{};
        shortEvent.header = {8, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
        shortEvent.param_id = 101;
        shortEvent.value = 0.0;
        in.add(&shortEvent.header);
        clap_event_param_value foreign{};
        foreign.header = {sizeof foreign, 0, 7, CLAP_EVENT_PARAM_VALUE, 0};
        foreign.param_id = 101;
        in.add(&foreign.header);
        clap_event_note note{};
        note.header = {sizeof note, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_NOTE_ON, 0};
        in.add(&note.header);
        in.add(nullptr);
        std::vector<float> sink(256);
        const clap_process_status s =
            processOnce(live.instance, 256, &in, true, false, sink.data());
        const std::vector<double> after = allValues(live.instance);
        std::vector<double> expected = before;
        expected[3] = 100.0; // 1e300: the top of the range
        expected[5] = 0.0;
        expected[2] = 4.0;
        expected[7] = 0.0;
        expected[6] = 12.5;
        bool finite = true;
        for (float v : sink) finite = finite && std::isfinite(v);
        t.check(s == CLAP_PROCESS_CONTINUE && finite && sameValues(after, expected),
                "unknown ids, NaN and infinite values, malformed and foreign events are ignored; "
                "values out of range are brought into it; the output stays finite",
                valuesText(after));
    }
    {
        Host host;
        Instance in(m, kSideChainId, host);
        const clap_plugin_gui* g = in.gui;
        std::uint32_t w = 0, h = 0;
        clap_window window{};
        window.api = "x11";
        window.x11 = 1;
        t.check(g && !g->set_parent(in.plugin, &window) && !g->get_size(in.plugin, &w, &h) &&
                    !g->show(in.plugin) && !g->hide(in.plugin) && !g->set_scale(in.plugin, 2.0) &&
                    !g->set_size(in.plugin, 390, 158),
                "editor calls before the editor is created are refused");
        g->destroy(in.plugin);
        t.check(!g->create(in.plugin, "cocoa", false) && !g->create(in.plugin, nullptr, false) &&
                    !g->create(in.plugin, Instance::guiApiName(), true) &&
                    !g->is_api_supported(in.plugin, "wayland", false) &&
                    !g->is_api_supported(in.plugin, Instance::guiApiName(), true) &&
                    g->is_api_supported(in.plugin, Instance::guiApiName(), false),
                std::string("the editor embeds in ") + Instance::guiApiName() +
                    " windows only, never floating");
        t.check(g->create(in.plugin, Instance::guiApiName(), false) &&
                    !g->create(in.plugin, Instance::guiApiName(), false) &&
                    !g->can_resize(in.plugin) && !g->set_scale(in.plugin, std::nan("")) &&
                    !g->set_scale(in.plugin, 0) && !g->set_scale(in.plugin, -2) &&
                    !g->set_parent(in.plugin, nullptr),
                "created once; not resizable; no scale NaN, 0 or negative; no null parent");
        clap_window wrong{};
        wrong.api = "cocoa";
        t.check(!g->set_parent(in.plugin, &wrong) && !g->set_transient(in.plugin, &wrong),
                "no parent of another window system, no floating window");
        g->destroy(in.plugin);
        g->destroy(in.plugin);
    }
    {
        // Destroyed while active and processing: the host skipped
        // stop_processing and deactivate.
        Host host;
        const clap_plugin_factory* f = m.factory();
        const clap_plugin* p = f->create_plugin(f, host.record(), kKeyLeftId.c_str());
        const bool ok = p && p->init(p) && p->activate(p, 44100, 1, 512) && p->start_processing(p);
        if (p) p->destroy(p);
        t.check(ok, "an instance destroyed while active and processing goes quietly");
    }
}

// ---- a host with floating-point exceptions unmasked -------------------------------------------

// The calls a host makes, from a thread whose invalid operation, division
// by zero and overflow exceptions are unmasked (as Delphi's runtime leaves
// its threads), with hostile rates, values, events, samples and state: no
// call may trap (a trap ends the host with "trapped: " and the call), and
// each must leave the thread's floating-point controls as it found them.
void checkUnmasked(Tally& t, const Module& m) {
    using validate::FloatingPointState;
    if (!validate::floatingPointStateKnown()) return;
    const FloatingPointState masked = validate::currentFloatingPoint();
    const FloatingPointState delphi = validate::delphiHost(masked);
    static const char* current = nullptr;
    validate::reportTrapsAs(&current);
    int calls = 0;
    std::string changed;
    const auto call = [&](const char* name, const std::function<void()>& f) {
        current = name;
        validate::setFloatingPoint(delphi);
        f();
        const FloatingPointState after = validate::currentFloatingPoint();
        validate::setFloatingPoint(masked);
        current = nullptr;
        ++calls;
        if (!after.sameControls(delphi) && changed.empty())
            changed = std::string(name) + " left " + after.text();
    };
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    for (const std::string& id : {kSideChainId, kKeyLeftId}) {
        Host host;
        const clap_plugin_factory* f = m.factory();
        const clap_plugin* p = nullptr;
        call("create_plugin", [&] { p = f->create_plugin(f, host.record(), id.c_str()); });
        if (!p) {
            t.check(false, "with exceptions unmasked: no instance of " + id);
            return;
        }
        call("init", [&] { p->init(p); });
        const auto* params =
            static_cast<const clap_plugin_params*>(p->get_extension(p, CLAP_EXT_PARAMS));
        const auto* state =
            static_cast<const clap_plugin_state*>(p->get_extension(p, CLAP_EXT_STATE));
        const auto* gui = static_cast<const clap_plugin_gui*>(p->get_extension(p, CLAP_EXT_GUI));
        for (const double rate : {nan, inf, 0.0, 1e300, 1e-300})
            call("activate at a hostile rate", [&] { p->activate(p, rate, 1, 4096); });
        call("activate", [&] { p->activate(p, 3.4e38, 1, 4096); });
        call("start_processing", [&] { p->start_processing(p); });
        for (const double v : {nan, inf, -inf, 1e300, -1e300, 3.4e38}) {
            for (clap_id pid = 101; pid <= 108; ++pid) {
                char text[64];
                double back = 0;
                call("value_to_text", [&] { params->value_to_text(p, pid, v, text, sizeof text); });
                call("text_to_value", [&] { params->text_to_value(p, pid, "nan", &back); });
                call("get_value", [&] { params->get_value(p, pid, &back); });
            }
            InputEvents events;
            for (clap_id pid = 101; pid <= 108; ++pid) events.value(pid, pid, v);
            // Hostile samples in every channel, among ordinary ones.
            for (const float s :
                 {std::nanf(""), std::numeric_limits<float>::infinity(),
                  -std::numeric_limits<float>::infinity(), 3.4028235e38f, -3.4028235e38f, 1e-40f}) {
                std::vector<float> a(512), k(512), l(512), r(512);
                for (std::size_t i = 0; i < a.size(); ++i) {
                    a[i] = i % 3 == 0 ? s : 0.25f * std::sin(0.01f * static_cast<float>(i));
                    k[i] = i % 5 == 0 ? s : 0.5f;
                }
                float* ins[] = {a.data(), k.data()};
                float* keys[] = {k.data()};
                float* outs[] = {l.data(), r.data()};
                const bool sideChain = id == kSideChainId;
                clap_audio_buffer inputs[2]{{ins, nullptr, sideChain ? 1u : 2u, 0, 0},
                                            {keys, nullptr, 1, 0, 0}};
                clap_audio_buffer outputs[1]{{outs, nullptr, 2, 0, 0}};
                clap_process pr{};
                pr.steady_time = -1;
                pr.frames_count = 512;
                pr.audio_inputs = inputs;
                pr.audio_inputs_count = sideChain ? 2 : 1;
                pr.audio_outputs = outputs;
                pr.audio_outputs_count = 1;
                pr.in_events = events.list();
                call("process", [&] { p->process(p, &pr); });
            }
            call("flush", [&] { params->flush(p, events.list(), nullptr); });
        }
        const std::vector<std::uint8_t> garbage(64, 0xFF);
        ReadStream in(garbage, 3);
        call("state load", [&] { state->load(p, in.stream()); });
        if (gui) {
            call("gui create", [&] { gui->create(p, Instance::guiApiName(), false); });
            for (const double scale : {nan, inf, 1e300, 2.0})
                call("gui set_scale", [&] { gui->set_scale(p, scale); });
            call("gui destroy", [&] { gui->destroy(p); });
        }
        call("stop_processing", [&] { p->stop_processing(p); });
        call("deactivate", [&] { p->deactivate(p); });
        call("destroy", [&] { p->destroy(p); });
    }
    t.check(changed.empty(),
            "with exceptions unmasked, " + std::to_string(calls) +
                " calls with hostile rates, values, events, samples and state trap nowhere and "
                "leave the host's floating-point controls as they were",
            changed);
}

// ---- two threads ------------------------------------------------------------------------------

void checkThreads(Tally& t, const Module& m, const Signal& signal) {
    const std::vector<std::pair<std::uint32_t, float>> target{
        {101, 0.4f},  {102, 0.85f}, {103, 0.55f}, {104, 0.3f},
        {105, 0.65f}, {106, 0.2f},  {107, 0.9f},  {108, 0.25f}};
    const auto targetState = stateBytes(target);
    const auto otherState = stateBytes({{101, 0.9f},
                                        {102, 0.1f},
                                        {103, 0.95f},
                                        {104, 0.8f},
                                        {105, 0.1f},
                                        {106, 0.9f},
                                        {107, 0.1f},
                                        {108, 0.8f}});
    Live live(m, kSideChainId);
    if (!live.start(512)) {
        t.check(false, "two threads: the instance starts");
        return;
    }
    std::atomic<bool> stop{false}, finite{true};
    std::atomic<int> blocks{0}, refusedBlocks{0};
    // The audio thread: blocks with automation on every parameter.
    std::thread audio([&] {
        std::uint32_t x = 7;
        std::vector<float> l(512), r(512);
        float* outs[] = {l.data(), r.data()};
        std::vector<float> a(signal.audio.begin(), signal.audio.begin() + 512);
        std::vector<float> k(signal.key.begin(), signal.key.begin() + 512);
        float* ins[] = {a.data()};
        float* keys[] = {k.data()};
        while (!stop) {
            InputEvents in;
            for (int e = 0; e < 4; ++e) {
                x = x * 1664525u + 1013904223u;
                const ParamExpected& p = kParams[(x >> 8) % 8];
                in.value(static_cast<std::uint32_t>(e * 100), p.id,
                         p.max * static_cast<double>((x >> 12) % 1000) / 999.0);
            }
            clap_audio_buffer inputs[2]{{ins, nullptr, 1, 0, 0}, {keys, nullptr, 1, 0, 0}};
            clap_audio_buffer outputs[1]{{outs, nullptr, 2, 0, 0}};
            OutputEvents out;
            clap_process p{};
            p.steady_time = -1;
            p.frames_count = 512;
            p.audio_inputs = inputs;
            p.audio_inputs_count = 2;
            p.audio_outputs = outputs;
            p.audio_outputs_count = 1;
            p.in_events = in.list();
            p.out_events = out.list();
            if (live.instance.plugin->process(live.instance.plugin, &p) != CLAP_PROCESS_CONTINUE)
                ++refusedBlocks;
            for (std::size_t i = 0; i < 512; ++i)
                if (!std::isfinite(l[i]) || !std::isfinite(r[i])) finite = false;
            ++blocks;
        }
    });
    // A second would-be audio thread: flush while process runs, which the
    // interface forbids.
    std::thread intruder([&] {
        while (!stop) {
            InputEvents in;
            in.value(0, 104, 10);
            OutputEvents out;
            live.instance.params->flush(live.instance.plugin, in.list(), out.list());
            std::this_thread::yield();
        }
    });
    // The main thread meanwhile: values, texts, states saved and loaded.
    int loads = 0, saves = 0, texts = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < until || blocks < 200) {
        for (const ParamExpected& p : kParams) {
            const double v = live.instance.value(p.id);
            if (live.instance.text(p.id, v) != "(none)") ++texts;
        }
        if (live.instance.load(loads % 2 ? targetState : otherState, 13)) ++loads;
        if (live.instance.save()) ++saves;
    }
    stop = true;
    audio.join();
    intruder.join();
    note(std::to_string(blocks.load()) + " blocks processed (" + std::to_string(refusedBlocks) +
         " refused while flush held the engine), " + std::to_string(loads) + " states loaded, " +
         std::to_string(saves) + " saved, " + std::to_string(texts) + " texts, meanwhile");
    t.check(finite && loads > 0 && saves > 0,
            "process with automation, flush from another thread, and states, values and texts "
            "on the main thread at once: no crash, the output stays finite");
    // Afterwards the instance is whole: the state loaded last is what it
    // holds and what it plays.
    live.instance.load(targetState);
    std::vector<float> sink(512);
    processOnce(live.instance, 512, nullptr, true, false, sink.data());
    live.instance.deactivate();
    std::optional<Stereo> mine, fresh;
    if (live.start()) mine = render(live.instance, signal, KeyRoute::SideChain, {512});
    Live other(m, kSideChainId);
    other.instance.load(targetState);
    if (other.start()) fresh = render(other.instance, signal, KeyRoute::SideChain, {512});
    const Comparison c = mine && fresh ? compare(*mine, *fresh) : Comparison{};
    t.check(
        live.instance.save() == targetState && mine && fresh && c.differing == 0,
        "after the threads, the instance holds and plays the state loaded last, as a fresh one");

    // Two threads in process at once: the interface forbids it; the
    // instance runs one and refuses the other, and survives.
    Live twice(m, kKeyLeftId);
    twice.start(512);
    std::atomic<int> refused{0}, ran{0};
    const auto hammer = [&] {
        std::vector<float> buf(1024, 0.1f);
        float* io[] = {buf.data(), buf.data() + 512};
        for (int i = 0; i < 3000; ++i) {
            clap_audio_buffer inputs[1]{{io, nullptr, 2, 0, 0}};
            clap_audio_buffer outputs[1]{{io, nullptr, 2, 0, 0}};
            clap_process p{};
            p.frames_count = 512;
            p.audio_inputs = inputs;
            p.audio_inputs_count = 1;
            p.audio_outputs = outputs;
            p.audio_outputs_count = 1;
            if (twice.instance.plugin->process(twice.instance.plugin, &p) == CLAP_PROCESS_CONTINUE)
                ++ran;
            else
                ++refused;
        }
    };
    std::thread one(hammer), two(hammer);
    one.join();
    two.join();
    note(std::to_string(ran) + " blocks ran, " + std::to_string(refused) +
         " refused while the other thread was in process");
    t.check(ran + refused == 6000 && ran > 0, "process on two threads at once: no crash");
}

// ---- the editor --------------------------------------------------------------------------------

void checkEditor(Tally& t, const Module& m) {
    std::unique_ptr<validate::HostWindow> window = validate::HostWindow::create();
    if (!t.check(window != nullptr, "a host window on the display")) return;
    window->pump();
    clap_window parent{};
    parent.api = Instance::guiApiName();
    parent.ptr = window->parent();
    {
        Host host;
        Instance in(m, kKeyLeftId, host);
        const clap_plugin_gui* g = in.gui;
        const char* api = nullptr;
        bool floating = true;
        t.check(g->get_preferred_api(in.plugin, &api, &floating) && api &&
                    std::string(api) == Instance::guiApiName() && !floating,
                "the preferred window system is the platform's, embedded");
        g->create(in.plugin, Instance::guiApiName(), false);
        std::uint32_t w = 0, h = 0;
        struct Size {
            double scale;
            std::uint32_t w, h;
        } const sizes[] = {{1.0, 390, 158},  {1.5, 585, 237}, {2.0, 780, 316}, {3.0, 1170, 474},
                           {1.25, 585, 237}, {0.5, 390, 158}, {2.0, 780, 316}};
        bool scaled = true;
        for (const Size& s : sizes) {
            const bool ok = g->set_scale(in.plugin, s.scale) && g->get_size(in.plugin, &w, &h) &&
                            w == s.w && h == s.h;
            if (!ok)
                note("scale " + num(s.scale) + ": " + std::to_string(w) + " x " +
                     std::to_string(h));
            scaled = scaled && ok;
        }
        t.check(scaled, "get_size answers 390 x 158 at 1x, 585 x 237 at 1.5x, 780 x 316 at 2x, "
                        "1170 x 474 at 3x (1.25 goes to 1.5, 0.5 to 1)");
        clap_gui_resize_hints hints{true, true, true, 1, 1};
        t.check(g->set_size(in.plugin, 780, 316) && !g->set_size(in.plugin, 800, 316) &&
                    g->get_resize_hints(in.plugin, &hints) && !hints.can_resize_horizontally &&
                    !hints.can_resize_vertically && !hints.preserve_aspect_ratio,
                "set_size takes its own size only; the resize hints say it is fixed");
        const bool parented = g->set_parent(in.plugin, &parent) && g->show(in.plugin);
        window->pump();
        t.check(parented && window->childWindows() == 1 && g->get_size(in.plugin, &w, &h) &&
                    w == 780 && h == 316,
                "set_parent and show: one child window in the host's, 780 x 316");
#if !defined(_WIN32)
        t.check(host.timers.size() == 1 && host.timers.begin()->second <= 30,
                "the X11 editor runs on a host timer",
                std::to_string(host.timers.size()) + " timer(s)");
#endif
        for (int i = 0; i < 20; ++i) {
            in.fireTimers(host);
            window->pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
        const int resizes = host.resizeRequests;
        t.check(g->set_scale(in.plugin, 3.0) && g->get_size(in.plugin, &w, &h) && w == 1170 &&
                    h == 474 && host.resizeRequests == resizes + 1 && host.resizeWidth == 1170 &&
                    host.resizeHeight == 474 && window->childWindows() == 1,
                "a new scale while open: the window made again at 3x, the host asked for 1170 x "
                "474");
        t.check(g->hide(in.plugin) && g->show(in.plugin), "hide and show");
        g->destroy(in.plugin);
        window->pump();
        t.check(window->childWindows() == 0 && host.timers.empty(),
                "destroy: no child window and no timer left");
    }
    {
        // A host without timer support: the editor asks for main-thread
        // calls instead, at the same pace.
        Host host(Host::Offers{true, true, false});
        Instance in(m, kSideChainId, host);
        const clap_plugin_gui* g = in.gui;
        const bool ok = g->create(in.plugin, Instance::guiApiName(), false) &&
                        g->set_parent(in.plugin, &parent) && g->show(in.plugin);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        for (int i = 0; i < 5; ++i) in.plugin->on_main_thread(in.plugin);
        window->pump();
#if defined(_WIN32)
        t.check(ok && window->childWindows() == 1, "without host timers the editor opens");
#else
        note(std::to_string(host.callbackRequests) + " main-thread calls asked for in 200 ms");
        t.check(ok && host.callbackRequests >= 3 && window->childWindows() == 1,
                "without host timers the X11 editor asks for main-thread calls");
#endif
        // The instance goes with its editor open.
    }
    window->pump();
    t.check(window->childWindows() == 0,
            "an instance destroyed with its editor open leaves no window");
    {
        // Editors opened and closed: what they held is given back. The first
        // ones may make the window system grow caches of its own, so the
        // count is taken after five and must end there after twenty more.
        std::optional<long> baseline;
        for (int i = 0; i < 25; ++i) {
            Host host;
            Instance in(m, i % 2 ? kSideChainId : kKeyLeftId, host);
            in.gui->create(in.plugin, Instance::guiApiName(), false);
            in.gui->set_parent(in.plugin, &parent);
            in.gui->show(in.plugin);
            in.fireTimers(host);
            window->pump();
            in.gui->destroy(in.plugin);
            window->pump();
            if (i == 4) baseline = window->graphicsObjects();
        }
        const std::optional<long> after = window->graphicsObjects();
        if (baseline && after)
            note("window-system objects after 5 editors: " + std::to_string(*baseline) +
                 ", after 20 more: " + std::to_string(*after));
        t.check(window->childWindows() == 0 && (!baseline || !after || *after <= *baseline),
                "editors opened and destroyed leave no window and no window-system object");
    }
}

} // namespace

int runChecks(const CheckOptions& o) {
    Tally t;
    std::string error;
    std::unique_ptr<Module> m = Module::load(o.clap, error);
    if (!t.check(m != nullptr, "the .clap loads through its entry", error)) {
        std::printf("%d passed, %d failed\n", t.passed, t.failed);
        return 1;
    }
    std::unique_ptr<Vst2Reference> vst = Vst2Reference::load(o.vst, error);
    if (!t.check(vst != nullptr, "the VST 2 plug-in to compare with loads", error)) {
        std::printf("%d passed, %d failed\n", t.passed, t.failed);
        return 1;
    }
    const Signal signal = testSignal(o.seconds, kRate);
    checkFactory(t, *m);
    checkPorts(t, *m);
    checkParams(t, *m, *vst);
    checkSound(t, *m, *vst, signal);
    checkEvents(t, *m, *vst, signal);
    checkState(t, *m, *vst, signal);
    checkHostile(t, *m);
    checkUnmasked(t, *m);
    checkThreads(t, *m, signal);
    if (o.editor) checkEditor(t, *m);
    std::printf("%d passed, %d failed\n", t.passed, t.failed);
    return t.failed == 0 && t.passed > 0 ? 0 : 1;
}

} // namespace claphost
