// The GNOME Shell provider against a shell and an extension played on the
// test's private session bus: it follows the extension's state and reports,
// notices it leave and come back, and tells which remedy the panel offers
// without it. The reports' parsing is shared with the KWin script's.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <memory>

#include "support/backend_support.h"
#include "desktop/providers/gnome_extension.h"
#include "desktop/providers/gnome_shell.h"
#include "desktop/providers/report.h"
#include "desktop/providers/session_awareness.h"

using namespace orvella;
using namespace orvella::desktop;
using namespace orvella::testing;

namespace {

// One bus connection of its own owning `service`, answering `method` calls
// at `path` with whatever `answer` gives.
class FakeService : public QDBusVirtualObject {
public:
    FakeService(QString connectionName, QString service, QString path, QString method)
        : name_(std::move(connectionName)), service_(std::move(service)), path_(std::move(path)),
          method_(std::move(method)) {
        bus().registerVirtualObject(path_, this);
    }
    ~FakeService() override {
        leave();
        QDBusConnection::disconnectFromBus(name_);
    }
    QDBusConnection bus() const { return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_); }
    void claim() { ASSERT_TRUE(bus().registerService(service_)); }
    void leave() { bus().unregisterService(service_); }
    void emitReport(const QString& json) {
        auto signal = QDBusMessage::createSignal(path_, gnome_extension::kInterface, "Report");
        signal << json;
        bus().send(signal);
    }
    std::function<QVariant()> answer;
    // The shell's version, answered to a Properties.Get while set.
    QString version;
    std::atomic<int> calls{0};

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() == "Get" && !version.isEmpty()) {
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(version))));
            return true;
        }
        if (message.member() != method_) return false;
        ++calls;
        connection.send(message.createReply(answer ? answer() : QVariant()));
        return true;
    }

private:
    QString name_, service_, path_, method_;
};

std::unique_ptr<FakeService> fakeShell() {
    auto shell = std::make_unique<FakeService>("fake-shell", "org.gnome.Shell", "/org/gnome/Shell", "GetExtensionInfo");
    shell->answer = [] { return QVariant::fromValue(QVariantMap{}); };
    return shell;
}

std::unique_ptr<FakeService> fakeExtension() {
    auto ext = std::make_unique<FakeService>("fake-extension", gnome_extension::kBusName, gnome_extension::kObjectPath,
                                             "Subscribe");
    ext->answer = [] {
        return QVariant(QString(R"({"pointer":{"x":300,"y":200},"window":{"x":40,"y":50,"width":640,"height":480,)"
                                R"("pid":4242,"class":"org.gnome.TextEditor","title":"notes"}})"));
    };
    return ext;
}

// Points XDG_DATA_HOME and XDG_DATA_DIRS at an empty folder while it lives.
struct EmptyDataDirs {
    QTemporaryDir dir;
    QByteArray home = qgetenv("XDG_DATA_HOME"), dirs = qgetenv("XDG_DATA_DIRS");
    EmptyDataDirs() {
        qputenv("XDG_DATA_HOME", dir.path().toUtf8());
        qputenv("XDG_DATA_DIRS", dir.path().toUtf8());
    }
    ~EmptyDataDirs() {
        qputenv("XDG_DATA_HOME", home);
        qputenv("XDG_DATA_DIRS", dirs);
    }
};

}  // namespace

TEST(ProviderReports, EachKindTakesWhatItNeedsAndNothingElse) {
    auto press = parseProviderReport(R"({"kind":"press","x":10.5,"y":-3,"alt":true,"super":true,"shift":false})");
    ASSERT_TRUE(press);
    EXPECT_EQ(press->kind, ProviderReport::Kind::press);
    EXPECT_EQ(press->at, QPointF(10.5, -3));
    EXPECT_EQ(press->modifiers, (Modifiers{true, true, false, false}));
    // A flag that is no boolean is no modifier.
    EXPECT_TRUE(parseProviderReport(R"({"kind":"press","x":1,"y":2,"control":"yes"})")->modifiers.none());

    auto window = parseProviderReport(
        R"({"kind":"window","x":1,"y":2,"width":30,"height":40,"pid":77,"class":"gedit","title":"t"})");
    ASSERT_TRUE(window && window->window);
    EXPECT_EQ(window->window->frame, QRectF(1, 2, 30, 40));
    EXPECT_EQ(window->window->processID, 77);
    EXPECT_EQ(window->window->windowClass, "gedit");
    // No frame, or half of one, or a negative one: no focused window.
    EXPECT_FALSE(parseProviderReport(R"({"kind":"window"})")->window);
    EXPECT_FALSE(parseProviderReport(R"({"kind":"window","x":1,"y":2,"width":30})")->window);
    EXPECT_FALSE(parseProviderReport(R"({"kind":"window","x":1,"y":2,"width":-30,"height":4})")->window);
    // A pid out of range is no pid, not a wrapped number.
    EXPECT_EQ(parseProviderReport(R"({"kind":"window","x":0,"y":0,"width":1,"height":1,"pid":1e12})")
                  ->window->processID,
              0);

    EXPECT_FALSE(parseProviderReport(R"({"kind":"pointer","x":1})"));
    EXPECT_FALSE(parseProviderReport(R"({"kind":"press","x":"1","y":2})"));
    EXPECT_FALSE(parseProviderReport("[1,2]"));
    EXPECT_FALSE(parseProviderReport("{\"kind\":\"pointer\""));
    EXPECT_EQ(parseProviderReport(R"({"kind":"hello"})")->kind, ProviderReport::Kind::other);
}

