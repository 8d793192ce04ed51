// The Qt/X11 backend against a real X server: displays and their numbers,
// fish windows as the window system sees them, the canvas's pixels, timers.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QImage>
#include <QPainter>
#include <QRasterWindow>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstring>
#include <optional>
#include <set>

#include <unistd.h>

#include "desktop/coordinates.h"
#include "desktop/gio_workspace.h"
#include "desktop/services.h"
#include "render/bitmaps.h"
#include "render/canvas.h"
#include "support/backend_support.h"
#include "x11/accessibility.h"
#include "x11/connection.h"
#include "x11/displays.h"
#include "x11/mouse.h"
#include "x11/surfaces.h"
#include "x11/windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

using namespace orvella;
using namespace orvella::desktop;
using namespace orvella::render;
using namespace orvella::x11;
using namespace orvella::testing;

namespace {

XWindowAttributes attributes(unsigned long id) {
    XWindowAttributes attrs{};
    XGetWindowAttributes(x11Display(), id, &attrs);
    return attrs;
}

std::vector<Window> rootChildren() {
    Display* dpy = x11Display();
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &n);
    std::vector<Window> out(children, children + n);
    if (children) XFree(children);
    return out;
}

QRgb pixelAtYUp(const QImage& img, int x, int y) { return img.pixel(x, img.height() - 1 - y); }

}  // namespace

TEST(Displays, OneScreenHasItsFrameAndTheRandrOutputNumber) {
    X11Displays displays;
    auto screens = displays.screens();
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].frame, Rect::make(0, 0, 1440, 900));
    EXPECT_EQ(screens[0].visibleFrame, Rect::make(0, 0, 1440, 900));
    EXPECT_TRUE(screens[0].number.has_value());
    EXPECT_EQ(displays.mainScreen(), screens[0]);
}

TEST(Displays, MonitorsAreReportedPrimaryFirstWithOneCoalescedNotification) {
    X11Displays displays;
    int notifications = 0;
    displays.addChangeObserver([&] { ++notifications; });
    ASSERT_EQ(run("xrandr --setmonitor L 720/190x900/238+0+0 screen"), 0);
    ASSERT_EQ(run("xrandr --setmonitor R 720/190x900/238+720+0 none"), 0);
    ASSERT_TRUE(spinUntil([&] { return displays.screens().size() == 2; }));
    spinUntil([] { return false; }, 0.3);
    auto screens = displays.screens();
    EXPECT_EQ(screens[0].frame, Rect::make(0, 0, 720, 900));
    EXPECT_TRUE(screens[0].number.has_value());
    EXPECT_EQ(screens[1].frame, Rect::make(720, 0, 720, 900));
    EXPECT_FALSE(screens[1].number.has_value());  // a monitor without an output
    EXPECT_GE(notifications, 1);
    EXPECT_LE(notifications, 2);

    run("xrandr --delmonitor R");
    run("xrandr --delmonitor L");
    EXPECT_TRUE(spinUntil([&] { return displays.screens().size() == 1; }));
}

TEST(Coordinates, DesktopPointsAreYUpFromThePrimaryBottomLeft) {
    EXPECT_EQ(toDesktop(QPointF(10, 20)), (Point{10, 880}));
    EXPECT_EQ(toDesktop(QRectF(100, 50, 112, 112)), Rect::make(100, 900 - 50 - 112, 112, 112));
    EXPECT_EQ(toScreen(Rect::make(100, 738, 112, 112)), QRectF(100, 50, 112, 112));
    EXPECT_EQ(toScreen(Point{10, 880}), QPointF(10, 20));
}

TEST(Pointer, MouseLocationIsInDesktopPoints) {
    Display* dpy = x11Display();
    XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, 100, 200);
    XSync(dpy, False);
    X11Mouse mouse;
    EXPECT_EQ(mouse.mouseLocation(), (Point{100, 700}));
    ASSERT_TRUE(mouse.watchesMotion());
    std::vector<MouseEvent> events;
    mouse.addGlobalMonitor([&](const MouseEvent& e) { events.push_back(e); });
    run("xdotool mousemove 300 400");
    // A warp makes no raw motion: the quiet-pointer poll finds it.
    ASSERT_TRUE(spinUntil([&] {
        mouse.pollIfQuiet();
        return !events.empty() && events.back().location == Point{300, 500};
    }));
    EXPECT_EQ(events.back().type, MouseEvent::Type::mouseMoved);
    EXPECT_TRUE(X11Accessibility().isProcessTrusted());
}

