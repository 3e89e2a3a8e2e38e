// A minimal Linux VST 2 host that embeds the plug-in's editor in a real X
// window, as Linux hosts do: effEditOpen gets the X window id of the host's
// window, and effEditIdle comes every few tens of milliseconds from the
// host's one user-interface thread. It takes commands, one per line, on
// standard input:
//
//   getrect          answer effEditGetRect         -> "rect TOP LEFT BOTTOM RIGHT"
//   scale F          the host's scale for the editor, effVendorSpecific 'PreS' 'AeCs' with F
//                                                  -> "scale ANSWER"
//   editorsize       the editor window's size      -> "editorsize WIDTH HEIGHT"
//   open             effEditOpen in our window     -> "open ANSWER", "editor X Y" (root position
//                                                     of the editor's window)
//   openbad          effEditOpen with an id that is no window -> "open ANSWER"
//   close            effEditClose                  -> "closed"
//   program N        effSetProgram                 -> "program N"
//   get N            getParameter                  -> "param N VALUE"
//   set N V          setParameter from a thread of the host's -> "set N V"
//   playset N V      setParameter on the audio thread between two blocks -> "played N V"
//   children         our window's descendants      -> "children N"
//   destroyparent    destroys our window (the editor's parent) and makes a new one in its
//                    place; the editor is not told -> "parent destroyed"
//   closeinstance    effClose                      -> "instance closed"
//   second           a second instance in a second window, editor open -> "editor2 X Y"
//   closesecond      effEditClose, effClose of the second -> "second closed"
//   cycles N         N times effEditOpen, three effEditIdle, effEditClose; then what the X
//                    server and this process hold, before and after
//                    -> "cycles N clients A B resources A B fds A B rsskb A B"
//   render N         N frames of a fixed key and audio through processReplacing
//                    -> "render HASH RMS" (FNV-1a of the output samples' bits)
//   quit             closes what is open, unloads the plug-in -> "unloaded", "bye"
//
// Every audioMasterAutomate is printed the moment it arrives: "automate INDEX
// VALUE" from the first instance, "automate2 ..." from the second; so are the
// edit gestures' requests, "beginedit INDEX" and "endedit INDEX"
// ("beginedit2", "endedit2"). After every call into the plug-in the host
// checks that its own X error handlers are still installed ("handler-left
// OPCODE" if not); an X error that reaches the host's handler is printed
// ("xerror ...") and ends the host with status 3, as Xlib's default handler
// would end it.
//
// Without a display the host still runs: it passes a made-up window id and
// says "nodisplay" before "ready".
#include "frame/DAEffectX.h"
#include "tools/host/LineProtocol.h"
#include "tools/host/VstHost.h"

#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kHostLeft = 40, kHostTop = 40;
constexpr int kIdlePeriodMs = 30;
constexpr ::Window kMadeUpWindow = 0x1200001; // what a host without a display would pass

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
std::unique_ptr<Display, DisplayCloser> connection;
Display* display = nullptr; // the connection's, while it is open
::Window hostWindow = 0;
::Window secondWindow = 0;
std::unique_ptr<vhost::Library> library;
vhost::MainProc entry = nullptr;
std::unique_ptr<vhost::Host> first;
std::unique_ptr<vhost::Host> second;
bool editorOpen = false, secondOpen = false;

using vhost::nowMs;
using vhost::say;

int hostXError(Display* d, XErrorEvent* e) {
    say("xerror display=%s request=%d code=%d", d == display ? "host" : "other",
        static_cast<int>(e->request_code), static_cast<int>(e->error_code));
    std::exit(3);
}
int hostXIOError(Display* d) {
    say("xioerror display=%s", d == display ? "host" : "other");
    std::exit(3);
}

// The plug-in must leave the host's handlers as it found them.
void checkHandlers(int opcode) {
    if (!display) return; // without a display the host has no handlers of its own
    const XErrorHandler e = XSetErrorHandler(hostXError);
    const XIOErrorHandler io = XSetIOErrorHandler(hostXIOError);
    if (e != hostXError || io != hostXIOError) say("handler-left %d", opcode);
}

VstIntPtr call(vhost::Host& h, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
               void* ptr = nullptr, float opt = 0.0f) {
    const VstIntPtr answer = h.dispatch(opcode, index, value, ptr, opt);
    checkHandlers(opcode);
    return answer;
}

