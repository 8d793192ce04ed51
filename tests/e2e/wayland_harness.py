"""Headless Wayland compositors for end-to-end tests, each started by the
test itself with its own runtime folder and session bus, and stopped with
everything it started. A compositor that cannot start here makes its tests
skip, saying why; where the compositors must run (the Debian testing root,
ORVELLA_COMPOSITORS_REQUIRED=1) it makes them fail."""

import os
import pwd
import re
import shutil
import subprocess
import sys
import time
import unittest

from harness import DATA, OWNER, Desktop, Orvella, wait_until


class Unavailable(Exception):
    """The compositor cannot run on this machine."""


class NoScreenshot(Exception):
    """The compositor runs but takes no screenshot here."""


# Set where every compositor is installed and must run: a skip there would
# hide exactly what the run is for.
REQUIRED = os.environ.get("ORVELLA_COMPOSITORS_REQUIRED") == "1"


def unprivileged_folders(tmp, name):
    """A home and a runtime folder for a wlroots compositor, which refuses
    to run as root: as root, it runs as nobody (the tests, as root, may
    still reach its sockets). Returns the two and that user (or None)."""
    os.chmod(tmp, 0o755)
    home = os.path.join(tmp, name)
    os.makedirs(home, mode=0o777)
    os.chmod(home, 0o777)
    runtime = os.path.join(tmp, "runtime")
    os.makedirs(runtime, mode=0o700)
    user = None
    if os.geteuid() == 0:
        user = pwd.getpwnam("nobody")
        os.chown(runtime, user.pw_uid, user.pw_gid)
        shared_x11_socket_folder()
    return home, runtime, user


def shared_x11_socket_folder():
    """/tmp/.X11-unix as X servers need it: root's and writable by all.
    XWayland started as nobody on a machine where no X server ran yet
    makes it nobody's, and a later XWayland of root's (KWin's, GNOME's)
    then refuses to start."""
    path = "/tmp/.X11-unix"
    os.makedirs(path, exist_ok=True)
    if os.geteuid() == 0:
        os.chown(path, 0, 0)
        os.chmod(path, 0o1777)


def start_wlroots(desktop, name, cmd, home, runtime, user, envfile, extra):
    """Starts a wlroots compositor headless (pixman) as `user`, registered
    with `desktop` at once, and returns the environment its session
    command wrote to `envfile`: it must name a Wayland and an X display."""
    env = {"HOME": home, "XDG_RUNTIME_DIR": runtime, "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
           OWNER: desktop.tmp, "WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_RENDERER": "pixman",
           **extra}
    if user:
        cmd = ["setpriv", f"--reuid={user.pw_uid}", f"--regid={user.pw_gid}", "--clear-groups"] + cmd
    desktop.log = os.path.join(desktop.tmp, name + ".log")
    with open(desktop.log, "w") as log:
        proc = subprocess.Popen(cmd, env=env, stdout=log, stderr=subprocess.STDOUT)
    desktop.procs.append(proc)
    desktop.compositor = proc
    tail = lambda: open(desktop.log, errors="replace").read()[-600:]
    if not wait_until(lambda: os.path.exists(envfile) or proc.poll() is not None, timeout=15) \
            or not os.path.exists(envfile):
        raise Unavailable(f"{name} did not start: " + tail())
    with open(envfile) as f:
        started = dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)
    if not started.get("WAYLAND_DISPLAY"):
        raise Unavailable(f"{name} gave its session no Wayland display: {started}")
    if not started.get("DISPLAY"):
        raise Unavailable(f"{name} started without XWayland: " + tail())
    return started


class NativeSurfaces:
    """For a desktop where Orvella draws on its Wayland backend: its
    surfaces, as Orvella lists them on the bus (the compositor lists layer
    surfaces to no client), in the shape `Desktop.windows` gives."""

    native = False

    def windows(self, prefix="Orvella fish: "):
        if not self.native:
            return super().windows(prefix)
        r = self.dbus("Surfaces", check=False)
        out = []
        for entry in re.findall(r"'([^']*)'", r.stdout):
            title, x, y, w, h, pixels = entry.rsplit("|", 5)
            if title.startswith(prefix):
                out.append({"name": title[len(prefix):], "x": int(x), "y": int(y), "w": int(w), "h": int(h),
                            "pixels": int(pixels)})
        return out


