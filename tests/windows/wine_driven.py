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
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import tty
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "driven"))
import steps  # noqa: E402
import xdrive  # noqa: E402
from xdrive import Display  # noqa: E402

ARGS = None
RECORD = b"[12.3,45,6]\r\n"
SYSINFO_KEY = r"HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO"
SYSINFO_FOLDER_KEY = r"HKLM\SOFTWARE\Microsoft\Shared Tools Location"
# Where users put the program: folders with spaces and letters beyond ASCII.
PROFILE = "C:\\users\\Jürgen Ø"


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*args, env=None, **kwargs):
    """Runs a program under Wine to its end, names beyond ASCII passed in UTF-8; its output goes
    to a file, since the background programs Wine starts with the first one would hold a pipe."""
    env = dict(env or os.environ, WINEDEBUG="-all", LC_ALL="C.UTF-8")
    with tempfile.TemporaryFile() as output:
        status = subprocess.run(["wine", *args], env=env, stdin=subprocess.DEVNULL, stdout=output,
                                stderr=subprocess.DEVNULL, timeout=90, **kwargs).returncode
        output.seek(0)
        return subprocess.CompletedProcess(args, status, output.read().decode(errors="replace"))


def passes(test, *args, env=None):
    """Runs one of the check programs, which prints what it checks; it must pass."""
    result = wine(*args, env=env)
    print("\n" + result.stdout.replace("\r", ""), file=sys.stderr)
    test.assertEqual(result.returncode, 0, f"{args[0]} failed")


