#include "linux/qt_canvas.h"

#include <QFont>
#include <QFontMetricsF>
#include <cmath>
#include <numbers>

namespace orvella::linux_desktop {

namespace {

// Three box passes approximate a gaussian of the given sigma.
void blurAlpha(QImage& image, double sigma) {
    if (sigma <= 0.1) return;
    const int r = std::max(1, static_cast<int>(std::lround(std::sqrt(12 * sigma * sigma / 3 + 1) / 2)));
    const int w = image.width(), h = image.height();
    std::vector<int> line(static_cast<size_t>(std::max(w, h)));
    auto pass = [&](bool horizontal) {
        const int outer = horizontal ? h : w, inner = horizontal ? w : h;
        for (int o = 0; o < outer; ++o) {
            auto px = [&](int i) -> QRgb& {
                return reinterpret_cast<QRgb*>(image.scanLine(horizontal ? o : i))[horizontal ? i : o];
            };
            for (int i = 0; i < inner; ++i) line[static_cast<size_t>(i)] = qAlpha(px(i));
            int sum = 0;
            for (int i = -r; i <= r; ++i) sum += (i >= 0 && i < inner) ? line[static_cast<size_t>(i)] : 0;
            for (int i = 0; i < inner; ++i) {
                const int a = sum / (2 * r + 1);
                px(i) = qRgba(0, 0, 0, a);
                const int out = i - r, in = i + r + 1;
                if (out >= 0) sum -= line[static_cast<size_t>(out)];
                if (in < inner) sum += line[static_cast<size_t>(in)];
            }
        }
    };
    for (int k = 0; k < 3; ++k) {
        pass(true);
        pass(false);
    }
}

}  // namespace

const QImage& QtImage::scaledTo(QSize pixels, qreal devicePixelRatio) const {
    if (pixels.isEmpty()) return image_;
    if (scaled_.size() != pixels || scaled_.devicePixelRatio() != devicePixelRatio) {
        scaled_ = pixels == image_.size() ? image_.copy()
                                          : image_.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        scaled_.setDevicePixelRatio(devicePixelRatio);
    }
    return scaled_;
}

QColor toQColor(const Color& c) { return QColor::fromRgbF(static_cast<float>(c.r), static_cast<float>(c.g),
                                                          static_cast<float>(c.b), static_cast<float>(c.a)); }

QPainterPath toQPath(const Path& path) {
    QPainterPath q;
    for (const auto& e : path.elements()) {
        switch (e.kind) {
            case Path::Kind::move: q.moveTo(e.p1.x, e.p1.y); break;
            case Path::Kind::line: q.lineTo(e.p1.x, e.p1.y); break;
            case Path::Kind::quad: q.quadTo(e.p2.x, e.p2.y, e.p1.x, e.p1.y); break;
            case Path::Kind::cubic: q.cubicTo(e.p2.x, e.p2.y, e.p3.x, e.p3.y, e.p1.x, e.p1.y); break;
            case Path::Kind::arc: {
                // Angles counter-clockwise from +x with y up; QPainterPath's
                // arcTo measures the same way in a y-up frame.
                const double toDeg = 180.0 / std::numbers::pi;
                double sweep = e.endAngle - e.startAngle;
                if (e.clockwise && sweep > 0) sweep -= 2 * std::numbers::pi;
                if (!e.clockwise && sweep < 0) sweep += 2 * std::numbers::pi;
                const QRectF box(e.p1.x - e.radius, e.p1.y - e.radius, 2 * e.radius, 2 * e.radius);
                const QPointF start(e.p1.x + e.radius * std::cos(e.startAngle),
                                    e.p1.y + e.radius * std::sin(e.startAngle));
                if (q.elementCount() == 0) q.moveTo(start);
                else q.lineTo(start);
                // In a y-up frame QPainterPath's positive sweep runs clockwise,
                // so the angles are mirrored.
                q.arcTo(box, -e.startAngle * toDeg, -sweep * toDeg);
                break;
            }
            case Path::Kind::close: q.closeSubpath(); break;
        }
    }
    return q;
}

QtCanvas::QtCanvas(QPainter& painter, double height, double baseAlpha)
    : p_(painter), height_(height), baseAlpha_(baseAlpha) {
    p_.setRenderHint(QPainter::Antialiasing, true);
    p_.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p_.setTransform(QTransform(1, 0, 0, -1, 0, height_), false);
    p_.setOpacity(baseAlpha_);
}

void QtCanvas::save() {
    stack_.push_back(state_);
    p_.save();
}

void QtCanvas::restore() {
    if (stack_.empty()) return;
    state_ = stack_.back();
    stack_.pop_back();
    p_.restore();
}

void QtCanvas::setShadow(Vector offset, double blur, Color color) { state_.shadow = ShadowState{offset, blur, color}; }
void QtCanvas::setFillColor(Color c) { state_.fill = toQColor(c); }
void QtCanvas::setStrokeColor(Color c) { state_.stroke = toQColor(c); }
void QtCanvas::setLineWidth(double w) { state_.lineWidth = w; }
void QtCanvas::setLineCap(LineCap cap) {
    state_.cap = cap == LineCap::round ? Qt::RoundCap : cap == LineCap::square ? Qt::SquareCap : Qt::FlatCap;
}
void QtCanvas::setGlobalAlpha(double alpha) {
    state_.alpha = alpha;
    p_.setOpacity(baseAlpha_ * alpha);
}
void QtCanvas::setImageInterpolationHigh() { p_.setRenderHint(QPainter::SmoothPixmapTransform, true); }

QPen QtCanvas::pen() const {
    QPen pen(state_.stroke);
    pen.setWidthF(state_.lineWidth);
    pen.setCapStyle(state_.cap);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

template <class Draw>
void QtCanvas::paint(Draw&& draw) {
    if (!state_.shadow || state_.shadow->color.a <= 0) {
        draw(p_);
        return;
    }
    // Draw the operation alone on a layer the size of the device, turn its
    // alpha into a blurred, tinted shadow, then put shadow and operation down.
    const QSize size = p_.device() ? QSize(p_.device()->width(), p_.device()->height()) : QSize();
    const qreal dpr = p_.device() ? p_.device()->devicePixelRatioF() : 1.0;
    QImage layer(size * dpr, QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(dpr);
    layer.fill(Qt::transparent);
    {
        QPainter lp(&layer);
        lp.setRenderHints(p_.renderHints());
        lp.setTransform(p_.transform());
        draw(lp);
    }
    QImage shadow = layer.copy();
    blurAlpha(shadow, state_.shadow->blur / 2 * dpr);
    {
        QPainter sp(&shadow);
        sp.setCompositionMode(QPainter::CompositionMode_SourceIn);
        sp.fillRect(shadow.rect(), toQColor(state_.shadow->color));
    }
    const QTransform saved = p_.transform();
    p_.resetTransform();
    p_.drawImage(QPointF(state_.shadow->offset.dx, -state_.shadow->offset.dy), shadow);
    p_.drawImage(QPointF(0, 0), layer);
    p_.setTransform(saved);
}

void QtCanvas::fillPath(const Path& path, FillRule rule) {
    QPainterPath q = toQPath(path);
    q.setFillRule(rule == FillRule::evenOdd ? Qt::OddEvenFill : Qt::WindingFill);
    const QColor color = state_.fill;
    paint([&](QPainter& p) { p.fillPath(q, color); });
}

void QtCanvas::strokePath(const Path& path) {
    const QPainterPath q = toQPath(path);
    const QPen pen = this->pen();
    paint([&](QPainter& p) { p.strokePath(q, pen); });
}

void QtCanvas::fillRect(const Rect& r, CompositeOp op) {
    const QRectF rect(r.minX(), r.minY(), r.width(), r.height());
    const QColor color = state_.fill;
    paint([&](QPainter& p) {
        const auto mode = p.compositionMode();
        if (op == CompositeOp::copy) p.setCompositionMode(QPainter::CompositionMode_Source);
        if (op == CompositeOp::clear) p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.fillRect(rect, color);
        p.setCompositionMode(mode);
    });
}

void QtCanvas::drawImage(const Image& image, const Rect& dest, CompositeOp op, double fraction) {
    const auto* qimage = dynamic_cast<const QtImage*>(&image);
    if (!qimage) return;
    paint([&](QPainter& p) {
        // Images are stored top row first: undo the flip for this draw.
        const QTransform saved = p.transform();
        const QRectF device = saved.mapRect(QRectF(dest.minX(), dest.minY(), dest.width(), dest.height()));
        p.resetTransform();
        const double opacity = p.opacity();
        p.setOpacity(opacity * fraction);
        const auto mode = p.compositionMode();
        if (op == CompositeOp::copy) p.setCompositionMode(QPainter::CompositionMode_Source);
        const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
        const QSize pixels(static_cast<int>(std::lround(device.width() * dpr)),
                           static_cast<int>(std::lround(device.height() * dpr)));
        p.drawImage(device, qimage->scaledTo(pixels, dpr));
        p.setCompositionMode(mode);
        p.setOpacity(opacity);
        p.setTransform(saved);
    });
}

void QtCanvas::drawText(const std::string& utf8, Point baselineOrigin, double pointSize, bool bold) {
    QFont font = p_.font();
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pointSize))));
    font.setBold(bold);
    const QString text = QString::fromStdString(utf8);
    const QColor color = state_.fill;
    paint([&](QPainter& p) {
        const QTransform saved = p.transform();
        const QPointF at = saved.map(QPointF(baselineOrigin.x, baselineOrigin.y));
        p.resetTransform();
        p.setFont(font);
        p.setPen(color);
        p.drawText(at, text);
        p.setTransform(saved);
    });
}

}  // namespace orvella::linux_desktop
