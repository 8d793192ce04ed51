// Keeping one fish per application: start, rebuild on display changes,
// fades when single applications come and go, and stop.

#include "tank_fixture.h"

using namespace orvella;
using namespace orvella::testing;

TEST_F(TankTest, ConstructionMakesNoWindowsAndStartMakesOneFishPerApplication) {
    installApps(4);
    auto& c = make();
    EXPECT_TRUE(desk.surfaces.all.empty());
    EXPECT_FALSE(c.hasStarted());

    c.start();
    ASSERT_EQ(c.fishAgents().size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        const auto& agent = *c.fishAgents()[i];
        EXPECT_EQ(agent.app.url, appPath(static_cast<int>(i)));
        auto& s = surfaceOf(agent);
        EXPECT_TRUE(s.isVisible());
        EXPECT_EQ(s.frame().size, (Size{112, 112}));
        EXPECT_DOUBLE_EQ(s.alpha(), 0.58);
        EXPECT_EQ(s.title, "Orvella fish: App " + std::to_string(i));
        // An empty badge stays off screen and lets clicks through.
        auto& badge = dynamic_cast<FakeSurface&>(agent.badgeWindow->surface());
        EXPECT_FALSE(badge.isVisible());
        EXPECT_TRUE(badge.ignoresMouseEvents());
    }
    EXPECT_EQ(desk.displays.observerCount(), 1u);
}

TEST_F(TankTest, EmptyCatalogueOrNoDisplayGivesNoFish) {
    auto& c = started();
    EXPECT_TRUE(c.fishAgents().empty());

    FakeDesktop none;
    none.displays.setScreens({}, false);
    none.workspace.install("/a.desktop", "A", ApplicationRole::webBrowser);
    OrvellaController c2(none.platform);
    c2.start();
    EXPECT_TRUE(c2.fishAgents().empty());
    EXPECT_EQ(c2.apps.get().size(), 1u);
    // The next display change brings the fish.
    none.displays.setScreens({FakeDesktop::display(Rect::make(0, 0, 800, 600), 3)});
    EXPECT_EQ(c2.fishAgents().size(), 1u);
    EXPECT_EQ(c2.fishAgents()[0]->displayID, "3");
}

TEST_F(TankTest, DisplayChangeReplacesEveryFishAndClosesTheOldWindows) {
    installApps(3);
    auto& c = started();
    auto old = c.fishAgents();
    desk.displays.setScreens({FakeDesktop::display(Rect::make(0, 0, 1440, 900), 1),
                              FakeDesktop::display(Rect::make(1440, 0, 1920, 1080), 2)});
    ASSERT_EQ(c.fishAgents().size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NE(c.fishAgents()[i], old[i]);
        EXPECT_TRUE(surfaceOf(*old[i]).isClosed());
        EXPECT_TRUE(dynamic_cast<FakeSurface&>(old[i]->badgeWindow->surface()).isClosed());
    }
    EXPECT_EQ(desk.surfaces.ofKind(SurfaceKind::fish).size(), 3u);
}

TEST_F(TankTest, AddedApplicationFadesInWithoutMovingTheOthers) {
    installApps(2);
    desk.workspace.install("/apps/new.desktop", "New");
    auto& c = started();
    c.setIconOpacity(0.7);
    const Point first = c.fishAgents()[0]->position;

    c.addApplication("/apps/new.desktop");
    ASSERT_EQ(c.fishAgents().size(), 3u);
    EXPECT_EQ(c.fishAgents()[0]->position, first);
    auto& fresh = surfaceOf(*c.fishAgents()[2]);
    EXPECT_DOUBLE_EQ(fresh.alpha(), 0);
    EXPECT_TRUE(fresh.isVisible());
    ASSERT_FALSE(desk.scheduler.animationLog.empty());
    EXPECT_DOUBLE_EQ(desk.scheduler.animationLog.back().duration, 0.22);

    desk.scheduler.advance(0.11);
    EXPECT_GT(fresh.alpha(), 0.3);
    EXPECT_LT(fresh.alpha(), 0.7);
    desk.scheduler.advance(0.12);
    EXPECT_DOUBLE_EQ(fresh.alpha(), 0.7);
}

