#include "desktop/providers/gnome_extension.h"

#include <gio/gio.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

namespace orvella::desktop::gnome_extension {

namespace {
constexpr const char* kShellSchema = "org.gnome.shell";
constexpr const char* kEnabledKey = "enabled-extensions";

bool writeFile(const QString& path, const char* content, QString& error) {
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) < 0 || !out.commit()) {
        error = out.errorString();
        return false;
    }
    return true;
}

// Adds the extension to org.gnome.shell enabled-extensions; false when the
// shell's schema is not installed.
bool addToEnabled() {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return false;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, kShellSchema, TRUE);
    if (!schema) return false;
    const bool hasKey = g_settings_schema_has_key(schema, kEnabledKey);
    g_settings_schema_unref(schema);
    if (!hasKey) return false;
    GSettings* settings = g_settings_new(kShellSchema);
    gchar** enabled = g_settings_get_strv(settings, kEnabledKey);
    bool present = false;
    guint count = 0;
    for (; enabled[count]; ++count) present = present || g_strcmp0(enabled[count], kUuid) == 0;
    bool ok = true;
    if (!present) {
        GStrvBuilder* builder = g_strv_builder_new();
        g_strv_builder_addv(builder, const_cast<const char**>(enabled));
        g_strv_builder_add(builder, kUuid);
        GStrv next = g_strv_builder_end(builder);
        ok = g_settings_set_strv(settings, kEnabledKey, next);
        g_strfreev(next);
        g_strv_builder_unref(builder);
        g_settings_sync();
    }
    g_strfreev(enabled);
    g_object_unref(settings);
    return ok;
}
}  // namespace

Style styleForShell(std::optional<int> major) {
    return major && *major < 45 ? Style::legacy : Style::module;
}

std::optional<int> installedShellMajor() {
    const QString shell = QStandardPaths::findExecutable("gnome-shell");
    if (shell.isEmpty()) return std::nullopt;
    QProcess process;
    process.start(shell, {"--version"});
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    const auto match = QRegularExpression("(\\d+)").match(QString::fromUtf8(process.readAllStandardOutput()));
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toInt();
}

bool isInstalled() {
    return !QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                   QString("gnome-shell/extensions/%1/metadata.json").arg(kUuid))
                .isEmpty();
}

InstallResult install(Style style, QString dataHome) {
    InstallResult result;
    if (dataHome.isEmpty()) dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty()) {
        result.error = "no data folder for this user";
        return result;
    }
    result.folder = QDir(dataHome).filePath(QString("gnome-shell/extensions/%1").arg(kUuid));
    if (!QDir().mkpath(result.folder)) {
        result.error = "cannot create " + result.folder;
        return result;
    }
    const bool legacy = style == Style::legacy;
    if (!writeFile(result.folder + "/metadata.json", legacy ? kLegacyMetadata : kModuleMetadata, result.error) ||
        !writeFile(result.folder + "/extension.js", legacy ? kLegacyScript : kModuleScript, result.error))
        return result;
    result.ok = true;
    result.enabled = addToEnabled();
    return result;
}

ShellState stateFromInfo(const QVariantMap& info) {
    bool ok = false;
    const int state = info.value("state").toInt(&ok);
    if (!ok) return ShellState::unknown;
    switch (state) {
        case 1: return ShellState::active;
        case 2: case 6: return ShellState::inactive;  // off, or found and never turned on
        case 3: return ShellState::failed;
        case 4: return ShellState::outOfDate;
        default: return ShellState::unknown;
    }
}

std::optional<ShellReport> askRunningShell(int timeoutMilliseconds) {
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered("org.gnome.Shell"))
        return std::nullopt;
    const QDBusReply<QVariantMap> reply = bus.call(extensionInfoCall(), QDBus::Block, timeoutMilliseconds);
    if (!reply.isValid()) return std::nullopt;
    ShellReport report;
    report.state = stateFromInfo(reply.value());
    const QDBusReply<QDBusVariant> answer = bus.call(shellVersionCall(), QDBus::Block, timeoutMilliseconds);
    if (answer.isValid()) report.version = answer.value().variant().toString();
    return report;
}

QDBusMessage extensionInfoCall() {
    auto call = QDBusMessage::createMethodCall("org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell.Extensions",
                                               "GetExtensionInfo");
    call << QString(kUuid);
    return call;
}

QDBusMessage shellVersionCall() {
    auto call =
        QDBusMessage::createMethodCall("org.gnome.Shell", "/org/gnome/Shell", "org.freedesktop.DBus.Properties", "Get");
    call << QString("org.gnome.Shell") << QString("ShellVersion");
    return call;
}

QString problem(ShellState state, const QString& version) {
    const QString major = majorOf(version);
    const QString shell = major.isEmpty() ? QString("this GNOME Shell") : "GNOME Shell " + major;
    switch (state) {
        case ShellState::outOfDate: return QString("Orvella's extension does not support %1 yet.").arg(shell);
        case ShellState::failed: return QString("%1 could not run Orvella's extension.").arg(shell);
        default: return {};
    }
}

}  // namespace orvella::desktop::gnome_extension
