#include "linux/kwin_provider.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include "linux/provider_report.h"

namespace orvella::linux_desktop {

extern const char* const kKWinScript;

namespace {
constexpr const char* kKWin = "org.kde.KWin";
constexpr const char* kScripting = "org.kde.kwin.Scripting";
// How often the script is asked after: someone may unload it.
constexpr int kCheckMilliseconds = 3000;

QDBusMessage scriptingCall(const char* method) {
    return QDBusMessage::createMethodCall(kKWin, "/Scripting", kScripting, method);
}

// The script, written where KWin can read it: the user's runtime folder.
QString writeScript() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    const QString path = folder + "/orvella-kwin.js";
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    out.write(kKWinScript);
    return path;
}
}  // namespace

void KWinReportReceiver::Report(const QString& json) { provider_.handleReport(json); }

bool KWinProvider::isAvailable() {
    auto bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(kKWin);
}

KWinProvider::KWinProvider(QObject* parent) : DesktopProvider(parent) {
    auto bus = QDBusConnection::sessionBus();
    bus.registerObject(kReportPath, &receiver_, QDBusConnection::ExportAllSlots);
    watcher_.setConnection(bus);
    watcher_.addWatchedService(kKWin);
    watcher_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        loaded_ = false;
        goAway();
    });
    check_.setInterval(kCheckMilliseconds);
    connect(&check_, &QTimer::timeout, this, &KWinProvider::checkStillLoaded);
}

KWinProvider::~KWinProvider() {
    unload();
    QDBusConnection::sessionBus().unregisterObject(kReportPath);
}

void KWinProvider::start() {
    const QString path = writeScript();
    auto bus = QDBusConnection::sessionBus();
    if (path.isEmpty() || !isAvailable()) {
        QTimer::singleShot(0, this, [this] { goAway(); });
        return;
    }
    // A script of ours left by an earlier run goes first.
    bus.call(scriptingCall("unloadScript") << QString(kScriptName), QDBus::Block, 2000);
    const QDBusReply<int> id = bus.call(scriptingCall("loadScript") << path << QString(kScriptName), QDBus::Block, 2000);
    if (!id.isValid() || id.value() < 0) {
        QTimer::singleShot(0, this, [this] { goAway(); });
        return;
    }
    loaded_ = true;
    // KWin 5.27 and 6 run a loaded script through its own object.
    auto run = QDBusMessage::createMethodCall(kKWin, QString("/Scripting/Script%1").arg(id.value()), "org.kde.kwin.Script",
                                              "run");
    const QDBusMessage ran = bus.call(run, QDBus::Block, 2000);
    if (ran.type() == QDBusMessage::ErrorMessage) bus.call(scriptingCall("start"), QDBus::Block, 2000);
    check_.start();
}

void KWinProvider::unload() {
    check_.stop();
    if (!loaded_) return;
    loaded_ = false;
    QDBusConnection::sessionBus().call(scriptingCall("unloadScript") << QString(kScriptName), QDBus::Block, 1000);
}

void KWinProvider::checkStillLoaded() {
    auto* call = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(scriptingCall("isScriptLoaded") << QString(kScriptName), 2000), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, call] {
        call->deleteLater();
        const QDBusPendingReply<bool> reply = *call;
        if (reply.isError() || !reply.value()) {
            loaded_ = false;
            goAway();
        }
    });
}

void KWinProvider::goAway() {
    check_.stop();
    const bool was = reporting_;
    reporting_ = false;
    pointer_.reset();
    window_.reset();
    if (was) Q_EMIT changed();
    Q_EMIT lost();
}

void KWinProvider::handleReport(const QString& json) {
    const auto report = parseProviderReport(json.toStdString());
    if (!report) return;
    if (!reporting_) {
        reporting_ = true;
        Q_EMIT changed();
    }
    switch (report->kind) {
        case ProviderReport::Kind::pointer:
            pointer_ = report->at;
            Q_EMIT pointerMoved(*pointer_);
            break;
        case ProviderReport::Kind::window: window_ = report->window; break;
        // The script reports no presses: KWin gives scripts none.
        case ProviderReport::Kind::press:
        case ProviderReport::Kind::other: break;
    }
}

}  // namespace orvella::linux_desktop
