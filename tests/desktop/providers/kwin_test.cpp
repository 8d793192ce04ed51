// The KWin provider against a KWin played on the test's private session
// bus: like KWin after another script was unloaded out of order, the id it
// hands out for Orvella's script names a live script's object, so running
// that object starts nothing. Only the script's own report says it runs.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QStringList>

#include "support/backend_support.h"
#include "desktop/providers/kwin.h"

using namespace orvella;
using namespace orvella::desktop;
using namespace orvella::testing;

namespace {

// org.kde.KWin with its /Scripting object and the scripts' objects below.
class FakeKWin : public QDBusVirtualObject {
public:
    FakeKWin() {
        bus().registerVirtualObject("/Scripting", this, QDBusConnection::SubPath);
        EXPECT_TRUE(bus().registerService("org.kde.KWin"));
    }
    ~FakeKWin() override {
        bus().unregisterService("org.kde.KWin");
        QDBusConnection::disconnectFromBus("fake-kwin");
    }
    static QDBusConnection bus() { return QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-kwin"); }

    // What "start" does: whether it runs the loaded script that is not
    // running yet (ours), which then says hello to whoever loaded it.
    bool startRunsIt = true;
    QStringList calls;
    bool loaded = false;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QString member = message.member();
        calls << member;
        QVariant answer;
        if (member == "loadScript") {
            loader_ = message.service();
            loaded = true;
            answer = 1;  // a live script's id
        } else if (member == "unloadScript") {
            answer = loaded;
            loaded = false;
        } else if (member == "isScriptLoaded") {
            answer = loaded;
        } else if (member == "start" && startRunsIt && loaded) {
            auto hello = QDBusMessage::createMethodCall(loader_, KWinProvider::kReportPath, "org.orvella.KWinReport",
                                                        "Report");
            hello << QString(R"({"kind":"hello"})");
            connection.send(hello);
            hello = QDBusMessage::createMethodCall(loader_, KWinProvider::kReportPath, "org.orvella.KWinReport",
                                                   "Report");
            hello << QString(R"({"kind":"window","x":1,"y":2,"width":300,"height":200,"pid":7,"class":"k"})");
            connection.send(hello);
        }
        connection.send(answer.isValid() ? message.createReply(answer) : message.createReply());
        return true;
    }

private:
    QString loader_;
};

}  // namespace

TEST(KWinProvider, AScriptWhoseIdNamesAnotherIsStartedByKWinAndThenReports) {
    FakeKWin kwin;
    KWinProvider provider(nullptr, 200);
    provider.start();
    ASSERT_TRUE(spinUntil([&] { return provider.abilities().focusedWindow; }, 5))
        << kwin.calls.join(",").toStdString();
    // The object the id named was run first; it said nothing, so KWin was
    // asked to run every loaded script.
    EXPECT_EQ(kwin.calls.count("run"), 1);
    EXPECT_EQ(kwin.calls.count("start"), 1);
    EXPECT_EQ(kwin.calls.count("loadScript"), 1);
    EXPECT_EQ(provider.remedy(), DesktopRemedy::none);
    ASSERT_TRUE(provider.focusedWindow());
    EXPECT_EQ(provider.focusedWindow()->processID, 7);
}

TEST(KWinProvider, AScriptThatNeverSaysItRunsIsLoadedAgainAFewTimesThenTheRemedySaysSo) {
    FakeKWin kwin;
    kwin.startRunsIt = false;
    KWinProvider provider(nullptr, 150);
    bool changed = false, lost = false;
    QObject::connect(&provider, &DesktopProvider::changed, [&] { changed = true; });
    QObject::connect(&provider, &DesktopProvider::lost, [&] { lost = true; });
    provider.start();
    ASSERT_TRUE(spinUntil([&] { return provider.remedy() == DesktopRemedy::kwinScriptDidNotStart; }, 5))
        << kwin.calls.join(",").toStdString();
    EXPECT_TRUE(changed);
    EXPECT_EQ(kwin.calls.count("loadScript"), KWinProvider::kAttempts);
    EXPECT_EQ(provider.abilities(), DesktopAbilities{});
    // KWin is left without the script that never ran, and Orvella does not
    // go on loading it over and over (a lost provider is chosen again).
    EXPECT_TRUE(spinUntil([&] { return !kwin.loaded; }, 2));
    spinUntil([] { return false; }, 0.5);
    EXPECT_EQ(kwin.calls.count("loadScript"), KWinProvider::kAttempts);
    EXPECT_FALSE(lost);
}

TEST(KWinProvider, TheActivationScriptTakesOnlyAnInternalIdAndSetsTheActiveWindowOnBothVersions) {
    const QByteArray script = kwinActivationScript("{5a3e0c1d-9b7f-4e2a-8c6d-1f0e2d3c4b5a}");
    EXPECT_TRUE(script.contains("\"{5a3e0c1d-9b7f-4e2a-8c6d-1f0e2d3c4b5a}\""));
    EXPECT_TRUE(script.contains("workspace.activeWindow = list[i]"));  // KWin 6
    EXPECT_TRUE(script.contains("workspace.activeClient = list[i]"));  // KWin 5.27
    // Nothing else is written into a script KWin runs.
    EXPECT_TRUE(kwinActivationScript("").isEmpty());
    EXPECT_TRUE(kwinActivationScript("\"; workspace.activeWindow = null; \"").isEmpty());
    EXPECT_TRUE(kwinActivationScript("{5a3e0c1d}\nprint(1)").isEmpty());
    EXPECT_TRUE(kwinActivationScript(std::string(41, 'a')).isEmpty());
}
