#pragma once

#include <memory>
#include <string>

#include "orvella/fish/fish_icon_view.h"
#include "orvella/fish/unread_badge_view.h"
#include "orvella/platform/surfaces.h"

namespace orvella {

// The 112 x 112 point borderless window of one fish; its only content is the
// fish view. It never moves itself: the motion engine places it.
class FishWindow {
public:
    static constexpr double kSide = FishIconView::kSide;

    FishWindow(const OrvellaApp& app, SurfaceFactory& surfaces, FishViewServices services);
    ~FishWindow();
    FishWindow(const FishWindow&) = delete;
    FishWindow& operator=(const FishWindow&) = delete;

    FishIconView& fishView() { return *view_; }
    const FishIconView& fishView() const { return *view_; }
    Surface& surface() { return *surface_; }
    const Surface& surface() const { return *surface_; }
    const std::shared_ptr<Surface>& sharedSurface() const { return surface_; }

    void close();

private:
    std::unique_ptr<FishIconView> view_;
    std::shared_ptr<Surface> surface_;
};

// The window of the pill that rides on a fish. A new badge is empty and not
// on screen; it is click-through: a click on the pill reaches the fish.
class UnreadBadgeWindow {
public:
    static constexpr double kHeight = UnreadBadgeView::kHeight;

    explicit UnreadBadgeWindow(SurfaceFactory& surfaces, const std::string& appName);
    ~UnreadBadgeWindow();
    UnreadBadgeWindow(const UnreadBadgeWindow&) = delete;
    UnreadBadgeWindow& operator=(const UnreadBadgeWindow&) = delete;

    int count() const { return view_->count; }
    // Sizes the window to the label, redraws it, hides it at 0.
    void setCount(int count);
    Size fittingSize() const { return UnreadBadgeView::fittingSize(view_->count); }
    const UnreadBadgeView& badgeView() const { return *view_; }
    Surface& surface() { return *surface_; }
    const Surface& surface() const { return *surface_; }
    void close();

private:
    std::unique_ptr<UnreadBadgeView> view_ = std::make_unique<UnreadBadgeView>();
    std::shared_ptr<Surface> surface_;
};

}  // namespace orvella
