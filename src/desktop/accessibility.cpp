#include "desktop/accessibility.h"

namespace orvella::desktop {

std::optional<FrontWindowInfo> DesktopAccessibility::frontWindow() {
    if (session_ && session_->isWayland()) return session_->providerFrontWindow();
    return platformFrontWindow();
}

}  // namespace orvella::desktop
