// What the tank takes for granted of the desktop's displays, surfaces, mouse
// and bitmaps, held against the real backend of this run: driven from
// outside (the compositor's or X server's own pointer) and checked on its
// screen. The state rules also hold for the fake desktop the tank's own
// tests run on, so those tests assume nothing the backends do not give.

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "contract/contract_desktop.h"
#include "support/fake_desktop.h"

using namespace orvella;
using namespace orvella::contract;

QT_BEGIN_NAMESPACE
// Rectangles in failure messages as the compositor would give them.
inline void PrintTo(const QRect& r, std::ostream* os) {
    *os << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}
QT_END_NAMESPACE

namespace {

bool near(QRgb shown, QRgb wanted, int tolerance = 10) {
    return std::abs(qRed(shown) - qRed(wanted)) <= tolerance && std::abs(qGreen(shown) - qGreen(wanted)) <= tolerance &&
           std::abs(qBlue(shown) - qBlue(wanted)) <= tolerance;
}

QRgb rgb(Color c) {
    return qRgb(static_cast<int>(std::lround(c.r * 255)), static_cast<int>(std::lround(c.g * 255)),
                static_cast<int>(std::lround(c.b * 255)));
}

const Color kMagenta{0.9, 0.2, 0.6, 1};
const Color kTeal{0.1, 0.7, 0.65, 1};
const Color kAmber{0.95, 0.7, 0.1, 1};
const Color kViolet{0.45, 0.3, 0.85, 1};

void pause(double seconds) {
    spinUntil([] { return false; }, seconds);
}

// Takes screenshots until `check` holds of one, for up to `seconds`.
bool shownWithin(const std::function<bool(const QImage&)>& check, double seconds = 5) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    while (true) {
        if (check(desktop().screenshot())) return true;
        if (std::chrono::steady_clock::now() > give_up) return false;
        pause(0.1);
    }
}

// A rectangle on output `index`, placed from its top-left corner in layout
// terms, as desktop points.
Rect onOutput(size_t index, int dx, int dy, int width, int height) {
    const QRect out = desktop().layout().at(index);
    const Point bottomLeft = toDesktopPoint(QPoint(out.x() + dx, out.y() + dy + height));
    return Rect::make(bottomLeft.x, bottomLeft.y, width, height);
}

QPoint layoutPoint(const Rect& frame, Point local) {
    return toLayout(Point{frame.minX() + local.x, frame.minY() + local.y});
}

// A surface filled with one colour (which may change), counting its draws.
struct Solid {
    Color colour;
    // The right half's colour, when it differs.
    std::optional<Color> right;
    int draws = 0;
    std::shared_ptr<Surface> surface;
};

class Contract : public ::testing::Test {
protected:
    Platform& ports() { return desktop().platform(); }

    Solid& solid(const Rect& frame, Color colour, SurfaceKind kind = SurfaceKind::fish) {
        auto state = std::make_unique<Solid>();
        state->colour = colour;
        Solid* s = state.get();
        s->surface = ports().surfaces.createSurface(kind, frame, "Orvella fish: Contract", [s](Canvas& c) {
            ++s->draws;
            const Size size = s->surface->frame().size;
            c.setFillColor(s->colour);
            c.fillRect(Rect::make(0, 0, size.width, size.height), CompositeOp::copy);
            if (s->right) {
                c.setFillColor(*s->right);
                c.fillRect(Rect::make(size.width / 2, 0, size.width / 2, size.height), CompositeOp::copy);
            }
        });
        solids_.push_back(std::move(state));
        return *s;
    }

    void SetUp() override {
        // The pointer rests in a corner, out of the way of what is looked at
        // (some compositors draw it into their screenshots).
        const QRect primary = desktop().layout().front();
        desktop().movePointer(primary.bottomLeft() + QPoint(2, -2));
    }

    void TearDown() override {
        for (auto& s : solids_) s->surface->close();
        solids_.clear();
        // Nothing of this test is left on screen for the next.
        pause(0.3);
    }

    std::vector<std::unique_ptr<Solid>> solids_;
};

}  // namespace

// --- Displays -------------------------------------------------------------

