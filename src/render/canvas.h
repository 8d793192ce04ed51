#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <memory>
#include <optional>
#include <vector>

#include "render/coverage_raster.h"
#include "orvella/platform/canvas.h"

namespace orvella::render {

// An image the backend drew or loaded; its size is in points.
class QtImage : public Image {
public:
    QtImage(QImage image, Size points) : image_(std::move(image)), points_(points) {}
    Size size() const override { return points_; }
    const QImage& image() const { return image_; }
    // The image smoothly scaled to a pixel size, kept for the next draw at
    // that size: fish draw their icon every frame at the same size.
    const QImage& scaledTo(QSize pixels, qreal devicePixelRatio) const;

private:
    QImage image_;
    Size points_;
    mutable QImage scaled_;
};

QPainterPath toQPath(const Path& path);

// Multiplies the premultiplied pixels of `area` by `fade` (0...1): a frame
// drawn at full strength is shown at its alpha once, as a whole.
void fadePremultiplied(QImage& image, const QRect& area, double fade);

// The canvas on a QPainter whose device is `height` points tall: the tank
// draws with y up, so the painter is flipped once and images and text are
// drawn upright within it. Shadows are rendered on a small offscreen layer,
// blurred, only while a shadow is set.
class QtCanvas : public Canvas {
public:
    QtCanvas(QPainter& painter, double height, double baseAlpha = 1.0);
    // A canvas whose points reach the painter's device through `transform`.
    QtCanvas(QPainter& painter, const QTransform& transform, double baseAlpha);

    void save() override;
    void restore() override;
    void setShadow(Vector offset, double blur, Color color) override;
    void setFillColor(Color c) override;
    void setStrokeColor(Color c) override;
    void setLineWidth(double w) override;
    void setLineCap(LineCap cap) override;
    void setGlobalAlpha(double alpha) override;
    void setFrameAlpha(double alpha) override { frameAlpha_ = alpha; }
    // What the drawer asked the finished frame to be shown at.
    double frameAlpha() const { return frameAlpha_; }
    void fillPath(const Path& path, FillRule rule) override;
    void strokePath(const Path& path) override;
    void fillRect(const Rect& r, CompositeOp op) override;
    void drawImage(const Image& image, const Rect& dest, CompositeOp op, double fraction) override;
    void drawText(const std::string& utf8, Point baselineOrigin, double pointSize, bool bold) override;
    TextMetrics measureText(const std::string& utf8, double pointSize, bool bold) override;
    void setImageInterpolationHigh() override;
    // Keeps the layer as an image in device pixels, drawn again only when
    // its key, the canvas's transform or the pixel density changes.
    void drawLayer(CanvasLayer& layer, const Rect& bounds, const std::function<void(Canvas&)>& draw) override;

    // The painter clips to this rectangle of device pixels (the caller set
    // the same clip on it): solid fills and hairlines may then be drawn
    // straight into the painter's image. A painter clipped in any other way
    // is drawn on by the painter alone.
    void setDeviceClip(const QRect& pixels) { deviceClip_ = pixels; }
    // Whether solid fills and hairlines of small shapes are drawn by the
    // canvas's own rasteriser rather than the painter (on by default; the
    // tests compare the two).
    static void setOwnRasteriser(bool enabled);
    // Set whenever the painter itself draws: Qt's raster engine then hands
    // larger blends to its thread pool unless it already runs in it.
    void setPainterUseFlag(bool* used) { painterUsed_ = used; }

private:
    QFont textFont(double pointSize, bool bold) const;
    struct ShadowState {
        Vector offset;
        double blur;
        Color color;
    };
    struct State {
        Color fill{0, 0, 0, 1};
        Color stroke{0, 0, 0, 1};
        double lineWidth = 1;
        LineCap cap = LineCap::butt;
        double alpha = 1;
        std::optional<ShadowState> shadow;
    };
    // Runs one drawing operation, with the shadow beneath it when one is set.
    // `bounds` gives the operation's extent in canvas points; it is asked
    // only when a shadow needs it.
    template <class Draw, class Bounds>
    void paint(Draw&& draw, Bounds&& bounds);
    QPen pen() const;
    // The painter's image, when the canvas may draw into it directly.
    std::optional<PixelBuffer> directTarget() const;

    QPainter& p_;
    double baseAlpha_;
    double frameAlpha_ = 1;
    State state_;
    std::vector<State> stack_;
    std::optional<QRect> deviceClip_;
    bool* painterUsed_ = nullptr;
};

QColor toQColor(const Color& c);

}  // namespace orvella::render
