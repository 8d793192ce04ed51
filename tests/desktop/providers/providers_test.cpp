// Compositor providers against their protocols: the i3 IPC framing and the
// sway tree, and Hyprland's sockets played by a fake compositor; a provider
// whose socket closes leaves the session with nothing, and is found again.

#include <gtest/gtest.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <memory>

#include "support/backend_support.h"
#include "desktop/providers/hyprland.h"
#include "desktop/json.h"
#include "desktop/providers/session_awareness.h"
#include "desktop/providers/sway.h"

using namespace orvella;
using namespace orvella::desktop;
using namespace orvella::testing;

TEST(SwayIpc, MessagesAreFramedAndTakenWholeAndABadStreamIsRefused) {
    QByteArray stream = i3ipc::encode(i3ipc::getTree, "{}") + i3ipc::encode(i3ipc::eventBit | 3, "[1]");
    QByteArray buffer = stream.left(10);
    bool bad = false;
    EXPECT_FALSE(i3ipc::take(buffer, bad));
    EXPECT_FALSE(bad) << "half a header is only early";
    buffer = stream;
    auto first = i3ipc::take(buffer, bad);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->type, i3ipc::getTree);
    EXPECT_EQ(first->payload, "{}");
    auto second = i3ipc::take(buffer, bad);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->type, i3ipc::eventBit | 3);
    EXPECT_TRUE(buffer.isEmpty());
    QByteArray junk = "i4-ipc........";
    EXPECT_FALSE(i3ipc::take(junk, bad));
    EXPECT_TRUE(bad);
    // A length no reply has is refused rather than waited for.
    QByteArray huge = i3ipc::encode(1, "");
    const std::uint32_t length = 0xfffffff0u;
    std::memcpy(huge.data() + 6, &length, 4);
    EXPECT_FALSE(i3ipc::take(huge, bad));
    EXPECT_TRUE(bad);
}

TEST(SwayIpc, TheFocusedViewIsFoundTiledOrFloatingAndAnEmptyWorkspaceHasNone) {
    const auto tree = parseJson(R"({"type":"root","focused":false,"nodes":[
        {"type":"output","focused":false,"nodes":[
          {"type":"workspace","focused":false,"nodes":[
            {"type":"con","focused":false,"pid":10,"app_id":"a","name":"A","rect":{"x":0,"y":0,"width":10,"height":10}}],
           "floating_nodes":[
            {"type":"floating_con","focused":true,"pid":42,"app_id":null,"name":"Chat",
             "window_properties":{"class":"chatwin"},"rect":{"x":420,"y":250,"width":600,"height":400}}]}]}]})");
    ASSERT_TRUE(tree);
    auto w = i3ipc::focusedWindow(*tree);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->frame, QRectF(420, 250, 600, 400));
    EXPECT_EQ(w->processID, 42);
    EXPECT_EQ(w->windowClass, "chatwin");
    EXPECT_EQ(w->title, "Chat");
    // The focus on a workspace (no process): no window.
    const auto empty = parseJson(R"({"type":"root","nodes":[{"type":"workspace","focused":true,"nodes":[]}]})");
    EXPECT_FALSE(i3ipc::focusedWindow(*empty));
}

TEST(SwayIpc, EveryViewIsListedNativeByAppIdXWaylandByClassWithTheFocusedOneLast) {
    const auto tree = parseJson(R"({"id":1,"type":"root","nodes":[
        {"id":2,"type":"output","nodes":[
          {"id":3,"type":"workspace","nodes":[
            {"id":4,"type":"con","layout":"splith","nodes":[
              {"id":10,"type":"con","focused":true,"pid":11,"app_id":"foot","nodes":[]},
              {"id":12,"type":"con","focused":false,"pid":13,"app_id":null,
               "window_properties":{"class":"Chromium","instance":"chromium"},"nodes":[]}]}],
           "floating_nodes":[
            {"id":14,"type":"floating_con","focused":false,"pid":15,"app_id":"org.gnome.Calculator","nodes":[]}]},
          {"id":5,"type":"workspace","nodes":[]}]}]})");
    ASSERT_TRUE(tree);
    const auto views = i3ipc::views(*tree);
    ASSERT_EQ(views.size(), 3u);
    EXPECT_EQ(views[0].id, 12u);
    EXPECT_EQ(views[0].instance, "chromium");
    EXPECT_EQ(views[0].className, "Chromium");
    EXPECT_EQ(views[0].processID, 13);
    EXPECT_EQ(views[1].instance, "org.gnome.Calculator");
    EXPECT_EQ(views[1].className, "org.gnome.Calculator");
    // The focused one last: opening brings the topmost of an application's
    // windows forward, and the focused one is on top.
    EXPECT_EQ(views[2].id, 10u);
    EXPECT_EQ(views[2].instance, "foot");
    for (const auto& view : views) EXPECT_TRUE(view.listedByCompositor);
    EXPECT_EQ(i3ipc::focusCommand(views[2]), QByteArray("[con_id=10] focus"));
}

