#include "render/canvas.h"

#include <QFont>
#include <QFontMetricsF>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>

namespace orvella::render {

namespace {

// sum / (2r + 1) by a multiply and a shift, as a division per pixel costs
// more than the rest of a pass. Exact: the sums stay below 255 * width, and
// rounding the reciprocal up adds less than 1 / width to any quotient
// while width < 256; wider boxes divide.
struct BoxMean {
    explicit BoxMean(int r)
        : width(2 * r + 1),
          reciprocal(width < 256 ? (std::uint64_t{1} << 24) / static_cast<std::uint64_t>(width) + 1 : 0) {}
    std::uint8_t operator()(int sum) const {
        return reciprocal ? static_cast<std::uint8_t>((static_cast<std::uint64_t>(sum) * reciprocal) >> 24)
                          : static_cast<std::uint8_t>(sum / width);
    }
    int width;
    std::uint64_t reciprocal;
};

// One box pass of radius r along each row of a w x h buffer, in place.
void boxPassRows(std::uint8_t* data, int w, int h, int r, std::vector<int>& line) {
    const BoxMean mean(r);
    line.resize(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = data + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int i = 0; i < w; ++i) line[static_cast<size_t>(i)] = row[i];
        int sum = 0;
        for (int i = 0; i <= r && i < w; ++i) sum += line[static_cast<size_t>(i)];
        for (int i = 0; i < w; ++i) {
            row[i] = mean(sum);
            const int out = i - r, in = i + r + 1;
            if (out >= 0) sum -= line[static_cast<size_t>(out)];
            if (in < w) sum += line[static_cast<size_t>(in)];
        }
    }
}

// The same down each column, from `src` into `dst`: swept a row at a time
// with a running sum per column, so it reads memory in order.
void boxPassColumns(const std::uint8_t* src, std::uint8_t* dst, int w, int h, int r, std::vector<int>& sums) {
    const BoxMean mean(r);
    const auto at = [w](int y) { return static_cast<size_t>(y) * static_cast<size_t>(w); };
    sums.assign(static_cast<size_t>(w), 0);
    for (int y = 0; y <= r && y < h; ++y)
        for (int x = 0; x < w; ++x) sums[static_cast<size_t>(x)] += src[at(y) + static_cast<size_t>(x)];
    for (int y = 0; y < h; ++y) {
        std::uint8_t* out = dst + at(y);
        for (int x = 0; x < w; ++x) out[x] = mean(sums[static_cast<size_t>(x)]);
        if (y - r >= 0) {
            const std::uint8_t* leaving = src + at(y - r);
            for (int x = 0; x < w; ++x) sums[static_cast<size_t>(x)] -= leaving[x];
        }
        if (y + r + 1 < h) {
            const std::uint8_t* coming = src + at(y + r + 1);
            for (int x = 0; x < w; ++x) sums[static_cast<size_t>(x)] += coming[x];
        }
    }
}

// The alpha of `layer`, blurred by three box passes that approximate a
// gaussian of the given sigma, as a shadow of the given colour.
QImage shadowOf(const QImage& layer, double sigma, const QColor& color) {
    const int w = layer.width(), h = layer.height();
    std::vector<std::uint8_t> alpha(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(layer.constScanLine(y));
        for (int x = 0; x < w; ++x) alpha[static_cast<size_t>(y * w + x)] = static_cast<std::uint8_t>(qAlpha(row[x]));
    }
    if (sigma > 0.1) {
        const int r = std::max(1, static_cast<int>(std::lround(std::sqrt(12 * sigma * sigma / 3 + 1) / 2)));
        std::vector<int> line;
        std::vector<std::uint8_t> other(alpha.size());
        for (int pass = 0; pass < 3; ++pass) {
            boxPassRows(alpha.data(), w, h, r, line);
            boxPassColumns(alpha.data(), other.data(), w, h, r, line);
            alpha.swap(other);
        }
    }
    QImage shadow(w, h, QImage::Format_ARGB32_Premultiplied);
    shadow.setDevicePixelRatio(layer.devicePixelRatio());
    const int cr = color.red(), cg = color.green(), cb = color.blue(), ca = color.alpha();
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(shadow.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int blurred = alpha[static_cast<size_t>(y * w + x)];
            if (blurred == 0) {
                row[x] = 0;  // most of a glow's layer
                continue;
            }
            const int a = blurred * ca / 255;
            row[x] = qRgba(cr * a / 255, cg * a / 255, cb * a / 255, a);
        }
    }
    return shadow;
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

void fadePremultiplied(QImage& image, const QRect& area, double fade) {
    // Every channel scales alike, two channels at a time in one 32-bit
    // multiply, rounded. Most of a fish's window is clear and stays so.
    const auto f = static_cast<uint32_t>(std::lround(std::clamp(fade, 0.0, 1.0) * 256));
    const QRect r = area & image.rect();
    uchar* bits = image.bits();
    const qsizetype bpl = image.bytesPerLine();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        auto* p = reinterpret_cast<uint32_t*>(bits + y * bpl) + r.left();
        for (uint32_t* end = p + r.width(); p != end; ++p) {
            const uint32_t v = *p;
            if (v == 0) continue;
            const uint32_t rb = (((v & 0x00ff00ffu) * f + 0x00800080u) >> 8) & 0x00ff00ffu;
            const uint32_t ag = ((((v >> 8) & 0x00ff00ffu) * f + 0x00800080u)) & 0xff00ff00u;
            *p = rb | ag;
        }
    }
}

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
    : QtCanvas(painter, QTransform(1, 0, 0, -1, 0, height), baseAlpha) {}

