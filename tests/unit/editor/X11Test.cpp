// The X11 back-end against a real X server (an Xvfb that with-xvfb.sh
// starts): the host's error handlers never touched, errors of the editor's
// own requests kept from the host while the host's own errors reach it,
// the usual display names, windows refused without a display or a parent,
// the pixels on the screen (also in many small requests), mouse events, the
// timers on an injected clock, many windows made and ended, and the
// locale's decimal separator.

// Before Xlib, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include "editor/TimerPacer.h"
#include "editor/platform/headless/HeadlessPlatform.h"
#include "editor/platform/x11/X11Platform.h"
#include "editor/uEditor.h"
#include "plugin/params/DecimalSeparator.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <dirent.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using ui::AreaId;
using ui::MouseButton;
using ui::TimerId;

// ---- timer pacing, without a display ---------------------------------------

std::vector<TimerId> fire(ui::TimerPacer& p, long long now) {
    std::vector<TimerId> fired;
    while (const auto id = p.take(now)) fired.push_back(*id);
    return fired;
}

TEST(TimerPacer, IdleCallsEvery20MsKeepBothPeriods) {
    ui::TimerPacer p;
    p.start(TimerId::Timer1, 500, 0);
    p.start(TimerId::Timer2, 250, 0);
    int t1 = 0, t2 = 0;
    std::vector<long long> t1Times;
    for (long long now = 20; now <= 10000; now += 20)
        for (TimerId id : fire(p, now)) {
            if (id == TimerId::Timer1) {
                ++t1;
                t1Times.push_back(now);
            } else {
                ++t2;
            }
        }
    EXPECT_EQ(t1, 20);
    EXPECT_EQ(t2, 40);
    ASSERT_FALSE(t1Times.empty());
    EXPECT_EQ(t1Times.front(), 500);
    EXPECT_EQ(t1Times.back(), 10000);
}

TEST(TimerPacer, LateIdleCallsFireEachTimerOnceAndDoNotCatchUp) {
    ui::TimerPacer p;
    p.start(TimerId::Timer1, 500, 0);
    p.start(TimerId::Timer2, 250, 0);
    // 1.7 s without an idle call: six Timer2 and three Timer1 periods lost.
    EXPECT_EQ(fire(p, 1700), (std::vector<TimerId>{TimerId::Timer2, TimerId::Timer1}));
    EXPECT_TRUE(fire(p, 1700).empty());
    EXPECT_TRUE(fire(p, 1949).empty());
    // Next due one period after the late call, not at once.
    EXPECT_EQ(fire(p, 1950), std::vector<TimerId>{TimerId::Timer2});
    EXPECT_TRUE(fire(p, 2199).empty());
    EXPECT_EQ(fire(p, 2200), (std::vector<TimerId>{TimerId::Timer1, TimerId::Timer2}));
}

TEST(TimerPacer, ASlightlyLateCallKeepsThePhase) {
    ui::TimerPacer p;
    p.start(TimerId::Timer1, 500, 0);
    EXPECT_EQ(fire(p, 530), std::vector<TimerId>{TimerId::Timer1});
    EXPECT_TRUE(fire(p, 999).empty());
    EXPECT_EQ(fire(p, 1000), std::vector<TimerId>{TimerId::Timer1});
    p.stopAll();
    EXPECT_FALSE(p.running(TimerId::Timer1));
    EXPECT_TRUE(fire(p, 5000).empty());
}

// ---- the pixels' requests, without a display ----------------------------------

