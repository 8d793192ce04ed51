#pragma once
// The desktop of a Wayland session whose compositor offers layer surfaces:
// fish, pills and water are Orvella's own Wayland surfaces; applications,
// settings, badges and the compositor's provider are as on X11.

#include <QStringList>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <memory>

#include "desktop/backend.h"
#include "desktop/desktop_services.h"
#include "wayland/connection.h"
#include "wayland/displays.h"
#include "wayland/mouse.h"
#include "wayland/surfaces.h"

namespace orvella::wayland {

// The windows the compositor lists to the backend's own connection (where
// it offers the foreign-toplevel list), and the activation tokens only
// that connection can ask for.
class WaylandWindowList : public desktop::WindowList {
public:
    explicit WaylandWindowList(WaylandConnection& connection) : connection_(connection) {}
    std::vector<desktop::ListedWindow> windows() override;
    std::optional<desktop::ListedWindow> active() override;
    bool activate(const desktop::ListedWindow& window) override;
    std::string announceLaunch(const std::string&, const std::string&) override { return {}; }
    std::string activationToken(const std::string& appId) override { return connection_.activationToken(appId); }

private:
    WaylandConnection& connection_;
};

class WaylandDesktop : public desktop::DesktopBackend {
public:
    static std::unique_ptr<desktop::DesktopBackend> openDefault() { return open(); }
    // Null when no compositor with layer surfaces answers.
    static std::unique_ptr<WaylandDesktop> open(
        std::filesystem::path defaultsFile = desktop::JsonFileDefaults::defaultLocation());
    ~WaylandDesktop() override;
    Platform& platform() override { return platform_; }
    WaylandSurfaces& surfaces() { return surfaces_; }
    // The surfaces on screen, for tools: "title|x|y|width|height|buffer width".
    QStringList surfaceList() const;
    std::function<QStringList()> surfaceLister() override {
        return [this] { return surfaceList(); };
    }

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
    WaylandMouse mouse_;
    WaylandWindowList windows_;
    desktop::DesktopAccessibility accessibility_;
    desktop::DesktopServices services_;
    Platform platform_;
};

}  // namespace orvella::wayland
