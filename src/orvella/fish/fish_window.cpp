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

namespace {
// The desktop red of notification badges.
constexpr Color kSystemRed{1.0, 0.231, 0.188, 1};
}  // namespace

Size UnreadBadgeView::fittingSize(int count) {
    return {std::max(9.0 * static_cast<double>(label(count).size()) + 17, 26.0), kHeight};
}

void UnreadBadgeView::draw(Canvas& canvas, Size bounds) const {
    if (count < 1) return;
    const Rect pill = Rect::make(0, 0, bounds.width, bounds.height).insetBy(1.5, 1.5);
    Path path;
    path.addRoundedRect(pill, pill.height() / 2);
    canvas.save();
    canvas.setShadow({0, -1.5}, 5, {0, 0, 0, 0.38});
    canvas.setFillColor(kSystemRed);
    canvas.fillPath(path, FillRule::nonZero);
    canvas.restore();
    canvas.setStrokeColor({1, 1, 1, 1});
    canvas.setLineWidth(1.4);
    canvas.strokePath(path);

    const std::string text = label(count);
    const double size = text.size() <= 2 ? 12 : 11;
    const TextMetrics m = canvas.measureText(text, size, true);
    // Centred, half a point above the middle; the baseline sits the
    // descent above the bottom of the text's box.
    const Point origin{bounds.width / 2 - m.width / 2, bounds.height / 2 - m.height() / 2 + 0.5};
    canvas.setFillColor({1, 1, 1, 1});
    canvas.drawText(text, {origin.x, origin.y + m.descent}, size, true);
}

UnreadBadgeWindow::UnreadBadgeWindow(SurfaceFactory& surfaces, const std::string& appName) {
    // The window is always as large as the label needs.
    const UnreadBadgeView* view = view_.get();
    surface_ = surfaces.createSurface(SurfaceKind::badge, Rect::make(0, 0, kHeight, kHeight),
                                      "Orvella badge: " + appName, [view](Canvas& canvas) {
                                          view->draw(canvas, UnreadBadgeView::fittingSize(view->count));
                                      });
    surface_->setIgnoresMouseEvents(true);
    surface_->orderOut();
}

UnreadBadgeWindow::~UnreadBadgeWindow() { close(); }

void UnreadBadgeWindow::setCount(int count) {
    view_->count = count;
    surface_->setContentSize(fittingSize());
    surface_->setNeedsDisplay();
    if (count == 0) surface_->orderOut();
}

void UnreadBadgeWindow::close() {
    if (!surface_->isClosed()) surface_->close();
}

}  // namespace orvella
