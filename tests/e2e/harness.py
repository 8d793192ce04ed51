"""A private virtual desktop and the real orvella binary, for end-to-end tests.

Every test case starts its own X server (Xvfb with RandR) on a free display
number, a window manager (openbox), a compositor (picom) and a session bus,
and stops exactly what it started.
"""

import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "data")
BINARY = os.environ.get("ORVELLA_BINARY", os.path.join(HERE, "../../build/release/src/shell/orvella"))
PANEL = os.environ.get("ORVELLA_TEST_PANEL", "")
ANNOUNCER = os.environ.get("ORVELLA_TEST_ANNOUNCER", "")

# The default list the test data gives, in role order.
TEST_APPS = [
    "orvella-test-browser",   # https handler
    "orvella-test-mail",      # mailto handler
    "orvella-test-terminal",  # terminal handler (foot and others are installed)
    "orvella-test-editor",    # text/plain handler
    "orvella-test-chat",      # first InstantMessaging
    "orvella-test-noicon",    # presentation handler, icon missing
]


def app_path(name):
    return os.path.join(DATA, "applications", name + ".desktop")


OWNER = "ORVELLA_E2E_OWNER"


def owned_by(tag):
    """The processes whose environment carries this desktop's mark."""
    mark = f"{OWNER}={tag}".encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if mark in f.read().split(b"\0"):
                    found.append(int(entry))
        except OSError:
            continue
    return found


def descendants(pid):
    """Every process below `pid`, children before their own children."""
    parents = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                parents.setdefault(int(f.read().rsplit(")", 1)[1].split()[1]), []).append(int(entry))
        except (OSError, IndexError, ValueError):
            continue
    found, queue = [], [pid]
    while queue:
        for child in parents.get(queue.pop(0), []):
            found.append(child)
            queue.append(child)
    return found


def end_all(pids, grace=3.0):
    """Ends the given processes (SIGTERM, then SIGKILL after `grace`)."""
    def alive(pid):
        try:
            with open(f"/proc/{pid}/stat") as f:
                return f.read().rsplit(")", 1)[1].split()[0] != "Z"
        except OSError:
            return False
    for pid in pids:
        try:
            os.kill(pid, signal.SIGTERM)
        except (ProcessLookupError, PermissionError):
            pass
    deadline = time.monotonic() + grace
    while any(alive(pid) for pid in pids) and time.monotonic() < deadline:
        time.sleep(0.05)
    for pid in pids:
        if alive(pid):
            try:
                os.kill(pid, signal.SIGKILL)
            except (ProcessLookupError, PermissionError):
                pass


def wait_until(predicate, timeout=10.0, interval=0.1):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(interval)


