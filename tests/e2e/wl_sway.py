"""Orvella in a sway session (headless, with XWayland): the focused native
window is avoided through sway's IPC, calling the school works without
desktop clicks (orvella --call), and the settings window floats.

Run as its own ctest entry: when sway cannot start here every test is
skipped and the run exits with 77, which ctest counts and prints as a skip."""

import math
import subprocess
import sys
import time
import unittest

from harness import BINARY, TEST_APPS, Orvella, wait_until
from wayland_harness import SwayDesktop, Unavailable


class SwaySession(unittest.TestCase):
    def setUp(self):
        self.desktop = SwayDesktop("1440x900", compositor=False, wm=None)
        try:
            self.desktop.start()
        except Unavailable as e:
            self.desktop.stop()
            self.skipTest(str(e))
        self.addCleanup(self.desktop.stop)
        self.orvella = Orvella(self.desktop)
        self.addCleanup(self.orvella.stop)

    def centres(self):
        return [(w["x"] + 56, w["y"] + 56) for w in self.desktop.windows()]

    def test_the_focused_native_window_is_avoided(self):
        self.orvella.write_defaults({"Orvella.windowAvoidanceEnabled": True})
        self.orvella.start(fish=len(TEST_APPS))
        terminal = self.desktop.native_window(600, 400, 420, 250)
        self.addCleanup(terminal.kill)
        fx, fy, fw, fh = 420, 250, 600, 400
        inside = lambda c: fx <= c[0] < fx + fw and fy <= c[1] < fy + fh
        time.sleep(6)  # the zone grows in; the fish leave it
        samples = hits = 0
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            for c in self.centres():
                samples += 1
                hits += inside(c)
            time.sleep(0.25)
        self.assertGreater(samples, 100)
        self.assertLess(hits / samples, 0.05, f"{hits} of {samples} fish centres inside the focused window")

    def test_orvella_call_gathers_the_school_and_the_settings_window_floats(self):
        self.orvella.start(fish=len(TEST_APPS))
        # No tray here: the settings window opens at start; sway floats it.
        settings = wait_until(lambda: [n for n in self.desktop.sway_nodes() if n.get("name") == "Orvella Settings"],
                              timeout=10)
        self.assertTrue(settings, "no settings window")
        self.assertEqual(settings[0]["type"], "floating_con")
        self.assertTrue(wait_until(lambda: [n for n in self.desktop.sway_nodes()
                                            if n.get("name") == "Orvella Settings"][0]["rect"]["width"] == 404,
                                   timeout=5))
        # The menu offers calling and scattering: no desktop click reaches us.
        self.assertIn("召唤鱼群", self.desktop.dbus("TrayMenu").stdout)
        r = subprocess.run([BINARY, "--call"], env=self.desktop.env, capture_output=True, text=True, timeout=20)
        self.assertEqual(r.returncode, 0, r.stderr)
        # sway tells no pointer: the middle of the display.
        mean = lambda: sum(math.hypot(x - (720 + 56), y - (450 - 56)) for x, y in self.centres()) / len(TEST_APPS)
        self.assertTrue(wait_until(lambda: mean() < 110, timeout=3), mean())


if __name__ == "__main__":
    result = unittest.main(exit=False, verbosity=2).result
    if not result.wasSuccessful():
        sys.exit(1)
    if result.testsRun and len(result.skipped) == result.testsRun:
        print("skipped: " + "; ".join(sorted({reason for _, reason in result.skipped})))
        sys.exit(77)
