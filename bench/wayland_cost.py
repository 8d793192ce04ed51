"""The idle cost of nine fish, side by side: Orvella on X11 (Xvfb with
picom) and Orvella on its Wayland backend in sway (headless, pixman). For
each, the CPU share of Orvella's process and of the display side (Xvfb and
picom; sway) over SECONDS of wall time, after start-up, with the pointer
resting away from the fish.

A share of about two per cent of one core moves by half a point from one
run to the next on a virtual machine, mostly with how busy the machine as a
whole is. So the two cases run side by side, over the same SECONDS, for
ROUNDS rounds, each with fresh processes, and each round's two figures are
compared with each other. The tank steps twice as often while fish overlap,
which depends on where they happened to start, so the CPU time per motion
step is given beside the share. Run by bench/report; prints one line per
case and round, and the medians.

    wayland_cost.py [SECONDS [ROUNDS]]"""

import os
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))

from harness import Desktop, Orvella  # noqa: E402
from wayland_harness import SwayDesktop, Unavailable  # noqa: E402

from bench_support import cpu, nine_apps, wakes  # noqa: E402

SECONDS = float(sys.argv[1]) if len(sys.argv) > 1 else 20
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 3
class Case:
    """Orvella on one desktop, measured over a window of time."""

    def __init__(self, label, desktop, display_pids, args, pointer):
        self.label, self.desktop, self.display_pids = label, desktop, display_pids
        self.orvella = Orvella(desktop)
        self.orvella.args = args
        self.orvella.write_defaults({"Orvella.applicationPaths": nine_apps(desktop)})
        pointer()

    def begin(self):
        self.pid = self.orvella.proc.pid
        self.before = self.sample()

    def sample(self):
        pid = self.pid
        return (cpu(pid, "user"), cpu(pid, "system"), sum(cpu(p) for p in self.display_pids()), wakes(pid),
                self.orvella.motion_steps(), time.monotonic())

    def end(self):
        (u0, s0, d0, w0, m0, t0), (u1, s1, d1, w1, m1, t1) = self.before, self.sample()
        wall = t1 - t0
        own, shown, rate = 100 * (u1 + s1 - u0 - s0) / wall, 100 * (d1 - d0) / wall, (m1 - m0) / wall
        # Per cent of a second per second, over steps per second.
        per_step = 10 * own / rate if rate else float("nan")
        print(f"  {self.label}: orvella {own:.2f} % (user {100 * (u1 - u0) / wall:.2f}, system "
              f"{100 * (s1 - s0) / wall:.2f}), display side {shown:.2f} % of one core; "
              f"{rate:.1f} motion steps a second, {per_step:.3f} ms of orvella's CPU a step, "
              f"{(w1 - w0) / wall / rate if rate else float('nan'):.2f} wake-ups a step", flush=True)
        return own, shown, per_step


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
    for round in range(ROUNDS):
        cases = [Case("X11, Xvfb + picom", x11, x11_display, ("--backend", "x11"), lambda: x11.mouse(1400, 880))]
        if sway:
            cases.append(Case("Wayland backend on sway (pixman)", sway, lambda: [sway.compositor.pid],
                              ("--backend", "wayland"), lambda: sway.pointer(1400, 880)))
        # Which starts first changes from round to round.
        order = cases if round % 2 == 0 else cases[::-1]
        try:
            for case in order:
                case.orvella.start()
            time.sleep(5)  # start-up is not idle
            for case in order:
                case.begin()
            time.sleep(SECONDS)
            results = [case.end() for case in cases]
        finally:
            for case in cases:
                case.orvella.stop()
        on_x11.append(results[0])
        if sway:
            on_sway.append(results[1])
            print(f"  round {round + 1}: Wayland against X11, same {SECONDS:.0f} s: orvella "
                  f"{results[1][0] - results[0][0]:+.2f} points, {results[1][2] / results[0][2]:.2f} times the CPU a step",
                  flush=True)
    summary("X11, Xvfb + picom", on_x11)
    summary("Wayland backend on sway (pixman)", on_sway)
    if on_sway:
        difference = statistics.median(w[0] - x[0] for w, x in zip(on_sway, on_x11))
        ratio = statistics.median(w[2] / x[2] for w, x in zip(on_sway, on_x11))
        print(f"  median of {len(on_sway)} rounds, Wayland against X11 over the same seconds: orvella "
              f"{difference:+.2f} points of one core, {ratio:.2f} times the CPU a motion step", flush=True)
finally:
    if sway:
        sway.stop()
    x11.stop()
