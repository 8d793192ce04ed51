// Swim areas, display identifiers, the active display and its entry edge,
// the movement boundary, spawning and the display a fish is on.

#include <cmath>

#include "tank_fixture.h"

using namespace orvella;
using namespace orvella::testing;

namespace {
DisplayInfo plain(Rect frame, std::optional<std::uint32_t> number) { return {frame, frame, number}; }
}  // namespace

TEST(SwimArea, InsetIsTwelvePercentBetween24And96) {
    auto small = makeSwimArea(plain(Rect::make(0, 0, 300, 200), 1));
    EXPECT_EQ(small.frame, Rect::make(36, 24, 228, 152));
    auto large = makeSwimArea(plain(Rect::make(0, 0, 1440, 875), 1));
    EXPECT_EQ(large.frame, Rect::make(96, 96, 1248, 683));
    auto tiny = makeSwimArea(plain(Rect::make(0, 0, 100, 100), 1));
    EXPECT_EQ(tiny.frame, Rect::make(24, 24, 52, 52));
}

TEST(SwimArea, IdentifierIsTheNumberOrTheTruncatedFrame) {
    EXPECT_EQ(orvellaDisplayID(plain(Rect::make(0, 0, 1440, 900), 69733248u)), "69733248");
    EXPECT_EQ(orvellaDisplayID(plain(Rect::make(0, 0, 1440, 900), std::nullopt)), "0:0:1440:900");
    EXPECT_EQ(orvellaDisplayID(plain(Rect::make(-1920.7, 10.9, 1920.5, 1080), std::nullopt)), "-1920:10:1920:1080");
}

TEST(SwimArea, HalfOpenContainmentAndOriginRect) {
    auto area = makeSwimArea(plain(Rect::make(0, 0, 1000, 800), 1));
    EXPECT_TRUE(area.contains({0, 0}));
    EXPECT_FALSE(area.contains({1000, 400}));
    EXPECT_FALSE(area.contains({500, 800}));
    EXPECT_EQ(originRect(Rect::make(10, 20, 1000, 800)), Rect::make(18, 28, 872, 672));
    EXPECT_EQ(originRect(Rect::make(0, 0, 100, 100)), Rect::make(8, 8, 1, 1));
}

struct ActiveDisplayTest : TankTest {
    void SetUp() override {
        desk.displays.setScreens({plain(Rect::make(0, 0, 1000, 800), 1), plain(Rect::make(1000, 0, 1000, 800), 2)},
                                 false);
    }
};

TEST_F(ActiveDisplayTest, PointerSelectsTheDisplayAndTheEntryEdgeOnce) {
    auto& c = make();
    c.cursorPoint = c.previousCursorPoint = {500, 600};
    auto areas = c.swimAreas();
    EXPECT_EQ(c.activeSwimArea(areas)->id, "1");
    EXPECT_EQ(c.activeEntryEdge(), ScreenEntryEdge::top);  // upper half
    // Re-selecting the active display changes nothing.
    c.cursorPoint = {500, 100};
    EXPECT_EQ(c.activeSwimArea(areas)->id, "1");
    EXPECT_EQ(c.activeEntryEdge(), ScreenEntryEdge::top);
}

TEST_F(ActiveDisplayTest, EntryEdgeFollowsWhereThePointerCameFrom) {
    auto& c = make();
    auto areas = c.swimAreas();
    c.cursorPoint = c.previousCursorPoint = {500, 400};
    c.activeSwimArea(areas);
    // From above display 2's visible frame.
    c.previousCursorPoint = {1500, 900};
    c.cursorPoint = {1500, 700};
    EXPECT_EQ(c.activeSwimArea(areas)->id, "2");
    EXPECT_EQ(c.activeEntryEdge(), ScreenEntryEdge::top);
    // From below display 1.
    c.previousCursorPoint = {500, -5};
    c.cursorPoint = {500, 700};
    EXPECT_EQ(c.activeSwimArea(areas)->id, "1");
    EXPECT_EQ(c.activeEntryEdge(), ScreenEntryEdge::bottom);
    // Sideways in the lower half.
    c.previousCursorPoint = {999, 200};
    c.cursorPoint = {1001, 200};
    EXPECT_EQ(c.activeSwimArea(areas)->id, "2");
    EXPECT_EQ(c.activeEntryEdge(), ScreenEntryEdge::bottom);
}