class PointerDriver:
    """The compositor's pointer, moved and pressed by orvella-test-pointer
    (wlroots' virtual pointer on sway, fake input on KWin), which stays
    running: on sway its device is the seat's only pointer."""

    POINTER = os.environ.get("ORVELLA_TEST_POINTER", "")
    driver_proc = None

    def layout_size(self):
        raise NotImplementedError

    def drive(self, *commands):
        if not self.POINTER:
            raise Unavailable("the pointer helper was not built")
        if self.driver_proc is None or self.driver_proc.poll() is not None:
            w, h = self.layout_size()
            self.driver_proc = self.spawn([self.POINTER, str(w), str(h)], stdin=subprocess.PIPE,
                                          stdout=subprocess.PIPE, text=True)
            if self.driver_proc.stdout.readline().strip() != "ready":
                raise Unavailable("the pointer helper found no way to drive the pointer")
        for command in commands:
            self.driver_proc.stdin.write(command + "\n")
            self.driver_proc.stdin.flush()
            if self.driver_proc.stdout.readline().strip() != "ok":
                raise RuntimeError(f"the pointer helper failed on {command}")

    def restart_driver(self):
        """After the layout changed: absolute moves span the new one."""
        if self.driver_proc is not None and self.driver_proc.poll() is None:
            self.driver_proc.stdin.close()
            self.driver_proc.wait(timeout=5)
        self.driver_proc = None

    def pointer(self, x, y):
        self.drive(f"move {x} {y}")

    def click(self, x, y):
        self.drive(f"move {x} {y}", "press", "release")


class SwayDesktop(NativeSurfaces, PointerDriver, Desktop):
    """sway, headless, with the pixman renderer and XWayland, one output of
    the given size. sway refuses to run as root: then it runs as nobody (the
    tests, as root, may still reach its sockets)."""

    def start(self):
        for tool in ("sway", "swaymsg", "Xwayland", "dbus-daemon"):
            if not shutil.which(tool):
                raise Unavailable(f"{tool} is not installed")
        width, height = self.size.split("x")
        home, runtime, user = unprivileged_folders(self.tmp, "sway")
        config = os.path.join(home, "config")
        envfile = os.path.join(home, "env")
        with open(config, "w") as f:
            f.write("xwayland enable\n"
                    f"output HEADLESS-1 resolution {width}x{height}\n"
                    "default_border none\ndefault_floating_border none\nfocus_follows_mouse no\n"
                    # XWayland lets in only sway's own user; the tests' too.
                    f"exec sh -c 'xhost +si:localuser:{pwd.getpwuid(os.geteuid()).pw_name} >/dev/null 2>&1; "
                    f"env > {envfile}.part && mv {envfile}.part {envfile}'\n")
        os.chmod(config, 0o644)
        started = start_wlroots(self, "sway", ["sway", "-c", config], home, runtime, user, envfile, {})
        display, swaysock, wayland = (started.get(k, "") for k in ("DISPLAY", "SWAYSOCK", "WAYLAND_DISPLAY"))
        if not swaysock:
            raise Unavailable(f"sway gave its session no socket: {started}")
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

    def layout_size(self):
        import json
        outputs = [o for o in json.loads(self.output(["swaymsg", "-r", "-t", "get_outputs"])) if o.get("active")]
        return (max(o["rect"]["x"] + o["rect"]["width"] for o in outputs),
                max(o["rect"]["y"] + o["rect"]["height"] for o in outputs))

    def tree(self, how="-tree"):
        return super().tree(how)

    def screenshot(self, path=None):
        """The whole layout, as the compositor shows it (grim)."""
        if not shutil.which("grim"):
            raise Unavailable("grim is not installed")
        from harness import Image
        return Image(self.output_bytes(["grim", "-t", "ppm", "-"]), path or "grim")

    def focused_pid(self):
        focused = [n for n in self.sway_nodes() if n.get("focused")]
        return focused[0].get("pid") if focused else None

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

    def native_window(self, width, height, x, y, tiled=False, terminal=("weston-terminal", "--shell=/bin/sh")):
        """A native Wayland window (a terminal, weston-terminal unless told),
        floating at the given place and focused, or tiled over the whole
        output; returns its process."""
        if not shutil.which(terminal[0]):
            raise Unavailable(f"{terminal[0]} is not installed")
        before = {n.get("id") for n in self.sway_nodes()}
        proc = self.spawn(list(terminal))
        found = wait_until(lambda: [n for n in self.sway_nodes()
                                    if n.get("pid") == proc.pid and n.get("id") not in before], timeout=10)
        if not found:
            raise AssertionError(f"{terminal[0]} did not map")
        con = found[0]["id"]
        if tiled:
            return proc
        self.swaymsg(f"[con_id={con}]", "floating", "enable")
        self.swaymsg(f"[con_id={con}]", "resize", "set", str(width), str(height))
        self.swaymsg(f"[con_id={con}]", "move", "absolute", "position", str(x), str(y))
        self.swaymsg(f"[con_id={con}]", "focus")
        return proc