TEST(Pointer, PressesOnOwnWindowsAreTheLocalMonitorsOnlyWithOrWithoutXInput) {
    for (const bool xinput : {true, false}) {
        SCOPED_TRACE(xinput ? "with XInput2" : "without XInput2");
        X11Mouse mouse(xinput);
        std::vector<MouseEvent> local, global;
        mouse.addLocalMonitor([&](const MouseEvent& e) { local.push_back(e); });
        mouse.addGlobalMonitor([&](const MouseEvent& e) {
            if (e.type == MouseEvent::Type::leftMouseDown) global.push_back(e);
        });
        QRasterWindow own;
        own.setGeometry(200, 200, 100, 100);
        own.show();
        ASSERT_TRUE(spinUntil([&] { return own.isExposed(); }));
        run("xdotool mousemove 250 260 click 1");
        ASSERT_TRUE(spinUntil([&] { return !local.empty(); }));
        EXPECT_EQ(local[0].type, MouseEvent::Type::leftMouseDown);
        EXPECT_EQ(local[0].location, (Point{250, 640}));
        // A right click on it is no left press.
        run("xdotool click 3");
        spinUntil([] { return false; }, 0.4);
        EXPECT_EQ(local.size(), 1u);
        EXPECT_TRUE(global.empty()) << "a press on our own window is handled once";
        // The bare desktop beside it is the global monitor's, where there is one.
        run("xdotool mousemove 600 600 click 1");
        if (xinput) {
            ASSERT_TRUE(spinUntil([&] { return !global.empty(); }));
            EXPECT_EQ(global[0].location, (Point{600, 300}));
        }
        EXPECT_EQ(local.size(), 1u);
    }
}

struct SurfaceTest : ::testing::Test {
    X11Surfaces factory;
    int draws = 0;
    double drawnAlpha = -1;
    std::shared_ptr<Surface> make(SurfaceKind kind = SurfaceKind::fish) {
        return factory.createSurface(kind, Rect::make(0, 0, 112, 112), "Orvella fish: Test", [this](Canvas& c) {
            ++draws;
            c.setFillColor({1, 0, 0, 1});
            c.fillRect(Rect::make(0, 0, 112, 112), CompositeOp::sourceOver);
        });
    }
    unsigned long idOf(const std::shared_ptr<Surface>& s) { return dynamic_cast<X11Surface&>(*s).windowID(); }
    std::vector<XRectangle> inputShape(unsigned long id) {
        int count = 0, ordering = 0;
        XRectangle* rects = XShapeGetRectangles(x11Display(), id, ShapeInput, &count, &ordering);
        std::vector<XRectangle> out(rects, rects + count);
        if (rects) XFree(rects);
        return out;
    }
};

TEST_F(SurfaceTest, FishWindowIsATranslucentOverrideRedirectWindowWhereItIsPlaced) {
    auto s = make();
    s->setOrigin({100, 200});
    s->orderFront();
    const auto id = idOf(s);
    ASSERT_TRUE(spinUntil([&] { return attributes(id).map_state == IsViewable && draws > 0; }));
    const auto attrs = attributes(id);
    EXPECT_TRUE(attrs.override_redirect);
    EXPECT_EQ(attrs.depth, 32);
    EXPECT_EQ(attrs.width, 112);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(x11Display(), id, DefaultRootWindow(x11Display()), 0, 0, &x, &y, &child);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 900 - 200 - 112);

    XClassHint hint{};
    ASSERT_TRUE(XGetClassHint(x11Display(), id, &hint));
    EXPECT_STREQ(hint.res_name, "orvella");
    XFree(hint.res_name);
    XFree(hint.res_class);
    char* name = nullptr;
    ASSERT_TRUE(XFetchName(x11Display(), id, &name));
    EXPECT_STREQ(name, "Orvella fish: Test");
    XFree(name);

    const int before = draws;
    s->setAlpha(0.4);
    EXPECT_TRUE(spinUntil([&] { return draws > before; }));
    s->orderOut();
    EXPECT_TRUE(spinUntil([&] { return attributes(id).map_state != IsViewable; }));
    EXPECT_FALSE(s->isVisible());
}

