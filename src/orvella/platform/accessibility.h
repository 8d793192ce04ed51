#pragma once

#include <optional>
#include <string>
#include <vector>

#include "orvella/support/geometry.h"

namespace orvella {

// The focused window of the front application, in top-left coordinates of
// the primary display (y down), as the avoidance rules expect.
struct FrontWindowInfo {
    int processID = 0;
    std::string bundleIdentifier;
    std::string title;
    Point topLeftPosition;
    Size size;
};

// One dock or task-bar item as the badge reader sees it.
struct DockItem {
    std::string role;  // "AXDockItem" for application items
    std::optional<std::string> title;
    std::optional<std::string> description;
    std::optional<std::string> help;
    std::optional<std::string> url;          // location of the application
    std::optional<std::string> statusLabel;  // the badge text, if any
};

class Accessibility {
public:
    virtual ~Accessibility() = default;
    // Whether this process may read other applications' windows.
    virtual bool isProcessTrusted() const = 0;
    // The same answer; asks the user where the system has a prompt.
    virtual bool isProcessTrustedWithPrompt() = 0;
    // Absent when nothing can be read.
    virtual std::optional<FrontWindowInfo> frontWindow() = 0;
    // Absent when the dock was not read; may be called off the main thread.
    virtual std::optional<std::vector<DockItem>> dockItems() = 0;
};

}  // namespace orvella
