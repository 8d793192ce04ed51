#pragma once
// The XDG autostart entry that starts Orvella at login.

#include <string>

namespace orvella::shell {

// $XDG_CONFIG_HOME/autostart/orvella.desktop (~/.config/autostart/...).
std::string autostartEntryPath();
// Writes the entry (starting this very binary) or removes it; false with a
// sentence in `error` when that failed. Removing an absent entry succeeds.
bool setAutostart(bool on, std::string& error);

}  // namespace orvella::shell