TEST_F(SurfaceTest, OnlyTheInteractiveRegionTakesTheMouse) {
    auto s = make();
    s->orderFront();
    const auto id = idOf(s);
    s->setInteractiveRegion({Rect::make(21, 21, 70, 70), Rect::make(95.5, 95, 10, 10)});
    auto shape = inputShape(id);
    ASSERT_EQ(shape.size(), 2u);
    std::set<std::tuple<int, int, int, int>> got;
    for (auto& r : shape) got.insert({r.x, r.y, r.width, r.height});
    // y flips: (21, 21, 70, 70) stays; (95.5, 95, 10, 10) grows to whole
    // pixels, x 95...106, X rows 7...17.
    EXPECT_TRUE(got.count({21, 21, 70, 70}));
    EXPECT_TRUE(got.count({95, 7, 11, 10}));

    s->setIgnoresMouseEvents(true);
    EXPECT_TRUE(inputShape(id).empty());
    s->setIgnoresMouseEvents(false);
    EXPECT_EQ(inputShape(id).size(), 2u);

    auto badge = make(SurfaceKind::badge);
    EXPECT_TRUE(badge->ignoresMouseEvents());
    EXPECT_TRUE(inputShape(idOf(badge)).empty());
}

TEST_F(SurfaceTest, ClosedSurfaceIsGoneFromTheServerAndDrawsNoMore) {
    auto s = make();
    s->orderFront();
    const auto id = idOf(s);
    ASSERT_TRUE(spinUntil([&] { return attributes(id).map_state == IsViewable; }));
    s->close();
    XSync(x11Display(), False);
    auto children = rootChildren();
    EXPECT_EQ(std::find(children.begin(), children.end(), id), children.end());
    const int before = draws;
    s->setNeedsDisplay();
    s->setOrigin({5, 5});
    spinUntil([] { return false; }, 0.1);
    EXPECT_EQ(draws, before);
    EXPECT_TRUE(s->isClosed());
}

TEST_F(SurfaceTest, DrawnPixelsReachTheScreenAndMovesAndResizesAreFollowed) {
    auto s = make();
    s->setOrigin({300, 300});
    s->orderFront();
    const auto id = idOf(s);
    ASSERT_TRUE(spinUntil([&] { return attributes(id).map_state == IsViewable && draws > 0; }));
    Display* dpy = x11Display();
    auto screenPixel = [&](int x, int y) {
        XSync(dpy, False);
        XImage* image = XGetImage(dpy, DefaultRootWindow(dpy), x, y, 1, 1, AllPlanes, ZPixmap);
        const unsigned long p = image ? XGetPixel(image, 0, 0) & 0xffffff : 0;
        if (image) XDestroyImage(image);
        return p;
    };
    // Uploaded through shared memory: the red fill is on the screen.
    EXPECT_TRUE(spinUntil([&] { return screenPixel(356, 900 - 300 - 56) == 0xff0000; }));

    // Many moves in a row, as motion steps make them; the window ends up at
    // the last place and still draws there.
    for (int i = 1; i <= 40; ++i) s->setOrigin({300.0 + 5 * i, 300});
    EXPECT_TRUE(spinUntil([&] {
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(dpy, id, DefaultRootWindow(dpy), 0, 0, &x, &y, &child);
        return x == 500 && y == 900 - 300 - 112;
    }));
    const int before = draws;
    s->setNeedsDisplay();
    EXPECT_TRUE(spinUntil([&] { return draws > before; }));
    EXPECT_TRUE(spinUntil([&] { return screenPixel(556, 900 - 300 - 56) == 0xff0000; }));

    // A new size still reaches Qt: the window is drawn again at that size,
    // its bottom rows (y up, the fill's) included.
    s->setContentSize({150, 150});
    EXPECT_TRUE(spinUntil([&] { return attributes(id).width == 150; }));
    EXPECT_TRUE(spinUntil([&] { return screenPixel(600, 900 - 300 - 5) == 0xff0000; }));
    EXPECT_NE(screenPixel(600, 900 - 300 - 140), 0xff0000u);
}

