#pragma once
// What every desktop backend's platform shares: applications through GIO,
// the JSON defaults, timers, clock and randomness, bitmaps, and the
// compositor's provider. A backend adds its displays, surfaces, mouse and
// the reading of windows, and the platform is put together here, wired the
// same way for all of them. Construct after the QGuiApplication, on the
// main thread.

#include <filesystem>

#include "desktop/accessibility.h"
#include "desktop/gio_workspace.h"
#include "desktop/json_defaults.h"
#include "desktop/mouse_monitors.h"
#include "desktop/providers/session_awareness.h"
#include "desktop/services.h"
#include "desktop/session_window_list.h"
#include "desktop/window_list.h"
#include "orvella/platform/platform.h"
#include "render/bitmaps.h"

namespace orvella::desktop {

// Qt's icon theme as the desktop sets it; call before any icon is drawn.
bool useDesktopIconTheme();

class DesktopServices {
public:
    // `windows`: the platform's window list, or null where it has none.
    DesktopServices(std::filesystem::path defaultsFile, WindowList* windows);

    // The platform on the backend's displays, surfaces, mouse and window
    // reading. In a Wayland session the compositor's provider stands in
    // for what the backend cannot see: the pointer, presses elsewhere, the
    // focused window.
    Platform platformWith(Displays& displays, SurfaceFactory& surfaces, DesktopMouse& mouse,
                          DesktopAccessibility& accessibility);

    render::QtBitmaps bitmaps;

private:
    // Before the workspace, which keeps it: the compositor's windows where
    // it lists them, else the backend's. (It keeps a reference to the
    // awareness below, which it reads only once everything is built.)
    SessionWindowList windows_;

public:
    GioWorkspace workspace;
    QtScheduler scheduler;
    SystemClock clock;
    SystemRandom random;
    JsonFileDefaults defaults;
    SessionAwareness awareness;
};

}  // namespace orvella::desktop