TEST(PutImageBands, EveryPieceFitsOneRequestAndTheyCoverTheRectangleOnce) {
    struct Case {
        ui::Rect r;
        int bitsPerPixel, scanlinePad;
        std::size_t limit;
        std::size_t pieces; // 0: not checked
    };
    constexpr std::size_t kXvfbLimit = 65535 * 4;
    const Case cases[] = {
        {{0, 0, 390, 158}, 32, 32, kXvfbLimit, 1},  // the window today: one request
        {{0, 0, 1170, 474}, 32, 32, kXvfbLimit, 9}, // at 3x: 56 rows a band
        {{5, 7, 395, 165}, 24, 32, 4096, 0},
        {{3, 1, 200, 90}, 16, 32, 1000, 0},
        {{0, 0, 333, 20}, 8, 8, 100, 0}, // rows too long: columns
        {{0, 0, 390, 158}, 32, 32, 1000, 316},
        {{10, 10, 11, 11}, 32, 32, 28, 1}, // one pixel and the head
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.r.width()) + " x " + std::to_string(c.r.height()) + " at " +
                     std::to_string(c.bitsPerPixel) + " bits, " + std::to_string(c.limit) +
                     " bytes");
        const auto bands = ui::putImageBands(c.r, c.bitsPerPixel, c.scanlinePad, c.limit);
        if (c.pieces) {
            EXPECT_EQ(bands.size(), c.pieces);
        }
        std::vector<int> covered(static_cast<std::size_t>(c.r.width() * c.r.height()), 0);
        for (const ui::Rect& b : bands) {
            const std::size_t rowBits = static_cast<std::size_t>(b.width() * c.bitsPerPixel);
            const std::size_t pad = static_cast<std::size_t>(c.scanlinePad);
            const std::size_t pixels = (rowBits + pad - 1) / pad * pad / 8 * b.height();
            EXPECT_LE(24 + (pixels + 3) / 4 * 4, c.limit);
            for (int y = b.top; y < b.bottom; ++y)
                for (int x = b.left; x < b.right; ++x) {
                    ASSERT_TRUE(c.r.contains(x, y));
                    ++covered[static_cast<std::size_t>((y - c.r.top) * c.r.width() + x - c.r.left)];
                }
        }
        EXPECT_EQ(std::count(covered.begin(), covered.end(), 1), static_cast<long>(covered.size()));
    }
    EXPECT_TRUE(ui::putImageBands({0, 0, 10, 10}, 32, 32, 27).empty()) << "not one pixel fits";
}

// ---- the decimal separator from the environment ----------------------------