TEST_F(ActiveDisplayTest, AttractionPointWinsOverThePointer) {
    auto& c = make();
    c.cursorPoint = c.previousCursorPoint = {500, 400};
    c.cursorAttractionEnabled = true;
    c.attractionTargetPoint = Point{1500, 400};
    EXPECT_EQ(c.activeSwimArea(c.swimAreas())->id, "2");
    // Without the flag the point is ignored.
    c.cursorAttractionEnabled = false;
    EXPECT_EQ(c.activeSwimArea(c.swimAreas())->id, "1");
}

TEST_F(ActiveDisplayTest, PointerOffEveryDisplayKeepsTheActiveOneUntilItIsUnplugged) {
    auto& c = make();
    c.cursorPoint = c.previousCursorPoint = {1500, 100};
    c.activeSwimArea(c.swimAreas());
    ASSERT_EQ(c.activeEntryEdge(), ScreenEntryEdge::bottom);
    c.previousCursorPoint = {1500, 2000};
    c.cursorPoint = {1500, 3000};
    EXPECT_EQ(c.activeSwimArea(c.swimAreas())->id, "2");
    EXPECT_EQ(c.activeEntryEdge(), ScreenEntryEdge::bottom);

    desk.displays.setScreens({plain(Rect::make(0, 0, 1000, 800), 1)}, false);
    EXPECT_EQ(c.activeSwimArea(c.swimAreas())->id, "1");
    EXPECT_EQ(c.activeEntryEdge(), ScreenEntryEdge::top);  // recomputed: came from above
}

TEST_F(ActiveDisplayTest, NoDisplaysMeansNoAreaAndTheMainDisplayStandsIn) {
    auto& c = make();
    desk.displays.setScreens({}, false);
    EXPECT_FALSE(c.activeSwimArea(c.swimAreas()));
    desk.displays.setMainScreen(plain(Rect::make(0, 0, 640, 480), 7));
    ASSERT_EQ(c.swimAreas().size(), 1u);
    EXPECT_EQ(c.swimAreas()[0].id, "7");
}

TEST_F(ActiveDisplayTest, MovementBoundarySpansEveryFrameUnlessDispersing) {
    auto& c = make();
    auto areas = c.swimAreas();
    EXPECT_EQ(c.movementBoundaryFrame(areas[0], areas), Rect::make(96, 96, 1808, 608));
    c.dispersalExpiresAt = 5.0;
    EXPECT_EQ(c.movementBoundaryFrame(areas[1], areas), originRect(areas[1].visibleFrame));
    c.dispersalExpiresAt.reset();
    EXPECT_EQ(c.movementBoundaryFrame(areas[1], {}), areas[1].frame);
    EXPECT_TRUE(c.isPointInsideEnabledDisplay({1999, 799}));
    EXPECT_FALSE(c.isPointInsideEnabledDisplay({2000, 100}));
}

TEST_F(TankTest, RowOfFourIsCentredOnThePointerWithAWobble) {
    auto& c = make();
    c.cursorPoint = c.previousCursorPoint = {700, 200};
    auto areas = c.swimAreas();
    auto area = *c.activeSwimArea(areas);
    const double expected[] = {-93, -31 + std::sin(1.7) * 18, 31 + std::sin(3.4) * 18, 93 + std::sin(5.1) * 18};
    for (int i = 0; i < 4; ++i) {
        const Point p = c.edgeSpawnPoint(area, i, 4);
        EXPECT_NEAR(p.x, 700 + expected[i], 1e-9) << i;
        EXPECT_DOUBLE_EQ(p.y, area.frame.minY() + 8);  // lower half: bottom edge
    }
    EXPECT_DOUBLE_EQ(c.edgeSpawnPoint(area, 0, 1).x, 700);
    EXPECT_DOUBLE_EQ(c.edgeSpawnPoint(area, 0, 0).x, 700);
}

