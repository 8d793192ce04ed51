"""Drives GNOME Shell's pointer and keyboard through mutter's RemoteDesktop
bus interface, the way a remote-desktop client does. The session lives as
long as this process's bus connection, so it reads commands on stdin and
answers each with a line:

  move X Y        the pointer to X, Y in the layout, from its top-left
                  corner (mutter keeps a relative move that would leave
                  every monitor on the monitor it started on, so the
                  pointer goes there and back in steps that stay on one)
  press / release the left button
  click N         N clicks of the left button, sent back to back: each
                  call waiting for the shell's answer would spread them
                  over more than a quick triple-click takes on a busy shell
  key CODE down|up  an evdev key code (56: left Alt)

The first argument, if any, is the layout's width. Run by the system Python, which has GObject introspection."""

import sys

from gi.repository import Gio, GLib

BUS = Gio.bus_get_sync(Gio.BusType.SESSION)
NAME = "org.gnome.Mutter.RemoteDesktop"
BTN_LEFT = 0x110


def call(path, interface, method, args=None, reply=None):
    return BUS.call_sync(NAME, path, interface, method, args, GLib.VariantType(reply) if reply else None,
                         Gio.DBusCallFlags.NONE, 5000, None)


session = call("/org/gnome/Mutter/RemoteDesktop", NAME, "CreateSession", None, "(o)").unpack()[0]
SESSION = "org.gnome.Mutter.RemoteDesktop.Session"
call(session, SESSION, "Start")


def relative(dx, dy):
    call(session, SESSION, "NotifyPointerMotionRelative", GLib.Variant("(dd)", (dx, dy)))


STEP = 100
LAYOUT_WIDTH = 100000  # far more than any test's layout; a step past the edge stops there


def move(x, y):
    relative(0, -LAYOUT_WIDTH)
    for _ in range(int(sys.argv[1]) // STEP + 1 if len(sys.argv) > 1 else 40):
        relative(-STEP, 0)
    relative(0, y)
    while x > 0:
        relative(min(STEP, x), 0)
        x -= STEP


def clicks(count):
    """All the button events queued at once; then their answers."""
    loop = GLib.MainLoop()
    pending = [2 * count]

    def answered(connection, result):
        connection.call_finish(result)
        pending[0] -= 1
        if pending[0] == 0:
            loop.quit()
    for _ in range(count):
        for pressed in (True, False):
            BUS.call(NAME, session, SESSION, "NotifyPointerButton", GLib.Variant("(ib)", (BTN_LEFT, pressed)),
                     None, Gio.DBusCallFlags.NONE, 5000, None, answered)
    loop.run()


for line in sys.stdin:
    words = line.split()
    if not words:
        continue
    if words[0] == "move":
        move(float(words[1]), float(words[2]))
    elif words[0] == "click":
        clicks(int(words[1]))
    elif words[0] in ("press", "release"):
        call(session, SESSION, "NotifyPointerButton", GLib.Variant("(ib)", (BTN_LEFT, words[0] == "press")))
    elif words[0] == "key":
        call(session, SESSION, "NotifyKeyboardKeycode", GLib.Variant("(ub)", (int(words[1]), words[2] == "down")))
    print("ok", flush=True)
