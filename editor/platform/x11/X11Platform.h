// The X11 back-end: the product's editor window on Linux, a borderless
// child of the host's X window on a display connection of its own, driven
// by the host's effEditIdle calls (events, then the timers that are due),
// showing the shared software raster through XPutImage.
#pragma once

#include "editor/Platform.h"

#include <functional>
#include <memory>
#include <string>

namespace ui {

// Milliseconds on a monotonic clock.
using MillisecondClock = std::function<long long()>;

// The product's back-end, on the steady clock.
Platform& x11Platform();

// A back-end of its own with the given clock (tests pace the timers with it).
std::unique_ptr<Platform> makeX11Platform(MillisecondClock clock);

// The decimal separator of the locale that the environment chooses for
// numbers (LC_ALL, else LC_NUMERIC, else LANG), looked up without changing
// the process's locale; "." when that locale is not installed.
std::string environmentDecimalSeparator();

} // namespace ui
