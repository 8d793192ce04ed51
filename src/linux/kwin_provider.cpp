#include "linux/kwin_provider.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
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
    callBus(scriptingCall("unloadScript") << QString(kScriptName), [this, path](const QDBusMessage&) {
        // Asked for: if Orvella quits before KWin answers, it unloads it.
        loaded_ = true;
        callBus(scriptingCall("loadScript") << path << QString(kScriptName), [this](const QDBusMessage& loaded) {
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
            callBus(run, [this](const QDBusMessage& ran) {
                if (ran.type() == QDBusMessage::ErrorMessage) callBus(scriptingCall("start"), [](const QDBusMessage&) {});
                check_.start();
            });
        });
    });
}

void KWinProvider::unload() {
    check_.stop();
    if (!loaded_) return;
    loaded_ = false;
    QDBusConnection::sessionBus().call(scriptingCall("unloadScript") << QString(kScriptName), QDBus::Block, 1000);
}

void KWinProvider::checkStillLoaded() {
    callBus(scriptingCall("isScriptLoaded") << QString(kScriptName), [this](const QDBusMessage& answer) {
        const QDBusReply<bool> reply(answer);
        if (!reply.isValid() || !reply.value()) {
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
