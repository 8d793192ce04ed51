"""Calling and scattering the school without desktop clicks (the command
line, the bus, and the tray menu where the session reports no clicks), and
the settings window's fixed size, which tiling window managers float."""

import math
import re
import subprocess
import time
import unittest

from harness import BINARY, DesktopTest, TEST_APPS, wait_until


class SchoolCommands(DesktopTest):
    def overlays(self):
        return self.desktop.windows(prefix="Orvella water: ")

    def mean_distance(self, x, y):
        cs = [(w["x"] + 56, w["y"] + 56) for w in self.desktop.windows()]
        return sum(math.hypot(cx - x, cy - y) for cx, cy in cs) / len(cs)

    def distances(self, x, y):
        return {w["name"]: math.hypot(w["x"] + 56 - x, w["y"] + 56 - y) for w in self.desktop.windows()}

    def run_orvella(self, *args):
        return subprocess.run([BINARY, *args], env=self.desktop.env, capture_output=True, text=True, timeout=20)

    def test_the_command_line_and_the_bus_call_and_scatter_at_the_pointer(self):
        missing = self.run_orvella("--call")
        self.assertEqual(missing.returncode, 1)
        self.assertIn("no running Orvella", missing.stderr)

        self.desktop.mouse(300, 700)
        self.orvella.start(fish=len(TEST_APPS))
        time.sleep(1)
        # On X11 desktop clicks reach Orvella: the menu needs no such items.
        self.assertNotIn("召唤鱼群", self.desktop.dbus("TrayMenu").stdout)
        self.desktop.mouse(1000, 300)
        time.sleep(0.3)
        self.assertEqual(self.run_orvella("--call").returncode, 0)
        self.assertTrue(wait_until(lambda: len(self.overlays()) == 1, timeout=2), "no food burst")
        self.assertTrue(wait_until(lambda: self.mean_distance(1000 + 56, 300 - 56) < 110, timeout=2.5),
                        self.mean_distance(1000 + 56, 300 - 56))
        # Scattering from the same place sends them off it: the fish (but
        # two that the display's near edges may stop) end well away from
        # where they were. The school's mean distance is no measure: the
        # edges hold it back by a different amount each run.
        before = self.distances(1000 + 56, 300 - 56)
        self.desktop.dbus("Disperse")
        fled = lambda: sum(self.distances(1000 + 56, 300 - 56).get(name, 0) - d >= 120 for name, d in before.items())
        self.assertTrue(wait_until(lambda: fled() >= len(TEST_APPS) - 2, timeout=3),
                        (before, self.distances(1000 + 56, 300 - 56)))
        self.assertEqual(self.run_orvella("--scatter").returncode, 0)
        self.assertTrue(self.orvella.proc.poll() is None)


class SchoolCommandsWithoutDesktopClicks(DesktopTest):
    """A Wayland session whose compositor reports nothing (no provider):
    Orvella's X11 connection would hear no desktop click."""

    def setUp(self):
        super().setUp()
        self.desktop.env["WAYLAND_DISPLAY"] = "wayland-orvella-absent"
        self.desktop.env["XDG_SESSION_TYPE"] = "wayland"

    def test_the_menu_offers_calling_and_scattering_at_the_middle_of_the_display(self):
        self.desktop.mouse(300, 700)
        self.orvella.start(fish=len(TEST_APPS))
        menu = self.desktop.dbus("TrayMenu").stdout
        self.assertIn("'召唤鱼群|0|0', '驱散鱼群|0|0'", menu)
        time.sleep(1)
        self.desktop.dbus("TriggerMenuItem", "召唤鱼群")
        self.assertTrue(wait_until(lambda: len(self.desktop.windows("Orvella water: ")) == 1, timeout=2))
        # The pointer is not known here: the middle of the display.
        centre = lambda: sum(math.hypot(w["x"] + 56 - (720 + 56), w["y"] + 56 - (450 - 56))
                             for w in self.desktop.windows()) / len(TEST_APPS)
        self.assertTrue(wait_until(lambda: centre() < 110, timeout=2.5), centre())


class FixedSizeSettingsWindow(DesktopTest):
    tray = False

    def hints(self):
        for m in re.finditer(r'(0x[0-9a-f]+) "Orvella Settings": \(.*\)\s+(\d+)x(\d+)', self.desktop.tree()):
            info = self.desktop.output(["xwininfo", "-id", m.group(1)], check=False)
            if "IsViewable" in info:
                return int(m.group(2)), int(m.group(3)), self.desktop.output(["xprop", "-id", m.group(1),
                                                                              "WM_NORMAL_HINTS"])
        return None

    def test_the_window_cannot_be_resized_but_by_the_panel(self):
        self.orvella.start(fish=len(TEST_APPS))
        def fixed():
            found = self.hints()
            if not found:
                return False
            w, h, text = found
            return (f"minimum size: {w} by {h}" in text and f"maximum size: {w} by {h}" in text
                    and (w, h) == (404, 428))
        self.assertTrue(wait_until(fixed, timeout=6), self.hints())
        # Another tab: the panel changes the size, and it is fixed again.
        self.desktop.dbus("ShowSettings")
        g = wait_until(lambda: [int(v) for v in re.findall(r"-?\d+", self.desktop.dbus("ItemGeometry", "tab3").stdout)],
                       timeout=5)
        self.desktop.output(["xdotool", "mousemove", str(g[0] + g[2] // 2), str(g[1] + g[3] // 2), "click", "1"])
        self.assertTrue(wait_until(lambda: (self.hints() or (0, 0, ""))[:2] == (404, 396), timeout=5))
        self.assertIn("maximum size: 404 by 396", self.hints()[2])


if __name__ == "__main__":
    unittest.main()
