"""Orvella in a GNOME Shell session (headless, on virtual monitors, with
XWayland), through the shell extension `orvella --install-gnome-extension`
put in place: three clicks on the desktop background call the school and
with Alt scatter it, the focused native window is avoided, the pointer's
display becomes the active one, and the extension going away and coming
back mid-run is followed. Without the extension the settings panel says how
to get it.

Run as its own ctest entry: when GNOME Shell cannot start here every test is
skipped and the run exits with 77, which ctest counts and prints as a skip."""

import json
import math
import os
import re
import subprocess
import time

from harness import BINARY, TEST_APPS, wait_until
from wayland_harness import CompositorTest, GnomeDesktop, Unavailable, main

UUID = "orvella@orvella.org"


class GnomeSession(CompositorTest):
    outputs = 1
    extension = True

    tamper = None

    def make_desktop(self):
        desktop = GnomeDesktop("1280x800", outputs=self.outputs, extension=self.extension)
        desktop.tamper = self.tamper
        return desktop

    def mean_distance(self, x, y):
        cs = self.centres()
        return sum(math.hypot(cx - x, cy - y) for cx, cy in cs) / len(cs)

    def menu(self):
        return self.desktop.dbus("TrayMenu").stdout

    def quiet_spot(self, near=(200, 680)):
        """The point of the desktop background nearest `near` that is clear
        of every fish and of the settings window: a click that lands on a
        fish is that fish's, not the desktop's, and the school swims
        everywhere."""
        g = self.desktop.geometry("Orvella Settings")
        settings = (g[0] - 40, g[1] - 40, g[2] + 80, g[3] + 80) if g else (0, 0, 0, 0)
        covered = lambda x, y: settings[0] <= x < settings[0] + settings[2] and settings[1] <= y < settings[1] + settings[3]
        centres = self.centres()
        spots = [(x, y) for x in range(120, 1200, 40) for y in range(140, 760, 40) if not covered(x, y)]
        clear = [p for p in spots if all(math.hypot(p[0] - cx, p[1] - cy) > 140 for cx, cy in centres)] or spots
        return min(clear, key=lambda p: math.hypot(p[0] - near[0], p[1] - near[1]))

    # The panel's tabs with the gesture and the avoidance rows.
    TABS = {"gestureNote": "tab2", "avoidanceNote": "tab3"}
    # A row always shown on each tab: the note itself may be empty and hidden.
    ROWS = {"gestureNote": "openModifier", "avoidanceNote": "avoidance"}

    def shown(self, item):
        g = re.findall(r"-?\d+", self.desktop.dbus("ItemGeometry", item, check=False).stdout)
        return len(g) == 4 and int(g[2]) > 0

    def where(self):
        """Where the pointer is, as XWayland and the extension see it."""
        x = self.desktop.output(["xdotool", "getmouselocation"], check=False).strip()
        state = self.desktop.output(["gdbus", "call", "--session", "--dest", "org.orvella.GnomeShell",
                                     "--object-path", "/org/orvella/GnomeShell", "--method",
                                     "org.orvella.GnomeShell.GetState"], check=False).strip()
        return x, state

    def note(self, name):
        """The note under a panel row, as the user sees it: the settings
        window opened and the row's tab clicked."""
        self.desktop.dbus("ShowSettings")
        wait_until(lambda: "true" in self.desktop.dbus("SettingsWindowOpen").stdout, timeout=3)
        # A click the shell spends on raising the window, or that a fish
        # swimming by takes, leaves the tab unchanged: click again.
        tries = []
        for attempt in range(6):
            tab = self.desktop.dbus("ItemGeometry", self.TABS[name], check=False).stdout.strip()
            if attempt:
                # GNOME Shell 50 now and then leaves XWayland without the
                # pointer after a move (XWayland still has it where it
                # was): come at the tab again from inside the window.
                g = [int(v) for v in re.findall(r"-?\d+", tab)]
                if len(g) == 4:
                    self.desktop.pointer(g[0] + g[2] // 2, g[1] + g[3] + 30)
            self.desktop.click_item(self.TABS[name])
            if wait_until(lambda: self.shown(self.ROWS[name]), timeout=1.5):
                break
            # The settings window is XWayland's: when the shell's clicks do
            # not reach it, XWayland's own test input clicks it directly.
            g = [int(v) for v in re.findall(r"-?\d+", tab)]
            if attempt >= 2 and len(g) == 4:
                self.desktop.output(["xdotool", "mousemove", str(g[0] + g[2] // 2), str(g[1] + g[3] // 2),
                                     "click", "1"], check=False)
                if wait_until(lambda: self.shown(self.ROWS[name]), timeout=1.5):
                    break
            tries.append((tab, self.where(), self.desktop.geometry("Orvella Settings"),
                          [(w["x"], w["y"], w["w"], w["h"]) for w in self.desktop.windows()]))
        else:
            shot = os.path.join(os.environ.get("ORVELLA_E2E_ARTIFACTS", "/tmp"), f"{self.id()}.png")
            subprocess.run(["/usr/bin/python3", os.path.join(os.path.dirname(os.path.abspath(__file__)),
                            "gnome_screenshot.py"), shot], env=self.desktop.env, timeout=20)
            raise AssertionError(f"the {self.TABS[name]} tab never showed its rows: {tries}; {shot}")
        time.sleep(0.4)
        return self.desktop.dbus("ItemText", name, check=False).stdout

    def test_three_clicks_on_the_background_call_the_school_and_with_alt_scatter_it(self):
        self.orvella.start(fish=len(TEST_APPS))
        # The shell reports desktop clicks: the menu needs no stand-ins.
        self.assertTrue(wait_until(lambda: "召唤鱼群" not in self.menu(), timeout=5), self.menu())
        time.sleep(1)
        # Away from the fish and the settings window (open: there is no tray).
        x, y = self.quiet_spot()
        self.desktop.clicks(x, y, 3)
        self.assertTrue(wait_until(lambda: self.desktop.windows("Orvella water: "), timeout=2),
                        ("no food burst", (x, y), self.where()))
        self.assertTrue(wait_until(lambda: self.mean_distance(x + 56, y - 56) < 110, timeout=3),
                        self.mean_distance(x + 56, y - 56))
        time.sleep(2.5)  # the burst is over
        self.desktop.clicks(x, y, 3, alt=True)
        self.assertTrue(wait_until(lambda: self.mean_distance(x + 56, y - 56) > 300, timeout=3),
                        self.mean_distance(x + 56, y - 56))
        # Two clicks are no gesture.
        time.sleep(2.5)
        self.desktop.clicks(1100, 680, 2)
        time.sleep(0.8)
        self.assertFalse(self.desktop.windows("Orvella water: "))

    def test_a_press_on_the_top_bar_is_no_desktop_click(self):
        self.orvella.start(fish=len(TEST_APPS))
        self.assertTrue(wait_until(lambda: "召唤鱼群" not in self.menu(), timeout=5), self.menu())
        time.sleep(1)
        # The top bar's empty middle, between the Activities button and the
        # clock, then two clicks on the background: two desktop clicks.
        x, y = self.quiet_spot()
        self.desktop.clicks(400, 12, 1)
        self.desktop.clicks(x, y, 2)
        time.sleep(0.8)
        self.assertFalse(self.desktop.windows("Orvella water: "), "the top bar's press counted")
        # Three on the background do call it.
        time.sleep(1)
        x, y = self.quiet_spot()
        self.desktop.clicks(x, y, 3)
        self.assertTrue(wait_until(lambda: self.desktop.windows("Orvella water: "), timeout=2),
                        ("no food burst", (x, y), self.where(), self.centres()))

    def test_the_focused_native_window_is_avoided(self):
        self.orvella.write_defaults({"Orvella.windowAvoidanceEnabled": True})
        self.orvella.start(fish=len(TEST_APPS))
        # No note under the row: this desktop tells. (Read first: clicking
        # the panel gives Orvella's own window the focus.)
        self.assertEqual(self.note("avoidanceNote"), "('',)\n")
        try:
            terminal, frame = self.desktop.native_window()
        except Unavailable as e:
            self.unavailable(e)
        self.addCleanup(terminal.kill)
        self.assertGreater(frame["width"] * frame["height"], 100 * 100, frame)
        self.assert_window_avoided(frame["x"], frame["y"], frame["width"], frame["height"])

    def test_a_click_on_a_running_native_applications_fish_brings_its_window_forward(self):
        try:
            terminal, _ = self.desktop.native_window()
        except Unavailable as e:
            self.unavailable(e)
        self.addCleanup(terminal.kill)
        listed = lambda: [w for w in (self.desktop.extension_state() or {}).get("windows", [])
                          if w.get("pid") == terminal.pid]
        self.assertTrue(wait_until(listed, timeout=5), self.desktop.extension_state())
        name = listed()[0]["app"] or listed()[0]["instance"]
        apps = os.path.join(self.desktop.env["XDG_DATA_HOME"], "applications")
        os.makedirs(apps, exist_ok=True)
        entry = os.path.join(apps, name + ".desktop")
        with open(entry, "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Terminal\nExec=weston-terminal --shell=/bin/sh\n")
        self.orvella.write_defaults({"Orvella.applicationPaths": [entry]})
        self.orvella.start(fish=1)
        focused_pid = lambda: ((self.desktop.extension_state() or {}).get("window") or {}).get("pid")
        for click in range(3):
            # Orvella's own window takes the focus.
            self.desktop.dbus("ShowSettings")
            self.assertTrue(wait_until(lambda: focused_pid() == self.orvella.proc.pid, timeout=5), focused_pid())
            # The fish swims on between the look and the click: a click that
            # found only water is tried again.
            for _ in range(4):
                fish = wait_until(lambda: self.desktop.windows(), timeout=3)
                self.assertTrue(fish, "no fish")
                self.desktop.clicks(fish[0]["x"] + 56, fish[0]["y"] + 56, 1)
                if wait_until(lambda: focused_pid() == terminal.pid, timeout=2):
                    break
            self.assertEqual(focused_pid(), terminal.pid, f"click {click + 1} left the focus elsewhere")
        time.sleep(1)  # a second terminal would have mapped by now
        terminals = [w for w in self.desktop.extension_state()["windows"] if name in (w["app"], w["instance"])]
        self.assertEqual(len(terminals), 1, terminals)
        self.assertEqual(self.orvella.read_defaults()["Orvella.appOpenCounts"], {entry: 3})

    def test_a_click_on_a_fish_whose_application_is_not_running_launches_it_with_the_focus(self):
        try:
            entry, token = self.launched_entry("org.orvella.Launched")
        except Unavailable as e:
            self.unavailable(e)
        self.orvella.write_defaults({"Orvella.applicationPaths": [entry]})
        self.orvella.start(fish=1)
        state = lambda: self.desktop.extension_state() or {}
        focused_pid = lambda: (state().get("window") or {}).get("pid")
        # Orvella's own window has the focus.
        self.desktop.dbus("ShowSettings")
        self.assertTrue(wait_until(lambda: focused_pid() == self.orvella.proc.pid, timeout=5), focused_pid())
        self.click_fish_until(lambda: os.path.exists(token), "the click launched nothing", settle=5)
        launched = lambda: [w["pid"] for w in state().get("windows", []) if w.get("instance") == "org.orvella.Launched"
                            or w.get("app") == "org.orvella.Launched"]
        self.assertTrue(wait_until(lambda: launched() and focused_pid() in launched(), timeout=5),
                        f"the focus-window is {state().get('window')}, not the launched one {launched()}")
        self.assertEqual(self.orvella.read_defaults()["Orvella.appOpenCounts"], {entry: 1})

    def test_the_extension_going_away_and_coming_back(self):
        self.orvella.start(fish=len(TEST_APPS))
        self.assertTrue(wait_until(lambda: "召唤鱼群" not in self.menu(), timeout=5))
        self.desktop.extension_call("DisableExtension", UUID)
        # Orvella keeps running, says what is missing and offers the menu.
        self.assertTrue(wait_until(lambda: "召唤鱼群" in self.menu(), timeout=5), self.menu())
        self.assertIn("在“扩展”应用中启用 Orvella 扩展", self.note("gestureNote"))
        self.assertIn("在“扩展”应用中启用 Orvella 扩展", self.note("avoidanceNote"))
        fish = self.desktop.windows()
        time.sleep(1.5)
        self.assertNotEqual(fish, self.desktop.windows(), "the school stopped")
        self.desktop.extension_call("EnableExtension", UUID)
        self.assertTrue(wait_until(lambda: "召唤鱼群" not in self.menu(), timeout=5), self.menu())
        self.assertEqual(self.note("gestureNote"), "('',)\n")
        time.sleep(1)
        self.desktop.clicks(*self.quiet_spot(), 3)
        self.assertTrue(wait_until(lambda: self.desktop.windows("Orvella water: "), timeout=2), "no food burst")
        self.assertIsNone(self.orvella.proc.poll())


    def test_reports_go_to_orvella_alone_and_stop_when_it_quits(self):
        monitor = self.desktop.spawn(["dbus-monitor", "--session",
                                      "type='signal',interface='org.orvella.GnomeShell'"],
                                     stdout=subprocess.PIPE, text=True)
        self.orvella.start(fish=len(TEST_APPS))
        self.desktop.pointer(300, 300)
        self.desktop.pointer(310, 320)
        time.sleep(0.5)
        self.orvella.stop()
        time.sleep(0.5)
        self.desktop.pointer(700, 500)
        self.desktop.pointer(720, 520)
        time.sleep(0.5)
        monitor.terminate()
        out = monitor.communicate(timeout=5)[0]
        reports = [line for line in out.splitlines() if "member=Report" in line]
        self.assertTrue(reports, out[-800:])
        # Sent to one name, not broadcast.
        self.assertTrue(all("destination=:" in line for line in reports), reports)
        self.assertIn('"x":310', out)
        self.assertNotIn('"x":720', out, "reports went on after Orvella quit")


class GnomeWithoutTheExtension(GnomeSession):
    extension = False

    test_three_clicks_on_the_background_call_the_school_and_with_alt_scatter_it = None
    test_a_press_on_the_top_bar_is_no_desktop_click = None
    test_the_focused_native_window_is_avoided = None
    test_the_extension_going_away_and_coming_back = None
    test_reports_go_to_orvella_alone_and_stop_when_it_quits = None
    test_a_click_on_a_running_native_applications_fish_brings_its_window_forward = None
    test_a_click_on_a_fish_whose_application_is_not_running_launches_it_with_the_focus = None

    def test_the_panel_says_to_install_the_extension_and_the_menu_calls_the_school(self):
        self.orvella.start(fish=len(TEST_APPS))
        self.assertTrue(wait_until(lambda: "orvella --install-gnome-extension" in self.note("gestureNote"),
                                   timeout=5), self.note("gestureNote"))
        self.assertIn("orvella --install-gnome-extension", self.note("avoidanceNote"))
        self.assertIn("召唤鱼群", self.menu())


def break_extension(folder):
    """An extension that fails as the shell enables it."""
    with open(os.path.join(folder, "extension.js"), "a") as f:
        f.write("\nthrow new Error('broken on purpose');\n")


def date_extension(folder):
    """The copy an older Orvella left: it names older shells only."""
    path = os.path.join(folder, "metadata.json")
    with open(path) as f:
        metadata = json.load(f)
    metadata["shell-version"] = ["42"]
    with open(path, "w") as f:
        json.dump(metadata, f)


class GnomeWithABrokenExtension(GnomeWithoutTheExtension):
    extension = True
    tamper = staticmethod(break_extension)

    test_the_panel_says_to_install_the_extension_and_the_menu_calls_the_school = None

    def test_the_panel_names_the_shell_that_could_not_run_it_and_does_not_say_enable(self):
        self.orvella.start(fish=len(TEST_APPS))
        major = self.desktop.shell_version().split(".")[0]
        self.assertTrue(wait_until(lambda: f"GNOME Shell {major} 未能运行" in self.note("gestureNote"),
                                   timeout=12),
                        (self.note("gestureNote"), self.desktop.dbus("Desktop", check=False).stdout,
                         self.desktop.extension_call("GetExtensionInfo", UUID)))
        self.assertNotIn("启用", self.note("avoidanceNote"))
        self.assertIn("召唤鱼群", self.menu())
        # The command says so too, rather than that it is enabled.
        r = subprocess.run([BINARY, "--install-gnome-extension"], env=self.desktop.env, capture_output=True,
                           text=True, timeout=30)
        self.assertEqual(r.returncode, 1, r.stdout + r.stderr)
        self.assertIn(f"GNOME Shell {major} could not run Orvella's extension.", r.stderr)


class GnomeWithAnOutdatedExtension(GnomeWithoutTheExtension):
    extension = True
    tamper = staticmethod(date_extension)

    test_the_panel_says_to_install_the_extension_and_the_menu_calls_the_school = None

    def test_the_shell_finds_it_out_of_date_and_the_panel_says_to_install_this_one(self):
        # The shell's own word for it (4: out of date), as gnome-extensions
        # prints it on Shell 50 ("State: OUT OF DATE").
        info = self.desktop.extension_call("GetExtensionInfo", UUID)
        self.assertRegex(info, r"'state': <4(\.0)?>", info)
        self.orvella.start(fish=len(TEST_APPS))
        self.assertTrue(wait_until(lambda: "orvella --install-gnome-extension" in self.note("gestureNote"),
                                   timeout=5), self.note("gestureNote"))
        self.assertNotIn("在“扩展”应用中启用", self.note("avoidanceNote"))
        # Installing this Orvella's copy says nothing is wrong with this shell.
        out = self.desktop.output([BINARY, "--install-gnome-extension"])
        self.assertIn("Log out and in again", out)


class GnomeTwoMonitors(GnomeSession):
    outputs = 2

    test_three_clicks_on_the_background_call_the_school_and_with_alt_scatter_it = None
    test_a_press_on_the_top_bar_is_no_desktop_click = None
    test_the_focused_native_window_is_avoided = None
    test_the_extension_going_away_and_coming_back = None
    test_reports_go_to_orvella_alone_and_stop_when_it_quits = None
    test_a_click_on_a_running_native_applications_fish_brings_its_window_forward = None
    test_a_click_on_a_fish_whose_application_is_not_running_launches_it_with_the_focus = None

    def test_the_school_follows_the_pointer_to_the_other_monitor(self):
        self.desktop.pointer(640, 400)
        self.orvella.start(fish=len(TEST_APPS))
        self.assertTrue(wait_until(lambda: sum(x < 1280 for x, _ in self.centres()) >= len(TEST_APPS) - 1,
                                   timeout=20), self.centres())
        self.desktop.pointer(1920, 400)
        self.assertTrue(wait_until(lambda: sum(x >= 1280 for x, _ in self.centres()) >= len(TEST_APPS) - 1,
                                   timeout=20), self.centres())
        self.desktop.pointer(600, 300)
        self.assertTrue(wait_until(lambda: sum(x < 1280 for x, _ in self.centres()) >= len(TEST_APPS) - 1,
                                   timeout=20), self.centres())


if __name__ == "__main__":
    main()