TEST_F(SurfaceTest, AFrameIsFadedAsAWholeSoAnOpaquePartHidesWhatLiesBeneath) {
    // A compositor runs (we hold its selection): windows are translucent.
    Display* dpy = x11Display();
    const Window holder = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    const Atom cm = XInternAtom(dpy, "_NET_WM_CM_S0", False);
    XSetSelectionOwner(dpy, cm, holder, CurrentTime);
    XSync(dpy, False);
    factory.checkCompositor();
    ASSERT_TRUE(factory.isComposited());
    int frames = 0;
    auto s = factory.createSurface(SurfaceKind::fish, Rect::make(0, 0, 112, 112), "Orvella fish: Fade",
                                   [&](Canvas& c) {
                                       ++frames;
                                       c.setFrameAlpha(0.8);
                                       // A translucent tail, and an opaque icon over part of it.
                                       c.setFillColor({1, 0, 0, 0.5});
                                       c.fillRect(Rect::make(0, 0, 112, 112), CompositeOp::sourceOver);
                                       c.setFillColor({0, 0, 1, 1});
                                       c.fillRect(Rect::make(20, 20, 72, 72), CompositeOp::sourceOver);
                                   });
    s->setAlpha(0.5);
    s->setOrigin({400, 300});
    s->orderFront();
    const auto id = idOf(s);
    ASSERT_TRUE(spinUntil([&] { return attributes(id).map_state == IsViewable && frames > 0; }));
    auto windowPixel = [&](int x, int y) {
        XSync(dpy, False);
        XImage* image = XGetImage(dpy, id, x, y, 1, 1, AllPlanes, ZPixmap);
        const unsigned long p = image ? XGetPixel(image, 0, 0) : 0;
        if (image) XDestroyImage(image);
        return p;
    };
    spinUntil([] { return false; }, 0.2);
    // Premultiplied ARGB: the icon is exactly its colour times 0.5 x 0.8,
    // with nothing of the red beneath; the tail alone is faded the same.
    const unsigned long icon = windowPixel(56, 56);
    EXPECT_NEAR((icon >> 24) & 0xff, 102, 1);
    EXPECT_EQ((icon >> 16) & 0xff, 0u) << std::hex << icon;
    EXPECT_NEAR(icon & 0xff, 102, 1);
    const unsigned long tail = windowPixel(5, 5);
    EXPECT_NEAR((tail >> 24) & 0xff, 51, 1);
    EXPECT_NEAR((tail >> 16) & 0xff, 51, 1);
    EXPECT_EQ(tail & 0xff, 0u);

    XSetSelectionOwner(dpy, cm, None, CurrentTime);
    XDestroyWindow(dpy, holder);
    XSync(dpy, False);
    factory.checkCompositor();
}

