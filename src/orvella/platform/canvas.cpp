#include "orvella/platform/canvas.h"

#include <numbers>

namespace orvella {

void Path::addEllipse(const Rect& r) {
    // Four cubic quarter arcs (kappa approximation), counter-clockwise from
    // the right-most point.
    constexpr double k = 0.5522847498307936;
    const double cx = r.midX(), cy = r.midY(), rx = r.width() / 2, ry = r.height() / 2;
    moveTo({cx + rx, cy});
    cubicTo({cx + rx, cy + k * ry}, {cx + k * rx, cy + ry}, {cx, cy + ry});
    cubicTo({cx - k * rx, cy + ry}, {cx - rx, cy + k * ry}, {cx - rx, cy});
    cubicTo({cx - rx, cy - k * ry}, {cx - k * rx, cy - ry}, {cx, cy - ry});
    cubicTo({cx + k * rx, cy - ry}, {cx + rx, cy - k * ry}, {cx + rx, cy});
    close();
}

void Path::addRoundedRect(const Rect& r, double radius) {
    const double rad = std::max(0.0, std::min({radius, r.width() / 2, r.height() / 2}));
    constexpr double pi = std::numbers::pi;
    moveTo({r.minX() + rad, r.minY()});
    lineTo({r.maxX() - rad, r.minY()});
    arc({r.maxX() - rad, r.minY() + rad}, rad, -pi / 2, 0, false);
    lineTo({r.maxX(), r.maxY() - rad});
    arc({r.maxX() - rad, r.maxY() - rad}, rad, 0, pi / 2, false);
    lineTo({r.minX() + rad, r.maxY()});
    arc({r.minX() + rad, r.maxY() - rad}, rad, pi / 2, pi, false);
    lineTo({r.minX(), r.minY() + rad});
    arc({r.minX() + rad, r.minY() + rad}, rad, pi, 3 * pi / 2, false);
    close();
}

}  // namespace orvella