class LabwcDesktop(NativeSurfaces, PointerDriver, Desktop):
    """labwc, headless like sway (wlroots, pixman, XWayland), with `outputs`
    of the given size side by side, set through wlr-output-management
    (wlr-randr). It tells clients neither the focused window nor the
    pointer. As root it runs as nobody, as sway does."""

    def __init__(self, size="1440x900", outputs=1):
        super().__init__(size, compositor=False, wm=None)
        self.count = outputs

    def start(self):
        for tool in ("labwc", "wlr-randr", "Xwayland", "dbus-daemon"):
            if not shutil.which(tool):
                raise Unavailable(f"{tool} is not installed")
        home, runtime, user = unprivileged_folders(self.tmp, "labwc")
        envfile = os.path.join(home, "env")
        with open(os.path.join(home, "autostart"), "w") as f:
            f.write(f"xhost +si:localuser:{pwd.getpwuid(os.geteuid()).pw_name} >/dev/null 2>&1\n"
                    f"env > {envfile}.part && mv {envfile}.part {envfile}\n")
        with open(os.path.join(home, "rc.xml"), "w") as f:
            # New windows where the test puts them, and no focus following.
            f.write('<?xml version="1.0"?>\n<labwc_config><focus><followMouse>no</followMouse></focus>'
                    '<placement><policy>automatic</policy></placement></labwc_config>\n')
        for name in os.listdir(home):
            os.chmod(os.path.join(home, name), 0o755)
        started = start_wlroots(self, "labwc", ["labwc", "-C", home], home, runtime, user, envfile,
                                {"WLR_HEADLESS_OUTPUTS": str(self.count)})
        config_home = os.path.join(self.tmp, "config")
        os.makedirs(config_home)
        shutil.copy(os.path.join(DATA, "config", "mimeapps.list"), config_home)
        self.env.update({
            "DISPLAY": started["DISPLAY"], "WAYLAND_DISPLAY": started["WAYLAND_DISPLAY"], "XDG_RUNTIME_DIR": runtime,
            "XDG_SESSION_TYPE": "wayland", "XDG_CONFIG_HOME": config_home,
            "XDG_DATA_HOME": os.path.join(self.tmp, "data"), "XDG_DATA_DIRS": DATA + ":/usr/local/share:/usr/share",
            "QT_QPA_PLATFORM": "xcb", "XDG_CURRENT_DESKTOP": "Orvella-Test",
        })
        for key in ("SWAYSOCK", "HYPRLAND_INSTANCE_SIGNATURE"):
            self.env.pop(key, None)
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=self.env, text=True)
        self.procs.append(bus)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        width = int(self.size.split("x")[0])
        names = sorted(o["name"] for o in self.outputs())
        for i, name in enumerate(names):
            self.set_output(name, self.size, i * width, 0)
        return self

    def outputs(self):
        import json
        return [o for o in json.loads(self.output(["wlr-randr", "--json"])) if o.get("enabled")]

    @staticmethod
    def logical(o):
        """An output's place in the layout: x, y, width, height."""
        mode = next((m for m in o.get("modes", []) if m.get("current")), None)
        scale = o.get("scale", 1) or 1
        w, h = (mode["width"], mode["height"]) if mode else (0, 0)
        if o.get("transform") in ("90", "270", "flipped-90", "flipped-270"):
            w, h = h, w
        return o["position"]["x"], o["position"]["y"], round(w / scale), round(h / scale)

    def set_output(self, name, size, x, y, scale=1):
        self.output(["wlr-randr", "--output", name, "--custom-mode", size, "--pos", f"{x},{y}",
                     "--scale", str(scale)])
        width, height = (int(v) for v in size.split("x"))
        want = (x, y, round(width / scale), round(height / scale))
        if not wait_until(lambda: any(self.logical(o) == want for o in self.outputs() if o["name"] == name),
                          timeout=5):
            raise Unavailable(f"labwc did not take {size} at {x},{y} for {name}: {self.outputs()}")
        self.restart_driver()

    def layout_size(self):
        rects = [self.logical(o) for o in self.outputs()]
        return max(x + w for x, _, w, _ in rects), max(y + h for _, y, _, h in rects)

    def screenshot(self, path=None):
        from harness import Image
        return Image(self.output_bytes(["grim", "-t", "ppm", "-"]), path or "grim")

    def native_window(self, width, height, x, y, tiled=False):
        """weston-terminal, where labwc places it (it keeps its own size);
        returns its process."""
        if not shutil.which("weston-terminal"):
            raise Unavailable("weston-terminal is not installed")
        proc = self.spawn(["weston-terminal", "--shell=/bin/sh"])
        time.sleep(1.5)
        if proc.poll() is not None:
            raise AssertionError("weston-terminal did not start")
        return proc