TEST_F(TankTest, RemovedApplicationIgnoresClicksAtOnceAndClosesAfterItsFade) {
    installApps(3);
    auto& c = started();
    auto leaving = c.fishAgents()[1];
    auto& s = surfaceOf(*leaving);
    auto& badge = dynamic_cast<FakeSurface&>(leaving->badgeWindow->surface());

    c.removeApplication(leaving->app);
    EXPECT_EQ(c.fishAgents().size(), 2u);
    EXPECT_TRUE(s.ignoresMouseEvents());
    EXPECT_TRUE(badge.isClosed());
    EXPECT_FALSE(s.isClosed());
    EXPECT_DOUBLE_EQ(desk.scheduler.animationLog.back().duration, 0.16);

    desk.scheduler.advance(0.1);
    EXPECT_FALSE(s.isClosed());
    EXPECT_LT(s.alpha(), 0.58);
    desk.scheduler.advance(0.07);
    EXPECT_TRUE(s.isClosed());

    // Removing an application whose fish is already gone only edits the list.
    c.removeApplication(leaving->app);
    EXPECT_EQ(c.fishAgents().size(), 2u);
}

TEST_F(TankTest, AFishRemovedWhileFadingInOnlyFadesOut) {
    installApps(1);
    desk.workspace.install("/apps/new.desktop", "New");
    auto& c = started();
    c.addApplication("/apps/new.desktop");
    auto fresh = c.fishAgents()[1];
    auto& s = surfaceOf(*fresh);
    desk.scheduler.advance(0.1);
    const double reached = s.alpha();
    ASSERT_GT(reached, 0);
    s.alphaWrites.clear();

    c.removeApplication(fresh->app);
    desk.scheduler.advance(0.3);
    ASSERT_FALSE(s.alphaWrites.empty());
    // Every write after the removal goes down: the fade-in no longer pulls
    // the window back up between the fade-out's frames.
    double last = reached;
    for (double a : s.alphaWrites) {
        EXPECT_LE(a, last + 1e-12);
        last = a;
    }
    EXPECT_TRUE(s.isClosed());
}

TEST_F(TankTest, BeforeStartCatalogueChangesRebuildTheWholeSchoolWithoutFades) {
    installApps(1);
    desk.workspace.install("/apps/new.desktop", "New");
    auto& c = make();
    c.addApplication("/apps/new.desktop");
    ASSERT_EQ(c.fishAgents().size(), 2u);
    EXPECT_TRUE(desk.scheduler.animationLog.empty());
    EXPECT_DOUBLE_EQ(surfaceOf(*c.fishAgents()[1]).alpha(), 0.58);
    c.removeApplication(c.fishAgents()[0]->app);
    ASSERT_EQ(c.fishAgents().size(), 1u);
    EXPECT_EQ(c.fishAgents()[0]->app.url, "/apps/new.desktop");
    EXPECT_TRUE(desk.scheduler.animationLog.empty());
}

TEST_F(TankTest, StopRemovesTheObserverButLeavesTheWindows) {
    installApps(2);
    auto& c = started();
    c.stop();
    EXPECT_EQ(desk.displays.observerCount(), 0u);
    auto agents = c.fishAgents();
    desk.displays.setScreens({FakeDesktop::display(Rect::make(0, 0, 800, 600), 9)});
    EXPECT_EQ(c.fishAgents(), agents);
    EXPECT_TRUE(surfaceOf(*agents[0]).isVisible());
    EXPECT_TRUE(c.hasStarted());
}

TEST_F(TankTest, FadeCompletionAfterTheControllerIsGoneIsHarmless) {
    installApps(2);
    auto& c = started();
    c.removeApplication(c.fishAgents()[0]->app);
    controller.reset();
    desk.scheduler.advance(0.5);
    for (auto& s : desk.surfaces.ofKind(SurfaceKind::fish, false)) EXPECT_TRUE(s->isClosed());
}
