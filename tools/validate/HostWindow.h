// What the validator needs of the platform, as a host would have it: a
// top-level window to open editors in, a way to let that window's messages
// run, and counts of what the process holds (memory, graphics objects, child
// windows) to see that nothing is left behind.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

namespace validate {

class HostWindow {
public:
    // Null when the platform has no display to make a window on.
    static std::unique_ptr<HostWindow> create();
    virtual ~HostWindow() = default;

    // The handle that effEditOpen expects: an HWND, or an X11 window id.
    virtual void* parent() const = 0;
    // Lets the window's pending messages run (timers, paints), as a host's
    // message loop would between its calls.
    virtual void pump() = 0;
    // Windows that the editors left inside the parent.
    virtual int childWindows() const = 0;
    // What the window system holds for the process, where it can be
    // counted: GDI objects on Windows, X resources of every client of the
    // display (the editors' own connections among them) on X11.
    virtual std::optional<long> graphicsObjects() const = 0;
};

// Memory the process holds, in bytes: private bytes on Windows, the heap in
// use elsewhere; 0 where unknown.
std::size_t processMemory();

} // namespace validate
