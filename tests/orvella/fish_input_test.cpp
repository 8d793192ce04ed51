// A fish as a launcher: click styles, the touch reaction, presses, drags
// and the frontmost-application test.

#include "tank_fixture.h"

using namespace orvella;
using namespace orvella::testing;

namespace {

struct FishInputTest : TankTest {
    FishAgent* fish = nullptr;
    void SetUp() override {
        installApps(2);
        started();
        fish = controller->fishAgents()[0].get();
    }
    SurfaceMouseEvent event(SurfaceMouseEvent::Type type, Point local, int clicks = 1, Modifiers m = {}) {
        SurfaceMouseEvent e;
        e.type = type;
        e.location = local;
        e.clickCount = clicks;
        e.modifiers = m;
        return e;
    }
    // A press and release at the middle of the icon, through the window.
    void click(int clicks = 1, Modifiers m = {}) {
        auto& s = surfaceOf(*fish);
        s.mouse(event(SurfaceMouseEvent::Type::down, {56, 56}, clicks, m));
        s.mouse(event(SurfaceMouseEvent::Type::up, {56, 56}, clicks, m));
    }
    int count() { return controller->appOpenCounts().count(fish->app.url) ? controller->appOpenCounts().at(fish->app.url) : 0; }
};

}  // namespace

TEST_F(FishInputTest, EachClickStyleOpensOnlyItsOwnClicks) {
    auto& c = *controller;
    const Modifiers none, cmdShift{true, false, false, true}, option{false, true, false, false};
    c.setFishOpenModifier(FishOpenModifier::none);
    EXPECT_TRUE(c.shouldOpenFish(1, cmdShift));
    EXPECT_FALSE(c.shouldOpenFish(2, none));
    c.setFishOpenModifier(FishOpenModifier::doubleClick);
    EXPECT_FALSE(c.shouldOpenFish(1, none));
    EXPECT_TRUE(c.shouldOpenFish(2, none));
    EXPECT_TRUE(c.shouldOpenFish(3, option));
    c.setFishOpenModifier(FishOpenModifier::command);
    EXPECT_TRUE(c.shouldOpenFish(1, cmdShift));
    EXPECT_FALSE(c.shouldOpenFish(1, none));
    EXPECT_FALSE(c.shouldOpenFish(2, cmdShift));
    c.setFishOpenModifier(FishOpenModifier::option);
    EXPECT_TRUE(c.shouldOpenFish(1, option));
    EXPECT_FALSE(c.shouldOpenFish(1, cmdShift));
    c.setFishOpenModifier(FishOpenModifier::control);
    EXPECT_TRUE(c.shouldOpenFish(1, {false, false, true, false}));
    c.setFishOpenModifier(FishOpenModifier::shift);
    EXPECT_TRUE(c.shouldOpenFish(1, cmdShift));
}

TEST_F(FishInputTest, OpeningClickCountsGrowsCalmsAndOpens) {
    fish->velocity = {2, 0};
    fish->unreadAttention = UnreadAttention{desk.clock.now(), 0, std::nullopt};
    click();
    EXPECT_EQ(desk.workspace.opened, (std::vector<std::string>{fish->app.url}));
    EXPECT_EQ(count(), 1);
    EXPECT_FALSE(fish->pausedUntil);  // the press paused it; the open ends that
    EXPECT_FALSE(fish->clickFeedbackUntil);  // and the brightening the press began
    EXPECT_FALSE(fish->unreadAttention);
    EXPECT_FALSE(fish->view().capturedUntil());
    EXPECT_NEAR(fish->velocity.dx, 2 * 0.18 * 0.35, 1e-12);
    EXPECT_TRUE(fish->view().isGrowthAnimating());
    desk.scheduler.advance(0.6);
    EXPECT_NEAR(fish->view().growthScale(), 0.865, 1e-12);
    EXPECT_EQ(desk.defaults.values[OrvellaController::kAppOpenCountsKey],
              Value(Value::Object{{fish->app.url, Value(1)}}));
}

TEST_F(FishInputTest, OtherClicksPauseAndBrightenTheFish) {
    controller->setFishOpenModifier(FishOpenModifier::doubleClick);
    fish->velocity = {2, 0};
    click(1);
    EXPECT_TRUE(desk.workspace.opened.empty());
    EXPECT_EQ(fish->pausedUntil, desk.clock.now() + 0.5);
    EXPECT_EQ(fish->clickFeedbackUntil, desk.clock.now() + 1.05);
    EXPECT_NEAR(fish->velocity.dx, 2 * 0.18 * 0.25, 1e-12);
    // The second release of a double click opens; a third opens again.
    click(2);
    click(3);
    EXPECT_EQ(desk.workspace.opened.size(), 2u);
    EXPECT_EQ(count(), 2);
}

