// A minimal Win32 VST 2 host that embeds the plug-in's editor in a real
// top-level window and takes commands, one per line, on standard input:
//
//   getrect              answer effEditGetRect     -> "rect TOP LEFT BOTTOM RIGHT"
//   open                 effEditOpen in our window -> "open ANSWER", "editor X Y" (screen
//                                                     position of the editor's client area)
//   close                effEditClose              -> "closed"
//   program N            effSetProgram             -> "program N"
//   get N                getParameter              -> "param N VALUE"
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
// from the second.
#include "frame/DAEffectX.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr UINT kCommandMessage = WM_APP + 1; // lParam: heap-allocated std::string
constexpr UINT_PTR kIdleTimer = 1;
constexpr int kHostLeft = 40, kHostTop = 40;

using MainProc = AEffect*(VSTCALLBACK*)(audioMasterCallback);

HWND hostWindow = nullptr;
AEffect* effect = nullptr;
MainProc entry = nullptr;
HWND secondWindow = nullptr;
AEffect* second = nullptr;
HMODULE library = nullptr;

void say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

VstIntPtr VSTCALLBACK hostCallback(AEffect* from, VstInt32 opcode, VstInt32 index, VstIntPtr, void*,
                                   float opt) {
    switch (opcode) {
    case audioMasterAutomate:
        say("%s %d %.6f", from && from == second ? "automate2" : "automate", index, opt);
        return 0;
    case audioMasterVersion:
        return 2400;
    case audioMasterGetSampleRate:
        return 44100;
    case audioMasterGetBlockSize:
        return 512;
    default:
        return 0;
    }
}

VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
    return effect ? effect->dispatcher(effect, opcode, index, value, ptr, opt) : 0;
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
    std::sscanf(line.c_str(), "%31s %d", verb, &arg);
    const std::string v = verb;
    if (v == "getrect") {
        ERect* r = nullptr;
        const VstIntPtr answer = dispatch(effEditGetRect, 0, 0, &r);
        if (answer && r)
            say("rect %d %d %d %d", r->top, r->left, r->bottom, r->right);
        else
            say("rect none");
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
        const float value = effect ? effect->getParameter(effect, arg) : 0.0f;
        say("param %d %.6f", arg, value);
    } else if (v == "children") {
        int n = 0;
        EnumChildWindows(hostWindow, countChild, reinterpret_cast<LPARAM>(&n));
        say("children %d", n);
    } else if (v == "closeinstance") {
        dispatch(effClose);
        effect = nullptr;
        say("instance closed");
    } else if (v == "second") {
        if (!second) {
            second = entry(hostCallback);
            if (second) second->dispatcher(second, effOpen, 0, 0, nullptr, 0.0f);
        }
        if (second) {
            second->dispatcher(second, effEditOpen, 0, 0, secondWindow, 0.0f);
            SetWindowPos(secondWindow, nullptr, 0, 0, 390, 158, SWP_NOMOVE | SWP_NOZORDER);
        }
        printEditorOrigin(secondWindow, "editor2");
    } else if (v == "closesecond") {
        if (second) {
            second->dispatcher(second, effEditClose, 0, 0, nullptr, 0.0f);
            second->dispatcher(second, effClose, 0, 0, nullptr, 0.0f);
            second = nullptr;
        }
        say("second closed");
    } else if (v == "quit") {
        if (effect) {
            dispatch(effEditClose);
            dispatch(effClose);
            effect = nullptr;
        }
        if (second) {
            second->dispatcher(second, effClose, 0, 0, nullptr, 0.0f);
            second = nullptr;
        }
        // Unloading must take the editor's window class with the library.
        HMODULE module = library;
        FreeLibrary(library);
        library = nullptr;
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
    library = LoadLibraryA(argv[1]);
    if (!library) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    entry = reinterpret_cast<MainProc>(reinterpret_cast<void*>(GetProcAddress(library, "main")));
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
    secondWindow = CreateWindowExW(
        0, wc.lpszClassName, L"Velmora test host 2", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
        kHostLeft, kHostTop + 200, 400, 160, nullptr, nullptr, wc.hInstance, nullptr);
    if (!hostWindow || !secondWindow) return 1;

    effect = entry(hostCallback);
    if (!effect) {
        std::fprintf(stderr, "main returned no effect\n");
        return 1;
    }
    dispatch(effOpen);
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
    if (library) FreeLibrary(library);
    return 0;
}
