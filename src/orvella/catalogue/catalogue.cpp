#include <algorithm>
#include <set>

#include "orvella/controller/orvella_controller.h"

namespace orvella {

namespace {

// The everyday roles first; the fallbacks only when fewer than five of those
// are installed.
constexpr ApplicationRole kDefaultRoles[] = {
    ApplicationRole::webBrowser, ApplicationRole::mail,      ApplicationRole::calendar,
    ApplicationRole::terminal,   ApplicationRole::notes,     ApplicationRole::messaging,
    ApplicationRole::reminders,  ApplicationRole::design,    ApplicationRole::presentation,
};
constexpr ApplicationRole kFallbackRoles[] = {
    ApplicationRole::fileManager, ApplicationRole::systemSettings, ApplicationRole::chrome,
    ApplicationRole::codeEditor,
};
constexpr size_t kDefaultListLimit = 9;
constexpr size_t kFallbackThreshold = 5;

std::string removingAppSuffix(std::string name) {
    const std::string suffix = ".app";
    for (size_t at = name.find(suffix); at != std::string::npos; at = name.find(suffix, at))
        name.erase(at, suffix.size());
    return name;
}

}  // namespace

std::shared_ptr<Image> OrvellaApp::downsampledIcon(BitmapFactory& bitmaps, const std::shared_ptr<Image>& source) {
    const Rect bounds = Rect::make(0, 0, 72, 72);
    auto bitmap = bitmaps.makeBitmap(144, 144, bounds.size, [&](Canvas& canvas) {
        canvas.save();
        canvas.setImageInterpolationHigh();
        canvas.setFillColor({0, 0, 0, 0});
        canvas.fillRect(bounds, CompositeOp::sourceOver);
        if (source) canvas.drawImage(*source, bounds, CompositeOp::sourceOver, 1.0);
        canvas.restore();
    });
    if (!bitmap) return bitmaps.resized(source, bounds.size);
    return bitmap;
}

OrvellaApp OrvellaController::makeApp(const std::string& url) {
    OrvellaApp app;
    app.name = removingAppSuffix(platform_.workspace.displayName(url));
    app.icon = OrvellaApp::downsampledIcon(platform_.bitmaps, platform_.workspace.iconForFile(url));
    app.url = url;
    return app;
}

std::vector<OrvellaApp> OrvellaController::loadManualApplications() {
    std::vector<OrvellaApp> result;
    auto& workspace = platform_.workspace;
    if (auto stored = platform_.defaults.stringArray(kApplicationPathsKey); stored && !stored->empty()) {
        // A stored list is used as it stands: no de-duplication, no limit,
        // and an empty result stays empty.
        for (const auto& path : *stored)
            if (workspace.fileExists(path)) result.push_back(makeApp(path));
        return result;
    }

    std::vector<std::string> urls;
    for (auto role : kDefaultRoles)
        if (auto url = workspace.applicationForRole(role)) urls.push_back(*url);
    if (urls.size() < kFallbackThreshold)
        for (auto role : kFallbackRoles)
            if (auto url = workspace.applicationForRole(role)) urls.push_back(*url);

    std::set<std::string> seen;
    std::vector<std::string> kept;
    for (const auto& url : urls) {
        if (!workspace.fileExists(url)) continue;
        if (!seen.insert(url).second) continue;
        kept.push_back(url);
        if (kept.size() == kDefaultListLimit) break;
    }
    for (const auto& url : kept) result.push_back(makeApp(url));
    return result;
}

void OrvellaController::addApplication(const std::string& url) {
    if (std::any_of(manualApps_.begin(), manualApps_.end(), [&](const auto& app) { return app.url == url; })) return;
    OrvellaApp app = makeApp(url);
    appOpenCounts_[app.url] = 0;
    storeAppOpenCounts();
    manualApps_.push_back(app);
    persistManualApplications();
    apps.set(manualApps_);
    updateUnreadBadgeMonitorApps();
    if (hasStarted_) {
        const int count = static_cast<int>(manualApps_.size());
        addFish(app, count - 1, count);
    } else {
        rebuildFish();
    }
}

void OrvellaController::removeApplication(const OrvellaApp& entry) {
    // The caller's record may live in the list being changed (a tile of the
    // panel holds one from apps); keep a copy.
    const OrvellaApp app = entry;
    const std::string path = app.url;
    std::erase_if(manualApps_, [&](const auto& listed) { return listed.url == path; });
    appOpenCounts_.erase(path);
    storeAppOpenCounts();
    persistManualApplications();
    apps.set(manualApps_);
    updateUnreadBadgeMonitorApps();
    if (hasStarted_) {
        removeFish(app);
    } else {
        rebuildFish();
    }
}

void OrvellaController::persistManualApplications() {
    Value::Array paths;
    for (const auto& app : manualApps_) paths.emplace_back(app.url);
    platform_.defaults.set(kApplicationPathsKey, Value(std::move(paths)));
}

}  // namespace orvella
