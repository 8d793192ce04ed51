"""Orvella on its Wayland backend: fish, pills and water as layer surfaces
above native windows, on sway (headless, pixman) and on KWin (virtual
outputs). Clicks go through the compositor (a virtual pointer on sway, fake
input on KWin); where the fish are comes from Orvella's own list of its
surfaces and from screenshots of the compositor's output.

Run as its own ctest entry: when no compositor can start here every test is
skipped and the run exits with 77, which ctest counts and prints as a skip."""

import os
import subprocess
import time

from harness import BINARY, wait_until
from wayland_harness import CompositorTest, KWinDesktop, NoScreenshot, SwayDesktop, Unavailable, main
import wl_kwin  # its tests are not this module's: not imported by name


class NativeTest(CompositorTest):
    native = True

    def setUp(self):
        super().setUp()
        self.entry, self.launches = self.desktop.install_launcher()
        self.orvella.write_defaults({"Orvella.applicationPaths": [self.entry]})

    def fish(self):
        found = wait_until(lambda: self.desktop.windows(), timeout=2)
        self.assertEqual(len(found), 1, found)
        return found[0]

    def launched(self):
        return len(os.listdir(self.launches))

    def settled(self):
        """The fish, once it has held still for half a second."""
        previous = None

        def still():
            nonlocal previous
            now = self.fish()
            same = previous is not None and (now["x"], now["y"]) == (previous["x"], previous["y"])
            previous = now
            return same and now
        return wait_until(still, timeout=20, interval=0.5)

    def terminal(self, width, height, x, y, **kw):
        try:
            return self.desktop.native_window(width, height, x, y, **kw)
        except Unavailable as e:
            self.unavailable(e)

    def click_fish_and_see_it_open(self):
        # The fish swims on between the look and the click: a click that
        # found only water is tried again (it must not open anything).
        for _ in range(3):
            f = self.fish()
            self.desktop.click(f["x"] + 56, f["y"] + 56)
            if wait_until(lambda: self.launched() > 0, timeout=2):
                break
        self.assertTrue(wait_until(lambda: self.launched() == 1, timeout=3), "the click did not open")
        time.sleep(0.5)
        self.assertEqual(self.launched(), 1)
        self.assertEqual(self.orvella.read_defaults()["Orvella.appOpenCounts"], {self.entry: 1})


class RestingPointer:
    """A fish that swims under a pointer at rest takes its next press."""

    def test_a_fish_swimming_under_a_resting_pointer_takes_the_next_click(self):
        self.desktop.pointer(5, 5)
        self.orvella.start(fish=1)
        # Still water: the fish rests at its place on the rim; learn it.
        self.desktop.dbus("SetStillWaterMode", "true")
        rest = self.settled()
        self.assertTrue(rest, "the fish did not come to rest")
        # It swims off; the pointer waits where it will rest again.
        self.desktop.dbus("SetStillWaterMode", "false")
        away = lambda: (lambda f: abs(f["x"] - rest["x"]) + abs(f["y"] - rest["y"]) > 250)(self.fish())
        self.assertTrue(wait_until(away, timeout=20), self.fish())
        self.desktop.pointer(rest["x"] + 56, rest["y"] + 56)
        self.desktop.dbus("SetStillWaterMode", "true")
        back = self.settled()
        self.assertEqual((back["x"], back["y"]), (rest["x"], rest["y"]))
        # The pointer has not moved since: the press still finds the fish.
        self.desktop.drive("press", "release")
        self.assertTrue(wait_until(lambda: self.launched() == 1, timeout=5),
                        "the press went past the fish that came under the pointer")


