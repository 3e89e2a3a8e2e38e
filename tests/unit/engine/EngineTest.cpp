// APlugin as the host sees it: construction, parameters, programs,
// descriptions, events, and the signal path as the plug-in runs it (the
// keyed filter itself has its own tests).
#include "SignalSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace enginetest;
using dsp::single;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
float factory(int i) { return kParameters[static_cast<std::size_t>(i)].factoryValue; }

std::string text(const char* s) { return std::string(s); }

} // namespace

// --- Construction -------------------------------------------------------------

TEST(Construction, RecordAndStateAfterMain) {
    editorsAlive = 0;
    Instance in;
    APlugin& fx = *in.effect;
    const AEffect* rec = fx.getAeffect();
    EXPECT_EQ(rec->numPrograms, 16);
    EXPECT_EQ(rec->numParams, 120);
    EXPECT_EQ(rec->numInputs, 2);
    EXPECT_EQ(rec->numOutputs, 2);
    EXPECT_EQ(rec->flags, 25);
    EXPECT_EQ(rec->uniqueID, fourCharCode('V', 'm', 'q', 'z'));
    EXPECT_EQ(editorsAlive, 1);
    EXPECT_EQ(fx.getFs(), 44100.0f);
    EXPECT_EQ(fx.getSampleRate(), 44100.0f);
    EXPECT_EQ(fx.getProgram(), 0);
    EXPECT_TRUE(editorRefreshPending);
    EXPECT_FALSE(fx.isEditorClosed());
    for (int i = 0; i < kNumProgramValues; ++i) {
        const float want = i < 8 ? factory(i) : 0.0f;
        EXPECT_EQ(fx.storedValue(i), want) << i;
        EXPECT_EQ(fx.program(0).fvar[i], want) << i;
        if (i < kNumParams) {
            EXPECT_EQ(fx.getParameter(i), want) << i;
        }
    }
    EXPECT_EQ(fx.getFilterType(), 1);
    EXPECT_EQ(fx.getFilterQ(), single(0.995 * 0.9f));
    EXPECT_EQ(fx.getBoost(), single(3.999 * 0.9f));
    EXPECT_EQ(fx.getSwapStereo(), 0.0f);
    EXPECT_EQ(fx.signal().sampleCount(), 0u);
    EXPECT_EQ(fx.signal().ring().ringNow, 0);
    EXPECT_EQ(fx.signal().ring().ringPrev1, 1);
    EXPECT_EQ(fx.signal().ring().ringPrev2, 2);
    EXPECT_EQ(fx.signal().envelope(), 0.0f);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(fx.signal().section().coef.coefB[i], 0.0f);
        EXPECT_EQ(fx.signal().section().coef.coefA[i], 0.0f);
    }
    // Program 0 was selected through setParameter: one rate request per value.
    EXPECT_EQ(in.count(audioMasterGetSampleRate), kNumProgramValues);
    EXPECT_EQ(text(fx.program(0).name), "Default");
    for (int i = 1; i < kNumPrograms; ++i)
        EXPECT_EQ(text(fx.program(i).name), "Default " + std::to_string(i + 1));
}

TEST(Construction, DestructionFreesTheEditorOnce) {
    editorsAlive = 0;
    {
        Instance in;
        EXPECT_EQ(editorsAlive, 1);
    }
    EXPECT_EQ(editorsAlive, 0);
}

// --- Parameters ----------------------------------------------------------------

TEST(Parameters, DerivedValuesFollowTheMapping) {
    Instance in;
    APlugin& fx = *in.effect;
    fx.setParameter(2, 1.0f);
    EXPECT_EQ(fx.getFilterType(), 4);
    fx.setParameter(2, 0.2f);
    EXPECT_EQ(fx.getFilterType(), 0);
    fx.setParameter(2, 0.21f);
    EXPECT_EQ(fx.getFilterType(), 1);
    fx.setParameter(2, 0.5f);
    EXPECT_EQ(fx.getFilterType(), 2);
    fx.setParameter(2, 0.75f);
    EXPECT_EQ(fx.getFilterType(), 3);
    fx.setParameter(7, 0.5f);
    EXPECT_EQ(fx.getSwapStereo(), 1.0f);
    fx.setParameter(7, 0.4999f);
    EXPECT_EQ(fx.getSwapStereo(), 0.0f);
    fx.setParameter(3, 1.0f);
    EXPECT_EQ(fx.getFilterQ(), 0.995000005f);
    fx.setParameter(4, 1.0f);
    EXPECT_EQ(fx.getBoost(), 3.999f);
    fx.setParameter(6, 0.5f);
    EXPECT_NEAR(fx.getReleaseCoef(), 0.354308f, 1e-6f);
}

