"""Orvella in a labwc session (wlroots: layer surfaces, but nothing that
tells a client the focused window or the pointer), headless with XWayland,
on its Wayland backend: the fish are drawn, a click opens, clicks on a
fish's transparent corner and on the water reach the window beneath (an X
client that prints its presses, xev), and calling the school is offered in
the menu and by `orvella --call`.

Run as its own ctest entry: when labwc cannot start here every test is
skipped and the run exits with 77, which ctest counts and prints as a skip
(where the compositors must run, a failure)."""

import math
import os
import shutil
import subprocess
import threading
import time

from harness import BINARY, TEST_APPS, wait_until
from wayland_harness import CompositorTest, LabwcDesktop, Unavailable, main
from wl_native import NativeTest


class Presses:
    """An X window covering the output that counts the presses it gets."""

    def __init__(self, desktop, width, height):
        if not shutil.which("xev"):
            raise Unavailable("xev is not installed")
        self.count = 0
        self.proc = desktop.spawn(["xev", "-geometry", f"{width}x{height}+0+0", "-event", "button"],
                                  stdout=subprocess.PIPE, text=True)
        threading.Thread(target=self._read, daemon=True).start()
        self.window = wait_until(lambda: desktop.geometry("Event Tester"), timeout=10)
        if not self.window:
            raise AssertionError("xev's window did not map")

    def _read(self):
        for line in self.proc.stdout:
            if line.startswith("ButtonPress"):
                self.count += 1

    def covers(self, x, y):
        wx, wy, w, h = self.window
        return wx <= x < wx + w and wy <= y < wy + h


class LabwcNative(NativeTest):
    def make_desktop(self):
        return LabwcDesktop("1440x900")

    def setUp(self):
        super().setUp()
        self.desktop.pointer(5, 5)

    def test_the_fish_is_drawn_swims_and_opens_on_a_click(self):
        self.orvella.args = ()  # layer surfaces: the Wayland backend by itself
        self.orvella.start()
        self.assertTrue(wait_until(lambda: len(self.desktop.windows()) == 1, timeout=10),
                        "the fish is no Wayland surface")
        f = self.fish()
        self.assertEqual((f["w"], f["h"]), (112, 112))
        self.orvella.freeze()
        shot = self.desktop.screenshot()
        self.orvella.thaw()
        self.assertEqual((shot.width, shot.height), (1440, 900))
        self.assertGreater(len(set(shot.region(f["x"] + 28, f["y"] + 28, 56, 56))), 20, "no fish drawn")
        self.assertTrue(wait_until(lambda: (self.fish()["x"], self.fish()["y"]) != (f["x"], f["y"]), timeout=3))
        self.click_fish_and_see_it_open()

    def test_clicks_on_a_transparent_corner_and_on_the_water_reach_the_window_beneath(self):
        presses = Presses(self.desktop, 1440, 900)
        self.orvella.start(fish=1)
        self.desktop.dbus("SetStillWaterMode", "true")
        f = self.settled()
        self.assertTrue(f, "the fish did not come to rest")
        corner = (f["x"] + 12, f["y"] + 12)
        self.assertTrue(presses.covers(*corner), (presses.window, f))
        self.orvella.freeze()
        # The icon takes the click...
        self.desktop.click(f["x"] + 56, f["y"] + 56)
        time.sleep(0.5)
        self.assertEqual(presses.count, 0, "a click on the icon went through")
        # ...the corner of its square is outside its input region.
        self.desktop.click(*corner)
        self.assertTrue(wait_until(lambda: presses.count == 1, timeout=3),
                        f"the click on the fish's corner did not reach the window beneath: {f}")
        self.orvella.thaw()
        self.assertTrue(wait_until(lambda: self.launched() == 1, timeout=3), "the click on the icon did not open")
        self.desktop.dbus("SetStillWaterMode", "false")
        # The water of a food burst covers the output and takes no click.
        r = subprocess.run([BINARY, "--call"], env=self.desktop.env, capture_output=True, text=True, timeout=20)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(wait_until(lambda: self.desktop.windows("Orvella water: "), timeout=2), "no water")
        water = self.desktop.windows("Orvella water: ")[0]
        self.assertEqual((water["w"], water["h"]), (1440, 900))
        fish = self.fish()
        spot = (300, 200) if math.hypot(fish["x"] + 56 - 300, fish["y"] + 56 - 200) > 150 else (1100, 700)
        self.desktop.click(*spot)
        self.assertTrue(wait_until(lambda: presses.count == 2, timeout=3),
                        "the click on the water did not reach the window beneath")


