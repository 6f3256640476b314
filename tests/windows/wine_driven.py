"""The Windows program under Wine on an Xvfb screen, driven with the mouse and the keyboard with
the steps of the Linux driven test (tests/driven/steps.py). Run by tools/windows-check.sh inside
its mount namespace (Wine never sees the machine's serial ports), with Wine's server already
started with the pseudo-terminal library (pty_modem_lines.c) preloaded, and COM ports mapped to
links that this test points at pseudo-terminals of its own:

    python3 tests/windows/wine_driven.py --out OUT --harness DIR --ports 2=LINK,5=LINK \\
        --shim LIB --plugins DIR [--docs docs/windows] [--seconds 30] [WineSession ...]
"""

import argparse
import os
import pty
import subprocess
import sys
import threading
import time
import tty
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "driven"))
import steps  # noqa: E402
import xdrive  # noqa: E402
from xdrive import Display  # noqa: E402

ARGS = None
RECORD = b"[12.3,45,6]\r\n"
SYSINFO_KEY = r"HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO"
SYSINFO_FOLDER_KEY = r"HKLM\SOFTWARE\Microsoft\Shared Tools Location"


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class WineTarget(steps.Target):
    """The Windows program under Wine: started with `wine`, its serial waits completed as Windows
    completes them (wine_comm_events), ports named by number."""

    exclusive_ports = False  # Wine opens a COM port for any number of handles

    def command(self, program):
        return ["wine", program]

    def environment(self, env):
        # Wine passes QT_* variables to Windows programs only under the name WINEQT_*.
        return dict(env, LD_PRELOAD=ARGS.shim, WINEQT_PLUGIN_PATH=windows_path(ARGS.plugins),
                    WINEQT_QPA_GENERIC_PLUGINS="vornelwinecommevents")

    def port_text(self, device):
        return str(device.number)


class Device:
    """A device on a pseudo-terminal behind the link a COM port is mapped to. It goes away as a
    USB adapter does (the pseudo-terminal is closed, the link removed) and comes back on a new
    pseudo-terminal behind the same link."""

    def __init__(self, number, link):
        self.number, self.link = number, link
        self.master = self.slave = None
        self.written = 0
        self.plug_in()

    def plug_in(self):
        self.master, self.slave = pty.openpty()
        tty.setraw(self.slave)
        if os.path.lexists(self.link):
            os.unlink(self.link)
        os.symlink(os.ttyname(self.slave), self.link)

    def unplug(self):
        os.unlink(self.link)
        os.close(self.master)
        os.close(self.slave)
        self.master = self.slave = None

    def write(self, data):
        os.write(self.master, data)
        self.written += len(data)

    def held_by_others(self):
        """Processes other than this one with the pseudo-terminal open."""
        name = os.ttyname(self.slave)
        holders = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            if int(pid) == os.getpid():
                continue
            try:
                for fd in os.listdir(f"/proc/{pid}/fd"):
                    if os.readlink(f"/proc/{pid}/fd/{fd}") == name:
                        holders.append(int(pid))
                        break
            except OSError:
                continue
        return holders


class Writer:
    """Writes a record to a device every `interval` seconds, in a thread of its own."""

    def __init__(self, device, interval, record=RECORD):
        self.device, self.interval, self.record = device, interval, record
        self.stopped = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while not self.stopped.wait(self.interval):
            try:
                self.device.write(self.record)
            except OSError:
                return

    def stop(self):
        self.stopped.set()
        self.thread.join(5)


