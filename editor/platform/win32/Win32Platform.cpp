#include "editor/platform/win32/Win32Platform.h"

#include "editor/MouseRouter.h"
#include "editor/RasterSurface.h"
#include "frame/DFloatingPoint.h"
#include "plugin/params/DecimalSeparator.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <array>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

namespace {

constexpr wchar_t kClassName[] = L"VelmoraEditorWindow";
constexpr int kLayoutDpi = 96; // the layout's pixels are pixels at 96 dpi
constexpr UINT_PTR kTimerIds[2] = {1, 2};

COLORREF colorOf(Rgb c) { return RGB(c.r, c.g, c.b); }

std::wstring wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

// The module this code is linked into (the plug-in DLL, not the host).
HMODULE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The DPI that windows in `parent` are drawn at: its monitor's for a host
// that is aware of each monitor's, the system's for one aware of that alone,
// 96 for a host that leaves the scaling to Windows (which then enlarges the
// host and this window with it). GetDpiForWindow came with Windows 10 1607;
// before, the parent's device context says the same for the whole system.
UINT dpiOf(HWND parent) {
    using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
    if (HMODULE user = GetModuleHandleW(L"user32.dll"))
        if (const auto proc = reinterpret_cast<GetDpiForWindowProc>(
                reinterpret_cast<void (*)()>(GetProcAddress(user, "GetDpiForWindow"))))
            if (const UINT dpi = proc(parent)) return dpi;
    HDC dc = GetDC(parent);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 0;
    if (dc) ReleaseDC(parent, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : kLayoutDpi;
}

// A font of `points` at the layout's 96 dpi times the scale: what GDI
// draws the read-out with.
HFONT makeFont(const std::wstring& name, int points, Scale scale) {
    return CreateFontW(-MulDiv(points, kLayoutDpi * scale.halves(), 72 * 2), 0, 0, 0, FW_NORMAL,
                       FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       name.c_str());
}

// The font a surface's device context draws text in: made when the name or
// the size changes, the context's own first font put back at the end.
class SelectedFont {
public:
    void select(HDC dc, std::string_view name, int points, Scale scale) {
        const std::wstring w = wide(name);
        if (font && w == fontName && points == fontPoints) return;
        HFONT f = makeFont(w, points, scale);
        if (!f) return;
        HGDIOBJ previous = SelectObject(dc, f);
        if (!original) original = previous;
        if (font) DeleteObject(font);
        font = f;
        fontName = w;
        fontPoints = points;
    }
    // Before the context goes.
    void release(HDC dc) {
        if (original) SelectObject(dc, original);
        if (font) DeleteObject(font);
        original = nullptr;
        font = nullptr;
    }

private:
    HFONT font = nullptr;
    HGDIOBJ original = nullptr;
    std::wstring fontName;
    int fontPoints = 0;
};

// The window class, registered once per process with the DLL's own module
// handle. This object lives in the same module, so its destructor runs when
// the library unloads and takes the class with it.
class WindowClass {
public:
    bool ensure() {
        std::call_once(once, [this] {
            module = thisModule();
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof wc;
            wc.style = CS_DBLCLKS;
            wc.lpfnWndProc = windowProc;
            wc.hInstance = module;
            wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
            wc.lpszClassName = kClassName;
            registered = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
        });
        return registered;
    }
    HMODULE instance() const { return module; }
    ~WindowClass() {
        if (registered) UnregisterClassW(kClassName, module);
    }

private:
    std::once_flag once;
    HMODULE module = nullptr;
    bool registered = false;
};
WindowClass windowClass;

// An artwork image as GDI draws it with its mask: the colours with the
// transparent pixels black, and a monochrome mask that is white where the
// image is transparent.
struct GdiImage {
    HBITMAP colour = nullptr;
    HBITMAP mask = nullptr;
    int width = 0, height = 0;

    explicit GdiImage(const Image& image) : width(image.width), height(image.height) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height; // top-down
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        colour = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        const int stride = ((width + 15) / 16) * 2; // monochrome rows are WORD-aligned
        std::vector<BYTE> maskBits(static_cast<std::size_t>(stride) * height, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const bool opaque = image.opaque(x, y);
                const Rgb c = opaque ? image.at(x, y) : kBlack;
                if (bits)
                    static_cast<DWORD*>(bits)[y * width + x] =
                        (DWORD(c.r) << 16) | (DWORD(c.g) << 8) | c.b;
                if (!opaque) maskBits[y * stride + x / 8] |= BYTE(0x80 >> (x % 8));
            }
        mask = CreateBitmap(width, height, 1, 1, maskBits.data());
    }
    ~GdiImage() {
        if (colour) DeleteObject(colour);
        if (mask) DeleteObject(mask);
    }
    GdiImage(const GdiImage&) = delete;
    GdiImage& operator=(const GdiImage&) = delete;
};

class Win32Window;

class Win32Surface final : public Surface {
public:
    Win32Surface(Win32Window& owner, AreaId id, HDC reference);
    ~Win32Surface() override;
    Win32Surface(const Win32Surface&) = delete;
    Win32Surface& operator=(const Win32Surface&) = delete;

