// The Win32 back-end: the product's editor window, a borderless child of
// the host's window drawn with GDI.
#pragma once

#include "editor/Platform.h"

namespace ui {

Platform& win32Platform();

} // namespace ui
