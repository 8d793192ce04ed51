#include "wayland/wayland_mouse.h"

#include "linux/coordinates.h"

namespace orvella::wayland {

int WaylandMouse::addGlobalMonitor(std::function<void(const MouseEvent&)> handler) {
    global_.emplace(next_, std::move(handler));
    return next_++;
}

int WaylandMouse::addLocalMonitor(std::function<void(const MouseEvent&)> handler) {
    local_.emplace(next_, std::move(handler));
    return next_++;
}

void WaylandMouse::removeMonitor(int handle) {
    global_.erase(handle);
    local_.erase(handle);
}

Point WaylandMouse::mouseLocation() const {
    if (localAt_) return *localAt_;
    if (providerPointer_)
        if (const auto at = providerPointer_()) return linux_desktop::toDesktop(*at);
    if (lastSeen_) return *lastSeen_;
    const QRectF primary = linux_desktop::primaryGeometry();
    return linux_desktop::toDesktop(primary.center(), primary);
}

void WaylandMouse::deliver(std::map<int, std::function<void(const MouseEvent&)>>& to, const MouseEvent& e) {
    // A handler may remove monitors while it runs.
    auto handlers = to;
    for (auto& [id, fn] : handlers)
        if (to.count(id)) fn(e);
}

void WaylandMouse::localPress(Point at) {
    lastSeen_ = at;
    localAt_ = at;
    deliver(local_, {MouseEvent::Type::leftMouseDown, {}, at});
}

void WaylandMouse::localMove(Point at) {
    lastSeen_ = at;
    localAt_ = at;
    deliver(local_, {MouseEvent::Type::mouseMoved, {}, at});
}

void WaylandMouse::providerPointerMoved(QPointF at) {
    const Point p = linux_desktop::toDesktop(at);
    lastSeen_ = p;
    deliver(global_, {MouseEvent::Type::mouseMoved, {}, p});
}

void WaylandMouse::providerPressed(QPointF at, Modifiers modifiers) {
    const Point p = linux_desktop::toDesktop(at);
    lastSeen_ = p;
    deliver(global_, {MouseEvent::Type::leftMouseDown, modifiers, p});
}

}  // namespace orvella::wayland
