// Unread sensing: reading counts out of dock items, matching them to the
// catalogue, the monitor's queue, and what a rising count does to a fish.

#include <cmath>

#include "support/recording_canvas.h"
#include "tank_fixture.h"

using namespace orvella;
using namespace orvella::testing;

namespace {

DockItem tile(std::optional<std::string> title, std::optional<std::string> status = {},
              std::optional<std::string> url = {}) {
    DockItem item;
    item.role = "AXDockItem";
    item.title = std::move(title);
    item.statusLabel = std::move(status);
    item.url = std::move(url);
    return item;
}

OrvellaApp app(const std::string& path, const std::string& name) { return OrvellaApp{name, path, nullptr}; }

// --- parsing and names ------------------------------------------------------

TEST(BadgeLabels, CountsAreTheFirstNumberClampedTo999) {
    auto parse = [](const char* text, bool cue = false) {
        return UnreadBadgeMonitor::numericBadgeCount(std::string(text), cue);
    };
    EXPECT_EQ(parse("3"), 3);
    EXPECT_EQ(parse("99+"), 99);
    EXPECT_EQ(parse("1,234"), 999);
    EXPECT_EQ(parse("1\xef\xbc\x8c" "234"), 999);       // full-width comma
    EXPECT_EQ(parse("\xef\xbc\x91\xef\xbc\x92"), std::nullopt);  // full-width digits only
    EXPECT_EQ(parse("7\xef\xbc\x91"), std::nullopt);    // a full-width digit in the run
    EXPECT_EQ(parse("\xe2\x80\xa2"), std::nullopt);     // a dot badge
    EXPECT_EQ(parse(""), std::nullopt);
    EXPECT_EQ(UnreadBadgeMonitor::numericBadgeCount(std::nullopt, false), std::nullopt);
    EXPECT_EQ(parse("99999999999999999999999"), std::nullopt) << "overflow is no number";
    // Every value up to the largest 64-bit integer parses (and shows 999);
    // one more overflows.
    EXPECT_EQ(parse("9223372036854775807"), 999);
    EXPECT_EQ(parse("9223372036854775800"), 999);
    EXPECT_EQ(parse("9223372036854775808"), std::nullopt);
    EXPECT_EQ(parse("0"), 0);
    EXPECT_EQ(parse("a12b34"), 12);

    // Titles and help texts need a cue word.
    EXPECT_EQ(parse("Version 2024", true), std::nullopt);
    EXPECT_EQ(parse("Notification Center 2024", true), 999);
    EXPECT_EQ(parse("2 new messages", true), 2);
    EXPECT_EQ(parse("\xe5\xbe\xae\xe4\xbf\xa1 5 \xe6\x9d\xa1\xe6\x9c\xaa\xe8\xaf\xbb", true), 5);  // 微信 5 条未读
    EXPECT_EQ(parse("UNREAD: 4", true), 4);
}

TEST(BadgeLabels, NamesAreNormalisedAcrossScripts) {
    auto n = UnreadBadgeMonitor::normalizedName;
    EXPECT_EQ(n("Google Chrome.app"), "google chrome");
    EXPECT_EQ(n("WeChat (\xe5\xb7\xa5\xe4\xbd\x9c)"), "wechat \xe5\xb7\xa5\xe4\xbd\x9c");
    EXPECT_EQ(n("  My.APP.App  "), "my");
    // One pass: the ".app" that removing another one forms stays.
    EXPECT_EQ(n("Ml.ap.appp"), "ml.app");
    EXPECT_EQ(n("org.gnome_Mail-2"), "org.gnome_mail-2");
    EXPECT_EQ(n("\xc3\x89" "CLAIR \xd0\x9f\xd0\xbe\xd1\x87\xd1\x82\xd0\xb0"), "\xc3\xa9" "clair \xd0\xbf\xd0\xbe\xd1\x87\xd1\x82\xd0\xb0");
    EXPECT_EQ(n("!!! ()"), "");
    EXPECT_EQ(n("Slack \xe2\x80\x94 Team"), "slack team");  // an em dash separates
    EXPECT_EQ(n("\xff\xfe bad bytes"), "bad bytes");
}

TEST(BadgeLabels, ItemCountPrefersTheStatusLabelThenCuedTexts) {
    DockItem item = tile("Mail");
    EXPECT_EQ(UnreadBadgeMonitor::badgeCount(item), 0);
    item.help = "2 new messages";
    EXPECT_EQ(UnreadBadgeMonitor::badgeCount(item), 2);
    item.statusLabel = "5";
    EXPECT_EQ(UnreadBadgeMonitor::badgeCount(item), 5);
    item.statusLabel = "\xe2\x80\xa2";  // a dot: no number, the texts are read
    EXPECT_EQ(UnreadBadgeMonitor::badgeCount(item), 2);
}

// --- matching ---------------------------------------------------------------

struct MatchingTest : TankTest {
    std::optional<std::map<std::string, int>> read(const std::vector<OrvellaApp>& apps) {
        UnreadBadgeMonitor& m = make().unreadBadgeMonitor;
        std::vector<AppDescriptor> descriptors;
        for (const auto& a : apps) descriptors.push_back(m.makeDescriptor(a));
        return m.readDockBadgeCounts(descriptors);
    }
};

TEST_F(MatchingTest, EveryApplicationHasAnEntryAndTilesMatchByNameOrPrefix) {
    const auto chrome = app("/usr/share/applications/google-chrome.desktop", "Google Chrome");
    const auto mail = app("/usr/share/applications/org.gnome.Evolution.desktop", "Mail");
    const auto notes = app("/usr/share/applications/notes.desktop", "Notes");
    desk.accessibility.dock = std::vector<DockItem>{tile("Google Chrome Canary", "4"), tile("Google Chromebook", "8"),
                                                    tile("Mail"), tile("Terminal", "3")};
    auto counts = read({chrome, mail, notes});
    ASSERT_TRUE(counts);
    EXPECT_EQ(*counts, (std::map<std::string, int>{{chrome.url, 4}, {mail.url, 0}, {notes.url, 0}}));

    // Two tiles of one application: the later one counts.
    desk.accessibility.dock = std::vector<DockItem>{tile("Mail", "2"), tile("Mail", "6")};
    EXPECT_EQ(read({mail})->at(mail.url), 6);

    // The earlier application takes a tile both could claim.
    const auto chromeBeta = app("/opt/chrome-beta.desktop", "Google Chrome Canary");
    desk.accessibility.dock = std::vector<DockItem>{tile("Google Chrome Canary", "9")};
    counts = read({chrome, chromeBeta});
    EXPECT_EQ(counts->at(chrome.url), 9);
    EXPECT_EQ(counts->at(chromeBeta.url), 0);
}

TEST_F(MatchingTest, TilesMatchByPathIncludingTheCanonicalOneAndByMetadataNames) {
    const auto chat = app("/home/u/.local/share/applications/chat.desktop", "Chat");
    desk.workspace.canonical[chat.url] = "/opt/chat/share/chat.desktop";
    desk.accessibility.dock =
        std::vector<DockItem>{tile("Something Else", "3", "file:///opt/chat/share/../share/chat.desktop")};
    EXPECT_EQ(read({chat})->at(chat.url), 3);
    desk.accessibility.dock = std::vector<DockItem>{tile("Else", "4", "/home/u/.local/share/applications/chat.desktop")};
    EXPECT_EQ(read({chat})->at(chat.url), 4);

    // The entry's own names and its program name, and a running window's.
    desk.workspace.metadataNames[chat.url] = {"Chatty Messenger", "chatty-bin"};
    RunningApplication running;
    running.location = chat.url;
    running.localizedName = "ChatWindowClass";
    desk.workspace.running = {running};
    desk.accessibility.dock = std::vector<DockItem>{tile("chatty-bin", "1"), tile("ChatWindowClass Work", "2")};
    EXPECT_EQ(read({chat})->at(chat.url), 2);

    // The file name without extension counts as a name too.
    desk.accessibility.dock = std::vector<DockItem>{tile("chat", "5")};
    EXPECT_EQ(read({chat})->at(chat.url), 5);
}

TEST_F(MatchingTest, NothingIsReadWithoutApplicationsOrItems) {
    const auto mail = app("/apps/mail.desktop", "Mail");
    desk.accessibility.dock = std::vector<DockItem>{tile("Mail", "2")};
    EXPECT_FALSE(read({}));
    desk.accessibility.dock.reset();
    EXPECT_FALSE(read({mail}));
    DockItem other = tile("Mail", "2");
    other.role = "AXGroup";
    desk.accessibility.dock = std::vector<DockItem>{other};
    EXPECT_FALSE(read({mail}));
}

// --- the monitor's queue -------------------------------------------------------

struct MonitorTest : TankTest {
    std::vector<UnreadBadgeSnapshot> received;
    UnreadBadgeMonitor& monitor() { return controller->unreadBadgeMonitor; }
    void startMonitor(const std::vector<OrvellaApp>& apps) {
        monitor().start(apps, 3.0, [this](const UnreadBadgeSnapshot& s) { received.push_back(s); });
    }
    FakeWorkQueue& queue() { return *desk.scheduler.queues.at(0); }
};

TEST_F(MonitorTest, PollsAtOnceThenEveryThreeSecondsOnItsOwnQueue) {
    make();
    ASSERT_EQ(desk.scheduler.queues.size(), 1u);
    EXPECT_EQ(queue().label, "Orvella.UnreadBadgeMonitor");
    desk.accessibility.dock = std::vector<DockItem>{tile("Mail", "2")};
    startMonitor({app("/apps/mail.desktop", "Mail")});
    desk.scheduler.advance(0.01);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(received[0].didReadDock);
    EXPECT_EQ(received[0].counts.at("/apps/mail.desktop"), 2);
    desk.scheduler.advance(2.9);
    EXPECT_EQ(received.size(), 1u);
    desk.scheduler.advance(0.2);
    EXPECT_EQ(received.size(), 2u);

    // Starting again keeps one timer, with the new list, and polls at once.
    startMonitor({app("/apps/other.desktop", "Other")});
    desk.scheduler.advance(0.01);
    EXPECT_EQ(queue().timerCount(), 1u);
    EXPECT_EQ(received.size(), 3u);
    EXPECT_TRUE(received.back().counts.contains("/apps/other.desktop"));

    // A new list polls at once while running.
    monitor().updateApps({app("/apps/mail.desktop", "Mail")});
    desk.scheduler.advance(0.01);
    EXPECT_EQ(received.size(), 4u);
    EXPECT_EQ(received.back().counts.at("/apps/mail.desktop"), 2);

    monitor().stop();
    desk.scheduler.advance(10);
    EXPECT_EQ(received.size(), 4u);
    EXPECT_EQ(queue().timerCount(), 0u);
    // Stopped, a new list is only kept.
    monitor().updateApps({app("/apps/mail.desktop", "Mail")});
    desk.scheduler.advance(1);
    EXPECT_EQ(received.size(), 4u);
}

TEST_F(MonitorTest, UntrustedOrUnreadDocksSaySo) {
    make();
    desk.accessibility.trusted = false;
    desk.accessibility.dock = std::vector<DockItem>{tile("Mail", "2")};
    startMonitor({app("/apps/mail.desktop", "Mail")});
    desk.scheduler.advance(0.01);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_FALSE(received[0].hasAccessibilityPermission);
    EXPECT_FALSE(received[0].didReadDock);
    EXPECT_TRUE(received[0].counts.empty());

    desk.accessibility.trusted = true;
    startMonitor({});
    desk.scheduler.advance(0.01);
    EXPECT_TRUE(received.back().hasAccessibilityPermission);
    EXPECT_FALSE(received.back().didReadDock);
}

// --- the tank's reaction ------------------------------------------------------

struct UnreadTest : TankTest {
    OrvellaController& sensing(int n, bool on = true) {
        installApps(n);
        desk.defaults.values[OrvellaController::kUnreadBadgeMonitoringKey] = Value(on);
        desk.mouse.location = {700, 300};
        return started();
    }
    void badges(std::map<int, int> counts) {
        std::vector<DockItem> items;
        for (int i = 0; i < 9; ++i) {
            auto it = counts.find(i);
            items.push_back(tile("App " + std::to_string(i),
                                 it == counts.end() ? std::nullopt : std::optional<std::string>(std::to_string(it->second))));
        }
        desk.accessibility.dock = items;
    }
    // Lets the next reading arrive.
    void nextReading() { desk.scheduler.advance(3.05); }
    FishAgent& fish(int i) { return *controller->fishAgents()[static_cast<size_t>(i)]; }
    Time now() const { return desk.clock.now(); }
};

TEST_F(UnreadTest, FirstReadingShowsPillsSilentlyAndALaterRiseSendsTheFishVisiting) {
    badges({{0, 2}, {1, 7}});
    auto& c = sensing(3);
    desk.scheduler.advance(0.05);
    EXPECT_EQ(c.unreadBadgeCounts.get(), (std::map<std::string, int>{{appPath(0), 2}, {appPath(1), 7}}));
    EXPECT_EQ(fish(1).badgeWindow->count(), 7);
    EXPECT_TRUE(fish(1).badgeWindow->surface().isVisible());
    EXPECT_EQ(fish(1).badgeWindow->surface().frame().size, (Size{26, 26}));
    EXPECT_EQ(fish(1).view().unreadBadgeCount(), 7);
    EXPECT_FALSE(fish(2).badgeWindow->surface().isVisible());
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(fish(i).unreadAttention) << i;
        EXPECT_EQ(fish(i).view().pulse, 0) << i;
    }