QtCanvas::QtCanvas(QPainter& painter, const QTransform& transform, double baseAlpha)
    : p_(painter), baseAlpha_(baseAlpha) {
    p_.setRenderHint(QPainter::Antialiasing, true);
    p_.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p_.setTransform(transform, false);
    p_.setOpacity(baseAlpha_);
}

// The painter's own save and restore copy all of its state; the only part
// of it this canvas changes between operations is the opacity, so that is
// all a restore puts back.
void QtCanvas::save() { stack_.push_back(state_); }

void QtCanvas::restore() {
    if (stack_.empty()) return;
    state_ = stack_.back();
    stack_.pop_back();
    p_.setOpacity(baseAlpha_ * state_.alpha);
}

void QtCanvas::setShadow(Vector offset, double blur, Color color) { state_.shadow = ShadowState{offset, blur, color}; }
void QtCanvas::setFillColor(Color c) { state_.fill = c; }
void QtCanvas::setStrokeColor(Color c) { state_.stroke = c; }
void QtCanvas::setLineWidth(double w) { state_.lineWidth = w; }
void QtCanvas::setLineCap(LineCap cap) { state_.cap = cap; }
void QtCanvas::setGlobalAlpha(double alpha) {
    state_.alpha = alpha;
    p_.setOpacity(baseAlpha_ * alpha);
}
void QtCanvas::setImageInterpolationHigh() { p_.setRenderHint(QPainter::SmoothPixmapTransform, true); }

