// The one request from the effect to the editor windows that is not a value:
// repaint everything. Raised when an effect is constructed and after every
// program load; consumed by an editor window's refresh timer. One for the
// whole library, not one per instance.
#pragma once

#include "frame/Relaxed.h"

extern Relaxed<bool> editorRefreshPending;
