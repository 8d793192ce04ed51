#include <algorithm>
#include <cmath>

#include "orvella/controller/orvella_controller.h"

namespace orvella {

namespace {
using C = OrvellaController;
double steeringGain(bool cruising, bool dispersal, bool attraction, bool visiting) {
    if (cruising) return C::stillWaterSteeringGain;
    if (dispersal) return C::dispersalSteeringGain;
    if (attraction) return C::attractionSteeringGain;
    if (visiting) return C::unreadVisitSteeringGain;
    return C::wanderSteeringGain;
}
}  // namespace

void OrvellaController::move(FishAgent& agent, Point target, int index, const Rect& B, Time now) {
    const double s = swimSpeed();
    const bool cruising = isStillWaterCruising(agent, now);
    const bool visiting = agent.unreadAttention && !agent.isPaused(now);

    const Vector d = target - agent.position;
    const double dist = d.length();
    const double A = std::max(dist, 1.0);
    const Vector u = dist >= 1 ? d / dist : d;
    const double g = steeringGain(cruising, isDispersalInForce(), isAttractionInForce(), visiting);
    const double thrust = std::min(s * g, s * A * steeringThrustPerPoint);

    // A still-water fish's target is its slot.
    Vector a = u * thrust + windowAvoidanceAcceleration(agent, now, cruising ? std::optional(target) : std::nullopt);
    if (cruising) a += stillWaterSeparationAcceleration(agent) * s;
    else a += activeEscapeAcceleration(agent, now) * s + organicWanderAcceleration(agent, now) * s;
    a += overlapDesyncAcceleration(agent, index, now) * s;

    const double k = cruising ? (A < stillWaterNearDistance ? stillWaterNearDamping : stillWaterFarDamping)
                              : swimmingDamping;
    agent.velocity = agent.velocity * k + a;

    const double limit = currentBaseMaxSpeed(agent, now) * s;
    const double sp = std::max(agent.velocity.length(), 0.001);
    if (sp > limit) agent.velocity = agent.velocity * (limit / sp);

    if (cruising && A < stillWaterRestRadius && agent.velocity.length() < stillWaterRestSpeed &&
        !isStillWaterOverlapping(agent)) {
        agent.position = target;
        agent.velocity = {0, 0};
    }
    agent.position = agent.position + agent.velocity;

    // Bounce off the boundary, horizontally then vertically; the result is
    // the direction back into the water along that axis.
    auto bounce = [](double& position, double& velocity, double min, double max) -> double {
        if (position < min) {
            velocity = -boundaryBounceFactor * velocity;
            position = min;
            return 1;
        }
        if (position > max) {
            velocity = -boundaryBounceFactor * velocity;
            position = max;
            return -1;
        }
        return 0;
    };
    const double ex = bounce(agent.position.x, agent.velocity.dx, B.minX(), B.maxX());
    const double ey = bounce(agent.position.y, agent.velocity.dy, B.minY(), B.maxY());
    if (ex != 0 || ey != 0) registerBoundaryEscapeIfNeeded(agent, {ex, ey}, now);

    const double sp2 = std::max(agent.velocity.length(), 0.001);
    agent.window->surface().setOrigin(agent.position);
    updateBadgeWindow(agent);
    updateAgentOpacity(agent, now);
    updateFishHeading(agent, sp2, headingSmoothing);
    auto& view = agent.view();
    view.wakeStrength = cruising ? stillWaterTailWakeStrength : std::min(sp2 / limit, 1.0);
    if (visiting) view.showCapture(now + capturedGlowLead);
    else view.clearCapture();
    view.setNeedsDisplay();
}

Vector OrvellaController::organicWanderAcceleration(const FishAgent& agent, Time t) const {
    const double sg = agent.seed;
    // Two slow waves per axis at unrelated frequencies, phased by the seed.
    const double a = organicWanderPrimaryAmplitude, b = organicWanderSecondaryAmplitude;
    return {a * std::sin(0.67 * t + 0.41 * sg) + b * std::sin(1.07 * t + 1.19 * sg),
            a * std::cos(0.61 * t + 0.53 * sg) + b * std::sin(0.97 * t + 1.37 * sg)};
}

void OrvellaController::registerBoundaryEscapeIfNeeded(FishAgent& agent, Vector e, Time now) {
    if (now - agent.lastBoundaryEscapeAt <= boundaryEscapeCooldown) return;
    agent.lastBoundaryEscapeAt = now;
    const double L = e.length();
    if (L <= 0.001) return;
    const Vector n = e / L;
    const double side = std::sin(agent.seed) >= 0 ? 1 : -1;
    Vector f{n.dx - side * boundaryEscapeSwerve * n.dy, n.dy + side * boundaryEscapeSwerve * n.dx};
    if (f.length() > 0.001) f = f / f.length();
    agent.escapeBiasVector = f;
    agent.escapeBiasDuration = boundaryEscapeDuration;
    agent.escapeBiasUntil = now + boundaryEscapeDuration;
    agent.velocity += f * boundaryEscapeKick;
}

Vector OrvellaController::activeEscapeAcceleration(const FishAgent& agent, Time now) const {
    if (now >= agent.escapeBiasUntil) return {};
    const double r = (agent.escapeBiasUntil - now) / std::max(agent.escapeBiasDuration, 0.001);
    if (r <= 0) return {};
    return agent.escapeBiasVector * (std::min(r, 1.0) * boundaryEscapeStrength);
}

Vector OrvellaController::overlapDesyncAcceleration(FishAgent& agent, int index, Time now) {
    if (now < agent.overlapDesyncUntil) {
        const double r = (agent.overlapDesyncUntil - now) / std::max(agent.overlapDesyncDuration, 0.001);
        if (r > 0) return agent.overlapDesyncVector * (std::min(r, 1.0) * overlapDesyncHoldStrength);
        return {};
    }
    const Vector v = agent.velocity;
    const double speed = v.length();
    if (isDispersalInForce() || isAttractionInForce() || stillWaterModeEnabled() || speed <= 0.001) return {};

    const Point c = agent.center();
    const Vector u = v / speed;
    double best = 0;
    std::optional<Vector> direction;
    const size_t limit = std::min(static_cast<size_t>(std::max(index, 0)), fishAgents_.size());
    for (size_t j = 0; j < limit; ++j) {
        const FishAgent& o = *fishAgents_[j];
        if (&o == &agent) continue;
        const Vector d = c - o.center();
        const double dist = d.length();
        if (dist >= overlapDesyncRadius) continue;
        const double so = o.velocity.length();
        if (so <= 0.001) continue;
        const Vector uo = o.velocity / so;
        if (u.dx * uo.dx + u.dy * uo.dy <= overlapDesyncMinimumAlignment) continue;
        if ((v - o.velocity).length() / std::max((speed + so) / 2, overlapDesyncSpeedFloor) >= overlapDesyncMaximumSpeedDifference)
            continue;
        const double strength = (overlapDesyncRadius - std::max(dist, 1.0)) / overlapDesyncRadius;
        if (!(strength > best)) continue;
        best = strength;

        Vector h = u + uo;
        h = h.length() > 0.001 ? h / h.length() : u;
        Vector a;
        if (dist > 1) {
            a = d / dist;
        } else {
            const double phi = 0.73 * index + 2.17 * agent.seed;
            a = {std::cos(phi), std::sin(phi)};
        }
        const double side = h.dx * a.dy - h.dy * a.dx >= 0 ? 1 : -1;
        const double b = std::sin(1.91 * agent.seed + index) >= 0 ? overlapDesyncAheadBias : overlapDesyncBehindBias;
        const Vector w{b * h.dx - side * h.dy, side * h.dx + b * h.dy};
        if (w.length() > 0.001) direction = w / w.length();
        else direction.reset();
    }
    if (!direction) return {};
    const Vector D = *direction;
    agent.overlapDesyncVector = D;
    agent.overlapDesyncDuration = overlapDesyncBaseDuration + overlapDesyncExtraDuration * best;
    agent.overlapDesyncUntil = now + agent.overlapDesyncDuration;
    agent.velocity += D * (overlapDesyncBaseKick + overlapDesyncExtraKick * best);
    return D * (overlapDesyncBasePush + overlapDesyncExtraPush * best);
}

}  // namespace orvella
