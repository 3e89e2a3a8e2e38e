// Turns mouse events in client coordinates into events of the area under
// the pointer, as both back-ends need: the topmost area receives them, a
// left press holds the pointer for its area until the left button is
// released, and other buttons do not hold it.
#pragma once

#include "editor/Platform.h"

#include <optional>

namespace ui {

// The topmost area at a client position, if any.
std::optional<AreaId> areaAt(int x, int y);

class MouseRouter {
public:
    explicit MouseRouter(WindowListener& listener) : listener(listener) {}

    void press(MouseButton button, int x, int y);
    void move(int x, int y);
    void release(MouseButton button, int x, int y);
    // The area that holds the pointer, while the left button is down on it.
    std::optional<AreaId> holder() const { return held; }

private:
    // The area that receives an event at (x, y): the holder, else the area
    // under the pointer when it listens to the mouse.
    std::optional<AreaId> target(int x, int y) const;

    WindowListener& listener;
    std::optional<AreaId> held;
};

} // namespace ui
