"""The school on a real X desktop: one translucent fish window per
catalogue application, spawned in a row at the entry edge."""

import math
import os
import shutil
import signal
import unittest

from harness import DesktopTest, TEST_APPS, mean, wait_until

NAMES = ["Test Browser", "Test Mail", "Test Terminal", "Test Editor", "Test Chat", "Test Without Icon"]


def expected_row(pointer_x, count, frame_min_x, frame_max_x):
    xs = []
    for i in range(count):
        x = pointer_x + (i - (max(count, 1) - 1) / 2) * 62 + math.sin(i * 1.7) * 18
        xs.append(min(max(x, frame_min_x), frame_max_x))
    return xs


class SchoolOnScreen(DesktopTest):
    def test_one_fish_per_application_in_a_row_at_the_bottom_entry_edge(self):
        self.desktop.mouse(700, 700)  # lower half: the school enters from the bottom
        self.orvella.start(fish=len(TEST_APPS))
        fish = self.desktop.windows()
        self.assertEqual(sorted(w["name"] for w in fish), sorted(NAMES))
        by_name = {w["name"]: w for w in fish}
        # 1440 x 900 display, no panel: swim frame 96...1344 x 96...804 (y up).
        xs = expected_row(700, 6, 96, 1344)
        for i, name in enumerate(NAMES):
            w = by_name[name]
            self.assertEqual((w["w"], w["h"]), (112, 112), name)
            self.assertAlmostEqual(w["x"], xs[i], delta=1, msg=name)
            self.assertEqual(w["y"], 900 - (96 + 8) - 112, name)
            self.assertIn("Override Redirect State: yes", w["info"])
            self.assertIn("Depth: 32", w["info"])  # an alpha visual
        wm_class = self.desktop.output(["xprop", "-id", fish[0]["id"], "WM_CLASS"])
        self.assertIn('"orvella"', wm_class)

    def test_entering_from_the_top(self):
        self.desktop.mouse(150, 200)  # upper half, near the left edge
        self.orvella.start(fish=len(TEST_APPS))
        for w in self.desktop.windows():
            # 18 points below the swim frame's top edge (804 - 18 in y-up points).
            self.assertEqual(w["y"], 900 - (804 - 18) - 112, w["name"])
        xs = sorted(w["x"] for w in self.desktop.windows())
        self.assertEqual(xs[0], 96)  # the row piles up on the frame's left edge

    def test_screenshot_shows_icons_tinted_tails_and_nothing_opaque_around(self):
        self.desktop.mouse(700, 450)
        self.orvella.start(fish=len(TEST_APPS))
        shot = self.desktop.screenshot()
        artifacts = os.environ.get("ORVELLA_E2E_ARTIFACTS")
        if artifacts:
            os.makedirs(artifacts, exist_ok=True)
            shutil.copy(shot.path, os.path.join(artifacts, "school.png"))
        background = shot.at(5, 5)
        for w in self.desktop.windows():
            x, y = w["x"], w["y"]
            # The window's corners show the desktop beneath, unchanged.
            for cx, cy in ((2, 2), (109, 2), (2, 109), (109, 109)):
                px = shot.at(x + cx, y + cy)
                self.assertLessEqual(max(abs(a - b) for a, b in zip(px, background)), 3, (w["name"], cx, cy))
            # The icon square differs from the desktop.
            icon = shot.region(x + 41, y + 41, 30, 30)
            contrast = mean(max(abs(a - b) for a, b in zip(p, background)) for p in icon)
            self.assertGreater(contrast, 8, w["name"])
            # Behind the fish (it swims to the right, more or less) the tail
            # tints the desktop blue-green.
            tail = shot.region(x + 10, y + 40, 24, 32)
            tint = max((p[2] - p[0]) - (background[2] - background[0]) for p in tail)
            self.assertGreater(tint, 10, w["name"])

    def test_sigterm_and_sigint_stop_cleanly(self):
        self.orvella.start(fish=len(TEST_APPS))
        self.assertEqual(self.orvella.stop(signal.SIGTERM), 0)
        self.assertTrue(wait_until(lambda: not self.desktop.windows(), timeout=5))
        self.orvella.start(fish=len(TEST_APPS))
        self.assertEqual(self.orvella.stop(signal.SIGINT), 0)


if __name__ == "__main__":
    unittest.main()
