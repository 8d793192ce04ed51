#pragma once

#include <memory>

#include "orvella/fish/fish_icon_view.h"
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

// The unread-count pill that rides on a fish. A new badge is empty and not
// on screen; it is click-through.
class UnreadBadgeWindow {
public:
    static constexpr double kHeight = 26;

    explicit UnreadBadgeWindow(SurfaceFactory& surfaces, const std::string& appName);
    ~UnreadBadgeWindow();
    UnreadBadgeWindow(const UnreadBadgeWindow&) = delete;
    UnreadBadgeWindow& operator=(const UnreadBadgeWindow&) = delete;

    int count() const { return count_; }
    // (max(9 * label characters + 17, 26), 26)
    Size fittingSize() const;
    Surface& surface() { return *surface_; }
    const Surface& surface() const { return *surface_; }
    void close();

private:
    int count_ = 0;
    std::shared_ptr<Surface> surface_;
};

}  // namespace orvella
