#include "desktop/providers/kwin.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cctype>

#include "desktop/providers/report.h"

namespace orvella::desktop {

extern const char* const kKWinScript;

namespace {
constexpr const char* kKWin = "org.kde.KWin";
constexpr const char* kScripting = "org.kde.kwin.Scripting";
// How often the script is asked after: someone may unload it.
constexpr int kCheckMilliseconds = 3000;

QDBusMessage scriptingCall(const char* method) {
    return QDBusMessage::createMethodCall(kKWin, "/Scripting", kScripting, method);
}

constexpr const char* kActivatorName = "orvella-activate";

// A script, written where KWin can read it: the user's runtime folder.
QString writeScript(const char* file, const QByteArray& text) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    const QString path = folder + "/" + file;
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (out.write(text) != text.size()) return {};
    return path;
}
QString writeScript() { return writeScript("orvella-kwin.js", kKWinScript); }

// KWin's internal ids are UUIDs: anything else is not put into a script.
bool isInternalId(const std::string& id) {
    if (id.empty() || id.size() > 40) return false;
    for (const char c : id)
        if (!(std::isxdigit(static_cast<unsigned char>(c)) || c == '-' || c == '{' || c == '}')) return false;
    return true;
}
}  // namespace

QByteArray kwinActivationScript(const std::string& internalId) {
    if (!isInternalId(internalId)) return {};
    return "var id = \"" + QByteArray::fromStdString(internalId) + "\";\n"
           "var list = workspace.windowList !== undefined ? workspace.windowList() : workspace.clientList();\n"
           "for (var i = 0; i < list.length; i++) {\n"
           "    if (String(list[i].internalId) !== id) continue;\n"
           "    if (workspace.activeWindow !== undefined) workspace.activeWindow = list[i];\n"
           "    else workspace.activeClient = list[i];\n"
           "}\n";
}

namespace {
}  // namespace

void KWinReportReceiver::Report(const QString& json) { provider_.handleReport(json); }

bool KWinProvider::isAvailable() {
    auto bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(kKWin);
}

KWinProvider::KWinProvider(QObject* parent, int helloMilliseconds) : ReportedProvider(parent) {
    auto bus = QDBusConnection::sessionBus();
    watcher_.setConnection(bus);
    watcher_.addWatchedService(kKWin);
    watcher_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        loaded_ = false;
        goAway();
    });
    check_.setInterval(kCheckMilliseconds);
    connect(&check_, &QTimer::timeout, this, &KWinProvider::checkStillLoaded);
    hello_.setSingleShot(true);
    hello_.setInterval(helloMilliseconds);
    connect(&hello_, &QTimer::timeout, this, &KWinProvider::helloOverdue);
}

KWinProvider::~KWinProvider() {
    unload();
    stopReceiving();
}

// The report path is one per connection: a provider that went away lets go
// of it before the one chosen after it starts (and its later destruction
// must not take the newer one's).
void KWinProvider::stopReceiving() {
    if (receiving_) QDBusConnection::sessionBus().unregisterObject(kReportPath);
    receiving_ = false;
}

void KWinProvider::start() {
    receiving_ = QDBusConnection::sessionBus().registerObject(kReportPath, &receiver_, QDBusConnection::ExportAllSlots);
    path_ = writeScript();
    if (path_.isEmpty() || !isAvailable()) {
        QTimer::singleShot(0, this, [this] { goAway(); });
        return;
    }
    load(1);
}

// Without waiting on KWin: a busy compositor must not hold up the school.
// A script of ours left by an earlier run (or an earlier attempt) goes
// first.
void KWinProvider::load(int attempt) {
    attempt_ = attempt;
    nudged_ = false;
    callBus(scriptingCall("unloadScript") << QString(kScriptName), [this](const QDBusMessage&) {
        // Asked for: if Orvella quits before KWin answers, it unloads it.
        loaded_ = true;
        callBus(scriptingCall("loadScript") << path_ << QString(kScriptName), [this](const QDBusMessage& loaded) {
            const QDBusReply<int> id(loaded);
            if (!id.isValid() || id.value() < 0) {
                loaded_ = false;
                goAway();
                return;
            }
            // KWin numbers a script by how many are loaded, so after one was
            // unloaded out of order the id can be a live script's, whose
            // object then answers: the id is a guess, and only the script's
            // own hello says it runs.
            hello_.start();
            auto run = QDBusMessage::createMethodCall(kKWin, QString("/Scripting/Script%1").arg(id.value()),
                                                      "org.kde.kwin.Script", "run");
            callBus(run, [](const QDBusMessage&) {});
        });
    });
}

// A script of its own, started and left for the next to replace: KWin
// scripts hear no calls, and a short one that focuses the window is
// KWin's own way. Never waits on KWin.
bool KWinProvider::activateWindow(const ListedWindow& window) {
    if (!reporting_) return false;
    const QByteArray text = kwinActivationScript(window.handle);
    const QString path = text.isEmpty() ? QString() : writeScript("orvella-kwin-activate.js", text);
    if (path.isEmpty()) return false;
    callBus(scriptingCall("unloadScript") << QString(kActivatorName), [this, path](const QDBusMessage&) {
        activatorLoaded_ = true;
        callBus(scriptingCall("loadScript") << path << QString(kActivatorName), [this](const QDBusMessage& loaded) {
            const QDBusReply<int> id(loaded);
            if (!id.isValid() || id.value() < 0) return;
            // Every loaded script that does not run yet: it alone, as ours
            // runs already. (Its id may be another's: see load().)
            callBus(scriptingCall("start"), [](const QDBusMessage&) {});
        });
    });
    return true;
}

void KWinProvider::helloOverdue() {
    if (reporting_) return;
    if (!nudged_) {
        // Runs every loaded script that does not run yet, ours among them.
        nudged_ = true;
        callBus(scriptingCall("start"), [](const QDBusMessage&) {});
        hello_.start();
        return;
    }
    if (attempt_ < kAttempts) {
        load(attempt_ + 1);
        return;
    }
    // Loading it again will not help now: say so, and leave KWin as it was,
    // without waiting on it (the school swims on meanwhile).
    check_.stop();
    loaded_ = false;
    callBus(scriptingCall("unloadScript") << QString(kScriptName), [](const QDBusMessage&) {});
    gaveUp_ = true;
    Q_EMIT changed();
}

void KWinProvider::unload() {
    check_.stop();
    hello_.stop();
    if (activatorLoaded_) {
        activatorLoaded_ = false;
        QDBusConnection::sessionBus().call(scriptingCall("unloadScript") << QString(kActivatorName), QDBus::Block, 1000);
    }
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
    hello_.stop();
    stopReceiving();
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
        // Whatever it says first, the script runs.
        hello_.stop();
        check_.start();
        reporting_ = true;
        Q_EMIT changed();
    }
    apply(*report);
}

}  // namespace orvella::desktop