class Environment {
public:
    Environment() {
        for (const char* v : kNames) {
            const char* value = std::getenv(v);
            saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    ~Environment() {
        for (std::size_t i = 0; i < saved.size(); ++i)
            set(kNames[i], saved[i] ? saved[i]->c_str() : nullptr);
    }
    static void set(const char* name, const char* value) {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    static void locale(const char* all, const char* numeric, const char* lang) {
        set("LC_ALL", all);
        set("LC_NUMERIC", numeric);
        set("LANG", lang);
    }

private:
    static constexpr const char* kNames[] = {"LC_ALL",  "LC_NUMERIC", "LANG",
                                             "DISPLAY", "XAUTHORITY", "HOME"};
    std::vector<std::optional<std::string>> saved;
};

TEST(Separator, FollowsLcAllThenLcNumericThenLang) {
    Environment keep;
    const std::string processLocale = std::setlocale(LC_NUMERIC, nullptr);
    Environment::locale("de_DE.UTF-8", nullptr, nullptr);
    EXPECT_EQ(userDecimalSeparator(), ",");
    Environment::locale("C", "de_DE.UTF-8", "de_DE.UTF-8");
    EXPECT_EQ(userDecimalSeparator(), ".") << "LC_ALL decides first";
    Environment::locale(nullptr, "de_DE.UTF-8", "C");
    EXPECT_EQ(userDecimalSeparator(), ",") << "then LC_NUMERIC";
    Environment::locale("", "", "de_DE.UTF-8");
    EXPECT_EQ(userDecimalSeparator(), ",") << "empty values count as unset";
    Environment::locale(nullptr, nullptr, nullptr);
    EXPECT_EQ(userDecimalSeparator(), ".");
    Environment::locale("xx_NOWHERE.UTF-8", nullptr, nullptr);
    EXPECT_EQ(userDecimalSeparator(), ".") << "a locale that is not installed";
    EXPECT_EQ(std::setlocale(LC_NUMERIC, nullptr), processLocale)
        << "the process's own locale is left alone";
}

// ---- the desktop's scale --------------------------------------------------------

TEST(DesktopScale, XftDpiInTheResourcesThenGdkScaleThen1x) {
    using ui::Scale;
    using ui::scaleFromResources;
    // As xrdb leaves them: one resource a line, the name, a colon, a tab.
    EXPECT_EQ(scaleFromResources("Xft.dpi:\t192\n", nullptr), Scale::nearest(2));
    EXPECT_EQ(scaleFromResources("*background:\tgrey\nXft.antialias:\t1\nXft.dpi:\t144\n"
                                 "Xft.hinting:\t1\n",
                                 "3"),
              Scale::nearest(1.5))
        << "the desktop's resource comes before GDK_SCALE";
    EXPECT_EQ(scaleFromResources("Xft.dpi: 120 ", nullptr), Scale::nearest(1.5)) << "125%";
    EXPECT_EQ(scaleFromResources("Xft.dpi:\t96\n", "2"), Scale{});
    EXPECT_EQ(scaleFromResources("Xft.dpi:\t288.0\nXft.dpi:\t192\n", nullptr), Scale::nearest(2))
        << "the last of a name counts";
    EXPECT_EQ(scaleFromResources("Xft.dpi:\tlarge\nXft.dpiX:\t300\nXft.dpi\n", "3"),
              Scale::nearest(3));
    EXPECT_EQ(scaleFromResources("", "2"), Scale::nearest(2));
    EXPECT_EQ(scaleFromResources("", "two"), Scale{});
    EXPECT_EQ(scaleFromResources("", nullptr), Scale{});
}

// ---- against the X server ----------------------------------------------------

int hostErrors = 0;
int hostErrorHandler(Display*, XErrorEvent*) {
    ++hostErrors;
    return 0;
}
int hostIOErrors = 0;
int hostIOErrorHandler(Display*) {
    ++hostIOErrors;
    return 0;
}

// True when the host's handlers are the installed ones (and leaves them so).
bool hostHandlersInstalled() {
    const XErrorHandler e = XSetErrorHandler(hostErrorHandler);
    const XIOErrorHandler io = XSetIOErrorHandler(hostIOErrorHandler);
    return e == hostErrorHandler && io == hostIOErrorHandler;
}

struct Event {
    enum Kind { Press, Move, Release, Elsewhere, Timer } kind;
    AreaId area = AreaId::Image1;
    MouseButton button = MouseButton::Left;
    int x = 0, y = 0;
    TimerId timer = TimerId::Timer1;
    bool operator==(const Event&) const = default;
};

class Recorder final : public ui::WindowListener {
public:
    void areaPress(AreaId a, MouseButton b, int x, int y) override {
        events.push_back({Event::Press, a, b, x, y});
    }
    void areaMove(AreaId a, int x, int y) override {
        events.push_back({Event::Move, a, MouseButton::Left, x, y});
    }
    void areaRelease(AreaId a, MouseButton b, int x, int y) override {
        events.push_back({Event::Release, a, b, x, y});
    }
    void releaseElsewhere(MouseButton b) override {
        events.push_back({Event::Elsewhere, AreaId::Image1, b});
    }
    void timer(TimerId id) override {
        Event e{Event::Timer};
        e.timer = id;
        events.push_back(e);
    }
    std::vector<Event> events;
};

int openDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
using Connection = std::unique_ptr<Display, DisplayCloser>;
struct ImageDestroyer {
    void operator()(XImage* i) const { XDestroyImage(i); }
};
using Picture = std::unique_ptr<XImage, ImageDestroyer>;

void* idOf(::Window w) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(w)); }

class X11 : public ::testing::Test {
protected:
    void SetUp() override {
        connection.reset(XOpenDisplay(nullptr));
        host = connection.get();
        ASSERT_NE(host, nullptr) << "no X server at DISPLAY (run through with-xvfb.sh)";
        XSetErrorHandler(hostErrorHandler);
        XSetIOErrorHandler(hostIOErrorHandler);
        hostErrors = hostIOErrors = 0;
        XSetWindowAttributes a{};
        a.override_redirect = True;
        parent = XCreateWindow(host, DefaultRootWindow(host), 10, 10, 400, 170, 0, CopyFromParent,
                               InputOutput, CopyFromParent, CWOverrideRedirect, &a);
        XMapRaised(host, parent);
        XSync(host, False);
        platform = ui::makeX11Platform([this] { return now; });
    }
    void TearDown() override {
        if (!host) return;
        XDestroyWindow(host, parent);
        XSync(host, False);
        EXPECT_EQ(hostErrors, 0) << "an X error reached the host's handler";
        XSetErrorHandler(nullptr);
        XSetIOErrorHandler(nullptr);
        connection.reset();
    }
    std::unique_ptr<ui::NativeWindow> make() {
        return platform->createChildWindow(idOf(parent), listener);
    }
    void expectHeadlessPixels();
    // The editor's window inside the parent, as the server has it.
    ::Window child() {
        XSync(host, False);
        ::Window root = 0, up = 0, found = 0;
        ::Window* kids = nullptr;
        unsigned int n = 0;
        if (XQueryTree(host, parent, &root, &up, &kids, &n) && n > 0) found = kids[n - 1];
        if (kids) XFree(kids);
        return found;
    }
    void send(::Window w, int type, unsigned int button, int x, int y) {
        XEvent e{};
        e.type = type;
        if (type == MotionNotify) {
            e.xmotion.window = w;
            e.xmotion.x = x;
            e.xmotion.y = y;
            e.xmotion.same_screen = True;
        } else {
            e.xbutton.window = w;
            e.xbutton.button = button;
            e.xbutton.x = x;
            e.xbutton.y = y;
            e.xbutton.same_screen = True;
        }
        const long mask = type == MotionNotify  ? PointerMotionMask
                          : type == ButtonPress ? ButtonPressMask
                                                : ButtonReleaseMask;
        XSendEvent(host, w, False, mask, &e);
        XSync(host, False);
    }

