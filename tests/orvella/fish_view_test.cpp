// The fish view on a recording canvas: tail geometry, capture effect,
// shadows, alpha compensation, growth and pulse, and its clickable area.

#include <cmath>
#include <numbers>

#include "tank_fixture.h"

using namespace orvella;
using namespace orvella::testing;
using K = CanvasOp::Kind;

namespace {

struct FishViewTest : TankTest {
    FishAgent* fish = nullptr;
    void SetUp() override {
        installApps(1);
        started();
        fish = controller->fishAgents()[0].get();
    }
    FishIconView& view() { return fish->view(); }
    std::shared_ptr<RecordingCanvas> draw() { return surfaceOf(*fish).render(); }
};

Point endOf(const Path::Element& e) { return e.p1; }

}  // namespace

TEST_F(FishViewTest, QuietFishDrawsOneTailTwoRaysNoShadowAndItsIcon) {
    view().clearCapture();
    view().pulse = 0;
    auto canvas = draw();
    EXPECT_EQ(canvas->count(K::setShadow), 0);
    // Main tail fill, backdrop, transparent frame fill.
    ASSERT_EQ(canvas->count(K::fillPath), 3);
    // Outline, the two rays in one stroke, frame stroke.
    auto strokes = canvas->opsOf(K::strokePath);
    ASSERT_EQ(strokes.size(), 3u);
    int moves = 0;
    for (const auto& e : strokes[1].path.elements()) moves += e.kind == Path::Kind::move;
    EXPECT_EQ(moves, 2);
    EXPECT_EQ(strokes[1].lineCap, LineCap::round);
    EXPECT_DOUBLE_EQ(strokes[1].lineWidth, 0.55);
    EXPECT_DOUBLE_EQ(strokes[0].lineWidth, 0.7);
    auto images = canvas->opsOf(K::drawImage);
    ASSERT_EQ(images.size(), 1u);
    const double I = view().growthScale() * 54;
    EXPECT_NEAR(images[0].rect.width(), I, 1e-9);
    EXPECT_NEAR(images[0].rect.midX(), 56, 1e-9);
    EXPECT_NEAR(images[0].rect.midY(), 56, 1e-9);
    EXPECT_EQ(canvas->depth(), 0);  // every save restored
}

TEST_F(FishViewTest, GhostTailsFromThreeHundredthsAndGlowAboveFourHundredths) {
    // c = 2 * remaining time while under half a second.
    view().showCapture(desk.clock.now() + 0.015);
    auto light = draw();
    EXPECT_EQ(light->count(K::fillPath), 5);  // two ghosts added
    EXPECT_EQ(light->count(K::setShadow), 0);

    view().showCapture(desk.clock.now() + 0.0225);
    auto glow = draw();
    auto shadows = glow->opsOf(K::setShadow);
    ASSERT_EQ(shadows.size(), 1u);
    EXPECT_NEAR(shadows[0].color.a, 0.1 * 0.045, 1e-12);
    EXPECT_DOUBLE_EQ(glow->opsOf(K::fillPath)[0].shadow->blur, 7);
    // The glow ends with the tail: backdrop and frame carry no shadow.
    auto fills = glow->opsOf(K::fillPath);
    EXPECT_FALSE(fills[3].shadow);
}

TEST_F(FishViewTest, CaptureIsFullUntilHalfASecondLeftThenFadesAndLapses) {
    view().showCapture(desk.clock.now() + 2);
    auto full = draw();
    auto shadow = full->opsOf(K::setShadow);
    ASSERT_FALSE(shadow.empty());
    EXPECT_NEAR(shadow[0].color.a, 0.1, 1e-12);

    desk.clock.set(desk.clock.now() + 1.75);  // 0.25 s left: c = 0.5
    auto half = draw();
    EXPECT_NEAR(half->opsOf(K::setShadow)[0].color.a, 0.05, 1e-9);

    desk.clock.set(desk.clock.now() + 0.3);
    auto after = draw();
    EXPECT_EQ(after->count(K::setShadow), 0);
    EXPECT_FALSE(view().capturedUntil());
}

TEST_F(FishViewTest, ShowCaptureReseedsOnlyForANewEndTime) {
    const Time end = desk.clock.now() + 1;
    desk.random.pushFraction(0.25);
    view().showCapture(end);
    EXPECT_NEAR(view().captureSeed(), 0.25 * 2 * std::numbers::pi, 1e-9);
    const int draws = desk.random.draws;
    view().showCapture(end);
    EXPECT_EQ(desk.random.draws, draws);
    view().showCapture(end + 0.1);
    EXPECT_EQ(desk.random.draws, draws + 1);
}

