// Desktop gestures and the water overlay on the fake desktop.

#include <cmath>

#include "tank_fixture.h"

using namespace orvella;
using namespace orvella::testing;

namespace {

struct GestureTest : TankTest {
    void SetUp() override {
        installApps(3);
        desk.mouse.location = {300, 200};
        started();
    }
    OrvellaController& c() { return *controller; }
    void click(Point p, Modifiers m = {}) { c().handleMouse(MouseEvent::Type::leftMouseDown, m, p); }
    void wait(double s) { desk.clock.set(desk.clock.now() + s); }
    const Modifiers option{false, true, false, false};
};

}  // namespace

TEST_F(GestureTest, ThreeClicksWithinTheWindowStartAFoodCall) {
    const Point p{900, 500};
    click(p);
    wait(0.2);
    click(p);
    EXPECT_FALSE(c().isAttractionInForce());
    const Vector before = c().fishAgents()[0]->velocity;
    wait(0.2);
    click(p);
    ASSERT_TRUE(c().isAttractionInForce());
    EXPECT_EQ(c().attractionTargetPoint, p);
    EXPECT_EQ(c().attractionExpiresAt, desk.clock.now() + 1.8);
    EXPECT_FALSE(c().attractionRequiresArrival);
    // Each fish got an impulse of 3.2 x swim speed towards the point.
    const auto& fish = *c().fishAgents()[0];
    const Vector d = p - fish.center();
    EXPECT_NEAR((fish.velocity - before).dx, 3.2 * d.dx / d.length(), 1e-9);
    ASSERT_EQ(c().waterWindows().size(), 1u);
    auto& overlay = *c().waterWindows().begin()->second;
    ASSERT_EQ(overlay.waterView().foodBursts.size(), 1u);
    EXPECT_EQ(overlay.waterView().foodBursts[0].point, p);  // display at the origin
    EXPECT_FALSE(overlay.surface().isVisible());             // shown by the next step
}

TEST_F(GestureTest, DesktopPressesCountWhereTheyHappenedNotWhereThePointerWentSince) {
    // The backend reads the press's place as it arrives; by the time the
    // main queue handles it the pointer may be far away.
    auto press = [&](Point at) {
        for (auto& [id, fn] : desk.mouse.global) fn(MouseEvent{MouseEvent::Type::leftMouseDown, {}, at});
        desk.mouse.location = {10, 10};
        desk.scheduler.runDispatched();
    };
    const Point p{900, 500};
    press(p);
    press(p);
    press(p);
    ASSERT_TRUE(c().isAttractionInForce());
    EXPECT_EQ(c().attractionTargetPoint, p);
    EXPECT_EQ(c().cursorPoint, p);
}

TEST_F(GestureTest, ClicksSpreadOverMoreThanTheWindowDoNothing) {
    click({900, 500});
    wait(0.3);
    click({900, 500});
    wait(0.3);
    click({900, 500});
    EXPECT_FALSE(c().isAttractionInForce());
}

TEST_F(GestureTest, FiveClicksMakeAGuaranteedCallThatEndsOnArrival) {
    const Point p{900, 500};
    for (int i = 0; i < 5; ++i) {
        click(p);
        wait(0.15);
    }
    ASSERT_TRUE(c().attractionRequiresArrival);
    EXPECT_NEAR(*c().attractionExpiresAt - desk.clock.now(), 14 - 0.15, 1e-9);
    for (auto& f : c().fishAgents()) f->position = p - Vector{56, 56};
    c().expireClickAttractionIfNeeded(desk.clock.now());
    EXPECT_TRUE(c().attractionArrivedAt);
    wait(0.5);
    c().fishAgents()[1]->position = {0, 0};  // one drifts out: the dwell starts over
    c().expireClickAttractionIfNeeded(desk.clock.now());
    EXPECT_FALSE(c().attractionArrivedAt);
    c().fishAgents()[1]->position = p - Vector{56, 56};
    c().expireClickAttractionIfNeeded(desk.clock.now());
    wait(0.89);
    c().expireClickAttractionIfNeeded(desk.clock.now());
    EXPECT_TRUE(c().isAttractionInForce());
    wait(0.02);
    c().expireClickAttractionIfNeeded(desk.clock.now());
    EXPECT_FALSE(c().isAttractionInForce());
}

TEST_F(GestureTest, ModifierSetsMustMatchExactly) {
    EXPECT_TRUE(OrvellaController::matchesGesture(FishScreenGesture::tripleClick, {}));
    EXPECT_FALSE(OrvellaController::matchesGesture(FishScreenGesture::optionTripleClick, {false, true, false, true}));
    EXPECT_TRUE(OrvellaController::matchesGesture(FishScreenGesture::commandTripleClick, {true, false, false, false}));
    // Option + Shift matches nothing: it cancels and resets.
    click({900, 500});
    click({900, 500});
    click({900, 500}, {false, true, false, true});
    EXPECT_TRUE(c().recentAttractionClicks.empty());
}