namespace {

// Plays Hyprland's two sockets in a folder: requests get the canned
// replies, and events can be sent to every listener.
struct FakeHyprland {
    QTemporaryDir dir;
    QLocalServer requests, events;
    std::vector<QLocalSocket*> listeners;
    QByteArray activeWindow = R"({"at":[420,250],"size":[600,400],"pid":7,"class":"editor","title":"E"})";
    QByteArray cursor = R"({"x":300,"y":200})";
    QByteArray clients = "[]";
    std::vector<QByteArray> dispatched;
    int requestCount = 0;
    FakeHyprland() {
        requests.listen(dir.path() + "/.socket.sock");
        events.listen(dir.path() + "/.socket2.sock");
        QObject::connect(&requests, &QLocalServer::newConnection, [this] {
            while (QLocalSocket* s = requests.nextPendingConnection()) {
                QObject::connect(s, &QLocalSocket::readyRead, s, [this, s] {
                    const QByteArray command = s->readAll();
                    ++requestCount;
                    if (command.startsWith("dispatch ")) dispatched.push_back(command);
                    s->write(command == "j/activewindow" ? activeWindow
                             : command == "j/cursorpos"  ? cursor
                             : command == "j/clients"    ? clients
                             : command.startsWith("dispatch ") ? QByteArray("ok")
                                                                : QByteArray("unknown"));
                    s->flush();
                    s->disconnectFromServer();
                });
                QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            }
        });
        QObject::connect(&events, &QLocalServer::newConnection, [this] {
            while (QLocalSocket* s = events.nextPendingConnection()) listeners.push_back(s);
        });
    }
    void send(const QByteArray& line) {
        for (auto* s : listeners) {
            s->write(line);
            s->flush();
        }
    }
    void closeEvents() {
        for (auto* s : listeners) s->disconnectFromServer();
        listeners.clear();
        events.close();
    }
};

}  // namespace

TEST(Hyprland, TheActiveWindowAndTheCursorComeFromItsSockets) {
    FakeHyprland hypr;
    HyprlandProvider provider(hypr.dir.path().toStdString());
    std::vector<QPointF> moves;
    QObject::connect(&provider, &DesktopProvider::pointerMoved, [&](QPointF at) { moves.push_back(at); });
    provider.start();
    ASSERT_TRUE(spinUntil([&] { return provider.focusedWindow().has_value(); }));
    EXPECT_EQ(provider.abilities(), (DesktopAbilities{true, true, false}));
    EXPECT_EQ(provider.focusedWindow()->frame, QRectF(420, 250, 600, 400));
    EXPECT_EQ(provider.focusedWindow()->processID, 7);
    ASSERT_TRUE(spinUntil([&] { return !moves.empty(); }));
    EXPECT_EQ(moves.back(), QPointF(300, 200));
    EXPECT_EQ(provider.pointer(), QPointF(300, 200));

    // The active window changes: an event says so, a request says which.
    hypr.activeWindow = R"({"at":[0,0],"size":[100,80],"pid":8,"class":"term","title":"T"})";
    hypr.send("activewindowv2>>0x1234\n");
    ASSERT_TRUE(spinUntil([&] { return provider.focusedWindow() && provider.focusedWindow()->processID == 8; }));
    // Nothing focused.
    hypr.activeWindow = "{}";
    hypr.send("activewindow>>,\n");
    ASSERT_TRUE(spinUntil([&] { return !provider.focusedWindow(); }));
    // The cursor moves; unchanged positions are not repeated.
    const size_t before = moves.size();
    hypr.cursor = R"({"x":310,"y":205})";
    ASSERT_TRUE(spinUntil([&] { return moves.size() == before + 1; }));
    spinUntil([] { return false; }, 0.35);
    EXPECT_EQ(moves.size(), before + 1);
}