TEST(Parameters, AttackAtZeroIsOneUpToOneMegahertz) {
    for (float rate : {8000.0f, 44100.0f, 192000.0f, 1e6f}) {
        Instance in;
        in.host.setRateOnRequest = true;
        in.host.reportedRate = rate;
        in.effect->setParameter(5, 0.0f);
        EXPECT_EQ(in.effect->getFs(), rate);
        EXPECT_EQ(in.effect->getAttackCoef(), 1.0f) << rate;
    }
}

TEST(Parameters, ValuesAreClampedIntoLiveAndProgram) {
    Instance in;
    APlugin& fx = *in.effect;
    fx.setParameter(0, 2.0f);
    EXPECT_EQ(fx.storedValue(0), 1.0f);
    fx.setParameter(0, -1.0f);
    EXPECT_EQ(fx.storedValue(0), 0.0f);
    fx.setParameter(1, kNaN);
    EXPECT_EQ(fx.storedValue(1), 0.0f);
    EXPECT_EQ(fx.program(0).fvar[1], 0.0f);
    fx.setParameter(119, 0.3f);
    EXPECT_EQ(fx.getParameter(119), 0.3f);
    fx.setParameter(120, 0.6f);
    EXPECT_EQ(fx.storedValue(120), 0.6f);
    EXPECT_EQ(fx.getParameter(120), 0.0f);
    EXPECT_EQ(fx.getParameter(500), 0.0f);
    EXPECT_EQ(fx.getParameter(-1), 0.0f);
    EXPECT_EQ(fx.getParameter(-2147483647 - 1), 0.0f);
}

TEST(Parameters, EveryIndexRefreshesRateDerivedValuesAndEditor) {
    Instance in;
    APlugin& fx = *in.effect;
    editorUpdates = 0;
    in.host.clearCalls();
    // A host that tells its new rate only when asked: it sets it during the
    // request that every parameter change makes.
    in.host.setRateOnRequest = true;
    in.host.reportedRate = 96000.0f;
    const float before = fx.getAttackCoef();
    fx.setParameter(10, 0.4f);
    EXPECT_EQ(fx.storedValue(10), 0.4f);
    EXPECT_EQ(fx.program(0).fvar[10], 0.4f);
    EXPECT_EQ(fx.getFs(), 96000.0f);
    EXPECT_EQ(in.count(audioMasterGetSampleRate), 1);
    EXPECT_EQ(editorUpdates, 1);
    EXPECT_EQ(fx.getAttackCoef(), params::envelopeCoefficient(0.5f, 96000.0f));
    EXPECT_NE(fx.getAttackCoef(), before);
}

TEST(Parameters, IndicesOutsideTheStoreAreIgnored) {
    Instance in;
    APlugin& fx = *in.effect;
    editorUpdates = 0;
    in.host.clearCalls();
    fx.setParameter(501, 0.5f);
    fx.setParameter(-1, 0.5f);
    fx.setParameter(1 << 30, 0.5f);
    EXPECT_EQ(editorUpdates, 0);
    EXPECT_EQ(in.count(audioMasterGetSampleRate), 0);
    fx.setParameter(500, 0.5f);
    EXPECT_EQ(fx.storedValue(500), 0.5f);
    EXPECT_EQ(fx.program(0).fvar[500], 0.5f);
}

