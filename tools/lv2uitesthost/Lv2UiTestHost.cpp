// A minimal LV2 host of the plug-in's X11 editor, as LV2 hosts embed one: it
// loads the UI binary from the bundle, instantiates the UI with ui:parent
// (its own X window), ui:resize and ui:touch, calls the UI's idle interface
// every few tens of milliseconds from its one user-interface thread, and
// keeps the control ports' values, sending each value it takes back to the
// UI (port_event) as hosts do. Commands, one per line, on standard input:
//
//   open          instantiates the UI in our window -> "open 1" or "open 0",
//                 "editor X Y" (root position of the UI's window) and
//                 "size W H" (its size), after the port_event of every
//                 control with the value we hold
//   open F        the same with ui:scaleFactor F among the host's options
//   openbad       instantiates it without ui:parent -> "open 0"
//   close         cleanup -> "closed"
//   get N         control N's value, normalised -> "param N VALUE"
//   port N U      the host sets control N to U, in its unit -> "port N U"
//                 (U may be nan, inf or -inf)
//   set N V       the same with V normalised (the unit value is V's) -> "set N V"
//   children      our window's descendants -> "children N"
//   unmask        from now on this thread runs with invalid operation,
//                 division by zero and overflow unmasked, as a host built
//                 with Delphi does -> "unmasked"; a call of the UI that
//                 leaves the floating-point controls changed prints
//                 "fpchanged CALL", and a trap ends the host (SIGFPE)
//   quit          cleans up -> "bye"
//
// What the UI asks is printed the moment it arrives: "write INDEX UNIT" for a
// control written through the write function, then "automate INDEX VALUE"
// with the value normalised (as the VST 2 test host prints a parameter
// change), "beginedit INDEX"/"endedit INDEX" for ui:touch, and "resize W H"
// for ui:resize. An X error that reaches the host is printed ("xerror ...")
// and ends it with status 3.
//
//   velmora-lv2uitesthost BUNDLE_DIR
#include "lv2/Ports.h"
#include "plugin/params/Units.h"
#include "tools/host/LineProtocol.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <X11/Xlib.h>

#include <dlfcn.h>
#include <fenv.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace lv2glue;

constexpr int kHostLeft = 40, kHostTop = 40;
constexpr int kIdlePeriodMs = 30;

Display* display = nullptr;
::Window hostWindow = 0;
const LV2UI_Descriptor* descriptor = nullptr;
const LV2UI_Idle_Interface* idleInterface = nullptr;
LV2UI_Handle ui = nullptr;
std::string bundle;
std::array<float, kNumActiveParams> ports{}; // in their units

using vhost::nowMs;
using vhost::say;

// The URIDs this host hands out: each URI's place in the list, from 1.
std::vector<std::string> urids;
LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
    for (std::size_t i = 0; i < urids.size(); ++i)
        if (urids[i] == uri) return static_cast<LV2_URID>(i + 1);
    urids.emplace_back(uri);
    return static_cast<LV2_URID>(urids.size());
}
LV2_URID_Map uridMap{nullptr, mapUri};

// Once "unmask" has set the thread's floating-point environment, every call
// of the UI must leave its controls (masks, rounding, precision) as it found
// them.
bool unmasked = false;
struct FpState {
    unsigned mxcsr = 0, x87Control = 0;
    bool operator==(const FpState&) const = default;
};
FpState fpState() {
    FpState s;
#if defined(__x86_64__) || defined(__i386__)
    std::uint32_t m;
    std::uint16_t cw;
    __asm__ volatile("stmxcsr %0" : "=m"(m));
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    s = {m & ~0x3Fu, cw};
#endif
    return s;
}
// Runs one call of the UI and, once unmasked, checks what it leaves.
template <typename F> void uiCall(const char* name, F f) {
    const FpState before = fpState();
    f();
    if (unmasked && !(fpState() == before)) say("fpchanged %s", name);
}

