"""Orvella in a sway session (headless, with XWayland): the focused native
window is avoided through sway's IPC, calling the school works without
desktop clicks (orvella --call), and the settings window floats.

Run as its own ctest entry: when sway cannot start here every test is
skipped and the run exits with 77, which ctest counts and prints as a skip."""

import math
import subprocess

from harness import BINARY, TEST_APPS, wait_until
from wayland_harness import CompositorTest, SwayDesktop, main


class SwaySession(CompositorTest):
    def make_desktop(self):
        return SwayDesktop("1440x900", compositor=False, wm=None)

    def test_the_focused_native_window_is_avoided(self):
        self.orvella.write_defaults({"Orvella.windowAvoidanceEnabled": True})
        self.orvella.start(fish=len(TEST_APPS))
        terminal = self.desktop.native_window(600, 400, 420, 250)
        self.addCleanup(terminal.kill)
        self.assert_window_avoided(420, 250, 600, 400)

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
    main()
