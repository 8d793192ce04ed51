#pragma once
// Reading other applications' windows: there is no prompt to show on Linux.
// The application in front is what the platform reads (X11's active
// window), or in a Wayland session what the compositor's provider reports.
// The dock's badges are the launcher counts heard on the session bus.

#include <optional>
#include <vector>

#include "desktop/launcher_entries.h"
#include "desktop/providers/session_awareness.h"
#include "orvella/platform/accessibility.h"

namespace orvella::desktop {

class DesktopAccessibility : public Accessibility {
public:
    // `platformReads`: whether the platform itself can read other
    // applications' windows (an X11 connection).
    explicit DesktopAccessibility(bool platformReads = false) : trusted_(platformReads) {}
    // Other applications' windows are readable through the platform, or
    // in a Wayland session through the compositor's provider, whose
    // abilities then say what is known.
    bool isProcessTrusted() const override { return trusted_ || (session_ && session_->isWayland()); }
    bool isProcessTrustedWithPrompt() override { return isProcessTrusted(); }
    std::optional<FrontWindowInfo> frontWindow() override;
    std::optional<std::vector<DockItem>> dockItems() override { return launchers_.items(); }
    LauncherEntries& launcherEntries() { return launchers_; }
    // In a Wayland session the focused window comes from the compositor's
    // provider (XWayland knows only its own clients').
    void setSession(const SessionAwareness* session) { session_ = session; }

protected:
    // The focused window as the platform itself reads it.
    virtual std::optional<FrontWindowInfo> platformFrontWindow() { return std::nullopt; }

private:
    const SessionAwareness* session_ = nullptr;
    // Decided once on the main thread; the badge reader asks from its queue.
    const bool trusted_;
    LauncherEntries launchers_;
};

}  // namespace orvella::desktop
