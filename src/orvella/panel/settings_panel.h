#pragma once
// The rules of the settings window and its panel that do not depend on how
// they are drawn: tab sizes, labels, and where the window goes.

#include <optional>
#include <string>
#include <vector>

#include "orvella/platform/desktop_awareness.h"
#include "orvella/platform/displays.h"
#include "orvella/support/geometry.h"

namespace orvella {

enum class SettingsTab { apps, appearance, controls, settings };

constexpr SettingsTab allSettingsTabs[] = {SettingsTab::apps, SettingsTab::appearance, SettingsTab::controls,
                                           SettingsTab::settings};

std::string rawValue(SettingsTab tab);
std::string label(SettingsTab tab);
// The panel's height on a tab; the controls tab grows while the two screen
// gestures are the same, to make room for the warning.
double panelHeight(SettingsTab tab, bool hasScreenGestureConflict);
double scrollAreaHeight(SettingsTab tab, bool hasScreenGestureConflict);

struct SettingsPanelMetrics {
    static constexpr double width = 404;
    static constexpr double initialHeight = 460;
    static constexpr double screenMargin = 18;
    static constexpr double resizeTolerance = 0.5;
    static constexpr int gridColumns = 6;
    static constexpr double gridColumnWidth = 46;
    static constexpr double gridSpacing = 8;
    // Inside the scrolled area, so that the pills reaching past the tiles'
    // corners are not cut off.
    static constexpr double gridPadding = 8;
    static constexpr double gridMaximumHeight = 172;
    static constexpr int gridScrollIndicatorThreshold = 12;
    static constexpr double shortcutPickerWidth = 190;
    // Tab changes ease out over this many seconds.
    static constexpr double tabChangeDuration = 0.16;
};

// "v1.2 (34)", "v1.2", or "开发版" without a version.
std::string appVersionDisplay(const std::optional<std::string>& shortVersion, const std::optional<std::string>& build);
// The opacity slider shows transparency: (1 - opacity) x 100, rounded, and "%".
std::string opacityValueLabel(double iconOpacity);
// "1.0x"
std::string speedValueLabel(double swimSpeed);
// The tile's pill: the count below 100, "99+" from 100 on, nothing below 1.
std::string unreadPillLabel(int count);
// Side padding of the tile's pill: 5 from two digits on, else 0.
double unreadPillPadding(int count);

// What the panel says under a row whose feature this desktop withholds,
// and what would bring it; nothing where the desktop gives what it needs.
std::optional<std::string> windowAvoidanceNote(const DesktopAbilities& abilities, DesktopRemedy remedy,
                                               const std::string& shellVersion = {});
std::optional<std::string> screenGestureNote(const DesktopAbilities& abilities, DesktopRemedy remedy,
                                             const std::string& shellVersion = {});

// The display the settings window appears on: the tray item's, else the one
// under the pointer, else the main display.
std::optional<DisplayInfo> preferredSettingsScreen(const std::optional<DisplayInfo>& trayScreen, Point mouse,
                                                   const std::vector<DisplayInfo>& screens,
                                                   const std::optional<DisplayInfo>& mainScreen);
// Centred in the visible frame inset by the margin and kept inside it;
// absent without a display (the platform centres the window then).
std::optional<Rect> centeredSettingsWindowFrame(Size window, const std::optional<Rect>& visibleFrame);
// The frame for a requested size, keeping the top edge and the horizontal
// centre, inside the margin of the display when there is one; absent when
// the size is within half a point of the current one.
std::optional<Rect> resizedSettingsWindowFrame(const Rect& current, Size requested,
                                               const std::optional<Rect>& visibleFrame);

}  // namespace orvella