TEST(ProviderReports, AWindowListNamesEachByTheDesktopsAppIdElseItsInstanceAndLeavesOutBadIds) {
    auto list = parseProviderReport(R"({"kind":"windows","windows":[
        {"id":7,"app":"org.gnome.Terminal","instance":"gnome-terminal-server","class":"Gnome-terminal","pid":40},
        {"id":8,"app":"","instance":"chromium","class":"Chromium","pid":41},
        {"id":-1,"class":"bad"},{"id":2.5,"class":"bad"},{"id":"","class":"bad"},{"class":"no id"},
        {"id":9,"class":"foot","pid":1e12}]})");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->kind, ProviderReport::Kind::windows);
    ASSERT_EQ(list->windows.size(), 3u);
    EXPECT_EQ(list->windows[0].id, 7u);
    EXPECT_EQ(list->windows[0].instance, "org.gnome.Terminal");
    EXPECT_EQ(list->windows[0].className, "Gnome-terminal");
    EXPECT_EQ(list->windows[0].processID, 40);
    EXPECT_TRUE(list->windows[0].listedByCompositor);
    EXPECT_EQ(list->windows[1].instance, "chromium");
    EXPECT_EQ(list->windows[2].instance, "");
    EXPECT_EQ(list->windows[2].processID, 0);
    // KWin's ids are strings.
    auto kwin = parseProviderReport(R"({"kind":"windows","windows":[{"id":"{5a3e-01}","class":"foot","pid":3}]})");
    ASSERT_EQ(kwin->windows.size(), 1u);
    EXPECT_EQ(kwin->windows[0].handle, "{5a3e-01}");
    EXPECT_EQ(kwin->windows[0].className, "foot");
    // An empty list is a list: nothing is open.
    EXPECT_TRUE(parseProviderReport(R"({"kind":"windows","windows":[]})")->windows.empty());
    EXPECT_FALSE(parseProviderReport(R"({"kind":"windows"})"));
    EXPECT_FALSE(parseProviderReport(R"({"kind":"windows","windows":{}})"));
}

