"""The stored defaults through the real JSON file: clamping and fallbacks on
load, the default list, vanished applications, pruning, and the catalogue
changed while running."""

import json
import os
import stat
import time
import unittest

from harness import DesktopTest, TEST_APPS, app_path, mean, wait_until


def icon_contrast(desktop, orvella):
    orvella.freeze()
    shot = desktop.screenshot()
    orvella.thaw()
    background = shot.at(5, 5)
    values = []
    for w in desktop.windows():
        icon = shot.region(w["x"] + 41, w["y"] + 41, 30, 30)
        values.append(mean(max(abs(a - b) for a, b in zip(p, background)) for p in icon))
    return mean(values)


class StoredDefaults(DesktopTest):
    def settings(self):
        out = self.desktop.dbus("Settings").stdout
        return out

    def test_nothing_stored_builds_the_default_list_and_writes_nothing(self):
        self.orvella.start(fish=len(TEST_APPS))
        apps = self.desktop.dbus("Applications").stdout
        for name in TEST_APPS:
            self.assertIn(app_path(name), apps)
        self.assertEqual(self.orvella.stop(), 0)
        self.assertFalse(os.path.exists(self.orvella.defaults_file))

    def test_out_of_range_and_mistyped_values_load_clamped_or_default(self):
        self.orvella.write_defaults({
            "Orvella.iconOpacity": 0.05,
            "Orvella.swimSpeed": "fast",
            "Orvella.attractionModifier": "shift",
            "Orvella.dispersalModifier": "tripleClick",
            "Orvella.windowAvoidanceEnabled": 1,
        })
        before = open(self.orvella.defaults_file).read()
        self.orvella.start(fish=len(TEST_APPS))
        s = self.settings()
        self.assertIn("'Orvella.iconOpacity': <0.10000000000000001>", s)
        self.assertIn("'Orvella.swimSpeed': <1.0>", s)
        self.assertIn("'Orvella.attractionModifier': <'shift'>", s)
        self.assertIn("'Orvella.dispersalModifier': <'option'>", s)
        self.assertIn("'Orvella.windowAvoidanceEnabled': <false>", s)
        faint = icon_contrast(self.desktop, self.orvella)
        self.orvella.stop()
        # Loading writes nothing back.
        self.assertEqual(open(self.orvella.defaults_file).read(), before)

        self.orvella.write_defaults({"Orvella.iconOpacity": 2.0, "Orvella.swimSpeed": 5})
        self.orvella.start(fish=len(TEST_APPS))
        s = self.settings()
        self.assertIn("'Orvella.iconOpacity': <0.90000000000000002>", s)
        self.assertIn("'Orvella.swimSpeed': <2.3999999999999999>", s)
        # The clamped opacity is what the windows show.
        self.assertGreater(icon_contrast(self.desktop, self.orvella), faint * 2)

    def test_unparsable_file_loads_as_empty_and_stays_until_the_first_write(self):
        garbage = '{"Orvella.iconOpacity": 0.3, oops'
        self.orvella.write_defaults(garbage)
        self.orvella.start(fish=len(TEST_APPS))
        self.assertIn("'Orvella.iconOpacity': <0.57999999999999996>", self.settings())
        self.assertEqual(open(self.orvella.defaults_file).read(), garbage)

        # The first change writes a fresh file and keeps the unreadable one beside it.
        self.desktop.dbus("RemoveApplication", app_path("orvella-test-chat"))
        stored = self.orvella.read_defaults()
        self.assertEqual(stored["Orvella.applicationPaths"],
                         [app_path(n) for n in TEST_APPS if n != "orvella-test-chat"])
        self.assertEqual(open(self.orvella.defaults_file + ".unreadable").read(), garbage)
        self.assertEqual(stat.S_IMODE(os.stat(self.orvella.defaults_file).st_mode), 0o600)

    def test_stored_paths_that_no_longer_exist_give_an_empty_school(self):
        self.orvella.write_defaults({"Orvella.applicationPaths": ["/nowhere/gone.desktop"]})
        self.orvella.start()
        time.sleep(1)
        self.assertEqual(self.desktop.windows(), [])
        self.assertIn("@as []", self.desktop.dbus("Applications").stdout)

    def test_counts_of_applications_no_longer_listed_are_pruned_at_launch(self):
        listed = [app_path("orvella-test-mail"), app_path("orvella-test-editor")]
        self.orvella.write_defaults({
            "Orvella.applicationPaths": listed,
            "Orvella.appOpenCounts": {listed[0]: 100, listed[1]: 2.7, "/gone.desktop": 4, app_path("x"): "many"},
        })
        self.orvella.start(fish=2)
        stored = self.orvella.read_defaults()
        self.assertEqual(stored["Orvella.appOpenCounts"], {listed[0]: 60, listed[1]: 2})
        self.assertEqual(stored["Orvella.applicationPaths"], listed)
        self.assertEqual(stat.S_IMODE(os.stat(self.orvella.defaults_file).st_mode), 0o600)
        # A count of 60 draws the largest fish: its icon is wider than the
        # same icon at count 0 (the faint tail stays under the threshold).
        # Alone, so that no neighbour overlaps the measured square.
        self.orvella.stop()
        self.orvella.write_defaults({"Orvella.applicationPaths": listed[:1], "Orvella.appOpenCounts": {listed[0]: 60}})
        self.orvella.start(fish=1)
        grown = self.icon_width("Test Mail")
        self.orvella.stop()
        self.orvella.write_defaults({"Orvella.applicationPaths": listed[:1], "Orvella.appOpenCounts": {}})
        self.orvella.start(fish=1)
        base = self.icon_width("Test Mail")
        self.assertAlmostEqual(grown / base, 1.16 / 0.86, delta=0.12)

    def icon_width(self, name):
        self.orvella.freeze()
        shot = self.desktop.screenshot()
        w = {w["name"]: w for w in self.desktop.windows()}[name]
        self.orvella.thaw()
        background = shot.at(5, 5)
        strong = [i for i in range(112) for j in range(30, 82)
                  if max(abs(a - b) for a, b in zip(shot.at(w["x"] + i, w["y"] + j), background)) > 30]
        return max(strong) - min(strong) + 1