TEST(Parameters, UnusableHostRatesKeepTheLastValidRate) {
    Instance in;
    APlugin& fx = *in.effect;
    in.host.setRateOnRequest = true;
    in.host.reportedRate = 48000.0f;
    fx.setParameter(5, 0.8f);
    ASSERT_EQ(fx.getFs(), 48000.0f);
    const float attack = fx.getAttackCoef();
    for (float bad : {0.0f, -0.0f, -44100.0f, kNaN, kInf, -kInf, 1e-42f}) {
        in.host.reportedRate = bad;
        fx.setParameter(5, 0.8f);
        EXPECT_EQ(fx.getFs(), 48000.0f) << bad;
        EXPECT_EQ(fx.getAttackCoef(), attack) << bad;
    }
    // The signal path keeps working on the kept rate.
    Block b(4096);
    fillMusic(b, 3);
    b.run(fx);
    for (float y : b.outL) EXPECT_TRUE(std::isfinite(y));
    in.host.reportedRate = 22050.0f;
    fx.setParameter(5, 0.8f);
    EXPECT_EQ(fx.getFs(), 22050.0f);
}

// --- Programs ------------------------------------------------------------------

TEST(Programs, SelectLoadsAndEditsStayInTheirProgram) {
    Instance in;
    APlugin& fx = *in.effect;
    fx.setProgram(5);
    EXPECT_EQ(fx.getProgram(), 5);
    EXPECT_TRUE(editorRefreshPending);
    for (int i = 0; i < kNumProgramValues; ++i) EXPECT_EQ(fx.storedValue(i), 0.0f) << i;
    fx.setProgram(0);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(fx.storedValue(i), factory(i)) << i;
    fx.setProgram(2);
    fx.setParameter(3, 0.2f);
    fx.setProgram(0);
    EXPECT_EQ(fx.storedValue(3), 0.9f);
    fx.setProgram(2);
    EXPECT_EQ(fx.storedValue(3), 0.2f);
    EXPECT_EQ(fx.getParameter(3), 0.2f);
}

TEST(Programs, OutOfRangeSelectionChangesNothingButTheRefreshFlag) {
    Instance in;
    APlugin& fx = *in.effect;
    fx.setProgram(3);
    fx.setParameter(0, 0.125f);
    for (VstInt32 bad : {16, -1, 1000, -2147483647 - 1}) {
        editorRefreshPending = true;
        fx.setProgram(bad);
        EXPECT_FALSE(editorRefreshPending) << bad;
        EXPECT_EQ(fx.getProgram(), 3);
        EXPECT_EQ(fx.storedValue(0), 0.125f);
    }
    // Through the dispatcher a negative number reaches setProgram too.
    fx.dispatcher(effSetProgram, 0, -1, nullptr, 0.0f);
    EXPECT_EQ(fx.getProgram(), 3);
}

TEST(Programs, EditorUpdatesDependOnEditorClosed) {
    Instance in;
    APlugin& fx = *in.effect;
    editorUpdates = 0;
    fx.setProgram(1);
    EXPECT_EQ(editorUpdates, kNumProgramValues + 1);
    fx.setEditorClosed(true);
    editorUpdates = 0;
    fx.setProgram(1);
    // setParameter still calls the glue (it checks the flag itself); the
    // program's own extra update is skipped.
    EXPECT_EQ(editorUpdates, kNumProgramValues);
    char name[] = "Quiet";
    editorUpdates = 0;
    fx.setProgramName(name);
    EXPECT_EQ(editorUpdates, 0);
    fx.setEditorClosed(false);
    fx.setProgramName(name);
    EXPECT_EQ(editorUpdates, 1);
}

TEST(Programs, NamesAreKeptPerProgramAndCutToTheirBuffers) {
    Instance in;
    APlugin& fx = *in.effect;
    fx.setProgram(7);
    char name[] = "Sweeper";
    fx.setProgramName(name);
    char buf[64];
    fx.getProgramName(buf);
    EXPECT_EQ(text(buf), "Sweeper");
    for (int i = 0; i < kNumPrograms; ++i) {
        if (i == 7) continue;
        EXPECT_EQ(text(fx.program(i).name),
                  i == 0 ? "Default" : "Default " + std::to_string(i + 1));
    }
    EXPECT_TRUE(fx.getProgramNameIndexed(0, 3, buf));
    EXPECT_EQ(text(buf), "Default 4");
    std::memcpy(buf, "untouched", 10);
    EXPECT_FALSE(fx.getProgramNameIndexed(0, 16, buf));
    EXPECT_FALSE(fx.getProgramNameIndexed(0, -1, buf));
    EXPECT_EQ(text(buf), "untouched");
    // A long name is read no further than the interface's program-name
    // buffer, which is also what reaches the host.
    std::string longName(100, 'x');
    for (int i = 0; i < 100; ++i) longName[i] = char('a' + i % 26);
    fx.setProgramName(longName.data());
    EXPECT_EQ(text(fx.program(7).name), longName.substr(0, kVstMaxProgNameLen - 1));
    char host[kVstMaxProgNameLen + 8];
    std::memset(host, '#', sizeof host);
    fx.getProgramName(host);
    EXPECT_EQ(text(host), longName.substr(0, kVstMaxProgNameLen - 1));
    EXPECT_EQ(host[kVstMaxProgNameLen], '#');
    std::memset(host, '#', sizeof host);
    EXPECT_TRUE(fx.getProgramNameIndexed(0, 7, host));
    EXPECT_EQ(text(host), longName.substr(0, kVstMaxProgNameLen - 1));
    EXPECT_EQ(host[kVstMaxProgNameLen], '#');
}

