#include "editor/platform/x11/X11Platform.h"

#include "editor/Composition.h"
#include "editor/LifeToken.h"
#include "editor/MouseRouter.h"
#include "editor/RasterSurface.h"
#include "editor/TimerPacer.h"
#include "editor/platform/x11/DisplayConnection.h"
#include "plugin/params/DecimalSeparator.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

namespace ui {

namespace {

using Clock = std::chrono::steady_clock;

// The protocol keeps the top three bits of every resource id zero: a larger
// value (a pointer, say) is no window id.
constexpr std::uintptr_t kXidMask = 0x1fffffff;
constexpr std::uint32_t kEventMask = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                                     XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION |
                                     XCB_EVENT_MASK_STRUCTURE_NOTIFY;
// How long the window waits for the X server: for the whole of its opening
// (connection, set-up and the checked requests), and for each later round
// trip. A server that has not answered by then is given up as if its
// connection had broken: the host's thread is never held longer.
constexpr std::chrono::milliseconds kPatience{1500};
// A PutImage request's bytes before its pixels.
constexpr std::size_t kPutImageHead = 24;
// Set in an event's type when another client sent it (SendEvent).
constexpr std::uint8_t kSentEvent = 0x80;
// The most of the desktop's resources read, in 4-byte units: far more than
// any desktop sets.
constexpr std::uint32_t kResourceWords = 1 << 16;
// The resolution that a scale of 1 stands for.
constexpr double kLayoutDpi = 96.0;

struct Free {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Owned = std::unique_ptr<T, Free>;
using Event = Owned<xcb_generic_event_t>;

struct Disconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

std::optional<MouseButton> buttonOf(xcb_button_t button) {
    switch (button) {
    case XCB_BUTTON_INDEX_1:
        return MouseButton::Left;
    case XCB_BUTTON_INDEX_2:
        return MouseButton::Middle;
    case XCB_BUTTON_INDEX_3:
        return MouseButton::Right;
    default:
        return std::nullopt; // wheel and extra buttons
    }
}
unsigned bitOf(MouseButton b) { return 1u << static_cast<int>(b); }

std::uint8_t typeOf(const xcb_generic_event_t& e) {
    return static_cast<std::uint8_t>(e.response_type & ~kSentEvent);
}

// One channel of a TrueColor visual: where its bits lie in a pixel value.
struct Channel {
    int shift = 0;
    int bits = 0;
    explicit Channel(std::uint32_t mask) {
        if (mask == 0) return;
        shift = std::countr_zero(mask);
        bits = std::popcount(mask);
    }
    std::uint32_t of(std::uint8_t level) const {
        const std::uint32_t v =
            bits <= 8 ? (level >> (8 - bits)) : static_cast<std::uint32_t>(level) << (bits - 8);
        return v << shift;
    }
};

// The server's ZPixmap format for the window's depth: how a pixel value is
// laid out in the bytes of a PutImage request.
struct PixelLayout {
    int bitsPerPixel = 32; // 8, 16, 24 or 32
    int scanlinePad = 32;  // each row's bits round up to a multiple of this
    bool lsbFirst = true;  // the image byte order

    std::size_t rowBytes(int width) const {
        const auto bits = static_cast<std::size_t>(width) * static_cast<std::size_t>(bitsPerPixel);
        const auto pad = static_cast<std::size_t>(scanlinePad);
        return (bits + pad - 1) / pad * pad / 8;
    }
    void store(std::uint8_t* at, std::uint32_t pixel) const {
        if (bitsPerPixel == 32 && lsbFirst) {
            // Nearly every server's: one word, least significant byte first.
            at[0] = static_cast<std::uint8_t>(pixel);
            at[1] = static_cast<std::uint8_t>(pixel >> 8);
            at[2] = static_cast<std::uint8_t>(pixel >> 16);
            at[3] = static_cast<std::uint8_t>(pixel >> 24);
            return;
        }
        const int n = bitsPerPixel / 8;
        for (int i = 0; i < n; ++i)
            at[lsbFirst ? i : n - 1 - i] = static_cast<std::uint8_t>(pixel >> (8 * i));
    }
};

class X11Window;

class X11Surface final : public RasterSurface {
public:
    X11Surface(X11Window& owner, AreaId id, int width, int height, Scale scale)
        : RasterSurface(width, height, scale), owner(owner), id(id) {}

private:
    void drawn(bool) override;
    X11Window& owner;
    AreaId id;
};

class X11Window final : public NativeWindow {
public:
    X11Window(WindowListener& listener, MillisecondClock clock, std::size_t requestLimit,
              std::optional<Scale> scale)
        : listener(listener), router(listener), clock(std::move(clock)), requestLimit(requestLimit),
          asked(scale) {}
    ~X11Window() override;
    X11Window(const X11Window&) = delete;
    X11Window& operator=(const X11Window&) = delete;

