#pragma once

#include <string>

#include "orvella/platform/displays.h"
#include "orvella/support/geometry.h"

namespace orvella {

// Where fish swim on one display.
struct SwimArea {
    std::string id;     // the display identifier
    Rect visibleFrame;  // the display without panels and docks
    Rect frame;         // the visible frame inset on every side
    friend bool operator==(const SwimArea&, const SwimArea&) = default;

    // The visible frame is tested first, then the swim frame.
    bool contains(Point p) const { return visibleFrame.contains(p) || frame.contains(p); }
};

enum class ScreenEntryEdge { top, bottom };

// The display's number in decimal or, without one, its full frame as
// "x:y:width:height" (each truncated toward zero).
std::string orvellaDisplayID(const DisplayInfo& display);

// Inset of a visible frame's side: 12% of its extent, at least 24, at most 96.
double swimFrameInset(double extent);
SwimArea makeSwimArea(const DisplayInfo& display);

// The window origins that keep a 112-point fish 8 points inside a visible frame.
Rect originRect(const Rect& visibleFrame);

}  // namespace orvella
