#include "orvella/controller/orvella_controller.h"

namespace orvella {

int OrvellaController::unreadBadgeCount(const OrvellaApp& app) const {
    const auto& counts = unreadBadgeCounts.get();
    auto it = counts.find(app.url);
    return it == counts.end() ? 0 : it->second;
}

void OrvellaController::updateBadgeWindow(FishAgent& fish) {
    auto& badge = *fish.badgeWindow;
    if (badge.count() < 1) {
        badge.surface().orderOut();
        return;
    }
    badge.surface().setAlpha(fish.window->surface().alpha());
    const Size size = badge.fittingSize();
    badge.surface().setOrigin({fish.position.x + 112 - size.width - 15, fish.position.y + 112 - size.height - 15});
    badge.surface().orderFront();
}

}  // namespace orvella