TEST_F(FishViewTest, TailFollowsTheForkedOutlineBehindTheHeading) {
    const Point root{76, 56};
    const Path p = FishIconView::forkedTailPath(root, 0, 30, 20, 0);
    const auto& e = p.elements();
    ASSERT_EQ(e.size(), 7u);
    // Half width at the root is 0.62 * 20 = 12.4.
    EXPECT_NEAR(endOf(e[0]).y, 56 + 12.4, 1e-9);
    EXPECT_EQ(endOf(e[1]), (Point{106, 76}));               // upper tip
    EXPECT_NEAR(endOf(e[2]).x, 76 + 0.76 * 30, 1e-9);        // notch
    EXPECT_EQ(endOf(e[3]), (Point{106, 36}));               // lower tip
    EXPECT_NEAR(e[5].p2.x, 73, 1e-9);                        // bulge towards the head
    EXPECT_EQ(e[6].kind, Path::Kind::close);

    // Half width stays within 10...14 whatever the spread.
    EXPECT_NEAR(endOf(FishIconView::forkedTailPath(root, 0, 30, 2, 0).elements()[0]).y, 66, 1e-9);
    EXPECT_NEAR(endOf(FishIconView::forkedTailPath(root, 0, 30, 80, 0).elements()[0]).y, 70, 1e-9);

    // Waggle bends the tip by 8 * W, the root not at all; the tail points
    // the other way when reversed.
    const Path bent = FishIconView::forkedTailPath(root, 0, 30, 20, 0.5);
    EXPECT_NEAR(endOf(bent.elements()[1]).y, 76 + 4, 1e-9);
    EXPECT_NEAR(endOf(bent.elements()[0]).y, 56 + 12.4, 1e-9);
    const Path back = FishIconView::forkedTailPath(root, std::numbers::pi, 30, 20, 0);
    EXPECT_NEAR(endOf(back.elements()[1]).x, 46, 1e-9);
}

TEST_F(FishViewTest, TailSitsOppositeTheHeadingAndScalesWithGrowth) {
    view().heading = 0;  // swimming right: the tail is on the left
    view().setGrowthScale(1.0, false);
    auto canvas = draw();
    const auto tail = canvas->opsOf(K::fillPath)[0].path.elements();
    EXPECT_NEAR(tail[0].p1.x, 56 - 20, 1e-9);  // root 20 * g behind the centre
    EXPECT_LT(tail[1].p1.x, 36);
}

TEST_F(FishViewTest, FaintWindowsKeepTheTailVisible) {
    auto& s = surfaceOf(*fish);
    s.setAlpha(0.05);
    EXPECT_DOUBLE_EQ(view().compensatedTailAlpha(0.2, 0.11), 1.0);  // 0.11 / 0.08 > 1
    s.setAlpha(0.5);
    EXPECT_DOUBLE_EQ(view().compensatedTailAlpha(0.2, 0.11), 0.22);
    EXPECT_DOUBLE_EQ(view().compensatedTailAlpha(0.3, 0.11), 0.3);
    auto canvas = draw();
    EXPECT_NEAR(canvas->opsOf(K::fillPath)[0].color.a, std::max(0.18 + 0.055 * view().wakeStrength, 0.22), 1e-9);
}

TEST_F(FishViewTest, GrowthClampsAnimatesWithCubicEaseOutAndRespectsReduceMotion) {
    const size_t motionTimers = desk.scheduler.timerCount();
    view().setGrowthScale(2.0, false);
    EXPECT_DOUBLE_EQ(view().growthScale(), 1.5);
    view().setGrowthScale(0.3, false);
    EXPECT_DOUBLE_EQ(view().growthScale(), 0.62);

    view().setGrowthScale(1.0, true);
    ASSERT_TRUE(view().isGrowthAnimating());
    EXPECT_EQ(desk.scheduler.timerIntervals().back(), 1.0 / 30.0);
    const Time start = desk.clock.now();
    desk.clock.set(start + 0.28);  // p = 0.5
    view().stepGrowthAnimation();
    EXPECT_NEAR(view().growthScale(), 0.62 + 0.875 * 0.38, 1e-9);
    desk.clock.set(start + 0.6);
    view().stepGrowthAnimation();
    EXPECT_DOUBLE_EQ(view().growthScale(), 1.0);
    EXPECT_FALSE(view().isGrowthAnimating());
    EXPECT_EQ(desk.scheduler.timerCount(), motionTimers);

    view().setGrowthScale(1.0005, true);  // within 0.001: at once
    EXPECT_FALSE(view().isGrowthAnimating());
    desk.workspace.reduceMotionOn = true;
    view().setGrowthScale(1.3, true);
    EXPECT_FALSE(view().isGrowthAnimating());
    EXPECT_DOUBLE_EQ(view().growthScale(), 1.3);
}

