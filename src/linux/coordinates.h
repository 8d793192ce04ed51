#pragma once
// The tank's desktop points (origin bottom-left of the primary display,
// y up) against the X screen's (origin top-left, y down).

#include <QGuiApplication>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QScreen>

#include "orvella/support/geometry.h"

namespace orvella::linux_desktop {

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

// Qt's points to the X server's pixels: each screen keeps its origin and
// scales from there by its device pixel ratio.
inline QRect toNativePixels(const QRect& logical) {
    const QScreen* screen = QGuiApplication::screenAt(logical.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const qreal r = screen ? screen->devicePixelRatio() : 1.0;
    if (r == 1.0) return logical;
    const QPoint o = screen->geometry().topLeft();
    const QPointF at = QPointF(logical.topLeft() - o) * r + QPointF(o);
    return QRect(at.toPoint(), (QSizeF(logical.size()) * r).toSize());
}

}  // namespace orvella::linux_desktop
