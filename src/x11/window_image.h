#pragma once
// The X window behind a surface and the image it shows: drawn into memory
// shared with the X server where it can be, put on the window without a
// backing store, and cut to its drawn pixels where there is no compositor.

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QWindow>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "desktop/click_counter.h"
#include "orvella/platform/surfaces.h"

namespace orvella::x11 {

class X11Surface;

// The X window behind a surface: an override-redirect, translucent window
// that never takes focus. Its content is drawn into an image of its own and
// put on the window directly, without a backing store.
class SurfaceWindow : public QWindow {
public:
    explicit SurfaceWindow(X11Surface& owner);
    ~SurfaceWindow() override;
    // Draws the content into the window's image (on the render thread).
    bool prepare();
    // Runs on the render thread, or on the main thread when the last frame
    // needed no painter.
    void drawImage();
    // Whether the last frame was drawn with Qt's painter (or none was drawn
    // yet), rather than by the canvas's own rasteriser alone.
    bool drewWithPainter() const { return drewWithPainter_; }
    // Puts the prepared image on the window.
    void upload();
    // What the next drawing covers: all of it, or a part (surface points).
    void markDirty(std::optional<QRectF> area);
    // Without a compositor the window is cut to its drawn pixels (the X
    // bounding shape); with one the shape is dropped again.
    void updateBoundingShape(bool composited);

protected:
    void exposeEvent(QExposeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void deliver(QMouseEvent* event, SurfaceMouseEvent::Type type, int clickCount);
    X11Surface& owner_;
    desktop::ClickCounter clicks_;
    void releaseShared();
    QImage image_;
    // Painting on image_ from one frame to the next: beginning a painter is
    // a good part of a small window's frame.
    std::unique_ptr<QPainter> painter_;
    QRect dirty_;        // device pixels; empty = nothing to draw
    QRect drawing_;      // the area the last drawImage covered
    bool drewWithPainter_ = true;
    unsigned int gc_ = 0;
    // The image lives in memory shared with the X server where it can, so
    // putting it on the window copies nothing.
    struct Shared;
    std::unique_ptr<Shared> shared_;
    bool sharedFailed_ = false;
    // The opaque runs of each pixel row, (x, width) pairs, kept between
    // drawings so that only redrawn rows are scanned again.
    std::vector<std::vector<std::pair<short, unsigned short>>> rowRuns_;
    bool shaped_ = false;
};

}  // namespace orvella::x11