class LabwcSession(CompositorTest):
    """labwc tells no focused window, no pointer and no desktop click: the
    menu and the command call the school, to the middle of the output."""

    native = True

    def make_desktop(self):
        return LabwcDesktop("1440x900")

    def test_the_menu_offers_calling_the_school_and_orvella_call_gathers_it(self):
        self.orvella.start()
        self.assertTrue(wait_until(lambda: len(self.desktop.windows()) == len(TEST_APPS), timeout=10),
                        self.desktop.windows())
        menu = self.desktop.dbus("TrayMenu").stdout
        self.assertIn("召唤鱼群", menu)
        self.assertIn("驱散鱼群", menu)
        r = subprocess.run([BINARY, "--call"], env=self.desktop.env, capture_output=True, text=True, timeout=20)
        self.assertEqual(r.returncode, 0, r.stderr)
        # No pointer is told: the school comes to the middle of the output.
        mean = lambda: sum(math.hypot(w["x"] + 56 - 720, w["y"] + 56 - 450)
                           for w in self.desktop.windows()) / len(self.desktop.windows())
        self.assertTrue(wait_until(lambda: mean() < 110, timeout=4), mean())


class LabwcBringsForward(CompositorTest):
    """labwc lists its windows only through the foreign-toplevel protocol:
    with a native window of a catalogue entry running and another window
    focused, each click on the entry's fish gives the running window the
    focus, through that protocol, and opens no second one."""

    native = True

    def make_desktop(self):
        return LabwcDesktop("1440x900")

    def test_a_click_on_a_running_native_applications_fish_brings_its_window_forward(self):
        try:
            entry, token = self.launched_entry("org.orvella.Running")
        except Unavailable as e:
            self.unavailable(e)
        program = os.environ["ORVELLA_TEST_WINDOW"]
        running = self.desktop.spawn([program, "org.orvella.Running", token])
        self.addCleanup(running.kill)

        def focused(path):
            try:
                with open(path + ".focused") as f:
                    return f.read() == "1"
            except FileNotFoundError:
                return False
        self.assertTrue(wait_until(lambda: focused(token), timeout=10), "the running window never had the focus")
        self.orvella.write_defaults({"Orvella.applicationPaths": [entry]})
        self.orvella.start(fish=1)
        for click in range(3):
            # A new window takes the focus: labwc offers no other way to give it.
            other = os.path.join(self.desktop.tmp, f"other{click}")
            proc = self.desktop.spawn([program, f"org.orvella.Other{click}", other])
            self.addCleanup(proc.kill)
            self.assertTrue(wait_until(lambda: focused(other) and not focused(token), timeout=10),
                            "the other window did not take the focus")
            self.click_fish_until(lambda: focused(token), f"click {click + 1} left the focus elsewhere")
        time.sleep(1)  # a second window would be up by now
        instances = subprocess.run(["pgrep", "-c", "-f", "org.orvella.Running"], capture_output=True, text=True)
        self.assertEqual(instances.stdout.strip(), "1", "a second instance was launched")
        self.assertEqual(self.orvella.read_defaults()["Orvella.appOpenCounts"], {entry: 3})


if __name__ == "__main__":
    main()
