#pragma once
// Badge counts that applications announce for their launchers, heard on the
// session bus (com.canonical.Unity.LauncherEntry, as docks and task bars
// read them), kept as the dock items the badge reader expects.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "orvella/platform/accessibility.h"

typedef struct _GVariant GVariant;
typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;

namespace orvella::desktop {

class LauncherEntries {
public:
    // Listens on its own thread; without a session bus it hears nothing.
    LauncherEntries();
    ~LauncherEntries();
    LauncherEntries(const LauncherEntries&) = delete;
    LauncherEntries& operator=(const LauncherEntries&) = delete;

    // Absent without a bus connection or before the first application was
    // heard. Safe from any thread.
    std::optional<std::vector<DockItem>> items() const;
    bool isListening() const;

    // One Update(s app_uri, a{sv} properties) signal's parameters, sent by
    // the bus name `sender`; false when they are malformed and changed
    // nothing.
    bool handleUpdate(GVariant* parameters, const std::string& sender = {});
    // A name left the bus: the counts it announced go with it, as docks
    // drop the badge of an application that quit.
    void handleNameVanished(const std::string& name);

private:
    struct Entry {
        std::string id;  // desktop-file id
        std::string title;
        std::optional<std::string> location;
        std::optional<std::int64_t> count;
        bool countVisible = false;
        std::string sender;  // unique bus name of the last announcer
    };
    void listen();

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;  // in the order first heard
    bool listening_ = false;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    std::thread thread_;
};

}  // namespace orvella::desktop
