// How a fish is presented when it is placed: opacity easing, heading,
// tail wake and the capture effect.

#include <cmath>
#include <numbers>

#include "tank_fixture.h"

using namespace orvella;
using namespace orvella::testing;

namespace {
struct PresentationTest : TankTest {
    FishAgent* fish = nullptr;
    void SetUp() override {
        installApps(1);
        started();
        fish = controller->fishAgents()[0].get();
    }
    double alpha() { return surfaceOf(*fish).alpha(); }
};
}  // namespace

TEST_F(PresentationTest, FeedbackRisesInThirtyFiveCallsAndClearsWhenPast) {
    auto& c = *controller;
    fish->clickFeedbackUntil = desk.clock.now() + 100;
    int calls = 0;
    while (fish->clickFeedbackVisibility < 1 && calls < 1000) {
        c.updateAgentOpacity(*fish, desk.clock.now());
        ++calls;
    }
    EXPECT_EQ(calls, 35);
    EXPECT_DOUBLE_EQ(alpha(), 0.82);

    fish->clickFeedbackUntil = desk.clock.now();
    c.updateAgentOpacity(*fish, desk.clock.now());
    EXPECT_FALSE(fish->clickFeedbackUntil);
    EXPECT_NEAR(fish->clickFeedbackVisibility, 1 - 0.032, 1e-12);
}

TEST_F(PresentationTest, VisitRisesIn123CallsAndHighOpacityHidesTheFloors) {
    auto& c = *controller;
    fish->unreadAttention = UnreadAttention{desk.clock.now(), 0, std::nullopt};
    int calls = 0;
    while (fish->unreadAttentionVisibility < 1 && calls < 1000) {
        c.updateAgentOpacity(*fish, desk.clock.now());
        ++calls;
    }
    EXPECT_EQ(calls, 123);
    EXPECT_DOUBLE_EQ(alpha(), 0.72);
    // The badge follows the fish.
    EXPECT_DOUBLE_EQ(fish->badgeWindow->surface().alpha(), 0.72);

    c.setIconOpacity(0.9);
    EXPECT_DOUBLE_EQ(alpha(), 0.9);  // applied at once by the setter
    fish->clickFeedbackVisibility = 1;
    c.updateAgentOpacity(*fish, desk.clock.now());
    EXPECT_DOUBLE_EQ(alpha(), 0.9);
}

TEST_F(PresentationTest, HeadingTurnsTheShortWayAndHoldsWhenNearlyStill) {
    auto& c = *controller;
    auto& v = fish->view();
    v.heading = 0.9 * std::numbers::pi;
    fish->velocity = {std::cos(-0.9 * std::numbers::pi), std::sin(-0.9 * std::numbers::pi)};
    c.updateFishHeading(*fish, 1, 0.18);
    // From 0.9 pi to -0.9 pi the short way is +0.2 pi through pi.
    EXPECT_NEAR(v.heading, 0.9 * std::numbers::pi + 0.18 * 0.2 * std::numbers::pi, 1e-9);
    const double before = v.heading;
    c.updateFishHeading(*fish, 0.05, 0.18);
    EXPECT_EQ(v.heading, before);
}

TEST_F(PresentationTest, WakeAndCaptureFollowDragPauseAndSpeed) {
    auto& c = *controller;
    auto& v = fish->view();
    fish->velocity = {1.2, 0};
    c.updateWindow(*fish);
    EXPECT_DOUBLE_EQ(v.wakeStrength, 0.5);  // 1.2 / 2.4
    EXPECT_FALSE(v.capturedUntil());

    const Time until = desk.clock.now() + 1;
    fish->pausedUntil = until;
    c.updateWindow(*fish);
    EXPECT_DOUBLE_EQ(v.wakeStrength, 1);
    EXPECT_EQ(v.capturedUntil(), until);
    const double seed = v.captureSeed();
    c.updateWindow(*fish);
    EXPECT_EQ(v.captureSeed(), seed);  // one seed for the whole pause

    fish->pausedUntil.reset();
    fish->isBeingDragged = true;
    c.updateWindow(*fish);
    EXPECT_DOUBLE_EQ(v.wakeStrength, 1);
    EXPECT_EQ(v.capturedUntil(), desk.clock.now() + 0.2);

    fish->isBeingDragged = false;
    c.setStillWaterModeEnabled(true);
    c.updateWindow(*fish);
    EXPECT_DOUBLE_EQ(v.wakeStrength, 0.1);
    EXPECT_FALSE(v.capturedUntil());

    c.setStillWaterModeEnabled(false);
    c.dispersalExpiresAt = desk.clock.now() + 1;
    fish->velocity = {7.8, 0};
    c.updateWindow(*fish);
    EXPECT_DOUBLE_EQ(v.wakeStrength, 1);
    EXPECT_DOUBLE_EQ(c.currentBaseMaxSpeed(*fish, desk.clock.now()), 7.8);
}

TEST_F(PresentationTest, WindowFollowsThePosition) {
    fish->position = {321, 123};
    controller->updateWindow(*fish);
    EXPECT_EQ(surfaceOf(*fish).frame().origin, (Point{321, 123}));
}