TEST_F(GestureTest, OptionClicksScatterTheDisplaysFishWithASonicWave) {
    const Point p{700, 400};
    c().cursorAttractionEnabled = true;
    c().attractionTargetPoint = Point{1, 1};
    click(p, option);
    click(p, option);
    click(p, option);
    EXPECT_FALSE(c().isAttractionInForce());
    EXPECT_EQ(c().dispersalOriginPoint, p);
    EXPECT_EQ(c().dispersalExpiresAt, desk.clock.now() + 5);
    EXPECT_EQ(c().activeDisplayID(), "1");
    EXPECT_EQ(c().waterWindows().begin()->second->waterView().sonicWaveBursts.size(), 1u);
    EXPECT_TRUE(c().recentDispersalClicks.empty());
    wait(5);
    c().expireDispersalIfNeeded(desk.clock.now());
    EXPECT_FALSE(c().dispersalExpiresAt);
}

TEST_F(GestureTest, GestureConflictAndClicksOnFishAreNoGestures) {
    c().setAttractionModifier(FishScreenGesture::commandTripleClick);
    c().setDispersalModifier(FishScreenGesture::commandTripleClick);
    const Modifiers command{true, false, false, false};
    for (int i = 0; i < 3; ++i) click({700, 400}, command);
    EXPECT_FALSE(c().isAttractionInForce());
    EXPECT_FALSE(c().dispersalExpiresAt);

    c().setAttractionModifier(FishScreenGesture::tripleClick);
    auto& fish = *c().fishAgents()[0];
    const Point onIcon = fish.position + Vector{56, 56};
    EXPECT_TRUE(c().isInsideInteractiveWindow(onIcon));
    EXPECT_FALSE(c().isInsideInteractiveWindow(fish.position + Vector{2, 2}));  // transparent corner
    for (int i = 0; i < 3; ++i) click(onIcon);
    EXPECT_FALSE(c().isAttractionInForce());
}

TEST_F(GestureTest, ClicksOnTheSettingsWindowAreNoGestures) {
    // The settings window lies over open water, away from every fish.
    desk.surfaces.otherWindows = {Rect::make(500, 200, 404, 428)};
    for (int i = 0; i < 3; ++i) click({700, 400});
    EXPECT_FALSE(c().isAttractionInForce());
    EXPECT_TRUE(c().waterWindows().empty());
    // Beside it the same clicks call the school.
    for (int i = 0; i < 3; ++i) click({1000, 400});
    EXPECT_TRUE(c().isAttractionInForce());
}

TEST_F(GestureTest, OverlayShowsAtTheNextStepRaisesTheFishAndClosesAfterAClearedFrame) {
    click({900, 500});
    click({900, 500});
    click({900, 500});
    auto* overlay = c().waterWindows().begin()->second.get();
    auto& surface = dynamic_cast<FakeSurface&>(overlay->surface());
    EXPECT_TRUE(surface.ignoresMouseEvents());
    const int raised = surfaceOf(*c().fishAgents()[0]).orderFrontCount;
    c().lastMotionStepAt = 0;
    c().stepMotion();
    EXPECT_TRUE(surface.isVisible());
    EXPECT_GT(surfaceOf(*c().fishAgents()[0]).orderFrontCount, raised);
    ASSERT_FALSE(surface.dirtyRects.empty());
    // Only the region of the effects is redrawn, not the whole display.
    EXPECT_LT(surface.dirtyRects.back().width(), 800);
    EXPECT_TRUE(surface.dirtyRects.back().contains({900, 500}));
    auto frame = surface.render();
    EXPECT_EQ(frame->count(CanvasOp::Kind::fillPath), 9);     // nine particles
    EXPECT_EQ(frame->count(CanvasOp::Kind::strokePath), 12);  // their rims and three ripple rings

    // The burst lasts 1.9 s, the call 1.8 s; then one cleared frame, then closed.
    desk.clock.set(desk.clock.now() + 1.95);
    c().lastMotionStepAt = 0;
    c().stepMotion();
    EXPECT_EQ(c().waterWindows().size(), 1u);
    EXPECT_FALSE(overlay->waterView().hadDrawableEffects);
    c().lastMotionStepAt = 0;
    c().stepMotion();
    EXPECT_TRUE(c().waterWindows().empty());
    EXPECT_TRUE(surface.isClosed());
}

