#pragma once
// The tank's desktop points (origin bottom-left of the primary display,
// y up) against the X screen's (origin top-left, y down).

#include <QGuiApplication>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "orvella/support/geometry.h"

namespace orvella::desktop {

inline QRectF primaryGeometry() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? QRectF(primary->geometry()) : QRectF(0, 0, 0, 0);
}

inline Point toDesktop(QPointF p, const QRectF& primary = primaryGeometry()) {
    return {p.x() - primary.x(), primary.y() + primary.height() - p.y()};
}

inline Rect toDesktop(const QRectF& r, const QRectF& primary = primaryGeometry()) {
    return Rect::make(r.x() - primary.x(), primary.y() + primary.height() - r.y() - r.height(), r.width(),
                      r.height());
}

inline QPointF toScreen(Point p, const QRectF& primary = primaryGeometry()) {
    return {p.x + primary.x(), primary.y() + primary.height() - p.y};
}

inline QRectF toScreen(const Rect& r, const QRectF& primary = primaryGeometry()) {
    return {r.minX() + primary.x(), primary.y() + primary.height() - r.minY() - r.height(), r.width(), r.height()};
}

// Where a surface goes in the screen's layout, in whole points: origin and
// size are each rounded to the nearest, so a surface keeps its size
// wherever it is (112 points stay 112 wide), and it is at least one point
// each way (neither an X window nor a buffer can be empty).
inline QRect layoutRect(const Rect& frame, const QRectF& primary = primaryGeometry()) {
    const QRectF r = toScreen(frame, primary);
    return QRect(static_cast<int>(std::lround(r.x())), static_cast<int>(std::lround(r.y())),
                 std::max(1, static_cast<int>(std::lround(r.width()))),
                 std::max(1, static_cast<int>(std::lround(r.height()))));
}

// Qt's points to the X server's pixels: each screen keeps its origin and
// scales from there by its device pixel ratio.
inline QRect toNativePixels(const QRect& logical) {
    // The largest of the screens' ratios: at 1 everywhere nothing changes,
    // and no screen need be looked for (a fish moves every step).
    if (qGuiApp && qGuiApp->devicePixelRatio() == 1.0) return logical;
    const QScreen* screen = QGuiApplication::screenAt(logical.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const qreal r = screen ? screen->devicePixelRatio() : 1.0;
    if (r == 1.0) return logical;
    const QPoint o = screen->geometry().topLeft();
    const QPointF at = QPointF(logical.topLeft() - o) * r + QPointF(o);
    return QRect(at.toPoint(), (QSizeF(logical.size()) * r).toSize());
}

}  // namespace orvella::desktop