    badges({{0, 3}, {1, 7}});
    desk.mouse.location = {1200, 700};
    c.cursorPoint = {1200, 700};
    desk.scheduler.advance(2.9);
    FishAgent& f = fish(0);
    const Vector before = f.velocity;
    const Point centre = f.center();
    desk.scheduler.advance(0.1);  // the reading is due now; the dispatch runs at the end
    ASSERT_TRUE(f.unreadAttention);
    EXPECT_GT(f.view().pulse, 0);
    EXPECT_FALSE(fish(1).unreadAttention);
    // The dart: toward the pointer at 1.7 times the swim speed (the next
    // steps then steer as usual, so only the direction is checked here).
    const Vector toPointer = c.cursorPoint - centre;
    EXPECT_GT((f.velocity - before).dx * toPointer.dx + (f.velocity - before).dy * toPointer.dy, 0);
    // A food burst in the water under the fish.
    auto* overlay = c.waterOverlay(f.displayID);
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->waterView().foodBursts.size(), 1u);

    // The visit goes to the pointer, circles it and ends.
    bool nearPointer = false;
    for (int t = 0; t < 60 && f.unreadAttention; ++t) {
        desk.scheduler.advance(0.25);
        nearPointer = nearPointer || (f.center() - c.cursorPoint).length() < 120;
    }
    EXPECT_TRUE(nearPointer);
    EXPECT_FALSE(f.unreadAttention);
}

