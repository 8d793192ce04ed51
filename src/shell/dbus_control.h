#pragma once
// Lets scripts drive a running Orvella over the session bus:
//   gdbus call --session --dest org.orvella.Orvella --object-path /org/orvella/Orvella
//     --method org.orvella.Orvella.AddApplication /usr/share/applications/foo.desktop

#include <QDBusAbstractAdaptor>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <functional>

namespace orvella {
class OrvellaController;
}

namespace orvella::shell {

class Shell;

class ControlObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.orvella.Orvella")

public:
    ControlObject(OrvellaController& controller, Shell* shell, QObject* parent = nullptr);

    // Claims the name on the session bus; false when there is no bus or the
    // name is taken (another Orvella is running).
    static bool claimName();
    // Answers on the session bus, once the name is ours.
    bool registerOnSessionBus();

public Q_SLOTS:
    QStringList Applications();
    // Every setting by its stored key, with its current value.
    QVariantMap Settings();
    // Motion steps run since start: sampled twice, the step rate.
    qulonglong MotionStepCount();
    // What the session tells Orvella of the desktop: "provider" (x11, kwin,
    // gnome-shell, sway, hyprland or none), "pointer", "focusedWindow" and
    // "desktopPresses" (whether each is reported now), "remedy" (0 for none),
    // "displays" (the identifiers of the displays the fish swim on).
    QVariantMap Desktop();
    // Errors: org.orvella.Orvella.Error.NoSuchFile, .AlreadyListed
    void AddApplication(const QString& path);
    // Error: org.orvella.Orvella.Error.NotListed
    void RemoveApplication(const QString& path);
    void SetStillWaterMode(bool enabled);
    void SetUnreadBadgeMonitoring(bool enabled);
    void SetWindowAvoidance(bool enabled);
    // Unread counts above 0, by catalogue path.
    QVariantMap UnreadBadgeCounts();
    void Quit();
    // What starting orvella again does: the settings window comes forward.
    void ShowSettings();
    // Call or scatter the school as three quick clicks at the pointer would
    // (where the session shows no pointer: at the middle of the display).
    void Attract();
    void Disperse();
    // The tray menu as "title|checkable|checked" (separators "-").
    QStringList TrayMenu();
    // Triggers the menu item with that title, as a click on it does.
    void TriggerMenuItem(const QString& title);
    // Where a named control of the settings panel or the picker is:
    // (x, y, width, height) in screen pixels; empty when not shown.
    QList<int> ItemGeometry(const QString& objectName);
    QString ItemText(const QString& objectName);
    bool SettingsWindowOpen();
    // The surfaces on screen as "title|x|y|width|height|buffer width" (the
    // desktop's layout pixels, top-left origin), where the backend keeps
    // them itself (Wayland); empty where the window system lists them.
    QStringList Surfaces();

public:
    std::function<QStringList()> surfaces;

private:
    OrvellaController& controller_;
    Shell* shell_;
};

}  // namespace orvella::shell