TEST_F(Contract, DisplaysAreTheOutputsPrimaryFirstInDesktopPoints) {
    const auto layout = desktop().layout();
    const auto screens = ports().displays.screens();
    ASSERT_EQ(screens.size(), layout.size());
    EXPECT_EQ(screens[0].frame.origin, (Point{0, 0})) << "desktop points start at the primary's bottom-left";
    for (size_t i = 0; i < screens.size(); ++i) {
        SCOPED_TRACE("output " + std::to_string(i));
        EXPECT_EQ(toLayout(screens[i].frame), layout[i]);
        const auto visible = screens[i].visibleFrame;
        EXPECT_GT(visible.width(), 0);
        EXPECT_GT(visible.height(), 0);
        EXPECT_EQ(visible.intersection(screens[i].frame), std::optional<Rect>(visible))
            << "the visible frame lies inside its display";
    }
    const auto main = ports().displays.mainScreen();
    ASSERT_TRUE(main.has_value());
    EXPECT_NE(std::find(screens.begin(), screens.end(), *main), screens.end());
}

TEST_F(Contract, ALayoutChangeIsToldOnceAndReadBackAndARemovedObserverHearsNothing) {
    auto& displays = ports().displays;
    const auto before = displays.screens();
    int heard = 0;
    const int id = displays.addChangeObserver([&] { ++heard; });
    if (!desktop().changeLayout()) {
        displays.removeChangeObserver(id);
        GTEST_SKIP() << "this desktop's outputs cannot be changed from outside";
    }
    ASSERT_TRUE(spinUntil([&] { return displays.screens() != before; }));
    pause(0.6);
    EXPECT_GE(heard, 1);
    EXPECT_LE(heard, 2) << "one change (two steps on X11) is told once per step at most";

    displays.removeChangeObserver(id);
    const int heardBefore = heard;
    desktop().restoreLayout();
    ASSERT_TRUE(spinUntil([&] { return displays.screens() == before; }));
    pause(0.6);
    EXPECT_EQ(heard, heardBefore);
}

// --- Surfaces: state ------------------------------------------------------

// The same rules for the fake desktop and the real one.
class SurfaceState : public ::testing::TestWithParam<std::string> {
protected:
    SurfaceFactory& factory() {
        if (GetParam() == "fake") return fake_;
        return desktop().platform().surfaces;
    }
    void settle() {
        if (GetParam() != "fake") pause(0.3);
    }
    orvella::testing::FakeSurfaces fake_;
};

TEST_P(SurfaceState, ASurfaceKeepsWhatItIsToldAndShowsOnlyBetweenOrderFrontAndOrderOut) {
    int draws = 0;
    auto held = std::make_shared<int>(0);
    const Rect rect = Rect::make(100, 100, 80, 80);
    auto s = factory().createSurface(SurfaceKind::fish, rect, "Orvella fish: Contract", [&draws, held](Canvas& c) {
        ++draws;
        c.setFillColor(kTeal);
        c.fillRect(Rect::make(0, 0, 80, 80), CompositeOp::copy);
    });
    s->setMouseHandler([held](const SurfaceMouseEvent&) {});
    EXPECT_EQ(s->frame(), rect);
    EXPECT_FALSE(s->isVisible()) << "not on screen before it is ordered front";
    EXPECT_FALSE(s->isClosed());
    EXPECT_EQ(s->alpha(), 1.0);
    EXPECT_FALSE(s->ignoresMouseEvents());

    s->setOrigin({120, 140});
    EXPECT_EQ(s->frame(), Rect::make(120, 140, 80, 80)) << "a move is read back at once";
    s->setContentSize({90, 70});
    EXPECT_EQ(s->frame(), Rect::make(120, 140, 90, 70)) << "a new size keeps the origin";
    s->setAlpha(0.5);
    EXPECT_EQ(s->alpha(), 0.5);
    s->setIgnoresMouseEvents(true);
    EXPECT_TRUE(s->ignoresMouseEvents());
    s->setIgnoresMouseEvents(false);
    EXPECT_FALSE(s->ignoresMouseEvents());

    s->orderFront();
    EXPECT_TRUE(s->isVisible());
    settle();
    s->orderOut();
    EXPECT_FALSE(s->isVisible());
    s->orderFront();
    EXPECT_TRUE(s->isVisible());
    settle();

    s->close();
    EXPECT_TRUE(s->isClosed());
    EXPECT_FALSE(s->isVisible());
    s->close();
    s->orderFront();
    EXPECT_FALSE(s->isVisible()) << "a closed surface stays off screen";
    const int drawn = draws;
    s->setNeedsDisplay();
    s->setOrigin({300, 300});
    settle();
    EXPECT_EQ(draws, drawn) << "a closed surface draws no more";
    // Fish views are captured by their drawing and mouse handler: a closed
    // surface lets go of them.
    EXPECT_EQ(held.use_count(), 1);
}

