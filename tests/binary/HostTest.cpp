// Host-level tests: load the built plug-in binary through its exported
// `main`, as a host does, and check what a host can see of it.
//   host_tests PLUGIN [gtest options]
#include "tools/host/VstHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

#include <psapi.h> // needs windows.h first
#else
#include <malloc.h>
#endif

namespace {

std::string pluginPath;

// Wine maps the Unix root to drive Z:; a Unix path from CTest needs it.
std::string nativePath(const std::string& p) {
#if defined(_WIN32)
    if (!p.empty() && p[0] == '/') return "Z:" + p;
#endif
    return p;
}

class PluginTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        library = vhost::Library::load(nativePath(pluginPath), &error);
        ASSERT_NE(library, nullptr) << pluginPath << ": " << error;
    }
    static void TearDownTestSuite() { library.reset(); }

    std::unique_ptr<vhost::Host> openHost() {
        auto host = std::make_unique<vhost::Host>(library->mainEntry());
        EXPECT_NE(host->open(), nullptr);
        return host;
    }

    static std::unique_ptr<vhost::Library> library;
};
std::unique_ptr<vhost::Library> PluginTest::library;

template <typename T> T readAt(const AEffect* e, std::size_t offset) {
    T v;
    std::memcpy(&v, reinterpret_cast<const unsigned char*>(e) + offset, sizeof v);
    return v;
}

// The record as the host reads it: offset on 32-bit x86, offset in the
// 64-bit layout, width, and the value (pointers: only that they are set).
struct RecordField {
    const char* name;
    std::size_t offset32, offset64, width;
    enum Kind { Int, Float, SetPointer, NullPointer } kind;
    std::int64_t value;
};
constexpr RecordField kRecord[] = {
    {"magic", 0, 0, 4, RecordField::Int, 0x56737450},
    {"dispatcher", 4, 8, sizeof(void*), RecordField::SetPointer, 0},
    {"process", 8, 16, sizeof(void*), RecordField::SetPointer, 0},
    {"setParameter", 12, 24, sizeof(void*), RecordField::SetPointer, 0},
    {"getParameter", 16, 32, sizeof(void*), RecordField::SetPointer, 0},
    {"numPrograms", 20, 40, 4, RecordField::Int, 16},
    {"numParams", 24, 44, 4, RecordField::Int, 120},
    {"numInputs", 28, 48, 4, RecordField::Int, 2},
    {"numOutputs", 32, 52, 4, RecordField::Int, 2},
    {"flags", 36, 56, 4, RecordField::Int, 25},
    {"resvd1", 40, 64, sizeof(void*), RecordField::NullPointer, 0},
    {"resvd2", 44, 72, sizeof(void*), RecordField::NullPointer, 0},
    {"initialDelay", 48, 80, 4, RecordField::Int, 0},
    {"realQualities", 52, 84, 4, RecordField::Int, 0},
    {"offQualities", 56, 88, 4, RecordField::Int, 0},
    {"ioRatio", 60, 92, 4, RecordField::Float, 0x3F800000},
    {"object", 64, 96, sizeof(void*), RecordField::SetPointer, 0},
    {"user", 68, 104, sizeof(void*), RecordField::NullPointer, 0},
    {"uniqueID", 72, 112, 4, RecordField::Int, 0x566D717A},
    {"version", 76, 116, 4, RecordField::Int, 1},
    {"processReplacing", 80, 120, sizeof(void*), RecordField::SetPointer, 0},
};
constexpr std::size_t kFutureOffset32 = 84, kFutureOffset64 = 128, kFutureBytes = 60;
constexpr bool k32 = sizeof(void*) == 4;

TEST_F(PluginTest, RecordReadsByteForByteAtTheTableOffsets) {
    auto host = openHost();
    const AEffect* e = host->effect();
    for (const auto& f : kRecord) {
        std::size_t at = k32 ? f.offset32 : f.offset64;
        switch (f.kind) {
        case RecordField::Int:
        case RecordField::Float:
            EXPECT_EQ(readAt<std::uint32_t>(e, at), static_cast<std::uint32_t>(f.value)) << f.name;
            break;
        case RecordField::SetPointer:
            EXPECT_NE(readAt<std::uintptr_t>(e, at), 0u) << f.name;
            break;
        case RecordField::NullPointer:
            EXPECT_EQ(readAt<std::uintptr_t>(e, at), 0u) << f.name;
            break;
        }
    }
    std::size_t future = k32 ? kFutureOffset32 : kFutureOffset64;
    for (std::size_t i = 0; i < kFutureBytes; ++i)
        EXPECT_EQ(readAt<unsigned char>(e, future + i), 0) << "future byte " << i;
    if (k32) {
        EXPECT_EQ(kFutureOffset32 + kFutureBytes, 144u);
    }
    // Two instances have two records and two objects.
    auto other = openHost();
    EXPECT_NE(other->effect(), host->effect());
    EXPECT_NE(other->effect()->object, host->effect()->object);
}