TEST_F(FishViewTest, GrowthAnimationRunsOnItsTimerAndANewRequestRestartsFromWhereItIs) {
    controller->stop();  // keep the motion loop from touching the view
    view().setGrowthScale(0.86, false);
    view().setGrowthScale(1.16, true);
    desk.scheduler.advance(0.2);
    const double partway = view().growthScale();
    EXPECT_GT(partway, 0.86);
    EXPECT_LT(partway, 1.16);
    view().setGrowthScale(0.86, true);
    EXPECT_EQ(desk.scheduler.timerCount(), 1u);
    desk.scheduler.advance(0.6);
    EXPECT_DOUBLE_EQ(view().growthScale(), 0.86);
    EXPECT_EQ(desk.scheduler.timerCount(), 0u);
}

TEST_F(FishViewTest, PulseEnlargesTheIconAndEndsWithTheAnimation) {
    view().pulse = 1;
    view().animatePulse();
    auto canvas = draw();
    const double g = view().growthScale();
    EXPECT_NEAR(canvas->opsOf(K::drawImage)[0].rect.width(), g * 59, 1e-9);
    EXPECT_TRUE(canvas->opsOf(K::drawImage)[0].shadow);  // pulse > 0.05 casts the icon shadow
    EXPECT_NEAR(canvas->opsOf(K::fillPath)[1].color.a, 0.085, 1e-12);  // brighter backdrop
    desk.scheduler.advance(0.25);
    EXPECT_DOUBLE_EQ(view().pulse, 0);
    EXPECT_DOUBLE_EQ(view().viewAlpha(), 1);
}

TEST_F(FishViewTest, ThePulseFadesTheFinishedFishAsAWhole) {
    view().pulse = 1;
    view().animatePulse();
    desk.scheduler.advance(0.1);
    ASSERT_LT(view().viewAlpha(), 1);
    auto canvas = draw();
    // One fade for the whole frame; no operation is faded on its own, so the
    // icon hides the tail root beneath it.
    EXPECT_DOUBLE_EQ(canvas->frameAlpha, view().viewAlpha());
    for (const auto& op : canvas->ops()) EXPECT_DOUBLE_EQ(op.globalAlpha, 1);
}

TEST_F(FishViewTest, ThePlateIsKeptWhileItsSizeHoldsAndDrawnAnewWhenItChanges) {
    view().clearCapture();
    view().pulse = 0;
    auto render = [&] { return surfaceOf(*fish).render(true); };
    auto first = render();
    ASSERT_EQ(first->count(K::drawLayer), 1);
    EXPECT_FALSE(first->opsOf(K::drawLayer)[0].kept);
    EXPECT_EQ(first->count(K::drawImage), 1);  // the icon, inside the layer
    // The layer covers the icon and its frame and is put down at the view's
    // alpha.
    const Rect bounds = first->opsOf(K::drawLayer)[0].rect;
    const Rect icon = first->opsOf(K::drawImage)[0].rect;
    EXPECT_TRUE(bounds.contains(icon.origin) && bounds.contains({icon.maxX(), icon.maxY()}));

    auto again = render();
    ASSERT_EQ(again->count(K::drawLayer), 1);
    EXPECT_TRUE(again->opsOf(K::drawLayer)[0].kept);
    EXPECT_EQ(again->count(K::drawImage), 0);
    EXPECT_EQ(again->count(K::fillPath), 1);  // the tail is still drawn every frame
    EXPECT_EQ(again->count(K::strokePath), 2);

    // A fish that grows gets a new plate at its new size.
    view().setGrowthScale(view().growthScale() + 0.1, false);
    auto grown = render();
    EXPECT_FALSE(grown->opsOf(K::drawLayer)[0].kept);
    EXPECT_NEAR(grown->opsOf(K::drawImage)[0].rect.width(), view().growthScale() * 54, 1e-9);

    // While the icon casts its shadow (a pulse, the capture glow) the plate
    // is drawn directly, shadow and all.
    view().pulse = 1;
    auto pulsing = render();
    EXPECT_EQ(pulsing->count(K::drawLayer), 0);
    ASSERT_EQ(pulsing->count(K::drawImage), 1);
    EXPECT_TRUE(pulsing->opsOf(K::drawImage)[0].shadow);
    view().pulse = 0;
    EXPECT_TRUE(render()->opsOf(K::drawLayer)[0].kept);
}