TEST_F(SurfaceTest, WithoutACompositorAFaintTailIsDitheredIntoTheShapeAtItsTint) {
    factory.checkCompositor();
    ASSERT_FALSE(factory.isComposited());
    int frames = 0;
    const Color tint{0.06, 0.76, 1.0, 1};
    auto s = factory.createSurface(SurfaceKind::fish, Rect::make(0, 0, 112, 112), "Orvella fish: Dither",
                                   [&](Canvas& c) {
                                       ++frames;
                                       // A tail at a quarter strength on the left, an opaque icon on the right.
                                       c.setFillColor(tint.withAlpha(0.25));
                                       c.fillRect(Rect::make(0, 0, 48, 112), CompositeOp::sourceOver);
                                       c.setFillColor({1, 1, 1, 1});
                                       c.fillRect(Rect::make(64, 0, 48, 112), CompositeOp::sourceOver);
                                   });
    s->setOrigin({200, 300});
    s->orderFront();
    const auto id = idOf(s);
    ASSERT_TRUE(spinUntil([&] { return attributes(id).map_state == IsViewable && frames > 0; }));
    spinUntil([] { return false; }, 0.2);
    Display* dpy = x11Display();
    XSync(dpy, False);
    int count = 0, ordering = 0;
    XRectangle* rects = XShapeGetRectangles(dpy, id, ShapeBounding, &count, &ordering);
    long tailPixels = 0, iconPixels = 0;
    std::optional<std::pair<int, int>> tailPixel;
    for (int i = 0; i < count; ++i) {
        const XRectangle& r = rects[i];
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x; x < r.x + r.width; ++x) {
                if (x < 48) {
                    ++tailPixels;
                    if (!tailPixel) tailPixel = {x, y};
                }
                if (x >= 64) ++iconPixels;
            }
    }
    if (rects) XFree(rects);
    // A quarter of the tail is in (4 of every 16 pixels), all of the icon.
    EXPECT_EQ(tailPixels, 48 * 112 / 4);
    EXPECT_EQ(iconPixels, 48 * 112);
    ASSERT_TRUE(tailPixel);
    // A tail pixel that is in shows the tint itself (less what a quarter
    // coverage keeps of its precision).
    XImage* image = XGetImage(dpy, id, tailPixel->first, tailPixel->second, 1, 1, AllPlanes, ZPixmap);
    ASSERT_TRUE(image);
    const unsigned long p = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    EXPECT_NEAR((p >> 16) & 0xff, 15, 4);
    EXPECT_NEAR((p >> 8) & 0xff, 194, 4);
    EXPECT_NEAR(p & 0xff, 255, 4);
}

TEST_F(SurfaceTest, ABatchDrawsAndSendsEverythingAtItsEnd) {
    auto s = make();
    s->orderFront();
    const auto id = idOf(s);
    ASSERT_TRUE(spinUntil([&] { return attributes(id).map_state == IsViewable && draws > 0; }));
    const int before = draws;
    factory.beginBatch();
    factory.beginBatch();  // batches nest
    s->setOrigin({200, 100});
    s->setNeedsDisplay();
    s->setNeedsDisplay();
    QCoreApplication::processEvents();
    EXPECT_EQ(draws, before);  // held back
    factory.endBatch();
    EXPECT_EQ(draws, before);
    factory.endBatch();
    EXPECT_EQ(draws, before + 1);  // at once, and only once
    // Sent without waiting for the event loop.
    XSync(x11Display(), False);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(x11Display(), id, DefaultRootWindow(x11Display()), 0, 0, &x, &y, &child);
    EXPECT_EQ(x, 200);
    EXPECT_EQ(y, 900 - 100 - 112);
    factory.endBatch();  // one too many changes nothing
    s->setNeedsDisplay();
    EXPECT_TRUE(spinUntil([&] { return draws == before + 2; }));
}

TEST_F(SurfaceTest, SurfacesRiseAgainWhenTheActiveWindowChanges) {
    auto s = make();
    s->orderFront();
    const auto id = idOf(s);
    ASSERT_TRUE(spinUntil([&] { return attributes(id).map_state == IsViewable; }));
    Display* dpy = x11Display();
    XSetWindowAttributes a{};
    a.override_redirect = True;
    Window other = XCreateWindow(dpy, DefaultRootWindow(dpy), 0, 0, 50, 50, 0, CopyFromParent, InputOutput,
                                 CopyFromParent, CWOverrideRedirect, &a);
    XMapRaised(dpy, other);
    XSync(dpy, False);
    auto above = [&] {
        auto c = rootChildren();
        auto us = std::find(c.begin(), c.end(), id), them = std::find(c.begin(), c.end(), other);
        return us != c.end() && them != c.end() && us > them;
    };
    ASSERT_FALSE(above());
    Atom active = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False);
    XChangeProperty(dpy, DefaultRootWindow(dpy), active, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&other), 1);
    XFlush(dpy);
    EXPECT_TRUE(spinUntil(above));
    XDestroyWindow(dpy, other);
    XSync(dpy, False);
}

