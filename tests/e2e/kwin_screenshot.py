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


reader = threading.Thread(target=drain)
reader.start()
fds = Gio.UnixFDList.new()
fds.append(write_end)
os.close(write_end)
reply, _ = bus.call_with_unix_fd_list_sync(
    "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureWorkspace",
    GLib.Variant("(a{sv}h)", ({}, 0)), GLib.VariantType("(a{sv})"), Gio.DBusCallFlags.NONE, 10000, fds, None)
del fds  # closes our copy of the write end: the reader sees the end
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
