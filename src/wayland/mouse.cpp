#include "wayland/mouse.h"

#include "desktop/coordinates.h"

namespace orvella::wayland {

Point WaylandMouse::mouseLocation() const {
    if (localAt_) return *localAt_;
    if (const auto at = providerPointer()) return desktop::toDesktop(*at);
    if (lastSeen_) return *lastSeen_;
    const QRectF primary = desktop::primaryGeometry();
    return desktop::toDesktop(primary.center(), primary);
}

void WaylandMouse::localPress(Point at) {
    lastSeen_ = at;
    localAt_ = at;
    deliverLocal({MouseEvent::Type::leftMouseDown, {}, at});
}

void WaylandMouse::localMove(Point at) {
    lastSeen_ = at;
    localAt_ = at;
    deliverLocal({MouseEvent::Type::mouseMoved, {}, at});
}

void WaylandMouse::providerPointerMoved(QPointF at) {
    const Point p = desktop::toDesktop(at);
    lastSeen_ = p;
    deliverGlobal({MouseEvent::Type::mouseMoved, {}, p});
}

void WaylandMouse::providerPressed(QPointF at, Modifiers modifiers) {
    const Point p = desktop::toDesktop(at);
    lastSeen_ = p;
    deliverGlobal({MouseEvent::Type::leftMouseDown, modifiers, p});
}

}  // namespace orvella::wayland