// Plays the window manager's part: a client inside a decorated frame, its
// extents and pid announced, and the root's active-window property.
TEST(FrontWindow, TheActiveWindowIsReadWithItsDecorationsAndOwner) {
    Display* dpy = x11Display();
    const Window root = DefaultRootWindow(dpy);
    XSetWindowAttributes a{};
    a.override_redirect = True;
    Window frame = XCreateWindow(dpy, root, 200, 100, 410, 330, 0, CopyFromParent, InputOutput, CopyFromParent,
                                 CWOverrideRedirect, &a);
    Window client = XCreateSimpleWindow(dpy, frame, 5, 25, 400, 300, 0, 0, 0);
    XClassHint hint{const_cast<char*>("editor"), const_cast<char*>("Editor")};
    XSetClassHint(dpy, client, &hint);
    long extents[4] = {5, 5, 25, 5};
    XChangeProperty(dpy, client, XInternAtom(dpy, "_NET_FRAME_EXTENTS", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(extents), 4);
    long pid = 4321;
    XChangeProperty(dpy, client, XInternAtom(dpy, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pid), 1);
    const char* title = "Notes \xe2\x80\x94 draft";
    XChangeProperty(dpy, client, XInternAtom(dpy, "_NET_WM_NAME", False), XInternAtom(dpy, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(title), static_cast<int>(strlen(title)));
    XMapWindow(dpy, client);
    XMapWindow(dpy, frame);
    const Atom active = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False);
    auto setActive = [&](Window w) {
        XChangeProperty(dpy, root, active, XA_WINDOW, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&w), 1);
        XSync(dpy, False);
    };
    setActive(client);

    X11Accessibility access;
    auto front = access.frontWindow();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->topLeftPosition, (Point{200, 100}));
    EXPECT_EQ(front->size, (Size{410, 330}));
    EXPECT_EQ(front->processID, 4321);
    EXPECT_EQ(front->bundleIdentifier, "editor");
    EXPECT_EQ(front->title, title);

    // Our own window in front is reported as ours.
    long own = getpid();
    XChangeProperty(dpy, client, XInternAtom(dpy, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&own), 1);
    XSync(dpy, False);
    X11WindowList windows;
    GioWorkspace workspace(&windows);
    auto app = workspace.frontmostApplication();
    ASSERT_TRUE(app);
    EXPECT_EQ(app->bundleIdentifier, workspace.mainBundleIdentifier());

    // The window closes while it is still named active: nothing, quietly.
    XDestroyWindow(dpy, frame);
    XSync(dpy, False);
    EXPECT_FALSE(access.frontWindow());
    setActive(None);
    EXPECT_FALSE(access.frontWindow());
    EXPECT_FALSE(workspace.frontmostApplication());
}

TEST(Canvas, DrawsWithYUpAndKeepsImagesUpright) {
    QImage out(20, 20, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QImage source(10, 10, QImage::Format_ARGB32_Premultiplied);
    source.fill(Qt::blue);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 10; ++x) source.setPixel(x, y, qRgb(255, 0, 0));  // top rows red
    QtImage image(source, {10, 10});
    {
        QPainter p(&out);
        QtCanvas c(p, 20);
        c.setFillColor({0, 1, 0, 1});
        c.fillRect(Rect::make(0, 0, 20, 4), CompositeOp::sourceOver);  // along the bottom
        c.drawImage(image, Rect::make(0, 10, 10, 10), CompositeOp::sourceOver, 1.0);  // upper left
    }
    EXPECT_EQ(pixelAtYUp(out, 10, 1), qRgb(0, 255, 0));
    EXPECT_EQ(qAlpha(pixelAtYUp(out, 10, 6)), 0);
    EXPECT_EQ(pixelAtYUp(out, 5, 18), qRgb(255, 0, 0));  // image's top at the top
    EXPECT_EQ(pixelAtYUp(out, 5, 11), qRgb(0, 0, 255));
}

