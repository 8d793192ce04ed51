#include "x11/accessibility.h"

#include <QGuiApplication>
#include <QScreen>

#include "desktop/coordinates.h"
#include "x11/connection.h"
#include "x11/windows.h"

namespace orvella::x11 {

X11Accessibility::X11Accessibility() : DesktopAccessibility(x11Display() != nullptr) {}

std::optional<FrontWindowInfo> X11Accessibility::platformFrontWindow() {
    const auto frame = activeWindowFrame();
    if (!frame) return std::nullopt;
    // X pixels to Qt's points: each screen keeps its origin and scales from
    // there by its device pixel ratio.
    QPointF topLeft(frame->x, frame->y);
    double ratio = 1;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        const double r = screen->devicePixelRatio();
        const QRectF native(g.topLeft(), QSizeF(g.width() * r, g.height() * r));
        if (native.contains(topLeft)) {
            topLeft = QPointF(g.x() + (frame->x - g.x()) / r, g.y() + (frame->y - g.y()) / r);
            ratio = r;
            break;
        }
    }
    const QRectF primary = desktop::primaryGeometry();
    FrontWindowInfo info;
    info.processID = frame->window.processID;
    info.bundleIdentifier = frame->window.instance.empty() ? frame->window.className : frame->window.instance;
    info.title = frame->title;
    info.topLeftPosition = {topLeft.x() - primary.x(), topLeft.y() - primary.y()};
    info.size = {frame->width / ratio, frame->height / ratio};
    return info;
}

}  // namespace orvella::x11