TEST_F(TankTest, RowIsCentredOnTheFrameWhenThePointerIsElsewhereAndPilesAtItsEdges) {
    auto& c = make();
    c.cursorPoint = c.previousCursorPoint = {5000, 5000};
    auto area = *c.activeSwimArea(c.swimAreas());
    EXPECT_DOUBLE_EQ(c.edgeSpawnPoint(area, 0, 1).x, area.frame.midX());
    // 40 fish: a row wider than the frame.
    EXPECT_DOUBLE_EQ(c.edgeSpawnPoint(area, 0, 40).x, area.frame.minX());
    EXPECT_DOUBLE_EQ(c.edgeSpawnPoint(area, 39, 40).x, area.frame.maxX());
}

TEST_F(TankTest, FishFromTheTopStartBelowTheTopEdgeAndSwimDown) {
    installApps(2);
    desk.mouse.location = {700, 800};  // upper half of the 875-point visible frame
    desk.workspace.install("/apps/x.desktop", "X");
    auto& c = make();
    c.setSwimSpeed(2.0);
    desk.random.pushFraction(0.5);  // the view's capture seed comes first
    desk.random.pushFraction(1.0);  // then the horizontal velocity: the top of [-1.2, 1.2]
    c.start();
    ASSERT_EQ(c.activeEntryEdge(), ScreenEntryEdge::top);
    const auto& a = *c.fishAgents()[0];
    const auto area = c.swimAreas()[0];
    EXPECT_DOUBLE_EQ(a.position.y, area.frame.maxY() - 18);
    EXPECT_DOUBLE_EQ(a.velocity.dy, -1.25 * 2.0);
    EXPECT_DOUBLE_EQ(a.velocity.dx, 1.2 * 2.0);
    EXPECT_GE(a.seed, 0);
    EXPECT_LE(a.seed, 1000);
    EXPECT_EQ(a.window->surface().frame().origin, a.position);
}

TEST_F(TankTest, FishFromTheBottomSwimUp) {
    installApps(1);
    desk.mouse.location = {700, 100};
    auto& c = started();
    ASSERT_EQ(c.activeEntryEdge(), ScreenEntryEdge::bottom);
    EXPECT_DOUBLE_EQ(c.fishAgents()[0]->velocity.dy, 1.25);
    EXPECT_DOUBLE_EQ(c.fishAgents()[0]->position.y, c.swimAreas()[0].frame.minY() + 8);
}

TEST_F(TankTest, RandomDoubleUsesTheClosedIntervalRule) {
    desk.random.pushUnit(kTwoPow53);
    EXPECT_EQ(randomDouble(desk.random, -1.2, 1.2), 1.2);
    desk.random.pushUnit(0);
    EXPECT_EQ(randomDouble(desk.random, -1.2, 1.2), -1.2);
    desk.random.pushUnit(kTwoPow53 / 2);
    EXPECT_DOUBLE_EQ(randomDouble(desk.random, 0, 1000), 500);
}

TEST_F(TankTest, DisplayOfAFishFollowsItsCentreAndSurvivesGapsWhileItsDisplayExists) {
    desk.displays.setScreens({plain(Rect::make(0, 0, 1000, 800), 1), plain(Rect::make(1200, 0, 1000, 800), 2)},
                             false);
    installApps(1);
    auto& c = started();
    auto& fish = *c.fishAgents()[0];
    auto areas = c.swimAreas();
    fish.position = {1500, 300};
    c.updateAgentDisplayID(fish, areas, areas[0]);
    EXPECT_EQ(fish.displayID, "2");
    fish.position = {1050, 300};  // centre in the gap
    c.updateAgentDisplayID(fish, areas, areas[0]);
    EXPECT_EQ(fish.displayID, "2");
    areas.pop_back();  // display 2 unplugged
    c.updateAgentDisplayID(fish, areas, areas[0]);
    EXPECT_EQ(fish.displayID, "1");
}
