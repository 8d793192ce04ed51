#pragma once
// The mouse as a Wayland client knows it: presses, drags and moves over
// Orvella's own surfaces, and whatever the compositor's provider reports
// of the rest of the desktop.

#include <QPointF>
#include <functional>
#include <map>
#include <optional>

#include "desktop/mouse_monitors.h"

namespace orvella::wayland {

class WaylandMouse : public desktop::DesktopMouse {
public:
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
    void providerPointerMoved(QPointF at) override;
    void providerPressed(QPointF at, Modifiers modifiers) override;

private:
    std::optional<Point> lastSeen_;
    std::optional<Point> localAt_;
};

}  // namespace orvella::wayland
