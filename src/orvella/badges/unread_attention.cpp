#include <cmath>
#include <numbers>

#include "orvella/controller/orvella_controller.h"

namespace orvella {

namespace {
// The tank's clock counts from 2001-01-01; the diagnostic record from 1970.
constexpr double kSecondsFrom1970To2001 = 978307200;
constexpr double kUnreadBadgePollInterval = 3.0;

void publish(Observable<bool>& flag, bool value) {
    if (flag.get() != value) flag.set(value);
}
}  // namespace

void OrvellaController::setUnreadBadgeMonitoringEnabled(bool value) {
    if (value == unreadBadgeMonitoringEnabled()) return;
    unreadBadgeMonitoringEnabled_.set(value);
    platform_.defaults.set(kUnreadBadgeMonitoringKey, Value(value));
    if (value && !hasUnreadBadgeAccessibilityPermission.get())
        requestUnreadBadgeAccessibilityPermission();
    else
        configureUnreadBadgeMonitor();
}

void OrvellaController::requestUnreadBadgeAccessibilityPermission() {
    publish(hasUnreadBadgeAccessibilityPermission, platform_.accessibility.isProcessTrustedWithPrompt());
    // Window avoidance rests on the same permission.
    publish(hasWindowAvoidanceAccessibilityPermission, platform_.accessibility.isProcessTrusted());
    configureUnreadBadgeMonitor();
}

void OrvellaController::configureUnreadBadgeMonitor() {
    auto& access = platform_.accessibility;
    publish(hasUnreadBadgeAccessibilityPermission, access.isProcessTrusted());
    if (unreadBadgeMonitoringEnabled()) {
        if (!hasStarted_) return;
        if (!hasUnreadBadgeAccessibilityPermission.get() && !hasRequestedUnreadBadgePermissionThisLaunch) {
            hasRequestedUnreadBadgePermissionThisLaunch = true;
            publish(hasUnreadBadgeAccessibilityPermission, access.isProcessTrustedWithPrompt());
        }
        // Runs without trust too: the readings then say so.
        std::weak_ptr<int> alive = alive_;
        unreadBadgeMonitor.start(apps.get(), kUnreadBadgePollInterval, [this, alive](const UnreadBadgeSnapshot& s) {
            if (alive.lock()) handleUnreadBadgeSnapshot(s);
        });
        return;
    }
    unreadBadgeMonitor.stop();
    hasReceivedUnreadBadgeSnapshot = false;
    clearUnreadBadges();
}

void OrvellaController::clearUnreadBadges() {
    const bool shown = std::any_of(fishAgents_.begin(), fishAgents_.end(),
                                   [](const auto& fish) { return fish->view().unreadBadgeCount() >= 1; });
    if (unreadBadgeCounts.get().empty() && !shown) return;
    unreadBadgeCounts.set({});
    updateFishUnreadBadges({}, false);
}

void OrvellaController::handleUnreadBadgeSnapshot(const UnreadBadgeSnapshot& snapshot) {
    // A reading that was on its way when sensing was switched off.
    if (!unreadBadgeMonitoringEnabled()) return;
    persistUnreadBadgeDebugSnapshot(snapshot);
    publish(hasUnreadBadgeAccessibilityPermission, snapshot.hasAccessibilityPermission);
    if (!snapshot.hasAccessibilityPermission) {
        hasReceivedUnreadBadgeSnapshot = false;
        clearUnreadBadges();
        return;
    }
    if (!snapshot.didReadDock) return;
    const auto previous = unreadBadgeCounts.get();
    std::map<std::string, int> counts;
    for (const auto& [path, count] : snapshot.counts)
        if (count > 0) counts[path] = count;
    unreadBadgeCounts.set(std::move(counts));
    // The first reading fills the badges without anyone reacting.
    const bool emit = hasReceivedUnreadBadgeSnapshot;
    hasReceivedUnreadBadgeSnapshot = true;
    updateFishUnreadBadges(previous, emit);
}

void OrvellaController::updateUnreadBadgeMonitorApps() {
    if (!unreadBadgeMonitoringEnabled()) return;
    unreadBadgeMonitor.updateApps(apps.get());
    std::map<std::string, int> kept;
    for (const auto& app : apps.get()) {
        const auto& counts = unreadBadgeCounts.get();
        if (auto it = counts.find(app.url); it != counts.end()) kept.insert(*it);
    }
    if (kept == unreadBadgeCounts.get()) return;
    unreadBadgeCounts.set(std::move(kept));
    updateFishUnreadBadges({}, false);
}

void OrvellaController::updateFishUnreadBadges(const std::map<std::string, int>& previousCounts, bool emitPulses) {
    // Effects may change the list (an overlay appears); walk a copy.
    const auto fish = fishAgents_;
    for (const auto& agent : fish) {
        const std::string& key = agent->app.url;
        const auto& counts = unreadBadgeCounts.get();
        const auto now = counts.find(key);
        const auto then = previousCounts.find(key);
        const int count = now == counts.end() ? 0 : now->second;
        const int before = then == previousCounts.end() ? 0 : then->second;
        agent->view().setUnreadBadgeCount(count);
        agent->badgeWindow->setCount(count);
        updateBadgeWindow(*agent);
        if (emitPulses && before < count)
            showUnreadMessageEffect(*agent);
        else if (count == 0)
            agent->unreadAttention.reset();
    }
}

void OrvellaController::showUnreadMessageEffect(FishAgent& fish) {
    const Time now = platform_.clock.now();
    fish.view().pulse = 1;
    fish.view().animatePulse();
    // The application is already in front: the pulse says enough.
    if (isFrontmostApplication(fish.app)) {
        fish.unreadAttention.reset();
        return;
    }
    fish.unreadAttention = UnreadAttention{now, randomDouble(platform_.random, 0, 2 * std::numbers::pi), std::nullopt};
    const Vector d = cursorPoint - fish.center();
    fish.velocity += d / std::max(d.length(), 1.0) * (swimSpeed() * 1.7);
    if (WaterOverlayWindow* overlay = waterOverlay(fish.displayID)) {
        const Point c = fish.center();
        const Point origin = overlay->frame().origin;
        overlay->waterView().addFoodBurst({c.x - origin.x, c.y - origin.y}, now);
    }
}

void OrvellaController::persistUnreadBadgeDebugSnapshot(const UnreadBadgeSnapshot& snapshot) {
    Value::Object counts;
    for (const auto& [path, count] : snapshot.counts) counts[path] = Value(count);
    auto& d = platform_.defaults;
    d.set(kUnreadBadgeDebugPermissionKey, Value(snapshot.hasAccessibilityPermission));
    d.set(kUnreadBadgeDebugDidReadDockKey, Value(snapshot.didReadDock));
    d.set(kUnreadBadgeDebugCountsKey, Value(std::move(counts)));
    d.set(kUnreadBadgeDebugUpdatedAtKey, Value(platform_.clock.now() + kSecondsFrom1970To2001));
}

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