INSTANTIATE_TEST_SUITE_P(Desktops, SurfaceState, ::testing::Values("fake", "real"),
                         [](const auto& info) { return info.param; });

// --- Surfaces: on screen --------------------------------------------------

TEST_F(Contract, ASurfaceIsDrawnWhereItsFrameSaysAndFollowsMovesAndSizes) {
    Solid& s = solid(onOutput(0, 200, 150, 80, 80), kMagenta);
    s.surface->orderFront();
    const auto inside = [&](const QImage& shot, Point local) {
        return near(shownAt(shot, layoutPoint(s.surface->frame(), local)), rgb(kMagenta));
    };
    ASSERT_TRUE(shownWithin([&](const QImage& shot) {
        return inside(shot, {40, 40}) && inside(shot, {3, 3}) && inside(shot, {77, 77}) && !inside(shot, {-4, 40}) &&
               !inside(shot, {84, 40}) && !inside(shot, {40, 84});
    })) << "drawn at its place, its own size, y up";

    // Many moves in a row, as motion steps make them: it ends at the last.
    const Rect from = s.surface->frame();
    for (int i = 1; i <= 30; ++i) s.surface->setOrigin({from.minX() + 10 * i, from.minY() - 2 * i});
    const Rect to = s.surface->frame();
    EXPECT_TRUE(shownWithin([&](const QImage& shot) {
        return inside(shot, {40, 40}) &&
               !near(shownAt(shot, layoutPoint(from, {40, 40})), rgb(kMagenta));
    })) << "moved from " << toLayout(from).x() << " to " << toLayout(to).x();

    // A new size keeps the bottom-left corner: it grows up and right.
    s.surface->setContentSize({120, 120});
    s.surface->setNeedsDisplay();
    EXPECT_TRUE(shownWithin([&](const QImage& shot) {
        return inside(shot, {115, 115}) && inside(shot, {5, 5}) && !inside(shot, {125, 60});
    }));
}

TEST_F(Contract, EveryOutputShowsItsSurfacesAtTheirSizeInPoints) {
    const auto layout = desktop().layout();
    std::vector<Solid*> placed;
    for (size_t i = 0; i < layout.size(); ++i) {
        Solid& s = solid(onOutput(i, layout[i].width() / 2 - 30, layout[i].height() / 2 - 30, 60, 60), kAmber);
        s.surface->orderFront();
        placed.push_back(&s);
    }
    for (size_t i = 0; i < placed.size(); ++i) {
        SCOPED_TRACE("output " + std::to_string(i));
        const Rect f = placed[i]->surface->frame();
        const auto shows = [&](const QImage& shot, Point local) {
            return near(shownAt(shot, layoutPoint(f, local)), rgb(kAmber));
        };
        // On a scaled output the same 60 points cover more pixels: its
        // edges are still where 60 points put them.
        EXPECT_TRUE(shownWithin([&](const QImage& shot) {
            return shows(shot, {30, 30}) && shows(shot, {2, 2}) && shows(shot, {57, 57}) && !shows(shot, {-3, 30}) &&
                   !shows(shot, {63, 30}) && !shows(shot, {30, 63});
        }));
    }
}

TEST_F(Contract, OrderOutAndCloseTakeASurfaceOffTheScreen) {
    Solid& s = solid(onOutput(0, 400, 300, 70, 70), kTeal);
    const auto shown = [&](const QImage& shot) {
        return near(shownAt(shot, layoutPoint(s.surface->frame(), {35, 35})), rgb(kTeal));
    };
    s.surface->orderFront();
    ASSERT_TRUE(shownWithin(shown));
    s.surface->orderOut();
    EXPECT_TRUE(shownWithin([&](const QImage& shot) { return !shown(shot); }));
    s.surface->orderFront();
    EXPECT_TRUE(shownWithin(shown)) << "shown again after ordered out";
    s.surface->close();
    EXPECT_TRUE(shownWithin([&](const QImage& shot) { return !shown(shot); }));
}

