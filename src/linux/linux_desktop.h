#pragma once
// The whole Linux desktop behind the tank's ports. Construct after the
// QGuiApplication, on the main thread.

#include <filesystem>
#include <memory>

#include "linux/gio_workspace.h"
#include "linux/json_defaults.h"
#include "linux/qt_displays.h"
#include "linux/qt_services.h"
#include "linux/qt_surfaces.h"
#include "linux/session_awareness.h"
#include "linux/x11_mouse.h"
#include "orvella/platform/platform.h"

namespace orvella::linux_desktop {

// One desktop backend: everything the tank runs on.
class DesktopBackend {
public:
    virtual ~DesktopBackend() = default;
    virtual Platform& platform() = 0;
};

// Qt's icon theme as the desktop sets it; call before any icon is drawn.
bool useDesktopIconTheme();

// The X11 desktop, or a Wayland session's through XWayland.
class LinuxDesktop : public DesktopBackend {
public:
    explicit LinuxDesktop(std::filesystem::path defaultsFile = JsonFileDefaults::defaultLocation());
    Platform& platform() override { return platform_; }
    JsonFileDefaults& defaults() { return defaults_; }

private:
    QtDisplays displays_;
    QtSurfaces surfaces_;
    QtBitmaps bitmaps_;
    GioWorkspace workspace_;
    X11Mouse mouse_;
    X11Accessibility accessibility_;
    QtScheduler scheduler_;
    SystemClock clock_;
    SystemRandom random_;
    JsonFileDefaults defaults_;
    SessionAwareness awareness_;
    Platform platform_;
};

}  // namespace orvella::linux_desktop
