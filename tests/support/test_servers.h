#pragma once
// Servers a test binary starts for itself: a private X server and a
// private session bus. Each returns the server's process, or -1.

#include <sys/types.h>

#include <string>

namespace orvella::testing {

// Xvfb with RandR, of the given size ("1440x900"); its name goes to `display`.
pid_t startXvfb(std::string& display, const std::string& size = "1440x900");
// dbus-daemon; its address goes to DBUS_SESSION_BUS_ADDRESS.
pid_t startBus();
// Ends a server started above and waits for it.
void stopServer(pid_t pid);

}  // namespace orvella::testing
