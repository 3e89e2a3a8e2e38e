// The editor of a CLAP plug-in in an X window of this host, as a Linux CLAP
// host embeds it: gui create, set_scale (when given), get_size, set_parent
// with our window, show; the host's timers fire on our one main thread,
// main-thread callbacks run there when asked for, and the plug-in's
// request_flush is answered with flush() on that thread while nothing
// processes. With --process a thread of ours plays the audio thread
// instead: blocks of silence at the pace of 256 frames at 44.1 kHz, the
// host's value events going in and the plug-in's reports coming out
// through process(). --no-timers offers no timer support.
//
// Commands, one per line, on standard input (the real-window tests' line
// protocol, tests/real-window/harness.sh):
//
//   open        creates the editor in our window -> "open 1" or "open 0",
//               then "editor X Y" (the root position of the editor's window)
//   close       destroys the editor -> "closed"
//   get N       parameter N's value (N the index 0 .. 7), normalised ->
//               "param N VALUE"
//   set N V     the host sets parameter N to the normalised value V (as a
//               value event) -> "set N V"
//   size        get_size -> "size W H"
//   scale F     set_scale(F) -> "scale 1" or "scale 0"
//   children    our window's descendants -> "children N"
//   quit        destroys everything -> "bye"
//
// What the plug-in tells the host is printed as it arrives: "beginedit N",
// "endedit N" for gestures, "write N PLAIN" for a value in the host's
// terms followed by "automate N VALUE" with it normalised; "flushed" after
// each flush that told something, "resize W H" for request_resize. An X
// error that reaches this host is printed ("xerror ...") and ends it with
// status 3.
#include "tools/claptesthost/GuiHost.h"

#include "clap/Face.h"
#include "clap/Values.h"
#include "tools/claptesthost/ClapHost.h"
#include "tools/host/LineProtocol.h"

#include <X11/Xlib.h>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace claphost {

namespace {

using vhost::nowMs;
using vhost::say;

constexpr int kHostLeft = 40, kHostTop = 40;
constexpr int kLoopMs = 5;
constexpr std::uint32_t kBlock = 256;

int hostXError(Display*, XErrorEvent* e) {
    say("xerror request=%d code=%d", static_cast<int>(e->request_code),
        static_cast<int>(e->error_code));
    std::exit(3);
}

int descendants(Display* d, ::Window w) {
    ::Window root = 0, parent = 0;
    ::Window* kids = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &root, &parent, &kids, &n)) return 0;
    int total = static_cast<int>(n);
    for (unsigned int i = 0; i < n; ++i) total += descendants(d, kids[i]);
    if (kids) XFree(kids);
    return total;
}

// Prints what the plug-in told the host.
void tell(const std::vector<OutputEvents::Told>& told) {
    for (const OutputEvents::Told& e : told) {
        const int index = clapglue::paramIndexOf(e.id);
        if (index < 0) {
            say("unknownid %u", e.id);
            continue;
        }
        if (e.type == CLAP_EVENT_PARAM_GESTURE_BEGIN) {
            say("beginedit %d", index);
        } else if (e.type == CLAP_EVENT_PARAM_GESTURE_END) {
            say("endedit %d", index);
        } else {
            say("write %d %.9g", index, e.value);
            say("automate %d %.6f", index,
                static_cast<double>(clapglue::normalisedValue(index, e.value).value_or(-1.0f)));
        }
    }
}

class GuiHost {
public:
    GuiHost(const Module& module, const std::string& id, Host::Offers offers, bool processing,
            std::optional<double> scale)
        : host(offers), instance(module, id, host), processing(processing), scale(scale) {
        host.onFlushRequest = [this] { flushAsked = true; };
    }
    ~GuiHost() { stopAudio(); }

    bool start(Display* d, ::Window w) {
        display = d;
        window = w;
        if (!instance.plugin || !instance.gui || !instance.params) return false;
        if (processing) {
            if (!instance.activate(44100, kBlock)) return false;
            audio = std::thread([this] { audioThread(); });
        }
        return true;
    }