    void setBrushColor(Rgb c) override { brush = c; }
    void setPenColor(Rgb c) override { pen = c; }
    void fillRect(const Rect& r) override;
    void ellipse(const Rect& r) override;
    void drawImage(const Image& image, int x, int y) override;
    void setTextTransparent() override { SetBkMode(dc, TRANSPARENT); }
    void setFont(std::string_view name, int points, Rgb colour) override;
    void textOut(int x, int y, std::string_view text) override;

    HDC bitmapDc() const { return dc; }

private:
    void drawn();

    Win32Window& owner;
    AreaId id;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    SelectedFont font;
    Rgb brush = kWhite;
    Rgb pen = kBlack;
};

// Above 1x an area is drawn by the project's own raster, as on the other
// back-ends, so that its pixels are theirs: a DIB section that mirrors the
// raster's image after every operation. Only the read-out's text is GDI's,
// in Arial at the scaled size, drawn on the DIB and taken back into the
// image.
class Win32RasterSurface final : public RasterSurface {
public:
    Win32RasterSurface(Win32Window& owner, AreaId id, HDC reference, Scale scale);
    ~Win32RasterSurface() override;
    Win32RasterSurface(const Win32RasterSurface&) = delete;
    Win32RasterSurface& operator=(const Win32RasterSurface&) = delete;

    void setTextTransparent() override {
        RasterSurface::setTextTransparent();
        SetBkMode(dc, TRANSPARENT);
    }
    void setFont(std::string_view name, int points, Rgb colour) override;
    void textOut(int x, int y, std::string_view text) override;

    HDC bitmapDc() const { return dc; }

private:
    void drawn(bool) override;
    // The image into the DIB, or the DIB (after GDI drew on it) into the image.
    void toBitmap();
    void fromBitmap();

    Win32Window& owner;
    AreaId id;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    DWORD* bits = nullptr; // the DIB's pixels, top-down, 0x00RRGGBB
    HGDIOBJ oldBitmap = nullptr;
    SelectedFont font;
};

class Win32Window final : public NativeWindow {
public:
    Win32Window(WindowListener& listener, std::optional<Scale> scale)
        : listener(listener), router(listener), asked(scale) {}
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    bool create(HWND parent);

