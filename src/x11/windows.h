#pragma once
// Other applications' top-level windows, as the window manager lists them
// (EWMH).

#include <optional>
#include <string>
#include <vector>

#include "desktop/window_list.h"

namespace orvella::x11 {

using ClientWindow = desktop::ListedWindow;

// The managed windows in stacking order, bottom first (_NET_CLIENT_LIST_STACKING,
// else _NET_CLIENT_LIST); empty without a window manager or X connection.
std::vector<ClientWindow> clientWindows();
std::optional<ClientWindow> activeWindow();
// The focused window and its frame on the X screen, in pixels, including
// the window manager's decorations.
struct ActiveWindowFrame {
    ClientWindow window;
    std::string title;  // _NET_WM_NAME, else WM_NAME
    int x = 0, y = 0, width = 0, height = 0;
};
// Absent without an active window, or when it vanished while being read.
std::optional<ActiveWindowFrame> activeWindowFrame();

// Asks the window manager to raise and focus a window.
void activateWindow(unsigned long id);
// Announces a launch to the desktop (startup notification, "new:" message)
// and returns the id the launched program is handed in DESKTOP_STARTUP_ID;
// empty without an X connection.
std::string announceLaunch(const std::string& name, const std::string& binary);

// The window list of an X11 session, or of XWayland's clients.
class X11WindowList : public desktop::WindowList {
public:
    std::vector<desktop::ListedWindow> windows() override { return clientWindows(); }
    std::optional<desktop::ListedWindow> active() override { return activeWindow(); }
    bool activate(const desktop::ListedWindow& window) override {
        activateWindow(window.id);
        return true;
    }
    std::string announceLaunch(const std::string& name, const std::string& binary) override {
        return x11::announceLaunch(name, binary);
    }
};

}  // namespace orvella::x11
