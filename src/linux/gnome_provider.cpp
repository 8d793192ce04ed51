#include "linux/gnome_provider.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QTimer>

#include "linux/gnome_extension.h"
#include "linux/json.h"
#include "linux/provider_report.h"

namespace orvella::linux_desktop {

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
        }
        running_ = true;
        Q_EMIT changed();
        if (pointer_) Q_EMIT pointerMoved(*pointer_);
    });
}

void GnomeShellProvider::findRemedy() {
    auto call = QDBusMessage::createMethodCall(kShell, "/org/gnome/Shell", "org.gnome.Shell.Extensions",
                                               "GetExtensionInfo");
    call << QString(ext::kUuid);
    callBus(call, [this](const QDBusMessage& answer) {
        const QDBusReply<QVariantMap> reply(answer);
        // The shell knows extensions found at login; one installed since
        // then is on disk only and needs a new login after enabling.
        const bool known = reply.isValid() && !reply.value().isEmpty();
        const DesktopRemedy remedy = known || ext::isInstalled() ? DesktopRemedy::enableGnomeShellExtension
                                                                   : DesktopRemedy::installGnomeShellExtension;
        if (remedy != remedy_) {
            remedy_ = remedy;
            if (!running_) Q_EMIT changed();
        }
    });
}

void GnomeShellProvider::onReport(const QString& json) {
    if (!running_) {
        // Reports before the state was read: read it now.
        if (!reading_) subscribe();
        return;
    }
    if (const auto report = parseProviderReport(json.toStdString())) apply(*report);
}

}  // namespace orvella::linux_desktop