// --- Descriptions and events ----------------------------------------------------

TEST(Descriptions, NamesVendorAndCapabilities) {
    Instance in;
    APlugin& fx = *in.effect;
    char buf[64];
    for (const ParameterInfo& p : kParameters) {
        std::memset(buf, 0, sizeof buf);
        fx.dispatcher(effGetParamName, p.index, 0, buf, 0.0f);
        EXPECT_EQ(text(buf), p.hostName);
    }
    for (int i : {8, 12, 119, -1, 5000}) {
        std::strcpy(buf, "keep");
        fx.getParameterName(i, buf);
        EXPECT_EQ(text(buf), "keep") << i;
        fx.getParameterLabel(i, buf);
        EXPECT_EQ(text(buf), "") << i;
        // The display always writes: the value of a stored-only parameter,
        // nothing for an index that is no parameter.
        std::strcpy(buf, "keep");
        fx.dispatcher(effGetParamDisplay, i, 0, buf, 0.0f);
        EXPECT_EQ(text(buf), i >= 0 && i < kNumParams ? "0.000" : "") << i;
    }
    EXPECT_EQ(fx.dispatcher(effGetEffectName, 0, 0, buf, 0.0f), 1);
    EXPECT_EQ(text(buf), "Velmora");
    EXPECT_EQ(fx.dispatcher(effGetVendorString, 0, 0, buf, 0.0f), 1);
    EXPECT_EQ(text(buf), "Pemberly");
    EXPECT_EQ(fx.dispatcher(effGetProductString, 0, 0, buf, 0.0f), 1);
    EXPECT_EQ(text(buf), "Velmora");
    EXPECT_EQ(fx.dispatcher(effGetVendorVersion, 0, 0, nullptr, 0.0f), 1);
    for (auto [cap, answer] :
         {std::pair{"receiveVstEvents", 1}, std::pair{"receiveVstMidiEvent", 1},
          std::pair{"receivevstmidievent", -1}, std::pair{"receiveVstMidiEvents", -1},
          std::pair{"", -1}, std::pair{"sendVstEvents", -1}}) {
        std::string s = cap;
        EXPECT_EQ(fx.dispatcher(effCanDo, 0, 0, s.data(), 0.0f), answer) << cap;
    }
}

TEST(Descriptions, OutputPins) {
    Instance in;
    APlugin& fx = *in.effect;
    VstPinProperties p;
    std::memset(&p, 0x5A, sizeof p);
    EXPECT_EQ(fx.dispatcher(effGetOutputProperties, 1, 0, &p, 0.0f), 1);
    EXPECT_EQ(text(p.label), "Vmqz 2");
    EXPECT_EQ(p.flags, 3);
    EXPECT_TRUE(fx.getOutputProperties(0, &p));
    EXPECT_EQ(text(p.label), "Vmqz 1");
    for (VstInt32 bad : {2, 3, -1}) {
        VstPinProperties q, before;
        std::memset(&q, 0x33, sizeof q);
        before = q;
        EXPECT_FALSE(fx.getOutputProperties(bad, &q)) << bad;
        EXPECT_EQ(std::memcmp(&q, &before, sizeof q), 0) << bad;
    }
}