TEST_F(UnreadTest, FallingCountsDoNothingUntilZeroEndsTheVisitAndHidesThePill) {
    badges({{0, 3}});
    auto& c = sensing(2);
    desk.scheduler.advance(0.05);
    badges({{0, 2}});
    desk.scheduler.advance(2.9);
    fish(0).unreadAttention = UnreadAttention{now(), 1, std::nullopt};
    desk.scheduler.advance(0.15);
    EXPECT_TRUE(fish(0).unreadAttention);
    EXPECT_EQ(fish(0).badgeWindow->count(), 2);
    badges({});
    nextReading();
    EXPECT_FALSE(fish(0).unreadAttention);
    EXPECT_FALSE(fish(0).badgeWindow->surface().isVisible());
    EXPECT_EQ(fish(0).badgeWindow->surface().frame().size, (Size{26, 26}));
    EXPECT_TRUE(c.unreadBadgeCounts.get().empty());
}

TEST_F(UnreadTest, TheFrontApplicationsFishOnlyPulses) {
    badges({{0, 1}});
    sensing(2);
    desk.scheduler.advance(0.05);
    RunningApplication front;
    front.location = appPath(0);
    desk.workspace.frontmost = front;
    badges({{0, 2}});
    nextReading();
    EXPECT_GT(fish(0).view().pulse, 0);
    EXPECT_FALSE(fish(0).unreadAttention);
}

