#pragma once
// One frame of a surface, drawn into the image both backends hand to their
// server (an X shared-memory image, a Wayland shm buffer): the changed area
// is cleared, the tank's drawing is drawn into it clipped to it, at full
// strength, and the drawn pixels are then faded as a whole.

#include <QImage>
#include <QPainter>
#include <QRect>
#include <functional>
#include <memory>

#include "orvella/platform/canvas.h"

namespace orvella::render {

struct SurfaceFrame {
    // The pixels to draw again, in the image's device pixels.
    QRect area;
    // The surface's height in points: the canvas draws with y up.
    double height = 0;
    // The surface's own alpha; the drawing's frame alpha multiplies it.
    double alpha = 1;
    // Where nothing can be translucent (X11 without a compositor), the
    // frame stays at full strength.
    bool translucent = true;
};

// Draws one frame. `painter` is kept from one frame to the next by the
// caller (beginning a painter is a good part of a small surface's frame),
// made here when first needed. Returns whether Qt's painter drew anything,
// rather than the canvas's own rasteriser alone.
bool drawSurfaceFrame(QImage& image, std::unique_ptr<QPainter>& painter, const SurfaceFrame& frame,
                      const std::function<void(Canvas&)>& draw);

}  // namespace orvella::render
