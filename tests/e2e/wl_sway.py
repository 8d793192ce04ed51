"""Orvella in a sway session (headless, with XWayland): the focused native
window is avoided through sway's IPC, calling the school works without
desktop clicks (orvella --call), the settings window floats, and a click on
a running native application's fish brings its window forward instead of
opening another, on both of Orvella's backends.

Run as its own ctest entry: when sway cannot start here every test is
skipped and the run exits with 77, which ctest counts and prints as a skip."""

import math
import os
import subprocess
import time

from harness import BINARY, TEST_APPS, wait_until
from wayland_harness import REQUIRED, CompositorTest, SwayDesktop, Unavailable, main


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



class BringsARunningApplicationForward:
    """A terminal (a native Wayland window, which XWayland cannot see) is in
    the catalogue and running, and another application has the focus: each
    click on the terminal's fish gives the terminal the focus and opens no
    second terminal. weston-terminal, and foot as people run it."""

    terminals = (("weston-terminal", "--shell=/bin/sh"), ("foot", "/bin/sh"))

    def make_desktop(self):
        return SwayDesktop("1440x900", compositor=False, wm=None)

    def node_of(self, proc):
        nodes = wait_until(lambda: [n for n in self.desktop.sway_nodes() if n.get("pid") == proc.pid], timeout=10)
        self.assertTrue(nodes, f"no window of process {proc.pid}")
        return nodes[0]

    def focused(self):
        return next((n for n in self.desktop.sway_nodes() if n.get("focused")), {})

    def test_a_click_on_a_running_native_applications_fish_brings_its_window_forward(self):
        ran = 0
        for terminal in self.terminals:
            with self.subTest(terminal=terminal[0]):
                try:
                    self.bring_forward(terminal)
                    ran += 1
                except Unavailable as e:
                    if REQUIRED:
                        raise AssertionError(f"required here, but unavailable: {e}")
        if not ran:
            self.skipTest("no native terminal is installed")

    def bring_forward(self, command):
        terminal = self.desktop.native_window(500, 300, 40, 40, terminal=command)
        self.addCleanup(terminal.kill)
        app_id = self.node_of(terminal).get("app_id")
        self.assertTrue(app_id, f"{command[0]} named no app id")
        apps = os.path.join(self.desktop.env["XDG_DATA_HOME"], "applications")
        os.makedirs(apps, exist_ok=True)
        entry = os.path.join(apps, app_id + ".desktop")
        with open(entry, "w") as f:
            f.write(f"[Desktop Entry]\nType=Application\nName=Terminal\nExec={' '.join(command)}\n")
        other = self.desktop.spawn(["weston-flower"])
        self.addCleanup(other.kill)
        other_con = self.node_of(other)["id"]
        self.orvella.write_defaults({"Orvella.applicationPaths": [entry]})
        self.orvella.start(fish=1)
        terminals = lambda: [n for n in self.desktop.sway_nodes() if n.get("app_id") == app_id]
        for click in range(3):
            self.desktop.swaymsg(f"[con_id={other_con}]", "focus")
            self.assertTrue(wait_until(lambda: self.focused().get("id") == other_con, timeout=3))
            self.click_fish_until(lambda: self.focused().get("app_id") == app_id,
                                  f"click {click + 1} left the focus elsewhere")
        time.sleep(1)  # a second terminal would have mapped by now
        self.assertEqual(len(terminals()), 1, [(n["id"], n["pid"]) for n in terminals()])
        self.assertEqual(self.focused().get("app_id"), app_id)
        self.assertEqual(self.orvella.read_defaults()["Orvella.appOpenCounts"], {entry: 3})
        # The next terminal starts from a clean slate.
        self.orvella.stop()
        for proc in (terminal, other):
            proc.kill()
            proc.wait()
        self.assertTrue(wait_until(lambda: not terminals(), timeout=5), "the terminal's window stayed")


class LaunchesWithTheFocus:
    """A fish whose application is not running launches it, and the new
    window, a native one, has the focus although another window had it.
    On the Wayland backend the program is handed the compositor's
    activation token, asked with the click's press."""

    def make_desktop(self):
        return SwayDesktop("1440x900", compositor=False, wm=None)

    def test_a_click_on_a_fish_whose_application_is_not_running_launches_it_with_the_focus(self):
        entry, token, other = self.launch_beside_another_window()
        nodes = wait_until(lambda: [n for n in self.desktop.sway_nodes() if n.get("pid") == other.pid], timeout=10)
        self.assertTrue(nodes, "weston-flower did not map")
        self.orvella.start(fish=1)
        self.desktop.swaymsg(f"[con_id={nodes[0]['id']}]", "focus")
        self.click_fish_until(lambda: os.path.exists(token), "the click launched nothing", settle=5)
        focused = lambda: next((n for n in self.desktop.sway_nodes() if n.get("focused")), {})
        self.assertTrue(wait_until(lambda: focused().get("app_id") == "org.orvella.Launched", timeout=5),
                        focused().get("app_id"))
        with open(token) as f:
            handed = f.read()
        if self.native:
            self.assertTrue(handed, "no activation token reached the launched program")
        self.assertEqual(self.orvella.read_defaults()["Orvella.appOpenCounts"], {entry: 1})


class SwayBringForwardThroughXWayland(BringsARunningApplicationForward, LaunchesWithTheFocus, CompositorTest):
    pass


class SwayBringForwardNative(BringsARunningApplicationForward, LaunchesWithTheFocus, CompositorTest):
    native = True


if __name__ == "__main__":
    main()