TEST(Descriptions, ResumeAsksForMidiAndVuStaysZero) {
    Instance in;
    APlugin& fx = *in.effect;
    in.host.clearCalls();
    fx.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
    fx.dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
    fx.dispatcher(effMainsChanged, 0, 7, nullptr, 0.0f);
    ASSERT_EQ(in.count(audioMasterWantMidi), 2);
    for (const auto& c : in.host.calls())
        if (c.opcode == audioMasterWantMidi) {
            EXPECT_EQ(c.value, 1);
        }
    Block b(512);
    fillMusic(b, 1);
    b.run(fx);
    EXPECT_EQ(fx.getVu(), 0.0f);
    EXPECT_EQ(fx.dispatcher(effGetVu, 0, 0, nullptr, 0.0f), 0);
}

namespace {
VstMidiEvent midi(unsigned char status, unsigned char data1) {
    VstMidiEvent e{};
    e.type = kVstMidiType;
    e.byteSize = sizeof e;
    e.midiData[0] = char(status);
    e.midiData[1] = char(data1);
    return e;
}
struct EventList {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[8];
};
} // namespace

TEST(Events, OnlyControlChangesAndPitchBendRefreshTheEditor) {
    Instance in;
    APlugin& fx = *in.effect;
    VstMidiEvent noteOn = midi(0x90, 60), cc126 = midi(0xB3, 126), cc7 = midi(0xB0, 7),
                 bend = midi(0xE5, 0), noteOff = midi(0x80, 60);
    VstEvent sysex{};
    sysex.type = kVstSysExType;
    EventList quiet{4,
                    0,
                    {reinterpret_cast<VstEvent*>(&noteOn), reinterpret_cast<VstEvent*>(&cc126),
                     &sysex, reinterpret_cast<VstEvent*>(&noteOff)}};
    editorUpdates = 0;
    EXPECT_EQ(fx.dispatcher(effProcessEvents, 0, 0, &quiet, 0.0f), 1);
    EXPECT_EQ(editorUpdates, 0);
    EventList loud{3,
                   0,
                   {reinterpret_cast<VstEvent*>(&cc7), reinterpret_cast<VstEvent*>(&cc7),
                    reinterpret_cast<VstEvent*>(&bend)}};
    EXPECT_EQ(fx.dispatcher(effProcessEvents, 0, 0, &loud, 0.0f), 1);
    EXPECT_EQ(editorUpdates, 3);
    // Count 0 or below processes nothing; a null reference is skipped.
    EventList none{-1, 0, {reinterpret_cast<VstEvent*>(&cc7)}};
    EXPECT_EQ(fx.processEvents(reinterpret_cast<VstEvents*>(&none)), 1);
    EventList holes{2, 0, {nullptr, reinterpret_cast<VstEvent*>(&cc7)}};
    EXPECT_EQ(fx.processEvents(reinterpret_cast<VstEvents*>(&holes)), 1);
    EXPECT_EQ(editorUpdates, 4);
    // No event changes a parameter.
    for (int i = 0; i < 8; ++i) EXPECT_EQ(fx.storedValue(i), factory(i));
}

// --- Signal path -------------------------------------------------------------------

TEST(SignalPath, NothingHappensWithoutFramesOrBuffers) {
    Instance in;
    APlugin& fx = *in.effect;
    Block b(64);
    fillMusic(b, 2);
    b.run(fx, 0, 0);
    float* in2[2] = {b.inL.data(), b.inR.data()};
    float* out2[2] = {b.outL.data(), b.outR.data()};
    fx.processReplacing(in2, out2, -5);
    fx.processReplacing(nullptr, out2, 64);
    fx.processReplacing(in2, nullptr, 64);
    float* half[2] = {b.inL.data(), nullptr};
    fx.processReplacing(half, out2, 64);
    fx.processReplacing(in2, half, 64);
    EXPECT_EQ(fx.signal().sampleCount(), 0u);
    EXPECT_EQ(fx.signal().ring().ringNow, 0);
    for (float y : b.outL) EXPECT_EQ(y, -7.0f);
    // The accumulating entry leaves the outputs as they were.
    fx.process(in2, out2, 64);
    for (float y : b.outR) EXPECT_EQ(y, -7.0f);
}