    bool create(xcb_window_t parent);

    Scale scale() const override { return windowScale; }
    void setBounds(int x, int y, int width, int height) override;
    int clientWidth() const override { return bounds.width(); }
    int clientHeight() const override { return bounds.height(); }
    void show() override;
    void hide() override;
    // Always so: every change is composed in the frame first and reaches
    // the window in one put.
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
    bool handle(const xcb_generic_event_t& event);
    // The areas drawn since the last flush, into the frame and the window.
    void flush();
    // Rebuilds the frame's pixels inside r from the areas, in stacking order.
    void compose(const Rect& r);
    void put(const Rect& r);
    // Waits until the server has handled every request so far, so that when
    // a call returns the host sees what it changed (the window made, mapped,
    // drawn or gone). Errors of the requests arrive meanwhile and stay
    // queued for the next idle call, which drops them.
    void settle();
    bool usable() const { return connection && window && !lost; }
    // The native window is gone (destroyed with the host's window): no
    // timer, event or drawing reaches it any more.
    void detach();
    // The connection broke, or the server stopped answering: the window's
    // part ends here, quietly.
    void giveUp() {
        lost = true;
        detach();
    }

    WindowListener& listener;
    MouseRouter router;
    MillisecondClock clock;
    std::size_t requestLimit;   // bytes a request may take
    std::optional<Scale> asked; // the host's scale, if it gave one
    Scale windowScale;
    std::unique_ptr<xcb_connection_t, Disconnect> connection;
    xcb_window_t window = 0;
    xcb_gcontext_t gc = 0;
    std::uint8_t depth = 0;
    std::array<Channel, 3> channels{Channel(0), Channel(0), Channel(0)};
    PixelLayout layout;
    std::size_t stride = 0;                         // bytes per row of the frame
    std::vector<std::uint8_t> frame;                // the client area in the server's pixel format
    std::vector<std::uint8_t> band;                 // one request's pixels
    Rect bounds{0, 0, kClientWidth, kClientHeight}; // device pixels, as the server has them
    Rect client{0, 0, kClientWidth, kClientHeight}; // the frame: the window at its scale
    bool doubleBuffered = false;
    bool lost = false;        // the connection broke or the server stopped answering
    unsigned dirty = 0;       // bit per AreaId
    unsigned buttonsDown = 0; // bit per MouseButton
    std::array<std::unique_ptr<X11Surface>, kAreaCount> surfaces;
    TimerPacer timers;
    std::string separator = userDecimalSeparator();
    LifeToken lifeToken; // a handler that may end the window checks it
};

void X11Surface::drawn(bool) { owner.invalidate(id); }

// The reply to request `sequence` by the deadline; null when the request
// failed, the connection broke or the server did not answer in time (then
// `answered` is false).
template <typename T>
Owned<T> replyTo(xcb_connection_t* c, unsigned int sequence, Deadline deadline, bool& answered) {
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    answered = awaitReply(c, sequence, deadline, &reply, &error);
    std::free(error);
    return Owned<T>(static_cast<T*>(reply));
}

// Whether the server has handled every request so far by the deadline.
bool roundTrip(xcb_connection_t* c, Deadline deadline) {
    bool answered = false;
    replyTo<xcb_get_input_focus_reply_t>(c, xcb_get_input_focus(c).sequence, deadline, answered);
    return answered;
}

const xcb_screen_t* screenWithRoot(const xcb_setup_t* setup, xcb_window_t root) {
    for (auto s = xcb_setup_roots_iterator(setup); s.rem; xcb_screen_next(&s))
        if (s.data->root == root) return s.data;
    return nullptr;
}

const xcb_visualtype_t* visualOf(const xcb_screen_t* screen, xcb_visualid_t id) {
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d))
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->visual_id == id) return v.data;
    return nullptr;
}

