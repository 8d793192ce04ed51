#pragma once

#include <optional>
#include <set>
#include <string>

#include "orvella/platform/platform.h"
#include "orvella/support/geometry.h"

namespace orvella {

// The focused window of the application in front, in desktop points.
struct ActiveWindowSnapshot {
    std::string appName;
    std::optional<std::string> bundleIdentifier;
    Rect frame;
};

// Reads the front window afresh on every call; keeps no state of its own.
class ActiveWindowMonitor {
public:
    explicit ActiveWindowMonitor(Platform& platform) : platform_(platform) {}

    // Absent when there is nothing to avoid: no trust, no front application,
    // an excluded one, no readable window, or one of 80 points or less.
    std::optional<ActiveWindowSnapshot> frontmostWindow(const std::set<std::string>& excluding) const;

    // A window given from the top-left of the primary display (y down) as a
    // desktop rectangle. The flip is tried against every display and the one
    // that puts the most of the window on screen wins; ties keep the earlier.
    std::optional<Rect> appKitFrame(Point accessibilityPosition, Size size) const;

private:
    Platform& platform_;
};

}  // namespace orvella