class SwayNative(RestingPointer, NativeTest):
    def make_desktop(self):
        return SwayDesktop("1440x900", compositor=False, wm=None)

    def fractional(self):
        """Whether this sway is 1.8 or later (fractional scale, and
        headless outputs that can be turned off)."""
        import json
        version = json.loads(self.desktop.output(["swaymsg", "-r", "-t", "get_version"]))
        return (version["major"], version["minor"]) >= (1, 8)

    def setUp(self):
        super().setUp()
        # The virtual pointer is the seat's only one: there before Orvella,
        # as a desktop's mouse is.
        self.desktop.pointer(5, 5)

    def test_a_press_whose_pointer_goes_away_ends_and_the_fish_swims_and_opens_again(self):
        self.orvella.start(fish=1)
        # Pressed and dragged to a place of our own (a press that found
        # only water, the fish having swum on, is let go and tried again).
        for _ in range(4):
            f = self.fish()
            self.desktop.drive(f"move {f['x'] + 56} {f['y'] + 56}", "press", "move 700 450")
            time.sleep(0.4)
            g = self.fish()
            if abs(g["x"] + 56 - 700) < 40 and abs(g["y"] + 56 - 450) < 40:
                break
            self.desktop.drive("release")
        else:
            self.fail("the fish was never caught")
        # Then the only pointer goes (a mouse unplugged mid-drag): no
        # release will come.
        self.desktop.driver_proc.kill()
        self.desktop.driver_proc.wait(timeout=5)
        self.desktop.driver_proc = None
        time.sleep(0.5)
        # A new pointer: the fish swims on, the press opened nothing, and
        # the next click on it opens it.
        self.desktop.pointer(5, 5)
        held = self.fish()
        self.assertTrue(wait_until(lambda: (self.fish()["x"], self.fish()["y"]) != (held["x"], held["y"]), timeout=5),
                        "the fish stayed held")
        self.assertEqual(self.launched(), 0)
        self.click_fish_and_see_it_open()

    def test_losing_the_compositor_is_said_and_ends_with_a_failure(self):
        self.orvella.start(fish=1)
        self.assertTrue(wait_until(lambda: self.desktop.windows(), timeout=10))
        self.desktop.compositor.kill()
        self.assertTrue(wait_until(lambda: self.orvella.proc.poll() is not None, timeout=10), "Orvella kept running")
        self.assertNotEqual(self.orvella.proc.returncode, 0)
        with open(self.orvella.log, errors="replace") as f:
            self.assertRegex(f.read(), r"(?i)wayland.*(compositor|connection)")

    def test_without_a_choice_a_compositor_with_layer_surfaces_gets_the_wayland_backend(self):
        self.orvella.args = ()
        self.orvella.start()
        # Only the Wayland backend lists its surfaces on the bus.
        self.assertTrue(wait_until(lambda: len(self.desktop.windows()) == 1, timeout=10),
                        "the fish is no Wayland surface")

    def test_a_fish_is_drawn_above_a_native_window_swims_and_opens_on_a_click(self):
        terminal = self.terminal(1440, 900, 0, 0, tiled=True)
        self.addCleanup(terminal.kill)
        self.orvella.start(fish=1)
        self.assertEqual(self.fish()["w"], 112)
        # Above the terminal: its icon is drawn where the fish is. (Read
        # before the process stops, as a stopped one does not answer.)
        f = self.fish()
        self.orvella.freeze()
        shot = self.desktop.screenshot()
        colours = set(shot.region(f["x"] + 28, f["y"] + 28, 56, 56))
        beneath = set(shot.region(700, 880, 20, 20))  # the terminal, far from the fish
        self.orvella.thaw()
        self.assertGreater(len(colours - beneath), 20, "no fish drawn over the terminal")
        # It swims.
        self.assertTrue(wait_until(lambda: (self.fish()["x"], self.fish()["y"]) != (f["x"], f["y"]), timeout=3))
        self.click_fish_and_see_it_open()

    def test_clicks_on_a_transparent_corner_and_on_the_water_reach_the_window_beneath(self):
        beneath = self.terminal(1440, 900, 0, 0, tiled=True)  # the whole output
        self.addCleanup(beneath.kill)
        # In the middle, where no fish rests (weston-terminal keeps its own
        # size, 742 x 427, whatever sway asks).
        other = self.terminal(742, 427, 349, 236)
        self.addCleanup(other.kill)
        self.orvella.start(fish=1)
        # Still water: the fish rests on the rim, over the terminal, and its
        # corner is exactly where it was read.
        self.desktop.dbus("SetStillWaterMode", "true")
        f = self.settled()
        self.assertTrue(f, "the fish did not come to rest")
        # The settings window opened at start (no tray here) took the focus.
        self.desktop.swaymsg(f"[pid={other.pid}]", "focus")
        self.assertTrue(wait_until(lambda: self.desktop.focused_pid() == other.pid, timeout=3))
        self.orvella.freeze()
        # The icon takes the click (the stopped process leaves it be)...
        self.desktop.click(f["x"] + 56, f["y"] + 56)
        time.sleep(0.5)
        self.assertEqual(self.desktop.focused_pid(), other.pid, "a click on the icon went through")
        # ...the corner of the fish's square is outside its input region.
        self.desktop.click(f["x"] + 12, f["y"] + 12)
        self.assertTrue(wait_until(lambda: self.desktop.focused_pid() == beneath.pid, timeout=3),
                        f"the click on the fish's corner did not reach the terminal: {f}")
        self.assertEqual(self.launched(), 0)
        self.orvella.thaw()
        self.desktop.dbus("SetStillWaterMode", "false")
        # The water of a food burst covers the display and takes no click.
        self.desktop.swaymsg(f"[pid={other.pid}]", "focus")
        self.assertTrue(wait_until(lambda: self.desktop.focused_pid() == other.pid, timeout=3))
        r = subprocess.run([BINARY, "--call"], env=self.desktop.env, capture_output=True, text=True, timeout=20)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(wait_until(lambda: self.desktop.windows("Orvella water: "), timeout=2), "no water")
        water = self.desktop.windows("Orvella water: ")[0]
        self.assertEqual((water["w"], water["h"]), (1440, 900))
        self.desktop.click(300, 200)
        self.assertTrue(self.desktop.windows("Orvella water: "), "the water had gone before the click")
        self.assertTrue(wait_until(lambda: self.desktop.focused_pid() == beneath.pid, timeout=3),
                        "the click on the water did not reach the terminal")

    def test_a_fish_is_dragged_onto_a_second_output_and_its_pill_follows(self):
        self.desktop.swaymsg("create_output")
        self.desktop.swaymsg("output", "HEADLESS-1", "position", "0", "0")
        self.desktop.swaymsg("output", "HEADLESS-2", "resolution", "1440x900", "position", "1440", "0")
        self.desktop.restart_driver()
        self.assertEqual(self.desktop.layout_size(), (2880, 900))
        self.desktop.pointer(5, 5)
        self.orvella.write_defaults({"Orvella.applicationPaths": [self.entry],
                                     "Orvella.unreadBadgeMonitoringEnabled": True})
        self.orvella.start(fish=1)
        f = self.fish()
        self.desktop.drive(f"move {f['x'] + 56} {f['y'] + 56}", "press")
        target = (2200, 400)
        steps = 12
        for i in range(1, steps + 1):
            x = f["x"] + 56 + (target[0] - f["x"] - 56) * i // steps
            y = f["y"] + 56 + (target[1] - f["y"] - 56) * i // steps
            self.desktop.drive(f"move {x} {y}")
            time.sleep(0.03)
        time.sleep(0.2)
        # Held: the fish is where the pointer carried it.
        f = self.fish()
        self.assertLess(abs(f["x"] + 56 - target[0]) + abs(f["y"] + 56 - target[1]), 8, f)
        self.desktop.drive("release")
        time.sleep(0.3)
        self.assertEqual(self.launched(), 0, "a drag opened the application")
        # A count comes: the pill shows at the fish's corner (the fish darts
        # to the pointer on the rise, and its pill with it).
        announcer = self.desktop.announcer()
        announcer.emit("orvella-test-launcher", 3)
        self.assertTrue(wait_until(lambda: self.desktop.windows("Orvella badge: "), timeout=8), "no pill")
        time.sleep(2)
        # Drawn on the second output, with its pill at its corner.
        f = self.fish()
        pill = self.desktop.windows("Orvella badge: ")[0]
        self.orvella.freeze()
        shot = self.desktop.screenshot()
        self.orvella.thaw()
        self.assertGreater(len(set(shot.region(f["x"] + 28, f["y"] + 28, 56, 56))), 20)
        overlap = (min(f["x"] + 112, pill["x"] + pill["w"]) - max(f["x"], pill["x"]),
                   min(f["y"] + 112, pill["y"] + pill["h"]) - max(f["y"], pill["y"]))
        self.assertTrue(overlap[0] > 0 and overlap[1] > 0, (f, pill))
        self.assertGreater(pill["x"] + pill["w"] / 2, f["x"] + 56, "the pill is not at the fish's right")

    def test_without_xdg_output_outputs_are_measured_in_logical_points_turned_and_scaled(self):
        # Without xdg-output only the output's mode, transform and scale,
        # and the host's configure, tell its size in points.
        self.desktop.env["ORVELLA_WAYLAND_WITHOUT"] = "zxdg_output_manager_v1"
        for scale, transform, (width, height) in (("1", "90", (900, 1440)), ("2", "normal", (720, 450))):
            self.desktop.swaymsg("output", "HEADLESS-1", "scale", scale, "transform", transform)
            self.desktop.restart_driver()
            self.assertEqual(self.desktop.layout_size(), (width, height))
            self.orvella.start(fish=1)
            # The water of a call covers the display Orvella measured.
            r = subprocess.run([BINARY, "--call"], env=self.desktop.env, capture_output=True, text=True, timeout=20)
            self.assertEqual(r.returncode, 0, r.stderr)
            water = wait_until(lambda: self.desktop.windows("Orvella water: "), timeout=3)
            self.assertTrue(water, "no water")
            self.assertEqual((water[0]["x"], water[0]["y"], water[0]["w"], water[0]["h"]), (0, 0, width, height),
                             (scale, transform))
            self.orvella.stop()

    def test_an_output_turned_off_and_on_again_keeps_its_identifier(self):
        import re
        self.desktop.swaymsg("create_output")
        place = ("output", "HEADLESS-2", "resolution", "1440x900", "position", "1440", "0")
        self.desktop.swaymsg(*place)
        self.desktop.restart_driver()
        self.desktop.pointer(5, 5)
        self.orvella.start(fish=1)

        def displays():
            found = re.search(r"'displays': <\[(.*?)\]>", self.desktop.dbus("Desktop", check=False).stdout)
            return sorted(re.findall(r"'([^']*)'", found.group(1))) if found else []
        before = wait_until(lambda: len(displays()) == 2 and displays(), timeout=5)
        self.assertTrue(before, displays())
        self.desktop.swaymsg("output", "HEADLESS-2", "disable")
        if not self.fractional() and not wait_until(lambda: len(displays()) == 1, timeout=3):
            self.allowed_skip = True
            self.skipTest("sway 1.7 leaves a headless output on when told to disable it")
        self.assertTrue(wait_until(lambda: len(displays()) == 1, timeout=5), displays())
        self.assertIn(displays()[0], before)
        self.desktop.swaymsg("output", "HEADLESS-2", "enable")
        self.desktop.swaymsg(*place)
        self.assertTrue(wait_until(lambda: len(displays()) == 2, timeout=5), displays())
        self.assertEqual(displays(), before, "the output came back under another identifier")

    def test_fish_stay_112_points_on_2x_and_on_1_5x_outputs(self):
        for scale, logical in (("2", (720, 450)), ("1.5", (960, 600))):
            self.desktop.swaymsg("output", "HEADLESS-1", "scale", scale)
            self.desktop.restart_driver()
            self.assertEqual(self.desktop.layout_size(), logical)
            self.desktop.pointer(5, 5)
            self.orvella.start(fish=1)
            f = self.fish()
            self.assertEqual((f["w"], f["h"]), (112, 112))
            # Drawn at 1.5 pixels a point where sway offers fractional
            # scale (1.8 on), else at two (sway brings it down to 1.5x).
            self.assertEqual(f["pixels"], 168 if scale == "1.5" and self.fractional() else 224)
            f = self.fish()
            self.orvella.freeze()
            shot = self.desktop.screenshot()
            self.orvella.thaw()
            s = float(scale)
            self.assertEqual((shot.width, shot.height), (int(logical[0] * s), int(logical[1] * s)))
            centre = set(shot.region(int((f["x"] + 40) * s), int((f["y"] + 40) * s), int(32 * s), int(32 * s)))
            self.assertGreater(len(centre), 20, "no fish drawn at the scaled place")
            if scale == "2":
                self.click_fish_and_see_it_open()
            self.orvella.stop()


