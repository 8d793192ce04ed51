// The panel's adapter over a controller on the fake desktop, and the real
// settings window (Qt Quick, software renderer) on a private X server,
// driven with real key and mouse events.

#include <gtest/gtest.h>

#include <algorithm>

#include <QQuickItem>
#include <QQuickView>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <mutex>
#include <thread>

#include "support/backend_support.h"
#include "orvella/controller/orvella_controller.h"
#include "orvella/panel/settings_panel.h"
#include "shell/app_picker.h"
#include "shell/panel_adapter.h"
#include "shell/settings_window.h"
#include "shell/shell.h"
#include "support/fake_desktop.h"

using namespace orvella;
using namespace orvella::shell;
using namespace orvella::testing;

namespace {

struct ShellTest : ::testing::Test {
    FakeDesktop desk;
    std::unique_ptr<OrvellaController> controller;
    void SetUp() override {
        // The fake display is the X server's screen, without panels.
        desk.displays.setScreens({FakeDesktop::display(Rect::make(0, 0, 1440, 900), 1, 0)}, false);
        desk.workspace.install("/apps/mail.desktop", "Mail", ApplicationRole::mail);
        desk.workspace.install("/apps/web.desktop", "Web", ApplicationRole::webBrowser);
        desk.mouse.location = {700, 450};
        controller = std::make_unique<OrvellaController>(desk.platform);
        controller->start();
    }
    static QQuickItem* find(QQuickItem* item, const QString& name) {
        if (item->objectName() == name) return item;
        for (QQuickItem* child : item->childItems())
            if (QQuickItem* found = find(child, name)) return found;
        return nullptr;
    }
};

TEST_F(ShellTest, AdapterShowsTheSettingsAndWritesThroughTheController) {
    std::vector<QSizeF> resized;
    PanelAdapter::Actions actions;
    actions.resize = [&](QSizeF s) { resized.push_back(s); };
    PanelAdapter adapter(*controller, actions, nullptr);

    EXPECT_EQ(adapter.opacityLabel(), "42%");
    EXPECT_EQ(adapter.speedLabel(), "1.0x");
    EXPECT_EQ(adapter.tabLabels(), (QStringList{"应用", "外观", "操控", "设置"}));
    EXPECT_EQ(adapter.versionText(), "开发版");
    EXPECT_EQ(adapter.appCount(), 2);

    adapter.setTransparency(0.1);  // the slider's left end
    EXPECT_DOUBLE_EQ(controller->iconOpacity(), 0.9);
    EXPECT_EQ(desk.defaults.values[OrvellaController::kIconOpacityKey], Value(0.9));
    adapter.setSwimSpeed(2.4);
    EXPECT_EQ(adapter.speedLabel(), "2.4x");
    adapter.setFishOpenModifier(1);
    EXPECT_EQ(controller->fishOpenModifier(), FishOpenModifier::doubleClick);
    adapter.setFishOpenModifier(99);  // out of range: nothing
    EXPECT_EQ(controller->fishOpenModifier(), FishOpenModifier::doubleClick);

    // Tabs and the conflict resize the window, on the next turn of the loop.
    adapter.setSelectedTab(2);
    EXPECT_EQ(adapter.panelHeight(), 388);
    spinUntil([&] { return !resized.empty(); });
    ASSERT_EQ(resized.size(), 1u);
    EXPECT_EQ(resized.back(), QSizeF(404, 388));
    QSignalSpy sizeChanges(&adapter, &PanelAdapter::panelSizeChanged);
    adapter.setDispersalModifier(adapter.attractionModifier());
    EXPECT_TRUE(adapter.hasScreenGestureConflict());
    EXPECT_EQ(adapter.panelHeight(), 428);
    EXPECT_EQ(adapter.scrollAreaHeight(), 238);
    EXPECT_GE(sizeChanges.count(), 1);
    spinUntil([&] { return resized.size() == 2; });
    EXPECT_EQ(resized.back(), QSizeF(404, 428));

    // The switches go through the settings' change path.
    adapter.setWindowAvoidanceEnabled(true);
    EXPECT_EQ(desk.defaults.values[OrvellaController::kWindowAvoidanceKey], Value(true));

    // A reading that changes nothing rebuilds no tiles; a count does.
    QSignalSpy appChanges(&adapter, &PanelAdapter::appsChanged);
    controller->unreadBadgeCounts.set({});
    EXPECT_EQ(appChanges.count(), 0);
    controller->unreadBadgeCounts.set({{"/apps/mail.desktop", 150}});
    EXPECT_EQ(appChanges.count(), 1);
    const auto tile = adapter.apps().at(1).toMap();
    EXPECT_EQ(tile["name"].toString(), "Mail");
    EXPECT_EQ(tile["unreadLabel"].toString(), "99+");
    EXPECT_EQ(tile["unreadPadding"].toDouble(), 5);

    adapter.removeApplication("/apps/web.desktop");
    EXPECT_EQ(adapter.appCount(), 1);
    adapter.removeApplication("/apps/nothing.desktop");
    EXPECT_EQ(adapter.appCount(), 1);

    // Refreshing the permission reads the trust again, for both features.
    controller->hasWindowAvoidanceAccessibilityPermission.set(false);
    adapter.refreshUnreadBadgePermission();
    EXPECT_TRUE(adapter.hasWindowAvoidanceAccessibilityPermission());
}

TEST(Picker, IconsAreLookedUpOnTheMainThreadOnly) {
    // A workspace that notes the thread of every icon lookup.
    struct Recording : FakeWorkspace {
        std::mutex m;
        std::vector<std::thread::id> threads;
        std::shared_ptr<Image> iconForFile(const std::string& path) override {
            {
                std::lock_guard lock(m);
                threads.push_back(std::this_thread::get_id());
            }
            return FakeWorkspace::iconForFile(path);
        }
        size_t lookups() {
            std::lock_guard lock(m);
            return threads.size();
        }
    } workspace;
    ApplicationPicker picker(workspace, [](const QStringList&) {});
    picker.open();
    picker.model()->setFolder(QString(ORVELLA_TEST_DATA) + "/applications");
    ASSERT_GT(picker.model()->rowCount(), 3);
    ASSERT_TRUE(spinUntil([&] { return workspace.lookups() >= 3; }, 5));
    spinUntil([] { return false; }, 0.5);  // let the loader finish what it began
    std::lock_guard lock(workspace.m);
    for (const auto& id : workspace.threads) EXPECT_EQ(id, std::this_thread::get_id());
    picker.cancel();
}

TEST_F(ShellTest, SettingsWindowOpensCentredShrinksToItsTabAndIsOneAtATime) {
    SettingsWindow window(*controller, [] { return std::nullopt; }, [] {});
    window.show();
    ASSERT_TRUE(window.isOpen());
    QQuickView* view = window.view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    EXPECT_EQ(view->title(), "Orvella Settings");
    EXPECT_TRUE(view->flags() & Qt::FramelessWindowHint);
    // Created 404 x 460, centred inside the margin; then the first tab's 428,
    // keeping the top edge and the horizontal centre.
    const int top = 450 - 230;
    ASSERT_TRUE(spinUntil([&] { return view->geometry() == QRect(720 - 202, top, 404, 428); }))
        << view->geometry().x() << "," << view->geometry().y() << " " << view->width() << "x" << view->height();

    // Half a point or less: nothing happens.
    window.resize(QSizeF(404.4, 428.4));
    spinUntil([] { return false; }, 0.3);
    EXPECT_EQ(view->geometry(), QRect(720 - 202, top, 404, 428));
    // Taller than the display: as tall as its visible frame less the margins.
    window.resize(QSizeF(404, 2000));
    ASSERT_TRUE(spinUntil([&] { return view->geometry() == QRect(720 - 202, 18, 404, 900 - 36); }));

    // Showing again keeps the one window and its tab, and centres it.
    window.adapter()->setSelectedTab(3);
    window.show();
    EXPECT_EQ(window.view(), view);
    EXPECT_EQ(window.adapter()->selectedTab(), 3);
    ASSERT_TRUE(spinUntil([&] { return view->height() == 396; }));

    // A real click on the "外观" tab switches the panel there.
    QQuickItem* tab = find(view->rootObject(), "tab1");
    ASSERT_NE(tab, nullptr);
    const QPointF at = tab->mapToScene(QPointF(tab->width() / 2, tab->height() / 2));
    QTest::mouseClick(view, Qt::LeftButton, {}, at.toPoint());
    ASSERT_TRUE(spinUntil([&] { return window.adapter() && window.adapter()->selectedTab() == 1; }));
    ASSERT_TRUE(spinUntil([&] { return view->height() == 408; }));

    // Escape closes it; the next one starts on the first tab.
    QTest::keyClick(view, Qt::Key_Escape);
    ASSERT_TRUE(spinUntil([&] { return !window.isOpen(); }));
    window.show();
    ASSERT_TRUE(window.isOpen());
    EXPECT_EQ(window.adapter()->selectedTab(), 0);
    window.close();
}

TEST_F(ShellTest, PanelLooksAsStatedTabsEaseAndTheLastColumnsPillShows) {
    // Six applications, the sixth (last column) with an unread count.
    for (int i = 0; i < 4; ++i) {
        const std::string path = "/apps/extra" + std::to_string(i) + ".desktop";
        desk.workspace.install(path, "Extra " + std::to_string(i));
        controller->addApplication(path);
    }
    ASSERT_EQ(controller->apps.get().size(), 6u);
    controller->unreadBadgeCounts.set({{"/apps/extra3.desktop", 7}});
    SettingsWindow window(*controller, [] { return std::nullopt; }, [] {});
    window.show();
    QQuickView* view = window.view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    QQuickItem* root = view->rootObject();

    // The backdrop has no outline; every card is the window colour at its tint.
    QQuickItem* glass = find(root, "glass");
    ASSERT_NE(glass, nullptr);
    EXPECT_EQ(glass->property("border").value<QObject*>()->property("width").toDouble(), 0);
    std::function<void(QQuickItem*, int&)> cards = [&](QQuickItem* item, int& n) {
        if (item->objectName() == "card") {
            ++n;
            const QColor c = item->property("color").value<QColor>();
            EXPECT_NEAR(c.alphaF(), item->property("tintOpacity").toDouble(), 0.004);
            EXPECT_NEAR(c.redF(), 0.925, 0.004);
            EXPECT_NEAR(c.blueF(), 0.925, 0.004);
        }
        for (QQuickItem* child : item->childItems()) cards(child, n);
    };
    int cardCount = 0;
    cards(root, cardCount);
    EXPECT_GE(cardCount, 8);  // the content, the grid, six tiles, the add button

    // The pill at the sixth tile's corner lies inside the grid's clipped area.
    QQuickItem* grid = find(root, "grid");
    QQuickItem* pill = find(root, "pill-Extra 3");
    ASSERT_TRUE(grid && pill);
    ASSERT_TRUE(pill->isVisible());
    const QRectF inGrid = pill->mapRectToItem(grid, QRectF(0, 0, pill->width(), pill->height()));
    EXPECT_GE(inGrid.left(), 0);
    EXPECT_GE(inGrid.top(), 0);
    EXPECT_LE(inGrid.right(), grid->width());

    // A tab change eases out over 0.16 s: the new tab fades in and the
    // area moves to its height.
    QQuickItem* area = find(root, "tabArea");
    QQuickItem* content = find(root, "tabContent");
    ASSERT_TRUE(area && content);
    ASSERT_TRUE(spinUntil([&] { return area->height() == 238 + 28; }));
    // Every value the animation passes through, however loaded the machine
    // is: an eased change shows values between its ends.
    std::vector<double> opacities, heights;
    QObject::connect(content, &QQuickItem::opacityChanged, [&] { opacities.push_back(content->opacity()); });
    QObject::connect(area, &QQuickItem::heightChanged, [&] { heights.push_back(area->height()); });
    window.adapter()->setSelectedTab(1);
    ASSERT_TRUE(spinUntil([&] { return content->opacity() == 1 && area->height() == 218 + 28; }, 1));
    EXPECT_TRUE(std::any_of(opacities.begin(), opacities.end(), [](double o) { return o > 0 && o < 1; }));
    EXPECT_TRUE(std::any_of(heights.begin(), heights.end(), [](double h) { return h > 218 + 28 && h < 238 + 28; }));
    window.close();
}

TEST_F(ShellTest, RowsSayWhenTheDesktopWithholdsWhatTheyNeed) {
    SettingsWindow window(*controller, [] { return std::nullopt; }, [] {});
    window.show();
    QQuickView* view = window.view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    QQuickItem* root = view->rootObject();
    window.adapter()->setSelectedTab(3);
    QQuickItem* avoidance = find(root, "avoidanceNote");
    ASSERT_NE(avoidance, nullptr);
    ASSERT_TRUE(spinUntil([&] { return find(root, "avoidance")->isVisible(); }));
    EXPECT_FALSE(avoidance->isVisible()) << "X11 gives the focused window: nothing to say";

    // A session that withholds everything, and then says how to get it.
    desk.awareness.set({false, false, false});
    ASSERT_TRUE(spinUntil([&] { return avoidance->isVisible(); }));
    EXPECT_EQ(avoidance->property("text").toString().toStdString(),
              *windowAvoidanceNote({false, false, false}, DesktopRemedy::none));
    window.adapter()->setSelectedTab(2);
    QQuickItem* gestures = find(root, "gestureNote");
    ASSERT_NE(gestures, nullptr);
    ASSERT_TRUE(spinUntil([&] { return gestures->isVisible(); }));
    EXPECT_NE(gestures->property("text").toString().indexOf("orvella --call"), -1);
    desk.awareness.set({false, false, false}, DesktopRemedy::enableGnomeShellExtension);
    ASSERT_TRUE(spinUntil([&] { return gestures->property("text").toString().contains("重新登录"); }));
    desk.awareness.set({true, true, true});
    ASSERT_TRUE(spinUntil([&] { return !gestures->isVisible(); }));
    window.close();
}

TEST_F(ShellTest, TabMovesThroughTheControlsAndSpaceTogglesASwitch) {
    SettingsWindow window(*controller, [] { return std::nullopt; }, [] {});
    window.show();
    QQuickView* view = window.view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    window.adapter()->setSelectedTab(3);
    view->requestActivate();
    ASSERT_TRUE(spinUntil([&] { return view->height() == 396; }));
    QQuickItem* target = find(view->rootObject(), "stillWaterSwitch");
    ASSERT_NE(target, nullptr);
    bool reached = false;
    for (int i = 0; i < 20 && !reached; ++i) {
        QTest::keyClick(view, Qt::Key_Tab);
        reached = target->hasActiveFocus();
    }
    ASSERT_TRUE(reached) << "Tab never reached the still-water switch";
    EXPECT_FALSE(controller->stillWaterModeEnabled());
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_TRUE(spinUntil([&] { return controller->stillWaterModeEnabled(); }));
    window.close();
}

}  // namespace