    bool run(const std::string& line) {
        std::istringstream in(line);
        std::string word;
        in >> word;
        const clap_plugin* p = instance.plugin;
        if (word == "open") {
            open();
        } else if (word == "close") {
            if (editorOpen) instance.gui->destroy(p);
            editorOpen = false;
            XSync(display, False);
            say("closed");
        } else if (word == "get") {
            int n = -1;
            if (in >> n && n >= 0 && n < kNumActiveParams) {
                const double plain =
                    instance.value(clapglue::kParamIds[static_cast<std::size_t>(n)]);
                say("param %d %.6f", n,
                    static_cast<double>(clapglue::normalisedValue(n, plain).value_or(-1.0f)));
            }
        } else if (word == "set") {
            int n = -1;
            float v = 0;
            if (in >> n >> v && n >= 0 && n < kNumActiveParams) {
                const double plain = clapglue::plainValue(n, v);
                const clap_id id = clapglue::kParamIds[static_cast<std::size_t>(n)];
                if (processing) {
                    const std::lock_guard<std::mutex> lock(pendingLock);
                    pending.push_back({id, plain});
                } else {
                    InputEvents events;
                    events.value(0, id, plain);
                    flush(&events);
                }
                say("set %d %g", n, static_cast<double>(v));
            }
        } else if (word == "size") {
            std::uint32_t w = 0, h = 0;
            instance.gui->get_size(p, &w, &h);
            say("size %u %u", w, h);
        } else if (word == "scale") {
            double f = 0;
            in >> f;
            say("scale %d", editorOpen && instance.gui->set_scale(p, f) ? 1 : 0);
        } else if (word == "children") {
            XSync(display, False);
            say("children %d", descendants(display, window));
        } else if (word == "quit") {
            if (editorOpen) instance.gui->destroy(p);
            editorOpen = false;
            stopAudio();
            say("bye");
            return false;
        } else {
            say("unknown %s", line.c_str());
        }
        return true;
    }

    // One turn of the main thread: the host's timers, the callbacks asked
    // for, a flush asked for, the audio thread's reports.
    void turn() {
        const long long now = nowMs();
        for (const auto& [id, period] : std::map(host.timers)) {
            long long& due = timerDue[id];
            if (due == 0) due = now + period;
            if (now < due) continue;
            due = now + period;
            instance.timer->on_timer(instance.plugin, id);
        }
        while (host.callbackRequests > callbacksRun) {
            ++callbacksRun;
            instance.plugin->on_main_thread(instance.plugin);
        }
        if (flushAsked.exchange(false) && !processing) flush(nullptr);
        std::vector<OutputEvents::Told> told;
        {
            const std::lock_guard<std::mutex> lock(toldLock);
            told.swap(fromAudio);
        }
        tell(told);
        if (host.resizeRequests > resizesSeen) {
            resizesSeen = host.resizeRequests;
            say("resize %u %u", host.resizeWidth.load(), host.resizeHeight.load());
        }
    }

private:
    void open() {
        const clap_plugin* p = instance.plugin;
        const clap_plugin_gui* g = instance.gui;
        if (editorOpen) g->destroy(p);
        editorOpen = g->create(p, CLAP_WINDOW_API_X11, false);
        if (editorOpen && scale) g->set_scale(p, *scale);
        std::uint32_t w = 0, h = 0;
        if (editorOpen) g->get_size(p, &w, &h);
        clap_window parent{};
        parent.api = CLAP_WINDOW_API_X11;
        parent.x11 = window;
        editorOpen = editorOpen && g->set_parent(p, &parent) && g->show(p);
        say("open %d", editorOpen ? 1 : 0);
        if (!editorOpen) return;
        XSync(display, False);
        ::Window root = 0, parentOf = 0, *kids = nullptr;
        unsigned int n = 0;
        int x = 0, y = 0;
        if (XQueryTree(display, window, &root, &parentOf, &kids, &n) && n > 0) {
            ::Window child = 0;
            XTranslateCoordinates(display, kids[0], DefaultRootWindow(display), 0, 0, &x, &y,
                                  &child);
        }
        if (kids) XFree(kids);
        say("editor %d %d", x, y);
    }

    void flush(InputEvents* events) {
        OutputEvents out;
        InputEvents none;
        instance.params->flush(instance.plugin, (events ? events : &none)->list(), out.list());
        tell(out.told);
        if (!out.told.empty()) say("flushed");
    }

