#include <algorithm>

#include "orvella/controller/orvella_controller.h"

namespace orvella {

namespace {
void prune(std::vector<Time>& clicks, Time now, double window) {
    std::erase_if(clicks, [&](Time t) { return now - t > window; });
}
}  // namespace

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
