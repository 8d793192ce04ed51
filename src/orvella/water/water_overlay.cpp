#include "orvella/water/water_overlay.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvella {

namespace {
constexpr double kPi = std::numbers::pi;
const Color kWhite{1, 1, 1, 1};
const Color kSystemYellow{1.0, 0.8, 0.0, 1};
const Color kSystemCyan{0.2, 0.78, 0.98, 1};
const Color kSystemBlue{0.0, 0.478, 1.0, 1};
const Color kFood{1.0, 0.78, 0.24, 1};

template <class T>
void dropExpired(std::vector<T>& list, Time reference, double lifetime) {
    std::erase_if(list, [&](const T& e) { return reference - e.createdAt > lifetime; });
}

Path circle(Point c, double r) {
    Path p;
    p.addEllipse(Rect::make(c.x - r, c.y - r, 2 * r, 2 * r));
    return p;
}

Rect around(Point c, double r) { return Rect::make(c.x - r, c.y - r, 2 * r, 2 * r); }
}  // namespace

void WaterOverlayView::addFoodBurst(Point p, Time now) {
    dropExpired(foodBursts, now, foodBurstLifetime);
    foodBursts.push_back({p, now, randomDouble(random_, 0, 2 * kPi)});
    while (foodBursts.size() > maxFoodBursts) foodBursts.erase(foodBursts.begin());
}

void WaterOverlayView::addSonicWaveBurst(Point p, Time now) {
    dropExpired(sonicWaveBursts, now, sonicWaveLifetime);
    sonicWaveBursts.push_back({p, now, randomDouble(random_, 0, 2 * kPi)});
    while (sonicWaveBursts.size() > maxSonicWaves) sonicWaveBursts.erase(sonicWaveBursts.begin());
}

void WaterOverlayView::pruneExpired(Time t) {
    dropExpired(trailRipples, t, trailRippleLifetime);
    dropExpired(foodBursts, t, foodBurstLifetime);
    dropExpired(sonicWaveBursts, t, sonicWaveLifetime);
}

bool WaterOverlayView::needsAnimationFrame(Time t, bool attractionActive) {
    pruneExpired(t);
    if (!attractionActive && trailRipples.empty() && foodBursts.empty() && sonicWaveBursts.empty()) {
        const bool r = hadDrawableEffects;
        hadDrawableEffects = false;
        return r;
    }
    hadDrawableEffects = true;
    return true;
}

std::optional<Rect> WaterOverlayView::effectBounds() const {
    std::optional<Rect> bounds;
    auto add = [&](Rect r) { bounds = bounds ? bounds->unionWith(r) : r; };
    // Generous enough for the largest extent of each effect and its shadow.
    for (const auto& r : trailRipples) add(around(r.point, 70));
    for (const auto& b : foodBursts) add(around(b.point, 52));
    for (const auto& w : sonicWaveBursts) add(around(w.point, 155 + 18 * 3 + 26 + 13 * 3 + 30));
    if (attractionStrength > 0) add(around(cursorPoint, 86 + 30));
    return bounds;
}