TEST(Canvas, RoundedRectsGlobalAlphaAndShadows) {
    QImage out(40, 40, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    {
        QPainter p(&out);
        QtCanvas c(p, 40);
        Path rounded;
        rounded.addRoundedRect(Rect::make(0, 0, 20, 20), 8);
        c.setFillColor({1, 1, 1, 1});
        c.fillPath(rounded, FillRule::nonZero);
        c.save();
        c.setGlobalAlpha(0.5);
        c.fillRect(Rect::make(30, 30, 10, 10), CompositeOp::sourceOver);
        c.restore();
        c.save();
        c.setShadow({0, -6}, 2, {0, 0, 0, 1});  // shadow 6 points below
        c.fillRect(Rect::make(24, 14, 10, 6), CompositeOp::sourceOver);
        c.restore();
        c.fillRect(Rect::make(0, 30, 4, 4), CompositeOp::sourceOver);  // no shadow after restore
    }
    EXPECT_EQ(qAlpha(pixelAtYUp(out, 0, 0)), 0);   // corner cut away
    EXPECT_EQ(qAlpha(pixelAtYUp(out, 10, 10)), 255);
    EXPECT_EQ(qAlpha(pixelAtYUp(out, 1, 10)), 255);  // straight side
    EXPECT_NEAR(qAlpha(pixelAtYUp(out, 35, 35)), 128, 2);
    EXPECT_EQ(pixelAtYUp(out, 29, 17), qRgb(255, 255, 255));
    const QRgb shadow = pixelAtYUp(out, 29, 10);
    EXPECT_GT(qAlpha(shadow), 100);
    EXPECT_LT(qRed(shadow), 40);
    EXPECT_EQ(qAlpha(pixelAtYUp(out, 2, 27)), 0);
}

TEST(Canvas, AKeptLayerLooksAsIfDrawnDirectlyAndIsDrawnOncePerKey) {
    int drawn = 0;
    auto plate = [&](Canvas& c) {
        ++drawn;
        Path rounded;
        rounded.addRoundedRect(Rect::make(10, 10, 30, 30), 8);
        c.setFillColor({0.2, 0.5, 1, 0.8});
        c.fillPath(rounded, FillRule::nonZero);
        c.setStrokeColor({1, 1, 1, 0.5});
        c.setLineWidth(1.5);
        c.strokePath(rounded);
    };
    double alpha = 1;
    auto render = [&](bool kept, CanvasLayer& layer, qreal dpr) {
        QImage out(QSize(50, 50) * dpr, QImage::Format_ARGB32_Premultiplied);
        out.setDevicePixelRatio(dpr);
        out.fill(Qt::transparent);
        QPainter p(&out);
        QtCanvas c(p, 50, alpha);
        c.setFillColor({0, 0, 0, 1});
        c.fillRect(Rect::make(0, 0, 25, 50), CompositeOp::sourceOver);
        c.save();
        c.setGlobalAlpha(alpha);
        if (kept) c.drawLayer(layer, Rect::make(8, 8, 34, 34), plate);
        else plate(c);
        c.restore();
        return out;
    };
    auto worstDifference = [](const QImage& a, const QImage& b) {
        int worst = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
                worst = std::max({worst, std::abs(qAlpha(p) - qAlpha(q)), std::abs(qRed(p) - qRed(q)),
                                  std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
            }
        return worst;
    };
    CanvasLayer unused, opaque;
    EXPECT_LE(worstDifference(render(false, unused, 1), render(true, opaque, 1)), 1);

    // At partial alpha the group is put down as a whole: where nothing
    // overlaps within it, it matches drawing each part at that alpha.
    alpha = 0.75;
    CanvasLayer layer;
    const QImage direct = render(false, unused, 1);
    const QImage first = render(true, layer, 1);
    for (auto [x, y] : {std::pair{25, 25}, std::pair{15, 30}, std::pair{30, 15}, std::pair{5, 5}, std::pair{45, 45}})
        EXPECT_LE(worstDifference(direct.copy(x, y, 1, 1), first.copy(x, y, 1, 1)), 2) << x << "," << y;
    EXPECT_GT(qAlpha(first.pixel(25, 25)), 100);
    const int once = drawn;

    render(true, layer, 1);
    EXPECT_EQ(drawn, once);  // kept
    EXPECT_EQ(render(true, layer, 1), first);
    layer.key = {1.5};
    render(true, layer, 1);
    EXPECT_EQ(drawn, once + 1);  // a new key draws anew
    const QImage sharp = render(true, layer, 2);
    EXPECT_EQ(drawn, once + 2);  // so does another pixel density
    // At two pixels per point the rounded corner is as fine as the device.
    EXPECT_EQ(qAlpha(sharp.pixel(23, 23)), qAlpha(render(false, unused, 2).pixel(23, 23)));
}

TEST(Canvas, BitmapsHaveTwoPixelsPerPoint) {
    QtBitmaps bitmaps;
    auto image = bitmaps.makeBitmap(144, 144, {72, 72}, [](Canvas& c) {
        c.setFillColor({1, 0, 0, 1});
        c.fillRect(Rect::make(0, 0, 72, 36), CompositeOp::sourceOver);
    });
    auto* q = dynamic_cast<QtImage*>(image.get());
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->size(), (Size{72, 72}));
    EXPECT_EQ(q->image().width(), 144);
    EXPECT_EQ(q->image().pixel(70, 140), qRgb(255, 0, 0));  // bottom half
    EXPECT_EQ(qAlpha(q->image().pixel(70, 3)), 0);
    EXPECT_EQ(bitmaps.resized(image, {10, 10})->size(), (Size{10, 10}));
}

TEST(Services, AGatedTimerRunsOnlyTheFiringsThatActAndHearsTheGateOpenBeforeItSleeps) {
    using Clock = std::chrono::steady_clock;
    using std::chrono::milliseconds;
    QtScheduler scheduler;
    std::vector<Clock::time_point> acted;
    int calls = 0;
    bool open = true;
    // Acts on firings 45 ms or more after it last acted: one in three of a
    // 60 Hz grid. The others should never run.
    auto acts = [&](double in) {
        const auto at = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(in));
        return open && (acted.empty() || at - acted.back() >= milliseconds(45));
    };
    const int timer = scheduler.scheduleGatedRepeating(1.0 / 60.0, 0.005, [&] {
        ++calls;
        if (acts(0)) acted.push_back(Clock::now());
    }, acts);
    spinUntil([] { return false; }, 0.6);
    EXPECT_GE(acted.size(), 6u);
    EXPECT_LE(calls, static_cast<int>(acted.size()) + 2) << "firings that would not act ran";
    for (size_t i = 1; i < acted.size(); ++i) EXPECT_GE(acted[i] - acted[i - 1], milliseconds(40));

    // Shut, it looks only a second ahead; opened by work done meanwhile, it
    // fires on the next firing of the grid, not a second later.
    open = false;
    spinUntil([] { return false; }, 0.1);
    const size_t before = acted.size();
    Clock::time_point opened;
    QTimer::singleShot(50, [&] {
        open = true;
        opened = Clock::now();
    });
    EXPECT_TRUE(spinUntil([&] { return acted.size() > before; }, 2));
    ASSERT_GT(acted.size(), before);
    EXPECT_LT(acted[before] - opened, milliseconds(150));
    scheduler.cancel(timer);
}

