// Which back-end new editor windows use.
#include "editor/Platform.h"

#if VELMORA_NATIVE_WIN32
#include "editor/platform/win32/Win32Platform.h"
#elif VELMORA_NATIVE_X11
#include "editor/platform/x11/X11Platform.h"
#endif

#include <atomic>

namespace ui {

namespace {
std::atomic<Platform*> replacement{nullptr};
}

Platform& nativePlatform() {
#if VELMORA_NATIVE_WIN32
    return win32Platform();
#elif VELMORA_NATIVE_X11
    return x11Platform();
#else
#error "no native editor back-end for this platform"
#endif
}

Platform& editorPlatform() {
    Platform* p = replacement.load();
    return p ? *p : nativePlatform();
}

void setEditorPlatform(Platform* platform) { replacement = platform; }

} // namespace ui
