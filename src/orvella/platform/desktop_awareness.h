#pragma once

#include <functional>
#include <string>

namespace orvella {

// What this session lets Orvella know of the desktop beyond its own windows.
// On X11 all of it; a Wayland compositor tells clients none of it unless one
// of its own extension points (a script, a shell extension, an IPC socket)
// reports it. Whatever is missing is an absent value to the rules.
struct DesktopAbilities {
    bool pointer = false;         // where the pointer is, over any window
    bool focusedWindow = false;   // the focused window's frame, process and owner
    bool desktopPresses = false;  // left presses on the desktop and other windows
    friend bool operator==(const DesktopAbilities&, const DesktopAbilities&) = default;
};

// What can be had where abilities are missing, for the settings panel.
enum class DesktopRemedy {
    none,                       // nothing to do, or nothing that would help
    enableGnomeShellExtension,  // GNOME Shell: the extension is installed but not on
    installGnomeShellExtension, // GNOME Shell: the extension is not installed
    gnomeShellExtensionOutOfDate,  // GNOME Shell: this shell is newer than the extension knows
    gnomeShellExtensionFailed,     // GNOME Shell: the shell tried the extension and it failed
    kwinScriptDidNotStart,         // KWin: the script was loaded but never ran
};

// The desktop-awareness provider this session has: one per session kind,
// chosen at start and chosen again when it goes away.
class DesktopAwareness {
public:
    virtual ~DesktopAwareness() = default;
    virtual DesktopAbilities abilities() const = 0;
    // Names the provider ("x11", "kwin", "gnome-shell", "sway", "hyprland",
    // or "none"), for diagnostics.
    virtual std::string providerName() const = 0;
    virtual DesktopRemedy remedy() const = 0;
    // The desktop shell's major version ("50"), where the remedy names it;
    // empty when unknown.
    virtual std::string shellVersion() const { return {}; }
    // Called on the main thread whenever the abilities or the remedy change;
    // returns an id for removal.
    virtual int addChangeObserver(std::function<void()> observer) = 0;
    virtual void removeChangeObserver(int id) = 0;
};

}  // namespace orvella
