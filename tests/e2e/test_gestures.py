"""Desktop gestures on a real X desktop: triple clicks call or scatter the
school and draw on a click-through water overlay."""

import math
import subprocess
import time
import unittest

from harness import PANEL, DesktopTest, TEST_APPS, wait_until


class Gestures(DesktopTest):
    def overlays(self):
        return self.desktop.windows(prefix="Orvella water: ")

    def centres(self):
        return [(w["x"] + 56, w["y"] + 56) for w in self.desktop.windows()]

    def mean_distance(self, x, y):
        cs = self.centres()
        return sum(math.hypot(cx - x, cy - y) for cx, cy in cs) / len(cs)

    def clicks(self, x, y, n, *keys):
        self.desktop.output(["xdotool", "mousemove", str(x), str(y)])
        for k in keys:
            self.desktop.output(["xdotool", "keydown", k])
        self.desktop.output(["xdotool", "click", "--repeat", str(n), "--delay", "90", "1"])
        for k in keys:
            time.sleep(0.1)  # a hand lets go of the key after the click
            self.desktop.output(["xdotool", "keyup", k])

    def test_three_clicks_call_the_school_with_a_food_burst(self):
        self.desktop.mouse(300, 700)
        self.orvella.start(fish=len(TEST_APPS))
        time.sleep(1)
        self.clicks(800, 450, 3)
        clicked = time.monotonic()
        self.assertTrue(wait_until(lambda: len(self.overlays()) == 1, timeout=2))
        overlay = self.overlays()[0]
        self.assertEqual((overlay["x"], overlay["y"], overlay["w"], overlay["h"]), (0, 0, 1440, 900))
        self.assertIn("Override Redirect State: yes", overlay["info"])
        # The window origins circle the point: the centres circle 56 points
        # right of and above it.
        self.assertTrue(wait_until(lambda: self.mean_distance(800 + 56, 450 - 56) < 110, timeout=2.5),
                        self.mean_distance(800 + 56, 450 - 56))
        # The overlay goes about two seconds after the effects end.
        self.assertTrue(wait_until(lambda: not self.overlays(), timeout=5))
        self.assertLess(time.monotonic() - clicked, 4.5)
        self.assertGreater(time.monotonic() - clicked, 1.7)

    def test_alt_triple_click_scatters_the_school_with_a_sonic_wave(self):
        self.desktop.mouse(720, 700)
        self.orvella.start(fish=len(TEST_APPS))
        time.sleep(1)
        # Above the school, on open water: a click on a fish would be no gesture.
        self.clicks(720, 250, 3, "alt")
        self.assertTrue(wait_until(lambda: len(self.overlays()) == 1, timeout=2))
        # The fish flee to the border of the display's origin rectangle (8
        # points inside the visible frame), where they bounce; they never
        # leave the display.
        reached = set()

        def at_edge():
            for w in self.desktop.windows():
                x, y = w["x"], w["y"]
                self.assertTrue(0 <= x <= 1440 - 112 and 0 <= y <= 900 - 112, w["name"])
                if min(x - 8, 1440 - 120 - x, y - 8, 900 - 120 - y) < 60:
                    reached.add(w["name"])
            return len(reached) >= len(TEST_APPS) - 1
        self.assertTrue(wait_until(at_edge, timeout=2.5, interval=0.02), reached)

    def test_five_clicks_hold_the_call_until_every_fish_has_arrived(self):
        self.desktop.mouse(300, 700)
        self.orvella.start(fish=len(TEST_APPS))
        time.sleep(1)
        self.clicks(1200, 200, 5)
        self.assertTrue(wait_until(lambda: len(self.overlays()) == 1, timeout=2))
        # The overlay (with the attraction ripple) stays while the call lasts;
        # when it goes, every fish is within the arrival radius.
        self.assertTrue(wait_until(lambda: not self.overlays(), timeout=16, interval=0.05))
        for cx, cy in self.centres():
            self.assertLess(math.hypot(cx - 1200, cy - 200), 196 + 30)

    def test_clicks_on_another_window_are_a_gesture_and_still_reach_it(self):
        helper = subprocess.Popen([PANEL, "window", "orvella-test-below"], env=self.desktop.env,
                                  stdout=subprocess.PIPE, text=True)
        self.addCleanup(lambda: (helper.kill(), helper.wait(), helper.stdout.close()))
        helper.stdout.readline()
        self.desktop.mouse(300, 700)
        self.orvella.start(fish=len(TEST_APPS))
        time.sleep(1)
        self.clicks(1100, 250, 3)
        for _ in range(3):
            self.assertEqual(helper.stdout.readline().split()[0], "press")
        self.assertTrue(wait_until(lambda: len(self.overlays()) == 1, timeout=2))

    def test_a_triple_click_on_a_fish_is_no_gesture(self):
        self.desktop.mouse(300, 700)
        self.orvella.write_defaults({"Orvella.applicationPaths": [], "Orvella.fishOpenModifier": "control"})
        self.orvella.write_defaults({"Orvella.fishOpenModifier": "control"})
        self.orvella.start(fish=len(TEST_APPS))
        time.sleep(1)
        w = self.desktop.windows()[0]
        self.clicks(w["x"] + 56, w["y"] + 56, 3)
        time.sleep(1)
        self.assertEqual(self.overlays(), [])