// An instance whose requests of a gesture are printed with `suffix` after
// their word ("automate", "beginedit", "endedit"); the host library answers
// the rest.
std::unique_ptr<vhost::Host> makeInstance(const char* suffix) {
    auto h = std::make_unique<vhost::Host>(entry);
    h->onCall = [suffix](const vhost::HostCall& c) { return vhost::reportGesture(c, suffix); };
    if (!h->open()) return nullptr;
    call(*h, effOpen);
    return h;
}

void* windowPointer(::Window w) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(w)); }

::Window makeHostWindow(int x, int y, int width, int height, bool shown = true) {
    if (!display) return kMadeUpWindow;
    XSetWindowAttributes a{};
    // Unmanaged, so that it lies where it is put whether or not a window
    // manager runs.
    a.override_redirect = True;
    a.background_pixel = WhitePixel(display, DefaultScreen(display));
    a.event_mask = ExposureMask;
    const ::Window w =
        XCreateWindow(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWOverrideRedirect | CWBackPixel | CWEventMask, &a);
    if (shown) XMapRaised(display, w);
    XSync(display, False);
    return w;
}

void resizeHostWindow(::Window w, vhost::Host& h) {
    ERect* r = nullptr;
    if (!display || !call(h, effEditGetRect, 0, 0, &r) || !r) return;
    XResizeWindow(display, w, static_cast<unsigned>(r->right - r->left),
                  static_cast<unsigned>(r->bottom - r->top));
    XSync(display, False);
}

int descendants(::Window w) {
    if (!display) return 0;
    ::Window root = 0, parent = 0;
    ::Window* kids = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(display, w, &root, &parent, &kids, &n)) return 0;
    int total = static_cast<int>(n);
    for (unsigned int i = 0; i < n; ++i) total += descendants(kids[i]);
    if (kids) XFree(kids);
    return total;
}

void printEditorSize(::Window parent) {
    unsigned int width = 0, height = 0;
    if (display) {
        XSync(display, False);
        ::Window root = 0, up = 0;
        ::Window* kids = nullptr;
        unsigned int n = 0;
        if (XQueryTree(display, parent, &root, &up, &kids, &n) && n > 0) {
            int x = 0, y = 0;
            unsigned int border = 0, depth = 0;
            XGetGeometry(display, kids[0], &root, &x, &y, &width, &height, &border, &depth);
        }
        if (kids) XFree(kids);
    }
    say("editorsize %u %u", width, height);
}

void printEditorOrigin(::Window parent, const char* label) {
    int x = 0, y = 0;
    if (display) {
        XSync(display, False);
        ::Window root = 0, up = 0;
        ::Window* kids = nullptr;
        unsigned int n = 0;
        if (XQueryTree(display, parent, &root, &up, &kids, &n) && n > 0) {
            ::Window child = 0;
            XTranslateCoordinates(display, kids[0], root, 0, 0, &x, &y, &child);
        }
        if (kids) XFree(kids);
    }
    say("%s %d %d", label, x, y);
}

// ---- what the X server and this process hold ------------------------------

struct Holdings {
    int clients = -1;
    long resources = -1;
    int fds = 0;
    long rssKb = 0;
};

Holdings holdings() {
    Holdings h;
    if (display) {
        XSync(display, False);
        int event = 0, error = 0;
        XResClient* clients = nullptr;
        int n = 0;
        if (XResQueryExtension(display, &event, &error) &&
            XResQueryClients(display, &n, &clients)) {
            h.clients = n;
            h.resources = 0;
            for (int i = 0; i < n; ++i) {
                int types = 0;
                XResType* counts = nullptr;
                if (XResQueryClientResources(display, clients[i].resource_base, &types, &counts)) {
                    for (int t = 0; t < types; ++t) h.resources += counts[t].count;
                    XFree(counts);
                }
            }
            XFree(clients);
        }
    }
    if (DIR* d = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++h.fds;
        closedir(d);
        --h.fds; // the directory's own descriptor
    }
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        long size = 0, resident = 0;
        if (std::fscanf(f, "%ld %ld", &size, &resident) == 2)
            h.rssKb = resident * (sysconf(_SC_PAGESIZE) / 1024);
        std::fclose(f);
    }
    return h;
}

void idleAll() {
    if (first && editorOpen) call(*first, effEditIdle);
    if (second && secondOpen) call(*second, effEditIdle);
}

