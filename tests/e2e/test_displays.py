"""Displays on a real X server: two monitors, a panel strut, and layout
changes while running."""

import time
import unittest

from harness import DesktopTest, TEST_APPS, wait_until


class TwoDisplays(DesktopTest):
    size = "2880x900"

    def setUp(self):
        super().setUp()
        self.desktop.monitors(("L", 1440, 900, 0, 0, "screen"), ("R", 1440, 900, 1440, 0, "none"))

    def test_fish_spawn_on_the_display_under_the_pointer(self):
        self.desktop.mouse(2000, 700)
        fish, steps = self.orvella.start_and_catch_spawn(len(TEST_APPS))
        swum = 2.4 * steps + 1
        for w in fish:
            self.assertGreaterEqual(w["x"], 1440 + 96 - swum, w["name"])
            self.assertLessEqual(w["x"], 2880 - 96 + swum, w["name"])
            self.assertAlmostEqual(w["y"], 900 - 104 - 112, delta=swum)
        xs = sorted(w["x"] for w in fish)
        self.assertLess(xs[0], 2000)
        self.assertGreater(xs[-1], 2000)

    def test_changing_the_layout_replaces_every_fish(self):
        self.desktop.mouse(500, 700)
        self.orvella.start(fish=len(TEST_APPS))
        before = {w["id"] for w in self.desktop.windows()}
        self.desktop.output(["xrandr", "--delmonitor", "R"])
        self.desktop.monitors(("R", 1000, 900, 1440, 0, "none"))
        self.desktop.mouse(2000, 700)

        def replaced():
            now = self.desktop.windows()
            ids = {w["id"] for w in now}
            return len(now) == len(TEST_APPS) and not (ids & before)

        self.assertTrue(wait_until(replaced, timeout=10))
        self.assertEqual(len(self.desktop.windows()), len(TEST_APPS))

    def test_the_school_follows_the_pointer_across_to_the_other_display(self):
        self.desktop.mouse(500, 700)
        self.orvella.start(fish=len(TEST_APPS))
        self.desktop.mouse(2200, 400)
        # The pointer's display becomes active; wandering there takes the
        # school across the gap between the two swim frames.
        self.assertTrue(wait_until(
            lambda: sum(w["x"] > 1440 for w in self.desktop.windows()) >= len(TEST_APPS) - 1, timeout=40))


class PanelStrut(DesktopTest):
    def test_fish_spawn_inside_the_visible_frame_above_a_bottom_panel(self):
        self.desktop.panel("bottom", 40)
        self.desktop.mouse(700, 700)
        fish, steps = self.orvella.start_and_catch_spawn(len(TEST_APPS))
        # Visible frame 0...1440 x 40...900 (y up): swim frame from y = 136.
        for w in fish:
            self.assertAlmostEqual(w["y"], 900 - (40 + 96 + 8) - 112, delta=2.4 * steps + 1, msg=w["name"])
        # Swimming keeps them above the panel: the boundary is the swim frame.
        time.sleep(3)
        for w in self.desktop.windows():
            self.assertGreaterEqual(900 - w["y"] - 112, 40 + 96, w["name"])

    def test_a_panel_that_appears_later_rebuilds_the_school_inside_it(self):
        self.desktop.mouse(700, 700)
        self.orvella.start(fish=len(TEST_APPS))
        before = {w["id"] for w in self.desktop.windows()}
        self.desktop.panel("bottom", 60)
        self.assertTrue(wait_until(lambda: not ({w["id"] for w in self.desktop.windows()} & before)))
        time.sleep(1)
        for w in self.desktop.windows():
            self.assertGreaterEqual(900 - w["y"] - 112, 60 + 96, w["name"])


if __name__ == "__main__":
    unittest.main()
