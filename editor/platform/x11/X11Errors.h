// Xlib's default error handlers end the process, and the handlers are
// process-wide: a plug-in must neither die of an error of its own requests
// nor leave a handler of its own behind for the host. An XErrorTrap installs
// this library's handlers for one block of calls on one connection, counts
// that connection's errors instead of letting them end the process, hands
// every other connection's errors to the handler that was installed before,
// and puts the previous handlers back when it ends (after an XSync, so that
// the errors of the block's own requests arrive while it still listens).
#pragma once

#include <X11/Xlib.h>

namespace ui {

class XErrorTrap {
public:
    explicit XErrorTrap(Display* display);
    ~XErrorTrap();
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    // Waits for the server to have handled every request so far; true when
    // no error has arrived during this trap.
    bool sync();
    // X errors of this connection that arrived during this trap.
    int errors() const { return errorCount; }
    // The connection is about to be closed: the trap will not sync at its end.
    void forget() { display = nullptr; }

private:
    friend int onXError(Display*, XErrorEvent*);
    friend int onXIOError(Display*);

    Display* display;
    Display* const trapped; // kept after forget(), for errors during the close
    XErrorTrap* const outer;
    XErrorHandler previous;
    XIOErrorHandler previousIO;
    int errorCount = 0;
};

// Installed on each connection the library opens: a broken connection marks
// `lost` instead of ending the process. Xlib then refuses further requests
// on it; the connection still has to be closed.
void keepProcessOnIOError(Display* display, bool* lost);

} // namespace ui
