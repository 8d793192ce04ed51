#pragma once
// The desktop of a Wayland session whose compositor offers layer surfaces:
// fish, pills and water are Orvella's own Wayland surfaces; applications,
// settings, badges and the compositor's provider are as on X11.

#include <QStringList>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <memory>

#include "linux/gio_workspace.h"
#include "linux/json_defaults.h"
#include "linux/linux_desktop.h"
#include "linux/qt_services.h"
#include "linux/session_awareness.h"
#include "wayland/wayland_connection.h"
#include "wayland/wayland_displays.h"
#include "wayland/wayland_mouse.h"
#include "wayland/wayland_surfaces.h"

namespace orvella::wayland {

class WaylandDesktop : public linux_desktop::DesktopBackend {
public:
    // Null when no compositor with layer surfaces answers.
    static std::unique_ptr<WaylandDesktop> open(
        std::filesystem::path defaultsFile = linux_desktop::JsonFileDefaults::defaultLocation());
    ~WaylandDesktop() override;
    Platform& platform() override { return platform_; }
    WaylandSurfaces& surfaces() { return surfaces_; }
    // The surfaces on screen, for tools: "title|x|y|width|height|buffer width".
    QStringList surfaceList() const;

private:
    void rebaseIfMoved();
    // Between ticks, what the compositor sends is read only when it may
    // matter at once (see tickEnded).
    void tickEnded();
    QTimer readingAgain_;
    std::chrono::steady_clock::time_point lastRebase_{};
    WaylandDesktop(std::unique_ptr<WaylandConnection> connection, std::filesystem::path defaultsFile);
    std::unique_ptr<WaylandConnection> connection_;
    WaylandDisplays displays_;
    WaylandSurfaces surfaces_;
    linux_desktop::QtBitmaps bitmaps_;
    linux_desktop::GioWorkspace workspace_;
    WaylandMouse mouse_;
    linux_desktop::X11Accessibility accessibility_;
    linux_desktop::QtScheduler scheduler_;
    linux_desktop::SystemClock clock_;
    linux_desktop::SystemRandom random_;
    linux_desktop::JsonFileDefaults defaults_;
    linux_desktop::SessionAwareness awareness_;
    Platform platform_;
};

}  // namespace orvella::wayland