TEST(SignalPath, ChangesBetweenBlocksApplyFromTheNextFrameOrRedesign) {
    Instance in;
    APlugin& fx = *in.effect;
    ReferencePath ref(fx.storedControls());
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    int mismatches = 0;
    long frames = 0;
    for (int block = 0; block < 600; ++block) {
        // Settings change between blocks: the next frame hears parameters 4
        // to 7, the next redesign parameters 0 to 3.
        for (int c = int(rng() % 3); c > 0; --c) fx.setParameter(int(rng() % 8), unit(rng));
        ref.reload(fx.storedControls());
        const int n = 1 + int(rng() % 150);
        Block x(n);
        fillMusic(x, 1000 + block);
        x.run(fx);
        for (int i = 0; i < n; ++i) {
            const float want = ref.step(x.inL[i], x.inR[i]);
            if (x.outL[i] != want || x.outR[i] != want) ++mismatches;
        }
        frames += n;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(fx.signal().sampleCount(), static_cast<std::uint32_t>(frames));
}

TEST(SignalPath, SharedAndCrossedBuffersGiveTheSameOutput) {
    // The outputs are written while the block still runs, a few frames
    // behind the frames being read: whichever input buffer the host hands
    // back as which output, every frame must come out as from separate
    // buffers, in whole blocks and in uneven ones, with either input as key.
    const int sizes[] = {3000, 512, 33, 1, 96, 7, 1024, 64};
    for (float swap : {0.0f, 1.0f}) {
        for (bool crossed : {false, true}) {
            for (bool whole : {true, false}) {
                Instance a, b;
                a.effect->setParameter(kParamSwapStereo, swap);
                b.effect->setParameter(kParamSwapStereo, swap);
                Block x(3000);
                fillMusic(x, 5);
                std::vector<float> l = x.inL, r = x.inR;
                for (int at = 0, i = 0; at < 3000; ++i) {
                    const int n = whole ? 3000 : std::min(sizes[i % 8], 3000 - at);
                    x.run(*a.effect, at, n);
                    float* in[2] = {l.data() + at, r.data() + at};
                    float* out[2] = {in[crossed ? 1 : 0], in[crossed ? 0 : 1]};
                    b.effect->processReplacing(in, out, n);
                    at += n;
                }
                const std::string arrangement = std::string(crossed ? "crossed" : "shared") +
                                                (whole ? ", one block" : ", uneven blocks") +
                                                (swap != 0.0f ? ", swapped" : "");
                EXPECT_EQ(crossed ? r : l, x.outL) << arrangement;
                EXPECT_EQ(crossed ? l : r, x.outR) << arrangement;
                EXPECT_NE(x.outL, std::vector<float>(3000, -7.0f)) << arrangement;
            }
        }
    }
}

TEST(SignalPath, ARateFromTheHostTakesEffectAtOnce) {
    Instance in;
    APlugin& fx = *in.effect;
    const float attack = fx.getAttackCoef(), release = fx.getReleaseCoef();
    const int updates = editorUpdates;
    const int requests = in.count(audioMasterGetSampleRate);
    fx.dispatcher(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    EXPECT_EQ(fx.getFs(), 96000.0f);
    EXPECT_EQ(fx.getReleaseCoef(), params::envelopeCoefficient(0.5f, 96000.0f));
    EXPECT_LT(fx.getReleaseCoef(), release);
    EXPECT_EQ(fx.getAttackCoef(), params::envelopeCoefficient(0.5f, 96000.0f));
    EXPECT_NE(fx.getAttackCoef(), attack);
    EXPECT_EQ(editorUpdates, updates) << "a rate is no parameter change for the editor";
    EXPECT_EQ(in.count(audioMasterGetSampleRate), requests) << "the host is not asked again";
    // Rates that cannot be designed for keep the last usable one.
    for (float bad : {0.0f, -1.0f, kNaN, kInf, 1e-40f}) {
        fx.dispatcher(effSetSampleRate, 0, 0, nullptr, bad);
        EXPECT_EQ(fx.getFs(), 96000.0f) << bad;
    }
    fx.dispatcher(effSetBlockSizeAndSampleRate, 0, 256, nullptr, 48000.0f);
    EXPECT_EQ(fx.getFs(), 48000.0f);
    EXPECT_EQ(fx.getReleaseCoef(), params::envelopeCoefficient(0.5f, 48000.0f));
}
