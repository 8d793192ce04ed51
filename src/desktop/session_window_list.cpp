#include "desktop/session_window_list.h"

namespace orvella::desktop {

std::vector<ListedWindow> SessionWindowList::windows() {
    if (DesktopProvider* provider = awareness_.provider())
        if (auto listed = provider->windows()) return std::move(*listed);
    return backend_ ? backend_->windows() : std::vector<ListedWindow>{};
}

std::optional<ListedWindow> SessionWindowList::active() {
    if (DesktopProvider* provider = awareness_.provider())
        if (auto listed = provider->windows()) {
            // The compositor lists the focused window last; it says which it
            // is through its focused window.
            const auto focused = provider->focusedWindow();
            if (!focused) return std::nullopt;
            for (auto it = listed->rbegin(); it != listed->rend(); ++it)
                if (it->processID == focused->processID &&
                    (it->instance == focused->windowClass || it->className == focused->windowClass))
                    return *it;
            ListedWindow window;
            window.instance = window.className = focused->windowClass;
            window.processID = focused->processID;
            return window;
        }
    return backend_ ? backend_->active() : std::nullopt;
}

bool SessionWindowList::activate(const ListedWindow& window) {
    // A compositor's id means nothing to the backend's connection: if the
    // compositor went away since it listed the window, nobody can bring it
    // forward, and the application is launched instead.
    if (window.listedByCompositor) {
        DesktopProvider* provider = awareness_.provider();
        return provider && provider->activateWindow(window);
    }
    return backend_ && backend_->activate(window);
}

std::string SessionWindowList::announceLaunch(const std::string& name, const std::string& binary) {
    return backend_ ? backend_->announceLaunch(name, binary) : std::string();
}

std::string SessionWindowList::activationToken(const std::string& appId) {
    // Only the backend's own connection pressed anything the compositor
    // would vouch for.
    return backend_ ? backend_->activationToken(appId) : std::string();
}

}  // namespace orvella::desktop
