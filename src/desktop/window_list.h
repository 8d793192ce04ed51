#pragma once
// Other applications' top-level windows, as the desktop lists them: what
// opening an application needs to find its running window and bring it
// forward, and what tells the application in front. Each desktop platform
// gives its own (EWMH on X11); without one nothing is listed and opening
// always launches.

#include <optional>
#include <string>
#include <vector>

namespace orvella::desktop {

struct ListedWindow {
    // The platform's handle for activating it: an X window id, or the
    // compositor's own id where the compositor lists the windows.
    unsigned long id = 0;
    // Listed by the compositor rather than by the backend's own connection:
    // the id is the compositor's, and only it can activate the window.
    bool listedByCompositor = false;
    // The compositor's id where it is no number (KWin's internal id).
    std::string handle;
    std::string instance;   // WM_CLASS instance name, or a Wayland app id
    std::string className;  // WM_CLASS class name
    int processID = 0;
};

class WindowList {
public:
    virtual ~WindowList() = default;
    // Every managed window, in stacking order, bottom first.
    virtual std::vector<ListedWindow> windows() = 0;
    // The focused one, if any.
    virtual std::optional<ListedWindow> active() = 0;
    // Raises and focuses one, as the user would by clicking it; false when
    // it cannot be asked.
    virtual bool activate(const ListedWindow& window) = 0;
    // Announces a launch to the desktop and returns the id the launched
    // program is handed (DESKTOP_STARTUP_ID); empty where there is none.
    virtual std::string announceLaunch(const std::string& name, const std::string& binary) = 0;
    // A token from the compositor for a program launched now to take the
    // focus with (XDG_ACTIVATION_TOKEN), asked with the press that opened
    // it; `appId` is the program's desktop-file id. Empty where the
    // desktop hands out none.
    virtual std::string activationToken(const std::string& appId) {
        (void)appId;
        return {};
    }
};

}  // namespace orvella::desktop
