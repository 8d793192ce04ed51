#include "orvella/fish/fish_icon_view.h"
#include "orvella/fish/unread_badge_view.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

namespace orvella {

namespace {
constexpr double kPi = std::numbers::pi;
const Color kWhite{1, 1, 1, 1};
const Color kBlack{0, 0, 0, 1};

}  // namespace

const std::array<Color, 8>& FishIconView::tailTintPalette() {
    static const std::array<Color, 8> palette = {{
        {0.06, 0.76, 1.0, 1},
        {0.14, 0.55, 1.0, 1},
        {0.12, 0.91, 0.72, 1},
        {0.36, 0.65, 1.0, 1},
        {0.25, 0.92, 1.0, 1},
        {0.18, 0.78, 0.94, 1},
        {0.58, 0.66, 1.0, 1},
        {0.2, 0.95, 0.56, 1},
    }};
    return palette;
}

Color FishIconView::randomTailTint(Random& random) {
    return tailTintPalette()[random.nextBelow(tailTintPalette().size())];
}

FishIconView::FishIconView(OrvellaApp app, FishViewServices services)
    : app_(std::move(app)), services_(std::move(services)) {
    captureSeed_ = randomDouble(services_.random, 0, 2 * kPi);
    tailTint_ = randomTailTint(services_.random);
}

FishIconView::~FishIconView() {
    if (growthTimer_ != 0) services_.scheduler.cancel(growthTimer_);
}

namespace {
bool encloses(const Rect& outer, const Rect& inner) {
    return inner.minX() >= outer.minX() && inner.minY() >= outer.minY() && inner.maxX() <= outer.maxX() &&
           inner.maxY() <= outer.maxY();
}
}  // namespace

void FishIconView::setWindow(Surface* window) {
    window_ = window;
    lastRegion_.clear();
    lastQuietFrame_.reset();
    partAsked_.reset();
    wholeAsked_ = true;
    updateInteractiveRegion();
}

std::optional<FishIconView::QuietFrame> FishIconView::quietFrameNow(Time now) {
    if (captureIntensity(now) > 0.02 || pulse > 0.05) return std::nullopt;
    std::optional<double> windowAlpha;
    if (window_) windowAlpha = window_->alpha();
    return QuietFrame{growthScale_, pulse, viewAlpha_, windowAlpha, services_.workspace.systemBlue(),
                      quietTailExtent()};
}

void FishIconView::setNeedsDisplay() {
    updateInteractiveRegion();
    if (!window_) return;
    if (!wholeAsked_ && lastQuietFrame_) {
        const auto now = quietFrameNow(services_.clock.now());
        if (now) {
            QuietFrame same = *now;
            same.tail = lastQuietFrame_->tail;
            if (same == *lastQuietFrame_) {
                const Rect part = lastQuietFrame_->tail.unionWith(now->tail);
                partAsked_ = partAsked_ ? partAsked_->unionWith(part) : part;
                window_->setNeedsDisplayIn(part);
                return;
            }
        }
    }
    wholeAsked_ = true;
    partAsked_.reset();
    window_->setNeedsDisplay();
}

Rect FishIconView::quietTailExtent() const {
    // The tail's control points hold its curves; they move with the waggle
    // along one line, so the two extremes of the waggle hold every beat.
    const double g = growthScale_, w = wakeStrength;
    const double m = services_.workspace.reduceMotion() ? 0.28 : 1.0;
    const TailExtentKey key{g, w, heading, m};
    if (tailExtent_ && tailExtent_->first == key) return tailExtent_->second;
    const double reach = m * (0.18 + 0.1 * w + 0.02);  // a fading capture adds up to 0.02
    const double theta = heading + kPi;
    const Vector d{std::cos(theta), std::sin(theta)};
    const Point R = Point{kSide / 2, kSide / 2} + d * (20 * g);
    const double L = g * (22 + 4 * w), S = g * (14 + 2 * w);
    double x0 = R.x, y0 = R.y, x1 = R.x, y1 = R.y;
    for (double W : {-reach, reach}) {
        const Path tail = forkedTailPath(R, theta, L, S, W);
        for (const auto& e : tail.elements()) {
            const int points = e.kind == Path::Kind::cubic  ? 3
                               : e.kind == Path::Kind::quad ? 2
                               : e.kind == Path::Kind::close ? 0
                                                             : 1;
            const Point controls[3] = {e.p1, e.p2, e.p3};
            for (int i = 0; i < points; ++i) {
                const Point p = controls[i];
                x0 = std::min(x0, p.x);
                y0 = std::min(y0, p.y);
                x1 = std::max(x1, p.x);
                y1 = std::max(y1, p.y);
            }
        }
    }
    // The rays lie within the outline's reach; the outline's line and the
    // antialiasing spill a little beyond.
    constexpr double margin = 1.5;
    const Rect extent = Rect::make(x0 - margin, y0 - margin, x1 - x0 + 2 * margin, y1 - y0 + 2 * margin);
    tailExtent_ = {key, extent};
    return extent;
}

void FishIconView::setGrowthScale(double scale, bool animated) {
    const double x = std::clamp(scale, minGrowthScale, maxGrowthScale);
    if (growthTimer_ != 0) {
        services_.scheduler.cancel(growthTimer_);
        growthTimer_ = 0;
    }
    if (animated && !services_.workspace.reduceMotion() && std::abs(x - growthScale_) > 0.001) {
        growthStartScale_ = growthScale_;
        growthTargetScale_ = x;
        growthStartedAt_ = services_.clock.now();
        std::weak_ptr<int> alive = alive_;
        growthTimer_ = services_.scheduler.scheduleRepeating(1.0 / 30.0, 0.01, [this, alive] {
            if (alive.lock()) stepGrowthAnimation();
        });
        return;
    }
    growthScale_ = x;
    setNeedsDisplay();
}

void FishIconView::stepGrowthAnimation() {
    const double p = std::clamp((services_.clock.now() - growthStartedAt_) / 0.56, 0.0, 1.0);
    growthScale_ = growthStartScale_ + (1 - std::pow(1 - p, 3)) * (growthTargetScale_ - growthStartScale_);
    setNeedsDisplay();
    if (p >= 1) {
        growthScale_ = growthTargetScale_;
        if (growthTimer_ != 0) services_.scheduler.cancel(growthTimer_);
        growthTimer_ = 0;
        setNeedsDisplay();
    }
}

void FishIconView::animatePulse() {
    setNeedsDisplay();
    std::weak_ptr<int> alive = alive_;
    services_.scheduler.animate(
        viewAlpha_, 0.92, 0.22,
        [this, alive](double v) {
            if (!alive.lock()) return;
            viewAlpha_ = v;
            if (window_) window_->setNeedsDisplay();
        },
        [this, alive] {
            if (!alive.lock()) return;
            viewAlpha_ = 1;
            pulse = 0;
            setNeedsDisplay();
        });
}

void FishIconView::showCapture(Time until) {
    if (!capturedUntil_ || *capturedUntil_ != until) captureSeed_ = randomDouble(services_.random, 0, 2 * kPi);
    capturedUntil_ = until;
    setNeedsDisplay();
}

void FishIconView::clearCapture() {
    if (!capturedUntil_) return;
    capturedUntil_.reset();
    setNeedsDisplay();
}

void FishIconView::setUnreadBadgeCount(int count) {
    const int n = std::clamp(count, 0, 999);
    if (n == unreadBadgeCount_) return;
    unreadBadgeCount_ = n;
    setNeedsDisplay();
}

double FishIconView::compensatedTailAlpha(double alpha, double minimumEffectiveAlpha) const {
    std::optional<double> opacity;
    if (window_) opacity = window_->alpha();
    else if (services_.controllerOpacity) opacity = services_.controllerOpacity();
    double e = minimumEffectiveAlpha;
    if (opacity) e = minimumEffectiveAlpha / std::max(*opacity, 0.08);
    return std::min(std::max(alpha, e), 1.0);
}

Path FishIconView::forkedTailPath(Point root, double reverse, double length, double spread, double waggle) {
    const Vector d{std::cos(reverse), std::sin(reverse)};
    const Vector n{std::cos(reverse + kPi / 2), std::sin(reverse + kPi / 2)};
    const double L = length, S = spread;
    auto P = [&](double t, double o) {
        const double k = std::clamp(t / std::max(L, 1.0), 0.0, 1.0);
        return root + d * t + n * (o + waggle * 8 * k);
    };
    const double h = std::clamp(0.62 * S, 10.0, 14.0);
    Path path;
    path.moveTo(P(0, h));
    path.cubicTo(P(0.34 * L, h + 4), P(0.78 * L, S + 3), P(L, S));
    path.quadTo(P(0.96 * L, 0.34 * S), P(0.76 * L, 0));
    path.quadTo(P(0.96 * L, -0.34 * S), P(L, -S));
    path.cubicTo(P(0.78 * L, -S - 3), P(0.34 * L, -h - 4), P(0, -h));
    path.quadTo(P(-3, 0), P(0, h));
    path.close();
    return path;
}

double FishIconView::captureIntensity(Time now) {
    if (!capturedUntil_) return 0;
    const double r = *capturedUntil_ - now;
    if (r > 0) return std::min(2 * r, 1.0);
    capturedUntil_.reset();
    return 0;
}

void FishIconView::draw(Canvas& canvas) {
    const Time now = services_.clock.now();
    // What this frame is, for the next one to compare with. A part asked
    // for that turns out too small for the tail (something moved it after
    // asking) is made good by drawing the whole window next.
    const auto quiet = quietFrameNow(now);
    const bool outgrown = !wholeAsked_ && partAsked_ && quiet && !encloses(*partAsked_, quiet->tail);
    lastQuietFrame_ = quiet;
    partAsked_.reset();
    wholeAsked_ = false;
    if (outgrown) {
        wholeAsked_ = true;
        if (window_) window_->setNeedsDisplay();
    }
    const double c = captureIntensity(now);
    const double g = growthScale_, w = wakeStrength, s = captureSeed_;
    const double m = services_.workspace.reduceMotion() ? 0.28 : 1.0;
    // The clock counts seconds since 2001: its products are brought within
    // a turn before the sines, which are slow on arguments that large.
    constexpr double turn = 2 * kPi;
    const double W = m * (std::sin(std::fmod(now * 8.5, turn) + s) * (0.18 + 0.1 * w) +
                          c * std::sin(std::fmod(now * 58, turn) + s));
    const double theta = heading + kPi;
    const Vector d{std::cos(theta), std::sin(theta)};
    const Point center{kSide / 2, kSide / 2};
    const Point R = center + d * (20 * g);
    const double L = g * (22 + 4 * w + 4 * c);
    const double S = g * (14 + 2 * w + 3 * c);
    const double fillAlpha = compensatedTailAlpha(0.18 + 0.055 * w + 0.05 * c, minimumEffectiveTailFillAlpha);
    const double outlineAlpha = compensatedTailAlpha(0.12 + 0.035 * w, minimumEffectiveTailStrokeAlpha);
    const double rayAlpha = compensatedTailAlpha(0.08 + 0.05 * c, minimumEffectiveTailRayAlpha);
    const double I = g * (54 + 5 * pulse);

    const Color blue = services_.workspace.systemBlue();
    const Color accent{0.78 * tailTint_.r + 0.22 * blue.r, 0.78 * tailTint_.g + 0.22 * blue.g,
                       0.78 * tailTint_.b + 0.22 * blue.b, 1};

    // The pulse fades the finished fish as a whole, as the window's alpha does.
    canvas.setFrameAlpha(viewAlpha_);
    canvas.save();
    if (c > 0.04) canvas.setShadow({0, 0}, 7, blue.withAlpha(0.1 * c));
    if (c > 0.02) {
        for (double side : {-1.0, 1.0}) {
            canvas.setFillColor(tailTint_.withAlpha(0.14 * c * fillAlpha));
            canvas.fillPath(forkedTailPath(R, theta, L + 3, S + 1.5, W + 0.72 * c * side), FillRule::nonZero);
        }
    }
    const Path tail = forkedTailPath(R, theta, L, S, W);
    canvas.setFillColor(tailTint_.withAlpha(fillAlpha));
    canvas.fillPath(tail, FillRule::nonZero);
    canvas.setLineWidth(0.7);
    canvas.setStrokeColor(accent.withAlpha(outlineAlpha));
    canvas.strokePath(tail);

    canvas.save();
    canvas.setLineWidth(0.55);
    canvas.setStrokeColor(accent.withAlpha(rayAlpha));
    canvas.setLineCap(LineCap::round);
    {
        const Vector n{std::cos(theta + kPi / 2), std::sin(theta + kPi / 2)};
        auto P = [&](double t, double o) {
            const double k = std::clamp(t / std::max(L, 1.0), 0.0, 1.0);
            return R + d * t + n * (o + W * 8 * k);
        };
        Path rays;
        rays.moveTo(P(2, 0));
        rays.quadTo(P(0.46 * L, 0.68 * 0.32 * S), P(0.86 * L, 0.68 * S));
        rays.moveTo(P(2, 0));
        rays.quadTo(P(0.46 * L, -0.68 * 0.32 * S), P(0.86 * L, -0.68 * S));
        canvas.strokePath(rays);
    }
    canvas.restore();
    canvas.restore();

    const Rect iconRect = Rect::make(center.x - I / 2, center.y - I / 2, I, I);
    const double grow = 1 + 2 * pulse;
    const bool shadowed = c > 0.05 || pulse > 0.05;
    auto plate = [&](Canvas& k) {
        Path backdrop;
        backdrop.addRoundedRect(iconRect.insetBy(-grow, -grow), 14);
        k.setFillColor(kWhite.withAlpha(0.025 + 0.06 * pulse));
        k.fillPath(backdrop, FillRule::nonZero);

        k.save();
        if (shadowed) k.setShadow({0, 3}, 5, kBlack.withAlpha(0.08 + 0.04 * std::max(c, pulse)));
        Path frame;
        frame.addRoundedRect(iconRect.insetBy(-1.5, -1.5), 14);
        k.setFillColor(kWhite.withAlpha(0));
        k.fillPath(frame, FillRule::nonZero);
        if (app_.icon) k.drawImage(*app_.icon, iconRect, CompositeOp::sourceOver, 1.0);
        k.setStrokeColor(kWhite.withAlpha(0.04));
        k.setLineWidth(0.4);
        k.strokePath(frame);
        k.restore();
    };
    canvas.save();
    if (shadowed) {
        plate(canvas);
    } else {
        // Without a shadow the plate (backdrop, icon, frame) changes only with
        // the fish's size, so the canvas may keep it instead of drawing it on
        // every frame.
        plateLayer_.key = {g, pulse};
        canvas.drawLayer(plateLayer_, iconRect.insetBy(-grow - 2, -grow - 2), plate);
    }
    canvas.restore();
}

void FishIconView::handleMouse(const SurfaceMouseEvent& e) {
    switch (e.type) {
        case SurfaceMouseEvent::Type::down: mouseDown(e); break;
        case SurfaceMouseEvent::Type::dragged: mouseDragged(e); break;
        case SurfaceMouseEvent::Type::up: mouseUp(e); break;
    }
}

void FishIconView::mouseDown(const SurfaceMouseEvent& e) {
    if (!containsInteractivePoint(e.location)) return;
    const Point m = services_.mouseLocation ? services_.mouseLocation() : Point{};
    pendingMouseDown_ = PendingMouseDown{e.location, m, e.clickCount, e.modifiers};
    isDraggingFish_ = false;
    if (auto* input = services_.input ? services_.input() : nullptr) input->handleFishPressBegan(app_, m);
    pulse = e.clickCount > 1 ? 1 : 0.72;
    animatePulse();
}

void FishIconView::mouseDragged(const SurfaceMouseEvent&) {
    if (!pendingMouseDown_) return;
    const Point m = services_.mouseLocation ? services_.mouseLocation() : Point{};
    if (!isDraggingFish_) {
        if ((m - pendingMouseDown_->screenPoint).length() < dragActivationDistance) return;
        isDraggingFish_ = true;
        if (auto* input = services_.input ? services_.input() : nullptr) input->handleFishDragBegan(app_, m);
        pulse = 0.72;
        animatePulse();
    }
    const Point origin = m - (pendingMouseDown_->localPoint - Point{});
    if (auto* input = services_.input ? services_.input() : nullptr) input->handleFishDrag(app_, origin, m);
}

void FishIconView::mouseUp(const SurfaceMouseEvent& e) {
    if (!pendingMouseDown_) return;
    const Point m = services_.mouseLocation ? services_.mouseLocation() : Point{};
    const PendingMouseDown press = *pendingMouseDown_;
    const bool dragging = isDraggingFish_;
    pendingMouseDown_.reset();
    isDraggingFish_ = false;
    auto* input = services_.input ? services_.input() : nullptr;
    if (!input) return;
    if (dragging) input->handleFishDragEnded(app_, m);
    else if (containsInteractivePoint(e.location)) input->handleFishClick(app_, press.clickCount, press.modifierFlags, m);
}

Rect FishIconView::interactiveIconFrame() const {
    const double side = (54 + 5 * pulse) * growthScale_;
    return Rect::make(kSide / 2 - side / 2, kSide / 2 - side / 2, side, side).insetBy(-8, -8);
}

std::optional<Rect> FishIconView::interactiveBadgeHitFrame() const {
    if (unreadBadgeCount_ < 1) return std::nullopt;
    const double w = UnreadBadgeView::fittingSize(unreadBadgeCount_).width;
    return Rect::make(kSide - w - 15, kSide - 26 - 15, w, 26).insetBy(-5, -5);
}

bool FishIconView::containsInteractivePoint(Point p) const {
    if (!Rect::make(0, 0, kSide, kSide).contains(p)) return false;
    if (interactiveIconFrame().contains(p)) return true;
    auto badge = interactiveBadgeHitFrame();
    return badge && badge->contains(p);
}

void FishIconView::updateInteractiveRegion() {
    if (!window_) return;
    const Rect bounds = Rect::make(0, 0, kSide, kSide);
    auto clip = [&](Rect r) {
        const double x0 = std::max(r.minX(), bounds.minX()), y0 = std::max(r.minY(), bounds.minY());
        const double x1 = std::min(r.maxX(), bounds.maxX()), y1 = std::min(r.maxY(), bounds.maxY());
        return Rect::make(x0, y0, std::max(0.0, x1 - x0), std::max(0.0, y1 - y0));
    };
    std::vector<Rect> region{clip(interactiveIconFrame())};
    if (auto badge = interactiveBadgeHitFrame()) region.push_back(clip(*badge));
    if (region == lastRegion_) return;
    lastRegion_ = region;
    window_->setInteractiveRegion(region);
}

}  // namespace orvella