TEST_F(UnreadTest, LargeCountsReadNinetyNinePlusOnThePillButNotInTheView) {
    badges({{0, 120}});
    sensing(1);
    desk.scheduler.advance(0.05);
    EXPECT_EQ(fish(0).badgeWindow->fittingSize(), (Size{44, 26}));
    EXPECT_EQ(fish(0).view().unreadBadgeCount(), 120);
    // The pill's top-right corner sits 15 points in from the fish's.
    const Rect pill = fish(0).badgeWindow->surface().frame();
    EXPECT_EQ(pill.maxX(), fish(0).position.x + 112 - 15);
    EXPECT_EQ(pill.maxY(), fish(0).position.y + 112 - 15);
    EXPECT_EQ(fish(0).badgeWindow->surface().alpha(), fish(0).window->surface().alpha());
}

TEST_F(UnreadTest, UnreadDocksChangeNothingAndLostTrustClearsUntilASilentRefill) {
    badges({{0, 4}});
    auto& c = sensing(2);
    desk.scheduler.advance(0.05);
    desk.accessibility.dock.reset();  // the dock was not read
    nextReading();
    EXPECT_EQ(c.unreadBadgeCounts.get().at(appPath(0)), 4);
    EXPECT_TRUE(fish(0).badgeWindow->surface().isVisible());

    desk.accessibility.trusted = false;
    nextReading();
    EXPECT_TRUE(c.unreadBadgeCounts.get().empty());
    EXPECT_FALSE(fish(0).badgeWindow->surface().isVisible());
    EXPECT_FALSE(c.hasUnreadBadgeAccessibilityPermission.get());

    desk.accessibility.trusted = true;
    badges({{0, 9}});
    nextReading();
    EXPECT_EQ(fish(0).badgeWindow->count(), 9);
    EXPECT_FALSE(fish(0).unreadAttention) << "the refill after lost trust is silent";
}

