#include "tools/validate/DisplayAttacks.h"

#include "tools/host/SilentDisplay.h"
#include "tools/host/VstHost.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#if VELMORA_VALIDATE_X11
#include <X11/Xlib.h>
#endif
#endif

namespace validate {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kUnload = "editors on two threads, then unload";
constexpr const char* kUnresponsive = "an unresponsive display";

// One attack's verdict, printed as the validator prints the others'.
class Verdict {
public:
    explicit Verdict(const char* name) : name(name) {}
    void check(bool ok, const std::string& what) {
        if (!ok && failures++ < 8) std::printf("  %s: %s\n", name, what.c_str());
    }
    bool finish(const std::string& counts) const {
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("%s: %s, %.1f s: %s\n", name, counts.c_str(), s, failures ? "FAIL" : "PASS");
        std::fflush(stdout);
        return failures == 0;
    }

private:
    const char* name;
    Clock::time_point start = Clock::now();
    long failures = 0;
};

void skipped(const char* name, const char* why) {
    std::printf("%s: skipped, %s\n", name, why);
    std::fflush(stdout);
}

#if !defined(_WIN32)

void count(std::optional<bool> outcome, int& passed, int& failed) {
    if (outcome) (*outcome ? passed : failed)++;
}

// One block of stereo noise through the instance; false when an output is
// out of range or the two outputs differ.
bool playBlock(vhost::Host& host, std::uint32_t& noise) {
    constexpr int kFrames = 256;
    float in0[kFrames], in1[kFrames], out0[kFrames], out1[kFrames];
    for (int i = 0; i < kFrames; ++i) {
        noise = noise * 1664525u + 1013904223u;
        in0[i] = static_cast<float>(noise >> 8) / 16777216.0f - 0.5f;
        in1[i] = (i % 64 < 8) ? 0.9f : 0.0f;
    }
    float* inputs[2] = {in0, in1};
    float* outputs[2] = {out0, out1};
    host.processReplacing(inputs, outputs, kFrames);
    for (int i = 0; i < kFrames; ++i)
        if (!(std::fabs(out0[i]) <= 1.0f) || out0[i] != out1[i]) return false;
    return true;
}

void* idOf(unsigned long window) {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window));
}

// ---- editors on two threads, then unload --------------------------------------

#if VELMORA_VALIDATE_X11
std::atomic<int> hostErrors{0};
int countHostError(Display*, XErrorEvent*) {
    ++hostErrors;
    return 0;
}

std::optional<bool> editorsThenUnload(const std::string& plugin) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        skipped(kUnload, "no X display to open editors on");
        return std::nullopt;
    }
    Verdict verdict(kUnload);
    // The host's own handler, in place before it loads the plug-in.
    hostErrors = 0;
    const XErrorHandler previous = XSetErrorHandler(countHostError);
    Window parents[2];
    for (Window& p : parents) {
        p = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 400, 170, 0, 0, 0);
        XMapWindow(display, p);
    }
    XSync(display, False);

    constexpr int kCycles = 25;
    std::atomic<int> instances{0}, opens{0}, badBlocks{0};
    {
        std::string error;
        const auto library = vhost::Library::load(plugin, &error);
        verdict.check(library != nullptr, "cannot load the plug-in: " + error);
        const vhost::MainProc entry = library ? library->pluginEntry() : nullptr;
        // Each thread is a host's user-interface thread, with an instance
        // and a window of its own.
        auto hostThread = [&](Window parent, std::uint32_t seed) {
            if (!entry) return;
            vhost::Host host(entry);
            host.keepLog = false;
            if (!host.open()) return;
            ++instances;
            host.resume();
            for (int i = 0; i < kCycles; ++i) {
                if (host.dispatch(effEditOpen, 0, 0, idOf(parent)) == 1) ++opens;
                host.dispatch(effEditIdle);
                host.setParameter(i % 8, static_cast<float>(i % 5) / 4.0f);
                host.dispatch(effEditIdle);
                if (!playBlock(host, seed)) ++badBlocks;
                host.dispatch(effEditClose);
            }
            host.close();
        };
        std::thread first(hostThread, parents[0], 1u), second(hostThread, parents[1], 2u);
        first.join();
        second.join();
    }
    verdict.check(instances == 2, std::to_string(instances.load()) + " of 2 instances opened");
    verdict.check(opens == 2 * kCycles, std::to_string(opens.load()) + " of " +
                                            std::to_string(2 * kCycles) +
                                            " effEditOpen in a real window answered 1");
    verdict.check(badBlocks == 0, std::to_string(badBlocks.load()) + " blocks with bad outputs");

    void* still = dlopen(plugin.c_str(), RTLD_NOW | RTLD_NOLOAD);
    verdict.check(still == nullptr, "the plug-in stayed loaded after its last handle was closed");
    if (still) dlclose(still);
    int left = 0;
    for (const Window p : parents) {
        Window root = 0, up = 0, *children = nullptr;
        unsigned int n = 0;
        if (XQueryTree(display, p, &root, &up, &children, &n)) left += static_cast<int>(n);
        if (children) XFree(children);
    }
    verdict.check(left == 0, std::to_string(left) + " editor windows left in the host's windows");
    // Setting it again tells which handler was in place, and puts the
    // host's back: the error below would otherwise run code of the unloaded
    // library and end the validator.
    verdict.check(XSetErrorHandler(countHostError) == countHostError,
                  "the host's X error handler was replaced, by one in the unloaded library");
    // An error of the host's own: a request on a window it has destroyed.
    const Window gone = XCreateSimpleWindow(display, parents[0], 0, 0, 1, 1, 0, 0, 0);
    XDestroyWindow(display, gone);
    XMapWindow(display, gone);
    XSync(display, False);
    const int heard = hostErrors;
    verdict.check(heard == 1, "the host's X error reached its handler " + std::to_string(heard) +
                                  " times, not once");
    XSetErrorHandler(previous);
    for (const Window p : parents) XDestroyWindow(display, p);
    XCloseDisplay(display);
    return verdict.finish("2 threads x " + std::to_string(kCycles) + " editor cycles, " +
                          std::to_string(opens.load()) + " editor opens, the library " +
                          (still ? "still loaded" : "unloaded") + ", the host's X error heard " +
                          std::to_string(heard) + " time(s) by the host's handler");
}
#else
std::optional<bool> editorsThenUnload(const std::string&) {
    skipped(kUnload, "built without Xlib to play the host with");
    return std::nullopt;
}
#endif

