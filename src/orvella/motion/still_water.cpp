#include <algorithm>
#include <cmath>

#include "orvella/controller/orvella_controller.h"

namespace orvella {

void OrvellaController::enterStillWaterMode() {
    clearClickAttraction(false);
    dispersalOriginPoint.reset();
    dispersalExpiresAt.reset();
    clearWindowAvoidanceState();
    for (auto& fish : fishAgents_) {
        fish->pausedUntil.reset();
        fish->clickFeedbackUntil.reset();
        fish->clickFeedbackVisibility = 0;
        fish->unreadAttention.reset();
        fish->escapeBiasUntil = 0;
        fish->overlapDesyncUntil = 0;
        fish->view().clearCapture();
    }
}

Rect OrvellaController::stillWaterBoundaryFrame(const std::vector<SwimArea>& areas, const SwimArea& fallback) const {
    if (areas.empty()) return originRect(fallback.visibleFrame);
    Rect bounds = originRect(areas.front().visibleFrame);
    for (const auto& area : areas) bounds = bounds.unionWith(originRect(area.visibleFrame));
    return bounds;
}

Point OrvellaController::stillWaterTarget(FishAgent& fish, int index, const std::vector<SwimArea>& areas,
                                          const SwimArea& fallback) {
    const SwimArea* home = &fallback;
    for (const auto& area : areas)
        if (area.id == fish.displayID) {
            home = &area;
            break;
        }
    const Rect O = originRect(home->visibleFrame);
    Rect R = O.insetBy(stillWaterEdgeInset, stillWaterEdgeInset);
    if (!(R.width() > 1) || !(R.height() > 1)) R = O;

    // A stable order of the display's fish, whatever the order of the list.
    std::vector<const FishAgent*> peers;
    for (const auto& other : fishAgents_)
        if (other->displayID == home->id) peers.push_back(other.get());
    std::sort(peers.begin(), peers.end(), [](const FishAgent* a, const FishAgent* b) {
        if (a->app.url != b->app.url) return a->app.url < b->app.url;
        return a->seed < b->seed;
    });
    const int slotCount = std::max(static_cast<int>(peers.size()), 1);
    int slotIndex = std::min(slotCount - 1, index);
    if (auto it = std::find(peers.begin(), peers.end(), &fish); it != peers.end())
        slotIndex = static_cast<int>(it - peers.begin());

    const Point slot = stillWaterPerimeterTarget(slotIndex, slotCount, R);
    return originAvoidingCurrentWindow(slot, fish, slotIndex, platform_.clock.now(), O);
}

Point OrvellaController::stillWaterPerimeterTarget(int k, int m, const Rect& R) {
    const double w = std::max(R.width(), 1.0), h = std::max(R.height(), 1.0);
    const double P = std::max(2 * (w + h), 1.0);
    double d = (k + 0.5) / std::max(m, 1) * P;
    if (d <= w) return {R.minX() + d, R.maxY()};
    d -= w;
    if (d <= h) return {R.maxX(), R.maxY() - d};
    d -= h;
    if (d <= w) return {R.maxX() - d, R.minY()};
    d -= w;
    return {R.minX(), R.minY() + std::min(h, d)};
}

Vector OrvellaController::stillWaterSeparationAcceleration(const FishAgent& fish) const {
    const Point c = fish.center();
    Vector sum;
    for (const auto& other : fishAgents_) {
        if (other.get() == &fish) continue;
        Vector d = c - other->center();
        double dist = d.length();
        if (dist >= stillWaterMinimumIconDistance) continue;
        if (dist < 1) {
            const double phi = other->seed + 2.17 * fish.seed;
            d = {std::cos(phi), std::sin(phi)};
            dist = 1;
        }
        sum += d / dist * ((stillWaterMinimumIconDistance - dist) / stillWaterMinimumIconDistance);
    }
    const double L = sum.length();
    if (L <= 0.001) return {};
    return sum / L * std::min(L * stillWaterSeparationStrength, stillWaterSeparationStrength);
}

bool OrvellaController::isStillWaterOverlapping(const FishAgent& fish) const {
    const Point c = fish.center();
    for (const auto& other : fishAgents_)
        if (other.get() != &fish && (c - other->center()).length() < stillWaterMinimumIconDistance) return true;
    return false;
}

}  // namespace orvella