std::optional<PixelLayout> layoutFor(const xcb_setup_t* setup, std::uint8_t depth) {
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if (f.data->depth != depth) continue;
        const int bpp = f.data->bits_per_pixel;
        if ((bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) || bpp < depth ||
            f.data->scanline_pad % 8 != 0 || f.data->scanline_pad == 0)
            return std::nullopt;
        return PixelLayout{bpp, f.data->scanline_pad,
                           setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST};
    }
    return std::nullopt;
}

bool X11Window::create(xcb_window_t parent) {
    // One deadline for all of the opening: the host's effEditOpen returns by it.
    const Deadline deadline = Clock::now() + kPatience;
    connection.reset(connectDisplay(nullptr, deadline));
    if (!connection) return false;
    xcb_connection_t* c = connection.get();
    const xcb_setup_t* setup = xcb_get_setup(c);

    // The parent's attributes prove that it is a window; its geometry names
    // its root, and so its screen.
    const auto attributesAsked = xcb_get_window_attributes(c, parent);
    const auto geometryAsked = xcb_get_geometry(c, parent);
    // Without the host's scale, the desktop's: its resources, where Xft.dpi
    // lies, are on the first screen's root, as Xlib reads them.
    std::optional<xcb_get_property_cookie_t> resourcesAsked;
    if (!asked)
        resourcesAsked =
            xcb_get_property(c, 0, xcb_setup_roots_iterator(setup).data->root,
                             XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, kResourceWords);
    bool answered = false;
    const auto attributes =
        replyTo<xcb_get_window_attributes_reply_t>(c, attributesAsked.sequence, deadline, answered);
    const auto geometry =
        answered ? replyTo<xcb_get_geometry_reply_t>(c, geometryAsked.sequence, deadline, answered)
                 : nullptr;
    const auto resources =
        answered && resourcesAsked
            ? replyTo<xcb_get_property_reply_t>(c, resourcesAsked->sequence, deadline, answered)
            : nullptr;
    if (!answered) lost = true;
    if (!attributes || !geometry) return false;
    if (asked) {
        windowScale = *asked;
    } else {
        std::string_view text;
        if (resources && resources->format == 8)
            text = {static_cast<const char*>(xcb_get_property_value(resources.get())),
                    static_cast<std::size_t>(xcb_get_property_value_length(resources.get()))};
        windowScale = scaleFromResources(text, std::getenv("GDK_SCALE"));
    }
    client = windowScale.rect({0, 0, kClientWidth, kClientHeight});
    bounds = client;

    // The screen's own visual, whatever the parent uses; with a colormap and
    // border of its own the child may differ from its parent.
    const xcb_screen_t* screen = screenWithRoot(setup, geometry->root);
    if (!screen) return false;
    const xcb_visualtype_t* visual = visualOf(screen, screen->root_visual);
    if (!visual || visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR) return false;
    const auto pixels = layoutFor(setup, screen->root_depth);
    if (!pixels) return false;
    depth = screen->root_depth;
    layout = *pixels;
    channels = {Channel(visual->red_mask), Channel(visual->green_mask), Channel(visual->blue_mask)};
    if (requestLimit == 0) requestLimit = std::size_t{setup->maximum_request_length} * 4;

    constexpr std::uint32_t kNoId = ~std::uint32_t{0};
    window = xcb_generate_id(c);
    gc = xcb_generate_id(c);
    if (window == kNoId || gc == kNoId) {
        window = gc = 0;
        return false;
    }
    // In the order of their bits: every pixel is ours, so no background
    // clears the window before an Expose.
    const std::uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 0, kEventMask, screen->default_colormap};
    const auto made = xcb_create_window_checked(
        c, depth, window, parent, 0, 0, static_cast<std::uint16_t>(client.width()),
        static_cast<std::uint16_t>(client.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
        screen->root_visual,
        XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK | XCB_CW_COLORMAP, values);
    const auto named = xcb_change_property_checked(
        c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
        static_cast<std::uint32_t>(kWindowText.size()), kWindowText.data());
    const auto drawn = xcb_create_gc_checked(c, gc, window, 0, nullptr);
    // Once the server has answered a later request, the errors of these
    // three, if any, are here: checking them does not wait.
    if (!roundTrip(c, deadline)) {
        lost = true;
        return false;
    }
    const Owned<xcb_generic_error_t> madeError(xcb_request_check(c, made));
    const Owned<xcb_generic_error_t> namedError(xcb_request_check(c, named));
    const Owned<xcb_generic_error_t> drawnError(xcb_request_check(c, drawn));
    if (madeError) window = 0;
    if (drawnError) gc = 0;
    // On failure the destructor takes back what was made.
    if (madeError || namedError || drawnError) return false;

    stride = layout.rowBytes(client.width());
    frame.assign(stride * static_cast<std::size_t>(client.height()), 0);
    return true;
}