// ---- an unresponsive display -----------------------------------------------------

std::optional<bool> unresponsiveDisplay(const std::string& plugin) {
    Verdict verdict(kUnresponsive);
    std::string error;
    const auto library = vhost::Library::load(plugin, &error);
    verdict.check(library != nullptr, "cannot load the plug-in: " + error);
    auto host = library ? std::make_unique<vhost::Host>(library->pluginEntry()) : nullptr;
    if (!host || !host->open()) {
        verdict.check(false, "no instance");
        return verdict.finish("0 displays");
    }
    host->keepLog = false;
    host->resume();
    const char* const saved = std::getenv("DISPLAY");
    const std::optional<std::string> display =
        saved ? std::optional<std::string>(saved) : std::nullopt;

    // The host's audio thread plays on throughout, the opens' waits among it.
    std::atomic<bool> done{false}, opening{false};
    std::atomic<long> blocks{0}, blocksWhileOpening{0}, badBlocks{0};
    std::thread audio([&] {
        std::uint32_t noise = 7;
        while (!done) {
            if (!playBlock(*host, noise)) ++badBlocks;
            ++blocks;
            if (opening) ++blocksWhileOpening;
        }
    });
    struct Case {
        vhost::SilentDisplay::Kind kind;
        const char* what;
    };
    constexpr Case kCases[] = {{vhost::SilentDisplay::Listens, "listens, never answers"},
                               {vhost::SilentDisplay::QueueFull, "queue full"},
                               {vhost::SilentDisplay::Tcp, "TCP, never answers"}};
    std::string seen;
    for (const Case& c : kCases) {
        const vhost::SilentDisplay silent(c.kind, 800, 899);
        if (silent.name.empty()) {
            verdict.check(false, std::string("no free display number for ") + c.what);
            continue;
        }
        setenv("DISPLAY", silent.name.c_str(), 1);
        opening = true;
        const auto start = Clock::now();
        // The parent's id would be looked at only with a server's answer.
        const VstIntPtr answer = host->dispatch(effEditOpen, 0, 0, idOf(0x1200001));
        const double waited = std::chrono::duration<double>(Clock::now() - start).count();
        opening = false;
        host->dispatch(effEditIdle);
        host->dispatch(effEditClose);
        host->dispatch(effEditIdle);
        char line[96];
        std::snprintf(line, sizeof line, "%s%s (%s): %d after %.2f s", seen.empty() ? "" : "; ",
                      silent.name.c_str(), c.what, static_cast<int>(answer), waited);
        seen += line;
        verdict.check(answer == 0, std::string("effEditOpen answered ") + std::to_string(answer) +
                                       " on " + c.what);
        // The plug-in gives up after 1.5 s; the bound leaves a slow machine
        // its slack.
        verdict.check(waited < 3.0, std::string("effEditOpen held the host's thread for ") +
                                        std::to_string(waited) + " s on " + c.what);
    }
    if (display)
        setenv("DISPLAY", display->c_str(), 1);
    else
        unsetenv("DISPLAY");
    // A few blocks after the last attempt (or a while, should the audio
    // thread stand still), then the instance goes.
    const long until = blocks + 8;
    for (const auto limit = Clock::now() + std::chrono::seconds(2);
         blocks < until && Clock::now() < limit;)
        std::this_thread::yield();
    done = true;
    audio.join();
    verdict.check(blocksWhileOpening > 0, "the audio thread stood still while effEditOpen waited");
    verdict.check(badBlocks == 0, std::to_string(badBlocks.load()) + " blocks with bad outputs");
    verdict.check(host->close() == 1, "effClose did not answer 1");
    return verdict.finish("effEditOpen on " + seen + "; " + std::to_string(blocks.load()) +
                          " blocks on the audio thread, " +
                          std::to_string(blocksWhileOpening.load()) + " while effEditOpen waited");
}

#endif

} // namespace

void displayAttacks(const std::string& plugin, int& passed, int& failed) {
#if defined(_WIN32)
    (void)plugin;
    (void)passed;
    (void)failed;
    skipped(kUnload, "an X11 attack (a Windows host gives no X display)");
    skipped(kUnresponsive, "an X11 attack (a Windows host gives no X display)");
#else
    count(editorsThenUnload(plugin), passed, failed);
    count(unresponsiveDisplay(plugin), passed, failed);
#endif
}

} // namespace validate
