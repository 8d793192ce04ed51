#include "render/surface_frame.h"

#include <algorithm>
#include <cstring>

#include "render/canvas.h"

namespace orvella::render {

bool drawSurfaceFrame(QImage& image, std::unique_ptr<QPainter>& painter, const SurfaceFrame& frame,
                      const std::function<void(Canvas&)>& draw) {
    const QRect area = frame.area & image.rect();
    if (area.isEmpty()) return false;
    // Cleared by hand: the painter would blend transparent spans. Only the
    // changed area: overlays are as large as their display.
    const qsizetype stride = image.bytesPerLine();
    // Asked for once: each asking checks whether the image is shared.
    uchar* const bits = image.bits();
    for (int y = area.top(); y <= area.bottom(); ++y)
        std::memset(bits + y * stride + 4 * area.left(), 0, static_cast<std::size_t>(4 * area.width()));
    if (!draw) return false;
    bool usedPainter = false;
    if (!painter) painter = std::make_unique<QPainter>(&image);
    // The canvas sets transform, opacity and hints itself; only the clip is
    // left to undo.
    const bool clipped = area != image.rect();
    if (clipped) {
        const qreal dpr = image.devicePixelRatio();
        painter->resetTransform();
        painter->setClipRect(QRectF(area.x() / dpr, area.y() / dpr, area.width() / dpr, area.height() / dpr));
    }
    double fade = frame.alpha;
    {
        // Drawn at full strength and faded once, as a whole: an opaque icon
        // then hides the tail beneath it.
        QtCanvas canvas(*painter, frame.height, 1.0);
        if (clipped) canvas.setDeviceClip(area);
        canvas.setPainterUseFlag(&usedPainter);
        draw(canvas);
        fade *= canvas.frameAlpha();
    }
    if (clipped) painter->setClipping(false);
    if (frame.translucent && fade < 1) fadePremultiplied(image, area, std::clamp(fade, 0.0, 1.0));
    return usedPainter;
}

}  // namespace orvella::render
