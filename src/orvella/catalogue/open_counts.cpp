#include <algorithm>
#include <cmath>
#include <set>

#include "orvella/controller/orvella_controller.h"

namespace orvella {

std::map<std::string, int> OrvellaController::loadAppOpenCounts() {
    std::map<std::string, int> counts;
    auto stored = platform_.defaults.dictionary(kAppOpenCountsKey);
    if (!stored) return counts;
    for (const auto& [path, value] : *stored) {
        double n;
        if (value.isInteger()) n = static_cast<double>(value.asInteger());
        else if (value.isReal() && std::isfinite(value.asNumber())) n = std::trunc(value.asNumber());
        else continue;
        counts[path] = static_cast<int>(std::clamp(n, 0.0, static_cast<double>(maxFishOpenCount)));
    }
    return counts;
}

void OrvellaController::storeAppOpenCounts() {
    Value::Object object;
    for (const auto& [path, n] : appOpenCounts_) object.emplace(path, Value(n));
    platform_.defaults.set(kAppOpenCountsKey, Value(std::move(object)));
}

void OrvellaController::pruneAppOpenCounts() {
    std::set<std::string> listed;
    for (const auto& app : manualApps_) listed.insert(app.url);
    const size_t before = appOpenCounts_.size();
    std::erase_if(appOpenCounts_, [&](const auto& entry) { return !listed.count(entry.first); });
    if (appOpenCounts_.size() != before) storeAppOpenCounts();
}

double OrvellaController::growthScale(const OrvellaApp& app) const {
    auto it = appOpenCounts_.find(app.url);
    const int n = it == appOpenCounts_.end() ? 0 : it->second;
    double scale = baseFishGrowthScale;
    if (n >= 1) scale = baseFishGrowthScale + std::min(n, maxFishOpenCount) * fishGrowthPerOpen;
    return std::min(scale, maxFishGrowthScale);
}

double OrvellaController::recordAppOpenAndGrowthScale(const OrvellaApp& app) {
    auto it = appOpenCounts_.find(app.url);
    const int n = it == appOpenCounts_.end() ? 0 : it->second;
    appOpenCounts_[app.url] = std::min(n + 1, maxFishOpenCount);
    storeAppOpenCounts();
    return growthScale(app);
}

void OrvellaController::resetFishSizes() {
    appOpenCounts_.clear();
    storeAppOpenCounts();
    platform_.defaults.remove(kObsoleteFishSizeScaleKey);
    for (auto& agent : fishAgents_) {
        agent->view().setGrowthScale(growthScale(agent->app), true);
        updateWindow(*agent);
    }
}

}  // namespace orvella
