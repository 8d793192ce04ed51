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
constexpr int kCallTimeoutMilliseconds = 2000;

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

KWinProvider::KWinProvider(QObject* parent) : ReportedProvider(parent) {
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
    if (path.isEmpty() || !isAvailable()) {
        QTimer::singleShot(0, this, [this] { goAway(); });
        return;
    }
    // Without waiting on KWin: a busy compositor must not hold up the
    // school. A script of ours left by an earlier run goes first.
    call(scriptingCall("unloadScript") << QString(kScriptName), [this, path](const QDBusMessage&) {
        // Asked for: if Orvella quits before KWin answers, it unloads it.
        loaded_ = true;
        call(scriptingCall("loadScript") << path << QString(kScriptName), [this](const QDBusMessage& loaded) {
            const QDBusReply<int> id(loaded);
            if (!id.isValid() || id.value() < 0) {
                loaded_ = false;
                goAway();
                return;
            }
            // KWin 5.27 and 6 run a loaded script through its own object;
            // older ones through the scripting object's start.
            auto run = QDBusMessage::createMethodCall(kKWin, QString("/Scripting/Script%1").arg(id.value()),
                                                      "org.kde.kwin.Script", "run");
            call(run, [this](const QDBusMessage& ran) {
                if (ran.type() == QDBusMessage::ErrorMessage) call(scriptingCall("start"), [](const QDBusMessage&) {});
                check_.start();
            });
        });
    });
}

void KWinProvider::call(const QDBusMessage& message, std::function<void(const QDBusMessage&)> then) {
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, kCallTimeoutMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, then = std::move(then)] {
        watcher->deleteLater();
        then(watcher->reply());
    });
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
    forget();
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
    apply(*report);
}

}  // namespace orvella::linux_desktop