class Desktop:
    def __init__(self, size="1440x900", compositor=True, wm="openbox"):
        self.size = size
        self.compositor = compositor
        # openbox puts a frame around every managed window; None runs no
        # window manager, so windows are the root's own children.
        self.wm = wm
        self.procs = []
        self.tmp = tempfile.mkdtemp(prefix="orvella-e2e-")
        self.env = dict(os.environ)
        # Marks every process this desktop starts, however it is detached
        # from its starter (KWin's session command is not KWin's child).
        self.env[OWNER] = self.tmp

    def start(self):
        # Another test claiming a display number at the same moment can make
        # the server give up; try again.
        for attempt in range(5):
            number = self.start_server()
            if number:
                break
        else:
            raise RuntimeError("Xvfb did not start")
        self.configure(number)
        return self

    def start_server(self):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", self.size + "x24",
             "+extension", "RANDR", "-noreset", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        self.procs.append(xvfb)
        with os.fdopen(read_fd) as f:
            number = f.readline().strip()
        if not number:
            xvfb.wait()
            self.procs.remove(xvfb)
        return number

    def configure(self, number):
        runtime = os.path.join(self.tmp, "runtime")
        os.makedirs(runtime, mode=0o700)
        config = os.path.join(self.tmp, "config")
        os.makedirs(config)
        shutil.copy(os.path.join(DATA, "config", "mimeapps.list"), config)
        self.env.update({
            "DISPLAY": ":" + number,
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": config,
            "XDG_DATA_HOME": os.path.join(self.tmp, "data"),
            "XDG_DATA_DIRS": DATA + ":/usr/local/share:/usr/share",
            "QT_QPA_PLATFORM": "xcb",
            # The desktop the sample entries' OnlyShowIn/NotShowIn speak of.
            "XDG_CURRENT_DESKTOP": "Orvella-Test",
        })
        self.env.pop("WAYLAND_DISPLAY", None)
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=self.env, text=True)
        self.procs.append(bus)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        if self.wm:
            self.spawn([self.wm, "--sm-disable"])
        if self.compositor:
            self.start_compositor()
        if self.wm:
            wait_until(lambda: "window id" in self.output(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                                                          check=False))

    def start_compositor(self):
        self.picom = self.spawn(["picom", "--backend", "xrender", "--no-fading-openclose"])
        time.sleep(1)  # it takes the compositing selection as it starts

    def stop_compositor(self):
        self.picom.terminate()
        self.picom.wait(timeout=5)

    def spawn(self, cmd, **kw):
        kw.setdefault("stdout", subprocess.DEVNULL)
        kw.setdefault("stderr", subprocess.DEVNULL)
        p = subprocess.Popen(cmd, env=self.env, **kw)
        self.procs.append(p)
        return p

    def stop(self):
        # What the servers started themselves (a compositor's XWayland, bar
        # and session command) goes too: found before they are ended, while
        # they are still their children.
        children = [pid for p in self.procs if p.poll() is None for pid in descendants(p.pid)]
        children += [pid for pid in owned_by(self.tmp) if pid not in children]
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
        for p in reversed(self.procs):
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        end_all(children)
        for p in self.procs:
            for pipe in (p.stdin, p.stdout):
                if pipe:
                    pipe.close()
        self.procs = []
        shutil.rmtree(self.tmp, ignore_errors=True)

    def output(self, cmd, check=True):
        r = subprocess.run(cmd, env=self.env, capture_output=True, text=True, timeout=30)
        if check and r.returncode != 0:
            raise RuntimeError(f"{cmd} failed: {r.stderr}")
        return r.stdout

    # The desktop ------------------------------------------------------------

    def mouse(self, x, y):
        self.output(["xdotool", "mousemove", str(x), str(y)])

    def monitors(self, *specs):
        """specs: (name, width, height, x, y, output-or-"none")."""
        for name, w, h, x, y, output in specs:
            self.output(["xrandr", "--setmonitor", name, f"{w}/300x{h}/200+{x}+{y}", output])

    def panel(self, edge, height):
        p = self.spawn([PANEL, edge, str(height)])
        wait_until(lambda: "orvella-test-panel" in self.tree())
        time.sleep(0.3)
        return p

    def windows(self, prefix="Orvella fish: "):
        """The mapped top-level windows whose name starts with prefix."""
        out = []
        tree = self.tree("-children")
        for line in tree.splitlines():
            m = re.match(r'\s*(0x[0-9a-f]+) "(.*)": \(.*\)\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)', line)
            if not m or not m.group(2).startswith(prefix):
                continue
            info = self.output(["xwininfo", "-id", m.group(1)], check=False)
            if "IsViewable" not in info:
                continue
            out.append({
                "id": m.group(1), "name": m.group(2)[len(prefix):],
                "w": int(m.group(3)), "h": int(m.group(4)), "x": int(m.group(5)), "y": int(m.group(6)),
                "info": info,
            })
        return out

    def geometry(self, name):
        """Where the viewable top-level window of that name is: (x, y,
        width, height) from the screen's top-left corner, or None."""
        for m in re.finditer(r'(0x[0-9a-f]+) "' + re.escape(name) + '": ', self.tree()):
            info = self.output(["xwininfo", "-id", m.group(1)], check=False)
            if "IsViewable" in info:
                value = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
                return (value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"), value("Height"))
        return None

    def install_launcher(self):
        """A desktop entry, "Launcher", in the user's applications whose
        program leaves one file in a folder per launch; returns the entry's
        path and that folder."""
        apps = os.path.join(self.env["XDG_DATA_HOME"], "applications")
        os.makedirs(apps, exist_ok=True)
        launches = os.path.join(self.tmp, "launches")
        os.makedirs(launches, exist_ok=True)
        entry = os.path.join(apps, "orvella-test-launcher.desktop")
        with open(entry, "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Launcher\nIcon=utilities-terminal\n"
                    f"Exec=/usr/bin/mktemp -p {launches} launch.XXXXXX\n"
                    "StartupWMClass=orvella-test-launcher\n")
        return entry, launches

    def announcer(self):
        """An application on the session bus that announces launcher counts
        and stays there until stopped."""
        return Announcer(self)

    def tree(self, how="-tree"):
        """The window tree. A window that goes away while xwininfo walks the
        tree makes it fail: ask again then."""
        for _ in range(10):
            r = subprocess.run(["xwininfo", "-root", how], env=self.env, capture_output=True, text=True, timeout=30)
            if r.returncode == 0:
                return r.stdout
            time.sleep(0.05)
        raise RuntimeError(f"xwininfo -root {how} kept failing: {r.stderr}")

    def screenshot(self, path=None):
        path = path or os.path.join(self.tmp, f"shot-{time.monotonic_ns()}.png")
        self.output(["import", "-window", "root", path])
        return Image(self.output_bytes(["convert", path, "ppm:-"]), path)

    def output_bytes(self, cmd):
        return subprocess.run(cmd, env=self.env, capture_output=True, check=True, timeout=30).stdout

    def dbus(self, method, *args, check=True):
        r = subprocess.run(
            ["gdbus", "call", "--session", "--dest", "org.orvella.Orvella", "--object-path", "/org/orvella/Orvella",
             "--method", "org.orvella.Orvella." + method, *args],
            env=self.env, capture_output=True, text=True, timeout=30)
        if check and r.returncode != 0:
            raise RuntimeError(f"{method} failed: {r.stderr}")
        return r


class Announcer:
    def __init__(self, desktop):
        self.proc = desktop.spawn([ANNOUNCER], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        assert self.proc.stdout.readline().strip() == "ready"

    def emit(self, app, count, visible=True):
        self.proc.stdin.write(f"{app} {count} {'true' if visible else 'false'}\n")
        self.proc.stdin.flush()
        assert self.proc.stdout.readline().strip() == "sent"

    def quit(self):
        """The application quits: its connection to the bus closes."""
        self.proc.stdin.close()
        self.proc.wait(timeout=5)


class Image:
    """A screenshot as RGB pixels."""

    def __init__(self, ppm, path):
        self.path = path
        parts = ppm.split(maxsplit=4)
        assert parts[0] == b"P6"
        self.width, self.height = int(parts[1]), int(parts[2])
        self.pixels = parts[4][: self.width * self.height * 3]

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def region(self, x, y, w, h):
        return [self.at(i, j) for j in range(y, y + h) for i in range(x, x + w)
                if 0 <= i < self.width and 0 <= j < self.height]


def parse_count(reply):
    """The number in a gdbus reply such as "(uint64 1234,)"."""
    return int(re.search(r"(\d+),\)", reply).group(1))


def mean(values):
    values = list(values)
    return sum(values) / len(values) if values else 0.0


class Orvella:
    def __init__(self, desktop):
        self.desktop = desktop
        self.proc = None
        self.log = os.path.join(desktop.tmp, "orvella.log")

    @property
    def defaults_file(self):
        return os.path.join(self.desktop.env["XDG_CONFIG_HOME"], "orvella", "defaults.json")

    def write_defaults(self, content):
        os.makedirs(os.path.dirname(self.defaults_file), exist_ok=True)
        with open(self.defaults_file, "w") as f:
            f.write(content if isinstance(content, str) else json.dumps(content))

    def read_defaults(self):
        with open(self.defaults_file) as f:
            return json.load(f)

    # Options the tests of a desktop start every Orvella with.
    args = ()

    def start(self, fish=None):
        with open(self.log, "w") as log:
            self.proc = subprocess.Popen([BINARY, *self.args], env=self.desktop.env, stdout=log,
                                         stderr=subprocess.STDOUT)
        wait_until(lambda: self.desktop.dbus("Applications", check=False).returncode == 0)
        if fish is not None:
            wait_until(lambda: len(self.desktop.windows()) == fish)
        time.sleep(0.3)
        return self

    def start_and_catch_spawn(self, fish):
        """Starts Orvella and returns the fish windows as soon as all are on
        screen, with the number of motion steps run by then: the fish swim
        at once, so each may have moved up to 2.4 points per step."""
        with open(self.log, "w") as log:
            self.proc = subprocess.Popen([BINARY], env=self.desktop.env, stdout=log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            windows = self.desktop.windows()
            if len(windows) == fish:
                # A window may show for a moment before its first placement
                # reaches the server; look again once all are there.
                time.sleep(0.1)
                windows = self.desktop.windows()
                r = self.desktop.dbus("MotionStepCount", check=False)
                if r.returncode == 0:
                    return windows, parse_count(r.stdout)
            time.sleep(0.01)
        raise AssertionError("the fish did not appear")

    def motion_steps(self):
        return parse_count(self.desktop.dbus("MotionStepCount").stdout)

    def freeze(self):
        """Stops the process where it is, so windows hold still for a look."""
        self.proc.send_signal(signal.SIGSTOP)
        time.sleep(0.2)

    def thaw(self):
        self.proc.send_signal(signal.SIGCONT)

    def stop(self, sig=signal.SIGTERM):
        if self.proc is None or self.proc.poll() is not None:
            return self.proc.returncode if self.proc else None
        self.proc.send_signal(signal.SIGCONT)
        self.proc.send_signal(sig)
        try:
            return self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            return None


class DesktopTest(unittest.TestCase):
    size = "1440x900"
    compositor = True
    wm = "openbox"
    # A tray host, as most desktops have: the settings window then stays
    # closed at start instead of lying over the school.
    tray = True

    def setUp(self):
        if not os.path.exists(BINARY):
            self.fail(f"orvella binary not found at {BINARY}")
        self.desktop = Desktop(self.size, self.compositor, self.wm).start()
        if self.tray and PANEL:
            host = self.desktop.spawn([PANEL, "tray"], stdout=subprocess.PIPE, text=True)
            host.stdout.readline()  # "ready"
        self.addCleanup(self.desktop.stop)
        self.orvella = Orvella(self.desktop)
        self.addCleanup(self.orvella.stop)

    def fish_by_name(self):
        return {w["name"]: w for w in self.desktop.windows()}