class KWinDesktop(NativeSurfaces, PointerDriver, Desktop):
    """kwin_wayland on virtual outputs (`outputs` of `size` side by side)
    with XWayland and a private session bus. The installed binary has file
    capabilities that fail here; a copy of it runs."""

    def __init__(self, size="1440x900", outputs=1, scale=1):
        super().__init__(size, compositor=False, wm=None)
        self.outputs = outputs
        self.scale = scale

    def start(self):
        for tool in ("kwin_wayland", "Xwayland", "dbus-daemon"):
            if not shutil.which(tool):
                raise Unavailable(f"{tool} is not installed")
        shared_x11_socket_folder()
        width, height = self.size.split("x")
        binary = self.binary = os.path.join(self.tmp, "bin", "kwin_wayland")  # KWin checks its own name
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
                 "--output-count", str(self.outputs), "--scale", str(self.scale), "--socket", socket, "--no-lockscreen", "--no-kactivities",
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
        self.scale_outputs()
        self.free_a_script_id()
        return self

    def scale_outputs(self):
        """KWin 6 takes --scale for the outputs' size in pixels and leaves
        them at 1x: their scale is set as display settings set it, where
        KWin lets a test client do that. `scaled` says whether the outputs
        are at `scale`."""
        version = re.search(r"(\d+)\.", self.output([self.binary, "--version"], check=False) or "")
        self.scaled = True
        if self.scale == 1 or not version or int(version.group(1)) < 6:
            return
        helper = os.environ.get("ORVELLA_TEST_KWIN_OUTPUTS")
        width = int(self.size.split("x")[0])
        self.scaled = bool(helper) and all(
            subprocess.run([helper, "scale", f"Virtual-{i}", str(self.scale)], env=self.env,
                           capture_output=True, timeout=30).returncode == 0 for i in range(self.outputs))
        if self.scaled:
            for i in range(self.outputs):
                self.output([helper, "position", f"Virtual-{i}", str(i * width), "0"])

    def free_a_script_id(self):
        """As a desktop with other scripts leaves it: two loaded, the first
        unloaded, so the id KWin gives the next script is a live one's."""
        for name in ("orvella-test-first", "orvella-test-second"):
            self.run_script(name, "var orvellaTestIdle = true;\n")
        if not wait_until(lambda: self.script_loaded("orvella-test-second"), timeout=5):
            raise RuntimeError("KWin did not load the throwaway scripts")
        self.kwin_call("unloadScript", "orvella-test-first")
        if not wait_until(lambda: not self.script_loaded("orvella-test-first"), timeout=5):
            raise RuntimeError("KWin did not unload the first throwaway script")

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

    def screenshot(self, path=None):
        """The whole workspace, through KWin's ScreenShot2."""
        from harness import Image
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "kwin_screenshot.py")
        r = subprocess.run(["/usr/bin/python3", script], env=self.env, capture_output=True, timeout=30)
        if r.returncode == 3:
            raise NoScreenshot(r.stderr.decode(errors="replace").strip())
        if r.returncode != 0:
            raise RuntimeError(f"KWin's screenshot failed: {r.stderr.decode(errors='replace')}")
        return Image(r.stdout, path or "kwin")

    def printed_by_script(self, expression):
        """What a script of ours prints of `expression` (JavaScript, over the
        active window `w`) into KWin's log; None if it printed nothing."""
        mark = f"orvella-print-{time.monotonic_ns()}"
        self.run_script(mark, "var w = workspace.activeClient || workspace.activeWindow;\n"
                              f"print('{mark} ' + ({expression}));\n")

        def printed():
            with open(self.log, errors="replace") as f:
                found = re.findall(mark + r" (\S*)", f.read())
            return found[-1] if found else None
        value = wait_until(printed, timeout=3)
        self.kwin_call("unloadScript", mark)
        return value

    def focused_pid(self):
        """The active window's process."""
        pid = self.printed_by_script("w ? w.pid : 0")
        return int(pid) if pid and pid.isdigit() else None

    def active_class(self):
        """The active window's resource class (a Wayland window's app id)."""
        return self.printed_by_script("w ? w.resourceClass : ''")

    def activate_pid(self, pid):
        """Gives the focus to that process's window, through a script."""
        mark = f"orvella-focus-{time.monotonic_ns()}"
        self.run_script(mark, "var list = workspace.windowList ? workspace.windowList() : workspace.clientList();\n"
                              "for (var i = 0; i < list.length; i++) if (list[i].pid == " + str(pid) + ") {\n"
                              "  if (workspace.activeWindow !== undefined) workspace.activeWindow = list[i];\n"
                              "  else workspace.activeClient = list[i]; }\n")
        time.sleep(0.3)
        self.kwin_call("unloadScript", mark)

    def script_loaded(self, name):
        return "true" in self.kwin_call("isScriptLoaded", name)

    def layout_size(self):
        width, height = (int(v) for v in self.size.split("x"))
        return width * self.outputs, height

    def native_window(self, width, height, x, y):
        """weston-terminal (foot crashes on KWin's virtual output), moved to
        the given frame by a script and focused."""
        if not shutil.which("weston-terminal"):
            raise Unavailable("weston-terminal is not installed")
        proc = self.spawn(["weston-terminal", "--shell=/bin/sh"])
        # A loaded machine maps it late: placed once it is the active window.
        if not wait_until(lambda: self.focused_pid() == proc.pid, timeout=15):
            raise AssertionError("weston-terminal did not become the active window")
        self.run_script(f"place{proc.pid}",
                        "var w = workspace.activeClient || workspace.activeWindow;\n"
                        f"if (w && w.pid == {proc.pid}) w.frameGeometry = "
                        f"{{x: {x}, y: {y}, width: {width}, height: {height}}};\n")
        return proc


