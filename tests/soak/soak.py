"""A long, randomised run of the real orvella on a virtual desktop.

Usage: soak.py MINUTES

Clicks and drags fish, makes every kind of gesture, sends launcher counts,
adds and removes applications through the stored catalogue with restarts,
adds and removes displays, stops and starts the compositor. Fails on a
crash, on a growing number of Orvella windows, on resident memory growing
more than 10 MB after the first minute, or on a defaults file that does not
parse. Then kills Orvella with SIGKILL in storms of setting changes and
checks the file each time. Prints its figures."""

import json
import os
import random
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import BINARY, DATA, PANEL, TEST_APPS, Desktop, Orvella, app_path, wait_until  # noqa: E402


def rss_mib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


class Soak:
    def __init__(self, minutes, seed):
        self.minutes = minutes
        self.rng = random.Random(seed)
        self.desktop = Desktop("1440x900").start()
        self.orvella = Orvella(self.desktop)
        self.tray = self.desktop.spawn([PANEL, "tray"], stdout=subprocess.PIPE, text=True)
        self.tray.stdout.readline()
        self.catalogue = [app_path(a) for a in TEST_APPS]
        self.actions = {}
        self.restarts = 0
        self.max_windows = 0
        self.rss = []

    def fail(self, why):
        print(f"soak: FAILED: {why}", flush=True)
        try:
            print(open(self.orvella.log).read()[-3000:])
        except OSError:
            pass
        raise SystemExit(1)

    def check_defaults(self):
        path = self.orvella.defaults_file
        if not os.path.exists(path):
            return
        try:
            with open(path) as f:
                json.load(f)
        except (ValueError, OSError) as e:
            self.fail(f"defaults file does not parse: {e}")

    def start(self):
        self.orvella.write_defaults({"Orvella.applicationPaths": self.catalogue,
                                     "Orvella.unreadBadgeMonitoringEnabled": True,
                                     "Orvella.windowAvoidanceEnabled": True}
                                    if not os.path.exists(self.orvella.defaults_file) else self.stored())
        self.orvella.start()
        self.process_started_at = time.monotonic()
        if not wait_until(lambda: len(self.desktop.windows()) >= 1, timeout=15):
            self.fail("no fish after start")

    def stored(self):
        with open(self.orvella.defaults_file) as f:
            data = json.load(f)
        data["Orvella.applicationPaths"] = self.catalogue
        return data

    # Actions ---------------------------------------------------------------

    def fish(self):
        return self.desktop.windows()

    def click_fish(self):
        fish = self.fish()
        if fish:
            w = self.rng.choice(fish)
            self.desktop.output(["xdotool", "mousemove", str(w["x"] + 56), str(w["y"] + 56), "click", "1"], check=False)

    def drag_fish(self):
        fish = self.fish()
        if fish:
            w = self.rng.choice(fish)
            x, y = w["x"] + 56, w["y"] + 56
            self.desktop.output(["xdotool", "mousemove", str(x), str(y), "mousedown", "1",
                                 "mousemove", str(x + 60), str(y + 40), "mousemove", str(x + 140), str(y + 90),
                                 "mouseup", "1"], check=False)

    def gesture(self):
        x, y = self.rng.randrange(100, 1300), self.rng.randrange(100, 800)
        keys = self.rng.choice([[], ["alt"], ["ctrl"], ["shift"], ["super"]])
        clicks = self.rng.choice([3, 5])
        cmd = ["xdotool", "mousemove", str(x), str(y)]
        for k in keys:
            cmd += ["keydown", k]
        cmd += ["click", "--repeat", str(clicks), "--delay", "70", "1"]
        for k in keys:
            cmd += ["keyup", k]
        self.desktop.output(cmd, check=False)

    def launcher_count(self):
        app = self.rng.choice(TEST_APPS + ["no-such-app"])
        count = self.rng.choice([0, 1, 2, 5, 42, 150, -3])
        self.desktop.output(["gdbus", "emit", "--session", "--object-path", "/soak", "--signal",
                             "com.canonical.Unity.LauncherEntry.Update", f"application://{app}.desktop",
                             "{'count': <int64 %d>, 'count-visible': <%s>}" % (count, self.rng.choice(["true", "false"]))],
                            check=False)

    def catalogue_change(self):
        # Now and then only, so that a process lives long enough for its
        # memory to be watched after its first minute.
        if time.monotonic() - self.process_started_at < 150:
            return
        self.orvella.stop()
        self.check_defaults()
        if len(self.catalogue) > 2 and self.rng.random() < 0.5:
            self.catalogue.remove(self.rng.choice(self.catalogue))
        else:
            missing = [app_path(a) for a in TEST_APPS if app_path(a) not in self.catalogue]
            if missing:
                self.catalogue.append(self.rng.choice(missing))
        self.start()
        self.restarts += 1

    def displays(self):
        if self.rng.random() < 0.5:
            self.desktop.output(["xrandr", "--setmonitor", "SOAKL", "720/190x900/238+0+0", "screen"], check=False)
            self.desktop.output(["xrandr", "--setmonitor", "SOAKR", "720/190x900/238+720+0", "none"], check=False)
        else:
            self.desktop.output(["xrandr", "--delmonitor", "SOAKR"], check=False)
            self.desktop.output(["xrandr", "--delmonitor", "SOAKL"], check=False)

    def compositor(self):
        running = [p for p in self.desktop.procs if p.args and p.args[0] == "picom" and p.poll() is None]
        if running:
            for p in running:
                p.terminate()
                p.wait(timeout=5)
        else:
            self.desktop.spawn(["picom", "--backend", "xrender", "--no-fading-openclose"])

    def settings(self):
        method = self.rng.choice(["SetStillWaterMode", "SetWindowAvoidance", "SetUnreadBadgeMonitoring"])
        self.desktop.dbus(method, self.rng.choice(["true", "false"]), check=False)

    # The run ---------------------------------------------------------------

    def run(self):
        weights = [(self.click_fish, 6), (self.drag_fish, 4), (self.gesture, 6), (self.launcher_count, 6),
                   (self.settings, 4), (self.displays, 1), (self.compositor, 1), (self.catalogue_change, 1)]
        choices = [a for a, w in weights for _ in range(w)]
        self.start()
        started = time.monotonic()
        end = started + 60 * self.minutes
        baseline = None
        last_sample = 0
        while time.monotonic() < end:
            action = self.rng.choice(choices)
            action()
            self.actions[action.__name__] = self.actions.get(action.__name__, 0) + 1
            time.sleep(self.rng.uniform(0.05, 0.6))
            if self.orvella.proc.poll() is not None:
                self.fail(f"orvella exited with {self.orvella.proc.returncode} after {action.__name__}")
            now = time.monotonic()
            if now - last_sample > 5:
                last_sample = now
                windows = len(self.desktop.windows("Orvella "))
                self.max_windows = max(self.max_windows, windows)
                # Fish and their pills, one water overlay per display, the
                # settings window: never more.
                bound = 2 * len(TEST_APPS) + 4
                if windows > bound:
                    self.fail(f"{windows} Orvella windows (more than {bound})")
                self.check_defaults()
                # Memory of this process once it has run a minute.
                rss = rss_mib(self.orvella.proc.pid)
                self.rss.append((now - started, rss))
                pid = self.orvella.proc.pid
                if baseline is None or baseline[0] != pid:
                    baseline = (pid, rss) if now - self.process_started_at > 60 else None
                elif rss - baseline[1] > 10:
                    self.fail(f"resident memory grew from {baseline[1]:.1f} to {rss:.1f} MiB")
        self.orvella.stop()
        self.check_defaults()

    def kill_storms(self, rounds=8):
        """SIGKILL in the middle of a storm of stored setting changes."""
        survived = 0
        for _ in range(rounds):
            self.orvella.start()
            storm = subprocess.Popen(
                ["bash", "-c", "for i in $(seq 1 400); do "
                 "gdbus call --session --dest org.orvella.Orvella --object-path /org/orvella/Orvella "
                 "--method org.orvella.Orvella.SetWindowAvoidance $([ $((i % 2)) = 0 ] && echo true || echo false) "
                 ">/dev/null 2>&1 & done; wait"], env=self.desktop.env)
            time.sleep(self.rng.uniform(0.2, 1.5))
            self.orvella.proc.send_signal(signal.SIGKILL)
            self.orvella.proc.wait()
            storm.wait()
            with open(self.orvella.defaults_file) as f:
                text = f.read()
            if not text.strip():
                self.fail("the defaults file is empty after SIGKILL")
            try:
                json.loads(text)
            except ValueError as e:
                self.fail(f"the defaults file is truncated after SIGKILL: {e}")
            survived += 1
        return survived

    def report(self):
        print(f"soak: {self.minutes} min passed", flush=True)
        print("  actions: " + ", ".join(f"{k} {v}" for k, v in sorted(self.actions.items())))
        print(f"  restarts: {self.restarts}; most Orvella windows at once: {self.max_windows}")
        if self.rss:
            print(f"  resident memory: first {self.rss[0][1]:.1f} MiB, highest {max(r for _, r in self.rss):.1f} MiB, "
                  f"last {self.rss[-1][1]:.1f} MiB")


def main():
    minutes = float(sys.argv[1]) if len(sys.argv) > 1 else 10
    seed = int(os.environ.get("SOAK_SEED", time.time()))
    print(f"soak: seed {seed}", flush=True)
    soak = Soak(minutes, seed)
    try:
        soak.run()
        soak.report()
        survived = soak.kill_storms()
        print(f"  SIGKILL in setting storms: {survived} of {survived} left a whole defaults file")
    finally:
        soak.orvella.stop()
        soak.desktop.stop()


if __name__ == "__main__":
    main()
