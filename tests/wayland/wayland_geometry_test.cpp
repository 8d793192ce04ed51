// What the Wayland backend makes of an output and the size the compositor
// gives a surface anchored to all four edges.

#include <gtest/gtest.h>

#include "wayland/displays.h"

using orvella::wayland::displayNumber;
using orvella::wayland::visibleArea;

TEST(WaylandVisibleArea, PanelsShrinkTheOutputAndNothingElseDoes) {
    const QRect output(1440, 0, 1440, 900);
    // Nothing configured yet, or nothing taken: the whole output.
    EXPECT_EQ(visibleArea(output, QRect()), output);
    EXPECT_EQ(visibleArea(output, QRect(0, 0, 1440, 900)), output);
    // A 30-pixel bar: the area keeps to the output, the bar's side unknown.
    const QRect withBar = visibleArea(output, QRect(0, 0, 1440, 870));
    EXPECT_EQ(withBar.size(), QSize(1440, 870));
    EXPECT_TRUE(output.contains(withBar));
    EXPECT_EQ(withBar.top() - output.top() + output.bottom() - withBar.bottom(), 30);
    // A size larger than the output is no area of it.
    EXPECT_EQ(visibleArea(output, QRect(0, 0, 2000, 900)), output);
}

TEST(WaylandDisplays, AnOutputKeepsItsNumberAcrossARePlugAndConnectorsDiffer) {
    // Plugged in again, the output is a new global with a new name.
    EXPECT_EQ(displayNumber("HDMI-A-1", 41), displayNumber("HDMI-A-1", 57));
    EXPECT_NE(displayNumber("HDMI-A-1", 41), displayNumber("HDMI-A-2", 41));
    EXPECT_NE(displayNumber("DP-1", 41), displayNumber("eDP-1", 41));
    // Fixed across runs: what still water stored under it is found again.
    EXPECT_EQ(displayNumber("a", 0), 0xe40c292cu);
    // No connector named: the registry's name.
    EXPECT_EQ(displayNumber("", 41), 41u);
}
