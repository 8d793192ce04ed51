"""The school on a real X desktop: one translucent fish window per
catalogue application, spawned in a row at the entry edge."""

import math
import os
import time
import shutil
import signal
import unittest

from harness import DesktopTest, TEST_APPS, app_path, mean, wait_until

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
        fish, steps = self.orvella.start_and_catch_spawn(len(TEST_APPS))
        swum = 2.4 * steps + 1
        self.assertEqual(sorted(w["name"] for w in fish), sorted(NAMES))
        by_name = {w["name"]: w for w in fish}
        # 1440 x 900 display, no panel: swim frame 96...1344 x 96...804 (y up).
        xs = expected_row(700, 6, 96, 1344)
        for i, name in enumerate(NAMES):
            w = by_name[name]
            self.assertEqual((w["w"], w["h"]), (112, 112), name)
            self.assertAlmostEqual(w["x"], xs[i], delta=swum, msg=name)
            self.assertAlmostEqual(w["y"], 900 - (96 + 8) - 112, delta=swum, msg=name)
            self.assertIn("Override Redirect State: yes", w["info"])
            self.assertIn("Depth: 32", w["info"])  # an alpha visual
        wm_class = self.desktop.output(["xprop", "-id", fish[0]["id"], "WM_CLASS"])
        self.assertIn('"orvella"', wm_class)

    def test_entering_from_the_top(self):
        self.desktop.mouse(150, 200)  # upper half, near the left edge
        fish, steps = self.orvella.start_and_catch_spawn(len(TEST_APPS))
        swum = 2.4 * steps + 1
        for w in fish:
            # 18 points below the swim frame's top edge (804 - 18 in y-up points).
            self.assertAlmostEqual(w["y"], 900 - (804 - 18) - 112, delta=swum, msg=w["name"])
        xs = sorted(w["x"] for w in fish)
        self.assertAlmostEqual(xs[0], 96, delta=swum)  # the row piles up on the frame's left edge

    def test_screenshot_shows_icons_tinted_tails_and_nothing_opaque_around(self):
        self.desktop.mouse(700, 450)
        self.orvella.start(fish=len(TEST_APPS))
        self.orvella.freeze()
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
            # Around the icon the tail tints the desktop blue-green.
            ring = [shot.at(x + i, y + j) for j in range(4, 108) for i in range(4, 108)
                    if not (26 <= i < 86 and 26 <= j < 86)]
            tint = max((p[2] - p[0]) - (background[2] - background[0]) for p in ring)
            self.assertGreater(tint, 10, w["name"])

    def test_sigterm_and_sigint_stop_cleanly(self):
        self.orvella.start(fish=len(TEST_APPS))
        self.assertEqual(self.orvella.stop(signal.SIGTERM), 0)
        self.assertTrue(wait_until(lambda: not self.desktop.windows(), timeout=5))
        self.orvella.start(fish=len(TEST_APPS))
        self.assertEqual(self.orvella.stop(signal.SIGINT), 0)


if __name__ == "__main__":
    unittest.main()


class Swimming(DesktopTest):
    def test_a_lone_fish_swims_at_the_idle_rate(self):
        self.orvella.write_defaults({"Orvella.applicationPaths": [app_path("orvella-test-mail")]})
        self.orvella.start(fish=1)
        first = self.desktop.windows()[0]
        s0, t0 = self.orvella.motion_steps(), time.monotonic()
        time.sleep(3)
        rate = (self.orvella.motion_steps() - s0) / (time.monotonic() - t0)
        # Nothing lively: every second firing of the 60 Hz timer steps.
        self.assertGreater(rate, 27)
        self.assertLess(rate, 33)
        now = self.desktop.windows()[0]
        self.assertGreater(math.hypot(now["x"] - first["x"], now["y"] - first["y"]), 20)

    def test_the_school_wanders_inside_the_boundary(self):
        self.desktop.mouse(700, 700)
        self.orvella.start(fish=len(TEST_APPS))
        first = {w["name"]: (w["x"], w["y"]) for w in self.desktop.windows()}
        seen = []
        for _ in range(20):
            time.sleep(0.25)
            seen.append(self.desktop.windows())
        moved = 0
        for windows in seen:
            for w in windows:
                # The movement boundary: the swim frame 96...1344 x 96...804 (y up).
                self.assertGreaterEqual(w["x"], 96, w["name"])
                self.assertLessEqual(w["x"], 1344, w["name"])
                self.assertGreaterEqual(900 - w["y"] - 112, 96, w["name"])
                self.assertLessEqual(900 - w["y"] - 112, 804, w["name"])
        for w in seen[-1]:
            a, b = first[w["name"]], (w["x"], w["y"])
            moved += math.hypot(a[0] - b[0], a[1] - b[1]) > 20
        self.assertGreaterEqual(moved, len(TEST_APPS) - 1)
        # The fish spread out over the frame in lanes: not all on one spot.
        xs = sorted(w["x"] for w in seen[-1])
        self.assertGreater(xs[-1] - xs[0], 150)


class StillWater(DesktopTest):
    def test_still_water_steps_at_sixty_and_rests_the_school_on_the_rim(self):
        self.desktop.mouse(700, 700)
        self.orvella.start(fish=len(TEST_APPS))
        self.desktop.dbus("SetStillWaterMode", "true")
        s0, t0 = self.orvella.motion_steps(), time.monotonic()
        time.sleep(2)
        rate = (self.orvella.motion_steps() - s0) / (time.monotonic() - t0)
        self.assertGreater(rate, 54)
        self.assertLess(rate, 63)

        # Slots lie on a ring 8 + 24 points inside the visible frame; the
        # fish swim there slowly and settle.
        def resting():
            windows = self.desktop.windows()
            on_rim = 0
            for w in windows:
                x, y = w["x"], 900 - w["y"] - 112
                near = min(abs(x - 32), abs(x - (1440 - 112 - 32)), abs(y - 32), abs(y - (900 - 112 - 32)))
                on_rim += near <= 2
            return on_rim == len(windows)
        self.assertTrue(wait_until(resting, timeout=60, interval=0.5))
        before = {w["name"]: (w["x"], w["y"]) for w in self.desktop.windows()}
        time.sleep(1)
        after = {w["name"]: (w["x"], w["y"]) for w in self.desktop.windows()}
        self.assertEqual(before, after)  # settled exactly
        self.assertIn("'Orvella.stillWaterModeEnabled': <true>", self.desktop.dbus("Settings").stdout)
        # Never stored.
        self.assertFalse(os.path.exists(self.orvella.defaults_file))