void WaterOverlayView::draw(Canvas& canvas) {
    canvas.fillRect(Rect::make(0, 0, size_.width, size_.height), CompositeOp::clear);

    dropExpired(trailRipples, phase, trailRippleLifetime);
    for (const auto& ripple : trailRipples) {
        const double p = std::clamp((phase - ripple.createdAt) / trailRippleLifetime, 0.0, 1.0);
        const double A = ripple.strength * (1 - p) * (1 - p) * 0.085;
        if (A <= 0.004) continue;
        // Drawn as an ellipse stretched along the heading.
        const double r = 10 + 30 * p;
        const double angle = ripple.heading + kPi / 2;
        Path ring;
        const int segments = 24;
        for (int k = 0; k <= segments; ++k) {
            const double t = 2 * kPi * k / segments;
            const double x = 1.55 * r * std::cos(t), y = 0.42 * r * std::sin(t);
            const Point q{ripple.point.x + x * std::cos(angle) - y * std::sin(angle),
                          ripple.point.y + x * std::sin(angle) + y * std::cos(angle)};
            if (k == 0) ring.moveTo(q);
            else ring.lineTo(q);
        }
        canvas.save();
        canvas.setLineCap(LineCap::round);
        canvas.setLineWidth(1);
        canvas.setStrokeColor(kWhite.withAlpha(A));
        canvas.setShadow({0, 0}, 5, kWhite.withAlpha(0.6 * A));
        canvas.strokePath(ring);
        canvas.restore();
    }

    dropExpired(foodBursts, phase, foodBurstLifetime);
    for (const auto& burst : foodBursts) {
        const double a = std::clamp((phase - burst.createdAt) / foodBurstLifetime, 0.0, 1.0);
        const double c = std::pow(1 - a, 1.6);
        if (c <= 0.02) continue;
        for (int j = 0; j < 9; ++j) {
            const double angle = burst.seed + 0.65 * a + j * 2 * kPi / 9;
            const double distance = 18 * a + 7 + 6 * (j % 3);
            const double r = (0.75 + 0.5 * c) * (j % 2 == 0 ? 3.2 : 2.2);
            const Point centre{burst.point.x + distance * std::cos(angle),
                               burst.point.y + 0.72 * distance * std::sin(angle) - 9 * a};
            const Path particle = circle(centre, r);
            canvas.save();
            canvas.setShadow({0, 0}, 6, kSystemYellow.withAlpha(0.16 * c));
            canvas.setFillColor(kFood.withAlpha(0.38 * c));
            canvas.fillPath(particle, FillRule::nonZero);
            canvas.setStrokeColor(kWhite.withAlpha(0.22 * c));
            canvas.setLineWidth(0.6);
            canvas.strokePath(particle);
            canvas.restore();
        }
    }

    dropExpired(sonicWaveBursts, phase, sonicWaveLifetime);
    for (const auto& wave : sonicWaveBursts) {
        const double a = std::clamp((phase - wave.createdAt) / sonicWaveLifetime, 0.0, 1.0);
        const double l = std::pow(1 - a, 1.45);
        if (l <= 0.02) continue;
        for (int j = 0; j < 4; ++j) {
            const double e = std::clamp(a - 0.09 * j, 0.0, 1.0);
            const double B = l * (0.22 - 0.034 * j) * std::pow(1 - e, 1.35);
            if (B <= 0.006) continue;
            const double R = e * (155 + 18 * j) + (26 + 13 * j);
            canvas.save();
            canvas.setLineCap(LineCap::round);
            canvas.setLineWidth(std::max(1.75 - 0.18 * j, 0.75));
            canvas.setStrokeColor(kSystemCyan.withAlpha(B));
            canvas.setShadow({0, 0}, 12, kSystemBlue.withAlpha(0.8 * B));
            // Five arcs in one path: each joined to the last by a line, as
            // an arc added after a current point is.
            Path arcs;
            for (int k = 0; k < 5; ++k) {
                const double start = wave.seed + 0.48 * a + k * 2 * kPi / 5;
                arcs.arc(wave.point, R, start, start + 0.22 * kPi, false);
            }
            canvas.strokePath(arcs);
            canvas.restore();
        }
        const double s = 0.11 * l * std::pow(1 - a, 0.8);
        if (s > 0.006) {
            canvas.save();
            canvas.setLineCap(LineCap::round);
            canvas.setLineWidth(0.85);
            canvas.setStrokeColor(kWhite.withAlpha(s));
            canvas.setShadow({0, 0}, 7, kSystemCyan.withAlpha(s));
            Path spikes;
            for (int k = 0; k < 12; ++k) {
                const double angle = 0.35 * wave.seed + k * 2 * kPi / 12;
                const double r0 = 58 * a + 22 + 4 * (k % 3);
                const double len = (1 - 0.35 * a) * (k % 2 == 1 ? 19 : 12);
                const Vector u{std::cos(angle), std::sin(angle)};
                spikes.moveTo(wave.point + u * r0);
                spikes.lineTo(wave.point + u * (r0 + len));
            }
            canvas.strokePath(spikes);
            canvas.restore();
        }
    }

    if (attractionStrength > 0) {
        const double e = 5 * (std::sin(3.2 * phase) + 1);
        for (int i = 0; i < 3; ++i) {
            const double r = e + 28 + 24 * i;
            const double A = attractionStrength * (0.15 - 0.035 * i);
            canvas.save();
            canvas.setStrokeColor(kWhite.withAlpha(A));
            canvas.setLineWidth(1.2);
            canvas.setShadow({0, 0}, 10, kWhite.withAlpha(A));
            canvas.strokePath(circle(cursorPoint, r));
            canvas.restore();
        }
    }
}

WaterOverlayWindow::WaterOverlayWindow(SurfaceFactory& surfaces, const DisplayInfo& display, const std::string& id,
                                       Random& random)
    : view_(std::make_unique<WaterOverlayView>(display.frame.size, random)) {
    WaterOverlayView* view = view_.get();
    surface_ = surfaces.createSurface(SurfaceKind::overlay, display.frame, "Orvella water: display " + id,
                                      [view](Canvas& canvas) { view->draw(canvas); });
    surface_->setIgnoresMouseEvents(true);
    surface_->orderOut();
}

WaterOverlayWindow::~WaterOverlayWindow() { close(); }

void WaterOverlayWindow::close() {
    if (!surface_->isClosed()) surface_->close();
}

void WaterOverlayWindow::redrawChangedRegion() {
    const auto now = view_->effectBounds();
    std::optional<Rect> dirty = lastDrawn_;
    if (now) dirty = dirty ? dirty->unionWith(*now) : *now;
    lastDrawn_ = now;
    if (dirty) surface_->setNeedsDisplayIn(*dirty);
}

}  // namespace orvella