TEST_F(UnreadTest, SwitchingOffClearsAndIgnoresAReadingInFlight) {
    badges({{0, 4}});
    auto& c = sensing(2);
    desk.scheduler.advance(0.05);
    desk.defaults.writes.clear();
    badges({{0, 6}});
    // The reading is made on the queue; before its hand-over runs on the
    // main thread, sensing is switched off.
    desk.scheduler.advance(2.9);
    desk.clock.set(desk.clock.now() + 0.2);
    desk.scheduler.queues.at(0)->run(desk.clock.now());
    c.setUnreadBadgeMonitoringEnabled(false);
    desk.scheduler.runDispatched();
    EXPECT_TRUE(c.unreadBadgeCounts.get().empty());
    EXPECT_FALSE(fish(0).badgeWindow->surface().isVisible());
    EXPECT_EQ(fish(0).view().unreadBadgeCount(), 0);
    EXPECT_FALSE(fish(0).unreadAttention);
    EXPECT_EQ(std::count(desk.defaults.writes.begin(), desk.defaults.writes.end(),
                         OrvellaController::kUnreadBadgeDebugUpdatedAtKey),
              0)
        << "the late reading is not even recorded";
    EXPECT_EQ(desk.defaults.values[OrvellaController::kUnreadBadgeMonitoringKey], Value(false));
    desk.scheduler.advance(10);
    EXPECT_EQ(desk.scheduler.queues.at(0)->timerCount(), 0u);
}

TEST_F(UnreadTest, NothingStartsBeforeStartAndSwitchingOnWithoutTrustAsksTwice) {
    installApps(1);
    desk.defaults.values[OrvellaController::kUnreadBadgeMonitoringKey] = Value(true);
    auto& c = make();
    c.configureUnreadBadgeMonitor();
    desk.scheduler.advance(5);
    EXPECT_EQ(desk.scheduler.queues.at(0)->timerCount(), 0u);
    c.start();
    desk.scheduler.advance(0.05);
    EXPECT_EQ(desk.scheduler.queues.at(0)->timerCount(), 1u);

    c.setUnreadBadgeMonitoringEnabled(false);
    desk.accessibility.trusted = false;
    c.hasUnreadBadgeAccessibilityPermission.set(false);
    c.setUnreadBadgeMonitoringEnabled(true);
    EXPECT_EQ(desk.accessibility.prompts, 2) << "the request and the once-per-run check";
    c.setUnreadBadgeMonitoringEnabled(false);
    c.setUnreadBadgeMonitoringEnabled(true);
    EXPECT_EQ(desk.accessibility.prompts, 3);
}

