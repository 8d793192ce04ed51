#include <algorithm>
#include <cmath>
#include <set>

#include "orvella/controller/orvella_controller.h"

namespace orvella {

namespace {
Rect expanded(const Rect& r, double by) { return r.insetBy(-by, -by); }
}  // namespace

void OrvellaController::clearWindowAvoidanceState() {
    currentWindowAvoidanceRect.reset();
    targetWindowAvoidanceRect.reset();
    largeWindowWaterwayFrame.reset();
    largeWindowWaterwayAreaID.reset();
    lastWindowAvoidancePollAt = 0;
}

void OrvellaController::updateWindowAvoidance(Time now, const std::vector<SwimArea>& areas) {
    if (!windowAvoidanceEnabled() && !stillWaterModeEnabled()) {
        clearWindowAvoidanceState();
        return;
    }
    auto& access = platform_.accessibility;
    // Publish only changes: this runs on every step and the panel listens.
    auto publish = [](Observable<bool>& flag, bool value) {
        if (flag.get() != value) flag.set(value);
    };
    publish(hasWindowAvoidanceAccessibilityPermission, access.isProcessTrusted());
    if (!hasWindowAvoidanceAccessibilityPermission.get()) {
        // The automatic prompt is shown once per run; switching the feature
        // on or the panel's button asks again.
        if (!hasRequestedWindowAvoidancePermissionThisLaunch) {
            hasRequestedWindowAvoidancePermissionThisLaunch = true;
            publish(hasWindowAvoidanceAccessibilityPermission, access.isProcessTrustedWithPrompt());
        }
        clearWindowAvoidanceState();
        return;
    }
    // A hair of slack so that a step exactly one interval later polls even
    // when the subtraction rounds down.
    if (now - lastWindowAvoidancePollAt >= activeWindowPollInterval - 1e-9) {
        lastWindowAvoidancePollAt = now;
        // Outside still water our own windows (the settings panel) are not
        // in the way; resting fish keep clear of them too.
        std::set<std::string> excluded;
        if (!stillWaterModeEnabled()) excluded.insert(platform_.workspace.mainBundleIdentifier().value_or(""));
        if (auto snapshot = activeWindowMonitor.frontmostWindow(excluded)) {
            const auto layout = windowAvoidanceLayout(*snapshot, areas);
            targetWindowAvoidanceRect = layout.avoidanceRect;
            largeWindowWaterwayFrame = layout.waterwayFrame;
            largeWindowWaterwayAreaID = layout.waterwayAreaID;
            if (layout.waterwayFrame) currentWindowAvoidanceRect.reset();
        } else {
            targetWindowAvoidanceRect.reset();
            largeWindowWaterwayFrame.reset();
            largeWindowWaterwayAreaID.reset();
        }
    }
    smoothWindowAvoidanceRect();
}

OrvellaController::WindowAvoidanceLayout OrvellaController::windowAvoidanceLayout(
    const ActiveWindowSnapshot& snapshot, const std::vector<SwimArea>& areas) {
    const SwimArea* chosen = nullptr;
    double chosenArea = 0;
    Rect chosenShare;
    for (const auto& area : areas) {
        const auto shared = snapshot.frame.intersection(area.visibleFrame);
        if (!shared || !(shared->width() > 1) || !(shared->height() > 1)) continue;
        const double size = std::max(shared->width(), 0.0) * std::max(shared->height(), 0.0);
        if (!chosen || size > chosenArea) {
            chosen = &area;
            chosenArea = size;
            chosenShare = *shared;
        }
    }
    if (!chosen) return {};
    const double A = chosen->visibleFrame.width() * chosen->visibleFrame.height();
    const double coverage = A >= 1 ? chosenArea / A : chosenArea;
    if (coverage <= windowAvoidanceMaximumCoverage) return {chosenShare, std::nullopt, std::nullopt};
    const Rect F = chosen->frame;
    const double H = std::max(F.height() * largeWindowTopWaterwayRatio, 1.0);
    return {std::nullopt, Rect::make(F.minX(), F.maxY() - H, F.width(), H), chosen->id};
}

void OrvellaController::requestWindowAvoidanceAccessibilityPermission() {
    hasWindowAvoidanceAccessibilityPermission.set(platform_.accessibility.isProcessTrustedWithPrompt());
    // Unread sensing rests on the same permission.
    hasUnreadBadgeAccessibilityPermission.set(platform_.accessibility.isProcessTrusted());
}

void OrvellaController::smoothWindowAvoidanceRect() {
    if (!targetWindowAvoidanceRect) {
        if (!currentWindowAvoidanceRect) return;
        const Rect c = *currentWindowAvoidanceRect;
        const double w = c.width() * 0.937, h = c.height() * 0.937;
        if (w < 24 || h < 24) {
            currentWindowAvoidanceRect.reset();
            return;
        }
        currentWindowAvoidanceRect = Rect::make(c.midX() - w / 2, c.midY() - h / 2, w, h);
        return;
    }
    const Rect t = *targetWindowAvoidanceRect;
    if (!currentWindowAvoidanceRect) {
        currentWindowAvoidanceRect =
            stillWaterModeEnabled() ? t : Rect::make(t.midX() - 1, t.midY() - 1, 2, 2);
        return;
    }
    const Rect c = *currentWindowAvoidanceRect;
    auto toward = [](double from, double to) { return from + (to - from) * 0.045; };
    currentWindowAvoidanceRect = Rect::make(toward(c.minX(), t.minX()), toward(c.minY(), t.minY()),
                                            toward(c.width(), t.width()), toward(c.height(), t.height()));
}

bool OrvellaController::shouldAvoidActiveWindow(const FishAgent& fish, Time now) const {
    return (windowAvoidanceEnabled() || stillWaterModeEnabled()) && currentWindowAvoidanceRect &&
           !isDispersalInForce() && !isAttractionInForce() && (!fish.unreadAttention || fish.isPaused(now));
}

Vector OrvellaController::windowAvoidanceExitDirection(FishAgent& fish, const Rect& R, Point M, Time now) {
    if (now < fish.windowAvoidanceVectorUntil && fish.windowAvoidanceVector.length() > 0.001)
        return fish.windowAvoidanceVector;
    const std::pair<double, Vector> exits[] = {
        {std::abs(M.x - R.minX()), {-1, 0}},
        {std::abs(R.maxX() - M.x), {1, 0}},
        {std::abs(M.y - R.minY()), {0, -1}},
        {std::abs(R.maxY() - M.y), {0, 1}},
    };
    const auto* best = &exits[0];
    for (const auto& e : exits)
        if (e.first < best->first) best = &e;
    fish.windowAvoidanceVector = best->second;
    fish.windowAvoidanceVectorUntil = now + 1.6;
    return best->second;
}

Point OrvellaController::originAvoidingCurrentWindow(Point proposed, FishAgent& fish, int index, Time now,
                                                     const Rect& bounds) {
    if (!currentWindowAvoidanceRect) return proposed;
    const Rect R = expanded(*currentWindowAvoidanceRect, 128);
    const Point P = proposed + Vector{56, 56};
    Point result = proposed;
    if (R.contains(P)) {
        const Vector v = windowAvoidanceExitDirection(fish, R, fish.center(), now);
        const double side = std::sin(fish.seed) >= 0 ? 1 : -1;
        double lane = windowAvoidanceLaneOffset(fish, index) +
                      std::clamp(0.12 * std::min(R.width(), R.height()), 30.0, 76.0);
        lane = std::clamp(lane, -110.0, 130.0);
        double x, y;
        if (std::abs(v.dy) < std::abs(v.dx)) {
            x = v.dx < 0 ? R.minX() - 8 : R.maxX() + 8;
            y = P.y + v.dx * side * lane;
        } else {
            y = v.dy < 0 ? R.minY() - 8 : R.maxY() + 8;
            x = P.x - v.dy * side * lane;
        }
        result = {x - 56, y - 56};
    }
    return {std::min(std::max(result.x, bounds.minX()), bounds.maxX()),
            std::min(std::max(result.y, bounds.minY()), bounds.maxY())};
}

double OrvellaController::windowAvoidanceLaneOffset(const FishAgent& fish, int index) const {
    int n = 0, slot = -1;
    for (const auto& other : fishAgents_) {
        if (other->displayID != fish.displayID) continue;
        if (other.get() == &fish) slot = n;
        ++n;
    }
    const int m = std::max(n, 1);
    if (slot < 0) slot = std::min(m - 1, index);
    const double spacing = n <= 3 ? 36 : 30;
    return spacing * (slot - (m - 1) / 2.0) + 4 * std::sin(1.91 * fish.seed);
}

Vector OrvellaController::windowAvoidanceAcceleration(FishAgent& fish, Time now, std::optional<Point> stillWaterSlot) {
    if (!shouldAvoidActiveWindow(fish, now) || !currentWindowAvoidanceRect) return {};
    const Point M = fish.center();
    const Rect R = expanded(*currentWindowAvoidanceRect, windowAvoidanceMargin);
    if (!R.contains(M)) return {};
    // A fish heading for its still-water slot: the slot has been moved clear
    // of the window already, and pushing a fish whose slot lies beyond the
    // window would hold it at the window's edge for good. So a fish resting
    // on its slot, or bound for a slot clear of the zone, is left alone.
    if (stillWaterSlot) {
        if ((fish.position - *stillWaterSlot).length() < stillWaterRestRadius) return {};
        if (!R.contains(*stillWaterSlot + Vector{FishWindow::kSide / 2, FishWindow::kSide / 2})) return {};
    }
    const Vector v = windowAvoidanceExitDirection(fish, R, M, now);
    const bool inside = currentWindowAvoidanceRect->contains(M);
    const double push = inside ? 0.24 : 0.13, swirl = inside ? 0.08 : 0.05;
    const double side = std::sin(fish.seed) >= 0 ? 1 : -1;
    return {v.dx * push - swirl * side * v.dy, v.dy * push + swirl * side * v.dx};
}

bool OrvellaController::hasActiveWindowAvoidance(Time now) const {
    if (!windowAvoidanceEnabled() || !currentWindowAvoidanceRect) return false;
    const Rect R = expanded(*currentWindowAvoidanceRect, windowAvoidanceMargin);
    for (const auto& fish : fishAgents_)
        if (shouldAvoidActiveWindow(*fish, now) && R.contains(fish->center())) return true;
    return false;
}

}  // namespace orvella
