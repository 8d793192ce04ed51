#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "orvella/platform/canvas.h"
#include "orvella/platform/mouse.h"
#include "orvella/support/geometry.h"

namespace orvella {

enum class SurfaceKind { fish, badge, overlay };

// Surfaces stack by kind: the water beneath the fish, the fish beneath
// their badges; within a kind, the one ordered front last is on top.
constexpr int stackingRank(SurfaceKind kind) {
    switch (kind) {
        case SurfaceKind::overlay: return 0;
        case SurfaceKind::fish: return 1;
        case SurfaceKind::badge: return 2;
    }
    return 1;
}

// A mouse event delivered to a surface, located in its own coordinates (y up).
struct SurfaceMouseEvent {
    enum class Type { down, dragged, up } type = Type::down;
    Point location;
    int clickCount = 1;
    Modifiers modifiers;
};

// A borderless, non-activating window floating above other windows on every
// workspace. Its content is drawn on demand by the draw callback it was made
// with, with the window alpha applied.
class Surface {
public:
    virtual ~Surface() = default;
    virtual Rect frame() const = 0;
    virtual void setOrigin(Point origin) = 0;
    virtual void setContentSize(Size size) = 0;
    virtual double alpha() const = 0;
    virtual void setAlpha(double alpha) = 0;
    // Shows the window above others without activating this application,
    // and above the others of its kind.
    virtual void orderFront() = 0;
    virtual void orderOut() = 0;
    virtual bool isVisible() const = 0;
    virtual void close() = 0;
    virtual bool isClosed() const = 0;
    virtual void setIgnoresMouseEvents(bool ignores) = 0;
    virtual bool ignoresMouseEvents() const = 0;
    // The part of the surface that takes the mouse, in surface coordinates;
    // the rest lets clicks through to what lies below.
    virtual void setInteractiveRegion(const std::vector<Rect>& rects) = 0;
    virtual void setNeedsDisplay() = 0;
    // Redraws only the part of the surface in `rect` (surface coordinates).
    virtual void setNeedsDisplayIn(const Rect& rect) = 0;
    virtual void setMouseHandler(std::function<void(const SurfaceMouseEvent&)> handler) = 0;
};

class SurfaceFactory {
public:
    virtual ~SurfaceFactory() = default;
    // A new surface at contentRect, not yet on screen. `title` names its role
    // and content so that tools can find it.
    virtual std::shared_ptr<Surface> createSurface(SurfaceKind kind, const Rect& contentRect,
                                                   const std::string& title,
                                                   std::function<void(Canvas&)> draw) = 0;
    // The frames, in global desktop points, of this application's visible
    // windows that are not surfaces and take clicks: its settings window,
    // dialogs and menus. A press there belongs to that window.
    virtual std::vector<Rect> otherInteractiveWindowFrames() const = 0;
};

}  // namespace orvella
