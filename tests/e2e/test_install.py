"""Installed Orvella: `cmake --install` into a prefix and the Debian package
made by cpack, each run from where it was put, started through its own
desktop entry."""

import os
import shutil
import subprocess
import tempfile
import unittest

from harness import BINARY, DATA, DesktopTest, wait_until

BUILD = os.path.abspath(os.path.join(os.path.dirname(BINARY), "..", ".."))

INSTALLED = [
    "bin/orvella",
    "share/applications/orvella.desktop",
    "share/icons/hicolor/scalable/apps/orvella.svg",
    "share/icons/hicolor/scalable/status/orvella-waves.svg",
    "share/gnome-shell/extensions/orvella@orvella.org/extension.js",
    "share/gnome-shell/extensions/orvella@orvella.org/metadata.json",
]


def run(cmd, **kw):
    r = subprocess.run(cmd, capture_output=True, text=True, timeout=300, **kw)
    if r.returncode != 0:
        raise AssertionError(f"{cmd} failed ({r.returncode}): {r.stdout}\n{r.stderr}")
    return r.stdout


def installed(package):
    r = subprocess.run(["dpkg-query", "-W", "-f=${Status}", package], capture_output=True, text=True)
    return "install ok installed" in r.stdout


class InstalledTest(DesktopTest):
    def setUp(self):
        super().setUp()
        self.work = tempfile.mkdtemp(prefix="orvella-install-")
        self.addCleanup(shutil.rmtree, self.work, True)

    def use_tree(self, prefix):
        """Makes the installed tree the one the desktop finds: its binary on
        the PATH, its entries and icons first among the data folders."""
        env = self.desktop.env
        env["PATH"] = os.path.join(prefix, "bin") + os.pathsep + env["PATH"]
        env["XDG_DATA_DIRS"] = os.path.join(prefix, "share") + os.pathsep + DATA + os.pathsep + "/usr/share"

    def owner_executable(self):
        r = subprocess.run(
            ["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path", "/org/freedesktop/DBus",
             "--method", "org.freedesktop.DBus.GetConnectionUnixProcessID", "org.orvella.Orvella"],
            env=self.desktop.env, capture_output=True, text=True, timeout=30)
        if r.returncode != 0:
            return None
        pid = int(r.stdout.strip().strip("(),").split()[-1])
        try:
            return os.path.realpath(f"/proc/{pid}/exe", strict=True)
        except OSError:  # it quit between the answer and the look
            return None

    def launch_entry(self, prefix):
        entry = os.path.join(prefix, "share", "applications", "orvella.desktop")
        subprocess.run(["gio", "launch", entry], env=self.desktop.env, timeout=30, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def check_runs_from(self, prefix):
        for path in INSTALLED:
            self.assertTrue(os.path.isfile(os.path.join(prefix, path)), path)
        if shutil.which("desktop-file-validate"):
            run(["desktop-file-validate", os.path.join(prefix, "share", "applications", "orvella.desktop")])
        self.use_tree(prefix)
        # Started from its menu entry, as a user would: the school appears.
        self.launch_entry(prefix)
        self.assertTrue(wait_until(lambda: len(self.desktop.windows()) == 6, timeout=20), "no fish")
        exe = self.owner_executable()
        self.assertEqual(exe, os.path.realpath(os.path.join(prefix, "bin", "orvella")))
        # Started again, it shows the running one's settings.
        self.assertIn("false", self.desktop.dbus("SettingsWindowOpen").stdout)
        self.launch_entry(prefix)
        self.assertTrue(wait_until(lambda: "true" in self.desktop.dbus("SettingsWindowOpen").stdout))
        self.assertEqual(self.owner_executable(), exe)
        r = subprocess.run([os.path.join(prefix, "bin", "orvella"), "--quit"], env=self.desktop.env, timeout=30)
        self.assertEqual(r.returncode, 0)
        self.assertTrue(wait_until(lambda: self.owner_executable() is None))

    def test_cmake_install_into_a_prefix(self):
        prefix = os.path.join(self.work, "prefix")
        run(["cmake", "--install", BUILD, "--prefix", prefix])
        self.check_runs_from(prefix)
        # The extension in the style the installed GNOME Shell loads.
        shell = shutil.which("gnome-shell")
        if shell:
            import json
            import re
            major = re.search(r"\d+", run([shell, "--version"])).group(0)
            with open(os.path.join(prefix, "share/gnome-shell/extensions/orvella@orvella.org/metadata.json")) as f:
                self.assertIn(major, json.load(f)["shell-version"])

    def test_debian_package(self):
        out = os.path.join(self.work, "package")
        run(["cpack", "-G", "DEB", "-B", out, "--config", os.path.join(BUILD, "CPackConfig.cmake")])
        debs = [f for f in os.listdir(out) if f.endswith(".deb")]
        self.assertEqual(len(debs), 1, debs)
        deb = os.path.join(out, debs[0])
        self.assertEqual(run(["dpkg-deb", "-f", deb, "Package"]).strip(), "orvella")
        # Depends names Debian packages (each group has one this machine,
        # which built and runs Orvella, has), the libraries it links among them.
        depends = [d.strip() for d in run(["dpkg-deb", "-f", deb, "Depends"]).split(",") if d.strip()]
        names = [[alt.split("(")[0].strip() for alt in d.split("|")] for d in depends]
        for group in names:
            self.assertTrue(any(installed(n) for n in group), group)
        flat = {n for g in names for n in g}
        for needed in ("libc6", "qml6-module-qtquick", "libglib2.0-0"):
            self.assertIn(needed, flat)
        self.assertTrue(any(n.startswith("libqt6gui") for n in flat), flat)
        self.assertTrue(any(n.startswith("libx11") for n in flat), flat)
        # Unpacked as dpkg would put it under /usr, then run from there.
        root = os.path.join(self.work, "root")
        run(["dpkg-deb", "-x", deb, root])
        self.check_runs_from(os.path.join(root, "usr"))


if __name__ == "__main__":
    unittest.main()
