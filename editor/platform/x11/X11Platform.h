// The X11 back-end: the product's editor window on Linux, a borderless
// child of the host's X window on a display connection of its own (libxcb),
// driven by the host's effEditIdle calls (events, then the timers that are
// due), showing the shared software raster through PutImage requests. It
// keeps no state outside its windows and touches nothing of the process:
// errors of its requests come back to the window that made them.
#pragma once

#include "editor/Platform.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

// Milliseconds on a monotonic clock.
using MillisecondClock = std::function<long long()>;

// The product's back-end, on the steady clock.
Platform& x11Platform();

// A back-end of its own with the given clock (tests pace the timers with
// it) and, where not 0, a longest request in bytes below the server's own.
std::unique_ptr<Platform> makeX11Platform(MillisecondClock clock, std::size_t requestLimit = 0);

// The scale the desktop asks of X clients: its Xft.dpi resource over 96
// (`resources` is the root window's RESOURCE_MANAGER text), else GDK_SCALE's
// value (`gdkScale`, null when unset), else 1x.
Scale scaleFromResources(std::string_view resources, const char* gdkScale);

// The pieces of `r` that its pixels are sent in: bands of rows, top to
// bottom, and where a single row is too long, columns left to right, so
// that each piece's ZPixmap request (rows of `bitsPerPixel` per pixel, each
// padded to `scanlinePad` bits) takes at most `maxRequestBytes`. Empty when
// not even one pixel fits.
std::vector<Rect> putImageBands(const Rect& r, int bitsPerPixel, int scanlinePad,
                                std::size_t maxRequestBytes);

} // namespace ui
