#pragma once
// Bitmaps drawn once by the canvas and kept (a fish's plate, a badge).

#include "orvella/platform/canvas.h"

namespace orvella::render {

class QtBitmaps : public BitmapFactory {
public:
    std::shared_ptr<Image> makeBitmap(int pixelWidth, int pixelHeight, Size points,
                                      const std::function<void(Canvas&)>& draw) override;
    std::shared_ptr<Image> resized(const std::shared_ptr<Image>& image, Size points) override;
};

}  // namespace orvella::render
