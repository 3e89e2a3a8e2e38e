#include "editor/platform/x11/X11Platform.h"

#include "editor/LifeToken.h"
#include "editor/MouseRouter.h"
#include "editor/RasterSurface.h"
#include "editor/platform/x11/TimerPacer.h"
#include "editor/platform/x11/X11Errors.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

namespace ui {

namespace {

// The protocol keeps the top three bits of every resource id zero: a larger
// value (a pointer, say) is no window id.
constexpr std::uintptr_t kXidMask = 0x1fffffff;
constexpr long kEventMask =
    ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | StructureNotifyMask;

std::optional<MouseButton> buttonOf(unsigned int xButton) {
    switch (xButton) {
    case Button1:
        return MouseButton::Left;
    case Button2:
        return MouseButton::Middle;
    case Button3:
        return MouseButton::Right;
    default:
        return std::nullopt; // wheel and extra buttons
    }
}
unsigned bitOf(MouseButton b) { return 1u << static_cast<int>(b); }

// One channel of a TrueColor visual: where its bits lie in a pixel value.
struct Channel {
    int shift = 0;
    int bits = 0;
    explicit Channel(unsigned long mask) {
        if (mask == 0) return;
        shift = std::countr_zero(mask);
        bits = std::popcount(mask);
    }
    unsigned long of(std::uint8_t level) const {
        const unsigned long v =
            bits <= 8 ? (level >> (8 - bits)) : static_cast<unsigned long>(level) << (bits - 8);
        return v << shift;
    }
};

struct DisplayCloser {
    void operator()(Display* d) const {
        // Closing reads the connection (it syncs): trap its errors too.
        XErrorTrap trap(d);
        trap.forget();
        XCloseDisplay(d);
    }
};

// The window's client area in the visual's pixel format. The pixel bytes
// are ours; Xlib only describes them.
struct FrameDeleter {
    void operator()(XImage* image) const {
        image->data = nullptr;
        XDestroyImage(image);
    }
};

class X11Window;

class X11Surface final : public RasterSurface {
public:
    X11Surface(X11Window& owner, AreaId id, int width, int height)
        : RasterSurface(width, height), owner(owner), id(id) {}

private:
    void drawn(bool) override;
    X11Window& owner;
    AreaId id;
};

class X11Window final : public NativeWindow {
public:
    X11Window(WindowListener& listener, MillisecondClock clock)
        : listener(listener), router(listener), clock(std::move(clock)) {}
    ~X11Window() override;
    X11Window(const X11Window&) = delete;
    X11Window& operator=(const X11Window&) = delete;

    bool create(::Window parent);

    void setBounds(int x, int y, int width, int height) override;
    int clientWidth() const override { return bounds.width(); }
    int clientHeight() const override { return bounds.height(); }
    void show() override;
    void hide() override;
    // Always so: every change is composed in the frame first and reaches
    // the window in one XPutImage.
    void setDoubleBuffered(bool on) override { doubleBuffered = on; }
    Surface& surface(AreaId area) override;
    void processRepaints() override { flush(); }
    void startTimer(TimerId id, int periodMs) override {
        if (window) timers.start(id, periodMs, clock());
    }
    std::string decimalSeparator() const override { return separator; }
    void* nativeHandle() const override { return reinterpret_cast<void*>(window); }
    void idle() override;

    void invalidate(AreaId id) { dirty |= 1u << static_cast<int>(id); }

private:
    // Handles one event; false when the window was ended on the way (the
    // listener's handler may close the editor), and then nothing of this
    // object may be touched.
    bool handle(const XEvent& event);
    // The areas drawn since the last flush, into the frame and the window.
    void flush();
    // Rebuilds the frame's pixels inside r from the areas, in stacking order.
    void compose(const Rect& r);
    void put(const Rect& r);
    bool usable() const { return display && window && !lost; }
    // The native window is gone (destroyed with the host's window): no
    // timer, event or drawing reaches it any more.
    void detach();