TEST_F(FishViewTest, OnlyTheIconAndABadgeWithACountTakeTheMouse) {
    view().setGrowthScale(1.0, false);
    view().pulse = 0;
    // 54-point icon (29...83) grown by 8: 21...91, half-open.
    EXPECT_TRUE(view().containsInteractivePoint({21, 21}));
    EXPECT_FALSE(view().containsInteractivePoint({20.9, 56}));
    EXPECT_FALSE(view().containsInteractivePoint({91, 56}));
    EXPECT_FALSE(view().containsInteractivePoint({5, 5}));
    EXPECT_EQ(surfaceOf(*fish).region, (std::vector<Rect>{Rect::make(21, 21, 70, 70)}));

    view().setUnreadBadgeCount(5000);
    EXPECT_EQ(view().unreadBadgeCount(), 999);
    // "99+": 44 wide, at (112 - 44 - 15, 71), grown by 5.
    EXPECT_EQ(*view().interactiveBadgeHitFrame(), Rect::make(48, 66, 54, 36));
    EXPECT_TRUE(view().containsInteractivePoint({100, 100}));
    EXPECT_EQ(surfaceOf(*fish).region.size(), 2u);

    const int redraws = surfaceOf(*fish).needsDisplayCount;
    view().setUnreadBadgeCount(999);
    EXPECT_EQ(surfaceOf(*fish).needsDisplayCount, redraws);
    view().setUnreadBadgeCount(-3);
    EXPECT_EQ(view().unreadBadgeCount(), 0);
    EXPECT_FALSE(view().interactiveBadgeHitFrame());
}

TEST_F(FishViewTest, TintComesFromThePaletteAndTheAccentLeansTowardsBlue) {
    desk.random.pushBelow(2);
    FishIconView v(fish->app, FishViewServices{desk.clock, desk.random, desk.scheduler, desk.workspace, {}, {}, {}});
    EXPECT_EQ(v.tailTint(), (Color{0.12, 0.91, 0.72, 1}));
    auto canvas = draw();
    const Color tint = view().tailTint();
    const Color outline = canvas->opsOf(K::strokePath)[0].color;
    EXPECT_NEAR(outline.r, 0.78 * tint.r, 1e-12);
    EXPECT_NEAR(outline.b, 0.78 * tint.b + 0.22, 1e-12);
}

TEST_F(FishViewTest, AQuietFishRedrawsOnlyWhereItsTailWasAndWillBe) {
    view().clearCapture();
    view().pulse = 0;
    auto& surface = surfaceOf(*fish);
    draw();  // a whole frame, to compare the next with
    surface.dirtyRects.clear();
    view().heading += 0.05;
    view().setNeedsDisplay();
    ASSERT_EQ(surface.dirtyRects.size(), 1u);
    const Rect part = surface.dirtyRects[0];
    EXPECT_LT(part.width() * part.height(), 0.4 * FishIconView::kSide * FishIconView::kSide);

    // Whenever the frame is drawn, at any beat of the waggle, the tail's
    // fill, outline and rays lie inside the part asked for, with room for
    // the outline's width and its antialiasing.
    const Time start = desk.clock.now();
    for (int beat = 0; beat < 40; ++beat) {
        const double later = beat * 0.019;  // a waggle lasts about 0.74 s
        desk.clock.set(start + later);
        auto canvas = draw();
        std::vector<Path> tail{canvas->opsOf(K::fillPath)[0].path, canvas->opsOf(K::strokePath)[0].path,
                               canvas->opsOf(K::strokePath)[1].path};
        for (const auto& path : tail)
            for (const auto& e : path.elements()) {
                if (e.kind == Path::Kind::close) continue;
                EXPECT_TRUE(part.insetBy(1.35, 1.35).contains(e.p1)) << later << ": " << e.p1.x << "," << e.p1.y;
            }
        view().setNeedsDisplay();  // the next part is asked from this frame
    }

    // Anything else the frame shows asks for the whole window: a new size,
    // a pulse, the capture, another window alpha.
    auto wholeAfter = [&](const std::function<void()>& change) {
        draw();
        surface.dirtyRects.clear();
        const int before = surface.needsDisplayCount;
        change();
        view().setNeedsDisplay();
        return surface.dirtyRects.empty() && surface.needsDisplayCount > before;
    };
    EXPECT_TRUE(wholeAfter([&] { view().setGrowthScale(view().growthScale() + 0.1, false); }));
    EXPECT_TRUE(wholeAfter([&] { view().pulse = 0.72; }));
    view().pulse = 0;
    draw();  // the pulse frame is not quiet: the one after it is whole too
    EXPECT_TRUE(wholeAfter([&] { view().showCapture(desk.clock.now() + 1); }));
    view().clearCapture();
    draw();
    EXPECT_TRUE(wholeAfter([&] { surface.setAlpha(surface.alpha() * 0.5); }));
    EXPECT_FALSE(wholeAfter([&] { view().heading += 0.02; }));

    // Turned after asking, the tail would leave the part: the frame drawn
    // asks for the whole window next.
    draw();
    view().setNeedsDisplay();
    view().heading += 2.5;
    const int before = surface.needsDisplayCount;
    surface.dirtyRects.clear();
    draw();
    EXPECT_EQ(surface.needsDisplayCount, before + 1);
    EXPECT_TRUE(surface.dirtyRects.empty());
}
