#pragma once
// The X11 desktop, or a Wayland session's through XWayland: fish, pills and
// water are override-redirect X windows. Construct after the
// QGuiApplication, on the main thread.

#include <filesystem>
#include <memory>

#include "desktop/backend.h"
#include "desktop/desktop_services.h"
#include "x11/accessibility.h"
#include "x11/displays.h"
#include "x11/mouse.h"
#include "x11/surfaces.h"
#include "x11/windows.h"

namespace orvella::x11 {

class X11Desktop : public desktop::DesktopBackend {
public:
    explicit X11Desktop(std::filesystem::path defaultsFile = desktop::JsonFileDefaults::defaultLocation());
    static std::unique_ptr<desktop::DesktopBackend> open() { return std::make_unique<X11Desktop>(); }
    Platform& platform() override { return platform_; }
    desktop::JsonFileDefaults& defaults() { return services_.defaults; }

private:
    X11WindowList windows_;
    X11Displays displays_;
    X11Surfaces surfaces_;
    X11Mouse mouse_;
    X11Accessibility accessibility_;
    desktop::DesktopServices services_;
    Platform platform_;
};

}  // namespace orvella::x11
