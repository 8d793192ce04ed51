"""A fish on a real X desktop as a launcher: clicks launch or activate its
application, only the fish itself takes the mouse, drags carry it."""

import os
import subprocess
import time
import unittest

from harness import PANEL, DesktopTest, wait_until


class FishAsLauncher(DesktopTest):
    def setUp(self):
        super().setUp()
        self.entry, self.launches = self.desktop.install_launcher()
        self.orvella.write_defaults({"Orvella.applicationPaths": [self.entry]})

    def fish(self):
        return self.desktop.windows()[0]

    def click_fish(self):
        w = self.fish()
        self.desktop.output(["xdotool", "mousemove", str(w["x"] + 56), str(w["y"] + 56), "click", "1"])

    def launched(self):
        return len(os.listdir(self.launches))

    def test_a_click_launches_once_counts_and_grows(self):
        self.desktop.mouse(700, 700)
        self.orvella.start(fish=1)
        self.click_fish()
        self.assertTrue(wait_until(lambda: self.launched() == 1, timeout=5))
        time.sleep(0.5)
        self.assertEqual(self.launched(), 1)
        self.assertEqual(self.orvella.read_defaults()["Orvella.appOpenCounts"], {self.entry: 1})

    def test_in_double_click_style_only_the_second_press_opens(self):
        self.orvella.write_defaults({"Orvella.applicationPaths": [self.entry],
                                     "Orvella.fishOpenModifier": "doubleClick"})
        self.desktop.mouse(700, 700)
        self.orvella.start(fish=1)
        w = self.fish()
        self.desktop.output(["xdotool", "mousemove", str(w["x"] + 56), str(w["y"] + 56), "click", "1"])
        time.sleep(1)
        self.assertEqual(self.launched(), 0)  # a single click only pauses the fish
        w = self.fish()
        self.desktop.output(["xdotool", "mousemove", str(w["x"] + 56), str(w["y"] + 56),
                             "click", "--repeat", "2", "--delay", "120", "1"])
        self.assertTrue(wait_until(lambda: self.launched() == 1, timeout=5))
        time.sleep(0.5)
        self.assertEqual(self.launched(), 1)
        self.assertEqual(self.orvella.read_defaults()["Orvella.appOpenCounts"], {self.entry: 1})

    def test_a_click_activates_an_open_window_instead_of_launching(self):
        helper = subprocess.Popen([PANEL, "window", "orvella-test-launcher"], env=self.desktop.env,
                                  stdout=subprocess.PIPE, text=True)
        self.addCleanup(lambda: (helper.kill(), helper.wait(), helper.stdout.close()))
        self.assertEqual(helper.stdout.readline().strip(), "ready")
        self.desktop.mouse(700, 700)
        self.orvella.start(fish=1)
        # Make another window active first.
        other = subprocess.Popen([PANEL, "window", "orvella-test-other"], env=self.desktop.env,
                                 stdout=subprocess.PIPE, text=True)
        self.addCleanup(lambda: (other.kill(), other.wait(), other.stdout.close()))
        other.stdout.readline()
        active = lambda: self.desktop.output(["xdotool", "getactivewindow", "getwindowname"], check=False).strip()
        self.assertTrue(wait_until(lambda: active() == "orvella-test-other", timeout=5))
        self.click_fish()
        self.assertTrue(wait_until(lambda: active() == "orvella-test-launcher", timeout=5))
        time.sleep(0.5)
        self.assertEqual(self.launched(), 0)
        self.assertEqual(self.orvella.read_defaults()["Orvella.appOpenCounts"], {self.entry: 1})

    def test_only_the_fish_takes_the_mouse_and_a_drag_carries_it(self):
        below = subprocess.Popen([PANEL, "window", "orvella-test-below"], env=self.desktop.env,
                                 stdout=subprocess.PIPE, text=True)
        self.addCleanup(lambda: (below.kill(), below.wait(), below.stdout.close()))
        below.stdout.readline()
        self.desktop.mouse(700, 700)
        self.orvella.start(fish=1)
        # Held still, so that the window is where we look: the X server alone
        # decides where a press goes, from the window's input region.
        self.orvella.freeze()
        w = self.fish()
        self.desktop.output(["xdotool", "mousemove", str(w["x"] + 3), str(w["y"] + 3), "click", "1"])
        self.assertEqual(below.stdout.readline().split()[0], "press")  # the corner let it through
        self.desktop.output(["xdotool", "mousemove", str(w["x"] + 56), str(w["y"] + 56), "click", "1"])
        self.orvella.thaw()
        time.sleep(0.5)
        self.assertEqual(self.launched(), 1)  # the icon took it

        time.sleep(1)
        w = self.fish()
        x, y = w["x"] + 56, w["y"] + 56
        self.desktop.output(["xdotool", "mousemove", str(x), str(y), "mousedown", "1"])
        for step in range(1, 11):
            self.desktop.output(["xdotool", "mousemove", str(x + 20 * step), str(y - 10 * step)])
            time.sleep(0.03)
        time.sleep(0.2)
        dragged = self.fish()
        self.assertAlmostEqual(dragged["x"], w["x"] + 200, delta=4)
        self.assertAlmostEqual(dragged["y"], w["y"] - 100, delta=4)
        self.desktop.output(["xdotool", "mouseup", "1"])
        time.sleep(0.3)
        # Let go with a short pause: it has hardly moved yet.
        still = self.fish()
        self.assertAlmostEqual(still["x"], dragged["x"], delta=4)
        self.assertEqual(self.launched(), 1)  # a drag is no click

    def test_a_right_click_during_a_drag_neither_opens_nor_freezes_the_fish(self):
        self.desktop.mouse(700, 700)
        self.orvella.start(fish=1)
        w = self.fish()
        x, y = w["x"] + 56, w["y"] + 56
        self.desktop.output(["xdotool", "mousemove", str(x), str(y), "mousedown", "1"])
        for step in range(1, 11):
            self.desktop.output(["xdotool", "mousemove", str(x + 2 * step), str(y)])
            time.sleep(0.02)
        self.desktop.output(["xdotool", "click", "3"])
        time.sleep(0.2)
        self.desktop.output(["xdotool", "mouseup", "1"])
        released = self.fish()
        moved = lambda: max(abs(self.fish()["x"] - released["x"]), abs(self.fish()["y"] - released["y"])) > 4
        self.assertTrue(wait_until(moved, timeout=2, interval=0.05), "the fish stays frozen after the drag")
        time.sleep(0.3)
        self.assertEqual(self.launched(), 0, "the right click launched the application")

    def test_a_right_click_does_not_count_towards_a_double_click(self):
        self.orvella.write_defaults({"Orvella.applicationPaths": [self.entry],
                                     "Orvella.fishOpenModifier": "doubleClick"})
        self.desktop.mouse(700, 700)
        self.orvella.start(fish=1)
        w = self.fish()
        # A right click and then a quick left click: a single click, which
        # in this style only pauses the fish.
        self.desktop.output(["xdotool", "mousemove", str(w["x"] + 56), str(w["y"] + 56),
                             "click", "3", "sleep", "0.12", "click", "1"])
        time.sleep(1)
        self.assertEqual(self.launched(), 0)
        w = self.fish()
        self.desktop.output(["xdotool", "mousemove", str(w["x"] + 56), str(w["y"] + 56),
                             "click", "--repeat", "2", "--delay", "120", "1"])
        self.assertTrue(wait_until(lambda: self.launched() == 1, timeout=5), "a real double click opens")


class StartupNotification(DesktopTest):
    def test_a_launch_hands_the_program_its_startup_id(self):
        apps = os.path.join(self.desktop.env["XDG_DATA_HOME"], "applications")
        os.makedirs(apps)
        entry = os.path.join(apps, "orvella-test-env.desktop")
        with open(entry, "w") as f:
            # env prints its environment to Orvella's own output.
            f.write("[Desktop Entry]\nType=Application\nName=Env\nExec=/usr/bin/env\nStartupNotify=true\n")
        self.orvella.write_defaults({"Orvella.applicationPaths": [entry]})
        self.desktop.mouse(700, 700)
        self.orvella.start(fish=1)
        w = self.desktop.windows()[0]
        self.desktop.output(["xdotool", "mousemove", str(w["x"] + 56), str(w["y"] + 56), "click", "1"])
        self.assertTrue(wait_until(lambda: "DESKTOP_STARTUP_ID=orvella-" in open(self.orvella.log).read(), timeout=5))


if __name__ == "__main__":
    unittest.main()
