#pragma once
// GNOME Shell: Orvella's shell extension reports the pointer, the focused
// window and left presses on the desktop background over the session bus.
// Without it (not installed, or not enabled) nothing is reported, and the
// remedy says which of the two the user has to do.

#include <QDBusServiceWatcher>
#include <QObject>
#include <optional>
#include <string>

#include "desktop/providers/gnome_extension.h"
#include "desktop/providers/report.h"

namespace orvella::desktop {

class GnomeShellProvider : public ReportedProvider {
    Q_OBJECT
public:
    // Whether GNOME Shell answers on the session bus.
    static bool isAvailable();

    explicit GnomeShellProvider(QObject* parent = nullptr);
    std::string name() const override { return "gnome-shell"; }
    void start() override;
    DesktopAbilities abilities() const override { return {running_, running_, running_}; }
    DesktopRemedy remedy() const override { return running_ ? DesktopRemedy::none : remedy_; }
    std::string shellVersion() const override { return version_; }
    bool activateWindow(const ListedWindow& window) override;
    // What to tell the user, from what the shell says of the extension
    // (`known`: it found the extension at login) and its major version.
    static DesktopRemedy remedyFor(bool known, gnome_extension::ShellState state, const QString& major);

private Q_SLOTS:
    void onReport(const QString& json);

private:
    void extensionAppeared();
    void extensionGone();
    void subscribe();
    void findRemedy();
    void setRemedy(DesktopRemedy remedy, std::string version);
    QDBusServiceWatcher extension_;
    QDBusServiceWatcher shell_;
    bool running_ = false;
    DesktopRemedy remedy_ = DesktopRemedy::none;
    std::string version_;
    bool reading_ = false;
    int stateRequest_ = 0;  // answers to an older request are stale
};

}  // namespace orvella::desktop