TEST_F(Contract, ARedrawOfPartOfASurfaceKeepsTheRestAsLastDrawnOnEveryOutput) {
    // Each colour of the right half is drawn into whichever buffer the
    // backend draws next; the left half must stay right in all of them, at
    // every output's scale.
    for (size_t output = 0; output < desktop().layout().size(); ++output) {
        SCOPED_TRACE("output " + std::to_string(output));
        Solid& s = solid(onOutput(output, 200, 200, 100, 60), kTeal);
        s.right = kTeal;
        s.surface->orderFront();
        const auto halves = [&](Color right, Color left = kTeal) {
            return [&, left, right](const QImage& shot) {
                const Rect f = s.surface->frame();
                return near(shownAt(shot, layoutPoint(f, {25, 30})), rgb(left)) &&
                       near(shownAt(shot, layoutPoint(f, {75, 30})), rgb(right));
            };
        };
        ASSERT_TRUE(shownWithin(halves(kTeal)));
        const Color sequence[] = {kAmber, kMagenta, kAmber, kTeal, kMagenta};
        for (const Color& c : sequence) {
            s.right = c;
            s.surface->setNeedsDisplayIn(Rect::make(50, 0, 50, 60));
            EXPECT_TRUE(shownWithin(halves(c))) << "right half " << std::hex << rgb(c);
        }
        // A whole redraw after them: both halves new.
        s.colour = kAmber;
        s.right.reset();
        s.surface->setNeedsDisplay();
        EXPECT_TRUE(shownWithin(halves(kAmber, kAmber)));
        s.surface->close();
    }
}

TEST_F(Contract, ABitmapDrawnOnASurfaceShowsItsPixels) {
    // Two pixels per point, as icons are made.
    auto bitmap = ports().bitmaps.makeBitmap(80, 80, {40, 40}, [](Canvas& c) {
        c.setFillColor(kMagenta);
        c.fillRect(Rect::make(0, 0, 40, 40), CompositeOp::copy);
    });
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->size(), (Size{40, 40}));
    const Rect frame = onOutput(0, 300, 500, 80, 80);
    auto s = ports().surfaces.createSurface(SurfaceKind::fish, frame, "Orvella fish: Contract", [bitmap](Canvas& c) {
        c.setFillColor(kTeal);
        c.fillRect(Rect::make(0, 0, 80, 80), CompositeOp::copy);
        c.drawImage(*bitmap, Rect::make(20, 20, 40, 40), CompositeOp::sourceOver, 1);
    });
    s->orderFront();
    EXPECT_TRUE(shownWithin([&](const QImage& shot) {
        return near(shownAt(shot, layoutPoint(frame, {40, 40})), rgb(kMagenta)) &&
               near(shownAt(shot, layoutPoint(frame, {10, 10})), rgb(kTeal));
    }));
    s->close();
}

