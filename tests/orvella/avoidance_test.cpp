// Keeping clear of the focused window: reading it, turning it into a zone or
// a waterway, smoothing, redirecting targets, the push and the switch.

#include <cmath>

#include "tank_fixture.h"

using namespace orvella;
using namespace orvella::testing;

namespace {

struct AvoidanceTest : TankTest {
    // The default desktop: one 1440x900 display whose visible frame is
    // (0, 0, 1440, 875) and whose swim frame is (96, 96, 1248, 683).
    void focus(Point topLeft, Size size, std::string id = "org.example.editor", int pid = 4242) {
        RunningApplication app;
        app.bundleIdentifier = id;
        app.processID = pid;
        app.localizedName = "Editor";
        desk.workspace.frontmost = app;
        FrontWindowInfo window;
        window.processID = pid;
        window.bundleIdentifier = id;
        window.topLeftPosition = topLeft;
        window.size = size;
        desk.accessibility.front = window;
    }
    void unfocus() {
        desk.workspace.frontmost.reset();
        desk.accessibility.front.reset();
    }
    OrvellaController& school(int n, bool avoidance = true) {
        installApps(n);
        desk.defaults.values[OrvellaController::kWindowAvoidanceKey] = Value(avoidance);
        desk.mouse.location = {700, 300};
        return started();
    }
    FishAgent& fish(int i) { return *controller->fishAgents()[static_cast<size_t>(i)]; }
    void place(int i, Point p) {
        fish(i).position = p;
        fish(i).window->surface().setOrigin(p);
    }
    Time now() const { return desk.clock.now(); }
    static SwimArea area(const std::string& id, Rect visible) {
        return {id, visible, visible.insetBy(96, 96)};
    }
};

// --- reading the front window ----------------------------------------------

TEST_F(AvoidanceTest, MonitorNeedsTrustAFrontApplicationAndAWindowOfMoreThan80Points) {
    auto& c = make();
    focus({100, 50}, {800, 600});
    desk.accessibility.trusted = false;
    EXPECT_FALSE(c.activeWindowMonitor.frontmostWindow({}));
    EXPECT_EQ(desk.accessibility.frontReads, 0) << "nothing is read without trust";

    desk.accessibility.trusted = true;
    auto snap = c.activeWindowMonitor.frontmostWindow({});
    ASSERT_TRUE(snap);
    EXPECT_EQ(snap->frame, Rect::make(100, 900 - 50 - 600, 800, 600));
    EXPECT_EQ(snap->appName, "Editor");
    EXPECT_EQ(snap->bundleIdentifier, "org.example.editor");

    focus({100, 50}, {81, 81});
    EXPECT_TRUE(c.activeWindowMonitor.frontmostWindow({}));
    focus({100, 50}, {80, 500});
    EXPECT_FALSE(c.activeWindowMonitor.frontmostWindow({}));
    focus({100, 50}, {500, 80});
    EXPECT_FALSE(c.activeWindowMonitor.frontmostWindow({}));

    desk.workspace.frontmost.reset();
    EXPECT_FALSE(c.activeWindowMonitor.frontmostWindow({}));
}

TEST_F(AvoidanceTest, MonitorExcludesByIdentifierWithNoneComparedAsEmpty) {
    auto& c = make();
    focus({100, 50}, {800, 600}, "orvella");
    EXPECT_FALSE(c.activeWindowMonitor.frontmostWindow({"orvella"}));
    EXPECT_TRUE(c.activeWindowMonitor.frontmostWindow({}));

    focus({100, 50}, {800, 600}, "");
    auto snap = c.activeWindowMonitor.frontmostWindow({"orvella"});
    ASSERT_TRUE(snap);
    EXPECT_FALSE(snap->bundleIdentifier);
    EXPECT_FALSE(c.activeWindowMonitor.frontmostWindow({""}));
}

TEST_F(AvoidanceTest, MonitorIgnoresAWindowOfAnotherProcessReadAfterTheFocusMoved) {
    auto& c = make();
    focus({100, 50}, {800, 600});
    desk.accessibility.front->processID = 9999;
    EXPECT_FALSE(c.activeWindowMonitor.frontmostWindow({}));
    // A window that does not say whose it is still counts.
    desk.accessibility.front->processID = 0;
    EXPECT_TRUE(c.activeWindowMonitor.frontmostWindow({}));
}

TEST_F(AvoidanceTest, ConversionTriesEveryDisplaysFlipAndKeepsTheBestFit) {
    auto& c = make();
    // A short primary display and a tall one to its right.
    desk.displays.setScreens({FakeDesktop::display(Rect::make(0, 0, 1000, 600)),
                              FakeDesktop::display(Rect::make(1000, 0, 1000, 1200))},
                             false);
    // The primary's flip would put this window below the desktop, the tall
    // display's flip puts it fully on screen.
    const auto frame = c.activeWindowMonitor.appKitFrame({1100, 700}, {400, 300});
    ASSERT_TRUE(frame);
    EXPECT_EQ(*frame, Rect::make(1100, 1200 - 700 - 300, 400, 300));

    // Both flips put the whole window on screen: the first display wins.
    desk.displays.setScreens({FakeDesktop::display(Rect::make(0, 0, 1000, 1000)),
                              FakeDesktop::display(Rect::make(1000, 0, 1000, 900))},
                             false);
    EXPECT_EQ(*c.activeWindowMonitor.appKitFrame({1100, 100}, {400, 300}), Rect::make(1100, 600, 400, 300));

    desk.displays.setScreens({}, false);
    EXPECT_FALSE(c.activeWindowMonitor.appKitFrame({1100, 100}, {400, 300}));
}

// --- zone or waterway -------------------------------------------------------

TEST_F(AvoidanceTest, LayoutGivesAZoneUpTo60PercentAndTheTopWaterwayAbove) {
    const std::vector<SwimArea> areas{area("1", Rect::make(0, 0, 1440, 875))};
    ActiveWindowSnapshot snap{"Editor", std::nullopt, Rect::make(0, 350, 1440, 525)};  // exactly 60 %
    auto layout = OrvellaController::windowAvoidanceLayout(snap, areas);
    EXPECT_EQ(layout.avoidanceRect, snap.frame);
    EXPECT_FALSE(layout.waterwayFrame);

    snap.frame = Rect::make(0, 349, 1440, 526);  // 60.1 %
    layout = OrvellaController::windowAvoidanceLayout(snap, areas);
    EXPECT_FALSE(layout.avoidanceRect);
    const Rect F = areas[0].frame;
    ASSERT_TRUE(layout.waterwayFrame);
    EXPECT_EQ(*layout.waterwayFrame, Rect::make(F.minX(), F.maxY() - 0.3 * F.height(), F.width(), 0.3 * F.height()));
    EXPECT_EQ(layout.waterwayAreaID, "1");

    // Only the part on the display becomes the zone.
    snap.frame = Rect::make(-200, 700, 600, 400);
    EXPECT_EQ(OrvellaController::windowAvoidanceLayout(snap, areas).avoidanceRect, Rect::make(0, 700, 400, 175));
}

TEST_F(AvoidanceTest, LayoutPrefersTheEarlierDisplayOnATieAndIgnoresSlivers) {
    const std::vector<SwimArea> areas{area("left", Rect::make(0, 0, 1000, 800)),
                                      area("right", Rect::make(1000, 0, 1000, 800))};
    ActiveWindowSnapshot snap{"", std::nullopt, Rect::make(800, 200, 400, 300)};
    EXPECT_EQ(OrvellaController::windowAvoidanceLayout(snap, areas).avoidanceRect, Rect::make(800, 200, 200, 300));

    snap.frame = Rect::make(900, 200, 400, 300);  // more on the right
    EXPECT_EQ(OrvellaController::windowAvoidanceLayout(snap, areas).avoidanceRect, Rect::make(1000, 200, 300, 300));

    // One point of overlap, or none at all: nothing to avoid.
    snap.frame = Rect::make(-399, 200, 400, 300);
    auto layout = OrvellaController::windowAvoidanceLayout(snap, areas);
    EXPECT_FALSE(layout.avoidanceRect);
    EXPECT_FALSE(layout.waterwayFrame);
    snap.frame = Rect::make(5000, 200, 400, 300);
    EXPECT_FALSE(OrvellaController::windowAvoidanceLayout(snap, areas).avoidanceRect);
}

// --- the poll and smoothing -------------------------------------------------

TEST_F(AvoidanceTest, PollsAtMostEvery045SecondsAndClearsEverythingWhenOff) {
    auto& c = school(1);
    focus({300, 200}, {400, 300});
    const auto areas = c.swimAreas();
    desk.accessibility.frontReads = 0;
    c.lastWindowAvoidancePollAt = 0;
    const Time t = 10, interval = OrvellaController::activeWindowPollInterval;
    c.updateWindowAvoidance(t, areas);
    EXPECT_EQ(desk.accessibility.frontReads, 1);
    c.updateWindowAvoidance(t + 0.449, areas);
    EXPECT_EQ(desk.accessibility.frontReads, 1);
    c.updateWindowAvoidance(t + interval, areas);
    EXPECT_EQ(desk.accessibility.frontReads, 2);
    EXPECT_TRUE(c.targetWindowAvoidanceRect);

    c.setWindowAvoidanceEnabled(false);
    EXPECT_FALSE(c.currentWindowAvoidanceRect);
    EXPECT_FALSE(c.targetWindowAvoidanceRect);
    c.updateWindowAvoidance(20, areas);
    EXPECT_EQ(desk.accessibility.frontReads, 2);
    EXPECT_EQ(c.lastWindowAvoidancePollAt, 0);
    EXPECT_FALSE(c.currentWindowAvoidanceRect);
}

TEST_F(AvoidanceTest, ZoneGrowsFromASeedAndShrinksAwayAfterTheWindowCloses) {
    auto& c = school(1);
    const auto areas = c.swimAreas();
    c.targetWindowAvoidanceRect = Rect::make(300, 100, 800, 600);
    c.smoothWindowAvoidanceRect();
    EXPECT_EQ(*c.currentWindowAvoidanceRect, Rect::make(699, 399, 2, 2));
    for (int i = 0; i < 50; ++i) c.smoothWindowAvoidanceRect();
    EXPECT_NEAR(c.currentWindowAvoidanceRect->width(), 800 - 798 * std::pow(0.955, 50), 1e-6);
    EXPECT_GT(c.currentWindowAvoidanceRect->width(), 0.9 * 800);

    c.targetWindowAvoidanceRect.reset();
    c.currentWindowAvoidanceRect = Rect::make(300, 100, 800, 600);
    int steps = 0;
    while (c.currentWindowAvoidanceRect && steps < 1000) {
        const Point centre = c.currentWindowAvoidanceRect->center();
        c.smoothWindowAvoidanceRect();
        ++steps;
        if (c.currentWindowAvoidanceRect) {
            EXPECT_EQ(c.currentWindowAvoidanceRect->center(), centre);
        }
    }
    EXPECT_EQ(steps, 50) << "an 800 x 600 zone is gone after 50 steps";

    // In still water the zone stands at full size at once.
    c.setStillWaterModeEnabled(true);
    c.targetWindowAvoidanceRect = Rect::make(300, 100, 800, 600);
    c.smoothWindowAvoidanceRect();
    EXPECT_EQ(c.currentWindowAvoidanceRect, c.targetWindowAvoidanceRect);
}

TEST_F(AvoidanceTest, ALargeWindowDropsTheZoneAtOnceForTheWaterwayAndBack) {
    auto& c = school(1);
    const auto areas = c.swimAreas();
    focus({300, 200}, {400, 300});
    c.updateWindowAvoidance(10, areas);
    for (int i = 0; i < 20; ++i) c.updateWindowAvoidance(10.01, areas);
    ASSERT_TRUE(c.currentWindowAvoidanceRect);

    focus({0, 25}, {1440, 800});
    c.updateWindowAvoidance(11, areas);
    EXPECT_FALSE(c.currentWindowAvoidanceRect);
    EXPECT_FALSE(c.targetWindowAvoidanceRect);
    ASSERT_TRUE(c.largeWindowWaterwayFrame);
    EXPECT_EQ(c.largeWindowWaterwayAreaID, areas[0].id);
    EXPECT_EQ(c.desiredMotionFrameInterval(11), OrvellaController::activeMotionFrameInterval);

    unfocus();
    c.updateWindowAvoidance(12, areas);
    EXPECT_FALSE(c.largeWindowWaterwayFrame);
    EXPECT_FALSE(c.largeWindowWaterwayAreaID);
}

TEST_F(AvoidanceTest, OwnWindowsAreAvoidedOnlyInStillWater) {
    auto& c = school(1);
    const auto areas = c.swimAreas();
    focus({300, 200}, {400, 300}, "orvella");
    c.updateWindowAvoidance(10, areas);
    EXPECT_FALSE(c.targetWindowAvoidanceRect);

    c.setStillWaterModeEnabled(true);
    c.updateWindowAvoidance(11, areas);
    EXPECT_TRUE(c.targetWindowAvoidanceRect);
    // Still water keeps the zone up even with the switch off.
    c.setWindowAvoidanceEnabled(false);
    c.updateWindowAvoidance(12, areas);
    EXPECT_TRUE(c.currentWindowAvoidanceRect);
}

// --- permission -------------------------------------------------------------

TEST_F(AvoidanceTest, WithoutTrustTheStepPromptsOncePerRunAndTheSwitchPromptsEachTime) {
    desk.accessibility.trusted = false;
    auto& c = school(1, false);
    const auto areas = c.swimAreas();
    focus({300, 200}, {400, 300});
    c.setWindowAvoidanceEnabled(true);
    EXPECT_EQ(desk.accessibility.prompts, 1) << "switching on without trust asks at once";
    EXPECT_FALSE(c.hasWindowAvoidanceAccessibilityPermission.get());

    c.updateWindowAvoidance(10, areas);
    c.updateWindowAvoidance(11, areas);
    c.updateWindowAvoidance(12, areas);
    EXPECT_EQ(desk.accessibility.prompts, 2) << "the motion step asks by itself only once";
    EXPECT_FALSE(c.targetWindowAvoidanceRect);
    EXPECT_EQ(desk.accessibility.frontReads, 0);

    c.setWindowAvoidanceEnabled(false);
    c.setWindowAvoidanceEnabled(true);
    EXPECT_EQ(desk.accessibility.prompts, 3);
    EXPECT_EQ(desk.defaults.values[OrvellaController::kWindowAvoidanceKey], Value(true));

    // Trust granted later is picked up by the next step, and both features
    // learn about it from the permission button.
    desk.accessibility.trusted = true;
    c.updateWindowAvoidance(13, areas);
    EXPECT_TRUE(c.hasWindowAvoidanceAccessibilityPermission.get());
    EXPECT_TRUE(c.targetWindowAvoidanceRect);
    c.hasUnreadBadgeAccessibilityPermission.set(false);
    c.requestWindowAvoidanceAccessibilityPermission();
    EXPECT_TRUE(c.hasUnreadBadgeAccessibilityPermission.get());
}

// --- steering ---------------------------------------------------------------

TEST_F(AvoidanceTest, ExitDirectionTiesGoLeftThenRightThenBottomAndAreHeld) {
    auto& c = school(1);
    // Centre exactly between left and right, nearer to those than to the
    // bottom and top edges: left wins.
    c.currentWindowAvoidanceRect = Rect::make(500, 300, 200, 400);
    const Rect tall = c.currentWindowAvoidanceRect->insetBy(-72, -72);
    place(0, {tall.midX() - 56, tall.midY() - 56});
    Vector a = c.windowAvoidanceAcceleration(fish(0), now());
    EXPECT_EQ(fish(0).windowAvoidanceVector, (Vector{-1, 0}));
    EXPECT_EQ(fish(0).windowAvoidanceVectorUntil, now() + 1.6);
    EXPECT_LT(a.dx, 0);

    // Equally far from the bottom as from the left: left.
    fish(0).windowAvoidanceVectorUntil = 0;
    place(0, {tall.minX() + 50 - 56, tall.minY() + 50 - 56});
    c.windowAvoidanceAcceleration(fish(0), now());
    EXPECT_EQ(fish(0).windowAvoidanceVector, (Vector{-1, 0}));

    // Nearer the top now, but the held direction is kept until it expires.
    place(0, {tall.midX() - 56, tall.maxY() - 10 - 56});
    c.windowAvoidanceAcceleration(fish(0), now() + 1.5);
    EXPECT_EQ(fish(0).windowAvoidanceVector, (Vector{-1, 0}));
    c.windowAvoidanceAcceleration(fish(0), now() + 1.6);
    EXPECT_EQ(fish(0).windowAvoidanceVector, (Vector{0, 1}));
}

TEST_F(AvoidanceTest, InStillWaterOnlyAFishBoundForASlotInsideTheZoneIsPushed) {
    auto& c = school(1);
    c.setStillWaterModeEnabled(true);
    c.currentWindowAvoidanceRect = Rect::make(500, 300, 400, 200);
    place(0, {520 - 56, 400 - 56});  // inside, near the left edge
    // Returning to a slot the window still covers: pushed as any fish.
    const Point coveredSlot{700 - 56, 400 - 56};
    EXPECT_NEAR(c.windowAvoidanceAcceleration(fish(0), now(), coveredSlot).dx, -0.24, 1e-12);
    // Bound for a slot beyond the window: let through, or the push would
    // hold it at the window's edge.
    EXPECT_EQ(c.windowAvoidanceAcceleration(fish(0), now(), Point{1100, 400}), (Vector{}));
    // Resting on its slot, even one inside the zone: left alone.
    EXPECT_EQ(c.windowAvoidanceAcceleration(fish(0), now(), fish(0).position + Vector{3, 3}), (Vector{}));
}

TEST_F(AvoidanceTest, PushIsStrongerInsideThanInTheMarginAndZeroBeyond) {
    auto& c = school(1);
    c.currentWindowAvoidanceRect = Rect::make(500, 300, 400, 200);
    place(0, {520 - 56, 400 - 56});  // inside, near the left edge
    const Vector inside = c.windowAvoidanceAcceleration(fish(0), now());
    EXPECT_NEAR(inside.dx, -0.24, 1e-12);
    EXPECT_NEAR(std::abs(inside.dy), 0.08, 1e-12);

    fish(0).windowAvoidanceVectorUntil = 0;
    place(0, {480 - 56, 400 - 56});  // in the margin
    const Vector margin = c.windowAvoidanceAcceleration(fish(0), now());
    EXPECT_NEAR(margin.dx, -0.13, 1e-12);
    EXPECT_NEAR(std::abs(margin.dy), 0.05, 1e-12);
    EXPECT_TRUE(c.hasActiveWindowAvoidance(now()));

    place(0, {420 - 56, 400 - 56});  // beyond the 72-point margin
    EXPECT_EQ(c.windowAvoidanceAcceleration(fish(0), now()), (Vector{}));
    EXPECT_FALSE(c.hasActiveWindowAvoidance(now()));

    // A fish on an unread visit swims through, unless it is paused.
    place(0, {520 - 56, 400 - 56});
    fish(0).unreadAttention = UnreadAttention{now(), 1, std::nullopt};
    EXPECT_EQ(c.windowAvoidanceAcceleration(fish(0), now()), (Vector{}));
    fish(0).pausedUntil = now() + 1;
    EXPECT_NE(c.windowAvoidanceAcceleration(fish(0), now()), (Vector{}));

    // Gestures take precedence over the window.
    fish(0).unreadAttention.reset();
    c.dispersalExpiresAt = now() + 1;
    EXPECT_FALSE(c.shouldAvoidActiveWindow(fish(0), now()));
}

TEST_F(AvoidanceTest, LanesSpreadThePeersOfADisplayAroundZero) {
    auto& c = school(5);
    std::vector<double> offsets;
    for (int i = 0; i < 5; ++i)
        offsets.push_back(c.windowAvoidanceLaneOffset(fish(i), i) - 4 * std::sin(1.91 * fish(i).seed));
    EXPECT_EQ(offsets, (std::vector<double>{-60, -30, 0, 30, 60}));
    // A fish on another display has only itself as a peer.
    fish(4).displayID = "elsewhere";
    EXPECT_NEAR(c.windowAvoidanceLaneOffset(fish(4), 4), 4 * std::sin(1.91 * fish(4).seed), 1e-12);
    EXPECT_NEAR(c.windowAvoidanceLaneOffset(fish(0), 0) - 4 * std::sin(1.91 * fish(0).seed), -45, 1e-12);
}

TEST_F(AvoidanceTest, RedirectedTargetsLeaveTheExpandedZoneOnTheFishsLane) {
    auto& c = school(1);
    const Rect bounds = Rect::make(0, 0, 1400, 800);
    // No zone: unchanged, not even clamped.
    EXPECT_EQ(c.originAvoidingCurrentWindow({-500, 5000}, fish(0), 0, now(), bounds), (Point{-500, 5000}));

    c.currentWindowAvoidanceRect = Rect::make(500, 300, 400, 200);
    const Rect R = c.currentWindowAvoidanceRect->insetBy(-128, -128);
    // Outside the expanded zone: only clamped.
    EXPECT_EQ(c.originAvoidingCurrentWindow({100, 900}, fish(0), 0, now(), bounds), (Point{100, 800}));

    // Inside, with the fish near the zone's left edge: out to the left, 8
    // points beyond, moved along the edge by its lane.
    place(0, {R.minX() + 20 - 56, R.midY() - 56});
    const Point proposed{650, 350};
    const Point out = c.originAvoidingCurrentWindow(proposed, fish(0), 0, now(), bounds);
    EXPECT_EQ(out.x, R.minX() - 8 - 56);
    const double side = std::sin(fish(0).seed) >= 0 ? 1 : -1;
    const double lane = c.windowAvoidanceLaneOffset(fish(0), 0) + std::clamp(0.12 * R.height(), 30.0, 76.0);
    EXPECT_NEAR(out.y, proposed.y + 56 - side * lane - 56, 1e-9);
    EXPECT_FALSE(R.contains(out + Vector{56, 56}));
}

// --- on the running tank ----------------------------------------------------

TEST_F(AvoidanceTest, SchoolLeavesTheFocusedWindowAndReturnsWhenItCloses) {
    auto& c = school(6);
    // A window in the middle of the swim frame: 500 x 360 at (470, 260).
    focus({470, 900 - 260 - 360}, {500, 360});
    const Rect window = Rect::make(470, 260, 500, 360);
    desk.scheduler.advance(12);
    ASSERT_TRUE(c.currentWindowAvoidanceRect);
    // Sampled four times a second for 20 s: a fish may cut across a corner
    // while it turns, but none stays inside.
    int samplesInside = 0, longestStay = 0;
    std::vector<int> stay(6, 0);
    for (int t = 0; t < 80; ++t) {
        desk.scheduler.advance(0.25);
        for (size_t i = 0; i < 6; ++i) {
            const bool inside = window.contains(fish(static_cast<int>(i)).center());
            samplesInside += inside;
            stay[i] = inside ? stay[i] + 1 : 0;
            longestStay = std::max(longestStay, stay[i]);
        }
    }
    EXPECT_LE(longestStay, 4) << "no fish stays inside for more than a second";
    EXPECT_LE(samplesInside, 480 / 40) << "inside in under 2.5 % of the samples";

    unfocus();
    int visits = 0;
    for (int t = 0; t < 240; ++t) {
        desk.scheduler.advance(0.25);
        for (int i = 0; i < 6; ++i) visits += window.contains(fish(i).center());
    }
    EXPECT_FALSE(c.currentWindowAvoidanceRect);
    // The window covers a fifth of the swim frame: free fish are often there.
    EXPECT_GT(visits, 1440 / 20) << "the fish swim over the whole frame again";
}

TEST_F(AvoidanceTest, ALargeWindowSendsTheSchoolIntoTheTopWaterway) {
    auto& c = school(6);
    focus({0, 25}, {1440, 875});
    desk.scheduler.advance(15);
    ASSERT_TRUE(c.largeWindowWaterwayFrame);
    const Rect F = c.swimAreas()[0].frame;
    double lowest = 1e9;
    for (int t = 0; t < 40; ++t) {
        desk.scheduler.advance(0.25);
        for (int i = 0; i < 6; ++i) lowest = std::min(lowest, fish(i).center().y);
    }
    // Centres stay within half a fish of the band.
    EXPECT_GT(lowest, F.maxY() - 0.3 * F.height() - 56);
}

}  // namespace

namespace {

TEST_F(AvoidanceTest, InStillWaterAFishWhoseSlotLiesBeyondTheWindowStillReachesIt) {
    auto& c = school(6);
    // A window across the middle of the display, focused.
    focus({420, 900 - 250 - 400}, {600, 400});
    c.setStillWaterModeEnabled(true);
    desk.scheduler.advance(60);
    ASSERT_TRUE(c.currentWindowAvoidanceRect);
    const auto areas = c.swimAreas();
    const Rect window = Rect::make(420, 250, 600, 400);
    for (int i = 0; i < 6; ++i) {
        const Point slot = c.stillWaterTarget(fish(i), i, areas, areas[0]);
        EXPECT_EQ(fish(i).position, slot) << "fish " << i << " did not settle";
        EXPECT_FALSE(window.contains(fish(i).center())) << i;
    }
}

}  // namespace