TEST_F(PluginTest, AnswersVersionIdentifyAndDescriptions) {
    auto host = openHost();
    EXPECT_EQ(host->dispatch(effGetVstVersion), 2200);
    EXPECT_EQ(host->dispatch(effIdentify), 0x4E764566);
    EXPECT_EQ(host->dispatch(effGetPlugCategory), 0);
    EXPECT_EQ(host->dispatch(effKeysRequired), 1);
    EXPECT_EQ(host->dispatch(effCanBeAutomated, 3), 1);
    EXPECT_EQ(host->getProgram(), 0);
    // The version request was the first thing main asked.
    auto calls = host->calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].opcode, audioMasterVersion);
    EXPECT_EQ(calls[0].effect, nullptr);
}

// The separator the user's locale gives numbers: on Linux the locale this
// test chooses for the instances it makes next, on Windows the user's.
std::string chooseSeparator() {
#if defined(_WIN32)
    wchar_t wide[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, wide, 8) <= 0 || !wide[0]) return ".";
    char text[32] = {};
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
#else
    // A locale with a decimal comma (the set-up installs it).
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    return ",";
#endif
}

// Hosts show this text in their generic editors and automation lanes, often
// out of one buffer that they reuse for every parameter: each answer must
// write its own text, the one the editor's read-out shows.
TEST_F(PluginTest, ParameterDisplayWritesTheReadoutTextEveryTime) {
    const std::string sep = chooseSeparator();
    auto host = openHost();
#if !defined(_WIN32)
    unsetenv("LC_ALL");
#endif
    char buffer[64];
    auto display = [&](VstInt32 index) {
        std::strcpy(buffer, "stale text from before");
        host->dispatch(effGetParamDisplay, index, 0, buffer);
        return std::string(buffer);
    };
    // The factory values of program 0.
    const std::string factory[] = {
        "2" + sep + "7KHz", "12" + sep + "8KHz", "Low", "90%", "360%", "50%", "50%", "Normal"};
    for (VstInt32 i = 0; i < 8; ++i) EXPECT_EQ(display(i), factory[i]) << i;
    host->setParameter(0, 0.5f);
    host->setParameter(2, 0.75f);
    host->setParameter(3, 0.355f);
    host->setParameter(4, 0.1f);
    host->setParameter(7, 0.6f);
    EXPECT_EQ(display(0), "566Hz");
    EXPECT_EQ(display(2), "Band Pass");
    EXPECT_EQ(display(3), "35" + sep + "5%");
    EXPECT_EQ(display(4), "40%");
    EXPECT_EQ(display(7), "Reversed");
    // Stored-only parameters show their plain value; no parameter, nothing.
    host->setParameter(8, 0.25f);
    EXPECT_EQ(display(8), "0" + sep + "250");
    EXPECT_EQ(display(119), "0" + sep + "000");
    EXPECT_EQ(display(120), "");
    // The unit is in the text; the label stays empty.
    std::strcpy(buffer, "stale");
    host->dispatch(effGetParamLabel, 3, 0, buffer);
    EXPECT_STREQ(buffer, "");
}

TEST_F(PluginTest, HostAnsweringZeroToVersionGetsNoInstance) {
    vhost::Host host(library->mainEntry());
    host.versionAnswer = 0;
    EXPECT_EQ(host.open(), nullptr);
    auto calls = host.calls();
    ASSERT_EQ(calls.size(), 1u) << "nothing but the version request";
    EXPECT_EQ(calls[0].opcode, audioMasterVersion);
}

TEST_F(PluginTest, NullCallbackGetsNoInstanceInsteadOfACrash) {
    EXPECT_EQ(library->mainEntry()(nullptr), nullptr);
}