    void audioThread() {
        std::vector<float> zeros(kBlock, 0.0f), l(kBlock), r(kBlock);
        float* in[] = {zeros.data(), zeros.data()};
        float* out[] = {l.data(), r.data()};
        auto next = std::chrono::steady_clock::now();
        while (!stopping) {
            InputEvents events;
            {
                const std::lock_guard<std::mutex> lock(pendingLock);
                for (const auto& [id, v] : pending) events.value(0, id, v);
                pending.clear();
            }
            OutputEvents told;
            const std::uint32_t ports = instance.ports->count(instance.plugin, true);
            clap_audio_buffer inputs[2]{{in, nullptr, ports == 1 ? 2u : 1u, 0, 0},
                                        {in, nullptr, 1, 0, 0}};
            clap_audio_buffer outputs[1]{{out, nullptr, 2, 0, 0}};
            clap_process p{};
            p.steady_time = -1;
            p.frames_count = kBlock;
            p.audio_inputs = inputs;
            p.audio_inputs_count = ports;
            p.audio_outputs = outputs;
            p.audio_outputs_count = 1;
            p.in_events = events.list();
            p.out_events = told.list();
            instance.plugin->process(instance.plugin, &p);
            if (!told.told.empty()) {
                const std::lock_guard<std::mutex> lock(toldLock);
                fromAudio.insert(fromAudio.end(), told.told.begin(), told.told.end());
            }
            next += std::chrono::microseconds(kBlock * 1000000 / 44100);
            std::this_thread::sleep_until(next);
        }
    }

    void stopAudio() {
        stopping = true;
        if (audio.joinable()) audio.join();
    }

    Host host;
    Instance instance;
    const bool processing;
    const std::optional<double> scale;
    Display* display = nullptr;
    ::Window window = 0;
    bool editorOpen = false;
    std::atomic<bool> flushAsked{false};
    std::map<clap_id, long long> timerDue;
    int callbacksRun = 0;
    int resizesSeen = 0;
    std::thread audio;
    std::atomic<bool> stopping{false};
    std::mutex pendingLock, toldLock;
    std::vector<std::pair<clap_id, double>> pending;
    std::vector<OutputEvents::Told> fromAudio;
};

} // namespace

int runGuiHost(int argc, char** argv) {
    std::string id = "com.pemberly.velmora";
    Host::Offers offers;
    bool processing = false;
    std::optional<double> scale;
    for (int i = 3; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--plugin" && i + 1 < argc) {
            id = argv[++i];
        } else if (a == "--scale" && i + 1 < argc) {
            double f = 0;
            const std::string_view v = argv[++i];
            if (std::from_chars(v.data(), v.data() + v.size(), f).ec != std::errc()) return 2;
            scale = f;
        } else if (a == "--process") {
            processing = true;
        } else if (a == "--no-timers") {
            offers.timers = false;
        } else {
            std::fprintf(stderr, "velmora-claptesthost gui: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    std::string error;
    auto module = Module::load(argv[2], error);
    if (!module) {
        std::fprintf(stderr, "velmora-claptesthost: %s: %s\n", argv[2], error.c_str());
        return 1;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "velmora-claptesthost gui: no display\n");
        return 1;
    }
    XSetErrorHandler(hostXError);
    XSetWindowAttributes a{};
    // Unmanaged, so that it lies where it is put.
    a.override_redirect = True;
    a.background_pixel = WhitePixel(display, DefaultScreen(display));
    const ::Window window = XCreateWindow(display, DefaultRootWindow(display), kHostLeft, kHostTop,
                                          1200, 500, 0, CopyFromParent, InputOutput, CopyFromParent,
                                          CWOverrideRedirect | CWBackPixel, &a);
    XMapRaised(display, window);
    XSync(display, False);
    int status = 0;
    {
        GuiHost gui(*module, id, offers, processing, scale);
        if (!gui.start(display, window)) {
            std::fprintf(stderr, "velmora-claptesthost gui: no plug-in %s with an editor\n",
                         id.c_str());
            status = 1;
        } else {
            say("ready");
            vhost::CommandLines commands;
            bool running = true;
            const auto run = [&gui](const std::string& line) { return gui.run(line); };
            while (running) {
                pollfd fds[1] = {{STDIN_FILENO, POLLIN, 0}};
                poll(fds, 1, kLoopMs);
                if (fds[0].revents & (POLLIN | POLLHUP)) {
                    char buf[512];
                    const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
                    running = n <= 0 ? gui.run("quit")
                                     : commands.feed(buf, static_cast<std::size_t>(n), run);
                }
                if (running) gui.turn();
            }
        }
    }
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return status;
}

} // namespace claphost
