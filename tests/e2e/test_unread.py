"""Unread sensing on a real desktop: launcher counts sent on the private
session bus with gdbus become red pills on the fish; a rise sends the fish
to the pointer with a food burst; zero hides the pill."""

import math
import os
import re
import shutil
import subprocess
import time
import unittest

from harness import PANEL, DesktopTest, TEST_APPS, app_path, wait_until


class UnreadSensing(DesktopTest):
    def emit(self, app, count, visible=True):
        """The application announces its count; it stays on the bus."""
        if not hasattr(self, "application"):
            self.application = self.desktop.announcer()
        self.application.emit(app, count, visible)

    def counts(self):
        reply = self.desktop.dbus("UnreadBadgeCounts").stdout
        return {path: int(n) for path, n in re.findall(r"'([^']+)': <(?:int32 )?(\d+)>", reply)}

    def pills(self):
        return {w["name"]: w for w in self.desktop.windows("Orvella badge: ")}

    def start_sensing(self):
        self.orvella.write_defaults({"Orvella.unreadBadgeMonitoringEnabled": True})
        self.desktop.mouse(1100, 250)
        self.orvella.start(fish=len(TEST_APPS))

    def test_pills_appear_silently_then_a_rise_sends_the_fish_to_the_pointer(self):
        self.start_sensing()
        self.emit("orvella-test-mail", 7)
        self.emit("orvella-test-chat", 42)
        self.emit("orvella-test-browser", 120)
        self.assertTrue(wait_until(lambda: len(self.pills()) == 3, timeout=8), self.pills())

        self.orvella.freeze()
        pills, fish = self.pills(), self.fish_by_name()
        self.orvella.thaw()
        expected = {"Test Mail": 26, "Test Chat": 35, "Test Browser": 44}
        for name, width in expected.items():
            pill, body = pills[name], fish[name]
            self.assertEqual((pill["w"], pill["h"]), (width, 26), name)
            # The pill's top-right corner sits 15 points in from the fish's.
            self.assertEqual(pill["x"] + pill["w"], body["x"] + 112 - 15, name)
            self.assertEqual(pill["y"], body["y"] + 15, name)
            self.assertIn("Override Redirect State: yes", pill["info"])
        # The first reading is silent: no food burst, so no water overlay.
        time.sleep(1)
        self.assertEqual(self.desktop.windows("Orvella water: "), [])

        # Screenshot: a red pill with a white rim over the mail fish.
        self.orvella.freeze()
        shot = self.desktop.screenshot()
        pill = self.pills()["Test Mail"]
        self.orvella.thaw()
        artifacts = os.environ.get("ORVELLA_E2E_ARTIFACTS")
        if artifacts:
            os.makedirs(artifacts, exist_ok=True)
            shutil.copy(shot.path, os.path.join(artifacts, "unread.png"))
        centre = shot.at(pill["x"] + 13, pill["y"] + 7)
        # The pill shows at the fish's opacity over whatever lies beneath:
        # red well above green and blue.
        reds = [p for p in shot.region(pill["x"] + 4, pill["y"] + 4, 18, 18) if p[0] - max(p[1], p[2]) > 60]
        self.assertGreater(len(reds), 60, centre)

        # A rise: the mail fish darts to the pointer and a food burst shows.
        pointer = (1100, 250)
        self.emit("orvella-test-mail", 8)
        self.assertTrue(wait_until(lambda: self.desktop.windows("Orvella water: "), timeout=8),
                        "no food burst after the rise")
        closest = 1e9
        deadline = time.monotonic() + 12
        while time.monotonic() < deadline and closest > 110:
            body = self.fish_by_name().get("Test Mail")
            if body:
                closest = min(closest, math.hypot(body["x"] + 56 - pointer[0], body["y"] + 56 - pointer[1]))
            time.sleep(0.05)
        self.assertLess(closest, 110, "the mail fish did not come to the pointer")

        # Zero hides the pill.
        self.emit("orvella-test-mail", 0)
        self.assertTrue(wait_until(lambda: "Test Mail" not in self.pills(), timeout=8))
        self.assertIn("Test Chat", self.pills())
        self.assertEqual(self.counts().get(app_path("orvella-test-chat")), 42)

    def test_diagnostic_record_follows_the_readings_and_switching_off_stops_it(self):
        self.start_sensing()
        self.emit("orvella-test-mail", 3)
        self.assertTrue(wait_until(lambda: self.pills(), timeout=8))
        record = lambda: self.orvella.read_defaults()
        first = record()
        self.assertTrue(first["Orvella.unreadBadgeDebug.permission"])
        self.assertTrue(first["Orvella.unreadBadgeDebug.didReadDock"])
        counts = first["Orvella.unreadBadgeDebug.counts"]
        self.assertEqual(counts[app_path("orvella-test-mail")], 3)
        self.assertEqual(counts[app_path("orvella-test-editor")], 0, "zeros are kept in the record")
        self.assertAlmostEqual(first["Orvella.unreadBadgeDebug.updatedAt"], time.time(), delta=5)
        self.assertTrue(wait_until(
            lambda: record()["Orvella.unreadBadgeDebug.updatedAt"] > first["Orvella.unreadBadgeDebug.updatedAt"],
            timeout=6))
        later = record()["Orvella.unreadBadgeDebug.updatedAt"]
        self.assertAlmostEqual(later - first["Orvella.unreadBadgeDebug.updatedAt"], 3, delta=1.2)

        self.desktop.dbus("SetUnreadBadgeMonitoring", "false")
        self.assertTrue(wait_until(lambda: not self.pills(), timeout=3))
        stopped = record()
        self.assertFalse(stopped["Orvella.unreadBadgeMonitoringEnabled"])
        stamp = stopped["Orvella.unreadBadgeDebug.updatedAt"]
        self.emit("orvella-test-mail", 9)
        time.sleep(7)
        self.assertEqual(record()["Orvella.unreadBadgeDebug.updatedAt"], stamp)
        self.assertEqual(self.pills(), {})
        self.assertEqual(self.counts(), {})

    def test_a_count_goes_when_the_application_that_announced_it_quits(self):
        self.start_sensing()
        chat, mail = self.desktop.announcer(), self.desktop.announcer()
        chat.emit("orvella-test-chat", 5)
        mail.emit("orvella-test-mail", 2)
        self.assertTrue(wait_until(lambda: len(self.pills()) == 2, timeout=8), self.pills())
        chat.quit()
        quit_at = time.monotonic()
        self.assertTrue(wait_until(lambda: "Test Chat" not in self.pills(), timeout=5))
        self.assertLess(time.monotonic() - quit_at, 3.6, "gone within the next reading")
        counts = self.counts()
        self.assertNotIn(app_path("orvella-test-chat"), counts)
        self.assertEqual(counts.get(app_path("orvella-test-mail")), 2)
        self.assertIn("Test Mail", self.pills())

    def test_a_rise_for_the_application_in_front_only_pulses_its_fish(self):
        # A messenger whose windows carry a class other than its entry's id,
        # named by StartupWMClass, as many do.
        apps = os.path.join(self.desktop.env["XDG_DATA_HOME"], "applications")
        os.makedirs(apps, exist_ok=True)
        entry = os.path.join(apps, "orvella-test-messenger.desktop")
        with open(entry, "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Messenger\nIcon=user-available\n"
                    "Exec=/bin/true\nStartupWMClass=chatwin\n")
        self.orvella.write_defaults({"Orvella.applicationPaths": [entry, app_path("orvella-test-mail")],
                                     "Orvella.unreadBadgeMonitoringEnabled": True})
        self.desktop.mouse(1100, 250)
        self.orvella.start(fish=2)
        window = subprocess.Popen([PANEL, "window", "chatwin"], env=self.desktop.env, stdout=subprocess.PIPE,
                                  text=True)
        self.addCleanup(lambda: (window.kill(), window.wait(), window.stdout.close()))
        window.stdout.readline()
        active = lambda: self.desktop.output(["xdotool", "getactivewindow", "getwindowname"], check=False).strip()
        self.desktop.output(["xdotool", "search", "--name", "^chatwin$", "windowactivate"], check=False)
        self.assertTrue(wait_until(lambda: active() == "chatwin", timeout=5))
        self.emit("orvella-test-messenger", 1)
        self.emit("orvella-test-mail", 1)
        self.assertTrue(wait_until(lambda: len(self.pills()) == 2, timeout=8))
        time.sleep(0.5)
        # The messenger is in front: its rise pulses the fish, no more.
        self.emit("orvella-test-messenger", 2)
        self.assertTrue(wait_until(lambda: self.counts().get(entry) == 2, timeout=8))
        time.sleep(1)
        self.assertEqual(self.desktop.windows("Orvella water: "), [], "the fish in front dropped food")
        # The mail is not in front: its rise does.
        self.emit("orvella-test-mail", 2)
        self.assertTrue(wait_until(lambda: self.desktop.windows("Orvella water: "), timeout=8))

    def test_a_click_on_the_pill_reaches_the_fish_beneath(self):
        entry, launches = self.desktop.install_launcher()
        self.orvella.write_defaults({"Orvella.applicationPaths": [entry],
                                     "Orvella.unreadBadgeMonitoringEnabled": True})
        self.desktop.mouse(700, 450)
        self.orvella.start(fish=1)
        # Still water: the fish comes to rest on the rim, so the pill holds still.
        self.desktop.dbus("SetStillWaterMode", "true")
        self.emit("orvella-test-launcher", 4)
        self.assertTrue(wait_until(lambda: "Launcher" in self.pills(), timeout=8))
        previous = None
        def settled():
            nonlocal previous
            now = self.pills().get("Launcher")
            still = now and previous and (now["x"], now["y"]) == (previous["x"], previous["y"])
            previous = now
            return still
        self.assertTrue(wait_until(settled, timeout=20, interval=0.5))
        pill = self.pills()["Launcher"]
        self.desktop.output(["xdotool", "mousemove", str(pill["x"] + pill["w"] // 2), str(pill["y"] + 13),
                             "click", "1"])
        self.assertTrue(wait_until(lambda: len(os.listdir(launches)) == 1, timeout=5), "the click did not open")
        self.assertEqual(self.orvella.read_defaults()["Orvella.appOpenCounts"], {entry: 1})


if __name__ == "__main__":
    unittest.main()
