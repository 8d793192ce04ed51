#pragma once
// The windows of this session: in a Wayland session whose compositor lists
// its windows, the compositor's list (it sees the native windows XWayland
// cannot); otherwise the backend's own list, if it has one.

#include "desktop/providers/session_awareness.h"
#include "desktop/window_list.h"

namespace orvella::desktop {

class SessionWindowList : public WindowList {
public:
    // `backend`: the backend's own window list, or null where it has none.
    SessionWindowList(const SessionAwareness& awareness, WindowList* backend)
        : awareness_(awareness), backend_(backend) {}
    std::vector<ListedWindow> windows() override;
    std::optional<ListedWindow> active() override;
    bool activate(const ListedWindow& window) override;
    std::string announceLaunch(const std::string& name, const std::string& binary) override;
    std::string activationToken(const std::string& appId) override;

private:
    const SessionAwareness& awareness_;
    WindowList* backend_;
};

}  // namespace orvella::desktop
