"""The idle cost of nine fish, side by side: Orvella on X11 (Xvfb with
picom) and Orvella on its Wayland backend in sway (headless, pixman). For
each, the CPU share of Orvella's process and of the display side (Xvfb and
picom; sway) over SECONDS of wall time, after start-up, with the pointer
resting away from the fish.

A share of about two per cent of one core moves by half a point from one
run to the next on a virtual machine, so the two cases alternate for ROUNDS
rounds, each with a fresh process, and the medians are compared. The tank
steps twice as often while fish overlap, which depends on where they
happened to start, so the CPU time per motion step is given beside the
share. Run by bench/report; prints one line per run and the medians.

    wayland_cost.py [SECONDS [ROUNDS]]"""

import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))

from harness import Desktop, Orvella  # noqa: E402
from wayland_harness import SwayDesktop, Unavailable  # noqa: E402

SECONDS = float(sys.argv[1]) if len(sys.argv) > 1 else 20
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 3
TICKS = os.sysconf("SC_CLK_TCK")
ICONS = ["web-browser", "mail-send", "utilities-terminal", "accessories-text-editor", "user-available",
         "system-file-manager", "office-calendar", "applications-graphics", "x-office-presentation"]


def cpu(pid, part=None):
    """User and system time of a process in seconds (or one of them)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        user, system = int(fields[11]) / TICKS, int(fields[12]) / TICKS
        return {"user": user, "system": system}.get(part, user + system)
    except OSError:
        return 0.0


def nine_apps(desktop):
    apps = os.path.join(desktop.env["XDG_DATA_HOME"], "applications")
    os.makedirs(apps, exist_ok=True)
    paths = []
    for i, icon in enumerate(ICONS):
        path = os.path.join(apps, f"orvella-bench-{i}.desktop")
        with open(path, "w") as f:
            f.write(f"[Desktop Entry]\nType=Application\nName=Bench {i}\nIcon={icon}\nExec=/bin/true\n")
        paths.append(path)
    return paths


def shares(groups, steps):
    """The CPU share of each group of processes over the same SECONDS, and
    the motion steps per second."""
    start = [sum(cpu(p) for p in pids) for pids in groups]
    s0 = steps()
    t0 = time.monotonic()
    time.sleep(SECONDS)
    wall = time.monotonic() - t0
    return [100 * (sum(cpu(p) for p in pids) - s) / wall for pids, s in zip(groups, start)], (steps() - s0) / wall


def run(label, desktop, display_pids, args, pointer):
    orvella = Orvella(desktop)
    orvella.args = args
    try:
        orvella.write_defaults({"Orvella.applicationPaths": nine_apps(desktop)})
        pointer()
        orvella.start()
        time.sleep(5)  # start-up is not idle
        pid = orvella.proc.pid
        u0, s0 = cpu(pid, "user"), cpu(pid, "system")
        (own, shown), rate = shares([[pid], display_pids()], orvella.motion_steps)
        u1, s1 = cpu(pid, "user"), cpu(pid, "system")
        # Per cent of a second per second, over steps per second.
        per_step = 10 * own / rate if rate else float("nan")
        print(f"  {label}: orvella {own:.2f} % (user {100 * (u1 - u0) / SECONDS:.2f}, system "
              f"{100 * (s1 - s0) / SECONDS:.2f}), display side {shown:.2f} % of one core; "
              f"{rate:.1f} motion steps a second, {per_step:.3f} ms of orvella's CPU a step", flush=True)
        return own, shown, per_step
    finally:
        orvella.stop()


def summary(label, results):
    if not results:
        return
    own = statistics.median(r[0] for r in results)
    shown = statistics.median(r[1] for r in results)
    per_step = statistics.median(r[2] for r in results)
    print(f"  median of {len(results)}, {label}: orvella {own:.2f} % ({per_step:.3f} ms a step), "
          f"display side {shown:.2f} %", flush=True)


x11 = Desktop("1440x900", compositor=True, wm="openbox").start()
sway = SwayDesktop("1440x900", compositor=False, wm=None)
try:
    try:
        sway.start()
    except Unavailable as e:
        print(f"  Wayland on sway: not measured ({e})")
        sway = None
    else:
        sway.native = True
        sway.env.pop("QT_QPA_PLATFORM", None)

    def x11_display():
        return [p.pid for p in x11.procs if os.path.basename(str(p.args[0])) in ("Xvfb", "picom")]

    on_x11, on_sway = [], []
    for _ in range(ROUNDS):
        on_x11.append(run("X11, Xvfb + picom", x11, x11_display, ("--backend", "x11"), lambda: x11.mouse(1400, 880)))
        if sway:
            on_sway.append(run("Wayland backend on sway (pixman)", sway, lambda: [sway.sway.pid],
                               ("--backend", "wayland"), lambda: sway.pointer(1400, 880)))
    summary("X11, Xvfb + picom", on_x11)
    summary("Wayland backend on sway (pixman)", on_sway)
finally:
    if sway:
        sway.stop()
    x11.stop()
