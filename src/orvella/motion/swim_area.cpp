#include "orvella/motion/swim_area.h"

#include <algorithm>
#include <cstdint>

namespace orvella {

std::string orvellaDisplayID(const DisplayInfo& display) {
    if (display.number) return std::to_string(*display.number);
    const Rect& f = display.frame;
    auto part = [](double v) { return std::to_string(static_cast<std::int64_t>(v)); };
    return part(f.minX()) + ":" + part(f.minY()) + ":" + part(f.width()) + ":" + part(f.height());
}

double swimFrameInset(double extent) { return std::min(std::max(extent * 0.12, 24.0), 96.0); }

SwimArea makeSwimArea(const DisplayInfo& display) {
    const Rect& v = display.visibleFrame;
    return {orvellaDisplayID(display), v, v.insetBy(swimFrameInset(v.width()), swimFrameInset(v.height()))};
}

Rect originRect(const Rect& v) {
    return Rect::make(v.minX() + 8, v.minY() + 8, std::max(v.width() - 112 - 16, 1.0),
                      std::max(v.height() - 112 - 16, 1.0));
}

}  // namespace orvella
