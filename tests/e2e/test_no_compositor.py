"""Without a compositing manager translucent windows would show as black
squares: the fish windows are cut to their drawn pixels instead, and go back
to translucent windows when a compositor starts."""

import os
import re
import shutil
import time
import unittest

from harness import DesktopTest, TEST_APPS, mean, wait_until


def shaped(desktop, window):
    """Whether the window is cut to less than its 112-point square."""
    extents = bounding_extents(desktop, window)
    return extents is not None and extents != (112, 112)


def bounding_extents(desktop, window):
    out = desktop.output(["xwininfo", "-shape", "-id", window])
    m = re.search(r"Window shape extents:\s+(\d+)x(\d+)", out)
    return (int(m.group(1)), int(m.group(2))) if m else None


class WithoutCompositor(DesktopTest):
    compositor = False

    def test_fish_are_cut_out_and_become_translucent_when_a_compositor_starts(self):
        # A grey desktop, so that a black square would stand out.
        self.desktop.output(["xsetroot", "-solid", "#808080"])
        self.desktop.mouse(700, 450)
        self.orvella.start(fish=len(TEST_APPS))
        self.assertTrue(wait_until(lambda: all(shaped(self.desktop, w["id"]) for w in self.desktop.windows()),
                                   timeout=5), "fish windows are not shaped")
        self.orvella.freeze()
        shot = self.desktop.screenshot()
        windows = self.desktop.windows()
        self.orvella.thaw()
        artifacts = os.environ.get("ORVELLA_E2E_ARTIFACTS")
        if artifacts:
            os.makedirs(artifacts, exist_ok=True)
            shutil.copy(shot.path, os.path.join(artifacts, "no-compositor.png"))
        background = shot.at(3, 3)
        def covered_by_another(w, x, y):
            return any(o is not w and o["x"] <= x < o["x"] + 112 and o["y"] <= y < o["y"] + 112 for o in windows)
        for w in windows:
            # No black square: the window's corners show the desktop (where
            # no other fish swims over them; the tail may reach an edge).
            for cx, cy in ((2, 2), (109, 2), (2, 109), (109, 109)):
                x, y = w["x"] + cx, w["y"] + cy
                if covered_by_another(w, x, y):
                    continue
                px = shot.at(x, y)
                self.assertLessEqual(max(abs(a - b) for a, b in zip(px, background)), 3, (w["name"], cx, cy, px))
            dark = [p for p in shot.region(w["x"], w["y"], 112, 112) if max(p) < 20]
            self.assertLess(len(dark), 40, f"{w['name']}: black pixels around the fish")
            # The icon itself is drawn.
            icon = shot.region(w["x"] + 41, w["y"] + 41, 30, 30)
            self.assertGreater(mean(max(abs(a - b) for a, b in zip(p, background)) for p in icon), 8, w["name"])

        # And so are the tails: dithered pixels of their blue-green tints
        # beside the icons.
        def beside_icons(x, y):
            return not any(abs(x - (o["x"] + 56)) < 28 and abs(y - (o["y"] + 56)) < 28 for o in windows)
        tinted = [(x, y) for w in windows for y in range(w["y"], w["y"] + 112) for x in range(w["x"], w["x"] + 112)
                  if 0 <= x < shot.width and 0 <= y < shot.height and beside_icons(x, y)
                  and max(shot.at(x, y)) - min(shot.at(x, y)) > 80 and shot.at(x, y)[0] < 160]
        # (The school crowds round the pointer: tails hidden by other fish's
        # icons are not counted, so the bar is kept well under a full tail.)
        self.assertGreater(len(set(tinted)), 25 * len(windows), "no tails")

        self.desktop.start_compositor()
        self.assertTrue(wait_until(lambda: not any(shaped(self.desktop, w["id"]) for w in self.desktop.windows()),
                                   timeout=6), "the shape stayed after the compositor started")
        self.desktop.stop_compositor()
        self.assertTrue(wait_until(lambda: all(shaped(self.desktop, w["id"]) for w in self.desktop.windows()),
                                   timeout=6), "no shape after the compositor stopped")


if __name__ == "__main__":
    unittest.main()
