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


def wait_for_tray(desktop, timeout=10):
    """Waits until a tray host owns the desktop's system tray selection: an
    Orvella started before it would find no tray and open its settings
    window. True once one does."""
    import ctypes
    import time
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XGetSelectionOwner.restype = ctypes.c_ulong
    x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    dpy = x11.XOpenDisplay(desktop.env["DISPLAY"].encode())
    if not dpy:
        return False
    try:
        selection = x11.XInternAtom(dpy, b"_NET_SYSTEM_TRAY_S0", 0)
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if x11.XGetSelectionOwner(dpy, selection):
                return True
            time.sleep(0.1)
        return False
    finally:
        x11.XCloseDisplay(dpy)
