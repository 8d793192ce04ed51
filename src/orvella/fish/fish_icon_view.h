#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "orvella/catalogue/orvella_app.h"
#include "orvella/platform/canvas.h"
#include "orvella/platform/clock.h"
#include "orvella/platform/random.h"
#include "orvella/platform/scheduler.h"
#include "orvella/platform/surfaces.h"
#include "orvella/platform/workspace.h"

namespace orvella {

// What the fish view reports of presses, drags and clicks; the controller.
class FishInputHandler {
public:
    virtual ~FishInputHandler() = default;
    virtual void handleFishPressBegan(const OrvellaApp& app, Point mouse) = 0;
    virtual void handleFishDragBegan(const OrvellaApp& app, Point mouse) = 0;
    virtual void handleFishDrag(const OrvellaApp& app, Point origin, Point mouse) = 0;
    virtual void handleFishDragEnded(const OrvellaApp& app, Point mouse) = 0;
    virtual void handleFishClick(const OrvellaApp& app, int clickCount, Modifiers modifiers, Point mouse) = 0;
};

// A press being tracked by a fish view.
struct PendingMouseDown {
    Point localPoint;   // view coordinates
    Point screenPoint;  // global desktop points
    int clickCount = 1;
    Modifiers modifierFlags;
};

struct FishViewServices {
    Clock& clock;
    Random& random;
    Scheduler& scheduler;
    Workspace& workspace;
    // The controller's icon opacity, absent once the controller is gone.
    std::function<std::optional<double>()> controllerOpacity;
    // The controller while it exists, else null.
    std::function<FishInputHandler*()> input;
    // The pointer position now, in global desktop points.
    std::function<Point()> mouseLocation;
};

// Draws one fish (icon, backdrop and a waving forked tail) and owns its
// growth animation, click pulse and capture effect. Coordinates are the
// view's own: (0, 0, 112, 112), y up.
class FishIconView {
public:
    static constexpr double kSide = 112;
    static constexpr double minGrowthScale = 0.62;
    static constexpr double maxGrowthScale = 1.5;
    static constexpr double minimumEffectiveTailFillAlpha = 0.11;
    static constexpr double minimumEffectiveTailStrokeAlpha = 0.075;
    static constexpr double minimumEffectiveTailRayAlpha = 0.045;
    static constexpr double dragActivationDistance = 5;

    FishIconView(OrvellaApp app, FishViewServices services);
    ~FishIconView();
    FishIconView(const FishIconView&) = delete;
    FishIconView& operator=(const FishIconView&) = delete;

    const OrvellaApp& app() const { return app_; }

    // Written directly by the motion engine and the input handlers; whoever
    // writes them asks for a redraw.
    double heading = 0;
    double wakeStrength = 0.35;
    double pulse = 0;

    void setWindow(Surface* window);
    void setNeedsDisplay();

    void setGrowthScale(double scale, bool animated);
    void stepGrowthAnimation();
    double growthScale() const { return growthScale_; }
    bool isGrowthAnimating() const { return growthTimer_ != 0; }

    void animatePulse();
    double viewAlpha() const { return viewAlpha_; }

    void showCapture(Time until);
    void clearCapture();
    std::optional<Time> capturedUntil() const { return capturedUntil_; }
    double captureSeed() const { return captureSeed_; }

    void setUnreadBadgeCount(int count);
    int unreadBadgeCount() const { return unreadBadgeCount_; }

    Color tailTint() const { return tailTint_; }

    void draw(Canvas& canvas);

    double compensatedTailAlpha(double alpha, double minimumEffectiveAlpha) const;
    static Path forkedTailPath(Point root, double reverse, double length, double spread, double waggle);
    static Color randomTailTint(Random& random);
    static const std::array<Color, 8>& tailTintPalette();

    // Mouse input from the window, in view coordinates.
    void mouseDown(const SurfaceMouseEvent& e);
    void mouseDragged(const SurfaceMouseEvent& e);
    void mouseUp(const SurfaceMouseEvent& e);
    void handleMouse(const SurfaceMouseEvent& e);
    const std::optional<PendingMouseDown>& pendingMouseDown() const { return pendingMouseDown_; }
    bool isDraggingFish() const { return isDraggingFish_; }

    // The icon square grown by 8 points, and the badge while it shows a count.
    bool containsInteractivePoint(Point p) const;
    Rect interactiveIconFrame() const;
    std::optional<Rect> interactiveBadgeHitFrame() const;

    // Where the tail may lie while the fish is quiet, for any beat of its
    // waggle, with room for its outline's antialiasing (view points).
    Rect quietTailExtent() const;

private:
    void updateInteractiveRegion();
    double captureIntensity(Time now);

    // A quiet frame (no capture, no pulse) changes from the last one only
    // where the tail was and will be, as long as nothing else it draws
    // changed: then only that part of the window is drawn again.
    struct QuietFrame {
        double growth, pulse, viewAlpha;
        std::optional<double> windowAlpha;
        Color blue;
        Rect tail;
        friend bool operator==(const QuietFrame&, const QuietFrame&) = default;
    };
    std::optional<QuietFrame> quietFrameNow(Time now);
    std::optional<QuietFrame> lastQuietFrame_;
    // The last extent worked out and what it was worked out from: a step
    // asks for it when it asks for a redraw and again when it draws.
    struct TailExtentKey {
        double growth, wake, heading, motion;
        friend bool operator==(const TailExtentKey&, const TailExtentKey&) = default;
    };
    mutable std::optional<std::pair<TailExtentKey, Rect>> tailExtent_;
    // The part asked for since the last frame, when only a part was.
    std::optional<Rect> partAsked_;
    bool wholeAsked_ = true;

    CanvasLayer plateLayer_;
    OrvellaApp app_;
    FishViewServices services_;
    Surface* window_ = nullptr;
    int unreadBadgeCount_ = 0;
    std::optional<Time> capturedUntil_;
    double captureSeed_ = 0;
    double growthScale_ = 1;
    int growthTimer_ = 0;
    double growthStartScale_ = 1;
    double growthTargetScale_ = 1;
    Time growthStartedAt_ = 0;
    Color tailTint_;
    double viewAlpha_ = 1;
    std::vector<Rect> lastRegion_;
    std::optional<PendingMouseDown> pendingMouseDown_;
    bool isDraggingFish_ = false;
    // Lets delayed callbacks know the view is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace orvella
