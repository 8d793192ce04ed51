#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "orvella/platform/canvas.h"
#include "orvella/platform/clock.h"
#include "orvella/platform/displays.h"
#include "orvella/platform/random.h"
#include "orvella/platform/surfaces.h"

namespace orvella {

struct FoodBurst {
    Point point;
    Time createdAt = 0;
    double seed = 0;
};

struct SonicWaveBurst {
    Point point;
    Time createdAt = 0;
    double seed = 0;
};

struct WaterTrailRipple {
    Point point;
    double heading = 0;
    Time createdAt = 0;
    double strength = 0;
};

// Draws the short-lived water effects of one display: food bursts, sonic
// waves and the attraction ripple. Points are in the view's own
// coordinates (global points minus the overlay's origin), y up.
class WaterOverlayView {
public:
    static constexpr double trailRippleLifetime = 1.35;
    static constexpr double foodBurstLifetime = 1.9;
    static constexpr double sonicWaveLifetime = 1.35;
    static constexpr size_t maxFoodBursts = 8;
    static constexpr size_t maxSonicWaves = 5;

    WaterOverlayView(Size size, Random& random) : size_(size), random_(random) {}

    Time phase = 0;
    Point cursorPoint;
    double attractionStrength = 0;
    std::vector<WaterTrailRipple> trailRipples;
    std::vector<FoodBurst> foodBursts;
    std::vector<SonicWaveBurst> sonicWaveBursts;
    bool hadDrawableEffects = false;

    void addFoodBurst(Point p, Time now);
    void addSonicWaveBurst(Point p, Time now);
    bool needsAnimationFrame(Time now, bool attractionActive);
    void draw(Canvas& canvas);

    // Where this frame draws anything, in view coordinates; none when
    // nothing is drawn.
    std::optional<Rect> effectBounds() const;

private:
    void pruneExpired(Time reference);
    Size size_;
    Random& random_;
};

// A click-through window over a whole display, for its water effects.
class WaterOverlayWindow {
public:
    WaterOverlayWindow(SurfaceFactory& surfaces, const DisplayInfo& display, const std::string& id, Random& random);
    ~WaterOverlayWindow();
    WaterOverlayWindow(const WaterOverlayWindow&) = delete;
    WaterOverlayWindow& operator=(const WaterOverlayWindow&) = delete;

    WaterOverlayView& waterView() { return *view_; }
    Surface& surface() { return *surface_; }
    Rect frame() const { return surface_->frame(); }
    void close();
    // Redraws what changed since the last frame: this frame's and the last
    // frame's effects, never the whole display without need.
    void redrawChangedRegion();

private:
    std::unique_ptr<WaterOverlayView> view_;
    std::shared_ptr<Surface> surface_;
    std::optional<Rect> lastDrawn_;
};

}  // namespace orvella
