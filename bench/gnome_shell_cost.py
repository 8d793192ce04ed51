"""What Orvella costs GNOME Shell: the shell's CPU share over SECONDS of
wall time on a headless GNOME Shell with six fish, with Orvella's extension
subscribed to (the pointer at rest, then moving across the display) and
without the extension. Run by bench/report with the e2e harness on its
path; prints one line per case, or why it could not run."""

import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))

from harness import TEST_APPS, Orvella  # noqa: E402
from wayland_harness import GnomeDesktop, Unavailable  # noqa: E402

SECONDS = float(sys.argv[1]) if len(sys.argv) > 1 else 20
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def share(desktop, moving):
    start_cpu, start = cpu_seconds(desktop.shell.pid), time.monotonic()
    x = 0
    while time.monotonic() - start < SECONDS:
        if moving:
            x = (x + 40) % 1200
            desktop.pointer(40 + x, 400)
        time.sleep(0.1)
    return 100 * (cpu_seconds(desktop.shell.pid) - start_cpu) / (time.monotonic() - start)


def case(label, extension, moving):
    desktop = GnomeDesktop("1280x800", extension=extension)
    try:
        desktop.start()
    except Unavailable as e:
        print(f"  {label}: not measured ({e})")
        desktop.stop()
        return
    orvella = Orvella(desktop)
    try:
        orvella.start(fish=len(TEST_APPS))
        time.sleep(5)  # start-up is not idle
        print(f"  {label}: gnome-shell {share(desktop, moving):.2f} % of one core", flush=True)
    finally:
        orvella.stop()
        desktop.stop()


case("without the extension, pointer at rest", False, False)
case("with the extension, pointer at rest", True, False)
case("without the extension, pointer moving", False, True)
case("with the extension, pointer moving", True, True)