TEST(GnomeShellProvider, FollowsTheExtensionsStateAndReportsAndItsLeavingAndReturn) {
    EmptyDataDirs data;
    auto shell = fakeShell();
    shell->claim();
    auto ext = fakeExtension();
    ext->claim();
    ASSERT_TRUE(GnomeShellProvider::isAvailable());

    SessionAwareness awareness(SessionAwareness::Session{true, "", ""});
    ASSERT_EQ(awareness.providerName(), "gnome-shell");
    auto* provider = awareness.provider();
    std::vector<QPointF> moves;
    std::vector<std::pair<QPointF, Modifiers>> presses;
    awareness.onPointerMoved = [&](QPointF at) { moves.push_back(at); };
    awareness.onPressed = [&](QPointF at, Modifiers m) { presses.emplace_back(at, m); };

    ASSERT_TRUE(spinUntil([&] { return awareness.abilities() == DesktopAbilities{true, true, true}; }));
    EXPECT_EQ(awareness.remedy(), DesktopRemedy::none);
    ASSERT_TRUE(provider->focusedWindow());
    EXPECT_EQ(provider->focusedWindow()->processID, 4242);
    EXPECT_EQ(provider->focusedWindow()->frame, QRectF(40, 50, 640, 480));
    EXPECT_EQ(provider->pointer(), QPointF(300, 200));

    ext->emitReport(R"({"kind":"pointer","x":900,"y":100})");
    ext->emitReport(R"({"kind":"press","x":905,"y":101,"alt":true})");
    ext->emitReport(R"({"kind":"window"})");
    ASSERT_TRUE(spinUntil([&] { return !provider->focusedWindow(); }));
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.back(), QPointF(900, 100));
    ASSERT_EQ(presses.size(), 1u);
    EXPECT_EQ(presses[0].first, QPointF(905, 101));
    EXPECT_TRUE(presses[0].second.option);
    EXPECT_FALSE(awareness.providerFrontWindow());

    // Disabled: nothing known; the shell knows the extension, so enabling
    // it is the remedy.
    shell->answer = [] { return QVariant::fromValue(QVariantMap{{"state", 2.0}}); };
    ext->leave();
    ASSERT_TRUE(spinUntil([&] { return awareness.remedy() == DesktopRemedy::enableGnomeShellExtension; }));
    EXPECT_EQ(awareness.abilities(), DesktopAbilities{});
    EXPECT_FALSE(provider->pointer());
    // Reports of someone else's after it left change nothing.
    ext->bus().send(QDBusMessage::createSignal(gnome_extension::kObjectPath, gnome_extension::kInterface, "Report")
                    << QString(R"({"kind":"press","x":1,"y":1})"));
    spinUntil([] { return false; }, 0.2);
    EXPECT_EQ(presses.size(), 1u);

    // Enabled again: the state is read anew, and the same provider goes on.
    ext->claim();
    ASSERT_TRUE(spinUntil([&] { return awareness.abilities().desktopPresses; }));
    EXPECT_EQ(awareness.provider(), provider);
    EXPECT_EQ(awareness.remedy(), DesktopRemedy::none);
    EXPECT_TRUE(provider->focusedWindow());
}

TEST(GnomeShellProvider, WithoutTheExtensionTheRemedyIsToInstallOrToEnableWhatIsOnDisk) {
    EmptyDataDirs data;
    auto shell = fakeShell();
    shell->claim();
    GnomeShellProvider provider;
    provider.start();
    ASSERT_TRUE(spinUntil([&] { return provider.remedy() == DesktopRemedy::installGnomeShellExtension; }));
    EXPECT_EQ(provider.abilities(), DesktopAbilities{});

    // Installed since login: the shell does not know it, the disk does.
    const auto installed = gnome_extension::install(gnome_extension::Style::legacy, data.dir.path());
    ASSERT_TRUE(installed.ok) << installed.error.toStdString();
    EXPECT_TRUE(QFile::exists(data.dir.path() + "/gnome-shell/extensions/orvella@orvella.org/extension.js"));
    // Enabled for the next login, once however often it is installed.
    if (installed.enabled) {
        ASSERT_TRUE(gnome_extension::install(gnome_extension::Style::legacy, data.dir.path()).ok);
        QFile keyfile(qEnvironmentVariable("XDG_CONFIG_HOME") + "/glib-2.0/settings/keyfile");
        ASSERT_TRUE(keyfile.open(QIODevice::ReadOnly));
        EXPECT_EQ(QString(keyfile.readAll()).count("orvella@orvella.org"), 1);
    }
    GnomeShellProvider after;
    after.start();
    EXPECT_TRUE(spinUntil([&] { return after.remedy() == DesktopRemedy::enableGnomeShellExtension; }));

    // The shell goes: the provider is lost, not stuck.
    bool lost = false;
    QObject::connect(&after, &DesktopProvider::lost, [&] { lost = true; });
    shell->leave();
    EXPECT_TRUE(spinUntil([&] { return lost; }));
}

TEST(GnomeShellProvider, AShellThatWillNotRunTheExtensionIsSaidSoWithItsVersionNotToEnableIt) {
    EmptyDataDirs data;
    ASSERT_TRUE(gnome_extension::install(gnome_extension::Style::module, data.dir.path()).ok);
    auto shell = fakeShell();
    shell->version = "51.alpha";
    shell->answer = [] { return QVariant::fromValue(QVariantMap{{"state", 4.0}}); };
    shell->claim();
    GnomeShellProvider provider;
    provider.start();
    ASSERT_TRUE(spinUntil([&] { return provider.remedy() == DesktopRemedy::gnomeShellExtensionOutOfDate; }));
    EXPECT_EQ(provider.shellVersion(), "51");

    // A copy left from an older Orvella that this shell found out of date:
    // installing this one mends it.
    shell->version = "50.5";
    GnomeShellProvider older;
    older.start();
    ASSERT_TRUE(spinUntil([&] { return older.remedy() == DesktopRemedy::installGnomeShellExtension; }));
    EXPECT_EQ(older.shellVersion(), "50");

    shell->answer = [] { return QVariant::fromValue(QVariantMap{{"state", 3.0}}); };
    GnomeShellProvider failed;
    failed.start();
    ASSERT_TRUE(spinUntil([&] { return failed.remedy() == DesktopRemedy::gnomeShellExtensionFailed; }));
}

