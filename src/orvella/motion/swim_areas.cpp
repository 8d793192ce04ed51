#include "orvella/controller/orvella_controller.h"

namespace orvella {

std::vector<DisplayInfo> OrvellaController::enabledScreens() const {
    auto screens = platform_.displays.screens();
    if (screens.empty()) {
        if (auto main = platform_.displays.mainScreen()) return {*main};
    }
    return screens;
}

std::vector<SwimArea> OrvellaController::swimAreas() const {
    std::vector<SwimArea> areas;
    for (const auto& display : enabledScreens()) areas.push_back(makeSwimArea(display));
    return areas;
}

void OrvellaController::selectArea(const SwimArea& area) {
    if (activeDisplayID_ && *activeDisplayID_ == area.id) return;
    const Rect& v = area.visibleFrame;
    if (previousCursorPoint.y > v.maxY()) activeEntryEdge_ = ScreenEntryEdge::top;
    else if (previousCursorPoint.y < v.minY()) activeEntryEdge_ = ScreenEntryEdge::bottom;
    else activeEntryEdge_ = cursorPoint.y < v.midY() ? ScreenEntryEdge::bottom : ScreenEntryEdge::top;
    activeDisplayID_ = area.id;
}

std::optional<SwimArea> OrvellaController::activeSwimArea(const std::vector<SwimArea>& areas) {
    if (areas.empty()) return std::nullopt;
    if (cursorAttractionEnabled && attractionTargetPoint) {
        for (const auto& area : areas)
            if (area.contains(*attractionTargetPoint)) {
                selectArea(area);
                return area;
            }
    }
    for (const auto& area : areas)
        if (area.contains(cursorPoint)) {
            selectArea(area);
            return area;
        }
    if (activeDisplayID_) {
        for (const auto& area : areas)
            if (area.id == *activeDisplayID_) return area;
    }
    selectArea(areas.front());
    return areas.front();
}

Rect OrvellaController::movementBoundaryFrame(const SwimArea& active, const std::vector<SwimArea>& areas) const {
    if (isDispersalInForce()) return originRect(active.visibleFrame);
    if (areas.empty()) return active.frame;
    Rect bounds = areas.front().frame;
    for (const auto& area : areas) bounds = bounds.unionWith(area.frame);
    return bounds;
}

bool OrvellaController::isPointInsideEnabledDisplay(Point p) const {
    for (const auto& display : enabledScreens())
        if (display.visibleFrame.contains(p) || display.frame.contains(p)) return true;
    return false;
}

}  // namespace orvella