TEST_F(Contract, ASurfaceOnAnOutputThatGoesAwayStaysOpenAndShowsWhereItIsMovedNext) {
    const auto layout = desktop().layout();
    if (layout.size() < 2) GTEST_SKIP() << "one output";
    auto& displays = ports().displays;
    const size_t last = layout.size() - 1;
    Solid& s = solid(onOutput(last, 100, 100, 80, 80), kMagenta);
    s.surface->setInteractiveRegion({Rect::make(0, 0, 80, 80)});
    s.surface->orderFront();
    const auto shownAtItsPlace = [&](const QImage& shot) {
        return near(shownAt(shot, layoutPoint(s.surface->frame(), {40, 40})), rgb(kMagenta));
    };
    ASSERT_TRUE(shownWithin(shownAtItsPlace));
    int heard = 0;
    const int id = displays.addChangeObserver([&] { ++heard; });
    if (!desktop().removeLastOutput()) {
        displays.removeChangeObserver(id);
        GTEST_SKIP() << "this desktop's outputs cannot be turned off from outside";
    }
    ASSERT_TRUE(spinUntil([&] { return displays.screens().size() == layout.size() - 1; }));
    EXPECT_GE(heard, 1);
    pause(0.5);
    EXPECT_TRUE(s.surface->isVisible()) << "the output went, the surface is still the tank's to place";
    EXPECT_FALSE(s.surface->isClosed());

    // As the tank does on a layout change: it moves the surface onto what
    // is left, where it shows and takes presses.
    s.surface->setOrigin(onOutput(0, 300, 300, 80, 80).origin);
    EXPECT_TRUE(shownWithin(shownAtItsPlace)) << "not shown on the remaining output";
    int presses = 0;
    s.surface->setMouseHandler([&](const SurfaceMouseEvent& e) { presses += e.type == SurfaceMouseEvent::Type::down; });
    desktop().movePointer(layoutPoint(s.surface->frame(), {40, 40}));
    desktop().press();
    desktop().release();
    EXPECT_TRUE(spinUntil([&] { return presses == 1; })) << "no press reached it on the remaining output";

    desktop().restoreLastOutput();
    ASSERT_TRUE(spinUntil([&] { return displays.screens().size() == layout.size(); }));
    s.surface->setOrigin(onOutput(last, 150, 120, 80, 80).origin);
    EXPECT_TRUE(shownWithin(shownAtItsPlace)) << "not shown on the output that came back";
    displays.removeChangeObserver(id);
}

// --- Mouse ----------------------------------------------------------------

namespace {

struct Heard {
    std::vector<std::string> order;
    std::vector<SurfaceMouseEvent> surface;
    std::vector<MouseEvent> local;
};

// The local monitor goes when the test ends, however it ends: one left
// behind would hear the next test's presses into this one's `Heard`.
struct Listening {
    MouseMonitors& mouse;
    int handle = 0;
    ~Listening() { mouse.removeMonitor(handle); }
};

[[nodiscard]] std::unique_ptr<Listening> listen(Surface& s, MouseMonitors& mouse, Heard& heard) {
    s.setMouseHandler([&heard](const SurfaceMouseEvent& e) {
        heard.surface.push_back(e);
        heard.order.push_back(e.type == SurfaceMouseEvent::Type::down ? "down"
                              : e.type == SurfaceMouseEvent::Type::up ? "up"
                                                                       : "dragged");
    });
    const int handle = mouse.addLocalMonitor([&heard](const MouseEvent& e) {
        if (e.type != MouseEvent::Type::leftMouseDown) return;
        heard.local.push_back(e);
        heard.order.push_back("local");
    });
    return std::unique_ptr<Listening>(new Listening{mouse, handle});
}

}  // namespace