QPen QtCanvas::pen() const {
    QPen pen(toQColor(state_.stroke));
    pen.setWidthF(state_.lineWidth);
    pen.setCapStyle(state_.cap == LineCap::round    ? Qt::RoundCap
                    : state_.cap == LineCap::square ? Qt::SquareCap
                                                    : Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

template <class Draw, class Bounds>
void QtCanvas::paint(Draw&& draw, Bounds&& extent) {
    if (painterUsed_) *painterUsed_ = true;
    if (!state_.shadow || state_.shadow->color.a <= 0) {
        draw(p_);
        return;
    }
    // Draw the operation alone on a layer around its device bounds, turn its
    // alpha into a blurred, tinted shadow, then put shadow and operation down.
    const qreal dpr = p_.device() ? p_.device()->devicePixelRatioF() : 1.0;
    const double margin = 3 * state_.shadow->blur / 2 + 2;
    const QRectF bounds = extent();
    QRectF area = bounds.isValid() ? p_.transform().mapRect(bounds) : QRectF();
    if (p_.device()) {
        const QRectF deviceRect(0, 0, p_.device()->width(), p_.device()->height());
        area = area.isValid() ? area.adjusted(-margin, -margin, margin, margin) : deviceRect;
        const QPointF offset(state_.shadow->offset.dx, -state_.shadow->offset.dy);
        // Only what can reach the device matters: the operation's own pixels
        // or, moved by the offset, its shadow's.
        area = area & (deviceRect | deviceRect.translated(-offset));
    }
    const QRect pixels = QRectF(area.topLeft() * dpr, area.size() * dpr).toAlignedRect();
    if (pixels.isEmpty()) return;
    QImage layer(pixels.size(), QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(dpr);
    layer.fill(Qt::transparent);
    const QPointF origin(pixels.x() / dpr, pixels.y() / dpr);
    {
        QPainter lp(&layer);
        lp.setRenderHints(p_.renderHints());
        lp.setTransform(p_.transform() * QTransform::fromTranslate(-origin.x(), -origin.y()));
        draw(lp);
    }
    const QImage shadow = shadowOf(layer, state_.shadow->blur / 2 * dpr, toQColor(state_.shadow->color));
    const QTransform saved = p_.transform();
    p_.resetTransform();
    p_.drawImage(origin + QPointF(state_.shadow->offset.dx, -state_.shadow->offset.dy), shadow);
    p_.drawImage(origin, layer);
    p_.setTransform(saved);
}

namespace {

std::atomic<bool> ownRasteriser{true};

// The rasteriser's cells are kept from one shape to the next; surfaces are
// drawn on more than one thread.
CoverageRaster& threadRaster() {
    thread_local CoverageRaster raster;
    return raster;
}

PixelTransform pixelTransform(const QTransform& t) { return {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()}; }

}  // namespace

void QtCanvas::setOwnRasteriser(bool enabled) { ownRasteriser = enabled; }

std::optional<PixelBuffer> QtCanvas::directTarget() const {
    if (!ownRasteriser || (state_.shadow && state_.shadow->color.a > 0)) return std::nullopt;
    QPaintDevice* device = p_.device();
    if (!device || device->devType() != QInternal::Image || !p_.testRenderHint(QPainter::Antialiasing) ||
        p_.compositionMode() != QPainter::CompositionMode_SourceOver ||
        p_.deviceTransform().type() > QTransform::TxShear)
        return std::nullopt;
    auto* image = static_cast<QImage*>(device);
    if (image->format() != QImage::Format_ARGB32_Premultiplied) return std::nullopt;
    QRect clip(0, 0, image->width(), image->height());
    if (p_.hasClipping()) {
        if (!deviceClip_) return std::nullopt;
        clip &= *deviceClip_;
    }
    PixelBuffer target;
    // bits() detaches; the surface's image is never shared while drawn on.
    target.pixels = reinterpret_cast<std::uint32_t*>(image->bits());
    target.width = image->width();
    target.height = image->height();
    target.stride = image->bytesPerLine() / 4;
    target.clipLeft = clip.left();
    target.clipTop = clip.top();
    target.clipRight = clip.left() + clip.width();
    target.clipBottom = clip.top() + clip.height();
    return target;
}

void QtCanvas::fillPath(const Path& path, FillRule rule) {
    // A clear fill leaves no trace, not even a shadow: skip the rasterising.
    if (state_.fill.a < 0.5 / 255) return;
    if (rule == FillRule::nonZero)
        if (const auto target = directTarget())
            if (threadRaster().fill(*target, path, pixelTransform(p_.deviceTransform()), state_.fill, p_.opacity()))
                return;
    QPainterPath q = toQPath(path);
    q.setFillRule(rule == FillRule::evenOdd ? Qt::OddEvenFill : Qt::WindingFill);
    const QColor color = toQColor(state_.fill);
    paint([&](QPainter& p) { p.fillPath(q, color); }, [&] { return q.boundingRect(); });
}

void QtCanvas::strokePath(const Path& path) {
    if (state_.lineWidth > 0)
        if (const auto target = directTarget()) {
            // A line at most a pixel wide is a hairline, drawn at a strength
            // of its width, as the painter draws one.
            const QTransform t = p_.deviceTransform();
            const double width = state_.lineWidth * std::sqrt(std::abs(t.determinant()));
            if (width <= 1 && threadRaster().strokeHairline(*target, path, pixelTransform(t), width, state_.cap,
                                                              state_.stroke, p_.opacity()))
                return;
        }
    const QPainterPath q = toQPath(path);
    const QPen pen = this->pen();
    const double half = state_.lineWidth / 2 + 1;
    paint([&](QPainter& p) { p.strokePath(q, pen); },
          [&] { return q.boundingRect().adjusted(-half, -half, half, half); });
}

void QtCanvas::fillRect(const Rect& r, CompositeOp op) {
    const QRectF rect(r.minX(), r.minY(), r.width(), r.height());
    const QColor color = toQColor(state_.fill);
    paint([&](QPainter& p) {
        const auto mode = p.compositionMode();
        if (op == CompositeOp::copy) p.setCompositionMode(QPainter::CompositionMode_Source);
        if (op == CompositeOp::clear) p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.fillRect(rect, color);
        p.setCompositionMode(mode);
    }, [&] { return rect; });
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
    }, [&] { return QRectF(dest.minX(), dest.minY(), dest.width(), dest.height()); });
}

namespace {

struct KeptLayer {
    std::vector<double> key;
    QTransform transform;
    qreal devicePixelRatio = 1;
    QPointF origin;  // device-independent pixels, on whole device pixels
    QImage image;
};

}  // namespace

void QtCanvas::drawLayer(CanvasLayer& layer, const Rect& bounds, const std::function<void(Canvas&)>& draw) {
    const qreal dpr = p_.device() ? p_.device()->devicePixelRatioF() : 1.0;
    const QTransform transform = p_.transform();
    auto kept = std::static_pointer_cast<KeptLayer>(layer.kept);
    if (!kept || kept->key != layer.key || kept->transform != transform || kept->devicePixelRatio != dpr) {
        layer.kept.reset();
        const QRectF area = transform.mapRect(QRectF(bounds.minX(), bounds.minY(), bounds.width(), bounds.height()));
        const QRect pixels = QRectF(area.topLeft() * dpr, area.size() * dpr).toAlignedRect();
        if (pixels.isEmpty()) return;
        kept = std::make_shared<KeptLayer>();
        kept->key = layer.key;
        kept->transform = transform;
        kept->devicePixelRatio = dpr;
        kept->origin = QPointF(pixels.x() / dpr, pixels.y() / dpr);
        kept->image = QImage(pixels.size(), QImage::Format_ARGB32_Premultiplied);
        if (kept->image.isNull()) return;
        kept->image.fill(Qt::transparent);
        kept->image.setDevicePixelRatio(dpr);
        if (painterUsed_) *painterUsed_ = true;
        {
            QPainter lp(&kept->image);
            QtCanvas sub(lp, transform * QTransform::fromTranslate(-kept->origin.x(), -kept->origin.y()), 1.0);
            draw(sub);
        }
        layer.kept = kept;
    }
    // The layer is already in device pixels: put it down untransformed.
    p_.resetTransform();
    // At one pixel per point the painter puts an image down with a plain
    // blit, which needs no thread pool; on a scaled device it would go
    // through its span blending, so there the canvas blends it itself.
    if (p_.deviceTransform().type() > QTransform::TxTranslate) {
        if (const auto target = directTarget()) {
            const QImage& image = kept->image;
            blendPixels(*target, reinterpret_cast<const std::uint32_t*>(image.constBits()), image.width(),
                        image.height(), image.bytesPerLine() / 4, static_cast<int>(std::lround(kept->origin.x() * dpr)),
                        static_cast<int>(std::lround(kept->origin.y() * dpr)), p_.opacity());
            p_.setTransform(transform);
            return;
        }
        if (painterUsed_) *painterUsed_ = true;
    }
    p_.drawImage(kept->origin, kept->image);
    p_.setTransform(transform);
}

QFont QtCanvas::textFont(double pointSize, bool bold) const {
    QFont font = p_.font();
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pointSize))));
    font.setBold(bold);
    return font;
}

TextMetrics QtCanvas::measureText(const std::string& utf8, double pointSize, bool bold) {
    const QFontMetricsF metrics(textFont(pointSize, bold));
    return {metrics.horizontalAdvance(QString::fromStdString(utf8)), metrics.ascent(), metrics.descent()};
}

void QtCanvas::drawText(const std::string& utf8, Point baselineOrigin, double pointSize, bool bold) {
    const QFont font = textFont(pointSize, bold);
    const QString text = QString::fromStdString(utf8);
    const QColor color = toQColor(state_.fill);
    paint([&](QPainter& p) {
        const QTransform saved = p.transform();
        const QPointF at = saved.map(QPointF(baselineOrigin.x, baselineOrigin.y));
        p.resetTransform();
        p.setFont(font);
        p.setPen(color);
        p.drawText(at, text);
        p.setTransform(saved);
    }, [] { return QRectF(); });
}

}  // namespace orvella::render
