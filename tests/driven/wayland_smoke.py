"""Vornel under Wayland, with Weston, the reference compositor: the splash is drawn on a headless
Weston, and on a Weston nested in an Xvfb screen (whose keyboard xdotool drives, since a
headless Weston has no input devices) a key closes the splash and the main window is drawn.
What the compositor shows is read with weston-screenshooter.

    python3 tests/driven/wayland_smoke.py --vornel build/app/vornel

Skips only when Weston cannot start at all.
"""

import argparse
import glob
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import xdrive

ARGS = None
WIDTH, HEIGHT = 1024, 768
ORANGE = (255, 128, 0)         # "Tessaly" on the splash
GREEN = (0, 255, 0)            # "Click to RUN"
DARK_GREY = (64, 64, 64)       # the main window
LIGHT_YELLOW = (255, 255, 128)  # "Tessaly" on the main window


def count(shot, colour):
    """Pixels of exactly `colour`, on every second row and column."""
    wanted = bytes(colour)
    data, width = shot.data, shot.width
    return sum(1 for y in range(0, shot.height, 2) for x in range(0, width, 2)
               if data[(y * width + x) * 3:(y * width + x) * 3 + 3] == wanted)


def first(shot, colour):
    """The first pixel of exactly `colour`, row by row."""
    wanted = bytes(colour)
    for y in range(shot.height):
        for x in range(shot.width):
            if shot.data[(y * shot.width + x) * 3:(y * shot.width + x) * 3 + 3] == wanted:
                return x, y
    raise AssertionError(f"no pixel of {colour}")


class Weston:
    """A Weston of its own, in a private runtime folder; `backend` is "headless" or "x11"."""

    def __init__(self, backend, env):
        self.folder = tempfile.mkdtemp(prefix="vornel-weston-")
        os.chmod(self.folder, 0o700)
        self.env = dict(env, XDG_RUNTIME_DIR=self.folder, WAYLAND_DISPLAY="vornel-wl")
        self.log = open(os.path.join(self.folder, "weston.log"), "w+")
        self.process = subprocess.Popen(
            ["weston", f"--backend={backend}-backend.so", "--use-pixman", "--socket=vornel-wl",
             "--idle-time=0", "--debug", f"--width={WIDTH}", f"--height={HEIGHT}"],
            env=self.env, stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 15
        # Ready once its shell has drawn the desktop.
        while self.process.poll() is None and time.monotonic() < deadline:
            if os.path.exists(os.path.join(self.folder, "vornel-wl")):
                try:
                    if count(self.screenshot(), (0, 0, 0)) < WIDTH * HEIGHT // 4 // 2:
                        return
                except (subprocess.CalledProcessError, IndexError):
                    pass
            time.sleep(0.2)
        self.log.seek(0)
        reason = self.log.read()[-600:]
        self.close()
        raise unittest.SkipTest("weston cannot start: " + reason)

    def screenshot(self):
        for old in glob.glob(os.path.join(self.folder, "wayland-screenshot-*.png")):
            os.remove(old)
        subprocess.run(["weston-screenshooter"], env=self.env, cwd=self.folder, check=True,
                       capture_output=True, timeout=10)
        png = glob.glob(os.path.join(self.folder, "wayland-screenshot-*.png"))[0]
        ppm = subprocess.run(["convert", png, "-depth", "8", "ppm:-"], check=True,
                             capture_output=True).stdout
        return xdrive.Screenshot(ppm)

    def wait_for(self, condition, what, timeout=15):
        return xdrive.poll(self.screenshot, condition, timeout, 0.2,
                           lambda _: f"timed out waiting for {what} under Weston")

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)
        self.log.close()
        shutil.rmtree(self.folder, ignore_errors=True)


def splash_drawn(shot):
    return count(shot, ORANGE) > 200 and count(shot, GREEN) > 50


def main_window_drawn(shot):
    return count(shot, DARK_GREY) > 2000 and count(shot, LIGHT_YELLOW) > 10


class UnderWayland(unittest.TestCase):
    def start_vornel(self, weston):
        env = dict(weston.env, QT_QPA_PLATFORM="wayland", VORNEL_SERIAL_PORTS="/nonexistent")
        env.pop("DISPLAY", None)
        vornel = subprocess.Popen([ARGS.vornel], env=env)
        self.addCleanup(lambda: vornel.poll() is None and vornel.kill())
        return vornel

    def test_the_splash_is_drawn_on_a_headless_weston(self):
        weston = Weston("headless", os.environ)
        self.addCleanup(weston.close)
        vornel = self.start_vornel(weston)
        weston.wait_for(splash_drawn, "the splash")
        self.assertIsNone(vornel.poll(), "Vornel is still running")
        vornel.send_signal(signal.SIGTERM)
        self.assertEqual(vornel.wait(timeout=15), 0)

    def test_a_key_closes_the_splash_and_the_main_window_is_drawn(self):
        display = xdrive.Display(WIDTH, HEIGHT)
        self.addCleanup(display.close)
        weston = Weston("x11", display.env)
        self.addCleanup(weston.close)
        vornel = self.start_vornel(weston)
        shot = weston.wait_for(splash_drawn, "the splash")
        self.assertFalse(main_window_drawn(shot), "the main window shows before the splash")
        # Weston's window fills the Xvfb screen; the key goes to the window under the pointer.
        # A key that comes before the compositor has given the splash the keyboard is lost,
        # and is pressed again.
        # Weston's keyboard follows its pointer here: the pointer rests on the splash's title.
        display.xdotool("mousemove", *first(shot, ORANGE))
        for attempt in range(10):
            display.key("space")
            try:
                shot = weston.wait_for(lambda s: main_window_drawn(s) and not splash_drawn(s),
                                       "the main window in place of the splash", timeout=2)
                break
            except AssertionError:
                if attempt == 9:
                    raise
        vornel.send_signal(signal.SIGTERM)
        self.assertEqual(vornel.wait(timeout=15), 0)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--vornel", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
