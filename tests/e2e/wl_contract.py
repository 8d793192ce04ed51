"""Runs the ports' contract tests (orvella_contract_tests) against the
Wayland backend in a headless compositor this script starts:

    wl_contract.py sway|kwin|labwc CONTRACT_BINARY [gtest arguments]

sway and labwc get two outputs, the second at 2x; KWin two at 1.5x. The binary is
told the layout, how to take a screenshot, how to move an output and back
and, on KWin (sway 1.7 cannot turn a headless output off), how to turn
the second output off and on. Exits with the binary's status, or 77 (skipped) when the compositor
cannot start here."""

import os
import subprocess
import sys

from wayland_harness import REQUIRED, KWinDesktop, LabwcDesktop, SwayDesktop, Unavailable

HERE = os.path.dirname(os.path.abspath(__file__))


def sway(desktop):
    desktop.start()
    desktop.swaymsg("create_output")
    # An output without a set place is laid out again beside the new one.
    desktop.swaymsg("output", "HEADLESS-1", "position", "0", "0")
    desktop.swaymsg("output", "HEADLESS-2", "resolution", "1440x900", "position", "1440", "0", "scale", "2")
    return desktop, {
        "ORVELLA_CONTRACT_LAYOUT": "0,0,1440,900;1440,0,720,450",
        # One image pixel per layout point: the 2x output comes down to it.
        "ORVELLA_CONTRACT_SCREENSHOT": "grim -s 1 -t ppm -",
        "ORVELLA_CONTRACT_RELAYOUT": "swaymsg output HEADLESS-2 position 1440 300",
        "ORVELLA_CONTRACT_RESTORE": "swaymsg output HEADLESS-2 position 1440 0",
    }


def labwc(desktop):
    desktop.start()
    # labwc announces its second headless output first, which makes it the
    # primary one for Qt: that one is the 1x output at the origin.
    desktop.set_output("HEADLESS-1", "1440x900", 1440, 0, scale=2)
    desktop.set_output("HEADLESS-2", "1440x900", 0, 0)
    return desktop, {
        "ORVELLA_CONTRACT_LAYOUT": "0,0,1440,900;1440,0,720,450",
        "ORVELLA_CONTRACT_SCREENSHOT": "grim -s 1 -t ppm -",
        "ORVELLA_CONTRACT_RELAYOUT": "wlr-randr --output HEADLESS-1 --pos 1440,300",
        "ORVELLA_CONTRACT_RESTORE": "wlr-randr --output HEADLESS-1 --pos 1440,0",
        "ORVELLA_CONTRACT_REMOVE_OUTPUT": "wlr-randr --output HEADLESS-1 --off",
        "ORVELLA_CONTRACT_RESTORE_OUTPUT": "wlr-randr --output HEADLESS-1 --on --custom-mode 1440x900 --pos 1440,0 --scale 2",
    }


def kwin(desktop):
    outputs = os.environ.get("ORVELLA_TEST_KWIN_OUTPUTS")
    if not outputs:
        raise Unavailable("orvella-test-kwin-outputs was not built")
    desktop.start()
    return desktop, {
        # --width and --height are logical: each output is 2160x1350 pixels.
        "ORVELLA_CONTRACT_LAYOUT": "0,0,1440,900;1440,0,1440,900",
        "ORVELLA_CONTRACT_SCREENSHOT": f"/usr/bin/python3 {os.path.join(HERE, 'kwin_screenshot.py')}",
        "ORVELLA_CONTRACT_RELAYOUT": f"{outputs} position Virtual-1 1440 300",
        "ORVELLA_CONTRACT_RESTORE": f"{outputs} position Virtual-1 1440 0",
        "ORVELLA_CONTRACT_REMOVE_OUTPUT": f"{outputs} enable Virtual-1 0",
        "ORVELLA_CONTRACT_RESTORE_OUTPUT": f"{outputs} enable Virtual-1 1",
    }


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("sway", "kwin", "labwc"):
        sys.exit(__doc__)
    binary = sys.argv[2]
    desktop = {"sway": lambda: SwayDesktop("1440x900"), "labwc": lambda: LabwcDesktop("1440x900", outputs=2),
               "kwin": lambda: KWinDesktop("1440x900", outputs=2, scale=1.5)}[sys.argv[1]]()
    try:
        desktop, contract = {"sway": sway, "kwin": kwin, "labwc": labwc}[sys.argv[1]](desktop)
    except Unavailable as e:
        desktop.stop()
        print(f"{'failed' if REQUIRED else 'skipped'}: {e}")
        sys.exit(1 if REQUIRED else 77)
    except BaseException:
        desktop.stop()
        raise
    try:
        env = dict(desktop.env, ORVELLA_CONTRACT_DESKTOP="wayland", QT_QPA_PLATFORM="wayland",
                   ORVELLA_TEST_POINTER=desktop.POINTER, **contract)
        status = subprocess.run([binary, *sys.argv[3:]], env=env, timeout=600).returncode
    finally:
        desktop.stop()
    sys.exit(status)


if __name__ == "__main__":
    main()
