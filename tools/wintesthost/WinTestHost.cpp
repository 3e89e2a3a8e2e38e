// A minimal Win32 VST 2 host that embeds the plug-in's editor in a real
// top-level window and takes commands, one per line, on standard input:
//
//   getrect              answer effEditGetRect     -> "rect TOP LEFT BOTTOM RIGHT"
//   scale F              the host's scale for the editor, effVendorSpecific 'PreS' 'AeCs'
//                        with F                    -> "scale ANSWER"
//   editorsize           the editor window's client size -> "editorsize WIDTH HEIGHT"
//   open                 effEditOpen in our window -> "open ANSWER", "editor X Y" (screen
//                                                     position of the editor's client area)
//   close                effEditClose              -> "closed"
//   program N            effSetProgram             -> "program N"
//   get N                getParameter              -> "param N VALUE"
//   set N V              setParameter from a thread of the host's -> "set N V"
//   playset N V          setParameter on the audio thread between two blocks
//                                                  -> "played N V"
//   children             our window's descendants  -> "children N"
//   closeinstance        effClose                  -> "instance closed"
//   second               a second instance in a second window, editor open
//                                                  -> "editor2 X Y"
//   closesecond          effEditClose, effClose of the second -> "second closed"
//   quit                 closes what is open, unloads the plug-in
//                                                  -> "unloaded class=0|1" (1: the editor's
//                                                     window class outlived the library), "bye"
//
// Every audioMasterAutomate the plug-in sends is printed the moment it
// arrives: "automate INDEX VALUE" from the first instance, "automate2 ..."
// from the second; so are the edit gestures' requests, "beginedit INDEX" and
// "endedit INDEX" ("beginedit2", "endedit2").
#include "tools/host/LineProtocol.h"
#include "tools/host/VstHost.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr UINT kCommandMessage = WM_APP + 1; // lParam: heap-allocated std::string
constexpr UINT_PTR kIdleTimer = 1;
constexpr int kHostLeft = 40, kHostTop = 40;

HWND hostWindow = nullptr;
HWND secondWindow = nullptr;
std::unique_ptr<vhost::Library> library;
vhost::MainProc entry = nullptr;
std::unique_ptr<vhost::Host> first;
std::unique_ptr<vhost::Host> second;

using vhost::say;

// An instance whose requests of a gesture are printed with `suffix` after
// their word ("automate", "beginedit", "endedit"); the host library answers
// the rest.
std::unique_ptr<vhost::Host> makeInstance(const char* suffix) {
    auto h = std::make_unique<vhost::Host>(entry);
    h->onCall = [suffix](const vhost::HostCall& c) { return vhost::reportGesture(c, suffix); };
    if (!h->open()) return nullptr;
    h->dispatch(effOpen);
    return h;
}

VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
    return first ? first->dispatch(opcode, index, value, ptr, opt) : 0;
}

void printEditorOrigin(HWND parent, const char* label) {
    HWND child = GetWindow(parent, GW_CHILD);
    POINT origin{0, 0};
    if (child) ClientToScreen(child, &origin);
    say("%s %ld %ld", label, static_cast<long>(origin.x), static_cast<long>(origin.y));
}

