#pragma once

#include <memory>
#include <string>

#include "orvella/platform/canvas.h"

namespace orvella {

// One catalogue application. Two records denote the same application when
// their paths are equal; names and icons are never compared.
struct OrvellaApp {
    std::string name;
    std::string url;  // location of the application (its desktop file)
    std::shared_ptr<Image> icon;

    const std::string& id() const { return url; }
    bool sameApplication(const OrvellaApp& other) const { return url == other.url; }

    // The icon redrawn once into a 144 x 144 pixel bitmap shown at 72 x 72
    // points, so that nothing larger is ever scaled while drawing fish.
    static std::shared_ptr<Image> downsampledIcon(BitmapFactory& bitmaps,
                                                  const std::shared_ptr<Image>& source);
};

}  // namespace orvella
