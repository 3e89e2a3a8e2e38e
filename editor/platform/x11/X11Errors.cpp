#include "editor/platform/x11/X11Errors.h"

#include <atomic>

namespace ui {

namespace {
// The traps active on this thread, innermost first. Xlib calls the error
// handler on the thread that reads the connection, and each connection of
// this library is only read inside a trap on the thread that owns it.
thread_local XErrorTrap* innermost = nullptr;
// The handlers that were installed before this library's, for errors of
// connections that are not ours (the host's), whatever thread reads them.
std::atomic<XErrorHandler> foreignError{nullptr};
std::atomic<XIOErrorHandler> foreignIO{nullptr};
} // namespace

int onXError(Display* display, XErrorEvent* event) {
    for (XErrorTrap* t = innermost; t; t = t->outer)
        if (t->trapped == display) {
            ++t->errorCount;
            return 0;
        }
    const XErrorHandler forward = foreignError.load();
    return forward ? forward(display, event) : 0;
}

int onXIOError(Display* display) {
    for (XErrorTrap* t = innermost; t; t = t->outer)
        if (t->trapped == display) return 0; // the connection's exit handler keeps the process
    const XIOErrorHandler forward = foreignIO.load();
    return forward ? forward(display) : 0;
}

XErrorTrap::XErrorTrap(Display* display)
    : display(display), trapped(display), outer(innermost), previous(XSetErrorHandler(onXError)),
      previousIO(XSetIOErrorHandler(onXIOError)) {
    // Nested traps find this library's handlers installed; only the
    // outermost one sees (and records) what the host had.
    if (previous != onXError) foreignError = previous;
    if (previousIO != onXIOError) foreignIO = previousIO;
    innermost = this;
}

XErrorTrap::~XErrorTrap() {
    sync();
    innermost = outer;
    XSetErrorHandler(previous);
    XSetIOErrorHandler(previousIO);
}

bool XErrorTrap::sync() {
    if (display) XSync(display, False);
    return errorCount == 0;
}

namespace {
void markLost(Display*, void* lost) { *static_cast<bool*>(lost) = true; }
} // namespace

void keepProcessOnIOError(Display* display, bool* lost) {
    XSetIOErrorExitHandler(display, markLost, lost);
}

} // namespace ui