class ClicksInTheSettingsWindow(DesktopTest):
    """The settings window is Orvella's own: clicks there are its, never a
    desktop gesture, however the window manager frames it."""

    def overlays(self):
        return self.desktop.windows(prefix="Orvella water: ")

    def positions(self):
        return {w["name"]: (w["x"], w["y"]) for w in self.desktop.windows()}

    def settings_window(self):
        return self.desktop.geometry("Orvella Settings")

    def clicks(self, x, y, n):
        self.desktop.output(["xdotool", "mousemove", str(x), str(y), "click", "--repeat", str(n), "--delay", "90", "1"])

    def test_two_or_three_quick_clicks_in_the_panel_leave_the_school_alone(self):
        self.desktop.mouse(300, 700)
        self.orvella.start(fish=len(TEST_APPS))
        # Still water: the school rests on the rim, clear of the centred panel.
        self.desktop.dbus("SetStillWaterMode", "true")
        self.desktop.dbus("ShowSettings")
        panel = wait_until(self.settings_window, timeout=5)
        self.assertTrue(panel, "the settings window did not open")
        previous = {}

        def resting():
            nonlocal previous
            now = self.positions()
            still = len(now) == len(TEST_APPS) and now == previous
            previous = now
            return still
        self.assertTrue(wait_until(resting, timeout=25, interval=0.5), "the school did not come to rest")
        before = self.positions()
        # Where the panel is now: on a loaded machine the window manager may
        # still have been placing it when it first showed.
        panel = self.settings_window()
        self.assertTrue(panel, "the settings window closed")
        # The header's empty right side: no control there.
        x, y = panel[0] + 300, panel[1] + 48
        self.clicks(x, y, 2)
        time.sleep(0.8)
        self.clicks(x, y, 3)
        time.sleep(1.2)
        self.assertEqual([o["name"] for o in self.overlays()], [], f"clicks at {x},{y}; the panel at {panel}")
        after = self.positions()
        for name, (bx, by) in before.items():
            ax, ay = after[name]
            self.assertLessEqual(max(abs(ax - bx), abs(ay - by)), 2, name)
        # Beside the panel, on the bare desktop, three clicks still call.
        self.clicks(150, 450, 3)
        self.assertTrue(wait_until(lambda: len(self.overlays()) == 1, timeout=2))


class ClicksInTheSettingsWindowWithoutAWindowManager(ClicksInTheSettingsWindow):
    wm = None


if __name__ == "__main__":
    unittest.main()