TEST_F(GestureTest, OverlayViewCapsAndExpiresItsEffects) {
    WaterOverlayView view({1000, 800}, desk.random);
    for (int i = 0; i < 9; ++i) view.addFoodBurst({double(i), 0}, 100 + i * 0.01);
    EXPECT_EQ(view.foodBursts.size(), 8u);
    EXPECT_EQ(view.foodBursts.front().point.x, 1);
    for (int i = 0; i < 6; ++i) view.addSonicWaveBurst({double(i), 0}, 100);
    EXPECT_EQ(view.sonicWaveBursts.size(), 5u);
    EXPECT_TRUE(view.needsAnimationFrame(101.35, false));  // exactly the lifetime: alive
    EXPECT_EQ(view.sonicWaveBursts.size(), 5u);
    EXPECT_TRUE(view.needsAnimationFrame(101.5, false));
    EXPECT_TRUE(view.sonicWaveBursts.empty());
    EXPECT_FALSE(view.foodBursts.empty());
    EXPECT_TRUE(view.needsAnimationFrame(102.0, false));  // all gone: the cleared frame
    EXPECT_TRUE(view.foodBursts.empty());
    EXPECT_FALSE(view.needsAnimationFrame(102.1, false));
    EXPECT_TRUE(view.needsAnimationFrame(103.2, true));  // the ripple keeps it alive

    // Ripple rings breathe between 28...38, 52...62, 76...86.
    view.attractionStrength = 1;
    view.cursorPoint = {500, 400};
    view.phase = std::asin(1.0) / 3.2;  // sin = 1: widest
    RecordingCanvas canvas;
    view.draw(canvas);
    auto strokes = canvas.opsOf(CanvasOp::Kind::strokePath);
    ASSERT_EQ(strokes.size(), 3u);
    EXPECT_NEAR(strokes[0].path.elements()[0].p1.x, 500 + 38, 1e-9);
    EXPECT_NEAR(strokes[2].path.elements()[0].p1.x, 500 + 86, 1e-9);
    EXPECT_NEAR(strokes[1].color.a, 0.115, 1e-12);
}

TEST_F(GestureTest, ADragEndsCallsAndScattering) {
    c().cursorAttractionEnabled = true;
    c().attractionTargetPoint = Point{5, 5};
    c().dispersalExpiresAt = desk.clock.now() + 1;
    c().handleFishDragBegan(c().fishAgents()[0]->app, {10, 10});
    EXPECT_FALSE(c().isAttractionInForce());
    EXPECT_FALSE(c().dispersalExpiresAt);
}

TEST_F(GestureTest, CallingAndScatteringWithoutClicksActAsTheGesturesDo) {
    // Where the session shows the pointer: at the pointer.
    c().handleMouse(MouseEvent::Type::mouseMoved, {}, {900, 500});
    const Vector before = c().fishAgents()[0]->velocity;
    c().attractSchool();
    ASSERT_TRUE(c().isAttractionInForce());
    EXPECT_EQ(c().attractionTargetPoint, (Point{900, 500}));
    EXPECT_EQ(c().attractionExpiresAt, desk.clock.now() + 1.8);
    EXPECT_FALSE(c().attractionRequiresArrival);
    const auto& fish = *c().fishAgents()[0];
    const Vector d = Point{900, 500} - fish.center();
    EXPECT_NEAR((fish.velocity - before).dx, 3.2 * d.dx / d.length(), 1e-9);
    ASSERT_EQ(c().waterWindows().size(), 1u);
    EXPECT_EQ(c().waterWindows().begin()->second->waterView().foodBursts.size(), 1u);

    // Scattering ends the call and sends a sonic wave from the same place.
    c().disperseSchool();
    EXPECT_FALSE(c().isAttractionInForce());
    EXPECT_EQ(c().dispersalOriginPoint, (Point{900, 500}));
    EXPECT_EQ(c().dispersalExpiresAt, desk.clock.now() + 5);
    EXPECT_EQ(c().waterWindows().begin()->second->waterView().sonicWaveBursts.size(), 1u);

    // Where the session hides the pointer: the middle of the active display.
    desk.awareness.set({false, false, false});
    c().attractSchool();
    const Rect visible = c().swimAreas()[0].visibleFrame;
    EXPECT_EQ(c().attractionTargetPoint, visible.center());
    // An explicit place wins.
    c().disperseSchool(Point{100, 100});
    EXPECT_EQ(c().dispersalOriginPoint, (Point{100, 100}));
}

TEST_F(GestureTest, TheControllerTellsObserversWhenTheSessionsAbilitiesChange) {
    int changes = 0;
    c().observeChanges([&] { ++changes; });
    desk.awareness.set({true, false, false}, DesktopRemedy::enableGnomeShellExtension);
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(c().desktopAbilities().desktopPresses);
    EXPECT_EQ(c().desktopRemedy(), DesktopRemedy::enableGnomeShellExtension);
}