TEST_F(PluginTest, NullPointerOpcodesAnswerZeroWithoutCrashing) {
    auto host = openHost();
    const VstInt32 opcodes[] = {effSetProgramName,
                                effGetProgramName,
                                effGetParamLabel,
                                effGetParamDisplay,
                                effGetParamName,
                                effEditGetRect,
                                effGetChunk,
                                effSetChunk,
                                effProcessEvents,
                                effString2Parameter,
                                effGetProgramNameIndexed,
                                effGetInputProperties,
                                effGetOutputProperties,
                                effGetEffectName,
                                effGetVendorString,
                                effGetProductString,
                                effCanDo,
                                effGetMidiKeyName,
                                effGetMidiProgramName};
    for (VstInt32 op : opcodes) EXPECT_EQ(host->dispatch(op, 0, 0, nullptr), 0) << op;
    // "No current MIDI program" is -1, with a record or without one.
    EXPECT_EQ(host->dispatch(effGetCurrentMidiProgram, 0, 0, nullptr), -1);
    // The record passes through untouched; any buffer of its size will do.
    alignas(8) unsigned char record[256] = {};
    EXPECT_EQ(host->dispatch(effGetCurrentMidiProgram, 0, 0, &record), -1);
    // The instance still works afterwards.
    EXPECT_EQ(host->dispatch(effGetVstVersion), 2200);
}

TEST_F(PluginTest, AProgramNumberMustFitInThirtyTwoBits) {
    if constexpr (sizeof(VstIntPtr) == 8) {
        auto host = openHost();
        // Its low half reads 3; the host did not ask for program 3.
        host->dispatch(effSetProgram, 0, static_cast<VstIntPtr>(0xFFFFFFFF00000003ull));
        EXPECT_EQ(host->getProgram(), 0);
        EXPECT_EQ(host->getParameter(0), 0.75f) << "program 3 would have loaded 0.0";
        host->setProgram(3);
        EXPECT_EQ(host->getProgram(), 3);
    } else {
        GTEST_SKIP() << "value is 32 bits wide in this build";
    }
}

// Renders `frames` frames of a keyed test signal (bursts on the left, a
// chord on the right), continuing at frame `start`, in blocks of 512.
std::vector<float> renderKeyed(vhost::Host& host, int start, int frames) {
    std::vector<float> out(static_cast<std::size_t>(frames));
    std::vector<float> l(512), r(512), o0(512), o1(512);
    for (int done = 0; done < frames;) {
        const int n = std::min(512, frames - done);
        for (int i = 0; i < n; ++i) {
            const int t = start + done + i;
            const float burst = (t % 6000) < 1500 ? 0.8f : 0.02f;
            l[i] = burst * std::sin(0.3f * static_cast<float>(t));
            r[i] = 0.3f * (std::sin(0.031f * static_cast<float>(t)) +
                           std::sin(0.047f * static_cast<float>(t)));
        }
        float* in[2] = {l.data(), r.data()};
        float* outs[2] = {o0.data(), o1.data()};
        host.processReplacing(in, outs, n);
        std::copy(o0.begin(), o0.begin() + n, out.begin() + done);
        done += n;
    }
    return out;
}

TEST_F(PluginTest, ANewSampleRateTakesEffectWithoutAParameterChange) {
    constexpr int kFrames = 24000;
    // The reference: the rate, then a parameter change that recomputes
    // everything (index 10 acts on nothing), as hosts used to need.
    auto reference = [&](auto setRate) {
        auto host = openHost();
        host->sampleRateAnswer = 96000;
        setRate(*host);
        host->setParameter(10, 0.0f);
        host->resume();
        return renderKeyed(*host, 0, kFrames);
    };
    auto bySampleRate = [](vhost::Host& h) { h.setSampleRate(96000.0f); };
    auto byBoth = [](vhost::Host& h) {
        h.dispatch(effSetBlockSizeAndSampleRate, 0, 256, nullptr, 96000.0f);
    };
    const std::vector<float> want = reference(bySampleRate);
    EXPECT_EQ(reference(byBoth), want);
    for (auto setRate : {+bySampleRate, +byBoth}) {
        auto host = openHost();
        host->sampleRateAnswer = 96000;
        setRate(*host);
        host->resume();
        EXPECT_EQ(renderKeyed(*host, 0, kFrames), want);
    }
    auto at44100 = openHost();
    at44100->resume();
    EXPECT_NE(renderKeyed(*at44100, 0, kFrames), want) << "the rate must make a difference";
}