int hostXError(Display*, XErrorEvent* e) {
    say("xerror request=%d code=%d", static_cast<int>(e->request_code),
        static_cast<int>(e->error_code));
    std::exit(3);
}

void sendPort(std::uint32_t index) {
    if (ui)
        uiCall("port_event",
               [&] { descriptor->port_event(ui, index, sizeof(float), 0, &ports[index]); });
}

void write(LV2UI_Controller, std::uint32_t index, std::uint32_t size, std::uint32_t format,
           const void* buffer) {
    if (index >= kNumActiveParams || size != sizeof(float) || format != 0) {
        say("badwrite %u %u %u", index, size, format);
        return;
    }
    const float u = *static_cast<const float*>(buffer);
    ports[index] = u;
    say("write %u %.9g", index, static_cast<double>(u));
    say("automate %u %.6f", index,
        static_cast<double>(params::normalisedValue(static_cast<int>(index), u)));
    // The host's own view of the control follows, and it tells the UI so.
    sendPort(index);
}

void touch(LV2UI_Feature_Handle, std::uint32_t index, bool grabbed) {
    say("%s %u", grabbed ? "beginedit" : "endedit", index);
}

int resize(LV2UI_Feature_Handle, int width, int height) {
    say("resize %d %d", width, height);
    return 0;
}

int descendants(::Window w) {
    ::Window root = 0, parent = 0;
    ::Window* kids = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(display, w, &root, &parent, &kids, &n)) return 0;
    int total = static_cast<int>(n);
    for (unsigned int i = 0; i < n; ++i) total += descendants(kids[i]);
    if (kids) XFree(kids);
    return total;
}

// What the UI keeps of the features: these, for as long as it lives.
LV2UI_Touch touchFeature{nullptr, touch};
LV2UI_Resize resizeFeature{nullptr, resize};

