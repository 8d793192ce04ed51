// The motion loop, steering, still water and swim targets, simulated on the
// fake desktop with a manual clock.

#include <cmath>
#include <numbers>

#include "tank_fixture.h"

using namespace orvella;
using namespace orvella::testing;

namespace {

constexpr double kPi = std::numbers::pi;

struct MotionTest : TankTest {
    OrvellaController& school(int n) {
        installApps(n);
        desk.mouse.location = {700, 300};
        return started();
    }
    FishAgent& fish(int i) { return *controller->fishAgents()[static_cast<size_t>(i)]; }
    // Puts a fish somewhere with a velocity, far from everything else.
    void place(int i, Point p, Vector v = {}) {
        fish(i).position = p;
        fish(i).velocity = v;
        fish(i).window->surface().setOrigin(p);
    }
    Time now() const { return desk.clock.now(); }
};

}  // namespace

TEST_F(MotionTest, FirstFiringStepsThenIdleStepsOnEverySecondFiring) {
    auto& c = school(1);  // alone: no lockstep swerves keep the loop lively
    EXPECT_TRUE(c.isMotionRunning());
    desk.scheduler.advance(1.0 / 60.0 + 1e-6);
    EXPECT_EQ(c.motionStepCount(), 1u);
    const auto before = c.motionStepCount();
    desk.scheduler.advance(1.0);
    EXPECT_NEAR(static_cast<double>(c.motionStepCount() - before), 30, 1);

    // Anything lively brings every firing back.
    fish(0).pausedUntil = now() + 10;
    const auto lively = c.motionStepCount();
    desk.scheduler.advance(1.0);
    EXPECT_NEAR(static_cast<double>(c.motionStepCount() - lively), 60, 1);

    fish(0).pausedUntil.reset();
    c.setStillWaterModeEnabled(true);
    EXPECT_DOUBLE_EQ(c.desiredMotionFrameInterval(now()), 1.0 / 60.0);
    c.setStillWaterModeEnabled(false);
    c.dispersalExpiresAt = now() + 5;
    EXPECT_DOUBLE_EQ(c.desiredMotionFrameInterval(now()), 1.0 / 60.0);
    c.dispersalExpiresAt.reset();
    fish(0).clickFeedbackVisibility = 0.02;
    EXPECT_DOUBLE_EQ(c.desiredMotionFrameInterval(now()), 1.0 / 60.0);
    fish(0).clickFeedbackVisibility = 0;
    c.largeWindowWaterwayFrame = Rect::make(0, 0, 10, 10);
    EXPECT_DOUBLE_EQ(c.desiredMotionFrameInterval(now()), 1.0 / 60.0);
    c.largeWindowWaterwayFrame.reset();
    EXPECT_DOUBLE_EQ(c.desiredMotionFrameInterval(now()), 1.0 / 45.0);

    c.stop();
    const auto stopped = c.motionStepCount();
    desk.scheduler.advance(0.5);
    EXPECT_EQ(c.motionStepCount(), stopped);
}

TEST_F(MotionTest, PausedFishHoldsItsPlaceWhileTheOthersSwimUnlessTheWaterIsStill) {
    auto& c = school(3);
    desk.scheduler.advance(0.1);
    const Point held = fish(0).position;
    const Point other = fish(1).position;
    fish(0).pausedUntil = now() + 1;
    const int refreshes = dynamic_cast<FakeSurface&>(fish(0).window->surface()).needsDisplayCount;
    desk.scheduler.advance(0.5);
    EXPECT_EQ(fish(0).position, held);
    EXPECT_NE(fish(1).position, other);
    EXPECT_GT(dynamic_cast<FakeSurface&>(fish(0).window->surface()).needsDisplayCount, refreshes + 20);
    EXPECT_DOUBLE_EQ(fish(0).view().wakeStrength, 1);
    EXPECT_TRUE(fish(0).view().capturedUntil());

    fish(0).isBeingDragged = true;
    fish(0).pausedUntil.reset();
    desk.scheduler.advance(0.3);
    EXPECT_EQ(fish(0).position, held);

    fish(0).isBeingDragged = false;
    c.setStillWaterModeEnabled(true);
    fish(0).pausedUntil = now() + 1;  // set after entering, which clears pauses
    desk.scheduler.advance(0.3);
    EXPECT_NE(fish(0).position, held);
}