X11Window::~X11Window() {
    if (connection && !lost) {
        xcb_connection_t* c = connection.get();
        // The window may already be gone with the host's window; the error
        // that destroying it again gives goes with the connection.
        if (window) xcb_destroy_window(c, window);
        if (gc) xcb_free_gc(c, gc);
        // The host finds the window gone when the editor's close returns.
        roundTrip(c, Clock::now() + kPatience);
    }
    connection.reset();
}

void X11Window::detach() {
    window = 0;
    timers.stopAll();
    buttonsDown = 0;
}

void X11Window::settle() {
    if (!connection || lost) return;
    if (!roundTrip(connection.get(), Clock::now() + kPatience)) giveUp();
}

void X11Window::setBounds(int x, int y, int width, int height) {
    if (width <= 0 || height <= 0) return;
    bounds = rectOf(x, y, width, height);
    if (!usable()) return;
    const std::uint32_t values[] = {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                                    static_cast<std::uint32_t>(width),
                                    static_cast<std::uint32_t>(height)};
    xcb_configure_window(connection.get(), window,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    settle();
}

void X11Window::show() {
    if (!usable()) return;
    // Pixels follow with the Expose that mapping brings, at the next idle
    // call, by when the glue has painted the window's values.
    const std::uint32_t above[] = {XCB_STACK_MODE_ABOVE};
    xcb_configure_window(connection.get(), window, XCB_CONFIG_WINDOW_STACK_MODE, above);
    xcb_map_window(connection.get(), window);
    settle();
}

void X11Window::hide() {
    // An unmapped window loses the pointer grab and never hears the release:
    // a gesture in progress ends here.
    if (buttonsDown != 0) {
        buttonsDown = 0;
        router.release(MouseButton::Left, -1, -1);
    }
    if (!usable()) return;
    xcb_unmap_window(connection.get(), window);
    settle();
}

Surface& X11Window::surface(AreaId id) {
    auto& s = surfaces[static_cast<int>(id)];
    if (!s) {
        const Rect& b = area(id).bounds;
        s = std::make_unique<X11Surface>(*this, id, b.width(), b.height(), windowScale);
    }
    return *s;
}

void X11Window::compose(const Rect& r) {
    if (frame.empty()) return;
    const int bytesPerPixel = layout.bitsPerPixel / 8;
    composeWindow(
        r, windowScale,
        [&](AreaId id) -> const Image* {
            const auto& s = surfaces[static_cast<int>(id)];
            return s ? &s->pixels() : nullptr;
        },
        [&](int x, int y, Rgb c) {
            layout.store(&frame[static_cast<std::size_t>(y) * stride +
                                static_cast<std::size_t>(x * bytesPerPixel)],
                         channels[0].of(c.r) | channels[1].of(c.g) | channels[2].of(c.b));
        });
}

void X11Window::put(const Rect& r) {
    if (!usable() || frame.empty()) return;
    const Rect clip{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, client.right),
                    std::min(r.bottom, client.bottom)};
    if (clip.width() <= 0 || clip.height() <= 0) return;
    const int bytesPerPixel = layout.bitsPerPixel / 8;
    for (const Rect& b :
         putImageBands(clip, layout.bitsPerPixel, layout.scanlinePad, requestLimit)) {
        const std::size_t rowBytes = layout.rowBytes(b.width());
        const std::size_t size = rowBytes * static_cast<std::size_t>(b.height());
        const std::uint8_t* pixels = &frame[static_cast<std::size_t>(b.top) * stride];
        if (b.left != 0 || b.right != client.right) {
            // Not whole rows of the frame: the piece's rows, one after another.
            const auto used = static_cast<std::size_t>(b.width() * bytesPerPixel);
            band.assign(size, 0);
            for (int y = b.top; y < b.bottom; ++y)
                std::memcpy(&band[static_cast<std::size_t>(y - b.top) * rowBytes],
                            &frame[static_cast<std::size_t>(y) * stride +
                                   static_cast<std::size_t>(b.left * bytesPerPixel)],
                            used);
            pixels = band.data();
        }
        xcb_put_image(connection.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, window, gc,
                      static_cast<std::uint16_t>(b.width()), static_cast<std::uint16_t>(b.height()),
                      static_cast<std::int16_t>(b.left), static_cast<std::int16_t>(b.top), 0, depth,
                      static_cast<std::uint32_t>(size), pixels);
    }
    settle();
}