TEST_F(Contract, OnEveryOutputOnlyTheInteractiveRegionTakesPressesInSurfaceCoordinates) {
    auto& mouse = ports().mouse;
    const auto layout = desktop().layout();
    for (size_t i = 0; i < layout.size(); ++i) {
        SCOPED_TRACE("output " + std::to_string(i));
        Solid& s = solid(onOutput(i, 100, 100, 100, 100), kTeal);
        s.surface->setInteractiveRegion({Rect::make(30, 30, 40, 40)});
        s.surface->orderFront();
        Heard heard;
        const auto listening = listen(*s.surface, mouse, heard);
        const Rect f = s.surface->frame();
        ASSERT_TRUE(shownWithin([&](const QImage& shot) {
            return near(shownAt(shot, layoutPoint(f, {50, 50})), rgb(kTeal));
        }));

        desktop().movePointer(layoutPoint(f, {52, 46}));
        desktop().press();
        desktop().release();
        ASSERT_TRUE(spinUntil([&] { return heard.surface.size() >= 2; })) << "a press in the region reaches it";
        EXPECT_EQ(heard.surface[0].type, SurfaceMouseEvent::Type::down);
        EXPECT_NEAR(heard.surface[0].location.x, 52, 1.5);
        EXPECT_NEAR(heard.surface[0].location.y, 46, 1.5) << "surface coordinates are y up";
        EXPECT_EQ(heard.surface[0].clickCount, 1);
        EXPECT_EQ(heard.surface.back().type, SurfaceMouseEvent::Type::up);
        ASSERT_EQ(heard.local.size(), 1u) << "the local monitor hears the press once";
        EXPECT_NEAR(heard.local[0].location.x, f.minX() + 52, 1.5);
        EXPECT_NEAR(heard.local[0].location.y, f.minY() + 46, 1.5);
        ASSERT_GE(heard.order.size(), 2u);
        EXPECT_EQ(heard.order[0], "local") << "the local monitor hears it before the surface";
        EXPECT_NEAR(mouse.mouseLocation().x, f.minX() + 52, 1.5);
        EXPECT_NEAR(mouse.mouseLocation().y, f.minY() + 46, 1.5);

        // Beside the region, still inside the frame: not ours.
        heard.surface.clear();
        desktop().movePointer(layoutPoint(f, {10, 90}));
        desktop().press();
        desktop().release();
        pause(0.5);
        EXPECT_TRUE(heard.surface.empty()) << "a press outside the region went to the surface";

        // Ignoring the mouse lets even the region's presses through.
        s.surface->setIgnoresMouseEvents(true);
        pause(0.2);
        desktop().movePointer(layoutPoint(f, {50, 50}));
        desktop().press();
        desktop().release();
        pause(0.5);
        EXPECT_TRUE(heard.surface.empty()) << "a surface ignoring the mouse took a press";

        // An empty region takes nothing either.
        s.surface->setIgnoresMouseEvents(false);
        s.surface->setInteractiveRegion({});
        pause(0.2);
        desktop().press();
        desktop().release();
        pause(0.5);
        EXPECT_TRUE(heard.surface.empty()) << "an empty region took a press";

        // A new region takes presses where it now is.
        s.surface->setInteractiveRegion({Rect::make(0, 0, 30, 30)});
        pause(0.2);
        desktop().movePointer(layoutPoint(f, {15, 15}));
        desktop().press();
        desktop().release();
        EXPECT_TRUE(spinUntil([&] { return heard.surface.size() >= 2; })) << "the moved region took no press";
        s.surface->close();
    }
}

TEST_F(Contract, SurfacesStackByKindAndTheOneOrderedFrontLastTopsItsKindAndTakesThePress) {
    auto& mouse = ports().mouse;
    Solid& below = solid(onOutput(0, 400, 200, 100, 100), kTeal);
    Solid& above = solid(onOutput(0, 450, 220, 100, 100), kAmber);
    for (Solid* s : {&below, &above}) {
        s->surface->setInteractiveRegion({Rect::make(0, 0, 100, 100)});
        s->surface->orderFront();
    }
    Heard heardBelow, heardAbove;
    const auto listeningBelow = listen(*below.surface, mouse, heardBelow);
    const auto listeningAbove = listen(*above.surface, mouse, heardAbove);
    // In both frames: 75 from the lower one's left, 25 from the upper one's.
    const QPoint overlap = layoutPoint(below.surface->frame(), {75, 50});
    const QPoint rest = desktop().layout().front().bottomLeft() + QPoint(2, -2);
    // Looked at with the pointer away, which some compositors draw.
    const auto onTop = [&](Color colour, QPoint at) {
        desktop().movePointer(rest);
        QRgb seen = 0;
        const bool shown = shownWithin([&](const QImage& shot) { return near(seen = shownAt(shot, at), rgb(colour)); });
        if (!shown) ADD_FAILURE() << "#" << std::hex << (seen & 0xffffff) << " is on top";
        return shown;
    };
    const auto click = [&] {
        desktop().movePointer(overlap);
        desktop().press();
        desktop().release();
    };

    ASSERT_TRUE(onTop(kAmber, overlap)) << "the surface shown last is not on top";
    click();
    ASSERT_TRUE(spinUntil([&] { return heardAbove.surface.size() >= 2; })) << "the top surface heard no press";
    EXPECT_NEAR(heardAbove.surface[0].location.x, 25, 1.5);
    pause(0.3);
    EXPECT_TRUE(heardBelow.surface.empty()) << "the press went to the surface beneath as well";

    above.surface->orderOut();
    pause(0.3);
    click();
    ASSERT_TRUE(spinUntil([&] { return heardBelow.surface.size() >= 2; }))
        << "with the top surface ordered out, the one beneath heard no press";
    EXPECT_NEAR(heardBelow.surface[0].location.x, 75, 1.5);
    EXPECT_EQ(heardAbove.surface.size(), 2u) << "a surface ordered out still took a press";

    // Shown again it is on top again; then the other one, already shown,
    // is ordered front over it.
    above.surface->orderFront();
    ASSERT_TRUE(onTop(kAmber, overlap));
    below.surface->orderFront();
    EXPECT_TRUE(onTop(kTeal, overlap)) << "ordering a shown surface front did not raise it";
    heardBelow.surface.clear();
    heardAbove.surface.clear();
    click();
    EXPECT_TRUE(spinUntil([&] { return heardBelow.surface.size() >= 2; })) << "the raised surface heard no press";
    EXPECT_TRUE(heardAbove.surface.empty());

    // Water shown after the fish stays beneath them; a badge shown before
    // a fish is ordered front stays above it.
    Solid& water = solid(onOutput(0, 380, 180, 200, 160), kMagenta, SurfaceKind::overlay);
    water.surface->orderFront();
    EXPECT_TRUE(onTop(kMagenta, layoutPoint(water.surface->frame(), {190, 150}))) << "the water is not shown";
    EXPECT_TRUE(onTop(kTeal, overlap)) << "the water covers the fish";
    // 20 wide, centred on the overlap; placed by its bottom-left corner.
    const Point corner = toDesktopPoint(overlap + QPoint(-10, 10));
    Solid& badge = solid(Rect::make(corner.x, corner.y, 20, 20), kViolet, SurfaceKind::badge);
    badge.surface->orderFront();
    EXPECT_TRUE(onTop(kViolet, overlap));
    above.surface->orderFront();
    EXPECT_TRUE(onTop(kViolet, overlap)) << "a fish ordered front covers a badge";
}