TEST_F(PluginTest, ARateChangedWhileSuspendedHoldsFromTheResume) {
    constexpr int kFrames = 12000;
    auto session = [&](bool newRate, bool parameterAfter) {
        auto host = openHost();
        host->resume();
        std::vector<float> out = renderKeyed(*host, 0, kFrames);
        host->suspend();
        if (newRate) host->setSampleRate(48000.0f);
        if (parameterAfter) host->setParameter(10, 0.0f);
        host->resume();
        const std::vector<float> second = renderKeyed(*host, kFrames, kFrames);
        out.insert(out.end(), second.begin(), second.end());
        return out;
    };
    const std::vector<float> want = session(true, true);
    EXPECT_EQ(session(true, false), want);
    EXPECT_NE(session(false, false), want) << "the rate must make a difference";
}

std::size_t heapInUse() {
#if defined(_WIN32)
    PROCESS_MEMORY_COUNTERS_EX counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    return counters.PrivateUsage;
#else
    return mallinfo2().uordblks;
#endif
}

TEST_F(PluginTest, CloseAnswersOneAndReleasesTheInstance) {
    {
        auto host = openHost();
        EXPECT_EQ(host->close(), 1);
        EXPECT_EQ(host->effect(), nullptr);
    }
    // An instance holds about 35 KB of parameter storage; 1500 of them not
    // freed would be over 50 MB. Open and close them and watch the heap.
    for (int i = 0; i < 50; ++i) openHost()->close(); // let the allocator settle
    std::size_t before = heapInUse();
    for (int i = 0; i < 1500; ++i) {
        vhost::Host host(library->mainEntry());
        ASSERT_NE(host.open(), nullptr);
        ASSERT_EQ(host.close(), 1);
    }
    std::size_t after = heapInUse();
    EXPECT_LT(after, before + 8 * 1024 * 1024) << "before " << before << ", after " << after;
}

#if defined(_WIN32)
// Reads the names in the DLL's export directory from the file itself.
std::vector<std::string> exportedNames(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> f((std::istreambuf_iterator<char>(in)), {});
    auto u16 = [&](std::size_t o) { return std::uint32_t(f.at(o) | (f.at(o + 1) << 8)); };
    auto u32 = [&](std::size_t o) { return u16(o) | (u16(o + 2) << 16); };
    std::size_t pe = u32(0x3C);
    std::size_t sections = u16(pe + 6), optSize = u16(pe + 20), opt = pe + 24;
    bool pe32plus = u16(opt) == 0x20B;
    std::size_t dirs = opt + (pe32plus ? 112 : 96);
    std::uint32_t exportRva = u32(dirs);
    auto toOffset = [&](std::uint32_t rva) -> std::size_t {
        std::size_t sec = opt + optSize;
        for (std::size_t i = 0; i < sections; ++i, sec += 40) {
            std::uint32_t va = u32(sec + 12), size = u32(sec + 16), raw = u32(sec + 20);
            if (rva >= va && rva < va + size) return raw + (rva - va);
        }
        throw std::runtime_error("rva outside every section");
    };
    std::vector<std::string> names;
    if (exportRva == 0) return names;
    std::size_t dir = toOffset(exportRva);
    std::uint32_t numNames = u32(dir + 24), namesRva = u32(dir + 32);
    for (std::uint32_t i = 0; i < numNames; ++i) {
        std::size_t at = toOffset(u32(toOffset(namesRva) + 4 * i));
        names.emplace_back(reinterpret_cast<const char*>(&f[at]));
    }
    return names;
}

TEST_F(PluginTest, ExportsExactlyMain) {
    std::vector<std::string> names = exportedNames(nativePath(pluginPath));
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], "main");
}
#else
TEST_F(PluginTest, ExportsMainAndVSTPluginMain) {
    ASSERT_NE(library->symbol("main"), nullptr);
    auto linuxEntry = reinterpret_cast<vhost::MainProc>(library->symbol("VSTPluginMain"));
    ASSERT_NE(linuxEntry, nullptr);
    vhost::Host host(linuxEntry);
    ASSERT_NE(host.open(), nullptr);
    EXPECT_EQ(host.effect()->uniqueID, 0x566D717A);
    EXPECT_EQ(library->symbol("velmoraMain"), nullptr) << "internal names stay hidden";
}
#endif