TEST_F(FishInputTest, ClickForAFishThatIsGoneOpensWithoutCounting) {
    OrvellaApp gone{"Gone", "/apps/gone.desktop", nullptr};
    controller->handleFishClick(gone, 1, {}, {10, 10});
    EXPECT_EQ(desk.workspace.opened, (std::vector<std::string>{"/apps/gone.desktop"}));
    EXPECT_TRUE(controller->appOpenCounts().count("/apps/gone.desktop") == 0);
    EXPECT_EQ(controller->cursorPoint, (Point{10, 10}));
}

TEST_F(FishInputTest, OnlyPressesOnTheIconAreTaken) {
    auto& s = surfaceOf(*fish);
    s.mouse(event(SurfaceMouseEvent::Type::down, {3, 3}));
    EXPECT_FALSE(fish->view().pendingMouseDown());
    EXPECT_FALSE(fish->pausedUntil);
    s.mouse(event(SurfaceMouseEvent::Type::up, {3, 3}));
    EXPECT_TRUE(desk.workspace.opened.empty());

    // A press that ends outside the icon is no click, but clears the press.
    s.mouse(event(SurfaceMouseEvent::Type::down, {56, 56}, 2));
    EXPECT_DOUBLE_EQ(fish->view().pulse, 1);
    EXPECT_EQ(fish->pausedUntil, desk.clock.now() + 0.65);
    s.mouse(event(SurfaceMouseEvent::Type::up, {2, 2}));
    EXPECT_FALSE(fish->view().pendingMouseDown());
    EXPECT_TRUE(desk.workspace.opened.empty());
}

TEST_F(FishInputTest, FivePointsOfTravelMakeADragThatCarriesTheFish) {
    auto& s = surfaceOf(*fish);
    fish->position = {500, 300};
    desk.mouse.location = {556, 356};
    controller->cursorAttractionEnabled = true;
    controller->attractionTargetPoint = Point{1, 1};
    controller->dispersalExpiresAt = desk.clock.now() + 1;
    s.mouse(event(SurfaceMouseEvent::Type::down, {56, 56}));
    desk.mouse.location = {560.9, 356};
    s.mouse(event(SurfaceMouseEvent::Type::dragged, {60.9, 56}));
    EXPECT_FALSE(fish->isBeingDragged);  // 4.9 points: still a press
    desk.mouse.location = {561, 356};
    s.mouse(event(SurfaceMouseEvent::Type::dragged, {61, 56}));
    EXPECT_TRUE(fish->isBeingDragged);
    EXPECT_FALSE(controller->isAttractionInForce());
    EXPECT_FALSE(controller->dispersalExpiresAt);
    EXPECT_EQ(fish->position, (Point{505, 300}));  // the grabbed point stays under the pointer
    EXPECT_NEAR(fish->velocity.dx, 0.42 * 5, 1e-12);

    // Towards the edge the window origin stops at the still-water boundary.
    desk.mouse.location = {-500, 356};
    s.mouse(event(SurfaceMouseEvent::Type::dragged, {0, 0}));
    EXPECT_DOUBLE_EQ(fish->position.x, 8);
    const double vx = fish->velocity.dx;
    s.mouse(event(SurfaceMouseEvent::Type::up, {0, 0}));
    EXPECT_FALSE(fish->isBeingDragged);
    EXPECT_EQ(fish->pausedUntil, desk.clock.now() + 0.7);
    EXPECT_NEAR(fish->velocity.dx, vx * 0.18, 1e-12);
    EXPECT_TRUE(desk.workspace.opened.empty());  // a drag is never a click
}

TEST_F(FishInputTest, FrontmostApplicationByIdentifierOrNormalisedPath) {
    OrvellaApp app = fish->app;
    EXPECT_FALSE(controller->isFrontmostApplication(app));
    desk.workspace.frontmost = RunningApplication{"other", std::string("/apps/x/../app0.desktop"), 1, "X"};
    EXPECT_TRUE(controller->isFrontmostApplication(app));
    desk.workspace.frontmost = RunningApplication{"app0", std::nullopt, 1, "X"};
    EXPECT_FALSE(controller->isFrontmostApplication(app));
    desk.workspace.bundleIDs[app.url] = "app0";
    EXPECT_TRUE(controller->isFrontmostApplication(app));
}
