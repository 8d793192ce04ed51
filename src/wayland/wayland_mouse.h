#pragma once
// The mouse as a Wayland client knows it: presses, drags and moves over
// Orvella's own surfaces, and whatever the compositor's provider reports
// of the rest of the desktop.

#include <QPointF>
#include <functional>
#include <map>
#include <optional>

#include "orvella/platform/mouse.h"

namespace orvella::wayland {

class WaylandMouse : public MouseMonitors {
public:
    int addGlobalMonitor(std::function<void(const MouseEvent&)> handler) override;
    int addLocalMonitor(std::function<void(const MouseEvent&)> handler) override;
    void removeMonitor(int handle) override;
    // Over a surface of ours (or pressed on one) where it was last seen
    // there: fresher than any provider's report, which comes later. Else
    // the provider's pointer while it reports one, else the last place it
    // was seen, else the primary display's middle.
    Point mouseLocation() const override;

    // A left press or a move over one of our surfaces (desktop points).
    void localPress(Point at);
    void localMove(Point at);
    // The pointer left our surfaces.
    void localLeave() { localAt_.reset(); }
    // What the compositor's provider reports, in its layout's pixels.
    void providerPointerMoved(QPointF at);
    void providerPressed(QPointF at, Modifiers modifiers);
    void setProviderPointer(std::function<std::optional<QPointF>()> pointer) { providerPointer_ = std::move(pointer); }

private:
    void deliver(std::map<int, std::function<void(const MouseEvent&)>>& to, const MouseEvent& e);
    std::map<int, std::function<void(const MouseEvent&)>> global_, local_;
    int next_ = 1;
    std::optional<Point> lastSeen_;
    std::optional<Point> localAt_;
    std::function<std::optional<QPointF>()> providerPointer_;
};

}  // namespace orvella::wayland