#if defined(__i386__)
// Calls `fn` with `n` 32-bit stack arguments and reports how many argument
// bytes were still on the stack when it returned: 4n for the C calling
// convention (the caller removes them), 0 if the callee had removed them.
struct CallResult {
    std::uint32_t eax;
    std::uint32_t bytesLeft;
};
__attribute__((noinline)) CallResult callCounting(void* fn, const std::uint32_t* args, int n) {
    std::uint32_t eax, left;
    int count = n;
    const std::uint32_t* a = args;
    __asm__ volatile("movl %%esp, %%esi\n\t"
                     "1:\n\t"
                     "testl %%ecx, %%ecx\n\t"
                     "jz 2f\n\t"
                     "pushl -4(%%edx,%%ecx,4)\n\t"
                     "decl %%ecx\n\t"
                     "jmp 1b\n\t"
                     "2:\n\t"
                     "call *%%ebx\n\t"
                     "movl %%esi, %%edi\n\t"
                     "subl %%esp, %%edi\n\t"
                     "movl %%esi, %%esp\n\t"
                     : "=a"(eax), "=D"(left), "+c"(count), "+d"(a)
                     : "b"(fn)
                     : "esi", "memory", "cc");
    return {eax, left};
}

// The same for a function returning a float on the x87 stack, which is popped.
__attribute__((noinline)) std::uint32_t callCountingFloat(void* fn, const std::uint32_t* args,
                                                          int n, float* result) {
    std::uint32_t left;
    int count = n;
    const std::uint32_t* a = args;
    float r;
    __asm__ volatile("movl %%esp, %%esi\n\t"
                     "1:\n\t"
                     "testl %%ecx, %%ecx\n\t"
                     "jz 2f\n\t"
                     "pushl -4(%%edx,%%ecx,4)\n\t"
                     "decl %%ecx\n\t"
                     "jmp 1b\n\t"
                     "2:\n\t"
                     "call *%%ebx\n\t"
                     "movl %%esi, %%edi\n\t"
                     "subl %%esp, %%edi\n\t"
                     "movl %%esi, %%esp\n\t"
                     "fstps %3\n\t"
                     : "=D"(left), "+c"(count), "+d"(a), "=m"(r)
                     : "b"(fn)
                     : "eax", "esi", "memory", "cc");
    *result = r;
    return left;
}

std::uint32_t bits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}
std::uint32_t word(const void* p) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}

VstIntPtr VSTCALLBACK conventionCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*,
                                         float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

TEST_F(PluginTest, EntryFunctionsUseTheCCallingConvention) {
    void* mainFn = reinterpret_cast<void*>(library->mainEntry());
    std::uint32_t mainArgs[] = {word(reinterpret_cast<void*>(&conventionCallback))};
    CallResult r = callCounting(mainFn, mainArgs, 1);
    EXPECT_EQ(r.bytesLeft, 4u) << "main";
    auto* e = reinterpret_cast<AEffect*>(static_cast<std::uintptr_t>(r.eax));
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->magic, 0x56737450);

    std::uint32_t dispatchArgs[] = {word(e), effGetVstVersion, 0, 0, 0, bits(0.0f)};
    r = callCounting(reinterpret_cast<void*>(e->dispatcher), dispatchArgs, 6);
    EXPECT_EQ(r.bytesLeft, 24u) << "dispatcher";
    EXPECT_EQ(r.eax, 2200u);

    std::uint32_t setArgs[] = {word(e), 3, bits(0.5f)};
    EXPECT_EQ(callCounting(reinterpret_cast<void*>(e->setParameter), setArgs, 3).bytesLeft, 12u)
        << "setParameter";

    float value = -1.0f;
    std::uint32_t getArgs[] = {word(e), 3};
    EXPECT_EQ(callCountingFloat(reinterpret_cast<void*>(e->getParameter), getArgs, 2, &value), 8u)
        << "getParameter";
    EXPECT_EQ(value, e->getParameter(e, 3)) << "float result on the x87 stack";

    float in0[32] = {}, in1[32] = {}, out0[32] = {}, out1[32] = {};
    float* ins[2] = {in0, in1};
    float* outs[2] = {out0, out1};
    std::uint32_t processArgs[] = {word(e), word(ins), word(outs), 32};
    EXPECT_EQ(callCounting(reinterpret_cast<void*>(e->processReplacing), processArgs, 4).bytesLeft,
              16u)
        << "processReplacing";
    EXPECT_EQ(callCounting(reinterpret_cast<void*>(e->process), processArgs, 4).bytesLeft, 16u)
        << "process";

    std::uint32_t closeArgs[] = {word(e), effClose, 0, 0, 0, bits(0.0f)};
    r = callCounting(reinterpret_cast<void*>(e->dispatcher), closeArgs, 6);
    EXPECT_EQ(r.bytesLeft, 24u) << "dispatcher (effClose)";
    EXPECT_EQ(r.eax, 1u);
}
#endif

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: host_tests PLUGIN [gtest options]\n");
        return 2;
    }
    pluginPath = argv[1];
    return RUN_ALL_TESTS();
}
