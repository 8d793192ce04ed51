#include "shell/dbus_control.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <algorithm>

#include "orvella/controller/orvella_controller.h"
#include "shell/shell.h"
#include "shell/status_item.h"

namespace orvella::shell {

namespace {
constexpr const char* kService = "org.orvella.Orvella";
constexpr const char* kPath = "/org/orvella/Orvella";
}  // namespace

ControlObject::ControlObject(OrvellaController& controller, Shell* shell, QObject* parent)
    : QObject(parent), controller_(controller), shell_(shell) {}

bool ControlObject::claimName() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.registerService(kService);
}

bool ControlObject::registerOnSessionBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.registerObject(kPath, this, QDBusConnection::ExportAllSlots);
}

QStringList ControlObject::Applications() {
    QStringList out;
    for (const auto& app : controller_.apps.get()) out << QString::fromStdString(app.url);
    return out;
}

QVariantMap ControlObject::Settings() {
    using C = OrvellaController;
    QVariantMap out;
    out[C::kIconOpacityKey] = controller_.iconOpacity();
    out[C::kSwimSpeedKey] = controller_.swimSpeed();
    out[C::kFishOpenModifierKey] = QString::fromStdString(rawValue(controller_.fishOpenModifier()));
    out[C::kAttractionModifierKey] = QString::fromStdString(rawValue(controller_.attractionModifier()));
    out[C::kDispersalModifierKey] = QString::fromStdString(rawValue(controller_.dispersalModifier()));
    out[C::kUnreadBadgeMonitoringKey] = controller_.unreadBadgeMonitoringEnabled();
    out[C::kWindowAvoidanceKey] = controller_.windowAvoidanceEnabled();
    out["Orvella.stillWaterModeEnabled"] = controller_.stillWaterModeEnabled();
    return out;
}

qulonglong ControlObject::MotionStepCount() { return controller_.motionStepCount(); }

QVariantMap ControlObject::Desktop() {
    const auto abilities = controller_.desktopAbilities();
    QStringList displays;
    for (const auto& area : controller_.swimAreas()) displays << QString::fromStdString(area.id);
    return {{"provider", QString::fromStdString(controller_.desktopProviderName())},
            {"displays", displays},
            {"pointer", abilities.pointer},
            {"focusedWindow", abilities.focusedWindow},
            {"desktopPresses", abilities.desktopPresses},
            {"remedy", static_cast<int>(controller_.desktopRemedy())}};
}

void ControlObject::AddApplication(const QString& path) {
    const QFileInfo info(path);
    if (!info.isAbsolute() || !info.isFile()) {
        sendErrorReply("org.orvella.Orvella.Error.NoSuchFile", "No such application file: " + path);
        return;
    }
    const auto& apps = controller_.manualApps();
    if (std::any_of(apps.begin(), apps.end(), [&](const auto& a) { return a.url == path.toStdString(); })) {
        sendErrorReply("org.orvella.Orvella.Error.AlreadyListed", "Already swimming: " + path);
        return;
    }
    controller_.addApplication(path.toStdString());
}

void ControlObject::RemoveApplication(const QString& path) {
    const auto& apps = controller_.manualApps();
    auto it = std::find_if(apps.begin(), apps.end(), [&](const auto& a) { return a.url == path.toStdString(); });
    if (it == apps.end()) {
        sendErrorReply("org.orvella.Orvella.Error.NotListed", "Not in the catalogue: " + path);
        return;
    }
    const OrvellaApp app = *it;
    controller_.removeApplication(app);
}

void ControlObject::SetStillWaterMode(bool enabled) { controller_.setStillWaterModeEnabled(enabled); }

void ControlObject::SetUnreadBadgeMonitoring(bool enabled) { controller_.setUnreadBadgeMonitoringEnabled(enabled); }

void ControlObject::SetWindowAvoidance(bool enabled) { controller_.setWindowAvoidanceEnabled(enabled); }

QVariantMap ControlObject::UnreadBadgeCounts() {
    QVariantMap out;
    for (const auto& [path, count] : controller_.unreadBadgeCounts.get()) out[QString::fromStdString(path)] = count;
    return out;
}

void ControlObject::ShowSettings() {
    if (shell_) QMetaObject::invokeMethod(shell_, [this] { shell_->showSettingsWindow(); }, Qt::QueuedConnection);
}

void ControlObject::Attract() { controller_.attractSchool(); }

void ControlObject::Disperse() { controller_.disperseSchool(); }

QStringList ControlObject::TrayMenu() { return shell_ ? shell_->describeMenu() : QStringList(); }

void ControlObject::TriggerMenuItem(const QString& title) {
    if (!shell_) return;
    // Only what the menu shows now can be chosen.
    shell_->statusItem().refresh();
    for (QAction* action : shell_->statusItem().menu().actions())
        if (!action->isSeparator() && action->isVisible() && action->text() == title) {
            action->trigger();
            return;
        }
    sendErrorReply("org.orvella.Orvella.Error.NoSuchItem", "No menu item " + title);
}

QList<int> ControlObject::ItemGeometry(const QString& objectName) {
    if (!shell_) return {};
    const QRect r = shell_->itemGeometry(objectName);
    if (r.isNull()) return {};
    return {r.x(), r.y(), r.width(), r.height()};
}

QString ControlObject::ItemText(const QString& objectName) { return shell_ ? shell_->itemText(objectName) : QString(); }

QStringList ControlObject::Surfaces() { return surfaces ? surfaces() : QStringList(); }

bool ControlObject::SettingsWindowOpen() { return shell_ && shell_->isSettingsWindowOpen(); }

void ControlObject::Quit() { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); }

}  // namespace orvella::shell
