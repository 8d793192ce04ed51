#include <algorithm>

#include "orvella/controller/orvella_controller.h"

namespace orvella {

namespace {
void prune(std::vector<Time>& clicks, Time now, double window) {
    std::erase_if(clicks, [&](Time t) { return now - t > window; });
}
}  // namespace

void OrvellaController::installMouseMonitors() {
    std::weak_ptr<int> alive = alive_;
    // Events of other applications' windows arrive here; hand them to the
    // main queue with the location read now.
    eventMonitors_.push_back(platform_.mouse.addGlobalMonitor([this, alive](const MouseEvent& e) {
        const Point location = platform_.mouse.mouseLocation();
        platform_.scheduler.dispatchMain([this, alive, e, location] {
            if (alive.lock()) handleMouse(e.type, e.modifiers, location);
        });
    }));
    // Events of this application's own windows: handled at once, before the
    // window sees them.
    eventMonitors_.push_back(platform_.mouse.addLocalMonitor([this, alive](const MouseEvent& e) {
        if (alive.lock()) handleMouse(e.type, e.modifiers, platform_.mouse.mouseLocation());
    }));
}

void OrvellaController::handleMouse(MouseEvent::Type type, Modifiers, Point location) {
    previousCursorPoint = cursorPoint;
    cursorPoint = location;
    if (type != MouseEvent::Type::leftMouseDown) return;
    // A plain click ends a running attraction and resets the click counts.
    clearClickAttraction(false);
    recentDispersalClicks.clear();
}

void OrvellaController::clearClickAttraction(bool keepRecentClicks) {
    cursorAttractionEnabled = false;
    attractionTargetPoint.reset();
    attractionExpiresAt.reset();
    attractionRequiresArrival = false;
    attractionArrivedAt.reset();
    if (!keepRecentClicks) {
        recentAttractionClicks.clear();
        recentGuaranteedAttractionClicks.clear();
    }
}

void OrvellaController::expireClickAttractionIfNeeded(Time t) {
    prune(recentAttractionClicks, t, 0.55);
    prune(recentGuaranteedAttractionClicks, t, 1.05);
    if (attractionExpiresAt && t >= *attractionExpiresAt) {
        clearClickAttraction(true);
        return;
    }
    if (attractionRequiresArrival && attractionTargetPoint) {
        for (const auto& fish : fishAgents_) {
            if (!((fish->center() - *attractionTargetPoint).length() <= 196)) {
                attractionArrivedAt.reset();
                return;
            }
        }
        if (!attractionArrivedAt) attractionArrivedAt = t;
        if (t - *attractionArrivedAt >= 0.9) clearClickAttraction(true);
    }
}

void OrvellaController::expireDispersalIfNeeded(Time t) {
    prune(recentDispersalClicks, t, 0.55);
    if (dispersalExpiresAt && t >= *dispersalExpiresAt) {
        dispersalOriginPoint.reset();
        dispersalExpiresAt.reset();
    }
}

// Overlays are created on demand by the gestures; with none there is
// nothing to animate.
void OrvellaController::updateWaterOverlays(Time) {}

}  // namespace orvella
