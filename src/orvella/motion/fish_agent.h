#pragma once

#include <memory>
#include <optional>
#include <string>

#include "orvella/catalogue/orvella_app.h"
#include "orvella/fish/fish_window.h"
#include "orvella/platform/clock.h"
#include "orvella/support/geometry.h"

namespace orvella {

// An unread-message visit: the fish darts to the pointer and circles it.
struct UnreadAttention {
    Time createdAt = 0;
    double seed = 0;                     // phase of the orbit, 0...2pi
    std::optional<Time> orbitStartedAt;  // none while still approaching
};

// One fish: its simulation state and the two windows that show it. Agents
// are compared by identity. Times of 0 mean never.
class FishAgent {
public:
    FishAgent(OrvellaApp app, std::unique_ptr<FishWindow> window, std::unique_ptr<UnreadBadgeWindow> badgeWindow)
        : app(std::move(app)), window(std::move(window)), badgeWindow(std::move(badgeWindow)) {}

    const OrvellaApp app;
    const std::unique_ptr<FishWindow> window;
    const std::unique_ptr<UnreadBadgeWindow> badgeWindow;

    std::string displayID;
    Point position;
    Vector velocity;
    std::optional<Time> pausedUntil;
    std::optional<Time> clickFeedbackUntil;
    double clickFeedbackVisibility = 0;
    bool isBeingDragged = false;
    std::optional<UnreadAttention> unreadAttention;
    double unreadAttentionVisibility = 0;
    Vector escapeBiasVector;
    Time escapeBiasUntil = 0;
    double escapeBiasDuration = 0.7;
    Vector windowAvoidanceVector;
    Time windowAvoidanceVectorUntil = 0;
    Vector overlapDesyncVector;
    Time overlapDesyncUntil = 0;
    double overlapDesyncDuration = 0.6;
    Time lastBoundaryEscapeAt = 0;
    Time lastTrailRippleAt = 0;
    double seed = 0;  // 0...1000, de-synchronises periodic behaviour
    // 0...1 while a new fish fades in: the window shows this share of the
    // opacity the motion step gives it, so the two never fight.
    double fadeInLevel = 1;
    // Set when the fish is removed: from then on only its fade-out writes
    // the window's alpha.
    bool isLeaving = false;

    FishIconView& view() { return window->fishView(); }
    const FishIconView& view() const { return window->fishView(); }

    // Centre of the fish window (position plus half its size).
    Point center() const {
        const Rect f = window->surface().frame();
        return {position.x + f.width() / 2, position.y + f.height() / 2};
    }

    bool isPaused(Time now) const { return pausedUntil && now < *pausedUntil; }
};

}  // namespace orvella