TEST(GnomeShellProvider, TheRemedyFollowsWhatTheShellSaysAndItsVersion) {
    using S = gnome_extension::ShellState;
    const int newest = gnome_extension::kNewestShell;
    const QString next = QString::number(newest + 1), current = QString::number(newest);
    EXPECT_EQ(GnomeShellProvider::remedyFor(true, S::outOfDate, next), DesktopRemedy::gnomeShellExtensionOutOfDate);
    EXPECT_EQ(GnomeShellProvider::remedyFor(true, S::outOfDate, ""), DesktopRemedy::gnomeShellExtensionOutOfDate);
    EXPECT_EQ(GnomeShellProvider::remedyFor(true, S::outOfDate, current), DesktopRemedy::installGnomeShellExtension);
    EXPECT_EQ(GnomeShellProvider::remedyFor(true, S::failed, current), DesktopRemedy::gnomeShellExtensionFailed);
    EXPECT_EQ(GnomeShellProvider::remedyFor(true, S::inactive, current), DesktopRemedy::enableGnomeShellExtension);
    // Not yet found by a shell newer than the extension knows: enabling it
    // would do nothing.
    EXPECT_EQ(GnomeShellProvider::remedyFor(false, S::unknown, next), DesktopRemedy::gnomeShellExtensionOutOfDate);
    EXPECT_EQ(gnome_extension::stateFromInfo({{"state", 4.0}}), S::outOfDate);
    EXPECT_EQ(gnome_extension::stateFromInfo({{"state", 1.0}}), S::active);
    EXPECT_EQ(gnome_extension::stateFromInfo({}), S::unknown);
    EXPECT_EQ(gnome_extension::problem(S::outOfDate, "51.0"),
              "Orvella's extension does not support GNOME Shell 51 yet.");
    EXPECT_TRUE(gnome_extension::problem(S::active, "50.1").isEmpty());
}

TEST(GnomeExtension, EachShellGetsTheStyleItLoads) {
    using gnome_extension::Style;
    EXPECT_EQ(gnome_extension::styleForShell(43), Style::legacy);
    EXPECT_EQ(gnome_extension::styleForShell(44), Style::legacy);
    EXPECT_EQ(gnome_extension::styleForShell(45), Style::module);
    EXPECT_EQ(gnome_extension::styleForShell(std::nullopt), Style::module);
    // One logic, two wrappings.
    const std::string legacy = gnome_extension::kLegacyScript, module = gnome_extension::kModuleScript;
    EXPECT_NE(legacy.find("class OrvellaBridge"), std::string::npos);
    EXPECT_NE(module.find("class OrvellaBridge"), std::string::npos);
    EXPECT_NE(module.find("export default class"), std::string::npos);
    EXPECT_EQ(legacy.find("export "), std::string::npos);
    EXPECT_NE(std::string(gnome_extension::kLegacyMetadata).find("\"43\", \"44\""), std::string::npos);
    EXPECT_EQ(std::string(gnome_extension::kModuleMetadata).find("\"44\""), std::string::npos);
    EXPECT_NE(std::string(gnome_extension::kModuleMetadata).find("\"50\""), std::string::npos);
    EXPECT_GE(gnome_extension::kNewestShell, 50);
    EXPECT_TRUE(gnome_extension::supportsShell(43));
    EXPECT_FALSE(gnome_extension::supportsShell(42));
    // No address the project does not have.
    EXPECT_EQ(std::string(gnome_extension::kModuleMetadata).find("\"url\""), std::string::npos);
    // Nothing the shell may drop is imported: a failed import fails it all.
    EXPECT_EQ(module.find("shell/ui/pointerWatcher"), std::string::npos);
    EXPECT_EQ(legacy.find("ui.pointerWatcher"), std::string::npos);
    EXPECT_NE(module.find("position-invalidated"), std::string::npos);
}
