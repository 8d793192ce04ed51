#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "orvella/catalogue/orvella_app.h"
#include "orvella/platform/platform.h"

namespace orvella {

// One reading of the dock's badges.
struct UnreadBadgeSnapshot {
    // Per catalogue path, 0...999; every listed application has an entry
    // when the dock was read, and the map is empty otherwise.
    std::map<std::string, int> counts;
    bool hasAccessibilityPermission = false;
    bool didReadDock = false;
};

// How the dock may list one catalogue application.
struct AppDescriptor {
    std::string id;                         // the catalogue path, the key of the counts
    std::set<std::string> paths;            // standardised paths
    std::set<std::string> normalizedNames;  // never holds the empty string
};

// Reads the dock's badges every few seconds on a queue of its own and hands
// each reading to the main thread. Knows nothing of fish.
class UnreadBadgeMonitor {
public:
    explicit UnreadBadgeMonitor(Platform& platform);
    ~UnreadBadgeMonitor();
    UnreadBadgeMonitor(const UnreadBadgeMonitor&) = delete;
    UnreadBadgeMonitor& operator=(const UnreadBadgeMonitor&) = delete;

    // Main thread. Restarts monitoring with this list and callback and
    // polls at once.
    void start(const std::vector<OrvellaApp>& apps, double interval,
               std::function<void(const UnreadBadgeSnapshot&)> onSnapshot);
    // Main thread. Replaces the list; polls at once while running.
    void updateApps(const std::vector<OrvellaApp>& apps);
    // Main thread. A reading already on its way may still arrive.
    void stop();

    // The rules, exposed for tests.
    AppDescriptor makeDescriptor(const OrvellaApp& app) const;
    std::optional<std::map<std::string, int>> readDockBadgeCounts(const std::vector<AppDescriptor>& descriptors) const;
    static std::string normalizedName(const std::string& name);
    static bool containsNotificationCue(const std::string& text);
    static std::optional<int> numericBadgeCount(const std::optional<std::string>& text, bool requiresNotificationCue);
    static int badgeCount(const DockItem& item);
    // A string as the dock gives it: a file URL stands for its path.
    static std::string stringAttribute(const std::string& value);

private:
    std::vector<AppDescriptor> descriptorsFor(const std::vector<OrvellaApp>& apps) const;
    // On the queue.
    void poll();
    void emit(UnreadBadgeSnapshot snapshot);

    Platform& platform_;
    // Touched only on the queue.
    std::optional<int> timer_;
    std::vector<AppDescriptor> descriptors_;
    std::function<void(const UnreadBadgeSnapshot&)> onSnapshot_;
    // Last, so that it is destroyed first: its work stops before the fields
    // above go away.
    std::unique_ptr<WorkQueue> queue_;
};

}  // namespace orvella
