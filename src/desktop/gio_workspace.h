#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "desktop/window_list.h"
#include "orvella/platform/workspace.h"

typedef struct _GSettings GSettings;

namespace orvella::desktop {

// Applications are desktop entries, read through GIO: an application's
// location is its desktop file, its name the entry's localized name, its
// icon the entry's theme icon.
//
// Running applications are those the desktop's window list shows: without
// one, none is known and opening an application always launches it.
class GioWorkspace : public Workspace {
public:
    explicit GioWorkspace(WindowList* windows = nullptr);
    ~GioWorkspace() override;

    std::optional<std::string> applicationForRole(ApplicationRole role) override;
    std::string displayName(const std::string& path) override;
    std::shared_ptr<Image> iconForFile(const std::string& path) override;
    bool fileExists(const std::string& path) override;
    bool reduceMotion() override { return reduceMotion_; }
    Color systemBlue() override { return {0.0, 122.0 / 255.0, 1.0, 1.0}; }
    bool openApplication(const std::string& path) override;
    std::optional<std::string> bundleIdentifier(const std::string& path) override;
    std::optional<RunningApplication> frontmostApplication() override;
    std::optional<std::string> mainBundleIdentifier() const override { return std::string(kOwnIdentifier); }
    // Our desktop-file id and the WM_CLASS of our windows.
    static constexpr const char* kOwnIdentifier = "orvella";
    // One per client window, owner first seen first, with the entry its
    // window class names where there is one.
    std::vector<RunningApplication> runningApplications() override;
    std::optional<std::string> canonicalPath(const std::string& path) override;
    std::vector<std::string> bundleNames(const std::string& path) override;

    // The icon theme Qt should use on this desktop: the desktop's own
    // setting, else the first installed of Adwaita, breeze and hicolor.
    static std::string detectIconTheme();
    // The window a Wayland compositor reports as focused: its class (or app
    // id) and process.
    struct FocusedWindow {
        std::string windowClass;
        int processID = 0;
    };
    // In a Wayland session the application in front is the owner of the
    // window the compositor's provider reports as focused (XWayland's
    // active window is none of the compositor's): `source` tells it.
    void setWaylandFocus(std::function<std::optional<FocusedWindow>()> source) { waylandFocus_ = std::move(source); }

private:
    WindowList* windows_;
    std::function<std::optional<FocusedWindow>()> waylandFocus_;
    void readReduceMotion();
    GSettings* interfaceSettings_ = nullptr;
    bool reduceMotion_ = false;
};

}  // namespace orvella::desktop