// `scale`: ui:scaleFactor among the options, where not null.
bool open(bool withParent, const float* scale = nullptr) {
    const LV2_Feature parent{LV2_UI__parent,
                             reinterpret_cast<void*>(static_cast<std::uintptr_t>(hostWindow))};
    const LV2_Feature touching{LV2_UI__touch, &touchFeature};
    const LV2_Feature resizing{LV2_UI__resize, &resizeFeature};
    const LV2_Feature idling{LV2_UI__idleInterface, nullptr};
    const LV2_Feature mapping{LV2_URID__map, &uridMap};
    const LV2_Options_Option options[] = {{LV2_OPTIONS_INSTANCE, 0,
                                           mapUri(nullptr, LV2_UI__scaleFactor), sizeof(float),
                                           mapUri(nullptr, LV2_ATOM__Float), scale},
                                          {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature optioning{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* withAll[] = {&parent, &touching, &resizing, &idling,
                                    nullptr, nullptr,   nullptr};
    if (scale) withAll[4] = &mapping, withAll[5] = &optioning;
    const LV2_Feature* withoutParent[] = {&touching, &resizing, &idling, nullptr};
    LV2UI_Widget widget = nullptr;
    uiCall("instantiate", [&] {
        ui = descriptor->instantiate(descriptor, kPluginUri.data(), bundle.c_str(), write, nullptr,
                                     &widget, withParent ? withAll : withoutParent);
    });
    say("open %d", ui ? 1 : 0);
    if (!ui) return false;
    for (std::uint32_t i = 0; i < kNumActiveParams; ++i) sendPort(i);
    int x = 0, y = 0;
    ::Window child = 0;
    XSync(display, False);
    const auto w = static_cast<::Window>(reinterpret_cast<std::uintptr_t>(widget));
    XTranslateCoordinates(display, w, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    say("editor %d %d", x, y);
    XWindowAttributes a{};
    XGetWindowAttributes(display, w, &a);
    say("size %d %d", a.width, a.height);
    return true;
}

void close() {
    if (ui) uiCall("cleanup", [&] { descriptor->cleanup(ui); });
    ui = nullptr;
    XSync(display, False);
}

bool run(const std::string& line) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    if (word == "open") {
        float scale = 0;
        const bool scaled = static_cast<bool>(in >> scale);
        if (!ui) open(true, scaled ? &scale : nullptr);
    } else if (word == "openbad") {
        if (!ui) open(false);
    } else if (word == "close") {
        close();
        say("closed");
    } else if (word == "get") {
        int n = -1;
        if (in >> n && n >= 0 && n < kNumActiveParams)
            say("param %d %.6f", n,
                static_cast<double>(
                    params::normalisedValue(n, ports[static_cast<std::size_t>(n)])));
    } else if (word == "port" || word == "set") {
        int n = -1;
        std::string text;
        char* end = nullptr;
        const float v = in >> n >> text ? std::strtof(text.c_str(), &end) : 0.0f;
        if (end && *end == 0 && n >= 0 && n < kNumActiveParams) {
            ports[static_cast<std::size_t>(n)] = word == "port" ? v : params::unitValue(n, v);
            sendPort(static_cast<std::uint32_t>(n));
            say("%s %d %g", word.c_str(), n, static_cast<double>(v));
        }
    } else if (word == "children") {
        XSync(display, False);
        say("children %d", descendants(hostWindow));
    } else if (word == "unmask") {
        feclearexcept(FE_ALL_EXCEPT);
        feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
        unmasked = true;
        say("unmasked");
    } else if (word == "quit") {
        close();
        say("bye");
        return false;
    } else {
        say("unknown %s", line.c_str());
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora-lv2uitesthost BUNDLE_DIR\n");
        return 2;
    }
    bundle = argv[1];
    if (bundle.back() != '/') bundle += '/';
    const std::string binary = bundle + std::string(kUiBinary);
    void* library = dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "cannot load %s: %s\n", binary.c_str(), dlerror());
        return 1;
    }
    auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"));
    descriptor = entry ? entry(0) : nullptr;
    if (!descriptor || std::string(descriptor->URI) != kUiUri) {
        std::fprintf(stderr, "%s has no UI %s\n", binary.c_str(), kUiUri.data());
        return 1;
    }
    idleInterface =
        static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
    if (!idleInterface) {
        std::fprintf(stderr, "the UI has no idle interface\n");
        return 1;
    }
    display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }
    XSetErrorHandler(hostXError);
    for (const ParameterInfo& p : kParameters)
        ports[static_cast<std::size_t>(p.index)] = params::unitValue(p.index, p.factoryValue);

    XSetWindowAttributes a{};
    // Unmanaged, so that it lies where it is put.
    a.override_redirect = True;
    a.background_pixel = WhitePixel(display, DefaultScreen(display));
    hostWindow = XCreateWindow(display, DefaultRootWindow(display), kHostLeft, kHostTop, 400, 180,
                               0, CopyFromParent, InputOutput, CopyFromParent,
                               CWOverrideRedirect | CWBackPixel, &a);
    XMapRaised(display, hostWindow);
    XSync(display, False);
    say("ready");

    // One thread, as a host's user-interface thread: commands and the UI's
    // idle calls take turns.
    vhost::CommandLines commands;
    long long nextIdle = nowMs() + kIdlePeriodMs;
    bool running = true;
    while (running) {
        pollfd fds[1] = {{STDIN_FILENO, POLLIN, 0}};
        const long long wait = nextIdle - nowMs();
        poll(fds, 1, wait > 0 ? static_cast<int>(wait) : 0);
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            char buf[512];
            const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) {
                running = run("quit");
            } else {
                running = commands.feed(buf, static_cast<std::size_t>(n), run);
            }
        }
        if (nowMs() >= nextIdle) {
            int closing = 0;
            if (ui) uiCall("idle", [&] { closing = idleInterface->idle(ui); });
            if (closing != 0) close();
            nextIdle = nowMs() + kIdlePeriodMs;
        }
    }
    XDestroyWindow(display, hostWindow);
    XCloseDisplay(display);
    dlclose(library);
    return 0;
}
