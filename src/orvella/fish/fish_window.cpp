#include "orvella/fish/fish_window.h"

#include <algorithm>
#include <string>

namespace orvella {

FishWindow::FishWindow(const OrvellaApp& app, SurfaceFactory& surfaces, FishViewServices services)
    : view_(std::make_unique<FishIconView>(app, std::move(services))) {
    FishIconView* view = view_.get();
    surface_ = surfaces.createSurface(SurfaceKind::fish, Rect::make(0, 0, kSide, kSide), "Orvella fish: " + app.name,
                                      [view](Canvas& canvas) { view->draw(canvas); });
    // Takes the mouse only on the icon (and badge); the rest of the square
    // lets clicks through to the desktop.
    surface_->setIgnoresMouseEvents(false);
    surface_->setMouseHandler([view](const SurfaceMouseEvent& e) { view->handleMouse(e); });
    view_->setWindow(surface_.get());
}

FishWindow::~FishWindow() {
    // The surface may outlive this window inside a running fade; it must
    // never call back into the view once the view is gone.
    close();
}

void FishWindow::close() {
    if (!surface_->isClosed()) surface_->close();
}

UnreadBadgeWindow::UnreadBadgeWindow(SurfaceFactory& surfaces, const std::string& appName) {
    surface_ = surfaces.createSurface(SurfaceKind::badge, Rect::make(0, 0, kHeight, kHeight),
                                      "Orvella badge: " + appName, [](Canvas&) {});
    surface_->setIgnoresMouseEvents(true);
    surface_->orderOut();
}

UnreadBadgeWindow::~UnreadBadgeWindow() { close(); }

Size UnreadBadgeWindow::fittingSize() const {
    const std::string label = count_ < 100 ? std::to_string(count_) : "99+";
    return {std::max(9.0 * static_cast<double>(label.size()) + 17, 26.0), kHeight};
}

void UnreadBadgeWindow::close() {
    if (!surface_->isClosed()) surface_->close();
}

}  // namespace orvella