void X11Window::flush() {
    if (dirty == 0) return;
    // One rectangle around everything drawn: the controls lie close together
    // and a single put is cheaper than several.
    Rect box{client.right, client.bottom, 0, 0};
    for (const auto& a : kAreas)
        if (dirty & (1u << static_cast<int>(a.id))) {
            const Rect b = windowScale.rect(a.bounds);
            box.left = std::min(box.left, b.left);
            box.top = std::min(box.top, b.top);
            box.right = std::max(box.right, b.right);
            box.bottom = std::max(box.bottom, b.bottom);
        }
    dirty = 0;
    compose(box);
    put(box);
}

bool X11Window::handle(const xcb_generic_event_t& e) {
    switch (typeOf(e)) {
    case XCB_EXPOSE: {
        const auto& x = reinterpret_cast<const xcb_expose_event_t&>(e);
        if (x.window == window) {
            flush();
            put(rectOf(x.x, x.y, x.width, x.height));
        }
        return true;
    }
    case XCB_CONFIGURE_NOTIFY: {
        const auto& c = reinterpret_cast<const xcb_configure_notify_event_t&>(e);
        if (c.window == window) bounds = rectOf(c.x, c.y, c.width, c.height);
        return true;
    }
    case XCB_DESTROY_NOTIFY:
        if (reinterpret_cast<const xcb_destroy_notify_event_t&>(e).window == window) detach();
        return true;
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE: {
        // Press and release share one layout.
        const auto& b = reinterpret_cast<const xcb_button_press_event_t&>(e);
        if (b.event != window) return true;
        const auto button = buttonOf(b.detail);
        if (!button) return true;
        // The server holds the pointer for this window from the first press
        // until every button is up, so the release arrives wherever it
        // happens, as the left button's drag and the gesture's end need.
        const auto alive = lifeToken.watch();
        const int x = windowScale.layout(b.event_x), y = windowScale.layout(b.event_y);
        if (typeOf(e) == XCB_BUTTON_PRESS) {
            buttonsDown |= bitOf(*button);
            router.press(*button, x, y);
        } else {
            buttonsDown &= ~bitOf(*button);
            router.release(*button, x, y);
        }
        return !alive.expired();
    }
    case XCB_MOTION_NOTIFY: {
        const auto& m = reinterpret_cast<const xcb_motion_notify_event_t&>(e);
        if (m.event != window) return true;
        const auto alive = lifeToken.watch();
        router.move(windowScale.layout(m.event_x), windowScale.layout(m.event_y));
        return !alive.expired();
    }
    default:
        return true;
    }
}

bool isMotionOf(const Event& e, xcb_window_t w) {
    return typeOf(*e) == XCB_MOTION_NOTIFY &&
           reinterpret_cast<const xcb_motion_notify_event_t&>(*e).event == w;
}