    Connection connection;
    Display* host = nullptr;
    ::Window parent = 0;
    long long now = 0;
    Recorder listener;
    std::unique_ptr<ui::Platform> platform;
};

TEST_F(X11, TheHostsErrorHandlersStayInstalledThroughEveryCall) {
    auto w = make();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(hostHandlersInstalled()) << "create";
    w->setBounds(0, 0, ui::kClientWidth, ui::kClientHeight);
    EXPECT_TRUE(hostHandlersInstalled()) << "setBounds";
    w->startTimer(TimerId::Timer1, 500);
    w->surface(AreaId::Image1).drawImage(ui::artwork().background, 0, 0);
    w->processRepaints();
    EXPECT_TRUE(hostHandlersInstalled()) << "processRepaints";
    w->show();
    EXPECT_TRUE(hostHandlersInstalled()) << "show";
    now = 600;
    w->idle();
    EXPECT_TRUE(hostHandlersInstalled()) << "idle";
    w->hide();
    EXPECT_TRUE(hostHandlersInstalled()) << "hide";
    w.reset();
    EXPECT_TRUE(hostHandlersInstalled()) << "destruction";
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(X11, ErrorsOfTheEditorsOwnRequestsAfterTheParentWentStayWithTheEditor) {
    auto w = make();
    ASSERT_NE(w, nullptr);
    w->startTimer(TimerId::Timer1, 500);
    w->startTimer(TimerId::Timer2, 250);
    w->show();
    w->idle();
    // The host destroys its window, and the editor's with it, unannounced.
    XDestroyWindow(host, parent);
    XSync(host, False);
    // Requests on the gone window before the editor has heard of it.
    w->surface(AreaId::SLFilter1).fillRect({0, 0, 120, 16});
    w->processRepaints();
    w->setBounds(0, 0, ui::kClientWidth, ui::kClientHeight);
    w->show();
    EXPECT_EQ(hostErrors, 0);
    EXPECT_TRUE(hostHandlersInstalled());
    // The next idle call hears of the destruction: no timer fires any more.
    now = 100;
    w->idle();
    listener.events.clear();
    now = 5000;
    w->idle();
    EXPECT_TRUE(listener.events.empty()) << "timers of a destroyed window";
    w->hide();
    w.reset(); // destroys a window that no longer exists
    EXPECT_EQ(hostErrors, 0);
    EXPECT_TRUE(hostHandlersInstalled());
    // TearDown destroys the parent again: make one so that it does not fail.
    parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 10, 10, 0, 0, 0);
}

TEST_F(X11, TheChildIsABorderlessHarrowbyAtTheParentsOrigin) {
    auto w = make();
    ASSERT_NE(w, nullptr);
    w->show();
    const ::Window c = child();
    ASSERT_NE(c, 0u);
    char* name = nullptr;
    ASSERT_TRUE(XFetchName(host, c, &name));
    EXPECT_STREQ(name, "Harrowby");
    XFree(name);
    XWindowAttributes a{};
    ASSERT_TRUE(XGetWindowAttributes(host, c, &a));
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(a.y, 0);
    EXPECT_EQ(a.width, ui::kClientWidth);
    EXPECT_EQ(a.height, ui::kClientHeight);
    EXPECT_EQ(a.border_width, 0);
    EXPECT_EQ(a.c_class, InputOutput);
    EXPECT_EQ(a.map_state, IsViewable);
    EXPECT_EQ(a.visual, DefaultVisual(host, DefaultScreen(host)));
    EXPECT_EQ(a.depth, DefaultDepth(host, DefaultScreen(host)));
    EXPECT_EQ(a.all_event_masks, ExposureMask | ButtonPressMask | ButtonReleaseMask |
                                     PointerMotionMask | StructureNotifyMask);
    w->hide();
    ASSERT_TRUE(XGetWindowAttributes(host, c, &a));
    EXPECT_EQ(a.map_state, IsUnmapped);
}

TEST_F(X11, TheHostsOwnErrorsReachItsHandlerWhileEditorsRun) {
    auto first = make();
    auto second = make();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    first->show();
    second->show();
    first->idle();
    // A request of the host's on a window that is gone, between the editors'
    // calls.
    const ::Window gone = XCreateSimpleWindow(host, parent, 0, 0, 1, 1, 0, 0, 0);
    XDestroyWindow(host, gone);
    XMapWindow(host, gone);
    second->idle();
    XSync(host, False);
    EXPECT_EQ(hostErrors, 1) << "the host's error went to the host's handler, once";
    // The editors' own failing requests add none.
    XDestroyWindow(host, child());
    XSync(host, False);
    second->surface(AreaId::DlQ1).fillRect({0, 0, 41, 41});
    second->processRepaints();
    first->idle();
    second->idle();
    first.reset();
    second.reset();
    XSync(host, False);
    EXPECT_EQ(hostErrors, 1);
    EXPECT_TRUE(hostHandlersInstalled());
    hostErrors = 0;
}

TEST_F(X11, TheUsualDisplayNamesReachTheServer) {
    Environment keep;
    const std::string display = std::getenv("DISPLAY");
    const std::string n = display.substr(display.rfind(':') + 1);
    for (const std::string& name :
         std::vector<std::string>{":" + n, ":" + n + ".0", "unix:" + n, "unix:" + n + ".0",
                                  "unix/:" + n, "unix/unix:" + n}) {
        setenv("DISPLAY", name.c_str(), 1);
        EXPECT_NE(make(), nullptr) << name;
    }
    // The server has one screen.
    for (const std::string& name : std::vector<std::string>{":" + n + ".1", "nonsense", ":", ":x",
                                                            ":" + n + ".", "decnet/:" + n}) {
        setenv("DISPLAY", name.c_str(), 1);
        EXPECT_EQ(make(), nullptr) << name;
    }
}

// The server admits only clients with its cookie, as a desktop's does
// (with-xvfb.sh gives it one): the editor finds it where X clients look, in
// XAUTHORITY or else ~/.Xauthority, and without it gets no window.
TEST_F(X11, TheDisplaysCookieOpensTheWindowAndNothingElseDoes) {
    const char* file = std::getenv("XAUTHORITY");
    if (!file) GTEST_SKIP() << "the server admits every client";
    Environment keep;
    std::ifstream in(file, std::ios::binary);
    std::string cookies((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(cookies.size(), 16u);
    char folder[] = "/tmp/velmora-x11test.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(std::string(folder) + "/" + name, std::ios::binary) << bytes;
        return std::string(folder) + "/" + name;
    };
    EXPECT_NE(make(), nullptr) << "the cookie in XAUTHORITY";
    unsetenv("XAUTHORITY");
    setenv("HOME", folder, 1);
    write(".Xauthority", cookies);
    EXPECT_NE(make(), nullptr) << "the cookie in ~/.Xauthority";
    // The file's one entry ends with its cookie.
    std::string wrong = cookies;
    wrong.back() = static_cast<char>(wrong.back() ^ 0x5a);
    setenv("XAUTHORITY", write("wrong", wrong).c_str(), 1);
    EXPECT_EQ(make(), nullptr) << "a wrong cookie";
    setenv("XAUTHORITY", (std::string(folder) + "/none").c_str(), 1);
    EXPECT_EQ(make(), nullptr) << "no cookie";
    std::filesystem::remove_all(folder);
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(X11, NoWindowWithoutAUsableParentOrDisplay) {
    EXPECT_EQ(platform->createChildWindow(nullptr, listener), nullptr);
    // No client has this id.
    EXPECT_EQ(platform->createChildWindow(idOf(0x1ffffff0), listener), nullptr);
    // A pointer (some hosts' Display*) where the id belongs.
    int notAWindow = 0;
    EXPECT_EQ(platform->createChildWindow(&notAWindow, listener), nullptr);
    {
        Environment keep;
        unsetenv("DISPLAY");
        EXPECT_EQ(platform->createChildWindow(idOf(parent), listener), nullptr);
        setenv("DISPLAY", ":65000", 1); // nothing listens there
        EXPECT_EQ(platform->createChildWindow(idOf(parent), listener), nullptr);
    }
    EXPECT_EQ(hostErrors, 0);
    EXPECT_TRUE(hostHandlersInstalled());
    EXPECT_NE(make(), nullptr) << "with the display back, a window";
}

// The window's pixels on the screen equal the headless back-end's, sent in
// requests of the server's longest size and, where a later, larger window
// will need it, in many smaller ones: bands of rows and, below one row's
// size, of columns too.
TEST_F(X11, TheScreenShowsTheHeadlessPixels) {
    for (const std::size_t limit : {std::size_t{0}, std::size_t{4096}, std::size_t{1000}}) {
        SCOPED_TRACE(limit ? "requests of at most " + std::to_string(limit) + " bytes"
                           : "requests of the server's longest size");
        platform = ui::makeX11Platform([this] { return now; }, limit);
        expectHeadlessPixels();
    }
}

void X11::expectHeadlessPixels() {
    Environment keep;
    Environment::locale("C", nullptr, nullptr);
    auto onScreen = TPluginEditorWindow::create(*platform, idOf(parent));
    ui::HeadlessPlatform headless;
    int fakeParent = 0;
    auto reference = TPluginEditorWindow::create(headless, &fakeParent);
    ASSERT_NE(onScreen, nullptr);
    ASSERT_NE(reference, nullptr);
    for (TPluginEditorWindow* w : {onScreen.get(), reference.get()}) {
        w->fvar[0] = 0.3f;
        w->fvar[3] = 0.6f;
        w->fvar[4] = 0.85f;
        w->SetAll();
        w->SetLabel(4);
    }
    onScreen->native().show();
    onScreen->native().idle(); // Expose
    XSync(host, False);
    const ::Window c = child();
    ASSERT_NE(c, 0u);
    Picture image(
        XGetImage(host, c, 0, 0, ui::kClientWidth, ui::kClientHeight, AllPlanes, ZPixmap));
    ASSERT_NE(image, nullptr);
    const ui::Image expected = headless.lastWindow()->composite();
    int differing = 0;
    for (int y = 0; y < ui::kClientHeight; ++y)
        for (int x = 0; x < ui::kClientWidth; ++x) {
            const unsigned long p = XGetPixel(image.get(), x, y);
            const ui::Rgb got{static_cast<std::uint8_t>((p >> 16) & 0xff),
                              static_cast<std::uint8_t>((p >> 8) & 0xff),
                              static_cast<std::uint8_t>(p & 0xff)};
            if (!(got == expected.at(x, y))) ++differing;
        }
    EXPECT_EQ(differing, 0);
    // A change shows at the next idle call, and only then.
    onScreen->fvar[0] = 1.0f;
    onScreen->SetControl(0);
    onScreen->native().idle();
    XSync(host, False);
    image.reset(XGetImage(host, c, 24 + 107, 40, 6, 1, AllPlanes, ZPixmap));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(XGetPixel(image.get(), 0, 0) & 0xffffff, 0xfa9600u) << "the marker at 1.0";
}

TEST_F(X11, MouseEventsReachTheAreasAsOnWin32) {
    auto w = make();
    ASSERT_NE(w, nullptr);
    w->show();
    const ::Window c = child();
    ASSERT_NE(c, 0u);
    w->idle();
    listener.events.clear();
    // Left press on SLFilter1 holds it: moves and the release far outside
    // still go to it.
    send(c, ButtonPress, Button1, 34, 48);
    send(c, MotionNotify, 0, 200, 48);
    send(c, MotionNotify, 0, 300, 48);
    send(c, MotionNotify, 0, 500, 60); // a run of moves: only the last counts
    send(c, ButtonRelease, Button1, 500, 60);
    w->idle();
    const std::vector<Event> drag{
        {Event::Press, AreaId::SLFilter1, MouseButton::Left, 10, 8},
        {Event::Move, AreaId::SLFilter1, MouseButton::Left, 476, 20},
        {Event::Release, AreaId::SLFilter1, MouseButton::Left, 476, 20},
    };
    EXPECT_EQ(listener.events, drag);
    listener.events.clear();
    // Right press on DlQ1, released outside every area: the gesture ends.
    send(c, ButtonPress, Button3, 64 + 21, 96 + 8);
    send(c, MotionNotify, 0, 5, 5); // over the background: no area
    send(c, ButtonRelease, Button3, 380, 150);
    send(c, ButtonPress, 4, 34, 48); // the wheel is no button here
    w->idle();
    const std::vector<Event> step{
        {Event::Press, AreaId::DlQ1, MouseButton::Right, 21, 8},
        {Event::Elsewhere, AreaId::Image1, MouseButton::Right},
    };
    EXPECT_EQ(listener.events, step);
    listener.events.clear();
    // A window hidden while a button is down hears no release: hiding ends it.
    send(c, ButtonPress, Button3, 64 + 21, 96 + 8);
    w->idle();
    w->hide();
    ASSERT_EQ(listener.events.size(), 2u);
    EXPECT_EQ(listener.events[1].kind, Event::Elsewhere);
}

// A desktop whose resources say Xft.dpi: 144, as xrdb sets them on the
// root window: the editor's window is 1.5 times the size, shows the headless
// back-end's pixels at 1.5x, and the mouse reaches the areas in layout
// pixels. Without the resource GDK_SCALE decides.
TEST_F(X11, TheDesktopsXftDpiDrawsTheWindowAtItsScale) {
    // The desktop as the test found it afterwards, whatever fails on the way.
    struct Desktop {
        Display* host;
        std::optional<std::string> gdkScale;
        ~Desktop() {
            XDeleteProperty(host, DefaultRootWindow(host), XA_RESOURCE_MANAGER);
            XSync(host, False);
            if (gdkScale)
                setenv("GDK_SCALE", gdkScale->c_str(), 1);
            else
                unsetenv("GDK_SCALE");
        }
    } desktop{host, std::getenv("GDK_SCALE") ? std::optional<std::string>(std::getenv("GDK_SCALE"))
                                             : std::nullopt};
    unsetenv("GDK_SCALE");
    const ::Window root = DefaultRootWindow(host);
    const std::string resources = "Xft.antialias:\t1\nXft.dpi:\t144\n";
    XChangeProperty(host, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources.data()),
                    static_cast<int>(resources.size()));
    XResizeWindow(host, parent, 600, 250); // all of the window on the screen
    XSync(host, False);
    {
        Environment keep;
        Environment::locale("C", nullptr, nullptr);
        auto onScreen = TPluginEditorWindow::create(*platform, idOf(parent));
        ASSERT_NE(onScreen, nullptr);
        EXPECT_EQ(onScreen->native().scale(), ui::Scale::nearest(1.5));
        ui::HeadlessPlatform headless;
        headless.systemScale = ui::Scale::nearest(1.5);
        int fakeParent = 0;
        auto reference = TPluginEditorWindow::create(headless, &fakeParent);
        ASSERT_NE(reference, nullptr);
        for (TPluginEditorWindow* w : {onScreen.get(), reference.get()}) {
            w->fvar[0] = 0.3f;
            w->fvar[4] = 0.85f;
            w->SetAll();
            w->SetLabel(4);
        }
        onScreen->native().show();
        onScreen->native().idle(); // Expose
        const ::Window c = child();
        ASSERT_NE(c, 0u);
        XWindowAttributes a{};
        ASSERT_TRUE(XGetWindowAttributes(host, c, &a));
        EXPECT_EQ(a.width, 585);
        EXPECT_EQ(a.height, 237);
        Picture image(XGetImage(host, c, 0, 0, 585, 237, AllPlanes, ZPixmap));
        ASSERT_NE(image, nullptr);
        const ui::Image expected = headless.lastWindow()->composite();
        ASSERT_EQ(expected.width, 585);
        int differing = 0;
        for (int y = 0; y < 237; ++y)
            for (int x = 0; x < 585; ++x) {
                const unsigned long p = XGetPixel(image.get(), x, y);
                differing += !(ui::Rgb{static_cast<std::uint8_t>((p >> 16) & 0xff),
                                       static_cast<std::uint8_t>((p >> 8) & 0xff),
                                       static_cast<std::uint8_t>(p & 0xff)} == expected.at(x, y));
            }
        EXPECT_EQ(differing, 0);
    }
    // The mouse: device pixels over 1.5, rounded down, in the area's own
    // coordinates.
    auto w = make();
    ASSERT_NE(w, nullptr);
    w->show();
    const ::Window c = child();
    w->idle();
    listener.events.clear();
    send(c, ButtonPress, Button1, 52, 73);    // layout (34.7, 48.7)
    send(c, MotionNotify, 0, 127, 72);        // (84.7, 48)
    send(c, ButtonRelease, Button1, 126, 72); // (84, 48)
    w->idle();
    const std::vector<Event> drag{
        {Event::Press, AreaId::SLFilter1, MouseButton::Left, 10, 8},
        {Event::Move, AreaId::SLFilter1, MouseButton::Left, 60, 8},
        {Event::Release, AreaId::SLFilter1, MouseButton::Left, 60, 8},
    };
    EXPECT_EQ(listener.events, drag);
    w.reset();
    // Without the resource, GDK_SCALE; without either, 1x.
    XDeleteProperty(host, root, XA_RESOURCE_MANAGER);
    XSync(host, False);
    setenv("GDK_SCALE", "3", 1);
    w = make();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->scale(), ui::Scale::nearest(3));
    EXPECT_EQ(w->clientWidth(), 1170);
    unsetenv("GDK_SCALE");
    w = make();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->clientWidth(), 390);
}

