"""Headless Wayland compositors for end-to-end tests, each started by the
test itself with its own runtime folder and session bus, and stopped with
everything it started. A compositor that cannot start here makes its tests
skip, saying why."""

import os
import pwd
import re
import shutil
import subprocess
import sys
import time
import unittest

from harness import DATA, Desktop, Orvella, wait_until


class Unavailable(Exception):
    """The compositor cannot run on this machine."""


class SwayDesktop(Desktop):
    """sway, headless, with the pixman renderer and XWayland, one output of
    the given size. sway refuses to run as root: then it runs as nobody (the
    tests, as root, may still reach its sockets)."""

    def start(self):
        for tool in ("sway", "swaymsg", "Xwayland", "dbus-daemon"):
            if not shutil.which(tool):
                raise Unavailable(f"{tool} is not installed")
        width, height = self.size.split("x")
        os.chmod(self.tmp, 0o755)
        home = os.path.join(self.tmp, "sway")
        os.makedirs(home, mode=0o777)
        os.chmod(home, 0o777)
        runtime = os.path.join(self.tmp, "runtime")
        os.makedirs(runtime, mode=0o700)
        user = None
        if os.geteuid() == 0:
            user = pwd.getpwnam("nobody")
            os.chown(runtime, user.pw_uid, user.pw_gid)
        config = os.path.join(home, "config")
        envfile = os.path.join(home, "env")
        with open(config, "w") as f:
            f.write("xwayland enable\n"
                    f"output HEADLESS-1 resolution {width}x{height}\n"
                    "default_border none\ndefault_floating_border none\nfocus_follows_mouse no\n"
                    # XWayland lets in only sway's own user; the tests' too.
                    f"exec sh -c 'xhost +si:localuser:{pwd.getpwuid(os.geteuid()).pw_name} >/dev/null 2>&1; "
                    f"echo \"$DISPLAY $SWAYSOCK $WAYLAND_DISPLAY\" > {envfile}.part && mv {envfile}.part {envfile}'\n")
        os.chmod(config, 0o644)
        sway_env = {"HOME": home, "XDG_RUNTIME_DIR": runtime, "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
                    "WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_RENDERER": "pixman"}
        cmd = ["sway", "-c", config]
        if user:
            cmd = ["setpriv", f"--reuid={user.pw_uid}", f"--regid={user.pw_gid}", "--clear-groups"] + cmd
        self.log = os.path.join(self.tmp, "sway.log")
        with open(self.log, "w") as log:
            self.sway = subprocess.Popen(cmd, env=sway_env, stdout=log, stderr=subprocess.STDOUT)
        self.procs.append(self.sway)
        if not wait_until(lambda: os.path.exists(envfile) or self.sway.poll() is not None, timeout=15) \
                or not os.path.exists(envfile):
            tail = open(self.log).read()[-600:]
            self.stop()
            raise Unavailable("sway did not start: " + tail)
        with open(envfile) as f:
            display, swaysock, wayland = f.read().split()
        config_home = os.path.join(self.tmp, "config")
        os.makedirs(config_home)
        shutil.copy(os.path.join(DATA, "config", "mimeapps.list"), config_home)
        self.env.update({
            "DISPLAY": display, "SWAYSOCK": swaysock, "WAYLAND_DISPLAY": wayland, "XDG_RUNTIME_DIR": runtime,
            "XDG_SESSION_TYPE": "wayland", "XDG_CONFIG_HOME": config_home,
            "XDG_DATA_HOME": os.path.join(self.tmp, "data"), "XDG_DATA_DIRS": DATA + ":/usr/local/share:/usr/share",
            "QT_QPA_PLATFORM": "xcb", "XDG_CURRENT_DESKTOP": "Orvella-Test",
        })
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=self.env, text=True)
        self.procs.append(bus)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        # XWayland starts when its first client comes; make sure it answers.
        if not wait_until(lambda: self.output(["xdpyinfo"], check=False), timeout=10):
            raise Unavailable("XWayland did not answer")
        return self

    def swaymsg(self, *args):
        return self.output(["swaymsg", *args])

    def tree(self, how="-tree"):
        return super().tree(how)

    def sway_tree(self):
        import json
        return json.loads(self.output(["swaymsg", "-r", "-t", "get_tree"]))

    def sway_nodes(self):
        out = []

        def walk(node):
            out.append(node)
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)
        walk(self.sway_tree())
        return out

    def native_window(self, width, height, x, y):
        """A native Wayland window (weston-terminal), floating at the given
        place and focused; returns its process."""
        if not shutil.which("weston-terminal"):
            raise Unavailable("weston-terminal is not installed")
        before = {n.get("id") for n in self.sway_nodes()}
        proc = self.spawn(["weston-terminal", "--shell=/bin/sh"])
        found = wait_until(lambda: [n for n in self.sway_nodes()
                                    if n.get("pid") == proc.pid and n.get("id") not in before], timeout=10)
        if not found:
            raise AssertionError("weston-terminal did not map")
        con = found[0]["id"]
        self.swaymsg(f"[con_id={con}]", "floating", "enable")
        self.swaymsg(f"[con_id={con}]", "resize", "set", str(width), str(height))
        self.swaymsg(f"[con_id={con}]", "move", "absolute", "position", str(x), str(y))
        self.swaymsg(f"[con_id={con}]", "focus")
        return proc