class KWinNative(NativeTest):
    outputs = 2

    def make_desktop(self):
        return KWinDesktop("1440x900", outputs=self.outputs)

    def test_fish_open_on_a_click_and_the_school_follows_the_pointer_to_the_other_output(self):
        terminal = self.terminal(800, 600, 300, 150)
        self.addCleanup(terminal.kill)
        self.orvella.write_defaults({"Orvella.applicationPaths": [self.entry] * 1})
        self.desktop.pointer(700, 450)
        self.orvella.start(fish=1)
        self.assertTrue(wait_until(lambda: self.fish()["x"] < 1440, timeout=20), self.fish())
        self.click_fish_and_see_it_open()
        # KWin's script reports the pointer on the other output.
        self.desktop.pointer(2160, 450)
        self.assertTrue(wait_until(lambda: self.fish()["x"] >= 1440, timeout=20), self.fish())
        f = self.fish()
        self.desktop.click(f["x"] + 56, f["y"] + 56)
        self.assertTrue(wait_until(lambda: self.launched() == 2, timeout=5), "no click on the second output")


class KWinNativeLaunches(CompositorTest):
    """As in the KWin session through XWayland: the launched native window
    takes the focus from the one that had it."""
    native = True
    make_desktop = lambda self: KWinDesktop("1440x900", outputs=1)
    reporting = wl_kwin.KWinSession.reporting
    wait_for_script = wl_kwin.KWinSession.wait_for_script
    test_a_click_on_a_fish_whose_application_is_not_running_launches_it_with_the_focus = \
        wl_kwin.KWinSession.test_a_click_on_a_fish_whose_application_is_not_running_launches_it_with_the_focus


