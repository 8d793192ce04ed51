"""What the benchmark scripts share: a process's CPU time and wake-ups
from /proc, and a catalogue of nine applications."""

import os

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


def wakes(pid):
    """Voluntary context switches of every thread of a process: on a
    virtual machine each wake-up costs tens of microseconds of its own."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/status") as f:
                total += sum(int(line.split()[1]) for line in f if line.startswith("voluntary_ctxt_switches"))
        except OSError:
            pass
    return total


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
