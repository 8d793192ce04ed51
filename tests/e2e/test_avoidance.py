"""Window avoidance on a real desktop: with the switch on, the school keeps
clear of the focused client window, and a window covering most of the
display sends the fish into a waterway along its top."""

import re
import time
import unittest

from harness import DesktopTest, TEST_APPS, wait_until


class WindowAvoidance(DesktopTest):
    def open_window(self, width, height, x, y):
        """A real client window, decorated and focused by the window manager;
        returns it and its frame (x, y, w, h) in X coordinates."""
        proc = self.desktop.spawn(["xmessage", "-geometry", f"{width}x{height}+{x}+{y}", "Orvella avoidance test"])
        self.addCleanup(proc.kill)
        active = wait_until(lambda: self.active_xmessage(), timeout=10)
        self.assertTrue(active, "the window manager did not focus the window")
        return proc, self.frame_of(active)

    def active_xmessage(self):
        out = self.desktop.output(["xdotool", "getactivewindow"], check=False).strip()
        if not out:
            return None
        wm_class = self.desktop.output(["xprop", "-id", out, "WM_CLASS"], check=False)
        return out if "xmessage" in wm_class.lower() else None

    def frame_of(self, window):
        info = self.desktop.output(["xwininfo", "-id", window])
        value = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
        extents = self.desktop.output(["xprop", "-id", window, "_NET_FRAME_EXTENTS"], check=False)
        m = re.search(r"= (\d+), (\d+), (\d+), (\d+)", extents)
        left, right, top, bottom = map(int, m.groups()) if m else (0, 0, 0, 0)
        return (value("Absolute upper-left X") - left, value("Absolute upper-left Y") - top,
                value("Width") + left + right, value("Height") + top + bottom)

    def centres(self):
        return [(w["x"] + w["w"] / 2, w["y"] + w["h"] / 2) for w in self.desktop.windows()]

    def start_with_avoidance(self):
        self.orvella.write_defaults({"Orvella.windowAvoidanceEnabled": True})
        self.desktop.mouse(700, 450)
        self.orvella.start(fish=len(TEST_APPS))

    def test_fish_keep_clear_of_the_focused_window_and_return_when_it_closes(self):
        self.start_with_avoidance()
        proc, (fx, fy, fw, fh) = self.open_window(460, 300, 480, 300)
        inside = lambda c: fx <= c[0] < fx + fw and fy <= c[1] < fy + fh
        time.sleep(6)  # the zone grows in over about a second; the fish leave
        samples, hits, stays = 0, 0, {}
        deadline = time.monotonic() + 12
        while time.monotonic() < deadline:
            for w in self.desktop.windows():
                c = (w["x"] + w["w"] / 2, w["y"] + w["h"] / 2)
                samples += 1
                if inside(c):
                    hits += 1
                    stays.setdefault(w["name"], time.monotonic())
                else:
                    stays.pop(w["name"], None)
                for name, since in stays.items():
                    self.assertLess(time.monotonic() - since, 2.0, f"{name} stays inside the focused window")
            time.sleep(0.1)
        self.assertGreater(samples, 60)
        self.assertLess(hits / samples, 0.05, "fish centres inside the focused window")
        # Outside the window, the school still swims.
        before = self.centres()
        time.sleep(1)
        moved = sum(1 for a, b in zip(before, self.centres()) if abs(a[0] - b[0]) + abs(a[1] - b[1]) > 5)
        self.assertGreater(moved, 0)

        proc.terminate()
        proc.wait()
        # The zone shrinks away and the fish roam over the whole frame again.
        returned = wait_until(lambda: any(inside(c) for c in self.centres()), timeout=45, interval=0.2)
        self.assertTrue(returned, "no fish came back over the closed window's place")

    def test_a_window_over_most_of_the_display_sends_the_fish_to_the_top(self):
        self.start_with_avoidance()
        self.open_window(1400, 800, 10, 30)
        # 1440 x 900 without panels: swim frame 96...804 (y up), top 30 %
        # from 591.6 up, so centres above 900 - 591.6 on the X screen (with
        # half a fish of slack for the wander around the band).
        band_bottom = 900 - (804 - 0.3 * 708)
        time.sleep(10)
        lowest = 0
        for _ in range(30):
            lowest = max([lowest] + [c[1] for c in self.centres()])
            time.sleep(0.1)
        self.assertLess(lowest, band_bottom + 56)

    def test_without_the_switch_the_window_is_ignored(self):
        self.desktop.mouse(700, 450)
        self.orvella.start(fish=len(TEST_APPS))
        self.open_window(1400, 800, 10, 30)
        time.sleep(8)
        lowest = 0
        for _ in range(50):
            lowest = max([lowest] + [c[1] for c in self.centres()])
            time.sleep(0.1)
        self.assertGreater(lowest, 900 - (804 - 0.3 * 708) + 56, "the school roams below the band")


if __name__ == "__main__":
    unittest.main()