class KWinNativeOneOutput(RestingPointer, NativeTest):
    scale = 1

    def make_desktop(self):
        return KWinDesktop("1440x900", outputs=1, scale=self.scale)

    def test_clicks_through_the_corner_and_the_water_and_a_drag_carries_the_fish(self):
        beneath = self.terminal(1000, 700, 100, 100)
        self.addCleanup(beneath.kill)
        self.desktop.pointer(1400, 880)
        self.orvella.start(fish=1)
        over = lambda f: 120 < f["x"] < 960 and 120 < f["y"] < 640
        self.assertTrue(wait_until(lambda: over(self.fish()), timeout=40), self.fish())
        # Drawn above the terminal (KWin's own screenshot, where KWin takes
        # one: KWin 6 on its software renderer cancels them).
        f = self.fish()
        self.orvella.freeze()
        try:
            shot = self.desktop.screenshot()
        except NoScreenshot as e:
            shot = None
            print(f"not looked at: KWin takes no screenshot here ({e})")
        self.orvella.thaw()
        if shot:
            self.assertEqual((shot.width, shot.height), (1440, 900))
            beneath_colours = set(shot.region(1050, 700, 20, 20))
            self.assertGreater(len(set(shot.region(f["x"] + 36, f["y"] + 36, 40, 40)) - beneath_colours), 20,
                               "no fish drawn over the terminal")
        # The settings window (no tray here) has the focus; the terminal
        # gets it back only from a click that reaches it.
        self.assertNotEqual(self.desktop.focused_pid(), beneath.pid)
        f = self.fish()
        self.orvella.freeze()
        self.desktop.click(f["x"] + 12, f["y"] + 12)
        self.orvella.thaw()
        self.assertTrue(wait_until(lambda: self.desktop.focused_pid() == beneath.pid, timeout=5),
                        f"the click on the fish's corner did not reach the terminal: {f}")
        self.assertEqual(self.launched(), 0)
        # The water takes no click either.
        other = self.terminal(250, 300, 1150, 100)  # takes the focus as it maps
        self.addCleanup(other.kill)
        self.assertTrue(wait_until(lambda: self.desktop.focused_pid() == other.pid, timeout=5))
        self.desktop.dbus("Attract")
        self.assertTrue(wait_until(lambda: self.desktop.windows("Orvella water: "), timeout=2), "no water")
        self.desktop.click(150, 760)
        self.assertTrue(wait_until(lambda: self.desktop.focused_pid() == beneath.pid, timeout=5),
                        "the click on the water did not reach the terminal")
        # A drag carries the fish.
        time.sleep(2)
        f = self.fish()
        x, y = f["x"] + 56, f["y"] + 56
        self.desktop.drive(f"move {x} {y}", "press")
        for step in range(1, 11):
            self.desktop.drive(f"move {x + 20 * step} {y + 10 * step}")
            time.sleep(0.03)
        time.sleep(0.2)
        dragged = self.fish()
        self.desktop.drive("release")
        self.assertLess(abs(dragged["x"] - (f["x"] + 200)) + abs(dragged["y"] - (f["y"] + 100)), 8, (f, dragged))
        self.assertEqual(self.launched(), 0, "a drag opened the application")


class KWinNativeFractional(NativeTest):
    # Where KWin's outputs cannot be scaled here, this one test skips; the
    # others run.
    allowed_skip = True

    def make_desktop(self):
        return KWinDesktop("1440x900", outputs=1, scale=1.5)

    def test_a_fish_on_a_1_5x_output_is_drawn_at_168_pixels(self):
        if not self.desktop.scaled:
            self.skipTest("KWin 6 makes its virtual outputs 1x whatever --scale says, and lets no test "
                          "client change their scale here")
        self.orvella.start(fish=1)
        f = self.fish()
        self.assertEqual((f["w"], f["h"]), (112, 112))
        # KWin offers fractional scaling: drawn at exactly 1.5 pixels a point.
        self.assertEqual(f["pixels"], 168)
        self.click_fish_and_see_it_open()


if __name__ == "__main__":
    main()
