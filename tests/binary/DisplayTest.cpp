// The editor's X display as a Linux host meets it, through the built
// plug-in: two instances' editors opened, idled and closed on two threads at
// once, after which the library unloads and the host's own X error handler
// is still the one that hears the host's errors; and displays that accept a
// connection and never answer (or never accept), where effEditOpen gives up
// in bounded time and the instance's audio is what it would have been.
//   host_display_tests PLUGIN [gtest options]
// DISPLAY must name an X server (with-xvfb.sh starts one).
#include "tools/host/SilentDisplay.h"
#include "tools/host/VstHost.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string pluginPath;

void* idOf(::Window w) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(w)); }

std::atomic<int> hostErrors{0};
int countHostError(Display*, XErrorEvent*) {
    ++hostErrors;
    return 0;
}

// Stereo noise through one instance: the output samples, block after block.
std::vector<float> render(vhost::Host& host, int blocks) {
    constexpr int kFrames = 256;
    std::vector<float> in0(kFrames), in1(kFrames), out0(kFrames), out1(kFrames), all;
    std::uint32_t noise = 12345;
    for (int b = 0; b < blocks; ++b) {
        for (int i = 0; i < kFrames; ++i) {
            noise = noise * 1664525u + 1013904223u;
            in0[i] = static_cast<float>(noise >> 8) / 16777216.0f - 0.5f;
            in1[i] = (i % 64 < 8) ? 0.9f : 0.0f;
        }
        float* inputs[2] = {in0.data(), in1.data()};
        float* outputs[2] = {out0.data(), out1.data()};
        host.processReplacing(inputs, outputs, kFrames);
        all.insert(all.end(), out0.begin(), out0.end());
        all.insert(all.end(), out1.begin(), out1.end());
    }
    return all;
}

TEST(Display, EditorsOnTwoThreadsThenTheUnloadLeaveTheHostsErrorHandlerInCharge) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr) << "no X server at DISPLAY (run through with-xvfb.sh)";
    // The host's own handler, in place before the plug-in is loaded.
    const XErrorHandler before = XSetErrorHandler(countHostError);
    ::Window parents[2];
    for (::Window& p : parents) {
        p = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 400, 170, 0, 0, 0);
        XMapWindow(display, p);
    }
    XSync(display, False);

    constexpr int kCycles = 40;
    std::atomic<int> opens{0}, instances{0};
    {
        std::string error;
        const auto library = vhost::Library::load(pluginPath, &error);
        ASSERT_NE(library, nullptr) << error;
        const vhost::MainProc entry = library->pluginEntry();
        // Each thread is a host's user-interface thread with an instance and
        // a window of its own.
        auto hostThread = [&](::Window parent) {
            vhost::Host host(entry);
            host.keepLog = false;
            if (!host.open()) return;
            ++instances;
            host.resume();
            for (int i = 0; i < kCycles; ++i) {
                if (host.dispatch(effEditOpen, 0, 0, idOf(parent)) == 1) ++opens;
                for (int k = 0; k < 3; ++k) host.dispatch(effEditIdle);
                host.setParameter(i % 8, 0.5f);
                host.dispatch(effEditIdle);
                render(host, 1);
                host.dispatch(effEditClose);
            }
            host.close();
        };
        std::thread first(hostThread, parents[0]), second(hostThread, parents[1]);
        first.join();
        second.join();
    }
    EXPECT_EQ(instances, 2);
    EXPECT_EQ(opens, 2 * kCycles) << "every effEditOpen in a real window answered 1";
    void* still = dlopen(pluginPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(still, nullptr) << "the plug-in stayed loaded after its last handle was closed";
    if (still) dlclose(still);

    for (const ::Window p : parents) {
        ::Window root = 0, up = 0, *children = nullptr;
        unsigned int n = 0;
        ASSERT_TRUE(XQueryTree(display, p, &root, &up, &children, &n));
        if (children) XFree(children);
        EXPECT_EQ(n, 0u) << "an editor window was left in the host's window";
    }
    // An error of the host's own: a request on a window it has destroyed.
    const ::Window gone = XCreateSimpleWindow(display, parents[0], 0, 0, 1, 1, 0, 0, 0);
    XDestroyWindow(display, gone);
    XMapWindow(display, gone);
    XSync(display, False);
    EXPECT_EQ(hostErrors, 1) << "the host's error reached the host's handler, once";
    EXPECT_EQ(XSetErrorHandler(before), countHostError) << "the host's handler was replaced";
    for (const ::Window p : parents) XDestroyWindow(display, p);
    XCloseDisplay(display);
}

TEST(Display, ASilentDisplayMakesEffEditOpenGiveUpAndAudioGoesOn) {
    const char* kinds[] = {"a socket that listens and never answers",
                           "a socket whose queue is full", "a TCP port that never answers"};
    const std::optional<std::string> display =
        std::getenv("DISPLAY") ? std::optional<std::string>(std::getenv("DISPLAY")) : std::nullopt;
    std::string error;
    const auto library = vhost::Library::load(pluginPath, &error);
    ASSERT_NE(library, nullptr) << error;
    for (const auto kind : {vhost::SilentDisplay::Listens, vhost::SilentDisplay::QueueFull,
                            vhost::SilentDisplay::Tcp}) {
        SCOPED_TRACE(kinds[kind]);
        const vhost::SilentDisplay silent(kind, 700, 799);
        ASSERT_FALSE(silent.name.empty()) << "no free display number for the silent socket";
        setenv("DISPLAY", silent.name.c_str(), 1);
        vhost::Host attacked(library->pluginEntry()), untouched(library->pluginEntry());
        ASSERT_NE(attacked.open(), nullptr);
        ASSERT_NE(untouched.open(), nullptr);
        for (vhost::Host* h : {&attacked, &untouched}) {
            h->setSampleRate(44100.0f);
            h->setBlockSize(256);
            h->resume();
        }
        const std::vector<float> before = render(attacked, 4);
        EXPECT_EQ(before, render(untouched, 4));

        const auto start = std::chrono::steady_clock::now();
        // The parent's id would be checked only with a server's answer.
        const VstIntPtr answer = attacked.dispatch(effEditOpen, 0, 0, idOf(0x1200001));
        const double waited =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(answer, 0);
        // The plug-in waits 1.5 s; the bound leaves room for a slow machine.
        EXPECT_LT(waited, 3.0) << "effEditOpen held the host's thread for " << waited << " s";
        std::printf("effEditOpen on %s answered %d after %.2f s\n", kinds[kind],
                    static_cast<int>(answer), waited);

        attacked.dispatch(effEditIdle);
        attacked.dispatch(effEditClose);
        attacked.dispatch(effEditIdle);
        ERect* rect = nullptr;
        EXPECT_EQ(attacked.dispatch(effEditGetRect, 0, 0, &rect), 1);
        ASSERT_NE(rect, nullptr);
        EXPECT_EQ(rect->right - rect->left, 665) << "the closed editor's size";
        EXPECT_EQ(render(attacked, 16), render(untouched, 16))
            << "the audio after the refused open differs from an instance's that never tried";
    }
    if (display)
        setenv("DISPLAY", display->c_str(), 1);
    else
        unsetenv("DISPLAY");
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: host_display_tests PLUGIN [gtest options]\n");
        return 2;
    }
    pluginPath = argv[1];
    return RUN_ALL_TESTS();
}
