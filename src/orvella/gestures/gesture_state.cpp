#include <algorithm>

#include "orvella/controller/orvella_controller.h"

namespace orvella {

namespace {
void prune(std::vector<Time>& clicks, Time now, double window) {
    std::erase_if(clicks, [&](Time t) { return now - t > window; });
}
}  // namespace

void OrvellaController::installMouseMonitors() {
    std::weak_ptr<int> alive = alive_;
    // Events of other applications' windows arrive here with the location
    // the backend read as the event arrived; asking for the pointer again
    // now would give where it went since. Handled on the main queue.
    eventMonitors_.push_back(platform_.mouse.addGlobalMonitor([this, alive](const MouseEvent& e) {
        platform_.scheduler.dispatchMain([this, alive, e] {
            if (alive.lock()) handleMouse(e.type, e.modifiers, e.location);
        });
    }));
    // Events of this application's own windows: handled at once, before the
    // window sees them.
    eventMonitors_.push_back(platform_.mouse.addLocalMonitor([this, alive](const MouseEvent& e) {
        if (alive.lock()) handleMouse(e.type, e.modifiers, platform_.mouse.mouseLocation());
    }));
}

void OrvellaController::handleMouse(MouseEvent::Type type, Modifiers modifiers, Point p) {
    previousCursorPoint = cursorPoint;
    cursorPoint = p;
    const Time now = platform_.clock.now();
    if (type != MouseEvent::Type::leftMouseDown) return;
    if (!hasScreenGestureConflict()) {
        const bool onDesktop = !isInsideInteractiveWindow(p) && isPointInsideEnabledDisplay(p);
        if (onDesktop && matchesGesture(dispersalModifier(), modifiers)) {
            clearClickAttraction(false);
            registerRapidDispersalClick(p, now);
            return;
        }
        if (onDesktop && matchesGesture(attractionModifier(), modifiers)) {
            recentDispersalClicks.clear();
            registerRapidAttractionClick(p, now);
            return;
        }
    }
    // Any other click ends a running attraction and resets both counts.
    clearClickAttraction(false);
    recentDispersalClicks.clear();
}

bool OrvellaController::matchesGesture(FishScreenGesture gesture, Modifiers m) {
    switch (gesture) {
        case FishScreenGesture::tripleClick: return m.none();
        case FishScreenGesture::commandTripleClick: return m == Modifiers{true, false, false, false};
        case FishScreenGesture::optionTripleClick: return m == Modifiers{false, true, false, false};
        case FishScreenGesture::controlTripleClick: return m == Modifiers{false, false, true, false};
        case FishScreenGesture::shiftTripleClick: return m == Modifiers{false, false, false, true};
    }
    return false;
}

bool OrvellaController::isInsideInteractiveWindow(Point p) const {
    for (const auto& agent : fishAgents_) {
        const Rect f = agent->window->surface().frame();
        if (f.contains(p) && agent->view().containsInteractivePoint(p - (f.origin - Point{}))) return true;
    }
    // The system's other windows that take clicks: the visible badges, and
    // the settings window, dialogs and menus.
    for (const auto& agent : fishAgents_) {
        const Surface& badge = agent->badgeWindow->surface();
        if (badge.isVisible() && badge.frame().contains(p)) return true;
    }
    const auto others = platform_.surfaces.otherInteractiveWindowFrames();
    return std::any_of(others.begin(), others.end(), [&](const Rect& frame) { return frame.contains(p); });
}

void OrvellaController::registerRapidAttractionClick(Point p, Time t) {
    prune(recentAttractionClicks, t, continuousClickWindow);
    prune(recentGuaranteedAttractionClicks, t, guaranteedAttractionClickWindow);
    recentAttractionClicks.push_back(t);
    recentGuaranteedAttractionClicks.push_back(t);
    const bool guaranteed =
        static_cast<int>(recentGuaranteedAttractionClicks.size()) >= guaranteedAttractionClickThreshold ||
        attractionRequiresArrival;
    if (!guaranteed && static_cast<int>(recentAttractionClicks.size()) < continuousClickThreshold) {
        clearClickAttraction(true);
        return;
    }
    startAttraction(p, t, guaranteed);
}

void OrvellaController::startAttraction(Point p, Time t, bool guaranteed) {
    const double duration = guaranteed ? guaranteedAttractionMaxDuration : sustainedAttractionDuration;
    dispersalOriginPoint.reset();
    dispersalExpiresAt.reset();
    cursorAttractionEnabled = true;
    attractionTargetPoint = p;
    attractionRequiresArrival = guaranteed;
    attractionArrivedAt.reset();
    attractionExpiresAt = t + duration;
    if (auto* overlay = waterOverlayContaining(p))
        overlay->waterView().addFoodBurst(p - (overlay->frame().origin - Point{}), t);
    const double impulse = (guaranteed ? guaranteedAttractionImpulse : attractionImpulse) * swimSpeed();
    for (auto& fish : fishAgents_) {
        const Vector d = p - fish->center();
        fish->velocity += d * (impulse / std::max(d.length(), 1.0));
    }
}

Point OrvellaController::schoolCommandPoint() {
    // Where the pointer was last seen, when this session shows it; else the
    // middle of the display the school swims on.
    if (platform_.awareness.abilities().pointer && isPointInsideEnabledDisplay(cursorPoint)) return cursorPoint;
    const auto areas = swimAreas();
    if (auto area = activeSwimArea(areas)) return area->visibleFrame.center();
    return cursorPoint;
}

void OrvellaController::attractSchool(std::optional<Point> at) {
    const Point p = at ? *at : schoolCommandPoint();
    // As the third of three quick clicks: the counts of clicks start over.
    recentAttractionClicks.clear();
    recentGuaranteedAttractionClicks.clear();
    recentDispersalClicks.clear();
    startAttraction(p, platform_.clock.now(), false);
}

void OrvellaController::disperseSchool(std::optional<Point> at) {
    const Point p = at ? *at : schoolCommandPoint();
    startDispersal(p, platform_.clock.now());
}

void OrvellaController::registerRapidDispersalClick(Point p, Time t) {
    prune(recentDispersalClicks, t, continuousClickWindow);
    recentDispersalClicks.push_back(t);
    if (static_cast<int>(recentDispersalClicks.size()) >= continuousClickThreshold) startDispersal(p, t);
}

void OrvellaController::startDispersal(Point p, Time t) {
    clearClickAttraction(false);
    recentDispersalClicks.clear();
    dispersalOriginPoint = p;
    dispersalExpiresAt = t + dispersalDuration;
    if (auto* overlay = waterOverlayContaining(p))
        overlay->waterView().addSonicWaveBurst(p - (overlay->frame().origin - Point{}), t);
    const auto areas = swimAreas();
    std::optional<SwimArea> area;
    for (const auto& a : areas)
        if (a.contains(p)) {
            area = a;
            break;
        }
    if (!area) area = activeSwimArea(areas);
    if (!area) return;
    activeDisplayID_ = area->id;
    const Rect B = originRect(area->visibleFrame);
    const auto fish = fishAgents_;
    for (size_t j = 0; j < fish.size(); ++j) {
        FishAgent& agent = *fish[j];
        if (agent.displayID != area->id) continue;
        agent.pausedUntil.reset();
        agent.view().clearCapture();
        const Point target = dispersalTarget(agent, static_cast<int>(j), p, B);
        const Vector d = target - agent.position;
        agent.velocity += d * (dispersalImpulse * swimSpeed() / std::max(d.length(), 1.0));
        updateWindow(agent);
    }
}

void OrvellaController::clearClickAttraction(bool keepRecentClicks) {
    cursorAttractionEnabled = false;
    attractionTargetPoint.reset();
    attractionExpiresAt.reset();
    attractionRequiresArrival = false;
    attractionArrivedAt.reset();
    if (!keepRecentClicks) {
        recentAttractionClicks.clear();
        recentGuaranteedAttractionClicks.clear();
    }
}

void OrvellaController::expireClickAttractionIfNeeded(Time t) {
    prune(recentAttractionClicks, t, continuousClickWindow);
    prune(recentGuaranteedAttractionClicks, t, guaranteedAttractionClickWindow);
    if (attractionExpiresAt && t >= *attractionExpiresAt) {
        clearClickAttraction(true);
        return;
    }
    if (attractionRequiresArrival && attractionTargetPoint) {
        for (const auto& fish : fishAgents_) {
            if (!((fish->center() - *attractionTargetPoint).length() <= guaranteedAttractionArrivalRadius)) {
                attractionArrivedAt.reset();
                return;
            }
        }
        if (!attractionArrivedAt) attractionArrivedAt = t;
        if (t - *attractionArrivedAt >= guaranteedAttractionArrivalDwellDuration) clearClickAttraction(true);
    }
}

void OrvellaController::expireDispersalIfNeeded(Time t) {
    prune(recentDispersalClicks, t, continuousClickWindow);
    if (dispersalExpiresAt && t >= *dispersalExpiresAt) {
        dispersalOriginPoint.reset();
        dispersalExpiresAt.reset();
    }
}

void OrvellaController::syncWaterOverlays() {
    if (!hasStarted_) return;
    const auto screens = enabledScreens();
    std::map<std::string, DisplayInfo> byID;
    for (const auto& s : screens) byID.emplace(orvellaDisplayID(s), s);
    for (auto it = waterWindows_.begin(); it != waterWindows_.end();) {
        auto screen = byID.find(it->first);
        if (screen == byID.end()) {
            it = waterWindows_.erase(it);  // closes it
            continue;
        }
        if (it->second->frame() != screen->second.frame)
            it->second = std::make_unique<WaterOverlayWindow>(platform_.surfaces, screen->second, it->first,
                                                              platform_.random);
        ++it;
    }
}

WaterOverlayWindow* OrvellaController::waterOverlay(const std::string& id) {
    for (const auto& screen : enabledScreens()) {
        if (orvellaDisplayID(screen) != id) continue;
        auto& slot = waterWindows_[id];
        if (!slot || slot->frame() != screen.frame)
            slot = std::make_unique<WaterOverlayWindow>(platform_.surfaces, screen, id, platform_.random);
        return slot.get();
    }
    return nullptr;
}

WaterOverlayWindow* OrvellaController::waterOverlayContaining(Point p) {
    for (const auto& screen : enabledScreens())
        if (screen.visibleFrame.contains(p) || screen.frame.contains(p)) return waterOverlay(orvellaDisplayID(screen));
    return nullptr;
}

void OrvellaController::updateWaterOverlays(Time t) {
    bool shown = false;
    std::vector<std::string> idle;
    for (auto& [id, window] : waterWindows_) {
        auto& view = window->waterView();
        const bool active = attractionTargetPoint && cursorAttractionEnabled &&
                            window->frame().contains(*attractionTargetPoint);
        if (active) {
            view.cursorPoint = *attractionTargetPoint - (window->frame().origin - Point{});
            view.attractionStrength = 1;
        } else {
            view.cursorPoint = {};
            view.attractionStrength = 0;
        }
        if (view.needsAnimationFrame(t, active)) {
            if (!window->surface().isVisible()) {
                window->surface().orderFront();
                shown = true;
            }
            view.phase = t;
            window->redrawChangedRegion();
        } else {
            idle.push_back(id);
        }
    }
    if (shown) orderFishWindowsAboveWater();
    for (const auto& id : idle) waterWindows_.erase(id);
}

void OrvellaController::orderFishWindowsAboveWater() {
    for (auto& agent : fishAgents_) {
        if (agent->window->surface().isVisible()) agent->window->surface().orderFront();
        if (agent->badgeWindow->surface().isVisible()) agent->badgeWindow->surface().orderFront();
    }
}

}  // namespace orvella
