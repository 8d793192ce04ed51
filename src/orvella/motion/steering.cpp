#include <algorithm>
#include <cmath>

#include "orvella/controller/orvella_controller.h"

namespace orvella {

namespace {
double steeringGain(bool cruising, bool dispersal, bool attraction, bool visiting) {
    if (cruising) return 0.13;
    if (dispersal) return 0.88;
    if (attraction) return 0.72;
    if (visiting) return 0.42;
    return 0.18;
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
    const double thrust = std::min(s * g, s * A * 0.0016);

    Vector a = u * thrust + windowAvoidanceAcceleration(agent, now);
    if (cruising) a += stillWaterSeparationAcceleration(agent) * s;
    else a += activeEscapeAcceleration(agent, now) * s + organicWanderAcceleration(agent, now) * s;
    a += overlapDesyncAcceleration(agent, index, now) * s;

    const double k = cruising ? (A < 72 ? 0.86 : 0.955) : 0.982;
    agent.velocity = agent.velocity * k + a;

    const double limit = currentBaseMaxSpeed(agent, now) * s;
    const double sp = std::max(agent.velocity.length(), 0.001);
    if (sp > limit) agent.velocity = agent.velocity * (limit / sp);

    if (cruising && A < 7 && agent.velocity.length() < 0.14 && !isStillWaterOverlapping(agent)) {
        agent.position = target;
        agent.velocity = {0, 0};
    }
    agent.position = agent.position + agent.velocity;

    // Bounce off the boundary, horizontally then vertically; the result is
    // the direction back into the water along that axis.
    auto bounce = [](double& position, double& velocity, double min, double max) -> double {
        if (position < min) {
            velocity = -0.72 * velocity;
            position = min;
            return 1;
        }
        if (position > max) {
            velocity = -0.72 * velocity;
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
    updateFishHeading(agent, sp2, 0.18);
    auto& view = agent.view();
    view.wakeStrength = cruising ? stillWaterTailWakeStrength : std::min(sp2 / limit, 1.0);
    if (visiting) view.showCapture(now + 0.2);
    else view.clearCapture();
    view.setNeedsDisplay();
}

Vector OrvellaController::organicWanderAcceleration(const FishAgent& agent, Time t) const {
    const double sg = agent.seed;
    return {0.006 * std::sin(0.67 * t + 0.41 * sg) + 0.004 * std::sin(1.07 * t + 1.19 * sg),
            0.006 * std::cos(0.61 * t + 0.53 * sg) + 0.004 * std::sin(0.97 * t + 1.37 * sg)};
}

void OrvellaController::registerBoundaryEscapeIfNeeded(FishAgent& agent, Vector e, Time now) {
    if (now - agent.lastBoundaryEscapeAt <= 0.22) return;
    agent.lastBoundaryEscapeAt = now;
    const double L = e.length();
    if (L <= 0.001) return;
    const Vector n = e / L;
    const double side = std::sin(agent.seed) >= 0 ? 1 : -1;
    Vector f{n.dx - side * 0.42 * n.dy, n.dy + side * 0.42 * n.dx};
    if (f.length() > 0.001) f = f / f.length();
    agent.escapeBiasVector = f;
    agent.escapeBiasDuration = 0.9;
    agent.escapeBiasUntil = now + 0.9;
    agent.velocity += f * 0.5;
}

Vector OrvellaController::activeEscapeAcceleration(const FishAgent& agent, Time now) const {
    if (now >= agent.escapeBiasUntil) return {};
    const double r = (agent.escapeBiasUntil - now) / std::max(agent.escapeBiasDuration, 0.001);
    if (r <= 0) return {};
    return agent.escapeBiasVector * (std::min(r, 1.0) * 0.18);
}

Vector OrvellaController::overlapDesyncAcceleration(FishAgent& agent, int index, Time now) {
    if (now < agent.overlapDesyncUntil) {
        const double r = (agent.overlapDesyncUntil - now) / std::max(agent.overlapDesyncDuration, 0.001);
        if (r > 0) return agent.overlapDesyncVector * (std::min(r, 1.0) * 0.045);
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
        if (dist >= 56) continue;
        const double so = o.velocity.length();
        if (so <= 0.001) continue;
        const Vector uo = o.velocity / so;
        if (u.dx * uo.dx + u.dy * uo.dy <= 0.78) continue;
        if ((v - o.velocity).length() / std::max((speed + so) / 2, 0.35) >= 0.55) continue;
        const double strength = (56 - std::max(dist, 1.0)) / 56;
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
        const double b = std::sin(1.91 * agent.seed + index) >= 0 ? 0.24 : -0.16;
        const Vector w{b * h.dx - side * h.dy, side * h.dx + b * h.dy};
        if (w.length() > 0.001) direction = w / w.length();
        else direction.reset();
    }
    if (!direction) return {};
    const Vector D = *direction;
    agent.overlapDesyncVector = D;
    agent.overlapDesyncDuration = 0.58 + 0.34 * best;
    agent.overlapDesyncUntil = now + agent.overlapDesyncDuration;
    agent.velocity += D * (0.1 + 0.16 * best);
    return D * (0.055 + 0.045 * best);
}

}  // namespace orvella
