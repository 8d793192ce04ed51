#include <algorithm>

#include "orvella/controller/orvella_controller.h"

namespace orvella {

namespace {
double clampOpacity(double v) { return std::min(std::max(v, 0.1), 0.9); }
double clampSpeed(double v) { return std::min(std::max(v, 0.3), 2.4); }
}  // namespace

void OrvellaController::loadSettings() {
    auto& d = platform_.defaults;
    iconOpacityStorage_.setSilently(clampOpacity(d.number(kIconOpacityKey).value_or(0.58)));
    swimSpeedStorage_.setSilently(clampSpeed(d.number(kSwimSpeedKey).value_or(1.0)));

    auto raw = [&](const char* key) { return d.string(key).value_or(""); };
    fishOpenModifier_.setSilently(fishOpenModifierFromRaw(raw(kFishOpenModifierKey)).value_or(FishOpenModifier::none));
    attractionModifier_.setSilently(
        fishScreenGestureFromRaw(raw(kAttractionModifierKey)).value_or(FishScreenGesture::tripleClick));
    dispersalModifier_.setSilently(
        fishScreenGestureFromRaw(raw(kDispersalModifierKey)).value_or(FishScreenGesture::optionTripleClick));
    unreadBadgeMonitoringEnabled_.setSilently(d.boolean(kUnreadBadgeMonitoringKey).value_or(false));
    windowAvoidanceEnabled_.setSilently(d.boolean(kWindowAvoidanceKey).value_or(false));
    stillWaterModeEnabled_.setSilently(false);
}

void OrvellaController::setIconOpacity(double value) {
    const double v = clampOpacity(value);
    if (v == iconOpacity()) return;
    iconOpacityStorage_.set(v);
    platform_.defaults.set(kIconOpacityKey, Value(v));
    // Show the change at once, not only at the next motion step.
    const Time now = platform_.clock.now();
    for (auto& agent : fishAgents_) updateAgentOpacity(*agent, now);
}

void OrvellaController::setSwimSpeed(double value) {
    const double v = clampSpeed(value);
    if (v == swimSpeed()) return;
    swimSpeedStorage_.set(v);
    platform_.defaults.set(kSwimSpeedKey, Value(v));
}

void OrvellaController::setFishOpenModifier(FishOpenModifier value) {
    fishOpenModifier_.set(value);
    platform_.defaults.set(kFishOpenModifierKey, Value(rawValue(value)));
}

void OrvellaController::setAttractionModifier(FishScreenGesture value) {
    attractionModifier_.set(value);
    platform_.defaults.set(kAttractionModifierKey, Value(rawValue(value)));
}

void OrvellaController::setDispersalModifier(FishScreenGesture value) {
    dispersalModifier_.set(value);
    platform_.defaults.set(kDispersalModifierKey, Value(rawValue(value)));
}

void OrvellaController::setWindowAvoidanceEnabled(bool value) {
    if (value == windowAvoidanceEnabled()) return;
    windowAvoidanceEnabled_.set(value);
    platform_.defaults.set(kWindowAvoidanceKey, Value(value));
    if (value) {
        if (!hasWindowAvoidanceAccessibilityPermission.get()) requestWindowAvoidanceAccessibilityPermission();
        return;
    }
    clearWindowAvoidanceState();
}

void OrvellaController::setStillWaterModeEnabled(bool value) {
    if (value == stillWaterModeEnabled()) return;
    stillWaterModeEnabled_.set(value);
    // The next firing of the motion timer steps at once.
    lastMotionStepAt = 0;
    if (value) enterStillWaterMode();
}

}  // namespace orvella