    Scale scale() const override { return windowScale; }
    void setBounds(int x, int y, int width, int height) override {
        if (hwnd) SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    int clientWidth() const override { return clientRect().right; }
    int clientHeight() const override { return clientRect().bottom; }
    void show() override {
        if (hwnd) ShowWindow(hwnd, SW_SHOW);
    }
    void hide() override {
        if (hwnd) ShowWindow(hwnd, SW_HIDE);
    }
    void setDoubleBuffered(bool on) override { doubleBuffered = on; }
    Surface& surface(AreaId area) override;
    void processRepaints() override {
        if (hwnd) UpdateWindow(hwnd);
    }
    void startTimer(TimerId id, int periodMs) override {
        if (hwnd)
            SetTimer(hwnd, kTimerIds[static_cast<int>(id)], static_cast<UINT>(periodMs), nullptr);
    }
    std::string decimalSeparator() const override { return userDecimalSeparator(); }

    void invalidate(AreaId id) {
        if (!hwnd) return;
        const Rect b = windowScale.rect(area(id).bounds);
        RECT r{b.left, b.top, b.right, b.bottom};
        InvalidateRect(hwnd, &r, FALSE);
    }
    const GdiImage& gdiImage(const Image& image) {
        auto it = images.find(&image);
        if (it == images.end())
            it = images.emplace(&image, std::make_unique<GdiImage>(image)).first;
        return *it->second;
    }

    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void attach(HWND h) { hwnd = h; }
    void detach(); // the native window is going: no message may reach this object

private:
    RECT clientRect() const {
        RECT r{0, 0, 0, 0};
        if (hwnd) GetClientRect(hwnd, &r);
        return r;
    }
    void paint();
    void buttonDown(MouseButton button, LPARAM lParam);
    void buttonUp(MouseButton button, LPARAM lParam);

    WindowListener& listener;
    MouseRouter router;
    std::optional<Scale> asked; // the host's scale, if it gave one
    Scale windowScale;
    HWND hwnd = nullptr;
    bool doubleBuffered = false;
    unsigned buttonsDown = 0; // bit per MouseButton
    // Each area's surface (GDI's at 1x, the raster's above) and the memory
    // DC that holds its bitmap.
    std::array<std::unique_ptr<Surface>, kAreaCount> surfaces;
    std::array<HDC, kAreaCount> areaDcs{};
    std::map<const Image*, std::unique_ptr<GdiImage>> images;
};

// ---- surface --------------------------------------------------------------

Win32Surface::Win32Surface(Win32Window& owner, AreaId id, HDC reference) : owner(owner), id(id) {
    const Rect& b = area(id).bounds;
    dc = CreateCompatibleDC(reference);
    bitmap = CreateCompatibleBitmap(reference, b.width(), b.height());
    oldBitmap = SelectObject(dc, bitmap);
    // A new bitmap shows the window colour until something is drawn on it.
    HBRUSH fill = CreateSolidBrush(colorOf(kWindowColour));
    RECT r{0, 0, b.width(), b.height()};
    FillRect(dc, &r, fill);
    DeleteObject(fill);
}

Win32Surface::~Win32Surface() {
    font.release(dc);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

void Win32Surface::drawn() { owner.invalidate(id); }

void Win32Surface::fillRect(const Rect& r) {
    HBRUSH b = CreateSolidBrush(colorOf(brush));
    RECT rc{r.left, r.top, r.right, r.bottom};
    FillRect(dc, &rc, b);
    DeleteObject(b);
    drawn();
}

void Win32Surface::ellipse(const Rect& r) {
    HBRUSH b = CreateSolidBrush(colorOf(brush));
    HPEN p = CreatePen(PS_SOLID, 1, colorOf(pen));
    HGDIOBJ ob = SelectObject(dc, b);
    HGDIOBJ op = SelectObject(dc, p);
    Ellipse(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, ob);
    SelectObject(dc, op);
    DeleteObject(b);
    DeleteObject(p);
    drawn();
}

void Win32Surface::drawImage(const Image& image, int x, int y) {
    const GdiImage& g = owner.gdiImage(image);
    HDC src = CreateCompatibleDC(dc);
    // The mask turns the image's opaque pixels black (white keeps them),
    // then the colours, black where transparent, are ORed in.
    const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
    const COLORREF oldBk = SetBkColor(dc, RGB(255, 255, 255));
    HGDIOBJ old = SelectObject(src, g.mask);
    BitBlt(dc, x, y, g.width, g.height, src, 0, 0, SRCAND);
    SelectObject(src, g.colour);
    BitBlt(dc, x, y, g.width, g.height, src, 0, 0, SRCPAINT);
    SelectObject(src, old);
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBk);
    DeleteDC(src);
    drawn();
}

void Win32Surface::setFont(std::string_view name, int points, Rgb colour) {
    SetTextColor(dc, colorOf(colour));
    font.select(dc, name, points, Scale());
}

void Win32Surface::textOut(int x, int y, std::string_view text) {
    const std::wstring w = wide(text);
    if (!w.empty()) TextOutW(dc, x, y, w.c_str(), static_cast<int>(w.size()));
    drawn();
}

// ---- surface above 1x -------------------------------------------------------

Win32RasterSurface::Win32RasterSurface(Win32Window& owner, AreaId id, HDC reference, Scale scale)
    : RasterSurface(area(id).bounds.width(), area(id).bounds.height(), scale), owner(owner),
      id(id) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = pixels().width;
    bi.bmiHeader.biHeight = -pixels().height; // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* memory = nullptr;
    dc = CreateCompatibleDC(reference);
    bitmap = CreateDIBSection(reference, &bi, DIB_RGB_COLORS, &memory, nullptr, 0);
    bits = static_cast<DWORD*>(memory);
    oldBitmap = SelectObject(dc, bitmap);
    // A new bitmap shows the window colour until something is drawn on it.
    toBitmap();
}

Win32RasterSurface::~Win32RasterSurface() {
    font.release(dc);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

void Win32RasterSurface::toBitmap() {
    if (!bits) return;
    const Image& image = pixels();
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const Rgb c = image.pixels[i];
        bits[i] = (DWORD(c.r) << 16) | (DWORD(c.g) << 8) | c.b;
    }
}

void Win32RasterSurface::fromBitmap() {
    if (!bits) return;
    GdiFlush(); // GDI may still hold drawing for the DIB
    Image& image = canvas();
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = {static_cast<std::uint8_t>(bits[i] >> 16),
                           static_cast<std::uint8_t>(bits[i] >> 8),
                           static_cast<std::uint8_t>(bits[i])};
}

void Win32RasterSurface::drawn(bool) {
    toBitmap();
    owner.invalidate(id);
}

void Win32RasterSurface::setFont(std::string_view name, int points, Rgb colour) {
    RasterSurface::setFont(name, points, colour);
    SetTextColor(dc, colorOf(colour));
    font.select(dc, name, points, scale());
}

void Win32RasterSurface::textOut(int x, int y, std::string_view text) {
    const std::wstring w = wide(text);
    if (!w.empty())
        TextOutW(dc, scale().edge(x), scale().edge(y), w.c_str(), static_cast<int>(w.size()));
    fromBitmap();
    owner.invalidate(id);
}

// ---- window ---------------------------------------------------------------

// Windows calls this from the host's message loop, in the host thread's
// floating-point environment.
LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    FloatingPointScope fp;
    if (message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        static_cast<Win32Window*>(cs->lpCreateParams)->attach(hwnd);
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // Destroyed from outside, for instance with the host's window.
        self->detach();
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

bool Win32Window::create(HWND parent) {
    if (!parent || !IsWindow(parent) || !windowClass.ensure()) return false;
    windowScale = asked ? *asked : Scale::nearest(dpiOf(parent) / double(kLayoutDpi));
    CreateWindowExW(0, kClassName, L"Harrowby", WS_CHILD | WS_CLIPSIBLINGS, 0, 0,
                    windowScale.edge(kClientWidth), windowScale.edge(kClientHeight), parent,
                    nullptr, windowClass.instance(), this);
    // WM_NCCREATE has attached hwnd by now, unless creation failed.
    return hwnd != nullptr;
}

void Win32Window::detach() {
    if (!hwnd) return;
    KillTimer(hwnd, kTimerIds[0]);
    KillTimer(hwnd, kTimerIds[1]);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    hwnd = nullptr;
}

Win32Window::~Win32Window() {
    // Timers first, then the link from the native window to this object, so
    // that no late WM_TIMER or mouse message reaches freed memory.
    HWND h = hwnd;
    detach();
    if (h) DestroyWindow(h);
    for (auto& s : surfaces) s.reset();
    images.clear();
}

Surface& Win32Window::surface(AreaId id) {
    auto& s = surfaces[static_cast<int>(id)];
    if (!s) {
        HDC screen = GetDC(nullptr);
        if (windowScale.isOne()) {
            auto made = std::make_unique<Win32Surface>(*this, id, screen);
            areaDcs[static_cast<int>(id)] = made->bitmapDc();
            s = std::move(made);
        } else {
            auto made = std::make_unique<Win32RasterSurface>(*this, id, screen, windowScale);
            areaDcs[static_cast<int>(id)] = made->bitmapDc();
            s = std::move(made);
        }
        ReleaseDC(nullptr, screen);
    }
    return *s;
}

void Win32Window::paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    const RECT client = clientRect();
    HDC target = dc;
    HDC back = nullptr;
    HBITMAP backBitmap = nullptr;
    HGDIOBJ oldBack = nullptr;
    if (doubleBuffered) {
        back = CreateCompatibleDC(dc);
        backBitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
        oldBack = SelectObject(back, backBitmap);
        target = back;
    }
    HBRUSH fill = CreateSolidBrush(colorOf(kWindowColour));
    FillRect(target, &client, fill);
    DeleteObject(fill);
    for (const auto& a : kAreas) {
        const HDC source = areaDcs[static_cast<int>(a.id)];
        const Rect b = windowScale.rect(a.bounds);
        if (source) BitBlt(target, b.left, b.top, b.width(), b.height(), source, 0, 0, SRCCOPY);
    }
    if (back) {
        BitBlt(dc, 0, 0, client.right, client.bottom, back, 0, 0, SRCCOPY);
        SelectObject(back, oldBack);
        DeleteObject(backBitmap);
        DeleteDC(back);
    }
    EndPaint(hwnd, &ps);
}

namespace {
unsigned bitOf(MouseButton b) { return 1u << static_cast<int>(b); }

// A double click is a press like any other.
struct ButtonMessage {
    UINT message;
    MouseButton button;
    bool down;
};
constexpr ButtonMessage kButtonMessages[] = {
    {WM_LBUTTONDOWN, MouseButton::Left, true},    {WM_LBUTTONDBLCLK, MouseButton::Left, true},
    {WM_LBUTTONUP, MouseButton::Left, false},     {WM_RBUTTONDOWN, MouseButton::Right, true},
    {WM_RBUTTONDBLCLK, MouseButton::Right, true}, {WM_RBUTTONUP, MouseButton::Right, false},
    {WM_MBUTTONDOWN, MouseButton::Middle, true},  {WM_MBUTTONDBLCLK, MouseButton::Middle, true},
    {WM_MBUTTONUP, MouseButton::Middle, false},
};
int xOf(LPARAM l) { return static_cast<short>(LOWORD(l)); }
int yOf(LPARAM l) { return static_cast<short>(HIWORD(l)); }
} // namespace

void Win32Window::buttonDown(MouseButton button, LPARAM lParam) {
    // Every press holds the pointer so that its release is seen even
    // outside the window; the router still sends a right or middle
    // gesture's moves to whatever lies under the pointer.
    if (buttonsDown == 0) SetCapture(hwnd);
    buttonsDown |= bitOf(button);
    // last: the handler may end this window
    router.press(button, windowScale.layout(xOf(lParam)), windowScale.layout(yOf(lParam)));
}

void Win32Window::buttonUp(MouseButton button, LPARAM lParam) {
    buttonsDown &= ~bitOf(button);
    if (buttonsDown == 0 && GetCapture() == hwnd) ReleaseCapture();
    // last: the handler may end this window
    router.release(button, windowScale.layout(xOf(lParam)), windowScale.layout(yOf(lParam)));
}

LRESULT Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    for (const ButtonMessage& b : kButtonMessages) {
        if (b.message != message) continue;
        if (b.down)
            buttonDown(b.button, lParam);
        else
            buttonUp(b.button, lParam);
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        return 0;
    case WM_ERASEBKGND:
        return 1; // paint covers every pixel
    case WM_PAINT:
        paint();
        return 0;
    case WM_TIMER:
        if (wParam == kTimerIds[0]) listener.timer(TimerId::Timer1);
        if (wParam == kTimerIds[1]) listener.timer(TimerId::Timer2);
        return 0;
    case WM_MOUSEMOVE:
        router.move(windowScale.layout(xOf(lParam)), windowScale.layout(yOf(lParam)));
        return 0;
    case WM_CAPTURECHANGED:
        // Capture taken away while a button was still down (another window
        // grabbed the mouse): no release will come, so end the gesture.
        if (buttonsDown != 0) {
            buttonsDown = 0;
            router.release(MouseButton::Left, -1, -1);
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

class Win32Platform final : public Platform {
public:
    std::unique_ptr<NativeWindow> createChildWindow(void* parent, WindowListener& listener,
                                                    std::optional<Scale> scale) override {
        auto w = std::make_unique<Win32Window>(listener, scale);
        if (!w->create(static_cast<HWND>(parent))) return nullptr;
        return w;
    }
};

} // namespace

Platform& win32Platform() {
    static Win32Platform platform;
    return platform;
}

} // namespace ui
