#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "orvella/controller/orvella_controller.h"

namespace orvella {

namespace {
Point clampInto(Point p, const Rect& r) {
    return {std::min(r.maxX(), std::max(r.minX(), p.x)), std::min(r.maxY(), std::max(r.minY(), p.y))};
}
constexpr double kPi = std::numbers::pi;
}  // namespace

Point OrvellaController::targetPoint(FishAgent& fish, int index, Time now, const Rect& T, const SwimArea& active,
                                     std::optional<Point> attractionPoint) {
    const int n = static_cast<int>(fishAgents_.size());
    if (dispersalExpiresAt && dispersalOriginPoint) return dispersalTarget(fish, index, *dispersalOriginPoint, T);

    if (fish.unreadAttention) {
        auto& visit = *fish.unreadAttention;
        if (now - visit.createdAt > unreadAttentionMaxDuration) {
            fish.unreadAttention.reset();
        } else {
            const Point anchor = active.contains(cursorPoint) ? cursorPoint : active.frame.center();
            const Point c = fish.center();
            bool orbiting = true;
            if (!visit.orbitStartedAt) {
                if ((c - anchor).length() > 126) {
                    orbiting = false;
                } else {
                    visit.orbitStartedAt = now;
                }
            }
            if (!orbiting) return clampInto(anchor - Vector{56, 56}, T);
            if (now - *visit.orbitStartedAt < unreadAttentionOrbitDuration) {
                const double angle = 2.15 * now + visit.seed + (static_cast<double>(index) / std::max(n, 1)) * kPi;
                const double radius = 64 + 8 * std::sin(1.7 * now + visit.seed);
                return clampInto({anchor.x + radius * std::cos(angle) - 56,
                                  anchor.y + 0.72 * radius * std::sin(angle) - 56},
                                 T);
            }
            fish.unreadAttention.reset();
        }
    }

    if (attractionPoint) {
        const double angle = 0.55 * now + (static_cast<double>(index) / std::max(n, 1)) * 2 * kPi;
        const double radius = 34 + 12 * (index % 3);
        return {attractionPoint->x + radius * std::cos(angle), attractionPoint->y + radius * std::sin(angle)};
    }

    Rect W = T;
    if (largeWindowWaterwayAreaID && *largeWindowWaterwayAreaID == active.id && largeWindowWaterwayFrame)
        W = *largeWindowWaterwayFrame;
    const double sg = fish.seed;
    const double p = 0.16 * swimSpeed() * now + sg;
    const double ax = 0.36 * std::sin(1.12 * p) + 0.16 * std::sin(sg + 0.41 * p);
    const double ay = 0.28 * std::cos(0.93 * p) + 0.12 * std::sin(0.52 * p);
    const double k = n >= 3 ? n - 1 : 1;
    const double lane = index / k - 0.5;
    const double bx = 0.035 * std::sin(0.071 * now + 0.73 * sg) + 0.02 * std::sin(0.137 * now + 1.31 * sg) +
                      0.045 * lane;
    const double by = 0.035 * std::cos(0.083 * now + 0.61 * sg) + 0.018 * std::sin(0.121 * now + 1.17 * sg) +
                      0.014 * std::sin(1.43 * index + 0.29 * sg);
    const Point target{W.midX() + (ax + bx) * W.width(), W.midY() + (ay + by) * W.height()};
    if (shouldAvoidActiveWindow(fish, now)) return originAvoidingCurrentWindow(target, fish, index, now, T);
    return target;
}

Point OrvellaController::dispersalTarget(const FishAgent& fish, int index, Point origin, const Rect& T) const {
    Vector d = fish.center() - origin;
    double dist = d.length();
    if (dist < 8) {
        const double phi = 1.37 * index + fish.seed;
        d = {std::cos(phi), std::sin(phi)};
        dist = 1;
    }
    const Vector u = d / dist;
    const Point pos = fish.position;
    double travel = std::numeric_limits<double>::infinity();
    auto consider = [&](double t) {
        if (t > 0 && std::isfinite(t)) travel = std::min(travel, t);
    };
    if (u.dx > 0.001) consider((T.maxX() - pos.x) / u.dx);
    else if (u.dx < -0.001) consider((T.minX() - pos.x) / u.dx);
    if (u.dy > 0.001) consider((T.maxY() - pos.y) / u.dy);
    else if (u.dy < -0.001) consider((T.minY() - pos.y) / u.dy);
    if (!std::isfinite(travel)) travel = 0;
    const double w = 44 * std::sin(1.17 * index + fish.seed);
    return clampInto({pos.x + u.dx * travel - u.dy * w, pos.y + u.dy * travel + u.dx * w}, T);
}

}  // namespace orvella
