// The settings window's placement and the panel's sizes and labels.

#include <gtest/gtest.h>

#include "orvella/panel/settings_panel.h"

using namespace orvella;

namespace {

DisplayInfo screen(Rect frame, Rect visible) { return {frame, visible, std::nullopt}; }

TEST(SettingsPanel, TabsHaveTheirLabelsAndHeightsAndTheConflictGrowsTheControlsTab) {
    std::vector<std::string> labels;
    for (auto tab : allSettingsTabs) labels.push_back(label(tab));
    EXPECT_EQ(labels, (std::vector<std::string>{"应用", "外观", "操控", "设置"}));
    EXPECT_EQ(panelHeight(SettingsTab::apps, false), 428);
    EXPECT_EQ(panelHeight(SettingsTab::appearance, true), 408);
    EXPECT_EQ(panelHeight(SettingsTab::controls, false), 388);
    EXPECT_EQ(panelHeight(SettingsTab::controls, true), 428);
    EXPECT_EQ(panelHeight(SettingsTab::settings, false), 396);
    EXPECT_EQ(scrollAreaHeight(SettingsTab::apps, false), 238);
    EXPECT_EQ(scrollAreaHeight(SettingsTab::controls, false), 198);
    EXPECT_EQ(scrollAreaHeight(SettingsTab::controls, true), 238);
    EXPECT_EQ(scrollAreaHeight(SettingsTab::settings, false), 206);
}

TEST(SettingsPanel, LabelsForVersionValuesAndPills) {
    EXPECT_EQ(appVersionDisplay(std::nullopt, std::string("7")), "开发版");
    EXPECT_EQ(appVersionDisplay(std::string("1.2"), std::nullopt), "v1.2");
    EXPECT_EQ(appVersionDisplay(std::string("1.2"), std::string("34")), "v1.2 (34)");
    EXPECT_EQ(opacityValueLabel(0.58), "42%");
    EXPECT_EQ(opacityValueLabel(0.9), "10%");
    EXPECT_EQ(opacityValueLabel(0.125), "88%");  // 87.5 rounds away from zero
    EXPECT_EQ(speedValueLabel(1.0), "1.0x");
    EXPECT_EQ(speedValueLabel(2.35), "2.4x");
    EXPECT_EQ(unreadPillLabel(0), "");
    EXPECT_EQ(unreadPillLabel(7), "7");
    EXPECT_EQ(unreadPillLabel(42), "42");
    EXPECT_EQ(unreadPillLabel(150), "99+");
    EXPECT_EQ(unreadPillPadding(7), 0);
    EXPECT_EQ(unreadPillPadding(42), 5);
}

TEST(SettingsPanel, RowsSayWhatTheDesktopWithholdsAndWhatBringsIt) {
    const DesktopAbilities all{true, true, true}, none{false, false, false};
    EXPECT_FALSE(windowAvoidanceNote(all, DesktopRemedy::none));
    EXPECT_FALSE(screenGestureNote(all, DesktopRemedy::none));
    // Nothing to enable: the gesture note points at the menu and the commands.
    const auto gestures = screenGestureNote(none, DesktopRemedy::none);
    ASSERT_TRUE(gestures);
    EXPECT_NE(gestures->find("orvella --call"), std::string::npos);
    ASSERT_TRUE(windowAvoidanceNote(none, DesktopRemedy::none));
    // On GNOME Shell both say how to turn the extension on.
    for (const auto& note : {windowAvoidanceNote(none, DesktopRemedy::enableGnomeShellExtension),
                             screenGestureNote(none, DesktopRemedy::enableGnomeShellExtension)}) {
        ASSERT_TRUE(note);
        EXPECT_NE(note->find("重新登录"), std::string::npos);
    }
    // The pointer alone missing says nothing on these rows.
    EXPECT_FALSE(windowAvoidanceNote({false, true, true}, DesktopRemedy::none));
}

TEST(SettingsPanel, AnExtensionTheShellWillNotRunIsNamedWithTheShellsVersionAndNotToBeEnabled) {
    const DesktopAbilities none{false, false, false};
    for (const auto& note : {windowAvoidanceNote(none, DesktopRemedy::gnomeShellExtensionOutOfDate, "51"),
                             screenGestureNote(none, DesktopRemedy::gnomeShellExtensionOutOfDate, "51")}) {
        ASSERT_TRUE(note);
        EXPECT_NE(note->find("尚不支持 GNOME Shell 51"), std::string::npos) << *note;
        EXPECT_EQ(note->find("启用"), std::string::npos) << *note;
        // Nor does the gesture note fall back to the menu line as if nothing were wrong.
        EXPECT_EQ(note->find("orvella --call"), std::string::npos) << *note;
    }
    const auto failed = windowAvoidanceNote(none, DesktopRemedy::gnomeShellExtensionFailed, "50");
    ASSERT_TRUE(failed);
    EXPECT_NE(failed->find("GNOME Shell 50 未能运行"), std::string::npos) << *failed;
    // Without a version the shell is still named.
    const auto unknown = windowAvoidanceNote(none, DesktopRemedy::gnomeShellExtensionOutOfDate);
    ASSERT_TRUE(unknown);
    EXPECT_NE(unknown->find("当前的 GNOME Shell"), std::string::npos) << *unknown;
    const auto kwin = screenGestureNote(none, DesktopRemedy::kwinScriptDidNotStart);
    ASSERT_TRUE(kwin);
    EXPECT_NE(kwin->find("KWin 脚本没有启动"), std::string::npos) << *kwin;
}

TEST(SettingsWindow, ThePreferredDisplayIsTheTraysThenThePointersThenTheMain) {
    const auto left = screen(Rect::make(0, 0, 1000, 800), Rect::make(0, 0, 1000, 775));
    const auto right = screen(Rect::make(1000, 0, 1000, 800), Rect::make(1000, 0, 1000, 800));
    EXPECT_EQ(preferredSettingsScreen(right, {10, 10}, {left, right}, left), right);
    EXPECT_EQ(preferredSettingsScreen(std::nullopt, {1500, 10}, {left, right}, left), right);
    EXPECT_EQ(preferredSettingsScreen(std::nullopt, {5000, 10}, {left, right}, left), left);
    EXPECT_EQ(preferredSettingsScreen(std::nullopt, {5000, 10}, {left, right}, std::nullopt), std::nullopt);
}

TEST(SettingsWindow, CentringKeepsTheWindowInsideTheMargin) {
    const Rect visible = Rect::make(0, 0, 1440, 875);
    EXPECT_EQ(centeredSettingsWindowFrame({404, 460}, visible), Rect::make(720 - 202, 437.5 - 230, 404, 460));
    // Taller than the visible frame less the margins: as tall as that, inside.
    const auto tall = centeredSettingsWindowFrame({404, 2000}, visible);
    EXPECT_EQ(tall, Rect::make(720 - 202, 18, 404, 875 - 36));
    // A small display far from the origin.
    const auto small = centeredSettingsWindowFrame({404, 460}, Rect::make(2000, 100, 300, 400));
    EXPECT_EQ(small, Rect::make(2018, 118, 264, 364));
    EXPECT_FALSE(centeredSettingsWindowFrame({404, 460}, std::nullopt));
}

TEST(SettingsWindow, ResizingKeepsTheTopEdgeAndCentreAndIgnoresHalfAPoint) {
    const Rect visible = Rect::make(0, 0, 1440, 875);
    const Rect current = Rect::make(500, 200, 404, 460);
    EXPECT_FALSE(resizedSettingsWindowFrame(current, {404.4, 460.4}, visible));
    EXPECT_FALSE(resizedSettingsWindowFrame(current, {404.5, 459.5}, visible));
    // Only one side within the tolerance still resizes.
    EXPECT_TRUE(resizedSettingsWindowFrame(current, {404.2, 458}, visible));
    EXPECT_EQ(resizedSettingsWindowFrame(current, {404, 428}, visible), Rect::make(500, 232, 404, 428));
    EXPECT_EQ(resizedSettingsWindowFrame(current, {300, 428}, visible), Rect::make(552, 232, 300, 428));
    // Growing past the display's bottom margin is pushed back up.
    EXPECT_EQ(resizedSettingsWindowFrame(Rect::make(500, 30, 404, 388), {404, 428}, visible),
              Rect::make(500, 18, 404, 428));
    // Too tall for the display: clamped to it.
    EXPECT_EQ(resizedSettingsWindowFrame(current, {404, 5000}, visible), Rect::make(500, 18, 404, 839));
    // Without a display the request is taken as it is.
    EXPECT_EQ(resizedSettingsWindowFrame(current, {404, 5000}, std::nullopt), Rect::make(500, 660 - 5000, 404, 5000));
}

}  // namespace
