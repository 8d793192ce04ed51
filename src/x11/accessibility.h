#pragma once
// The focused window as the X server tells it (EWMH), for avoidance.

#include "desktop/accessibility.h"

namespace orvella::x11 {

class X11Accessibility : public desktop::DesktopAccessibility {
public:
    // Trusted exactly when there is an X11 connection.
    X11Accessibility();

protected:
    std::optional<FrontWindowInfo> platformFrontWindow() override;
};

}  // namespace orvella::x11
