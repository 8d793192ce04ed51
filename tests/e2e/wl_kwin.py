"""Orvella in a KDE Plasma session (kwin_wayland on virtual outputs, with
XWayland): through the KWin script Orvella loads, the focused native window
is avoided and the school follows the pointer to another output; the
script's shortcut calls the school; an unloaded script is loaded again.

Run as its own ctest entry: when KWin cannot start here every test is
skipped and the run exits with 77, which ctest counts and prints as a skip."""

import os
import time

from harness import TEST_APPS, wait_until
from wayland_harness import CompositorTest, KWinDesktop, Unavailable, main


class KWinSession(CompositorTest):
    outputs = 1

    def make_desktop(self):
        return KWinDesktop("1440x900", outputs=self.outputs)

    def reporting(self):
        out = self.desktop.dbus("Desktop", check=False).stdout
        return "'provider': <'kwin'>" in out and "'focusedWindow': <true>" in out

    def wait_for_script(self):
        """Loaded and running: its reports reach Orvella. (KWin was left
        with a freed script id at start, so the id Orvella is given names
        a throwaway script's object.)"""
        self.assertTrue(wait_until(lambda: self.desktop.script_loaded("orvella"), timeout=10),
                        "Orvella did not load its KWin script")
        self.assertTrue(wait_until(self.reporting, timeout=15),
                        "the KWin script never reported: " + self.desktop.dbus("Desktop", check=False).stdout)

    def test_the_focused_native_window_is_avoided(self):
        self.orvella.write_defaults({"Orvella.windowAvoidanceEnabled": True})
        self.orvella.start(fish=len(TEST_APPS))
        self.wait_for_script()
        try:
            terminal = self.desktop.native_window(600, 400, 420, 250)
        except Unavailable as e:
            self.unavailable(e)
        self.addCleanup(terminal.kill)
        self.assert_window_avoided(420, 250, 600, 400)

    def test_a_click_on_a_running_native_applications_fish_brings_its_window_forward(self):
        try:
            terminal = self.desktop.native_window(500, 300, 40, 40)
        except Unavailable as e:
            self.unavailable(e)
        self.addCleanup(terminal.kill)
        name = self.desktop.active_class()
        self.assertTrue(name, "the terminal named no class")
        apps = os.path.join(self.desktop.env["XDG_DATA_HOME"], "applications")
        os.makedirs(apps, exist_ok=True)
        entry = os.path.join(apps, name + ".desktop")
        with open(entry, "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Terminal\nExec=weston-terminal --shell=/bin/sh\n")
        other = self.desktop.spawn(["weston-flower"])
        self.addCleanup(other.kill)
        self.orvella.write_defaults({"Orvella.applicationPaths": [entry]})
        self.orvella.start(fish=1)
        self.wait_for_script()
        for click in range(3):
            self.desktop.activate_pid(other.pid)
            self.assertTrue(wait_until(lambda: self.desktop.focused_pid() == other.pid, timeout=5))
            self.click_fish_until(lambda: self.desktop.focused_pid() == terminal.pid,
                                  f"click {click + 1} left the focus elsewhere")
        time.sleep(1)  # a second terminal would have mapped, and taken the focus, by now
        self.assertEqual(self.desktop.focused_pid(), terminal.pid)
        self.assertEqual(self.orvella.read_defaults()["Orvella.appOpenCounts"], {entry: 3})

    def test_a_click_on_a_fish_whose_application_is_not_running_launches_it_with_the_focus(self):
        entry, token, other = self.launch_beside_another_window()
        self.assertTrue(wait_until(lambda: self.desktop.focused_pid() == other.pid, timeout=15),
                        "weston-flower did not take the focus")
        self.orvella.start(fish=1)
        self.wait_for_script()
        self.desktop.activate_pid(other.pid)
        self.click_fish_until(lambda: os.path.exists(token), "the click launched nothing", settle=5)
        self.assertTrue(wait_until(lambda: self.desktop.active_class() == "org.orvella.Launched", timeout=5),
                        f"the active window is {self.desktop.active_class()!r}, not the launched one")
        self.assertEqual(self.orvella.read_defaults()["Orvella.appOpenCounts"], {entry: 1})

    def test_the_shortcut_calls_the_school_and_an_unloaded_script_comes_back(self):
        self.orvella.start(fish=len(TEST_APPS))
        self.wait_for_script()
        # The shortcut the script registered, as System Settings would run it.
        invoked = wait_until(lambda: "()" in self.desktop.kwin_call(
            "invokeShortcut", "Orvella: call the school", path="/component/kwin",
            interface="org.kde.kglobalaccel.Component"), timeout=5)
        if not invoked:
            self.skipTest("KWin's global shortcuts are not reachable here")
        self.assertTrue(wait_until(lambda: self.desktop.windows("Orvella water: "), timeout=3), "no food burst")
        # Someone unloads the script: Orvella keeps running and loads it again.
        self.desktop.kwin_call("unloadScript", "orvella")
        self.assertTrue(wait_until(lambda: not self.desktop.script_loaded("orvella"), timeout=2))
        self.assertTrue(wait_until(lambda: self.desktop.script_loaded("orvella"), timeout=12),
                        "the script was not loaded again")
        self.assertTrue(wait_until(self.reporting, timeout=15), "the script loaded again does not report")
        self.assertIsNone(self.orvella.proc.poll())
        # Orvella quits: its script goes with it.
        self.orvella.stop()
        self.assertTrue(wait_until(lambda: not self.desktop.script_loaded("orvella"), timeout=3),
                        "the script outlived Orvella")


class KWinTwoOutputs(KWinSession):
    outputs = 2

    test_the_focused_native_window_is_avoided = None
    test_the_shortcut_calls_the_school_and_an_unloaded_script_comes_back = None
    test_a_click_on_a_running_native_applications_fish_brings_its_window_forward = None
    test_a_click_on_a_fish_whose_application_is_not_running_launches_it_with_the_focus = None

    def test_the_school_follows_the_pointer_to_the_other_output(self):
        try:
            self.desktop.pointer(700, 450)
        except Unavailable as e:
            self.unavailable(e)
        self.orvella.start(fish=len(TEST_APPS))
        self.wait_for_script()
        # The script reports the pointer on the first output: the school
        # swims there (wherever XWayland's stale pointer put it at start).
        self.desktop.pointer(710, 450)
        self.assertTrue(wait_until(lambda: sum(x < 1440 for x, _ in self.centres()) >= len(TEST_APPS) - 1,
                                   timeout=20), self.centres())
        # KWin moves the pointer to the second output; the script says so.
        self.desktop.pointer(2160, 450)
        self.assertTrue(wait_until(lambda: sum(x >= 1440 for x, _ in self.centres()) >= len(TEST_APPS) - 1,
                                   timeout=20), self.centres())


if __name__ == "__main__":
    main()