TEST_F(UnreadTest, CatalogueChangesDropCountsAndPollAtOnce) {
    badges({{0, 2}, {1, 5}});
    auto& c = sensing(2);
    desk.scheduler.advance(0.05);
    c.removeApplication(c.apps.get()[1]);
    EXPECT_FALSE(c.unreadBadgeCounts.get().contains(appPath(1)));
    EXPECT_TRUE(c.unreadBadgeCounts.get().contains(appPath(0)));

    desk.workspace.install(appPath(5), "App 5");
    badges({{0, 2}, {5, 8}});
    const auto writesBefore = desk.defaults.writes.size();
    c.addApplication(appPath(5));
    desk.scheduler.advance(0.05);
    EXPECT_GT(desk.defaults.writes.size(), writesBefore);
    EXPECT_EQ(c.unreadBadgeCount(c.apps.get().back()), 8);
}

TEST_F(UnreadTest, DiagnosticRecordIsRewrittenWithEveryReadingZerosIncluded) {
    badges({{0, 2}});
    sensing(2);
    desk.clock.set(desk.clock.now());
    desk.scheduler.advance(0.05);
    auto& v = desk.defaults.values;
    EXPECT_EQ(v[OrvellaController::kUnreadBadgeDebugPermissionKey], Value(true));
    EXPECT_EQ(v[OrvellaController::kUnreadBadgeDebugDidReadDockKey], Value(true));
    EXPECT_EQ(v[OrvellaController::kUnreadBadgeDebugCountsKey],
              Value(Value::Object{{appPath(0), Value(2)}, {appPath(1), Value(0)}}));
    const double first = v[OrvellaController::kUnreadBadgeDebugUpdatedAtKey].asNumber();
    EXPECT_NEAR(first, desk.clock.now() + 978307200, 0.1);
    nextReading();
    EXPECT_NEAR(v[OrvellaController::kUnreadBadgeDebugUpdatedAtKey].asNumber() - first, 3, 0.1);
}

// --- the pill -------------------------------------------------------------------

TEST(BadgePill, SizeLabelAndDrawing) {
    FakeSurfaces surfaces;
    UnreadBadgeWindow badge(surfaces, "Mail");
    auto& surface = dynamic_cast<FakeSurface&>(badge.surface());
    EXPECT_FALSE(surface.isVisible());
    EXPECT_TRUE(surface.ignoresMouseEvents());

    badge.setCount(7);
    EXPECT_EQ(surface.frame().size, (Size{26, 26}));
    auto canvas = surface.render();
    const auto fills = canvas->opsOf(CanvasOp::Kind::fillPath);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_TRUE(fills[0].shadow);
    EXPECT_EQ(fills[0].shadow->offset, (Vector{0, -1.5}));
    EXPECT_EQ(fills[0].color.r, 1.0);
    EXPECT_LT(fills[0].color.g, 0.3);
    const auto strokes = canvas->opsOf(CanvasOp::Kind::strokePath);
    ASSERT_EQ(strokes.size(), 1u);
    EXPECT_EQ(strokes[0].lineWidth, 1.4);
    EXPECT_FALSE(strokes[0].shadow);
    auto texts = canvas->opsOf(CanvasOp::Kind::drawText);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "7");
    EXPECT_TRUE(texts[0].bold);
    EXPECT_EQ(texts[0].rect.size.width, 12);
    // Centred: 0.6 em wide, 1 em high in the recording canvas's metrics.
    EXPECT_NEAR(texts[0].rect.origin.x, 13 - 0.6 * 12 / 2, 1e-9);
    EXPECT_NEAR(texts[0].rect.origin.y, 13 - 12.0 / 2 + 0.5 + 0.2 * 12, 1e-9);

    badge.setCount(42);
    EXPECT_EQ(surface.frame().size, (Size{35, 26}));
    badge.setCount(99);
    EXPECT_EQ(surface.render()->opsOf(CanvasOp::Kind::drawText)[0].text, "99");
    for (int n : {100, 2500}) {
        badge.setCount(n);
        EXPECT_EQ(surface.frame().size, (Size{44, 26}));
        texts = surface.render()->opsOf(CanvasOp::Kind::drawText);
        EXPECT_EQ(texts[0].text, "99+");
        EXPECT_EQ(texts[0].rect.size.width, 11);
    }

    surface.orderFront();
    badge.setCount(0);
    EXPECT_FALSE(surface.isVisible());
    EXPECT_EQ(surface.frame().size, (Size{26, 26}));
    EXPECT_TRUE(surface.render()->ops().empty());
}

}  // namespace