TEST_F(X11, TimersFollowTheClockOfTheIdleCalls) {
    now = 1000;
    auto w = make();
    ASSERT_NE(w, nullptr);
    w->startTimer(TimerId::Timer1, 500);
    w->startTimer(TimerId::Timer2, 250);
    auto timers = [&] {
        std::vector<TimerId> out;
        for (const Event& e : listener.events)
            if (e.kind == Event::Timer) out.push_back(e.timer);
        listener.events.clear();
        return out;
    };
    now = 1249;
    w->idle();
    EXPECT_TRUE(timers().empty());
    now = 1250;
    w->idle();
    EXPECT_EQ(timers(), std::vector<TimerId>{TimerId::Timer2});
    now = 1500;
    w->idle();
    EXPECT_EQ(timers(), (std::vector<TimerId>{TimerId::Timer1, TimerId::Timer2}));
    // Four seconds without an idle call: each timer fires once.
    now = 5500;
    w->idle();
    EXPECT_EQ(timers(), (std::vector<TimerId>{TimerId::Timer2, TimerId::Timer1}));
    w->idle();
    EXPECT_TRUE(timers().empty());
}

TEST_F(X11, ALostConnectionEndsTheEditorsWindowAndNothingElse) {
    auto w = make();
    ASSERT_NE(w, nullptr);
    w->startTimer(TimerId::Timer1, 500);
    w->show();
    w->idle();
    const ::Window c = child();
    ASSERT_NE(c, 0u);
    // The server drops the editor's connection, as when it goes away.
    XKillClient(host, c);
    XSync(host, False);
    listener.events.clear();
    now = 2000;
    w->idle(); // reads the end of the connection
    w->surface(AreaId::DlQ1).fillRect({0, 0, 41, 41});
    w->processRepaints();
    w->show();
    w->hide();
    w->idle();
    for (const Event& e : listener.events) EXPECT_NE(e.kind, Event::Timer);
    w.reset();
    EXPECT_EQ(hostIOErrors, 0) << "the editor's broken connection reached the host's handler";
    EXPECT_EQ(hostErrors, 0);
    EXPECT_TRUE(hostHandlersInstalled());
    EXPECT_EQ(child(), 0u) << "the server took the window with the connection";
    EXPECT_NE(make(), nullptr) << "the next window has a connection of its own";
}

TEST_F(X11, ManyWindowsMadeAndEndedLeaveNoConnectionOpen) {
    { auto warm = make(); }
    const int before = openDescriptors();
    for (int i = 0; i < 200; ++i) {
        auto w = make();
        ASSERT_NE(w, nullptr) << i;
        w->surface(AreaId::DlQ1).fillRect({0, 0, 41, 41});
        w->show();
        w->idle();
    }
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_TRUE(hostHandlersInstalled());
}

} // namespace
