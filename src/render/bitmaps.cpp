#include "render/bitmaps.h"

#include <QPainter>

#include "render/canvas.h"

namespace orvella::render {

std::shared_ptr<Image> QtBitmaps::makeBitmap(int pixelWidth, int pixelHeight, Size points,
                                             const std::function<void(Canvas&)>& draw) {
    if (pixelWidth <= 0 || pixelHeight <= 0 || points.width <= 0 || points.height <= 0) return nullptr;
    QImage image(pixelWidth, pixelHeight, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return nullptr;
    image.setDevicePixelRatio(pixelWidth / points.width);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        QtCanvas canvas(painter, points.height);
        draw(canvas);
    }
    return std::make_shared<QtImage>(std::move(image), points);
}

std::shared_ptr<Image> QtBitmaps::resized(const std::shared_ptr<Image>& image, Size points) {
    const auto* q = dynamic_cast<const QtImage*>(image.get());
    if (!q) return image;
    return std::make_shared<QtImage>(q->image(), points);
}

}  // namespace orvella::render