void X11Window::idle() {
    if (!connection || lost) return;
    xcb_connection_t* c = connection.get();
    // Take the events that are here now (one read of the connection), then
    // handle them: they call into the effect and through it the host.
    std::vector<Event> events;
    for (xcb_generic_event_t* raw = xcb_poll_for_event(c); raw;
         raw = xcb_poll_for_queued_event(c)) {
        Event e(raw);
        // An error of one of the window's own requests (one on a window the
        // host has destroyed, say): the window's alone, and dropped.
        if (typeOf(*e) == 0) continue;
        // Of a run of moves only the last matters.
        if (!events.empty() && isMotionOf(e, window) && isMotionOf(events.back(), window))
            events.back() = std::move(e);
        else
            events.push_back(std::move(e));
    }
    if (xcb_connection_has_error(c)) {
        // The server is gone or dropped this connection, and the window
        // with it.
        giveUp();
        return;
    }
    const auto alive = lifeToken.watch();
    for (const Event& e : events) {
        if (!handle(*e)) return;
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
    X11Platform(MillisecondClock clock, std::size_t requestLimit)
        : clock(std::move(clock)), requestLimit(requestLimit) {}
    std::unique_ptr<NativeWindow> createChildWindow(void* parent, WindowListener& listener,
                                                    std::optional<Scale> scale) override {
        const auto id = reinterpret_cast<std::uintptr_t>(parent);
        if (id == 0 || (id & ~kXidMask) != 0) return nullptr;
        auto w = std::make_unique<X11Window>(listener, clock, requestLimit, scale);
        if (!w->create(static_cast<xcb_window_t>(id))) return nullptr;
        return w;
    }

private:
    const MillisecondClock clock;
    const std::size_t requestLimit;
};

long long steadyMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

Platform& x11Platform() {
    // Set once and never changed: every window it makes is on its own.
    static X11Platform platform(steadyMilliseconds, 0);
    return platform;
}

std::unique_ptr<Platform> makeX11Platform(MillisecondClock clock, std::size_t requestLimit) {
    return std::make_unique<X11Platform>(std::move(clock), requestLimit);
}

Scale scaleFromResources(std::string_view resources, const char* gdkScale) {
    auto number = [](std::string_view text) -> std::optional<double> {
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix(1);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
            text.remove_suffix(1);
        double v = 0;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
        if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || !(v > 0))
            return std::nullopt;
        return v;
    };
    // One resource a line, "name:\tvalue"; the last of a name counts, as
    // for the resource manager.
    std::optional<double> dpi;
    while (!resources.empty()) {
        const auto end = resources.find('\n');
        const std::string_view line = resources.substr(0, end);
        resources.remove_prefix(end == std::string_view::npos ? resources.size() : end + 1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        std::string_view name = line.substr(0, colon);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
        if (name != "Xft.dpi") continue;
        if (const auto v = number(line.substr(colon + 1))) dpi = v;
    }
    if (dpi) return Scale::nearest(*dpi / kLayoutDpi);
    if (gdkScale)
        if (const auto v = number(gdkScale)) return Scale::nearest(*v);
    return Scale{};
}

std::vector<Rect> putImageBands(const Rect& r, int bitsPerPixel, int scanlinePad,
                                std::size_t maxRequestBytes) {
    std::vector<Rect> bands;
    if (r.width() <= 0 || r.height() <= 0 || bitsPerPixel <= 0 || scanlinePad <= 0 ||
        maxRequestBytes <= kPutImageHead)
        return bands;
    // Requests are whole 4-byte units: the pixels, padded to one, fit in
    // the units left after the head.
    const std::size_t room = (maxRequestBytes - kPutImageHead) / 4 * 4;
    const auto bpp = static_cast<std::size_t>(bitsPerPixel);
    const auto pad = static_cast<std::size_t>(scanlinePad);
    auto rowBytes = [&](int width) {
        return (static_cast<std::size_t>(width) * bpp + pad - 1) / pad * pad / 8;
    };
    // The widest row that fits: its bits, padded, within the room.
    const std::size_t widest = room * 8 / pad * pad / bpp;
    if (widest == 0) return bands;
    const int columns = static_cast<int>(std::min<std::size_t>(widest, r.width()));
    for (int x = r.left; x < r.right; x += columns) {
        const int w = std::min(columns, r.right - x);
        const int rows = static_cast<int>(std::min<std::size_t>(room / rowBytes(w), r.height()));
        for (int y = r.top; y < r.bottom; y += rows)
            bands.push_back({x, y, x + w, std::min(y + rows, r.bottom)});
    }
    return bands;
}

} // namespace ui
