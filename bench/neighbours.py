"""Orvella's idle cost beside the desktop toys people compare it with, on
one desktop: Xvfb 1920x1080 with openbox, picom and tint2 as the tray.
Nine idle fish, then xpenguins, xfishtank and oneko, each alone on the
desktop for SECONDS after start-up, for ROUNDS rounds. For each, the CPU
share of its process and of the display side (Xvfb and picom), and its
resident memory; then the medians, and Orvella's share as a multiple of
xpenguins'. Run by bench/report; a toy that is not installed is left out.

    neighbours.py [SECONDS [ROUNDS]]"""

import os
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))

from harness import Desktop, Orvella  # noqa: E402
from bench_support import cpu, nine_apps, wait_for_tray  # noqa: E402

SECONDS = float(sys.argv[1]) if len(sys.argv) > 1 else 20
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 3
# Debian puts some of them in /usr/games.
SEARCH = os.environ.get("PATH", "/usr/bin:/bin") + ":/usr/games"
TOYS = {name: shutil.which(name, path=SEARCH) for name in ("xpenguins", "xfishtank", "oneko")}


def resident_mib(pid):
    with open(f"/proc/{pid}/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmRSS")) / 1024


def measure(desktop, pid):
    display = [p.pid for p in desktop.procs if os.path.basename(str(p.args[0])) in ("Xvfb", "picom")]
    time.sleep(5)  # start-up is not idle
    own0, shown0, t0 = cpu(pid), sum(cpu(p) for p in display), time.monotonic()
    time.sleep(SECONDS)
    own1, shown1, t1 = cpu(pid), sum(cpu(p) for p in display), time.monotonic()
    wall = t1 - t0
    return 100 * (own1 - own0) / wall, 100 * (shown1 - shown0) / wall, resident_mib(pid)


results = {}
for round in range(ROUNDS):
    for name in ["orvella", *TOYS]:
        if name != "orvella" and not TOYS[name]:
            continue
        desktop = Desktop("1920x1080", compositor=True, wm="openbox").start()
        try:
            if shutil.which("tint2"):
                desktop.spawn(["tint2"])
                if not wait_for_tray(desktop):
                    print("  tint2 did not take the tray: Orvella opens its settings window", flush=True)
            desktop.mouse(1900, 1060)
            if name == "orvella":
                orvella = Orvella(desktop)
                orvella.args = ("--backend", "x11")
                orvella.write_defaults({"Orvella.applicationPaths": nine_apps(desktop)})
                orvella.start()
                try:
                    figures = measure(desktop, orvella.proc.pid)
                finally:
                    orvella.stop()
            else:
                proc = desktop.spawn([TOYS[name]], stderr=subprocess.DEVNULL)
                figures = measure(desktop, proc.pid)
        finally:
            desktop.stop()
        results.setdefault(name, []).append(figures)
        print(f"  round {round + 1}, {name}: process {figures[0]:.2f} %, X server + picom {figures[1]:.2f} % "
              f"of one core, resident {figures[2]:.1f} MiB", flush=True)

for name, runs in results.items():
    print(f"  median of {len(runs)}, {name}: process {statistics.median(r[0] for r in runs):.2f} %, "
          f"X server + picom {statistics.median(r[1] for r in runs):.2f} %, "
          f"resident {statistics.median(r[2] for r in runs):.1f} MiB", flush=True)
if "orvella" in results and "xpenguins" in results:
    ratio = statistics.median(r[0] for r in results["orvella"]) / max(
        statistics.median(r[0] for r in results["xpenguins"]), 0.01)
    print(f"  nine idle fish cost {ratio:.1f} times xpenguins' CPU", flush=True)