class GnomeDesktop(Desktop):
    """GNOME Shell, headless, on virtual monitors (`outputs` of `size` side
    by side), with XWayland, a private session bus and a second private bus
    standing in for the system bus. Settings live in a keyfile of the test's
    own; `extension` installs Orvella's extension first, with the real
    `orvella --install-gnome-extension`. Input goes through mutter's
    RemoteDesktop interface."""

    REMOTE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "remote_desktop.py")
    # The introspection bindings the driver needs are the system Python's.
    SYSTEM_PYTHON = "/usr/bin/python3"

    def __init__(self, size="1280x800", outputs=1, extension=True):
        super().__init__(size, compositor=False, wm=None)
        self.outputs = outputs
        self.extension = extension
        # Changes the installed extension before the shell starts.
        self.tamper = None
        self.driver = None

    def bus(self):
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=self.env, text=True)
        self.procs.append(bus)
        return bus.stdout.readline().strip()

    def start(self):
        for tool in ("gnome-shell", "Xwayland", "dbus-daemon"):
            if not shutil.which(tool):
                raise Unavailable(f"{tool} is not installed")
        if subprocess.run([self.SYSTEM_PYTHON, "-c", "from gi.repository import Gio"],
                          capture_output=True).returncode != 0:
            raise Unavailable("python3-gi is not installed")
        shared_x11_socket_folder()
        runtime = os.path.join(self.tmp, "runtime")
        os.makedirs(runtime, mode=0o700)
        config_home = os.path.join(self.tmp, "config")
        settings = os.path.join(config_home, "glib-2.0", "settings")
        os.makedirs(settings)
        shutil.copy(os.path.join(DATA, "config", "mimeapps.list"), config_home)
        with open(os.path.join(settings, "keyfile"), "w") as f:
            # The hot corner would open the Overview whenever the driver
            # sends the pointer home.
            f.write("[org/gnome/desktop/interface]\nenable-hot-corners=false\n"
                    # New windows in the middle, where fish can go round them.
                    "[org/gnome/mutter]\ncenter-new-windows=true\n")
        self.env.update({"XDG_RUNTIME_DIR": runtime, "XDG_CONFIG_HOME": config_home, "HOME": self.tmp,
                         "XDG_DATA_HOME": os.path.join(self.tmp, "data"), "GSETTINGS_BACKEND": "keyfile",
                         "XDG_DATA_DIRS": DATA + ":/usr/local/share:/usr/share"})
        for key in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XAUTHORITY"):
            self.env.pop(key, None)
        if self.extension:
            from harness import BINARY
            self.output([BINARY, "--install-gnome-extension"])
            if self.tamper:
                self.tamper(os.path.join(self.env["XDG_DATA_HOME"], "gnome-shell", "extensions",
                                         "orvella@orvella.org"))
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.bus()
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = self.bus()
        socket = "orvella-gnome"
        monitors = []
        for _ in range(self.outputs):
            monitors += ["--virtual-monitor", self.size]
        self.log = os.path.join(self.tmp, "gnome-shell.log")
        with open(self.log, "w") as log:
            self.shell = subprocess.Popen(["gnome-shell", "--wayland", "--headless", "--wayland-display", socket,
                                           *monitors], env=self.env, stdout=log, stderr=subprocess.STDOUT)
        self.procs.append(self.shell)
        xwayland = wait_until(lambda: self.xwayland() or self.shell.poll() is not None, timeout=30)
        if not xwayland or self.shell.poll() is not None:
            with open(self.log) as f:
                tail = f.read()[-600:]
            self.stop()
            raise Unavailable("gnome-shell did not start: " + tail)
        display, auth = xwayland
        self.env.update({"DISPLAY": display, "XAUTHORITY": auth, "WAYLAND_DISPLAY": socket,
                         "XDG_SESSION_TYPE": "wayland", "QT_QPA_PLATFORM": "xcb",
                         "XDG_CURRENT_DESKTOP": "Orvella-Test"})
        if not wait_until(lambda: "org.gnome.Shell " in self.names() and self.output(["xdpyinfo"], check=False),
                          timeout=20):
            raise Unavailable("GNOME Shell did not come up on the bus")
        self.driver = subprocess.Popen([self.SYSTEM_PYTHON, self.REMOTE, str(int(self.size.split("x")[0]) * self.outputs)],
                                       env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.procs.append(self.driver)
        # The shell starts in the Overview; Escape leaves it.
        wait_until(lambda: self.overview() is not None, timeout=10)
        self.key(1)
        if not wait_until(lambda: self.overview() is False, timeout=10):
            raise Unavailable("GNOME Shell stayed in the Overview")
        return self

    def xwayland(self):
        """The display and authority file of the shell's XWayland, once it
        runs."""
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                with open(f"/proc/{pid}/stat") as f:
                    parent = int(f.read().rsplit(")", 1)[1].split()[1])
                if parent != self.shell.pid:
                    continue
                with open(f"/proc/{pid}/cmdline") as f:
                    args = f.read().split("\0")
            except (OSError, IndexError, ValueError):
                continue
            if args and os.path.basename(args[0]) == "Xwayland" and "-auth" in args:
                display = next((a for a in args if re.fullmatch(r":\d+", a)), None)
                if display:
                    return display, args[args.index("-auth") + 1]
        return None

    def names(self):
        return self.output(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path", "/",
                            "--method", "org.freedesktop.DBus.ListNames"], check=False).replace("'", " ")

    def overview(self):
        out = self.output(["gdbus", "call", "--session", "--dest", "org.gnome.Shell", "--object-path",
                           "/org/gnome/Shell", "--method", "org.freedesktop.DBus.Properties.Get",
                           "org.gnome.Shell", "OverviewActive"], check=False)
        return None if not out else "true" in out

    def drive(self, *commands):
        for command in commands:
            self.driver.stdin.write(command + "\n")
            self.driver.stdin.flush()
            if self.driver.stdout.readline().strip() != "ok":
                raise RuntimeError(f"the RemoteDesktop driver failed on {command}")

    def pointer(self, x, y):
        self.drive(f"move {x} {y}")
        # GNOME Shell 50 answers the driver's calls before its input thread
        # has moved the pointer, and XWayland learns of the move later
        # still: a press sent at once lands where the pointer was. Over an
        # X window XWayland says when it is there; over the shell's own
        # actors, a few frames do.
        at = f"x:{x} y:{y} "
        if not wait_until(lambda: self.output(["xdotool", "getmouselocation"], check=False).startswith(at),
                          timeout=0.6, interval=0.05):
            time.sleep(0.1)

    def key(self, code):
        self.drive(f"key {code} down", f"key {code} up")

    def click_item(self, name):
        """Clicks one of Orvella's panel items, found by its object name."""
        g = [int(v) for v in re.findall(r"-?\d+", self.dbus("ItemGeometry", name).stdout)]
        if len(g) != 4 or g[2] <= 0:
            raise AssertionError(f"no item {name} on screen")
        self.pointer(g[0] + g[2] // 2, g[1] + g[3] // 2)
        self.drive("press", "release")

    def click(self, x, y):
        self.clicks(x, y, 1)

    def clicks(self, x, y, count, alt=False):
        self.pointer(x, y)
        if alt:
            self.drive("key 56 down")
        self.drive(f"click {count}")
        if alt:
            self.drive("key 56 up")

    def extension_call(self, method, *args):
        return self.output(["gdbus", "call", "--session", "--dest", "org.gnome.Shell", "--object-path",
                            "/org/gnome/Shell", "--method", f"org.gnome.Shell.Extensions.{method}", *args],
                           check=False)

    def shell_version(self):
        out = self.output(["gdbus", "call", "--session", "--dest", "org.gnome.Shell", "--object-path",
                           "/org/gnome/Shell", "--method", "org.freedesktop.DBus.Properties.Get",
                           "org.gnome.Shell", "ShellVersion"], check=False)
        match = re.search(r"'([\d.]+\w*)'", out)
        return match.group(1) if match else ""

    def extension_state(self):
        """The extension's own account: pointer and focused window."""
        import json
        out = self.output(["gdbus", "call", "--session", "--dest", "org.orvella.GnomeShell", "--object-path",
                           "/org/orvella/GnomeShell", "--method", "org.orvella.GnomeShell.GetState"], check=False)
        match = re.search(r"\('(.*)',\)", out.strip())
        return json.loads(match.group(1)) if match else None

    def native_window(self):
        """weston-terminal, as the shell places and focuses it; returns the
        process and the frame the extension reports for it."""
        if not shutil.which("weston-terminal"):
            raise Unavailable("weston-terminal is not installed")
        proc = self.spawn(["weston-terminal", "--shell=/bin/sh"])

        def focused():
            state = self.extension_state()
            window = state and state.get("window")
            return window if window and window.get("pid") == proc.pid else None
        window = wait_until(focused, timeout=10)
        if not window:
            raise AssertionError("weston-terminal did not take the focus")
        return proc, window


class CompositorTest(unittest.TestCase):
    """A test of Orvella in one compositor's session: `make_desktop` gives
    the desktop; a compositor that cannot start skips the test. Orvella
    draws through XWayland unless `native` asks for its Wayland backend."""

    native = False

    def make_desktop(self):
        raise NotImplementedError

    def unavailable(self, e):
        if REQUIRED:
            self.fail(f"required here, but unavailable: {e}")
        self.skipTest(str(e))

    def setUp(self):
        self.desktop = self.make_desktop()
        # Before it starts: whatever it has started is stopped however the
        # start ends.
        self.addCleanup(self.desktop.stop)
        try:
            self.desktop.start()
        except Unavailable as e:
            self.unavailable(e)
        self.orvella = Orvella(self.desktop)
        self.desktop.native = self.native
        if self.native:
            self.orvella.args = ("--backend", "wayland")
            # Qt's own windows native too.
            self.desktop.env.pop("QT_QPA_PLATFORM", None)
        elif not isinstance(self.desktop, GnomeDesktop):
            self.orvella.args = ("--backend", "x11")
        self.addCleanup(self.orvella.stop)

    def centres(self):
        return [(w["x"] + 56, w["y"] + 56) for w in self.desktop.windows()]

    def click_fish_until(self, done, what, settle=3):
        """Clicks the first fish until `done()` holds. The fish swims on
        between the look and the click: a click that found only water is
        tried again."""
        clicked = []
        for _ in range(6):
            fish = wait_until(lambda: self.desktop.windows(), timeout=3)
            self.assertTrue(fish, "no fish")
            clicked.append((fish[0]["x"] + 56, fish[0]["y"] + 56))
            self.desktop.click(*clicked[-1])
            if wait_until(done, timeout=settle):
                return
        self.fail(f"{what}; clicked at {clicked}, the fish now at {self.centres()}")

    def launch_beside_another_window(self, app_id="org.orvella.Launched"):
        """The launch tests' start: the catalogue holds only an entry of a
        program that is not running (see launched_entry), and weston-flower
        runs, to have the focus. Returns the entry, its token's file and
        weston-flower's process."""
        try:
            entry, token = self.launched_entry(app_id)
        except Unavailable as e:
            self.unavailable(e)
        other = self.desktop.spawn(["weston-flower"])
        self.addCleanup(other.kill)
        self.orvella.write_defaults({"Orvella.applicationPaths": [entry]})
        return entry, token, other

    def launched_entry(self, app_id):
        """A catalogue entry whose program (orvella-test-window) is a native
        window with this app id that records the activation token it was
        started with. Returns the entry's path and the token's file, which
        appears once the window is shown."""
        program = os.environ.get("ORVELLA_TEST_WINDOW")
        if not program:
            raise Unavailable("orvella-test-window was not built")
        apps = os.path.join(self.desktop.env["XDG_DATA_HOME"], "applications")
        os.makedirs(apps, exist_ok=True)
        entry = os.path.join(apps, app_id + ".desktop")
        token = os.path.join(self.desktop.tmp, app_id + ".token")
        with open(entry, "w") as f:
            # As most applications' entries: the launch is announced.
            f.write(f"[Desktop Entry]\nType=Application\nName=Launched\nExec={program} {app_id} {token}\n"
                    "StartupNotify=true\n")
        return entry, token

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
    if REQUIRED and any(not getattr(test, "allowed_skip", False) for test, _ in result.skipped):
        print("failed: skipped where the compositor must run: " +
              "; ".join(sorted({reason for _, reason in result.skipped})))
        sys.exit(1)
    if result.testsRun and len(result.skipped) == result.testsRun:
        print("skipped: " + "; ".join(sorted({reason for _, reason in result.skipped})))
        sys.exit(77)
