"""The real Vornel program, started under Xvfb and driven with the mouse and the keyboard as a
person would, with the device simulator on a pseudo-terminal: on the bare X server
(DrivenProgram) and under Debian's metacity window manager (DrivenUnderWindowManager). The steps
are those the Windows program is driven with under Wine (steps.py); what only Linux has (the
screen reader's accessibility bus, signals, the window manager's close command) is checked here.

    python3 tests/driven/driven_test.py --vornel build/app/vornel --sim build/sim/vornel-sim \
        --planted build/tests/planted_failure [DrivenProgram | DrivenUnderWindowManager]
"""

import argparse
import fcntl
import os
import pty
import signal
import struct
import subprocess
import sys
import unittest

import atspi
import steps
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
    """Starting the programs, shared by the tests below."""

    target = steps.Target()

    def start_simulator(self, *options):
        sim = subprocess.Popen([ARGS.sim, *options], stdout=subprocess.PIPE, text=True)
        self.addCleanup(sim.stdout.close)
        self.addCleanup(lambda: (sim.poll() is None and sim.terminate(), sim.wait(10)))
        return sim, sim.stdout.readline().strip()

    def pseudo_terminal(self):
        """A pseudo-terminal of this test's own; the descriptor of its device end."""
        master, slave = pty.openpty()
        self.addCleanup(lambda: (os.close(slave), os.close(master)))
        return slave

    @staticmethod
    def accessible_names(bus):
        try:
            return [o["name"] for o in atspi.objects(bus.tree()) if o["name"]]
        except AssertionError:  # not on the bus yet
            return []

    def start_vornel(self, ports, env=None):
        return self.target.start(self, self.display, ARGS.vornel, env,
                                 VORNEL_SERIAL_PORTS=ports)

    def close_splash(self):
        """The splash, a key, the main window in place; its screenshot, corner and menu."""
        shot, client = steps.close_splash(self, self.display)
        return shot, client, steps.menu(self, shot, client)


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
        # Two more devices: one that another program holds with the lock picocom and pyserial
        # take, and a free one.
        held, free = self.pseudo_terminal(), self.pseudo_terminal()
        fcntl.flock(held, fcntl.LOCK_EX)
        vornel = self.start_vornel(f"{device}:{os.ttyname(held)}:{os.ttyname(free)}",
                                   bus.program_env)

        shot, client, menu = self.close_splash()
        self.assertTrue(xdrive.indicator_lit(shot, client), "the indicator is lit after start-up")
        self.assertEqual([f["name"] for f in atspi.objects(bus.tree(), "frame")], ["Vornel"])

        # set Hardware lists the ports by number, the held one only where holds are seen.
        d.click(*menu["set Hardware"])
        d.wait_for(xdrive.setup_dialog_shown, what="the setup dialog")
        self.assertEqual(steps.port_list(d),
                         ["1", "3"] if self.target.exclusive_ports else ["1", "2", "3"])
        d.key("Escape")
        d.wait_for(lambda s: not xdrive.setup_dialog_shown(s), what="the dialog to close")

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
        # lights again with the next frame; it stays dark while they stop.
        steps.frames_flash(d, client)
        sim.send_signal(signal.SIGSTOP)
        steps.no_frames(self, d, client, quiet=0.6, within=2)
        sim.send_signal(signal.SIGCONT)
        d.wait_for(lambda s: xdrive.indicator_lit(s, client), what="the indicator to light again")

        # raw DAta: the viewer opens and shows the frame in its list after a tick.
        steps.raw_data_shows_rows(d, menu, rows=1, timeout=5)
        # The screen reader reads the rows while records keep arriving and the list refreshes:
        # every reading finds each row's text, ending with CR LF, beside its empty first column.
        for _ in range(3):
            cells = [c["name"] for c in atspi.objects(bus.tree(), "table cell")]
            self.assertTrue(cells[1::2] and all(t.endswith("\r\n") for t in cells[1::2]), cells)
            self.assertEqual(cells[0::2], [""] * len(cells[1::2]), cells)

        # The viewer, above its owner, covers the main window's menu bar: drag the main window
        # down by its body to uncover it. Exit then ends the program, the viewer with it,
        # with status 0, and the port is free again.
        client, shot = steps.drag_main_window(d, client, 200)
        steps.exit_status(self, vornel, steps.menu(self, shot, client), d)
        self.assertTrue(port_is_free(device), "the port is still held after Exit")
        self.assertIsNone(sim.poll(), "the simulator stays up")

    def test_a_burst_of_termination_signals_ends_the_program_and_frees_the_port(self):
        d = self.display
        _, device = self.start_simulator("--wait-reader", "--rate", "2")
        vornel = self.start_vornel(device)
        _, client, menu = self.close_splash()
        steps.set_port(d, menu, self.target.port_text(device), "115200")
        steps.frames_flash(d, client)
        self.assertFalse(port_is_free(device))
        # Faster than the program can take them: the handler must never block on a full pipe.
        for _ in range(100_000):
            os.kill(vornel.pid, signal.SIGTERM)
        self.assertEqual(vornel.wait(timeout=15), 0)
        self.assertTrue(port_is_free(device), "the port is still held after the signals")

    def test_an_uncaught_failure_is_shown_and_ends_the_program(self):
        # The message's text read as a screen reader reads it (Qt copies a message box's text
        # with Ctrl+C on Windows only).
        bus = atspi.AccessibilityBus(self.display.env)
        self.addCleanup(bus.close)
        planted = self.target.start(self, self.display, ARGS.planted, bus.program_env)

        def text():
            names = xdrive.poll(lambda: self.accessible_names(bus), bool, 10, 0.2,
                                lambda _: "the program is not on the accessibility bus")
            return " ".join(names)

        steps.uncaught_failure_shown(self, self.display, planted, text)

    def test_a_termination_signal_during_the_splash_ends_the_program(self):
        vornel = self.start_vornel("/nonexistent")
        self.display.wait_for(steps.splash_shown, what="the splash")
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
        _, client, menu = self.close_splash()
        # The main window has no caption: the taskbar names it after the program.
        self.assertEqual(captions(d.managed_windows()), [("Vornel", "")])

        # set Hardware, SET: the port opens and frames arrive.
        xdrive.fill_setup_dialog(d, menu, device, "115200")
        self.assertEqual(captions(d.managed_windows()),
                         [("Basic COMM Setup", "Basic COMM Setup"), ("Vornel", "")])
        xdrive.click_set(d)
        steps.frames_flash(d, client)

        # set Hardware again, another device typed, then the close command: nothing is stored,
        # and the earlier choice is opened again (a stored "/nonexistent" would never flash).
        xdrive.fill_setup_dialog(d, menu, "/nonexistent", "300")
        self.close_command("Basic COMM Setup")
        self.assertFalse(xdrive.setup_dialog_shown(d.screenshot()))
        steps.frames_flash(d, client)  # frames again from the earlier choice
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
        client, _ = steps.drag_main_window(d, client, 150)
        d.click(client[0] + xdrive.MAIN_WIDTH - 30, client[1] + 38)
        d.key("alt+F4")
        self.assertEqual(vornel.wait(timeout=15), 0)
        self.assertTrue(port_is_free(device), "the port is still held after the close command")
        self.assertIsNone(sim.poll(), "the simulator stays up")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--vornel", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--planted", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
