#include "orvella/controller/orvella_controller.h"

namespace orvella {

void OrvellaController::startMotion() {
    if (motionTimer_) platform_.scheduler.cancel(*motionTimer_);
    lastMotionStepAt = 0;
    std::weak_ptr<int> alive = alive_;
    motionTimer_ = platform_.scheduler.scheduleGatedRepeating(
        activeMotionFrameInterval, motionTimerTolerance,
        [this, alive] {
            if (alive.lock()) stepMotion();
        },
        // At the idle rate every other firing steps: the others need not
        // wake the process. Asked again whenever the process is about to
        // sleep, so what changed the rate meanwhile (a click, a drag) is
        // known.
        [this, alive](double in) { return !alive.lock() || isMotionStepDue(platform_.clock.now() + in); });
}

bool OrvellaController::isMotionStepDue(Time at) const {
    return lastMotionStepAt <= 0 || at - lastMotionStepAt >= 0.92 * desiredMotionFrameInterval(at);
}

double OrvellaController::desiredMotionFrameInterval(Time now) const {
    if (stillWaterModeEnabled()) return activeMotionFrameInterval;
    if (isDispersalInForce()) return activeMotionFrameInterval;
    if (isAttractionInForce()) return activeMotionFrameInterval;
    for (const auto& fish : fishAgents_) {
        if (fish->isPaused(now) || fish->isBeingDragged || fish->unreadAttention ||
            fish->unreadAttentionVisibility > 0.01 || fish->clickFeedbackVisibility > 0.01 ||
            now < fish->overlapDesyncUntil)
            return activeMotionFrameInterval;
    }
    if (hasActiveWindowAvoidance(now)) return activeMotionFrameInterval;
    if (largeWindowWaterwayFrame) return activeMotionFrameInterval;
    return idleMotionFrameInterval;
}

void OrvellaController::stepMotion() {
    const Time now = platform_.clock.now();
    if (!isMotionStepDue(now)) return;
    lastMotionStepAt = now;
    ++motionStepCount_;

    expireClickAttractionIfNeeded(now);
    expireDispersalIfNeeded(now);

    const auto areas = swimAreas();
    const auto active = activeSwimArea(areas);
    if (!active) return;

    const Rect T = isDispersalInForce() ? originRect(active->visibleFrame) : active->frame;
    const Rect B = stillWaterModeEnabled() ? stillWaterBoundaryFrame(areas, *active)
                                           : movementBoundaryFrame(*active, areas);

    updateWindowAvoidance(now, areas);
    updateWaterOverlays(now);

    // The list as it stood when the step began: handlers run from here may
    // change fishAgents_.
    const auto fish = fishAgents_;
    const bool stillWater = stillWaterModeEnabled();
    for (size_t n = 0; n < fish.size(); ++n) {
        FishAgent& agent = *fish[n];
        const int i = static_cast<int>(n);
        if (agent.isBeingDragged || (agent.isPaused(now) && !stillWater)) {
            updateWindow(agent);
            continue;
        }
        std::optional<Point> attraction;
        if (isAttractionInForce() && active->contains(*attractionTargetPoint)) attraction = attractionTargetPoint;
        const Point target = isStillWaterCruising(agent, now) ? stillWaterTarget(agent, i, areas, *active)
                                                              : targetPoint(agent, i, now, T, *active, attraction);
        move(agent, target, i, B, now);
        updateAgentDisplayID(agent, areas, *active);
    }
}

}  // namespace orvella