    WindowListener& listener;
    MouseRouter router;
    MillisecondClock clock;
    std::unique_ptr<Display, DisplayCloser> display;
    ::Window window = 0;
    GC gc = nullptr;
    Visual* visual = nullptr;
    std::array<Channel, 3> channels{Channel(0), Channel(0), Channel(0)};
    std::vector<char> frameBytes;
    std::unique_ptr<XImage, FrameDeleter> frame;
    Rect bounds{0, 0, kClientWidth, kClientHeight};
    bool doubleBuffered = false;
    bool lost = false;        // the connection broke
    unsigned dirty = 0;       // bit per AreaId
    unsigned buttonsDown = 0; // bit per MouseButton
    std::array<std::unique_ptr<X11Surface>, kAreaCount> surfaces;
    TimerPacer timers;
    std::string separator = environmentDecimalSeparator();
    LifeToken lifeToken; // a handler that may end the window checks it
};

void X11Surface::drawn(bool) { owner.invalidate(id); }

bool X11Window::create(::Window parent) {
    display.reset(XOpenDisplay(nullptr));
    if (!display) return false;
    Display* d = display.get();
    keepProcessOnIOError(d, &lost);
    XErrorTrap trap(d);
    XWindowAttributes pa;
    if (!XGetWindowAttributes(d, parent, &pa) || !trap.sync()) return false;
    // The screen's own visual, whatever the parent uses; with a colormap and
    // border of its own the child may differ from its parent.
    Screen* screen = pa.screen;
    visual = DefaultVisualOfScreen(screen);
    const int depth = DefaultDepthOfScreen(screen);
    if (visual->c_class != TrueColor) return false;
    channels = {Channel(visual->red_mask), Channel(visual->green_mask), Channel(visual->blue_mask)};
    XSetWindowAttributes a{};
    a.background_pixmap = None; // every pixel is ours: no clearing before Expose
    a.border_pixel = 0;
    a.colormap = DefaultColormapOfScreen(screen);
    a.event_mask = kEventMask;
    window = XCreateWindow(d, parent, 0, 0, kClientWidth, kClientHeight, 0, depth, InputOutput,
                           visual, CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &a);
    if (window) {
        XStoreName(d, window, kWindowText.data());
        gc = XCreateGC(d, window, 0, nullptr);
    }
    // On failure the destructor takes back what was made, errors trapped.
    if (!trap.sync() || !window || !gc) return false;
    XImage* image = XCreateImage(d, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                 kClientWidth, kClientHeight, 32, 0);
    if (!image) return false;
    frame.reset(image);
    frameBytes.assign(static_cast<std::size_t>(image->bytes_per_line) * kClientHeight, 0);
    image->data = frameBytes.data();
    return true;
}

X11Window::~X11Window() {
    if (display) {
        XErrorTrap trap(display.get());
        // The window may already be gone with the host's window; the trap
        // takes the error that destroying it again gives. On a lost
        // connection Xlib sends nothing but still frees the GC's memory.
        if (window && !lost) XDestroyWindow(display.get(), window);
        if (gc) XFreeGC(display.get(), gc);
    }
    window = 0;
    gc = nullptr;
    frame.reset();
    display.reset();
}

void X11Window::detach() {
    window = 0;
    timers.stopAll();
    buttonsDown = 0;
}

void X11Window::setBounds(int x, int y, int width, int height) {
    if (width <= 0 || height <= 0) return;
    bounds = rectOf(x, y, width, height);
    if (!usable()) return;
    XErrorTrap trap(display.get());
    XMoveResizeWindow(display.get(), window, x, y, static_cast<unsigned>(width),
                      static_cast<unsigned>(height));
}

void X11Window::show() {
    if (!usable()) return;
    // Pixels follow with the Expose that mapping brings, at the next idle
    // call, by when the glue has painted the window's values.
    XErrorTrap trap(display.get());
    XMapRaised(display.get(), window);
}

void X11Window::hide() {
    // An unmapped window loses the pointer grab and never hears the release:
    // a gesture in progress ends here.
    if (buttonsDown != 0) {
        buttonsDown = 0;
        router.release(MouseButton::Left, -1, -1);
    }
    if (!usable()) return;
    XErrorTrap trap(display.get());
    XUnmapWindow(display.get(), window);
}

Surface& X11Window::surface(AreaId id) {
    auto& s = surfaces[static_cast<int>(id)];
    if (!s) {
        const Rect& b = area(id).bounds;
        s = std::make_unique<X11Surface>(*this, id, b.width(), b.height());
    }
    return *s;
}

void X11Window::compose(const Rect& r) {
    if (!frame) return;
    const Rect clip{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, kClientWidth),
                    std::min(r.bottom, kClientHeight)};
    const unsigned long background = channels[0].of(kWindowColour.r) |
                                     channels[1].of(kWindowColour.g) |
                                     channels[2].of(kWindowColour.b);
    for (int y = clip.top; y < clip.bottom; ++y)
        for (int x = clip.left; x < clip.right; ++x) XPutPixel(frame.get(), x, y, background);
    for (const auto& a : kAreas) {
        const auto& s = surfaces[static_cast<int>(a.id)];
        if (!s) continue;
        const Image& src = s->pixels();
        const int x0 = std::max(clip.left, a.bounds.left),
                  x1 = std::min(clip.right, a.bounds.right);
        const int y0 = std::max(clip.top, a.bounds.top),
                  y1 = std::min(clip.bottom, a.bounds.bottom);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const Rgb c = src.at(x - a.bounds.left, y - a.bounds.top);
                XPutPixel(frame.get(), x, y,
                          channels[0].of(c.r) | channels[1].of(c.g) | channels[2].of(c.b));
            }
    }
}