class KWinDesktop(Desktop):
    """kwin_wayland on virtual outputs (`outputs` of `size` side by side)
    with XWayland and a private session bus. The installed binary has file
    capabilities that fail here; a copy of it runs."""

    FAKE_INPUT = os.environ.get("ORVELLA_TEST_FAKE_INPUT", "")

    def __init__(self, size="1440x900", outputs=1):
        super().__init__(size, compositor=False, wm=None)
        self.outputs = outputs

    def start(self):
        for tool in ("kwin_wayland", "Xwayland", "dbus-daemon"):
            if not shutil.which(tool):
                raise Unavailable(f"{tool} is not installed")
        width, height = self.size.split("x")
        binary = os.path.join(self.tmp, "bin", "kwin_wayland")  # KWin checks its own name
        os.makedirs(os.path.dirname(binary))
        shutil.copy(shutil.which("kwin_wayland"), binary)
        runtime = os.path.join(self.tmp, "runtime")
        os.makedirs(runtime, mode=0o700)
        config_home = os.path.join(self.tmp, "config")
        os.makedirs(config_home)
        shutil.copy(os.path.join(DATA, "config", "mimeapps.list"), config_home)
        self.env.update({"XDG_RUNTIME_DIR": runtime, "XDG_CONFIG_HOME": config_home, "HOME": self.tmp,
                         "XDG_DATA_HOME": os.path.join(self.tmp, "data"),
                         "XDG_DATA_DIRS": DATA + ":/usr/local/share:/usr/share"})
        for key in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            self.env.pop(key, None)
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=self.env, text=True)
        self.procs.append(bus)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        envfile = os.path.join(self.tmp, "kwin.env")
        socket = "orvella-kwin"
        kwin_env = dict(self.env, KWIN_WAYLAND_NO_PERMISSION_CHECKS="1", KWIN_SCREENSHOT_NO_PERMISSION_CHECKS="1")
        self.log = os.path.join(self.tmp, "kwin.log")
        with open(self.log, "w") as log:
            self.kwin = subprocess.Popen(
                [binary, "--virtual", "--xwayland", "--width", width, "--height", height,
                 "--output-count", str(self.outputs), "--socket", socket, "--no-lockscreen", "--no-kactivities",
                 f"sh -c 'env > {envfile}.part && mv {envfile}.part {envfile}; exec sleep 100000'"],
                env=kwin_env, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        self.procs.append(self.kwin)
        if not wait_until(lambda: os.path.exists(envfile) or self.kwin.poll() is not None, timeout=20) \
                or not os.path.exists(envfile):
            with open(self.log) as f:
                tail = f.read()[-600:]
            self.stop()
            raise Unavailable("kwin_wayland did not start: " + tail)
        with open(envfile) as f:
            started = dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)
        self.env.update({"DISPLAY": started["DISPLAY"], "WAYLAND_DISPLAY": socket, "XDG_SESSION_TYPE": "wayland",
                         "QT_QPA_PLATFORM": "xcb", "XDG_CURRENT_DESKTOP": "Orvella-Test"})
        if started.get("XAUTHORITY"):
            self.env["XAUTHORITY"] = started["XAUTHORITY"]
        if not wait_until(lambda: self.output(["xdpyinfo"], check=False), timeout=10):
            raise Unavailable("XWayland did not answer")
        return self

    def stop(self):
        # The session's command (sh, then sleep) is KWin's child: end its group.
        kwin = getattr(self, "kwin", None)
        if kwin and kwin.poll() is None:
            try:
                os.killpg(kwin.pid, 15)
            except ProcessLookupError:
                pass
        super().stop()

    def kwin_call(self, method, *args, path="/Scripting", interface="org.kde.kwin.Scripting"):
        return self.output(["gdbus", "call", "--session", "--dest", "org.kde.KWin", "--object-path", path,
                            "--method", f"{interface}.{method}", *args], check=False)

    def run_script(self, name, source):
        """Runs a KWin script of the test's own."""
        path = os.path.join(self.tmp, name + ".js")
        with open(path, "w") as f:
            f.write(source)
        self.kwin_call("loadScript", path, name)
        self.kwin_call("start")

    def script_loaded(self, name):
        return "true" in self.kwin_call("isScriptLoaded", name)

    def pointer(self, x, y):
        if not self.FAKE_INPUT:
            raise Unavailable("the fake-input helper was not built")
        self.output([self.FAKE_INPUT, str(x), str(y)])

    def native_window(self, width, height, x, y):
        """weston-terminal (foot crashes on KWin's virtual output), moved to
        the given frame by a script and focused."""
        if not shutil.which("weston-terminal"):
            raise Unavailable("weston-terminal is not installed")
        proc = self.spawn(["weston-terminal", "--shell=/bin/sh"])
        time.sleep(1.5)
        self.run_script(f"place{proc.pid}",
                        "var w = workspace.activeClient || workspace.activeWindow;\n"
                        f"if (w && w.pid == {proc.pid}) w.frameGeometry = "
                        f"{{x: {x}, y: {y}, width: {width}, height: {height}}};\n")
        return proc


class CompositorTest(unittest.TestCase):
    """A test of Orvella in one compositor's session: `make_desktop` gives
    the desktop; a compositor that cannot start skips the test."""

    def make_desktop(self):
        raise NotImplementedError

    def setUp(self):
        self.desktop = self.make_desktop()
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

    def assert_window_avoided(self, fx, fy, fw, fh):
        """Over 10 s, after the zone has grown in, fish centres are inside
        the window's frame in under 5 % of the samples."""
        inside = lambda c: fx <= c[0] < fx + fw and fy <= c[1] < fy + fh
        time.sleep(6)
        samples = hits = 0
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            for c in self.centres():
                samples += 1
                hits += inside(c)
            time.sleep(0.25)
        self.assertGreater(samples, 100)
        self.assertLess(hits / samples, 0.05, f"{hits} of {samples} fish centres inside the focused window")


def main():
    """Runs the module's tests; exits 77 (ctest's skip) when every test
    skipped because its compositor could not start here."""
    result = unittest.main(exit=False, verbosity=2).result
    if not result.wasSuccessful():
        sys.exit(1)
    if result.testsRun and len(result.skipped) == result.testsRun:
        print("skipped: " + "; ".join(sorted({reason for _, reason in result.skipped})))
        sys.exit(77)
