#pragma once
// Everything the tank needs from a desktop, gathered so that the controller
// can be built on the real desktop or on a fake one.

#include "orvella/platform/accessibility.h"
#include "orvella/platform/canvas.h"
#include "orvella/platform/clock.h"
#include "orvella/platform/desktop_awareness.h"
#include "orvella/platform/displays.h"
#include "orvella/platform/mouse.h"
#include "orvella/platform/random.h"
#include "orvella/platform/scheduler.h"
#include "orvella/platform/surfaces.h"
#include "orvella/platform/user_defaults.h"
#include "orvella/platform/workspace.h"

namespace orvella {

struct Platform {
    Displays& displays;
    SurfaceFactory& surfaces;
    BitmapFactory& bitmaps;
    Workspace& workspace;
    MouseMonitors& mouse;
    Accessibility& accessibility;
    Scheduler& scheduler;
    Clock& clock;
    Random& random;
    UserDefaults& defaults;
    DesktopAwareness& awareness;
};

}  // namespace orvella