void X11Window::put(const Rect& r) {
    if (!usable() || !frame) return;
    const int x0 = std::max(r.left, 0), y0 = std::max(r.top, 0);
    const int x1 = std::min(r.right, kClientWidth), y1 = std::min(r.bottom, kClientHeight);
    if (x1 <= x0 || y1 <= y0) return;
    XErrorTrap trap(display.get());
    XPutImage(display.get(), window, gc, frame.get(), x0, y0, x0, y0,
              static_cast<unsigned>(x1 - x0), static_cast<unsigned>(y1 - y0));
}

void X11Window::flush() {
    if (dirty == 0) return;
    // One rectangle around everything drawn: the controls lie close together
    // and a single request is cheaper than several.
    Rect box{kClientWidth, kClientHeight, 0, 0};
    for (const auto& a : kAreas)
        if (dirty & (1u << static_cast<int>(a.id))) {
            box.left = std::min(box.left, a.bounds.left);
            box.top = std::min(box.top, a.bounds.top);
            box.right = std::max(box.right, a.bounds.right);
            box.bottom = std::max(box.bottom, a.bounds.bottom);
        }
    dirty = 0;
    compose(box);
    put(box);
}

bool X11Window::handle(const XEvent& e) {
    switch (e.type) {
    case Expose:
        if (e.xexpose.window == window) {
            flush();
            put(rectOf(e.xexpose.x, e.xexpose.y, e.xexpose.width, e.xexpose.height));
        }
        return true;
    case ConfigureNotify:
        if (e.xconfigure.window == window)
            bounds =
                rectOf(e.xconfigure.x, e.xconfigure.y, e.xconfigure.width, e.xconfigure.height);
        return true;
    case DestroyNotify:
        if (e.xdestroywindow.window == window) detach();
        return true;
    case ButtonPress:
    case ButtonRelease: {
        if (e.xbutton.window != window) return true;
        const auto button = buttonOf(e.xbutton.button);
        if (!button) return true;
        // The server holds the pointer for this window from the first press
        // until every button is up, so the release arrives wherever it
        // happens, as the left button's drag and the gesture's end need.
        const auto alive = lifeToken.watch();
        if (e.type == ButtonPress) {
            buttonsDown |= bitOf(*button);
            router.press(*button, e.xbutton.x, e.xbutton.y);
        } else {
            buttonsDown &= ~bitOf(*button);
            router.release(*button, e.xbutton.x, e.xbutton.y);
        }
        return !alive.expired();
    }
    case MotionNotify: {
        if (e.xmotion.window != window) return true;
        const auto alive = lifeToken.watch();
        router.move(e.xmotion.x, e.xmotion.y);
        return !alive.expired();
    }
    default:
        return true;
    }
}

void X11Window::idle() {
    if (!display || lost) return;
    // Take the events that are here now, then handle them with no handler
    // of ours installed: they call into the effect and through it the host.
    std::vector<XEvent> events;
    {
        XErrorTrap trap(display.get());
        for (int n = XPending(display.get()); n > 0 && !lost; --n) {
            XEvent e;
            XNextEvent(display.get(), &e);
            // Of a run of moves only the last matters.
            if (e.type == MotionNotify && !events.empty() && events.back().type == MotionNotify &&
                events.back().xmotion.window == e.xmotion.window)
                events.back() = e;
            else
                events.push_back(e);
        }
    }
    if (lost) {
        // The server is gone or dropped this connection, and the window
        // with it.
        detach();
        return;
    }
    const auto alive = lifeToken.watch();
    for (const XEvent& e : events) {
        if (!handle(e)) return;
        flush();
    }
    while (const auto id = timers.take(clock())) {
        listener.timer(*id);
        if (alive.expired()) return;
        flush();
    }
    flush();
}

class X11Platform final : public Platform {
public:
    explicit X11Platform(MillisecondClock clock) : clock(std::move(clock)) {}
    std::unique_ptr<NativeWindow> createChildWindow(void* parent,
                                                    WindowListener& listener) override {
        const auto id = reinterpret_cast<std::uintptr_t>(parent);
        if (id == 0 || (id & ~kXidMask) != 0) return nullptr;
        auto w = std::make_unique<X11Window>(listener, clock);
        if (!w->create(static_cast<::Window>(id))) return nullptr;
        return w;
    }

private:
    MillisecondClock clock;
};

long long steadyMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

Platform& x11Platform() {
    static X11Platform platform(steadyMilliseconds);
    return platform;
}

std::unique_ptr<Platform> makeX11Platform(MillisecondClock clock) {
    return std::make_unique<X11Platform>(std::move(clock));
}

std::string environmentDecimalSeparator() {
    // The order in which the C library itself lets these variables decide
    // the numeric category; an empty value counts as unset.
    const char* name = "C";
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* v = std::getenv(variable);
        if (v && *v) {
            name = v;
            break;
        }
    }
    locale_t numeric = newlocale(LC_NUMERIC_MASK, name, static_cast<locale_t>(0));
    if (!numeric) return ".";
    const char* radix = nl_langinfo_l(RADIXCHAR, numeric);
    std::string separator = (radix && *radix) ? radix : ".";
    freelocale(numeric);
    return separator;
}

} // namespace ui
