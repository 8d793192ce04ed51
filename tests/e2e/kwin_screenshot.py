"""Writes KWin's whole workspace to stdout as a PPM image, through its
ScreenShot2 interface (KWin must run with KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1).
Run by the system Python, which has GObject introspection: the image comes
back through a pipe handed over the bus."""

import os
import sys
import threading

from gi.repository import Gio, GLib

bus = Gio.bus_get_sync(Gio.BusType.SESSION)
read_end, write_end = os.pipe()
chunks = []


def drain():
    with os.fdopen(read_end, "rb") as f:
        chunks.append(f.read())


reader = threading.Thread(target=drain, daemon=True)
reader.start()
fds = Gio.UnixFDList.new()
fds.append(write_end)
os.close(write_end)
try:
    reply, _ = bus.call_with_unix_fd_list_sync(
        "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureWorkspace",
        GLib.Variant("(a{sv}h)", ({}, 0)), GLib.VariantType("(a{sv})"), Gio.DBusCallFlags.NONE, 10000, fds, None)
except GLib.Error as e:
    # KWin 6 cancels every capture on its software renderer.
    print(e.message, file=sys.stderr)
    sys.exit(3 if "Cancelled" in e.message else 1)
# Our copy of the write end must close for the reader to see the end; the
# list's own copy is not closed when the list goes (newer PyGObject keeps
# it alive), so take it out and close it.
for fd in fds.steal_fds():
    os.close(fd)
reader.join(timeout=10)
info = reply.unpack()[0]
width, height, stride = info["width"], info["height"], info["stride"]
data = chunks[0] if chunks else b""
# QImage::Format_ARGB32 or _RGB32 (5 / 4): B, G, R, A in memory.
rows = []
for y in range(height):
    row = data[y * stride:y * stride + 4 * width]
    rows.append(bytes(b for i in range(0, len(row), 4) for b in (row[i + 2], row[i + 1], row[i])))
sys.stdout.buffer.write(b"P6 %d %d 255\n" % (width, height) + b"".join(rows))
