#include <algorithm>
#include <cmath>
#include <numbers>

#include "orvella/controller/orvella_controller.h"

namespace orvella {

bool OrvellaController::isStillWaterCruising(const FishAgent& fish, Time now) const {
    return stillWaterModeEnabled() && !fish.isBeingDragged && !isDispersalInForce() && !isAttractionInForce() &&
           (!fish.unreadAttention || fish.isPaused(now));
}

double OrvellaController::currentBaseMaxSpeed(const FishAgent& fish, Time now) const {
    if (isDispersalInForce()) return 7.8;
    if (isAttractionInForce()) return 7.2;
    if (fish.unreadAttention && !fish.isPaused(now)) return 4.3;
    if (isStillWaterCruising(fish, now)) return 1.65;
    return 2.4;
}

void OrvellaController::updateWindow(FishAgent& fish) {
    const Time now = platform_.clock.now();
    const double speed = std::max(fish.velocity.length(), 0.001);
    const double base = currentBaseMaxSpeed(fish, now);
    const double s = swimSpeed();

    fish.window->surface().setOrigin(fish.position);
    updateBadgeWindow(fish);
    updateAgentOpacity(fish, now);
    updateFishHeading(fish, speed, 0.18);

    auto& view = fish.view();
    const bool paused = fish.isPaused(now);
    if (fish.isBeingDragged) view.wakeStrength = 1;
    else if (isStillWaterCruising(fish, now)) view.wakeStrength = stillWaterTailWakeStrength;
    else if (paused) view.wakeStrength = 1;
    else view.wakeStrength = std::min(speed / (base * s), 1.0);

    if (!fish.isBeingDragged && paused) view.showCapture(*fish.pausedUntil);
    else if (fish.isBeingDragged || (!paused && fish.unreadAttention)) view.showCapture(now + capturedGlowLead);
    else view.clearCapture();

    view.setNeedsDisplay();
}

void OrvellaController::updateAgentOpacity(FishAgent& fish, Time now) {
    const double a = (fish.unreadAttention && !fish.isPaused(now)) ? 1 : 0;
    double f = 0;
    if (fish.clickFeedbackUntil) {
        if (*fish.clickFeedbackUntil > now) f = 1;
        else fish.clickFeedbackUntil.reset();
    }
    auto ease = [](double& value, double target, double rising, double falling) {
        value += (target - value) * (value < target ? rising : falling);
        if (std::abs(value - target) <= 0.001) value = target;
    };
    ease(fish.unreadAttentionVisibility, a, 0.055, 0.026);
    ease(fish.clickFeedbackVisibility, f, 0.18, 0.032);

    const double o = iconOpacity();
    const double visit = o + (std::max(o, unreadAttentionOpacity) - o) * fish.unreadAttentionVisibility;
    const double feedback = o + (std::max(o, clickFeedbackOpacity) - o) * fish.clickFeedbackVisibility;
    const double alpha = std::max(visit, feedback) * fish.fadeInLevel;

    Surface& window = fish.window->surface();
    const double previous = window.alpha();
    window.setAlpha(alpha);
    fish.badgeWindow->surface().setAlpha(alpha);
    if (std::abs(alpha - previous) > 0.001) fish.view().setNeedsDisplay();
}

void OrvellaController::updateFishHeading(FishAgent& fish, double speed, double smoothing) {
    if (speed <= 0.05) return;
    constexpr double twoPi = 2 * std::numbers::pi;
    auto& view = fish.view();
    const double target = std::atan2(fish.velocity.dy, fish.velocity.dx);
    double d = std::fmod(target - view.heading, twoPi);
    if (d > std::numbers::pi) d -= twoPi;
    else if (d < -std::numbers::pi) d += twoPi;
    view.heading += smoothing * d;
}

}  // namespace orvella