namespace {

// Where an operation's ink can reach, in the view's points: its path's
// points (an arc by its whole circle, a curve by its controls), widened by
// half its line and a pixel of antialiasing, and with a shadow the blur's
// reach (three box radii of blur / 2), moved by its offset.
std::optional<Rect> inkOf(const CanvasOp& op) {
    std::optional<Rect> ink;
    auto add = [&](Rect r) { ink = ink ? ink->unionWith(r) : r; };
    for (const auto& e : op.path.elements()) {
        switch (e.kind) {
            case Path::Kind::arc: add(Rect::make(e.p1.x - e.radius, e.p1.y - e.radius, 2 * e.radius, 2 * e.radius)); break;
            case Path::Kind::close: break;
            case Path::Kind::cubic: add(Rect::make(e.p3.x, e.p3.y, 0, 0)); [[fallthrough]];
            case Path::Kind::quad: add(Rect::make(e.p2.x, e.p2.y, 0, 0)); [[fallthrough]];
            default: add(Rect::make(e.p1.x, e.p1.y, 0, 0));
        }
    }
    if (!ink) return std::nullopt;
    const double line = op.kind == CanvasOp::Kind::strokePath ? op.lineWidth / 2 : 0;
    Rect r = ink->insetBy(-(line + 1), -(line + 1));
    if (op.shadow) {
        const double reach = 3 * op.shadow->blur / 2;
        Rect shadow = r.insetBy(-reach, -reach);
        shadow = Rect::make(shadow.minX() + op.shadow->offset.dx, shadow.minY() + op.shadow->offset.dy,
                            shadow.width(), shadow.height());
        r = r.unionWith(shadow);
    }
    return r;
}

bool covers(const std::vector<Rect>& dirty, const Rect& ink) {
    std::optional<Rect> all;
    for (const Rect& r : dirty) all = all ? all->unionWith(r) : r;
    return all && all->minX() <= ink.minX() && all->minY() <= ink.minY() && all->maxX() >= ink.maxX() &&
           all->maxY() >= ink.maxY();
}

}  // namespace

TEST_F(GestureTest, TheOverlaysRepaintCoversEverythingItsEffectsDrewInThisFrameAndTheLast) {
    const DisplayInfo display = desk.displays.screens().front();
    WaterOverlayWindow window(desk.surfaces, display, "test", desk.random);
    auto& surface = dynamic_cast<FakeSurface&>(window.surface());
    WaterOverlayView& view = window.waterView();
    // Effects that start, grow, move and end at different times: a burst,
    // a wave and another burst, a ripple trail, and a call's rings
    // following the pointer for a second.
    view.addFoodBurst({200, 300}, 0);
    view.addSonicWaveBurst({250, 250}, 0.4);
    view.addFoodBurst({700, 150}, 0.9);
    view.trailRipples.push_back({{500, 500}, 0.7, 0.2, 1});
    std::optional<Rect> previous;
    int frames = 0;
    for (double t = 0; t < 3.5; t += 1.0 / 30) {
        const bool calling = t < 1.0;
        view.phase = t;
        view.attractionStrength = calling ? 1 : 0;
        // The pointer jumps once: the rings left behind must go too.
        view.cursorPoint = t < 0.5 ? Point{900 + 100 * t, 650} : Point{1200, 300};
        if (!view.needsAnimationFrame(t, calling)) break;
        surface.dirtyRects.clear();
        window.redrawChangedRegion();
        RecordingCanvas canvas;
        view.draw(canvas);
        std::optional<Rect> ink;
        for (const auto& op : canvas.ops()) {
            if (op.kind != CanvasOp::Kind::fillPath && op.kind != CanvasOp::Kind::strokePath) continue;
            if (auto r = inkOf(op)) ink = ink ? ink->unionWith(*r) : *r;
        }
        for (const auto& drawn : {ink, previous}) {
            if (drawn) {
                EXPECT_TRUE(covers(surface.dirtyRects, *drawn)) << "a trail is left at t = " << t;
            }
        }
        // Not the whole display while the effects are small.
        if (ink && !calling) {
            EXPECT_LT(surface.dirtyRects.front().width(), display.frame.width());
        }
        previous = ink;
        ++frames;
    }
    EXPECT_GT(frames, 60);
    // Once nothing is drawn, the last frame's ink is cleared.
    surface.dirtyRects.clear();
    window.redrawChangedRegion();
    if (previous) {
        EXPECT_TRUE(covers(surface.dirtyRects, *previous));
    }
}