TEST(Services, TimersAnimationsDispatchClockAndRandom) {
    QtScheduler scheduler;
    int ticks = 0;
    const int timer = scheduler.scheduleRepeating(1.0 / 60.0, 0.005, [&] { ++ticks; });
    EXPECT_TRUE(spinUntil([&] { return ticks >= 5; }, 2));
    scheduler.cancel(timer);
    const int stopped = ticks;
    spinUntil([] { return false; }, 0.1);
    EXPECT_EQ(ticks, stopped);

    std::vector<double> values;
    int completions = 0;
    scheduler.animate(0, 1, 0.1, [&](double v) { values.push_back(v); }, [&] { ++completions; });
    EXPECT_TRUE(spinUntil([&] { return completions == 1; }, 2));
    ASSERT_FALSE(values.empty());
    EXPECT_DOUBLE_EQ(values.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));

    bool dispatched = false;
    scheduler.dispatchMain([&] { dispatched = true; });
    EXPECT_FALSE(dispatched);
    EXPECT_TRUE(spinUntil([&] { return dispatched; }));

    EXPECT_NEAR(SystemClock().now(), static_cast<double>(std::time(nullptr)) - 978307200.0, 2.0);

    SystemRandom random;
    std::set<std::uint64_t> seen;
    for (int i = 0; i < 1000; ++i) {
        EXPECT_LE(random.nextUnit53(), kTwoPow53);
        seen.insert(random.nextBelow(8));
    }
    EXPECT_EQ(seen.size(), 8u);
    EXPECT_EQ(*seen.rbegin(), 7u);
}