class CatalogueWhileRunning(DesktopTest):
    def test_adding_fades_a_new_fish_in_and_removing_fades_it_out(self):
        self.orvella.write_defaults({"Orvella.applicationPaths": [app_path("orvella-test-mail")]})
        self.desktop.mouse(700, 700)
        self.orvella.start(fish=1)

        self.desktop.dbus("AddApplication", app_path("orvella-test-terminal"))
        self.assertTrue(wait_until(lambda: len(self.desktop.windows()) == 2, timeout=5))
        time.sleep(0.4)  # the fade-in has run its 0.22 s
        stored = self.orvella.read_defaults()
        self.assertEqual(stored["Orvella.applicationPaths"],
                         [app_path("orvella-test-mail"), app_path("orvella-test-terminal")])
        self.assertEqual(stored["Orvella.appOpenCounts"], {app_path("orvella-test-terminal"): 0})
        # Faded in to the same opacity as the fish that was already there.
        self.orvella.freeze()
        shot = self.desktop.screenshot()
        now = {w["name"]: w for w in self.desktop.windows()}
        self.orvella.thaw()
        bg = shot.at(5, 5)
        def contrast(w):
            return mean(max(abs(a - b) for a, b in zip(p, bg)) for p in shot.region(w["x"] + 41, w["y"] + 41, 30, 30))
        self.assertGreater(contrast(now["Test Terminal"]), 8)

        # Already listed, or not a file: clear errors, nothing changes.
        self.assertNotEqual(self.desktop.dbus("AddApplication", app_path("orvella-test-mail"), check=False).returncode, 0)
        self.assertNotEqual(self.desktop.dbus("AddApplication", "/no/such.desktop", check=False).returncode, 0)

        self.desktop.dbus("RemoveApplication", app_path("orvella-test-terminal"))
        self.assertTrue(wait_until(lambda: len(self.desktop.windows()) == 1, timeout=2))
        self.assertEqual(self.desktop.windows()[0]["name"], "Test Mail")
        stored = self.orvella.read_defaults()
        self.assertEqual(stored["Orvella.applicationPaths"], [app_path("orvella-test-mail")])
        self.assertEqual(stored["Orvella.appOpenCounts"], {})


if __name__ == "__main__":
    unittest.main()