TEST_F(MotionTest, ThrustIsConstantFarAwayAndFallsWithDistanceNearTheTarget) {
    auto& c = school(1);
    auto& f = fish(0);
    f.seed = 0;
    const Rect B = Rect::make(-10000, -10000, 20000, 20000);
    const Vector wander = c.organicWanderAcceleration(f, now());

    place(0, {500, 400});
    c.move(f, {550, 400}, 0, B, now());
    EXPECT_NEAR(f.velocity.dx, 0.08 + wander.dx, 1e-12);
    EXPECT_NEAR(f.velocity.dy, wander.dy, 1e-12);

    place(0, {500, 400});
    c.move(f, {500, 900}, 0, B, now());
    EXPECT_NEAR(f.velocity.dy, 0.18 + wander.dy, 1e-12);

    place(0, {500, 400});
    c.move(f, {500, 400}, 0, B, now());  // on the target: no pull at all
    EXPECT_NEAR(f.velocity.dx, wander.dx, 1e-15);

    // Swim speed scales the caps and the organic force, not the damping.
    c.setSwimSpeed(2.4);
    place(0, {500, 400}, {1, 0});
    c.move(f, {500, 900}, 0, B, now());
    EXPECT_NEAR(f.velocity.dx, 0.982 + 2.4 * wander.dx, 1e-12);
    EXPECT_NEAR(f.velocity.dy, 2.4 * 0.18 + 2.4 * wander.dy, 1e-12);
}

TEST_F(MotionTest, SpeedIsLimitedAndTheWindowFollows) {
    auto& c = school(1);
    auto& f = fish(0);
    place(0, {500, 400}, {10, 0});
    c.move(f, {2000, 400}, 0, Rect::make(0, 0, 5000, 5000), now());
    EXPECT_NEAR(f.velocity.length(), 2.4, 1e-12);
    EXPECT_EQ(f.window->surface().frame().origin, f.position);
    EXPECT_DOUBLE_EQ(f.view().wakeStrength, 1);
}

TEST_F(MotionTest, BounceAtAnEdgeReflectsAndKicksTheFishBackSideways) {
    auto& c = school(1);
    auto& f = fish(0);
    f.seed = 1.0;  // sin(seed) >= 0: turns to the +1 side
    const Rect B = Rect::make(100, 100, 800, 600);
    place(0, {101, 400}, {-3, 0});
    const Vector wander = c.organicWanderAcceleration(f, now());
    c.move(f, {101, 400}, 0, B, now());
    const Vector before = Vector{-3 * 0.982, 0} + wander;
    const Vector limited = before * (2.4 / before.length());
    const double fx = 1 / std::hypot(1, 0.42), fy = 0.42 / std::hypot(1, 0.42);
    EXPECT_DOUBLE_EQ(f.position.x, 100);
    EXPECT_NEAR(f.velocity.dx, -0.72 * limited.dx + 0.5 * fx, 1e-12);
    EXPECT_NEAR(f.velocity.dy, limited.dy + 0.5 * fy, 1e-12);
    EXPECT_NEAR(f.escapeBiasVector.dx, fx, 1e-12);
    EXPECT_DOUBLE_EQ(f.escapeBiasUntil, now() + 0.9);

    // A second hit within 0.22 s registers no new escape.
    const Time first = f.lastBoundaryEscapeAt;
    desk.clock.set(now() + 0.1);
    place(0, {101, 400}, {-3, 0});
    c.move(f, {101, 400}, 0, B, now());
    EXPECT_EQ(f.lastBoundaryEscapeAt, first);

    // The escape push fades from 0.18 to nothing over 0.9 s.
    EXPECT_NEAR(c.activeEscapeAcceleration(f, first + 0.45).length(), 0.09, 1e-12);
    EXPECT_NEAR(c.activeEscapeAcceleration(f, first).length(), 0.18, 1e-12);
    EXPECT_EQ(c.activeEscapeAcceleration(f, first + 0.9), (Vector{}));
}

TEST_F(MotionTest, CornerHitRegistersOneEscapeAlongTheTurnedDiagonal) {
    auto& c = school(1);
    auto& f = fish(0);
    f.seed = 4.0;  // sin < 0: the other side
    c.registerBoundaryEscapeIfNeeded(f, {1, 1}, now());
    const double n = std::sqrt(0.5);
    Vector expected{n + 0.42 * n, n - 0.42 * n};
    expected = expected / expected.length();
    EXPECT_NEAR(f.escapeBiasVector.dx, expected.dx, 1e-12);
    EXPECT_NEAR(f.escapeBiasVector.dy, expected.dy, 1e-12);
}

