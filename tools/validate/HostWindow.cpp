#include "tools/validate/HostWindow.h"

#include <algorithm>
#include <cstdint>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <malloc.h>
#if VELMORA_VALIDATE_X11
#include <X11/Xlib.h>
#if VELMORA_VALIDATE_XRES
#include <X11/extensions/XRes.h>
#endif
#endif
#endif

namespace validate {

#if defined(_WIN32)

namespace {

constexpr wchar_t kClassName[] = L"VelmoraValidateHost";

class Win32HostWindow final : public HostWindow {
public:
    static std::unique_ptr<HostWindow> make() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        RegisterClassW(&wc); // a second registration fails harmlessly
        HWND h = CreateWindowExW(0, kClassName, L"velmora-validate",
                                 WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 700, 600,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        if (!h) return nullptr;
        return std::unique_ptr<HostWindow>(new Win32HostWindow(h));
    }
    ~Win32HostWindow() override { DestroyWindow(hwnd); }

    void* parent() const override { return hwnd; }
    void pump() override {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    int childWindows() const override {
        int n = 0;
        EnumChildWindows(hwnd, countWindow, reinterpret_cast<LPARAM>(&n));
        return n;
    }
    std::optional<long> graphicsObjects() const override;

private:
    explicit Win32HostWindow(HWND h) : hwnd(h) {}
    static BOOL CALLBACK countWindow(HWND, LPARAM count) {
        ++*reinterpret_cast<int*>(count);
        return TRUE;
    }
    HWND hwnd;
};

long probeGdiObjects() {
    long n = 0;
    // A handle's low word is its slot in the process's table; with a zero
    // high word the lookup does not check the slot's generation.
    for (std::uintptr_t slot = 1; slot < 0x10000; ++slot)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) ++n;
    return n;
}

} // namespace

std::unique_ptr<HostWindow> HostWindow::create() { return Win32HostWindow::make(); }

std::optional<long> Win32HostWindow::graphicsObjects() const {
    const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0) return static_cast<long>(reported);
    // Wine answers 0 to GetGuiResources: count the live handles instead.
    // The count is trusted only if it follows one brush made and deleted.
    const long before = probeGdiObjects();
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    const long with = probeGdiObjects();
    DeleteObject(brush);
    const long after = probeGdiObjects();
    if (with != before + 1 || after != before) return std::nullopt;
    return before;
}

std::size_t processMemory() {
    // The bytes in use in every heap of the process (the C runtime's among
    // them). Wine reports no private bytes, so the heaps are walked.
    HANDLE heaps[64];
    const DWORD n = std::min<DWORD>(GetProcessHeaps(64, heaps), 64);
    std::size_t busy = 0;
    for (DWORD i = 0; i < n; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY e{};
        while (HeapWalk(heaps[i], &e))
            if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) busy += e.cbData;
        HeapUnlock(heaps[i]);
    }
    return busy;
}

#else

#if VELMORA_VALIDATE_X11
namespace {

class X11HostWindow final : public HostWindow {
public:
    static std::unique_ptr<HostWindow> make() {
        Display* d = XOpenDisplay(nullptr);
        if (!d) return nullptr;
        const int screen = DefaultScreen(d);
        Window w = XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0, 700, 600, 0,
                                       BlackPixel(d, screen), WhitePixel(d, screen));
        XStoreName(d, w, "velmora-validate");
        XMapWindow(d, w);
        XSync(d, False);
        return std::unique_ptr<HostWindow>(new X11HostWindow(d, w));
    }
    ~X11HostWindow() override {
        XDestroyWindow(display, window);
        XCloseDisplay(display);
    }

    void* parent() const override {
        return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window));
    }
    // The editor does its own event handling on effEditIdle; this
    // connection asks for no events.
    void pump() override { XSync(display, False); }
    int childWindows() const override {
        Window root = 0, parentOf = 0, *children = nullptr;
        unsigned n = 0;
        if (!XQueryTree(display, window, &root, &parentOf, &children, &n)) return -1;
        if (children) XFree(children);
        return static_cast<int>(n);
    }
    std::optional<long> graphicsObjects() const override {
#if VELMORA_VALIDATE_XRES
        int events = 0, errors = 0, clientCount = 0;
        if (!XResQueryExtension(display, &events, &errors)) return std::nullopt;
        XResClient* clients = nullptr;
        if (!XResQueryClients(display, &clientCount, &clients)) return std::nullopt;
        long total = 0;
        for (int i = 0; i < clientCount; ++i) {
            int types = 0;
            XResType* counts = nullptr;
            if (!XResQueryClientResources(display, clients[i].resource_base, &types, &counts))
                continue;
            for (int t = 0; t < types; ++t) total += counts[t].count;
            XFree(counts);
        }
        XFree(clients);
        return total;
#else
        return std::nullopt;
#endif
    }

private:
    X11HostWindow(Display* d, Window w) : display(d), window(w) {}
    Display* display;
    Window window;
};

} // namespace

std::unique_ptr<HostWindow> HostWindow::create() { return X11HostWindow::make(); }
#else
std::unique_ptr<HostWindow> HostWindow::create() { return nullptr; }
#endif

std::size_t processMemory() {
    // The heap's bytes in use, whether in its arenas or mapped on their own:
    // what a leak adds to, unlike the resident size, which freed memory
    // need not lower.
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

#endif

} // namespace validate
