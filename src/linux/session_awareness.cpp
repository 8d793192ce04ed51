#include "linux/session_awareness.h"

#include <cstdlib>
#include <cstring>

namespace orvella::linux_desktop {

SessionAwareness::SessionAwareness(bool waylandSession) {
    if (waylandSession) {
        name_ = "none";
    } else {
        name_ = "x11";
        abilities_ = {true, true, true};
    }
}

int SessionAwareness::addChangeObserver(std::function<void()> observer) {
    observers_.emplace(next_, std::move(observer));
    return next_++;
}

bool SessionAwareness::isWaylandSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    const char* type = std::getenv("XDG_SESSION_TYPE");
    return (display && *display) || (type && std::strcmp(type, "wayland") == 0);
}

}  // namespace orvella::linux_desktop