namespace {

struct Drag {
    std::optional<Point> pressedAt;
    int drags = 0;
    bool released = false;
};

// Presses at `from`, moves the pointer `steps` times by `step` and lets go,
// with the surface following the pointer as a fish does: kept where the
// press met it, from the pointer's place on every drag step.
Drag dragFollowing(Surface& surface, MouseMonitors& mouse, QPoint from, QPoint step, int steps) {
    auto drag = std::make_shared<Drag>();
    surface.setMouseHandler([drag, &surface, &mouse](const SurfaceMouseEvent& e) {
        if (e.type == SurfaceMouseEvent::Type::down) drag->pressedAt = e.location;
        if (e.type == SurfaceMouseEvent::Type::up) drag->released = true;
        if (e.type != SurfaceMouseEvent::Type::dragged || !drag->pressedAt) return;
        ++drag->drags;
        const Point m = mouse.mouseLocation();
        surface.setOrigin({m.x - drag->pressedAt->x, m.y - drag->pressedAt->y});
    });
    desktop().movePointer(from);
    desktop().press();
    for (int i = 1; i <= steps; ++i) {
        desktop().movePointer(from + step * i);
        pause(0.05);
    }
    desktop().release();
    spinUntil([&] { return drag->released; });
    surface.setMouseHandler(nullptr);
    return *drag;
}

}  // namespace

TEST_F(Contract, ADraggedSurfaceThatFollowsThePointerEndsWhereItWasLeft) {
    Solid& s = solid(onOutput(0, 300, 300, 100, 100), kAmber);
    s.surface->setInteractiveRegion({Rect::make(0, 0, 100, 100)});
    s.surface->orderFront();
    const Rect start = s.surface->frame();
    ASSERT_TRUE(shownWithin([&](const QImage& shot) {
        return near(shownAt(shot, layoutPoint(start, {50, 50})), rgb(kAmber));
    }));
    const QPoint from = layoutPoint(start, {50, 50});
    const Drag drag = dragFollowing(*s.surface, ports().mouse, from, {10, 5}, 8);
    ASSERT_TRUE(drag.released);
    EXPECT_GE(drag.drags, 2);
    ASSERT_TRUE(drag.pressedAt.has_value());
    EXPECT_NEAR(drag.pressedAt->x, 50, 1.5);
    EXPECT_NEAR(s.surface->frame().minX(), start.minX() + 80, 2.5);
    EXPECT_NEAR(s.surface->frame().minY(), start.minY() - 40, 2.5);
    EXPECT_TRUE(shownWithin([&](const QImage& shot) {
        // Away from the pointer, which some compositors draw into the shot.
        return near(shownAt(shot, from + QPoint(80 + 35, 40 + 35)), rgb(kAmber)) &&
               !near(shownAt(shot, from + QPoint(-20, -20)), rgb(kAmber));
    })) << "shown where it was left";
}

