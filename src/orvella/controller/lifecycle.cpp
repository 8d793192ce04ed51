#include <algorithm>

#include "orvella/controller/orvella_controller.h"

namespace orvella {

OrvellaController::OrvellaController(Platform& platform) : activeWindowMonitor(platform), unreadBadgeMonitor(platform), platform_(platform) {
    cursorPoint = platform_.mouse.mouseLocation();
    previousCursorPoint = cursorPoint;
    const bool trusted = platform_.accessibility.isProcessTrusted();
    hasUnreadBadgeAccessibilityPermission.setSilently(trusted);
    hasWindowAvoidanceAccessibilityPermission.setSilently(trusted);

    loadSettings();
    appOpenCounts_ = loadAppOpenCounts();
    manualApps_ = loadManualApplications();
    pruneAppOpenCounts();
    apps.set(manualApps_);
    // Overlays are created on demand and no fish exist before start.
    syncWaterOverlays();

    auto changed = [this] { notifyChanges(); };
    apps.observe(changed);
    iconOpacityStorage_.observe(changed);
    swimSpeedStorage_.observe(changed);
    fishOpenModifier_.observe(changed);
    attractionModifier_.observe(changed);
    dispersalModifier_.observe(changed);
    unreadBadgeMonitoringEnabled_.observe(changed);
    windowAvoidanceEnabled_.observe(changed);
    stillWaterModeEnabled_.observe(changed);
    hasUnreadBadgeAccessibilityPermission.observe(changed);
    hasWindowAvoidanceAccessibilityPermission.observe(changed);
    unreadBadgeCounts.observe(changed);
    // A provider coming or going changes what the panel and menu offer.
    awarenessObserver_ = platform_.awareness.addChangeObserver(changed);
}

int OrvellaController::observeChanges(std::function<void()> fn) {
    const int token = nextChangeObserver_++;
    changeObservers_.emplace(token, std::move(fn));
    return token;
}

void OrvellaController::notifyChanges() {
    // Copied: an observer may remove itself.
    auto observers = changeObservers_;
    for (auto& [token, fn] : observers) fn();
}

OrvellaController::~OrvellaController() {
    platform_.awareness.removeChangeObserver(awarenessObserver_);
    stop();
    waterWindows_.clear();
    for (auto& agent : fishAgents_) {
        agent->window->close();
        agent->badgeWindow->close();
    }
}

void OrvellaController::start() {
    hasStarted_ = true;
    syncWaterOverlays();
    rebuildFish();
    installMouseMonitors();
    installNotificationObservers();
    startMotion();
    configureUnreadBadgeMonitor();
}

void OrvellaController::installNotificationObservers() {
    std::weak_ptr<int> alive = alive_;
    const int token = platform_.displays.addChangeObserver([this, alive] {
        if (!alive.lock()) return;
        syncWaterOverlays();
        if (hasStarted_) rebuildFish();
    });
    notificationTokens_.push_back(token);
}

void OrvellaController::stop() {
    if (motionTimer_) {
        platform_.scheduler.cancel(*motionTimer_);
        motionTimer_.reset();
    }
    for (int handle : eventMonitors_) platform_.mouse.removeMonitor(handle);
    eventMonitors_.clear();
    for (int token : notificationTokens_) platform_.displays.removeChangeObserver(token);
    notificationTokens_.clear();
    unreadBadgeMonitor.stop();
}

FishViewServices OrvellaController::fishViewServices() {
    std::weak_ptr<int> alive = alive_;
    return FishViewServices{
        platform_.clock, platform_.random, platform_.scheduler, platform_.workspace,
        [this, alive]() -> std::optional<double> {
            if (!alive.lock()) return std::nullopt;
            return iconOpacity();
        },
        [this, alive]() -> FishInputHandler* { return alive.lock() ? this : nullptr; },
        [this] { return platform_.mouse.mouseLocation(); }};
}

void OrvellaController::rebuildFish() {
    for (auto& agent : fishAgents_) {
        agent->window->close();
        agent->badgeWindow->close();
    }
    fishAgents_.clear();

    const auto areas = swimAreas();
    const auto& list = apps.get();
    if (list.empty()) return;
    const auto area = activeSwimArea(areas);
    if (!area) return;

    const int count = static_cast<int>(list.size());
    for (int i = 0; i < count; ++i) {
        auto agent = makeFishAgent(list[static_cast<size_t>(i)], *area, i, count, iconOpacity());
        fishAgents_.push_back(agent);
        agent->window->surface().orderFront();
        updateBadgeWindow(*agent);
    }
}

void OrvellaController::addFish(const OrvellaApp& app, int index, int count) {
    const auto area = activeSwimArea(swimAreas());
    if (!area) return;
    auto agent = makeFishAgent(app, *area, index, count, 0);
    agent->fadeInLevel = 0;
    fishAgents_.push_back(agent);
    agent->window->surface().orderFront();

    // The fade animates the share of the opacity the window shows, so the
    // motion steps running meanwhile keep easing the opacity itself.
    std::weak_ptr<FishAgent> weakAgent = agent;
    std::weak_ptr<int> alive = alive_;
    platform_.scheduler.animate(
        0, 1, fishFadeInDuration,
        [this, alive, weakAgent](double level) {
            auto fish = weakAgent.lock();
            if (!fish || fish->isLeaving || !alive.lock()) return;
            fish->fadeInLevel = level;
            if (!fish->window->surface().isClosed()) fish->window->surface().setAlpha(iconOpacity() * level);
        },
        [weakAgent] {
            if (auto fish = weakAgent.lock()) fish->fadeInLevel = 1;
        });
    updateBadgeWindow(*agent);
}

void OrvellaController::removeFish(const OrvellaApp& app) {
    auto it = std::find_if(fishAgents_.begin(), fishAgents_.end(),
                           [&](const auto& agent) { return agent->app.sameApplication(app); });
    if (it == fishAgents_.end()) return;
    std::shared_ptr<FishAgent> agent = *it;
    fishAgents_.erase(it);
    // A fish still fading in stops doing so: two fades writing one window
    // make it flicker.
    agent->isLeaving = true;

    agent->window->surface().setIgnoresMouseEvents(true);
    agent->badgeWindow->close();
    Surface& surface = agent->window->surface();
    // The completion keeps the agent, and so its window, alive until the
    // fade has run; then the window closes.
    platform_.scheduler.animate(
        surface.alpha(), 0, fishFadeOutDuration,
        [agent](double alpha) {
            if (!agent->window->surface().isClosed()) agent->window->surface().setAlpha(alpha);
        },
        [agent] { agent->window->close(); });
}

}  // namespace orvella
