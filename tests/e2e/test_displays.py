"""Displays on a real X server: two monitors, a panel strut, and layout
changes while running."""

import unittest

from harness import DesktopTest, TEST_APPS, wait_until


class TwoDisplays(DesktopTest):
    size = "2880x900"

    def setUp(self):
        super().setUp()
        self.desktop.monitors(("L", 1440, 900, 0, 0, "screen"), ("R", 1440, 900, 1440, 0, "none"))

    def test_fish_spawn_on_the_display_under_the_pointer(self):
        self.desktop.mouse(2000, 700)
        self.orvella.start(fish=len(TEST_APPS))
        for w in self.desktop.windows():
            self.assertGreaterEqual(w["x"], 1440 + 96, w["name"])
            self.assertLessEqual(w["x"], 2880 - 96, w["name"])
            self.assertEqual(w["y"], 900 - 104 - 112)
        xs = sorted(w["x"] for w in self.desktop.windows())
        self.assertLess(xs[0], 2000)
        self.assertGreater(xs[-1], 2000)

    def test_changing_the_layout_replaces_every_fish(self):
        self.desktop.mouse(500, 700)
        self.orvella.start(fish=len(TEST_APPS))
        before = {w["id"] for w in self.desktop.windows()}
        self.assertTrue(all(w["x"] < 1440 for w in self.desktop.windows()))
        self.desktop.output(["xrandr", "--delmonitor", "R"])
        self.desktop.monitors(("R", 1000, 900, 1440, 0, "none"))
        self.desktop.mouse(2000, 700)

        def replaced():
            now = self.desktop.windows()
            ids = {w["id"] for w in now}
            return len(now) == len(TEST_APPS) and not (ids & before)

        self.assertTrue(wait_until(replaced, timeout=10))
        # The new school spawned afresh where the pointer was at the change.
        self.assertEqual(len(self.desktop.windows()), len(TEST_APPS))


class PanelStrut(DesktopTest):
    def test_fish_spawn_inside_the_visible_frame_above_a_bottom_panel(self):
        self.desktop.panel("bottom", 40)
        self.desktop.mouse(700, 700)
        self.orvella.start(fish=len(TEST_APPS))
        # Visible frame 0...1440 x 40...900 (y up): swim frame from y = 136.
        for w in self.desktop.windows():
            self.assertEqual(w["y"], 900 - (40 + 96 + 8) - 112, w["name"])

    def test_a_panel_that_appears_later_rebuilds_the_school_inside_it(self):
        self.desktop.mouse(700, 700)
        self.orvella.start(fish=len(TEST_APPS))
        self.assertEqual(self.desktop.windows()[0]["y"], 900 - 104 - 112)
        self.desktop.panel("bottom", 60)
        self.assertTrue(wait_until(
            lambda: [w["y"] for w in self.desktop.windows()] == [900 - (60 + 96 + 8) - 112] * len(TEST_APPS)))


if __name__ == "__main__":
    unittest.main()
