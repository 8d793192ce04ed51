"""A device pixel ratio of 2: fish stay 112 points (224 pixels), drawn from
their 144-pixel icon images, and still take clicks on their icons."""

import os
import time
import unittest

from harness import DesktopTest, mean, wait_until


class DoubleDensity(DesktopTest):
    size = "2880x1800"

    def setUp(self):
        super().setUp()
        self.desktop.env["QT_SCALE_FACTOR"] = "2"
        self.entry, self.launches = self.desktop.install_launcher()
        # Nearly opaque, so that the icon's own contrast shows.
        self.orvella.write_defaults({"Orvella.applicationPaths": [self.entry], "Orvella.iconOpacity": 0.9})

    def test_fish_are_112_points_crisp_and_clickable(self):
        self.desktop.mouse(1400, 900)
        self.orvella.start(fish=1)
        fish = self.desktop.windows()[0]
        self.assertEqual((fish["w"], fish["h"]), (224, 224))
        self.orvella.freeze()
        shot = self.desktop.screenshot()
        fish = self.desktop.windows()[0]
        self.orvella.thaw()
        background = shot.at(3, 3)
        # The icon fills 144 pixels at the centre, with sharp detail: its
        # strongest edge steps about 60 from one pixel to the next, where a
        # 72-pixel image stretched to 144 would step about half that.
        x, y = fish["x"], fish["y"]
        icon = shot.region(x + 82, y + 82, 60, 60)
        self.assertGreater(mean(max(abs(a - b) for a, b in zip(p, background)) for p in icon), 8)
        steps = [max(abs(a - b) for a, b in zip(shot.at(i, j), shot.at(i + 1, j)))
                 for j in range(y + 50, y + 174, 2) for i in range(x + 50, x + 173)]
        self.assertGreater(max(steps), 45, "no sharp edge in the icon")
        # The icon takes the click (the input shape is in pixels too).
        w = self.desktop.windows()[0]
        self.desktop.output(["xdotool", "mousemove", str(w["x"] + 112), str(w["y"] + 112), "click", "1"])
        self.assertTrue(wait_until(lambda: len(os.listdir(self.launches)) == 1, timeout=5), "the click did not open")


if __name__ == "__main__":
    unittest.main()