// ---- audio ----------------------------------------------------------------

void render(int frames) {
    if (!first) {
        say("render none");
        return;
    }
    constexpr int kBlock = 512;
    first->setSampleRate(44100.0f);
    first->setBlockSize(kBlock);
    first->resume();
    std::vector<float> in0(kBlock), in1(kBlock), out0(kBlock), out1(kBlock);
    float* inputs[2] = {in0.data(), in1.data()};
    float* outputs[2] = {out0.data(), out1.data()};
    std::uint64_t hash = 1469598103934665603ull;
    double energy = 0.0;
    // Key: a decaying pulse every 11025 frames; audio: two detuned sines.
    double phaseA = 0.0, phaseB = 0.0, pulse = 0.0;
    for (int done = 0; done < frames; done += kBlock) {
        for (int i = 0; i < kBlock; ++i) {
            const int n = done + i;
            if (n % 11025 == 0) pulse = 1.0;
            pulse *= 0.9995;
            in0[i] = static_cast<float>(pulse);
            in1[i] = static_cast<float>(0.3 * std::sin(phaseA) + 0.2 * std::sin(phaseB));
            phaseA += 2.0 * 3.141592653589793 * 220.0 / 44100.0;
            phaseB += 2.0 * 3.141592653589793 * 331.0 / 44100.0;
        }
        first->processReplacing(inputs, outputs, kBlock);
        for (int i = 0; i < kBlock; ++i)
            for (const float v : {out0[i], out1[i]}) {
                std::uint32_t bits;
                std::memcpy(&bits, &v, sizeof bits);
                for (int b = 0; b < 4; ++b) {
                    hash ^= (bits >> (8 * b)) & 0xff;
                    hash *= 1099511628211ull;
                }
                energy += static_cast<double>(v) * v;
            }
    }
    say("render %016llx %.6f", static_cast<unsigned long long>(hash),
        std::sqrt(energy / (2.0 * frames)));
}

// ---- commands -------------------------------------------------------------

