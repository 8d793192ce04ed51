#pragma once
// What this session lets Orvella know of the desktop. On an X11 session the
// server tells everything: XInput2 for the pointer and presses, EWMH for the
// focused window (X11Mouse, X11Accessibility). In a Wayland session Orvella's
// X11 connection goes through XWayland, which sees none of the compositor's
// native windows, so without a compositor's own provider it knows nothing.

#include <functional>
#include <map>
#include <string>

#include "orvella/platform/desktop_awareness.h"

namespace orvella::linux_desktop {

class SessionAwareness : public DesktopAwareness {
public:
    // `waylandSession`: the session is Wayland's (see isWaylandSession).
    explicit SessionAwareness(bool waylandSession = isWaylandSession());
    DesktopAbilities abilities() const override { return abilities_; }
    std::string providerName() const override { return name_; }
    DesktopRemedy remedy() const override { return DesktopRemedy::none; }
    int addChangeObserver(std::function<void()> observer) override;
    void removeChangeObserver(int id) override { observers_.erase(id); }

    // A Wayland session: WAYLAND_DISPLAY is set, or the session says so.
    static bool isWaylandSession();

private:
    DesktopAbilities abilities_;
    std::string name_;
    std::map<int, std::function<void()>> observers_;
    int next_ = 1;
};

}  // namespace orvella::linux_desktop
