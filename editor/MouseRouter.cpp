#include "editor/MouseRouter.h"

namespace ui {

std::optional<AreaId> areaAt(int x, int y) {
    for (auto it = kAreas.rbegin(); it != kAreas.rend(); ++it)
        if (it->bounds.contains(x, y)) return it->id;
    return std::nullopt;
}

std::optional<AreaId> MouseRouter::target(int x, int y) const {
    if (held) return held;
    const auto hit = areaAt(x, y);
    // An area without mouse handlers still covers what lies below it.
    if (hit && area(*hit).mouse) return hit;
    return std::nullopt;
}

void MouseRouter::press(MouseButton button, int x, int y) {
    const auto to = target(x, y);
    if (!to) return;
    if (button == MouseButton::Left) held = to;
    const Rect& b = area(*to).bounds;
    listener.areaPress(*to, button, x - b.left, y - b.top);
}

void MouseRouter::move(int x, int y) {
    const auto to = target(x, y);
    if (!to) return;
    const Rect& b = area(*to).bounds;
    listener.areaMove(*to, x - b.left, y - b.top);
}

void MouseRouter::release(MouseButton button, int x, int y) {
    const auto to = target(x, y);
    if (button == MouseButton::Left) held.reset();
    if (!to) {
        listener.releaseElsewhere(button);
        return;
    }
    const Rect& b = area(*to).bounds;
    listener.areaRelease(*to, button, x - b.left, y - b.top);
}

} // namespace ui