TEST_F(MotionTest, OnlyTheLaterFishOfALockstepPairSwerves) {
    auto& c = school(6);
    for (int i = 0; i < 6; ++i) place(i, {200.0 * i, 2000.0 * i}, {0, 0});
    place(3, {500, 300}, {2.4, 0});
    place(5, {500, 330}, {2.4, 0});
    fish(5).seed = 2.0;
    const Vector kickless = fish(5).velocity;
    const Vector force = c.overlapDesyncAcceleration(fish(5), 5, now());
    const double S = 26.0 / 56.0;
    EXPECT_NEAR(fish(5).overlapDesyncDuration, 0.58 + 0.34 * S, 1e-12);
    EXPECT_NEAR((fish(5).velocity - kickless).length(), 0.1 + 0.16 * S, 1e-12);
    EXPECT_NEAR(force.length(), 0.055 + 0.045 * S, 1e-12);
    // Fish 5 lies above the common heading: it swerves upward.
    EXPECT_GT(force.dy, 0);
    EXPECT_EQ(c.overlapDesyncAcceleration(fish(3), 3, now()), (Vector{}));

    // While the swerve runs, no new partner search: a fading push only.
    const Vector during = c.overlapDesyncAcceleration(fish(5), 5, now() + fish(5).overlapDesyncDuration / 2);
    EXPECT_NEAR(during.length(), 0.045 * 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(c.desiredMotionFrameInterval(now()), 1.0 / 60.0);

    // Different directions or a gesture: no swerve.
    place(4, {900, 900}, {2.4, 0});
    place(2, {900, 920}, {0, 2.4});
    EXPECT_EQ(c.overlapDesyncAcceleration(fish(4), 4, now()), (Vector{}));
    c.setStillWaterModeEnabled(true);
    place(1, {910, 900}, {2.4, 0});
    EXPECT_EQ(c.overlapDesyncAcceleration(fish(4), 4, now()), (Vector{}));
}

TEST_F(MotionTest, FishOnTheSameSpotUseTheSeedForTheirSide) {
    auto& c = school(2);
    place(0, {500, 300}, {2, 0});
    place(1, {500.5, 300}, {2, 0});
    fish(1).seed = 3.0;
    const Vector force = c.overlapDesyncAcceleration(fish(1), 1, now());
    const double phi = 0.73 * 1 + 2.17 * 3.0;
    const double side = (1 * std::sin(phi) - 0 * std::cos(phi)) >= 0 ? 1 : -1;
    EXPECT_GT(force.length(), 0);
    EXPECT_EQ(force.dy > 0, side > 0);
}

TEST_F(MotionTest, StillWaterSlotsRunClockwiseFromTheTopLeft) {
    const Rect square = Rect::make(0, 0, 100, 100);
    EXPECT_EQ(OrvellaController::stillWaterPerimeterTarget(0, 1, square), (Point{100, 0}));  // bottom-right
    EXPECT_EQ(OrvellaController::stillWaterPerimeterTarget(0, 4, square), (Point{50, 100}));
    EXPECT_EQ(OrvellaController::stillWaterPerimeterTarget(1, 4, square), (Point{100, 50}));
    EXPECT_EQ(OrvellaController::stillWaterPerimeterTarget(2, 4, square), (Point{50, 0}));
    EXPECT_EQ(OrvellaController::stillWaterPerimeterTarget(3, 4, square), (Point{0, 50}));
}

TEST_F(MotionTest, StillWaterOrdersFishByPathThenSeedAndUsesItsDisplaysRing) {
    desk.displays.setScreens({{Rect::make(0, 0, 1000, 800), Rect::make(0, 0, 1000, 800), 1}}, false);
    installApps(2);
    desk.workspace.install("/apps/app0.desktop", "Twin");  // same path as app 0
    desk.defaults.values[OrvellaController::kApplicationPathsKey] =
        Value(Value::Array{Value("/apps/app1.desktop"), Value("/apps/app0.desktop"), Value("/apps/app0.desktop")});
    auto& c = started();
    fish(1).seed = 900;
    fish(2).seed = 100;
    auto areas = c.swimAreas();
    const Rect R = originRect(areas[0].visibleFrame).insetBy(24, 24);
    // Sorted: app0 (seed 100) = fish 2, app0 (seed 900) = fish 1, app1 = fish 0.
    EXPECT_EQ(c.stillWaterTarget(fish(2), 2, areas, areas[0]), OrvellaController::stillWaterPerimeterTarget(0, 3, R));
    EXPECT_EQ(c.stillWaterTarget(fish(1), 1, areas, areas[0]), OrvellaController::stillWaterPerimeterTarget(1, 3, R));
    EXPECT_EQ(c.stillWaterTarget(fish(0), 0, areas, areas[0]), OrvellaController::stillWaterPerimeterTarget(2, 3, R));

    // A very short display rings its origin rectangle itself.
    desk.displays.setScreens({{Rect::make(0, 0, 1000, 168), Rect::make(0, 0, 1000, 168), 1}}, false);
    areas = c.swimAreas();
    const Rect O = originRect(areas[0].visibleFrame);
    ASSERT_DOUBLE_EQ(O.height(), 40);
    EXPECT_EQ(c.stillWaterTarget(fish(0), 0, areas, areas[0]), OrvellaController::stillWaterPerimeterTarget(2, 3, O));
}

TEST_F(MotionTest, CruisingFishSettlesExactlyOnItsSlotOnlyWhenNobodyIsClose) {
    auto& c = school(2);
    c.setStillWaterModeEnabled(true);
    const Rect B = Rect::make(0, 0, 5000, 5000);
    place(0, {500, 500}, {0.05, 0});
    place(1, {2000, 2000});
    c.move(fish(0), {503, 501}, 0, B, now());
    EXPECT_EQ(fish(0).position, (Point{503, 501}));
    EXPECT_EQ(fish(0).velocity, (Vector{}));
    EXPECT_DOUBLE_EQ(fish(0).view().wakeStrength, 0.1);

    place(1, {560, 500});  // 60 points away: still pushed apart, never settled
    place(0, {500, 500}, {0.05, 0});
    c.move(fish(0), {503, 501}, 0, B, now());
    EXPECT_NE(fish(0).velocity, (Vector{}));
    EXPECT_TRUE(c.isStillWaterOverlapping(fish(0)));
    const Vector push = c.stillWaterSeparationAcceleration(fish(0));
    EXPECT_LT(push.dx, 0);
    EXPECT_LE(push.length(), 0.085 + 1e-12);
}

TEST_F(MotionTest, StillWaterSimulationRestsEveryFishOnTheRim) {
    auto& c = school(4);
    c.setStillWaterModeEnabled(true);
    desk.scheduler.advance(40);
    auto areas = c.swimAreas();
    const Rect R = originRect(areas[0].visibleFrame).insetBy(24, 24);
    for (int i = 0; i < 4; ++i) {
        const Point slot = c.stillWaterTarget(fish(i), i, areas, areas[0]);
        EXPECT_EQ(fish(i).position, slot) << i;
        EXPECT_TRUE(slot.x == R.minX() || slot.x == R.maxX() || slot.y == R.minY() || slot.y == R.maxY());
    }
}

TEST_F(MotionTest, EnteringStillWaterEndsGesturesAndTransients) {
    auto& c = school(2);
    c.dispersalExpiresAt = now() + 3;
    c.dispersalOriginPoint = Point{100, 100};
    c.cursorAttractionEnabled = true;
    c.attractionTargetPoint = Point{5, 5};
    c.recentAttractionClicks = {now()};
    c.currentWindowAvoidanceRect = Rect::make(0, 0, 50, 50);
    fish(0).pausedUntil = now() + 2;
    fish(0).unreadAttention = UnreadAttention{now(), 1, std::nullopt};
    fish(0).overlapDesyncUntil = now() + 1;
    fish(0).view().showCapture(now() + 1);
    c.setStillWaterModeEnabled(true);
    EXPECT_FALSE(c.dispersalExpiresAt);
    EXPECT_FALSE(c.isAttractionInForce());
    EXPECT_TRUE(c.recentAttractionClicks.empty());
    EXPECT_FALSE(c.currentWindowAvoidanceRect);
    EXPECT_FALSE(fish(0).pausedUntil);
    EXPECT_FALSE(fish(0).unreadAttention);
    EXPECT_EQ(fish(0).overlapDesyncUntil, 0);
    EXPECT_FALSE(fish(0).view().capturedUntil());
    EXPECT_EQ(c.lastMotionStepAt, 0);
}

TEST_F(MotionTest, UnreadVisitApproachesCirclesAndEnds) {
    auto& c = school(2);
    auto areas = c.swimAreas();
    const SwimArea active = *c.activeSwimArea(areas);
    const Rect T = active.frame;
    c.cursorPoint = {900, 500};
    place(0, {200, 200});
    fish(0).unreadAttention = UnreadAttention{now(), 0.5, std::nullopt};
    EXPECT_EQ(c.targetPoint(fish(0), 0, now(), T, active, std::nullopt), (Point{844, 444}));
    EXPECT_FALSE(fish(0).unreadAttention->orbitStartedAt);
    EXPECT_DOUBLE_EQ(c.currentBaseMaxSpeed(fish(0), now()), 4.3);

    // Within 126 points of the pointer: circling starts on that very step.
    place(0, {900 - 56 + 100, 500 - 56});
    const Time t = now() + 1;
    const Point orbit = c.targetPoint(fish(0), 0, t, T, active, std::nullopt);
    EXPECT_EQ(fish(0).unreadAttention->orbitStartedAt, t);
    const double angle = 2.15 * t + 0.5, radius = 64 + 8 * std::sin(1.7 * t + 0.5);
    EXPECT_NEAR(orbit.x, 900 + radius * std::cos(angle) - 56, 1e-9);
    EXPECT_NEAR(orbit.y, 500 + 0.72 * radius * std::sin(angle) - 56, 1e-9);

    // After 2.8 s of circling the visit is over and the fish wanders again.
    c.targetPoint(fish(0), 0, t + 2.81, T, active, std::nullopt);
    EXPECT_FALSE(fish(0).unreadAttention);

    // A visit older than 15 s ends whatever its phase.
    fish(1).unreadAttention = UnreadAttention{now() - 16, 0, std::nullopt};
    c.targetPoint(fish(1), 1, now(), T, active, std::nullopt);
    EXPECT_FALSE(fish(1).unreadAttention);

    // Pointer off the display: the visit heads for the swim frame's middle.
    c.cursorPoint = {5000, 5000};
    place(0, {150, 150});
    fish(0).unreadAttention = UnreadAttention{now(), 0, std::nullopt};
    EXPECT_EQ(c.targetPoint(fish(0), 0, now(), T, active, std::nullopt),
              (Point{T.midX() - 56, T.midY() - 56}));

    // A dispersal overrides the visit without advancing or ending it.
    c.dispersalExpiresAt = now() + 1;
    c.dispersalOriginPoint = Point{0, 0};
    fish(0).unreadAttention->createdAt = now() - 20;
    c.targetPoint(fish(0), 0, now(), T, active, std::nullopt);
    EXPECT_TRUE(fish(0).unreadAttention);
}

TEST_F(MotionTest, FoodRingsSpreadTheSchoolByIndex) {
    auto& c = school(4);
    auto areas = c.swimAreas();
    const SwimArea active = *c.activeSwimArea(areas);
    const Point P{600, 400};
    const double base = 0.55 * now();
    const double radii[] = {34, 46, 58, 34};
    for (int i = 0; i < 4; ++i) {
        const Point t = c.targetPoint(fish(i), i, now(), active.frame, active, P);
        const double angle = base + i * kPi / 2;
        EXPECT_NEAR(t.x, P.x + radii[i] * std::cos(angle), 1e-9) << i;
        EXPECT_NEAR(t.y, P.y + radii[i] * std::sin(angle), 1e-9) << i;
    }
}

TEST_F(MotionTest, WanderKeepsTheSchoolInLanes) {
    auto& c = school(5);
    auto areas = c.swimAreas();
    const SwimArea active = *c.activeSwimArea(areas);
    const Rect T = active.frame;
    for (int i = 0; i < 5; ++i) fish(i).seed = 42;
    const Point a = c.targetPoint(fish(1), 1, now(), T, active, std::nullopt);
    const Point b = c.targetPoint(fish(2), 2, now(), T, active, std::nullopt);
    EXPECT_NEAR(b.x - a.x, 0.045 * 0.25 * T.width(), 1e-9);
    const double dy = 0.014 * (std::sin(1.43 * 2 + 0.29 * 42) - std::sin(1.43 * 1 + 0.29 * 42)) * T.height();
    EXPECT_NEAR(b.y - a.y, dy, 1e-9);

    // The waterway replaces the wander rectangle on its display.
    c.largeWindowWaterwayFrame = Rect::make(96, 600, 1248, 200);
    c.largeWindowWaterwayAreaID = active.id;
    const Point w = c.targetPoint(fish(2), 2, now(), T, active, std::nullopt);
    EXPECT_NEAR(w.y - 700, (b.y - T.midY()) / T.height() * 200, 1e-9);
}

TEST_F(MotionTest, TwoFishUseLanesOneApart) {
    auto& c = school(2);
    auto areas = c.swimAreas();
    const SwimArea active = *c.activeSwimArea(areas);
    fish(0).seed = fish(1).seed = 7;
    const Point a = c.targetPoint(fish(0), 0, now(), active.frame, active, std::nullopt);
    const Point b = c.targetPoint(fish(1), 1, now(), active.frame, active, std::nullopt);
    EXPECT_NEAR(b.x - a.x, 0.045 * active.frame.width(), 1e-9);
}

TEST_F(MotionTest, DispersalSendsFishRaysToTheBorderWithASidewaysOffset) {
    auto& c = school(2);
    const Rect T = Rect::make(0, 0, 1000, 800);
    auto& f = fish(0);
    f.seed = 0;
    place(0, {400, 300});  // centre (456, 356)
    const Point t = c.dispersalTarget(f, 0, {356, 356}, T);  // flee along +x
    EXPECT_NEAR(t.x, 1000, 1e-9);
    EXPECT_NEAR(t.y, 300, 1e-9);  // w = 44 sin(0) = 0

    // At the origin: the seed's direction phi = 1.37 * i + seed.
    const Point s = c.dispersalTarget(fish(0), 1, {456, 356}, T);
    const Vector u{std::cos(1.37), std::sin(1.37)};
    const double w = 44 * std::sin(1.17);
    const double travel = std::min((1000 - 400) / u.dx, (800 - 300) / u.dy);
    EXPECT_NEAR(s.x, std::clamp(400 + u.dx * travel - u.dy * w, 0.0, 1000.0), 1e-9);
    EXPECT_NEAR(s.y, std::clamp(300 + u.dy * travel + u.dx * w, 0.0, 800.0), 1e-9);

    // Already on the border it flees to: the other axis sets the travel.
    place(0, {1000, 300});
    const Point edge = c.dispersalTarget(f, 0, {1000, 300}, T);  // direction (56, 56) normalised
    EXPECT_NEAR(edge.y, 800, 1e-9);
    EXPECT_NEAR(edge.x, 1000, 1e-9);
    // In a corner, fleeing outward: no travel at all.
    place(0, {1000, 800});
    EXPECT_EQ(c.dispersalTarget(f, 0, {1000, 800}, T), (Point{1000, 800}));
}

TEST_F(MotionTest, LongSimulationNeverLeavesTheBoundaryAndCrossesDisplays) {
    desk.displays.setScreens({FakeDesktop::display(Rect::make(0, 0, 1200, 800), 1),
                              FakeDesktop::display(Rect::make(1200, 0, 1200, 800), 2)},
                             false);
    auto& c = school(9);
    const auto areas = c.swimAreas();
    const Rect B = c.movementBoundaryFrame(areas[0], areas);
    for (int k = 0; k < 60; ++k) {
        desk.scheduler.advance(0.5);
        for (int i = 0; i < 9; ++i) {
            EXPECT_GE(fish(i).position.x, B.minX());
            EXPECT_LE(fish(i).position.x, B.maxX());
            EXPECT_GE(fish(i).position.y, B.minY());
            EXPECT_LE(fish(i).position.y, B.maxY());
        }
    }
    // The pointer moves to the second display: the school follows.
    c.previousCursorPoint = c.cursorPoint;
    c.cursorPoint = {1800, 400};
    desk.scheduler.advance(40);
    EXPECT_EQ(c.activeDisplayID(), "2");
    int crossed = 0;
    for (int i = 0; i < 9; ++i) crossed += fish(i).displayID == "2";
    EXPECT_GE(crossed, 7);
}
