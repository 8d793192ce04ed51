#include <algorithm>
#include <cmath>

#include "orvella/controller/orvella_controller.h"

namespace orvella {

std::shared_ptr<FishAgent> OrvellaController::makeFishAgent(const OrvellaApp& app, const SwimArea& area, int index,
                                                            int count, double alpha) {
    auto window = std::make_unique<FishWindow>(app, platform_.surfaces, fishViewServices());
    window->surface().setAlpha(alpha);
    window->fishView().setGrowthScale(growthScale(app), false);
    window->fishView().setUnreadBadgeCount(unreadBadgeCount(app));

    const Point spawn = edgeSpawnPoint(area, index, count);
    const double s = swimSpeed();
    const double vx = randomDouble(platform_.random, -1.2, 1.2) * s;
    const double vy = (activeEntryEdge_ == ScreenEntryEdge::top ? -1.25 : 1.25) * s;
    const double seed = randomDouble(platform_.random, 0, 1000);

    auto agent = std::make_shared<FishAgent>(app, std::move(window),
                                             std::make_unique<UnreadBadgeWindow>(platform_.surfaces, app.name));
    // A rebuilt fish shows its pill at once instead of at the next reading.
    agent->badgeWindow->setCount(unreadBadgeCount(app));
    agent->displayID = area.id;
    agent->position = spawn;
    agent->velocity = {vx, vy};
    agent->seed = seed;

    agent->window->surface().setOrigin(spawn);
    updateWindow(*agent);
    agent->window->surface().setAlpha(alpha);
    return agent;
}

Point OrvellaController::edgeSpawnPoint(const SwimArea& area, int index, int count) const {
    const double x0 = area.contains(cursorPoint) ? cursorPoint.x : area.frame.midX();
    const double i = index;
    const double n = std::max(count, 1);
    double x = x0 + (i - (n - 1) / 2) * fishSpawnSpacing + std::sin(i * 1.7) * 18;
    x = std::max(x, area.frame.minX());
    x = std::min(x, area.frame.maxX());
    const double y = activeEntryEdge_ == ScreenEntryEdge::bottom ? area.frame.minY() + 8 : area.frame.maxY() - 18;
    return {x, y};
}

void OrvellaController::updateAgentDisplayID(FishAgent& agent, const std::vector<SwimArea>& areas,
                                             const SwimArea& fallback) {
    const Point c = agent.center();
    for (const auto& area : areas)
        if (area.contains(c)) {
            agent.displayID = area.id;
            return;
        }
    for (const auto& area : areas)
        if (area.id == agent.displayID) return;
    agent.displayID = fallback.id;
}

}  // namespace orvella
