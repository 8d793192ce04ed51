#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "orvella/platform/canvas.h"

namespace orvella {

// The applications the default catalogue is made of, in the order they are
// resolved: first the nine everyday roles, then the four fallbacks used when
// fewer than five of those resolved.
enum class ApplicationRole {
    webBrowser,
    mail,
    calendar,
    terminal,
    notes,
    messaging,
    reminders,
    design,
    presentation,
    // fallbacks
    fileManager,
    systemSettings,
    chrome,
    codeEditor,
};

struct RunningApplication {
    std::string bundleIdentifier;  // desktop-file id or WM class
    std::optional<std::string> location;  // desktop file path, when known
    int processID = 0;
    std::string localizedName;
};

class Workspace {
public:
    virtual ~Workspace() = default;
    // The location of the application that fills a role, if any.
    virtual std::optional<std::string> applicationForRole(ApplicationRole role) = 0;
    // The file manager's display name for a location.
    virtual std::string displayName(const std::string& path) = 0;
    // The icon for the file at a location; never null (a generic icon when
    // the file has none).
    virtual std::shared_ptr<Image> iconForFile(const std::string& path) = 0;
    virtual bool fileExists(const std::string& path) = 0;
    // The desktop's reduce-motion accessibility setting.
    virtual bool reduceMotion() = 0;
    // The desktop's accent blue, used to tint tails and glows.
    virtual Color systemBlue() = 0;
    // Activates the application's window or launches it; false when neither
    // could be done.
    virtual bool openApplication(const std::string& path) = 0;
    // The identifier of the application at a location (its desktop-file
    // id), if it can be read.
    virtual std::optional<std::string> bundleIdentifier(const std::string& path) = 0;
    // The application in front: the owner of the focused window. Our own
    // windows report mainBundleIdentifier().
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    // The path with every symbolic link resolved, if it can be resolved.
    virtual std::optional<std::string> canonicalPath(const std::string& path) = 0;
    // The names the application at a location goes by in its own metadata:
    // its localised and unlocalised names and its program name.
    virtual std::vector<std::string> bundleNames(const std::string& path) = 0;
    // This program's own identifier, if it has one.
    virtual std::optional<std::string> mainBundleIdentifier() const = 0;
    virtual std::vector<RunningApplication> runningApplications() = 0;
};

}  // namespace orvella