def restart_wine_server():
    """Ends Wine's programs and server, and starts a server as the run started it."""
    for ending in ("-k", "-w"):
        subprocess.run(["wineserver", ending], stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-p"], env=dict(os.environ, LD_PRELOAD=ARGS.shim), check=True)


def unix_path(windows):
    """Where a path on Wine's drive C: is on Linux."""
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", *windows[3:].split("\\"))


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

    def shoot(self, name, display=None):
        if ARGS.docs:
            (display or self.display).save_screenshot(os.path.join(ARGS.docs, name))

    def start_vornel(self, **env):
        return self.target.start(self, self.display, os.path.join(ARGS.out, "vornel.exe"), **env)

    def set_port(self, menu, device, baud):
        steps.set_port(self.display, menu, self.target.port_text(device), baud)

    def remove_system_info_keys(self):
        for key, value in ((SYSINFO_KEY, []), (SYSINFO_FOLDER_KEY, ["/v", "MSINFO"])):
            wine("reg", "delete", key, *value, "/f")

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
        # A screen reader in another process reads the main window's name.
        passes(self, os.path.join(ARGS.harness, "wine_forms.exe"), "--uia", "Vornel", env=d.env)

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
        wine("reg", "add", SYSINFO_KEY, "/v", "PATH", "/d",
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

    def test_read_through_ui_automation_inside_the_process(self):
        passes(self, os.path.join(ARGS.harness, "wine_forms.exe"), env=self.display.env)

    def test_windows_at_150_and_200_percent_keep_their_layout_and_sharp_pictures(self):
        # A screen of 1536 by 1152 pixels, which Wine's desktop takes the size of when its first
        # program meets it.
        d = Display(1536, 1152)
        self.addCleanup(d.close)
        restart_wine_server()
        self.addCleanup(restart_wine_server)
        for dpi in (144, 192):
            with self.subTest(dpi=dpi):
                self.scaled_to(dpi, d)

    def scaled_to(self, dpi, d):
        """The windows at Windows' 150 % or 200 %: where and as large as at 100 % times the
        scale, the menu whole, the pictures drawn from enough pixels. Photographed at 150 %."""
        scale, desktop = dpi / 96, r"HKCU\Control Panel\Desktop"
        wine("reg", "add", desktop, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f")
        xdrive.set_scale(scale)
        try:
            shoot = (lambda name: self.shoot(name.replace(".png", "-150.png"), d)) \
                if dpi == 144 else (lambda name: None)
            vornel = self.target.start(self, d, os.path.join(ARGS.out, "vornel.exe"))
            d.wait_for(steps.splash_shown, timeout=30, what="the splash")
            time.sleep(0.5)
            shoot("splash.png")
            shot, client = steps.close_splash(self, d)
            shoot("main-window.png")
            menu = steps.menu(self, shot, client)
            if dpi == 144:
                xdrive.fill_setup_dialog(d, menu, str(min(self.devices)), "9600")
                shoot("setup-dialog.png")
                xdrive.click_set(d)
                d.click(*menu["About"])
                steps.message_box(d, "About Vornel")
                time.sleep(0.5)
                shoot("about.png")
                d.key("Escape")
                self.devices[min(self.devices)].write(RECORD)
                # A click on the indicator, which does nothing else, gives the main window the
                # focus back from the About box, so that the next click is a command.
                d.click(client[0] + xdrive.INDICATOR[0] + 2, client[1] + xdrive.INDICATOR[1] + 2)
                d.click(*menu["raw DAta"])
                raw = d.wait_for(lambda s: len(xdrive.menu_items(s, xdrive.RAW_CLIENT,
                                                                 xdrive.RAW_SIZE[0])) == 2,
                                 what="the raw data window")
                time.sleep(1.5)  # a refresh of its rows
                shoot("raw-data.png")
                d.click(*xdrive.menu_items(raw, xdrive.RAW_CLIENT, xdrive.RAW_SIZE[0])[0])  # EXIT
            steps.exit_status(self, vornel, menu, d)
            passes(self, os.path.join(ARGS.harness, "wine_forms.exe"), "--scaled", str(scale),
                   env=d.env)
        finally:
            xdrive.set_scale(1)
            wine("reg", "add", desktop, "/v", "LogPixels", "/t", "REG_DWORD", "/d", "96", "/f")

    def test_version_and_help_in_a_console_or_a_message_box(self):
        # Every program on this test's screen: the first one that makes windows, even unseen,
        # sets the screen of Wine's desktop.
        d = self.display
        env = dict(d.env, WINEDEBUG="-all")
        # Started from a console (cmd's, on a terminal), the text goes to that console.
        master, slave = pty.openpty()
        cmd = subprocess.Popen(["wine", "cmd", "/c", "vornel.exe", "--version"], cwd=ARGS.out,
                               stdin=slave, stdout=slave, stderr=slave, env=env)
        os.close(slave)
        self.addCleanup(os.close, master)
        self.assertEqual(cmd.wait(30), 0)
        select.select([master], [], [], 5)
        self.assertIn(b"Vornel 1.0.4", os.read(master, 65536))
        # Into a file.
        self.assertIn("Usage: vornel",
                      wine("cmd", "/c", "vornel.exe", "--help", cwd=ARGS.out, env=env).stdout)
        # Started from the desktop: in a message box captioned Vornel, which Return closes.
        started = subprocess.Popen(["wine", "start", "/wait", "/unix",
                                    os.path.join(ARGS.out, "vornel.exe"), "--version"], env=env)
        self.addCleanup(lambda: started.poll() is None and started.kill())
        steps.message_box(d, "Vornel")
        d.key("Return")
        self.assertEqual(started.wait(20), 0)

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


class WhereUsersPutIt(unittest.TestCase):
    """The zip and the installer as users use them: in folders with spaces and letters beyond
    ASCII, started from another working folder, another drive letter and the Start menu; the
    installer silent, upgrading in place, and leaving nothing of ours behind."""

    def setUp(self):
        self.display = Display()
        self.addCleanup(self.display.close)

    def wine(self, *args, **kwargs):
        # On this screen: the first program with windows, even unseen, sets Wine's desktop's.
        return wine(*args, env=self.display.env, **kwargs)

    def start(self, *command, cwd=None):
        """Starts Vornel with `command`: its splash shows with its picture (which needs the image
        plug-in beside it), a key brings the main window; returns the process and the menu."""
        d = self.display
        process = subprocess.Popen(["wine", *command], cwd=cwd,
                                   env=dict(d.env, WINEDEBUG="-all", LC_ALL="C.UTF-8"))
        self.addCleanup(lambda: process.poll() is None and process.kill())
        d.wait_for(steps.splash_shown, timeout=30, what="the splash")
        time.sleep(0.5)
        self.assertLess(sum(d.screenshot().pixel(512, 384)), 3 * 60, "the splash's picture")
        shot, client = steps.close_splash(self, d)
        return process, steps.menu(self, shot, client)

    def state(self):
        """The files on drive C: but Windows' own and the temporary ones, and the keys under
        HKLM and HKCU Software but Wine's own (exported, which takes Wine less long than listing
        them)."""
        drive = unix_path("C:\\")
        found = {os.path.join(top, name)[len(drive):] for top, folders, files in os.walk(drive)
                 for name in folders + files
                 if not top.startswith(drive + "windows") and "temp" not in top.lower()}
        exported = os.path.join(os.environ["WINEPREFIX"], "keys.reg")  # not on drive C:
        for root in ("HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"):
            self.wine("regedit", "/E", windows_path(exported), root + r"\Software")
            with open(exported, encoding="utf-16") as keys:
                found |= {line.strip() for line in keys
                          if line.startswith("[") and r"\Wine" not in line}
        return found

    def as_before(self, before, folder):
        """Once the uninstaller (which goes on in a copy of itself) has removed `folder`, nothing
        of ours is left."""
        xdrive.poll(lambda: os.path.exists(unix_path(folder)), lambda there: not there, 30, 0.2,
                    lambda _: f"{folder} stays")
        xdrive.poll(self.state, lambda now: now == before, 10, 1,
                    lambda now: f"left: {sorted(now - before)}, gone: {sorted(before - now)}")

    def test_the_zip_in_a_folder_with_spaces_and_accents(self):
        folder = PROFILE + "\\Desktop\\Vornel 1.0"
        with zipfile.ZipFile(ARGS.zip) as unpacked:
            unpacked.extractall(unix_path(folder))
        self.addCleanup(shutil.rmtree, unix_path(PROFILE))
        # System Info... starts a program in such a folder too.
        shutil.copy(os.path.join(ARGS.harness, "minimal_window.exe"), unix_path(folder))
        self.wine("reg", "add", SYSINFO_KEY, "/v", "PATH", "/d", folder + r"\minimal_window.exe",
                  "/f")
        self.addCleanup(wine, "reg", "delete", SYSINFO_KEY, "/v", "PATH", "/f")
        # Started from another working folder, with an argument it ignores.
        d = self.display
        vornel, menu = self.start(folder + r"\vornel-1.0.0.4-win64\vornel.exe", "--unknown",
                                  cwd=ARGS.harness)
        d.click(*menu["About"])
        steps.message_box(d, "About Vornel")
        d.key("alt+s")
        steps.message_box(d, "minimal_window")
        for program in ("minimal_window.exe", "vornel.exe"):
            self.wine("taskkill", "/im", program, "/f")
        vornel.wait(20)
        # From another drive letter, a Wine drive mapped to the folder.
        drive = os.path.join(os.environ["WINEPREFIX"], "dosdevices", "v:")
        os.symlink(unix_path(folder), drive)
        self.addCleanup(os.unlink, drive)
        steps.exit_status(self, *self.start(r"V:\vornel-1.0.0.4-win64\vornel.exe"), d)

    def test_the_installer_upgrades_in_place_and_leaves_nothing_behind(self):
        # A user's profile has these already; the installer makes the folder the user picks.
        programs, appdata = (self.wine("cmd", "/c", "echo", f"%{name}%").stdout.strip()
                             for name in ("LOCALAPPDATA", "APPDATA"))
        programs += r"\Programs"
        for made in (programs, PROFILE + r"\Programs"):
            os.makedirs(unix_path(made), exist_ok=True)
        self.addCleanup(shutil.rmtree, unix_path(PROFILE), True)
        uninstall = r"Software\Microsoft\Windows\CurrentVersion\Uninstall"
        self.wine("reg", "add", "HKCU\\" + uninstall, "/f")
        before = self.state()
        folder = PROFILE + r"\Programs\Vornel 1.0"
        # 1.0.0.3 into the folder (/D= last and unquoted, as cmd passes it), then 1.0.0.4 over it:
        # one entry, the new files in its place.
        self.assertEqual(self.wine("cmd", "/c", f"{windows_path(ARGS.earlier)} /S /D={folder}")
                         .returncode, 0)
        self.assertEqual(self.wine(ARGS.installer, "/S").returncode, 0)
        entries = [key for root in ("HKLM", "HKCU") for key in self.wine(
            "reg", "query", f"{root}\\{uninstall}").stdout.split() if key.endswith(r"\Vornel")]
        self.assertEqual(len(entries), 1, entries)
        shown = dict(line.split(None, 2)[::2] for line in self.wine(
            "reg", "query", entries[0]).stdout.splitlines() if line.startswith("    "))
        print(f"\nApps & features: {shown}", file=sys.stderr)
        self.assertEqual([shown.get(n) for n in ("DisplayName", "DisplayVersion", "Publisher")],
                         ["Vornel", "1.0.0.4", "Quillfield Labs"])
        size = sum(os.path.getsize(os.path.join(top, name))
                   for top, _, files in os.walk(unix_path(folder)) for name in files)
        self.assertAlmostEqual(int(shown["EstimatedSize"], 16), size / 1024, delta=4)
        passes(self, os.path.join(ARGS.harness, "wine_test.exe"), "--version-of",
               folder + r"\vornel.exe")
        # From the Start menu's entry.
        steps.exit_status(self, *self.start("start", "/wait", r"C:\ProgramData\Microsoft\Windows"
                                            r"\Start Menu\Programs\Vornel\Vornel.lnk"),
                          self.display)
        xdrive.poll(lambda: self.display.windows_named("Vornel"), lambda w: not w, 10, 0.1,
                    lambda _: "the program stays")
        # Uninstalled silently: not a file or key of ours is left.
        self.assertEqual(self.wine(folder + r"\Uninstall.exe", "/S").returncode, 0)
        self.as_before(before, folder)
        # For this user alone: only under HKCU and the user's own folders.
        self.assertEqual(self.wine(ARGS.installer, "/S", "/CurrentUser").returncode, 0)
        own = ("[HKEY_CURRENT_USER\\", programs[3:].replace("\\", "/") + "/",
               appdata[3:].replace("\\", "/") + "/Microsoft/Windows/Start Menu/")
        made = sorted(self.state() - before)
        print(f"\nInstalled for this user: {made}", file=sys.stderr)
        self.assertEqual([path for path in made if not path.startswith(own)], [])
        self.assertEqual(self.wine(programs + r"\Vornel\Uninstall.exe", "/S").returncode, 0)
        self.as_before(before, programs + r"\Vornel")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--harness", required=True)
    parser.add_argument("--ports", required=True)
    parser.add_argument("--shim", required=True)
    parser.add_argument("--plugins", required=True)
    parser.add_argument("--zip", required=True)
    parser.add_argument("--installer", required=True)
    parser.add_argument("--earlier", required=True, help="the installer of an earlier version")
    parser.add_argument("--docs")
    parser.add_argument("--seconds", type=float, default=30)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