bool run(const std::string& line) {
    char verb[32] = {};
    int arg = 0;
    float value = 0.0f;
    std::sscanf(line.c_str(), "%31s %d %f", verb, &arg, &value);
    const std::string v = verb;
    if (v == "getrect") {
        ERect* r = nullptr;
        const VstIntPtr answer = first ? call(*first, effEditGetRect, 0, 0, &r) : 0;
        if (answer && r)
            say("rect %d %d %d %d", r->top, r->left, r->bottom, r->right);
        else
            say("rect none");
    } else if (v == "open") {
        const VstIntPtr answer =
            first ? call(*first, effEditOpen, 0, 0, windowPointer(hostWindow)) : 0;
        if (answer) editorOpen = true;
        say("open %d", static_cast<int>(answer));
        if (first) resizeHostWindow(hostWindow, *first);
        printEditorOrigin(hostWindow, "editor");
    } else if (v == "scale") {
        float factor = 0.0f;
        std::sscanf(line.c_str(), "%*s %f", &factor);
        const VstIntPtr answer =
            first ? call(*first, effVendorSpecific, fourCharCode('P', 'r', 'e', 'S'),
                         fourCharCode('A', 'e', 'C', 's'), nullptr, factor)
                  : 0;
        say("scale %d", static_cast<int>(answer));
    } else if (v == "editorsize") {
        printEditorSize(hostWindow);
    } else if (v == "openbad") {
        // An id from no client's range: no such window exists.
        const VstIntPtr answer =
            first ? call(*first, effEditOpen, 0, 0, windowPointer(0x1ffffff0)) : 0;
        if (answer) editorOpen = true;
        say("open %d", static_cast<int>(answer));
    } else if (v == "close") {
        if (first) call(*first, effEditClose);
        editorOpen = false;
        say("closed");
    } else if (v == "program") {
        if (first) call(*first, effSetProgram, 0, arg);
        say("program %d", arg);
    } else if (v == "get") {
        say("param %d %.6f", arg, first ? first->getParameter(arg) : 0.0f);
    } else if (v == "set" || v == "playset") {
        vhost::runSetCommand(first.get(), v == "playset", arg, value);
    } else if (v == "children") {
        say("children %d", descendants(hostWindow));
    } else if (v == "destroyparent") {
        if (display) {
            XDestroyWindow(display, hostWindow);
            XSync(display, False);
        }
        hostWindow = makeHostWindow(kHostLeft, kHostTop, 400, 180);
        say("parent destroyed");
    } else if (v == "closeinstance") {
        if (first) {
            first->close();
            checkHandlers(effClose);
            first.reset();
        }
        editorOpen = false;
        say("instance closed");
    } else if (v == "second") {
        if (!second) second = makeInstance("2");
        if (display) XMapRaised(display, secondWindow);
        if (second && call(*second, effEditOpen, 0, 0, windowPointer(secondWindow)))
            secondOpen = true;
        printEditorOrigin(secondWindow, "editor2");
    } else if (v == "closesecond") {
        if (second) {
            call(*second, effEditClose);
            second->close();
            checkHandlers(effClose);
            second.reset();
        }
        secondOpen = false;
        say("second closed");
    } else if (v == "cycles") {
        const Holdings before = holdings();
        for (int i = 0; i < arg && first; ++i) {
            call(*first, effEditOpen, 0, 0, windowPointer(hostWindow));
            for (int k = 0; k < 3; ++k) call(*first, effEditIdle);
            call(*first, effEditClose);
        }
        editorOpen = false;
        const Holdings after = holdings();
        say("cycles %d clients %d %d resources %ld %ld fds %d %d rsskb %ld %ld", arg,
            before.clients, after.clients, before.resources, after.resources, before.fds, after.fds,
            before.rssKb, after.rssKb);
    } else if (v == "render") {
        render(arg);
    } else if (v == "quit") {
        if (first) {
            call(*first, effEditClose);
            first->close();
            checkHandlers(effClose);
            first.reset();
        }
        if (second) {
            second->close();
            checkHandlers(effClose);
            second.reset();
        }
        editorOpen = secondOpen = false;
        library.reset();
        say("unloaded");
        say("bye");
        return false;
    } else {
        say("unknown %s", line.c_str());
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: velmora-x11testhost PLUGIN.so\n");
        return 2;
    }
    std::string error;
    library = vhost::Library::load(argv[1], &error);
    if (!library) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    entry = reinterpret_cast<vhost::MainProc>(library->symbol("VSTPluginMain"));
    if (!entry) {
        std::fprintf(stderr, "no VSTPluginMain in %s\n", argv[1]);
        return 1;
    }

    connection.reset(XOpenDisplay(nullptr));
    display = connection.get();
    if (display) {
        XSetErrorHandler(hostXError);
        XSetIOErrorHandler(hostXIOError);
    } else {
        say("nodisplay");
    }
    hostWindow = makeHostWindow(kHostLeft, kHostTop, 400, 180);
    // Shown with the second instance only: below the first window, it would
    // cover a larger editor there.
    secondWindow = makeHostWindow(kHostLeft, kHostTop + 200, 400, 160, false);

    first = makeInstance("");
    if (!first) {
        std::fprintf(stderr, "VSTPluginMain returned no effect\n");
        return 1;
    }
    say("ready");

    // One thread, as a host's user-interface thread: commands, the host's
    // own X events and the editors' idle calls take turns.
    vhost::CommandLines commands;
    long long nextIdle = nowMs() + kIdlePeriodMs;
    bool running = true;
    bool inputOpen = true;
    while (running) {
        // poll ignores negative descriptors.
        pollfd fds[2] = {{inputOpen ? STDIN_FILENO : -1, POLLIN, 0},
                         {display ? ConnectionNumber(display) : -1, POLLIN, 0}};
        const long long wait = nextIdle - nowMs();
        poll(fds, 2, wait > 0 ? static_cast<int>(wait) : 0);
        if (inputOpen && (fds[0].revents & (POLLIN | POLLHUP))) {
            char buf[512];
            const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) {
                inputOpen = false;
                running = run("quit");
            } else {
                running = commands.feed(buf, static_cast<std::size_t>(n), run);
            }
        }
        while (display && XPending(display) > 0) {
            XEvent e;
            XNextEvent(display, &e); // the host draws nothing of its own
        }
        if (running && nowMs() >= nextIdle) {
            idleAll();
            nextIdle += kIdlePeriodMs;
            if (nextIdle < nowMs()) nextIdle = nowMs() + kIdlePeriodMs;
        }
    }
    if (display) {
        XDestroyWindow(display, hostWindow);
        XDestroyWindow(display, secondWindow);
        connection.reset();
        display = nullptr;
    }
    return 0;
}