TEST_F(Contract, ASurfaceDraggedOntoAnotherOutputFollowsThePointerThereAndShowsThere) {
    const auto layout = desktop().layout();
    if (layout.size() < 2) GTEST_SKIP() << "this desktop has one output";
    // From 150 left of the first output's right edge, 300 to the right: the
    // pointer crosses onto the second output, beside it in the layout.
    const QRect first = layout[0];
    ASSERT_EQ(layout[1].left(), first.right() + 1) << "the second output is not right of the first";
    Solid& s = solid(onOutput(0, first.width() - 200, 300, 100, 100), kAmber);
    s.surface->setInteractiveRegion({Rect::make(0, 0, 100, 100)});
    s.surface->orderFront();
    const Rect start = s.surface->frame();
    const QPoint from = layoutPoint(start, {50, 50});
    ASSERT_TRUE(shownWithin([&](const QImage& shot) { return near(shownAt(shot, from), rgb(kAmber)); }));
    const Drag drag = dragFollowing(*s.surface, ports().mouse, from, {20, 0}, 15);
    ASSERT_TRUE(drag.released);
    EXPECT_NEAR(s.surface->frame().minX(), start.minX() + 300, 2.5) << "it did not follow the pointer across";
    EXPECT_NEAR(s.surface->frame().minY(), start.minY(), 2.5);
    const QPoint landed = from + QPoint(300, 0);
    ASSERT_TRUE(layout[1].contains(landed));
    EXPECT_TRUE(shownWithin([&](const QImage& shot) {
        return near(shownAt(shot, landed + QPoint(-35, 35)), rgb(kAmber)) &&
               near(shownAt(shot, landed + QPoint(35, -35)), rgb(kAmber)) &&
               !near(shownAt(shot, from - QPoint(35, 0)), rgb(kAmber));
    })) << "not shown whole on the second output where it was left";
}

TEST_F(Contract, ASurfaceThatMovesUnderARestingPointerTakesTheNextPressWhileTicksGoOnAndAfterTheyStop) {
    Solid& s = solid(onOutput(0, 200, 500, 100, 100), kMagenta);
    s.surface->setInteractiveRegion({Rect::make(10, 10, 80, 80)});
    s.surface->orderFront();
    Heard heard;
    const auto listening = listen(*s.surface, ports().mouse, heard);
    const Rect start = s.surface->frame();
    // The pointer rests on the bare desktop to the right of the surface.
    const QPoint rest = layoutPoint(start, {50 + 300, 50});
    desktop().movePointer(rest);
    pause(0.3);
    // It swims there in motion steps, as fish do, and the steps go on
    // while it is pressed: the tank never stops stepping while fish swim.
    auto& scheduler = ports().scheduler;
    int step = 0;
    // Cancelled however the test ends: its steps move this test's surface.
    struct Ticking {
        Scheduler& scheduler;
        int handle;
        ~Ticking() { stop(); }
        void stop() { scheduler.cancel(std::exchange(handle, 0)); }
    } ticking{scheduler, scheduler.scheduleRepeating(1.0 / 30, 0, [&] {
                  if (step >= 30) return;
                  ++step;
                  s.surface->setOrigin({start.minX() + 10 * step, start.minY()});
              })};
    ASSERT_TRUE(spinUntil([&] { return step >= 30; }));
    pause(0.3);
    desktop().press();
    desktop().release();
    EXPECT_TRUE(spinUntil([&] { return heard.surface.size() >= 2; }))
        << "the press under the resting pointer was lost";
    // The pointer goes away while the steps go on, and then they stop: a
    // press that comes after is still heard.
    desktop().movePointer(rest + QPoint(300, 0));
    pause(0.3);
    ticking.stop();
    pause(0.3);
    const size_t before = heard.surface.size();
    desktop().movePointer(rest);
    pause(0.2);
    desktop().press();
    desktop().release();
    EXPECT_TRUE(spinUntil([&] { return heard.surface.size() >= before + 2; }))
        << "a press after the steps stopped was lost";
}