TEST(Hyprland, ItsClientsAreListedFocusedLastAndOneIsFocusedByAddress) {
    FakeHyprland hypr;
    hypr.clients = R"([
        {"address":"0x55d1c0a0","mapped":true,"class":"foot","initialClass":"foot","pid":31,"focusHistoryID":0},
        {"address":"0x55d1c0b0","mapped":true,"class":"Chromium","initialClass":"chromium","pid":32,"focusHistoryID":2},
        {"address":"0x55d1c0c0","mapped":false,"class":"hidden","pid":33,"focusHistoryID":3},
        {"address":"0x55d1c0d0","mapped":true,"class":"org.gnome.Calculator","initialClass":"","pid":34,"focusHistoryID":1}])";
    HyprlandProvider provider(hypr.dir.path().toStdString());
    provider.start();
    ASSERT_TRUE(spinUntil([&] { return provider.windows() && provider.windows()->size() == 3; }));
    const auto windows = *provider.windows();
    EXPECT_EQ(windows[0].id, 0x55d1c0b0u);
    EXPECT_EQ(windows[0].instance, "chromium");
    EXPECT_EQ(windows[0].className, "Chromium");
    EXPECT_EQ(windows[0].processID, 32);
    EXPECT_EQ(windows[1].instance, "org.gnome.Calculator");
    EXPECT_EQ(windows[2].instance, "foot");
    for (const auto& w : windows) EXPECT_TRUE(w.listedByCompositor);
    // A window opens: the list is read again.
    hypr.clients = R"([{"address":"0x1","mapped":true,"class":"a","pid":1,"focusHistoryID":0}])";
    hypr.send("openwindow>>1,1,a,A\n");
    ASSERT_TRUE(spinUntil([&] { return provider.windows() && provider.windows()->size() == 1; }));
    EXPECT_TRUE(provider.activateWindow(windows[0]));
    ASSERT_TRUE(spinUntil([&] { return !hypr.dispatched.empty(); }));
    EXPECT_EQ(hypr.dispatched.front(), QByteArray("dispatch focuswindow address:0x55d1c0b0"));
    // Its sockets gone: nothing is listed, and nothing can be focused.
    hypr.closeEvents();
    ASSERT_TRUE(spinUntil([&] { return !provider.windows(); }));
    EXPECT_FALSE(provider.activateWindow(windows[0]));
}

TEST(Hyprland, TheSocketFolderIsTheInstancesAndASignatureCannotLeaveIt) {
    QTemporaryDir runtime;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    QDir(runtime.path()).mkpath("hypr/abc");
    ASSERT_TRUE(QFile(runtime.path() + "/hypr/abc/.socket2.sock").open(QIODevice::WriteOnly));
    EXPECT_EQ(hyprland::socketFolder("abc"), (runtime.path() + "/hypr/abc").toStdString());
    EXPECT_EQ(hyprland::socketFolder("missing"), "");
    EXPECT_EQ(hyprland::socketFolder("../abc"), "");
    EXPECT_EQ(hyprland::socketFolder(""), "");
    qputenv("XDG_RUNTIME_DIR", saved);
}

TEST(SessionAwareness, AProviderThatGoesLeavesNothingAndIsFoundAgain) {
    QTemporaryDir runtime;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    auto hypr = std::make_unique<FakeHyprland>();
    // The instance folder where Hyprland keeps it, pointing at the fake's.
    QDir(runtime.path()).mkpath("hypr");
    QFile::link(hypr->dir.path(), runtime.path() + "/hypr/sig");

    SessionAwareness::Session session;
    session.wayland = true;
    session.hyprlandSignature = "sig";
    SessionAwareness awareness(session);
    int changes = 0;
    awareness.addChangeObserver([&] { ++changes; });
    ASSERT_TRUE(spinUntil([&] { return awareness.abilities().focusedWindow; }));
    EXPECT_EQ(awareness.providerName(), "hyprland");
    ASSERT_TRUE(spinUntil([&] { return awareness.providerFrontWindow().has_value(); }));
    EXPECT_EQ(awareness.providerFrontWindow()->size, (Size{600, 400}));

    // The compositor's end closes: nothing is known, nothing breaks.
    hypr->closeEvents();
    ASSERT_TRUE(spinUntil([&] { return !awareness.abilities().focusedWindow; }));
    EXPECT_FALSE(awareness.providerFrontWindow());
    EXPECT_GT(changes, 1);
    // It comes back: found again within the retry.
    hypr->events.listen(hypr->dir.path() + "/.socket2.sock");
    EXPECT_TRUE(spinUntil([&] { return awareness.abilities().focusedWindow; }, 5));
    qputenv("XDG_RUNTIME_DIR", saved);
}

TEST(SessionAwareness, AnX11SessionKnowsEverythingAWaylandOneWithoutAProviderNothing) {
    SessionAwareness x11(SessionAwareness::Session{false, "", ""});
    EXPECT_EQ(x11.abilities(), (DesktopAbilities{true, true, true}));
    EXPECT_EQ(x11.providerName(), "x11");
    SessionAwareness bare(SessionAwareness::Session{true, "", ""});
    EXPECT_EQ(bare.abilities(), DesktopAbilities{});
    EXPECT_EQ(bare.providerName(), "none");
    // A sway socket nobody listens on: the provider is there but knows nothing.
    SessionAwareness dead(SessionAwareness::Session{true, "/nonexistent/sway.sock", ""});
    spinUntil([] { return false; }, 0.2);
    EXPECT_EQ(dead.abilities(), DesktopAbilities{});
}
