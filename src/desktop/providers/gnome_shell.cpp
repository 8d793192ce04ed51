#include "desktop/providers/gnome_shell.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QTimer>

#include "desktop/providers/gnome_extension.h"
#include "desktop/json.h"
#include "desktop/providers/report.h"

namespace orvella::desktop {

namespace {
constexpr const char* kShell = "org.gnome.Shell";
namespace ext = gnome_extension;
}  // namespace

bool GnomeShellProvider::isAvailable() {
    auto bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(kShell);
}

GnomeShellProvider::GnomeShellProvider(QObject* parent) : ReportedProvider(parent) {
    auto bus = QDBusConnection::sessionBus();
    extension_.setConnection(bus);
    extension_.addWatchedService(ext::kBusName);
    connect(&extension_, &QDBusServiceWatcher::serviceRegistered, this, [this] { extensionAppeared(); });
    connect(&extension_, &QDBusServiceWatcher::serviceUnregistered, this, [this] { extensionGone(); });
    shell_.setConnection(bus);
    shell_.addWatchedService(kShell);
    shell_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&shell_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        running_ = false;
        forget();
        Q_EMIT changed();
        Q_EMIT lost();
    });
}

void GnomeShellProvider::start() {
    auto bus = QDBusConnection::sessionBus();
    // Reports come from whoever owns the extension's name: a unique name
    // changes when the shell restarts, so the match is on the well-known one.
    bus.connect(ext::kBusName, ext::kObjectPath, ext::kInterface, "Report", this, SLOT(onReport(QString)));
    if (!isAvailable()) {
        QTimer::singleShot(0, this, [this] { Q_EMIT lost(); });
        return;
    }
    if (bus.interface()->isServiceRegistered(ext::kBusName))
        extensionAppeared();
    else
        extensionGone();
}

void GnomeShellProvider::extensionAppeared() { subscribe(); }

void GnomeShellProvider::extensionGone() {
    ++stateRequest_;
    reading_ = false;
    const bool was = running_;
    running_ = false;
    forget();
    if (was) Q_EMIT changed();
    findRemedy();
}

void GnomeShellProvider::subscribe() {
    const int request = ++stateRequest_;
    reading_ = true;
    // Subscribing answers the state and has the reports sent to us alone.
    auto call = QDBusMessage::createMethodCall(ext::kBusName, ext::kObjectPath, ext::kInterface, "Subscribe");
    callBus(call, [this, request](const QDBusMessage& answer) {
        if (request != stateRequest_) return;
        reading_ = false;
        const QDBusReply<QString> reply(answer);
        if (!reply.isValid()) {
            extensionGone();
            return;
        }
        const auto state = parseJson(reply.value().toStdString());
        if (state && state->isObject()) {
            const Value* pointer = jsonMember(*state, "pointer");
            pointer_ = pointer ? parseProviderPoint(*pointer) : std::nullopt;
            const Value* window = jsonMember(*state, "window");
            window_ = window ? parseProviderWindow(*window) : std::nullopt;
            // An extension older than this Orvella lists no windows.
            const Value* windows = jsonMember(*state, "windows");
            windows_.reset();
            if (windows && windows->isArray()) windows_ = parseListedWindows(*windows);
        }
        running_ = true;
        Q_EMIT changed();
        if (pointer_) Q_EMIT pointerMoved(*pointer_);
    });
}

void GnomeShellProvider::findRemedy() {
    callBus(ext::extensionInfoCall(), [this](const QDBusMessage& answer) {
        const QDBusReply<QVariantMap> reply(answer);
        // The shell knows extensions found at login; one installed since
        // then is on disk only and needs a new login after enabling.
        const bool known = reply.isValid() && !reply.value().isEmpty();
        const auto state = known ? ext::stateFromInfo(reply.value()) : ext::ShellState::unknown;
        callBus(ext::shellVersionCall(), [this, known, state](const QDBusMessage& versionAnswer) {
            const QDBusReply<QDBusVariant> shellVersion(versionAnswer);
            const QString major = shellVersion.isValid() ? ext::majorOf(shellVersion.value().variant().toString())
                                                         : QString();
            setRemedy(remedyFor(known, state, major), major.toStdString());
        });
    });
}

DesktopRemedy GnomeShellProvider::remedyFor(bool known, gnome_extension::ShellState state, const QString& major) {
    bool numbered = false;
    const int shell = major.toInt(&numbered);
    switch (state) {
        case ext::ShellState::outOfDate:
            // The copy the shell found at login is older than this Orvella's,
            // which may know this shell: installing it again mends that.
            return numbered && ext::supportsShell(shell) ? DesktopRemedy::installGnomeShellExtension
                                                         : DesktopRemedy::gnomeShellExtensionOutOfDate;
        case ext::ShellState::failed: return DesktopRemedy::gnomeShellExtensionFailed;
        default: break;
    }
    // Not yet tried by the shell: one newer than the extension knows will
    // refuse it, so enabling it would do nothing.
    if (numbered && shell > ext::kNewestShell) return DesktopRemedy::gnomeShellExtensionOutOfDate;
    return known || ext::isInstalled() ? DesktopRemedy::enableGnomeShellExtension
                                       : DesktopRemedy::installGnomeShellExtension;
}

void GnomeShellProvider::setRemedy(DesktopRemedy remedy, std::string version) {
    if (remedy == remedy_ && version == version_) return;
    remedy_ = remedy;
    version_ = std::move(version);
    if (!running_) Q_EMIT changed();
}

bool GnomeShellProvider::activateWindow(const ListedWindow& window) {
    if (!running_) return false;
    auto call = QDBusMessage::createMethodCall(ext::kBusName, ext::kObjectPath, ext::kInterface, "ActivateWindow");
    call << static_cast<uint>(window.id);
    callBus(call, [](const QDBusMessage&) {});
    return true;
}

void GnomeShellProvider::onReport(const QString& json) {
    if (!running_) {
        // Reports before the state was read: read it now.
        if (!reading_) subscribe();
        return;
    }
    if (const auto report = parseProviderReport(json.toStdString())) apply(*report);
}

}  // namespace orvella::desktop