class WineSession(unittest.TestCase):
    target = WineTarget()

    def setUp(self):
        self.display = Display()
        self.addCleanup(self.display.close)
        ports = dict(p.split("=", 1) for p in ARGS.ports.split(","))
        self.devices = {int(n): Device(int(n), link) for n, link in ports.items()}
        self.addCleanup(lambda: [d.master is not None and d.unplug()
                                 for d in self.devices.values()])

    def shoot(self, name):
        if ARGS.docs:
            self.display.save_screenshot(os.path.join(ARGS.docs, name))

    def wine(self, *args, **kwargs):
        env = dict(os.environ, WINEDEBUG="-all")
        return subprocess.run(["wine", *args], env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=60, **kwargs)

    def start_vornel(self, **env):
        return self.target.start(self, self.display, os.path.join(ARGS.out, "vornel.exe"), **env)

    def set_port(self, menu, device, baud):
        steps.set_port(self.display, menu, self.target.port_text(device), baud)

    def remove_system_info_keys(self):
        for key, value in ((SYSINFO_KEY, []), (SYSINFO_FOLDER_KEY, ["/v", "MSINFO"])):
            self.wine("reg", "delete", key, *value, "/f")

    def test_a_session_from_start_to_exit(self):
        d = self.display
        first, second = sorted(self.devices)
        vornel = self.start_vornel()
        d.wait_for(steps.splash_shown, timeout=30, what="the splash")
        time.sleep(0.5)  # the pictures are drawn last
        self.shoot("splash.png")
        shot, client = steps.close_splash(self, d)
        self.assertTrue(xdrive.indicator_lit(shot, client), "the indicator is lit after start-up")
        menu = steps.menu(self, shot, client)
        self.shoot("main-window.png")

        # set Hardware lists exactly the mapped ports. Another Windows program holds the second:
        # Windows would leave it out; Wine lets both open it, so it is listed there.
        holder = subprocess.Popen(["wine", os.path.join(ARGS.harness, "wine_test.exe"), "--hold",
                                   f"COM{second}"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  env=dict(os.environ, WINEDEBUG="-all"), text=True)
        self.addCleanup(lambda: holder.poll() is None and holder.kill())
        self.assertEqual(holder.stdout.readline().strip(), f"holding COM{second}")
        d.click(*menu["set Hardware"])
        d.wait_for(xdrive.setup_dialog_shown, what="the setup dialog")
        self.shoot("setup-dialog.png")
        listed = steps.port_list(d)
        expected = [str(first)] + ([] if self.target.exclusive_ports else [str(second)])
        self.assertEqual(listed, expected, "the ports the setup dialog lists")
        holder.stdin.close()
        holder.wait(30)
        d.key("Escape")
        d.wait_for(lambda s: not xdrive.setup_dialog_shown(s), what="the dialog to close")

        # SET with the first port and 9600: records flash the indicator.
        device = self.devices[first]
        writer = Writer(device, 0.4)
        self.set_port(menu, device, "9600")
        steps.frames_flash(d, client)

        # A record of 100 characters: "raw DAta" shows it in rows of 60, copied row by row.
        writer.stop()
        long_record = b"[" + b"7" * 98 + b"]"
        device.write(long_record)
        time.sleep(0.5)
        device.write(long_record)  # completes the frame "[" + the first + "[" of the second
        frame = (b"[" + long_record).decode()
        shot = steps.raw_data_shows_rows(d, menu, rows=2)
        self.shoot("raw-data.png")
        raw_menu = dict(zip(["EXIT", "Pause"],
                            xdrive.menu_items(shot, xdrive.RAW_CLIENT, xdrive.RAW_SIZE[0])))
        d.click(*raw_menu["Pause"])
        # Copied, the rows are the frame (whose 101 characters take the two rows shown).
        d.key("ctrl+c")
        copied = xdrive.poll(d.clipboard, lambda text: text.startswith("[["), 5, 0.2,
                             lambda text: f"the rows were not copied: {text!r}")
        self.assertEqual(copied.replace("\r\n", ""), frame)
        d.click(*raw_menu["EXIT"])
        d.wait_for(lambda s: not xdrive.raw_row_bands(s) or
                   not xdrive.near(s.pixel(xdrive.RAW_CLIENT[0] + 300, xdrive.RAW_CLIENT[1] + 5),
                                   (255, 255, 255), 8),
                   what="the raw data window to close")

        # The device goes away: the program stays, the port closed, the reason in the indicator's
        # tooltip (its text is seen in the photograph only: nothing under Wine can read it).
        writer = Writer(device, 0.3)
        steps.frames_flash(d, client)
        writer.stop()
        device.unplug()
        steps.no_frames(self, d, client)
        self.assertIsNone(vornel.poll(), "the program ended when the device went away")
        steps.indicator_tooltip(d, client)
        self.shoot("device-gone.png")

        # It comes back behind the same link: the port is opened again, records flash.
        device.plug_in()
        writer = Writer(device, 0.3)
        self.addCleanup(writer.stop)
        steps.frames_flash(d, client, timeout=15)
        writer.stop()

        # Exit: status 0, and the port is free.
        steps.exit_status(self, vornel, menu, d)
        self.assertEqual(device.held_by_others(), [], "the port is still held after Exit")

    def test_about_and_system_info(self):
        d = self.display
        vornel = self.start_vornel()
        shot, client = steps.close_splash(self, d)
        menu = steps.menu(self, shot, client)
        # Its caption; System Info... starts the program the registry names.
        self.addCleanup(self.remove_system_info_keys)
        self.wine("reg", "add", SYSINFO_KEY, "/v", "PATH", "/d",
                  windows_path(os.path.join(ARGS.harness, "minimal_window.exe")), "/f")
        d.click(*menu["About"])
        about = steps.message_box(d, "About Vornel")
        time.sleep(0.5)
        self.shoot("about.png")
        d.key("alt+s")
        steps.message_box(d, "minimal_window")
        for window in d.windows_named("minimal_window"):
            d.xdotool("windowclose", window)
        d.xdotool("windowclose", about)  # the system's close command
        xdrive.poll(lambda: d.windows_named("About Vornel"), lambda w: not w, 10, 0.1,
                    lambda _: "the About box stays")

        self.assertIsNone(vornel.poll())

    def test_system_info_without_either_key_says_so(self):
        d = self.display
        vornel = self.start_vornel()
        shot, client = steps.close_splash(self, d)
        menu = steps.menu(self, shot, client)
        # A new Wine prefix has the first key already.
        self.remove_system_info_keys()
        d.click(*menu["About"])
        about = steps.message_box(d, "About Vornel")
        main = d.windows_named("Vornel")  # the main window has no caption but the program's name
        d.key("alt+s")
        box = steps.message_box(d, "Vornel", besides=main)
        self.assertIn("System Information Is Unavailable At This Time", steps.copied_text(d))
        self.shoot("system-info-unavailable.png")
        d.key("Return")
        xdrive.poll(lambda: d.windows_named("Vornel"), lambda w: box not in w, 10, 0.1,
                    lambda _: "the message stays")
        # The keyboard is the About box's again: Escape closes it, and Exit ends the program.
        d.key("Escape")
        xdrive.poll(lambda: d.windows_named("About Vornel"), lambda w: about not in w, 10, 0.1,
                    lambda _: "the About box stays")
        steps.exit_status(self, vornel, menu, d)

    def test_an_uncaught_failure_is_shown_and_ends_the_program(self):
        d = self.display
        planted = self.target.start(self, d, os.path.join(ARGS.harness, "planted_failure.exe"))
        steps.uncaught_failure_shown(self, d, planted, lambda: steps.copied_text(d),
                                     lambda: self.shoot("failure.png"))

    def test_frames_at_115200_for_a_while_none_lost(self):
        d = self.display
        device = self.devices[min(self.devices)]
        account = os.path.join(os.path.dirname(ARGS.shim), "pty-account.txt")
        vornel = self.start_vornel(VORNEL_PTY_ACCOUNT=account)
        shot, client = steps.close_splash(self, d)
        menu = steps.menu(self, shot, client)
        self.set_port(menu, device, "115200")
        # 11,520 bytes a second, whole records with sequence numbers, written every 10 ms.
        rate, seconds = 11520, ARGS.seconds
        start = time.monotonic()
        records = 0
        while time.monotonic() - start < seconds:
            due = rate * (time.monotonic() - start)
            record = b"[%d,45,6]\r\n" % records
            while device.written + len(record) <= due:
                device.write(record)
                records += 1
                record = b"[%d,45,6]\r\n" % records
            time.sleep(0.01)
        elapsed = time.monotonic() - start
        time.sleep(2)
        with open(account) as f:
            fields = f.read().split()
        read, discarded = int(fields[1]), int(fields[3])
        print(f"\n115200 bit/s under Wine: {device.written} bytes ({records} records) written "
              f"in {elapsed:.1f} s, {read} read by the program, {discarded} discarded",
              file=sys.stderr)
        self.assertEqual(discarded, 0)
        self.assertEqual(read, device.written)
        steps.exit_status(self, vornel, menu, d)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--harness", required=True)
    parser.add_argument("--ports", required=True)
    parser.add_argument("--shim", required=True)
    parser.add_argument("--plugins", required=True)
    parser.add_argument("--docs")
    parser.add_argument("--seconds", type=float, default=30)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
