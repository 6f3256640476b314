"""The real Vornel program, started under Xvfb and driven with the mouse and the keyboard as a
person would, with the device simulator on a pseudo-terminal: on the bare X server
(DrivenProgram) and under Debian's metacity window manager (DrivenUnderWindowManager).

    python3 tests/driven/driven_test.py --vornel build/app/vornel \
        --sim build/sim/vornel-sim [DrivenProgram | DrivenUnderWindowManager]
"""

import argparse
import fcntl
import os
import signal
import struct
import subprocess
import sys
import time
import unittest

import atspi
import xdrive
from xdrive import Display

ARGS = None
TIOCGEXCL = 0x80045440


def port_is_free(path):
    """Nobody holds the device: no lock file of a live process, no exclusive flag, no flock."""
    lock = "/var/lock/LCK.." + path[len("/dev/"):].replace("/", "_")
    if os.path.exists(lock):
        try:
            with open(lock) as owner:
                pid = int(owner.readline())
            os.kill(pid, 0)
            return False
        except (ValueError, ProcessLookupError):
            pass
    fd = os.open(path, os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        exclusive = struct.unpack("i", fcntl.ioctl(fd, TIOCGEXCL, b"\0\0\0\0"))[0]
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        return False
    finally:
        os.close(fd)
    return exclusive == 0


class Driving:
    """Starting the programs and the first steps, shared by the tests below."""

    def start_simulator(self, *options):
        sim = subprocess.Popen([ARGS.sim, *options], stdout=subprocess.PIPE, text=True)
        self.addCleanup(sim.stdout.close)
        self.addCleanup(lambda: (sim.poll() is None and sim.terminate(), sim.wait(10)))
        return sim, sim.stdout.readline().strip()

    def start_vornel(self, ports, env=None):
        env = dict(env or self.display.env, VORNEL_SERIAL_PORTS=ports)
        vornel = subprocess.Popen([ARGS.vornel], env=env)
        self.addCleanup(lambda: vornel.poll() is None and vornel.kill())
        return vornel

    def close_splash(self):
        d = self.display
        # The splash is centred; its black margin does nothing, so the pointer may rest there.
        d.wait_for(lambda s: not xdrive.near(s.pixel(512, 384), (0, 0, 0), 8),
                   what="the splash")
        self.assertFalse(xdrive.main_window_shown(d.screenshot()),
                         "the main window shows before the splash closes")
        d.xdotool("mousemove", 512, 384)
        d.key("space")
        return d.wait_for(xdrive.main_window_shown, what="the main window")


class DrivenProgram(Driving, unittest.TestCase):
    """On the bare X server: no window manager, no title bars."""

    def setUp(self):
        self.display = Display()
        self.addCleanup(self.display.close)

    def test_a_session_from_start_to_exit(self):
        d = self.display
        sim, device = self.start_simulator("--wait-reader", "--rate", "2", "--seed", "7")
        # With a screen reader's accessibility bus, which reads and works the program too.
        bus = atspi.AccessibilityBus(d.env)
        self.addCleanup(bus.close)
        vornel = self.start_vornel(device, bus.program_env)

        shot = self.close_splash()
        self.assertTrue(xdrive.indicator_lit(shot), "the indicator is lit after start-up")
        items = xdrive.menu_items(shot)
        self.assertEqual(len(items), len(xdrive.MENU_NAMES), items)
        menu = dict(zip(xdrive.MENU_NAMES, items))
        self.assertEqual([f["name"] for f in atspi.objects(bus.tree(), "frame")], ["Vornel"])

        # set Hardware: the device's path typed into the port field, a speed, and SET pressed
        # by the screen reader: the fields are named by their labels, SET is a button.
        xdrive.fill_setup_dialog(d, menu, device, "115200")
        dialogs = list(atspi.objects(bus.tree(), "dialog"))
        self.assertEqual([w["name"] for w in dialogs], ["Basic COMM Setup"])
        self.assertEqual([c["name"] for c in atspi.objects(dialogs[0], "combo box")],
                         ["Manual assigned COMM #", "Baud Rate Select"])
        self.assertEqual([(b["name"], b["actions"])
                          for b in atspi.objects(dialogs[0], "push button")],
                         [("SET", ["Press"])])
        self.assertTrue(bus.press("push button", "SET"))
        d.wait_for(lambda s: not xdrive.setup_dialog_shown(s), what="the setup dialog to close")

        # Records arrive twice a second: the indicator goes dark after the first flash, and
        # lights again with the next frame.
        d.wait_for(xdrive.indicator_dark, what="the indicator to go dark")
        d.wait_for(xdrive.indicator_lit, what="the indicator to light with a frame")
        sim.send_signal(signal.SIGSTOP)
        d.wait_for(xdrive.indicator_dark, timeout=2, what="dark once the records stop")
        time.sleep(0.6)
        self.assertTrue(xdrive.indicator_dark(d.screenshot()))
        sim.send_signal(signal.SIGCONT)
        d.wait_for(xdrive.indicator_lit, what="the indicator to light again")

        # raw DAta: the viewer opens and shows the frame in its list after a tick.
        rx, ry = xdrive.RAW_CLIENT
        before = d.screenshot().region_colours(rx + 20, ry + 30, 300, 12)
        d.click(*menu["raw DAta"])
        shot = d.wait_for(
            lambda s: len(s.region_colours(rx + 20, ry + 30, 300, 12) - before) > 4,
            timeout=5, what="the raw data window showing a frame")
        self.assertNotEqual(shot.region_colours(rx + 20, ry + 30, 300, 12), before)

        # The viewer, above its owner, covers the main window's menu bar: drag the main window
        # down by its body to uncover it. Exit then ends the program, the viewer with it,
        # with status 0, and the port is free again.
        cx, cy = xdrive.MAIN_CLIENT
        grab = (cx + xdrive.MAIN_WIDTH - 30, cy + 38)
        d.drag(grab, (grab[0], grab[1] + 200))
        moved = (cx, cy + 200)
        shot = d.wait_for(lambda s: xdrive.main_window_shown(s, moved),
                          what="the main window to follow the drag")
        menu = dict(zip(xdrive.MENU_NAMES, xdrive.menu_items(shot, moved)))
        d.click(*menu["Exit"])
        self.assertEqual(vornel.wait(timeout=15), 0)
        self.assertTrue(port_is_free(device), "the port is still held after Exit")
        self.assertIsNone(sim.poll(), "the simulator stays up")

    def test_a_burst_of_termination_signals_ends_the_program_and_frees_the_port(self):
        d = self.display
        _, device = self.start_simulator("--wait-reader", "--rate", "2")
        vornel = self.start_vornel(device)
        menu = dict(zip(xdrive.MENU_NAMES, xdrive.menu_items(self.close_splash())))
        xdrive.fill_setup_dialog(d, menu, device, "115200")
        xdrive.click_set(d)
        d.wait_for(xdrive.indicator_dark, what="the indicator to go dark")
        d.wait_for(xdrive.indicator_lit, what="the indicator to light with a frame")
        self.assertFalse(port_is_free(device))
        # Faster than the program can take them: the handler must never block on a full pipe.
        for _ in range(100_000):
            os.kill(vornel.pid, signal.SIGTERM)
        self.assertEqual(vornel.wait(timeout=15), 0)
        self.assertTrue(port_is_free(device), "the port is still held after the signals")

    def test_a_termination_signal_during_the_splash_ends_the_program(self):
        vornel = self.start_vornel("/nonexistent")
        self.display.wait_for(lambda s: not xdrive.near(s.pixel(512, 384), (0, 0, 0), 8),
                              what="the splash")
        vornel.send_signal(signal.SIGTERM)
        self.assertEqual(vornel.wait(timeout=15), 0)


def captions(windows):
    return sorted(windows.values())


class DrivenUnderWindowManager(Driving, unittest.TestCase):
    """Under Debian's metacity, as on a desktop: the window manager's close command (Alt+F4)
    on every window, and the captions it shows."""

    def setUp(self):
        self.display = Display(window_manager=True)
        self.addCleanup(self.display.close)

    def close_command(self, caption):
        """Alt+F4 on the window that has the focus, which must be the one named `caption`;
        waits until it is gone."""
        d = self.display
        d.key("alt+F4")
        d.wait_for_windows(lambda w: (caption, caption) not in w.values(), timeout=5,
                           what=f'"{caption}" to close on Alt+F4')

    def test_close_command_and_captions_on_every_window(self):
        d = self.display
        sim, device = self.start_simulator("--wait-reader", "--rate", "2", "--seed", "7")
        vornel = self.start_vornel(device)
        shot = self.close_splash()
        menu = dict(zip(xdrive.MENU_NAMES, xdrive.menu_items(shot)))
        # The main window has no caption: the taskbar names it after the program.
        self.assertEqual(captions(d.managed_windows()), [("Vornel", "")])

        # set Hardware, SET: the port opens and frames arrive.
        xdrive.fill_setup_dialog(d, menu, device, "115200")
        self.assertEqual(captions(d.managed_windows()),
                         [("Basic COMM Setup", "Basic COMM Setup"), ("Vornel", "")])
        xdrive.click_set(d)
        d.wait_for(xdrive.indicator_dark, what="the indicator to go dark")
        d.wait_for(xdrive.indicator_lit, what="the indicator to light with a frame")

        # set Hardware again, another device typed, then the close command: nothing is stored,
        # and the earlier choice is opened again (a stored "/nonexistent" would never flash).
        xdrive.fill_setup_dialog(d, menu, "/nonexistent", "300")
        self.close_command("Basic COMM Setup")
        self.assertFalse(xdrive.setup_dialog_shown(d.screenshot()))
        d.wait_for(xdrive.indicator_dark, what="the indicator to go dark")
        d.wait_for(xdrive.indicator_lit, what="frames again from the earlier choice")
        self.assertFalse(port_is_free(device), "the earlier choice is open again")

        d.click(*menu["About"])
        d.wait_for_windows(lambda w: ("About Vornel", "About Vornel") in w.values(),
                           what="the About box with its exact caption")
        self.close_command("About Vornel")

        d.click(*menu["raw DAta"])
        d.wait_for_windows(lambda w: ("RAW data string", "RAW data string") in w.values(),
                           what="the raw data window with its exact caption")
        self.close_command("RAW data string")

        # Dragged by its body, the main window is moved by the window manager; a click on its
        # body gives it the focus, and the close command ends the program like "Exit".
        cx, cy = xdrive.MAIN_CLIENT
        grab = (cx + xdrive.MAIN_WIDTH - 30, cy + 38)
        d.drag(grab, (grab[0], grab[1] + 150))
        d.wait_for(lambda s: xdrive.main_window_shown(s, (cx, cy + 150)),
                   what="the main window to follow the drag")
        d.click(grab[0], grab[1] + 150)
        d.key("alt+F4")
        self.assertEqual(vornel.wait(timeout=15), 0)
        self.assertTrue(port_is_free(device), "the port is still held after the close command")
        self.assertIsNone(sim.poll(), "the simulator stays up")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--vornel", required=True)
    parser.add_argument("--sim", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