BOOL CALLBACK countChild(HWND, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

void run(const std::string& line) {
    char verb[32] = {};
    int arg = 0;
    float value = 0.0f;
    std::sscanf(line.c_str(), "%31s %d %f", verb, &arg, &value);
    const std::string v = verb;
    if (v == "getrect") {
        ERect* r = nullptr;
        const VstIntPtr answer = dispatch(effEditGetRect, 0, 0, &r);
        if (answer && r)
            say("rect %d %d %d %d", r->top, r->left, r->bottom, r->right);
        else
            say("rect none");
    } else if (v == "scale") {
        float factor = 0.0f;
        std::sscanf(line.c_str(), "%*s %f", &factor);
        const VstIntPtr answer = dispatch(effVendorSpecific, fourCharCode('P', 'r', 'e', 'S'),
                                          fourCharCode('A', 'e', 'C', 's'), nullptr, factor);
        say("scale %d", static_cast<int>(answer));
    } else if (v == "editorsize") {
        RECT r{0, 0, 0, 0};
        if (HWND child = GetWindow(hostWindow, GW_CHILD)) GetClientRect(child, &r);
        say("editorsize %ld %ld", static_cast<long>(r.right), static_cast<long>(r.bottom));
    } else if (v == "open") {
        const VstIntPtr answer = dispatch(effEditOpen, 0, 0, hostWindow);
        say("open %d", static_cast<int>(answer));
        ERect* r = nullptr;
        if (dispatch(effEditGetRect, 0, 0, &r) && r)
            SetWindowPos(hostWindow, nullptr, 0, 0, r->right - r->left, r->bottom - r->top,
                         SWP_NOMOVE | SWP_NOZORDER);
        printEditorOrigin(hostWindow, "editor");
    } else if (v == "close") {
        dispatch(effEditClose);
        say("closed");
    } else if (v == "program") {
        dispatch(effSetProgram, 0, arg);
        say("program %d", arg);
    } else if (v == "get") {
        const float value = first ? first->getParameter(arg) : 0.0f;
        say("param %d %.6f", arg, value);
    } else if (v == "set" || v == "playset") {
        vhost::runSetCommand(first.get(), v == "playset", arg, value);
    } else if (v == "children") {
        int n = 0;
        EnumChildWindows(hostWindow, countChild, reinterpret_cast<LPARAM>(&n));
        say("children %d", n);
    } else if (v == "closeinstance") {
        if (first) first->close();
        first.reset();
        say("instance closed");
    } else if (v == "second") {
        if (!second) second = makeInstance("2");
        ShowWindow(secondWindow, SW_SHOWNA);
        if (second) {
            second->dispatch(effEditOpen, 0, 0, secondWindow);
            SetWindowPos(secondWindow, nullptr, 0, 0, 390, 158, SWP_NOMOVE | SWP_NOZORDER);
        }
        printEditorOrigin(secondWindow, "editor2");
    } else if (v == "closesecond") {
        if (second) {
            second->dispatch(effEditClose);
            second->close();
            second.reset();
        }
        say("second closed");
    } else if (v == "quit") {
        if (first) {
            dispatch(effEditClose);
            first->close();
            first.reset();
        }
        if (second) {
            second->close();
            second.reset();
        }
        // Unloading must take the editor's window class with the library.
        HMODULE module = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(entry), &module);
        library.reset();
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        say("unloaded class=%d", GetClassInfoExW(module, L"VelmoraEditorWindow", &wc) ? 1 : 0);
        say("bye");
        PostQuitMessage(0);
    } else {
        say("unknown %s", line.c_str());
    }
}

LRESULT CALLBACK hostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kCommandMessage: {
        auto* line = reinterpret_cast<std::string*>(lParam);
        run(*line);
        delete line;
        return 0;
    }
    case WM_TIMER:
        if (wParam == kIdleTimer) dispatch(effEditIdle);
        return 0;
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// Reads standard input on its own thread; the window thread runs each command.
DWORD WINAPI readCommands(LPVOID) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, stdin)) {
        std::string line(buf);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (line.empty()) continue;
        PostMessageW(hostWindow, kCommandMessage, 0,
                     reinterpret_cast<LPARAM>(new std::string(line)));
    }
    PostMessageW(hostWindow, kCommandMessage, 0, reinterpret_cast<LPARAM>(new std::string("quit")));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: velmora-wintesthost PLUGIN.dll\n");
        return 2;
    }
    // As the hosts that know the system's DPI do: their windows are in real
    // pixels, so the editor draws at the system's scale (a host that is not
    // aware gets 96 dpi, and Windows enlarges it, editor and all).
    SetProcessDPIAware();
    std::string error;
    library = vhost::Library::load(argv[1], &error);
    if (!library) {
        std::fprintf(stderr, "cannot load %s (%s)\n", argv[1], error.c_str());
        return 1;
    }
    entry = library->mainEntry();
    if (!entry) {
        std::fprintf(stderr, "no main in %s\n", argv[1]);
        return 1;
    }

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = hostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = L"VelmoraTestHost";
    RegisterClassExW(&wc);
    // A frameless top-level window, so that its client area is where it is
    // placed whether or not a window manager runs.
    hostWindow = CreateWindowExW(0, wc.lpszClassName, L"Velmora test host",
                                 WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, kHostLeft, kHostTop, 400,
                                 300, nullptr, nullptr, wc.hInstance, nullptr);
    // Shown with the second instance only: below the first window, it would
    // cover a larger editor there.
    secondWindow = CreateWindowExW(0, wc.lpszClassName, L"Velmora test host 2",
                                   WS_POPUP | WS_CLIPCHILDREN, kHostLeft, kHostTop + 200, 400, 160,
                                   nullptr, nullptr, wc.hInstance, nullptr);
    if (!hostWindow || !secondWindow) return 1;

    first = makeInstance("");
    if (!first) {
        std::fprintf(stderr, "main returned no effect\n");
        return 1;
    }
    say("ready");
    SetTimer(hostWindow, kIdleTimer, 50, nullptr);
    CreateThread(nullptr, 0, readCommands, nullptr, 0, nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    KillTimer(hostWindow, kIdleTimer);
    DestroyWindow(hostWindow);
    DestroyWindow(secondWindow);
    first.reset();
    second.reset();
    library.reset();
    return 0;
}
