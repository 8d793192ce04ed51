#include "wayland/surfaces.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "desktop/coordinates.h"
#include "wayland/hosts.h"

// Pointer routing: the host takes the pointer, and presses, drags and
// releases go to the surface under the press, which keeps the drag.
namespace orvella::wayland {

double WaylandSurface::distanceToRegion(QPointF at) const {
    if (ignores_ || !surface_) return std::numeric_limits<double>::infinity();
    const double h = frame_.height();
    double best = std::numeric_limits<double>::infinity();
    for (const Rect& r : region_) {
        const QRectF px = QRectF(r.minX(), h - r.minY() - r.height(), r.width(), r.height())
                              .toAlignedRect()
                              .translated(placed_.topLeft());
        const double dx = std::max({px.left() - at.x(), 0.0, at.x() - px.right()});
        const double dy = std::max({px.top() - at.y(), 0.0, at.y() - px.bottom()});
        best = std::min(best, std::hypot(dx, dy));
    }
    return best;
}

void WaylandSurface::pointer(const PointerEvent& event, QPointF at) {
    SurfaceMouseEvent e;
    // In the surface as it is now, which may be ahead of the compositor.
    const double x = at.x() - placed_.x(), y = at.y() - placed_.y();
    e.location = {x, frame_.height() - y};
    switch (event.type) {
        case PointerEvent::Type::press: {
            if (event.button != BTN_LEFT) {
                clicks_.otherPress();
                return;
            }
            clicks_.leftPress(event.timeMs, at);
            pressed_ = true;
            e.type = SurfaceMouseEvent::Type::down;
            break;
        }
        case PointerEvent::Type::motion:
            if (!pressed_) return;
            e.type = SurfaceMouseEvent::Type::dragged;
            break;
        case PointerEvent::Type::release:
            if (event.button != BTN_LEFT || !pressed_) return;
            pressed_ = false;
            e.type = SurfaceMouseEvent::Type::up;
            // Dragged onto another output: it moves there now.
            replaceSoon();
            break;
        case PointerEvent::Type::enter:
        case PointerEvent::Type::leave: return;
    }
    e.clickCount = clicks_.count();
    if (!mouse_ || ignores_) return;
    auto handler = mouse_;
    handler(e);
}

void WaylandSurface::cancelPress() {
    if (!pressed_) return;
    pressed_ = false;
    // Ended where no fish is: the drag stops, and nothing opens.
    SurfaceMouseEvent e;
    e.type = SurfaceMouseEvent::Type::up;
    e.location = {-frame_.width() - 1, -frame_.height() - 1};
    e.clickCount = clicks_.count();
    replaceSoon();
    if (!mouse_ || ignores_) return;
    auto handler = mouse_;
    handler(e);
}

void WaylandSurfaces::pointer(const PointerEvent& event) {
    if (event.type == PointerEvent::Type::leave) {
        // While a button is held the compositor keeps the pointer on the
        // surface it was pressed on: a leave then means the release will
        // not come (the pointer was taken away, the seat lost it, the host
        // closed). The press ends as one released away from the fish.
        if (WaylandSurface* pressed = std::exchange(pressed_, nullptr)) pressed->cancelPress();
        if (onPointer) onPointer(event, {});
        return;
    }
    const Host* host = nullptr;
    for (const auto& [output, h] : hosts_)
        if (event.surface && h->surface == event.surface) host = h.get();
    if (!host) return;
    // The host covers its output from its corner: where the pointer is on
    // it is where it is in the layout.
    const QPointF at(host->output->logical.x() + event.x, host->output->logical.y() + event.y);
    if (onPointer) onPointer(event, desktop::toDesktop(at));
    WaylandSurface* target = pressed_;
    if (event.type == PointerEvent::Type::press && !pressed_) {
        target = surfaceAt(*host, at);
        if (event.button == BTN_LEFT) pressed_ = target;
    }
    if (event.type == PointerEvent::Type::release && event.button == BTN_LEFT) pressed_ = nullptr;
    if (target) target->pointer(event, at);
}

WaylandSurface* WaylandSurfaces::surfaceAt(const Host& host, QPointF at) const {
    // A press the compositor placed by a region a motion step has since
    // moved lands a few pixels off it.
    constexpr double slack = 8;
    WaylandSurface* nearest = nullptr;
    double best = slack;
    for (auto it = host.stack.rbegin(); it != host.stack.rend(); ++it) {
        const double d = (*it)->distanceToRegion(at);
        if (d == 0) return *it;
        if (d < best) {
            best = d;
            nearest = *it;
        }
    }
    return nearest;
}

}  // namespace orvella::wayland
