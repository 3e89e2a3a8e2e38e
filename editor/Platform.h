// What the editor window needs of the platform, and nothing more: a
// borderless child window, one off-screen bitmap with a drawing surface per
// area, two periodic timers, mouse events per area and the user's decimal
// separator. The window's logic (uEditor) is written against this alone, in
// layout pixels (1x); each window draws at its scale (Scale.h) in device
// pixels, and its mouse positions reach the logic in layout pixels again.
#pragma once

#include "editor/Artwork.h"
#include "editor/Layout.h"
#include "editor/Scale.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ui {

enum class MouseButton { Left, Right, Middle };
enum class TimerId { Timer1, Timer2 };

inline constexpr int kTimer1Period = 500; // ms
inline constexpr int kTimer2Period = 250; // ms

// Drawing into one area's off-screen bitmap, in the area's layout
// coordinates, at the window's scale. The area shows the bitmap at its
// position and repaints after each operation.
class Surface {
public:
    virtual ~Surface() = default;
    virtual void setBrushColor(Rgb colour) = 0;
    virtual void setPenColor(Rgb colour) = 0;
    // Solid fill with the brush colour; right and bottom exclusive.
    virtual void fillRect(const Rect& r) = 0;
    // The ellipse inscribed in r (right and bottom exclusive), filled with
    // the brush and outlined one pixel wide with the pen.
    virtual void ellipse(const Rect& r) = 0;
    // The whole image, one of the artwork at the window's scale (its pixels
    // are device pixels), with its top-left corner at (x, y); pixels outside
    // its mask are left as they are.
    virtual void drawImage(const Image& image, int x, int y) = 0;
    virtual void setTextTransparent() = 0;
    virtual void setFont(std::string_view name, int points, Rgb colour) = 0;
    // UTF-8 text with its top-left corner at (x, y).
    virtual void textOut(int x, int y, std::string_view text) = 0;
};

// What the window hears from the platform. Mouse positions are in the
// receiving area's layout coordinates: device pixels divided by the scale,
// rounded down.
class WindowListener {
public:
    virtual void areaPress(AreaId area, MouseButton button, int x, int y) = 0;
    virtual void areaMove(AreaId area, int x, int y) = 0;
    virtual void areaRelease(AreaId area, MouseButton button, int x, int y) = 0;
    // A release that reached the window but none of the control areas.
    virtual void releaseElsewhere(MouseButton button) = 0;
    virtual void timer(TimerId id) = 0;

protected:
    ~WindowListener() = default;
};

// A borderless child window of the host's window. Destroying the object
// stops its timers and destroys the native window; nothing reaches the
// listener afterwards. Its bounds and client size are device pixels.
class NativeWindow {
public:
    virtual ~NativeWindow() = default;
    // Device pixels per layout pixel, fixed for the window's life.
    virtual Scale scale() const { return {}; }
    virtual void setBounds(int x, int y, int width, int height) = 0;
    virtual int clientWidth() const = 0;
    virtual int clientHeight() const = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual void setDoubleBuffered(bool on) = 0;
    // The area's drawing surface; its bitmap is made on first use.
    virtual Surface& surface(AreaId area) = 0;
    // Paints what drawing has invalidated, now.
    virtual void processRepaints() = 0;
    // Periodic, on the thread that created the window, until destruction.
    virtual void startTimer(TimerId id, int periodMs) = 0;
    virtual std::string decimalSeparator() const = 0;
    // The window system's handle of the window (X11: its window id), for
    // hosts that embed a window by its handle; null where there is none.
    virtual void* nativeHandle() const { return nullptr; }
    // The host's idle call, on the thread that created the window. Back-ends
    // whose events and timers the host's idle calls drive (X11) handle them
    // here; the others get them from their own message loop.
    virtual void idle() {}
};

class Platform {
public:
    virtual ~Platform() = default;
    // Null when the window cannot be made (for instance, no parent window
    // where the platform needs one). It draws at `scale` when one is given
    // (the host's), else at the one the system asks of windows in `parent`
    // (the monitor's DPI on Windows, Xft.dpi or GDK_SCALE on X11).
    virtual std::unique_ptr<NativeWindow>
    createChildWindow(void* parent, WindowListener& listener,
                      std::optional<Scale> scale = std::nullopt) = 0;
};

// The back-end this build was made with: Win32 on Windows, X11 elsewhere.
Platform& nativePlatform();

// The back-end that new editor windows use: the native one unless a test
// has put another in its place (null restores the native one).
Platform& editorPlatform();
void setEditorPlatform(Platform* platform);

} // namespace ui
