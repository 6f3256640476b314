"""The checks of tools/guest-check.sh, run in its QEMU guest on real kernel serial drivers: the
8250 driver's 16550 UARTs (ttyS0, ttyS1; ttyS2 and ttyS3 have no UART behind them) and ftdi_sio's
FTDI adapter on xHCI (ttyUSB0). The host feeds the devices with vornel-sim and plugs the adapter
out and in when asked over the control channel. The installed Vornel is driven on Xvfb with the
driven test's steps and read through the accessibility bus; frame_count accounts for what each
driver delivers through Vornel's serial service and frame assembler. Writes report.json and
screenshots into the output folder; a check that fails is recorded, and the next one goes on."""

import contextlib
import json
import os
import subprocess
import sys
import time
import traceback
import unittest

SHARE, OUT = "/mnt/vornel", "/mnt/out"
sys.path.insert(0, SHARE)
import atspi  # noqa: E402
import steps  # noqa: E402
import xdrive  # noqa: E402

PORTS = {"ttyS0": 1, "ttyS1": 2, "ttyUSB0": 3}  # port numbers, in the README's order
SPEEDS = [("ttyS0", 9600), ("ttyS0", 115200), ("ttyS1", 9600), ("ttyS1", 115200),
          ("ttyUSB0", 115200)]
RECEIVING = "Receiving on {} at 115200,N,8,1."


def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def holds(pid, path):
    try:
        return any(os.readlink(f"/proc/{pid}/fd/{fd}") == path
                   for fd in os.listdir(f"/proc/{pid}/fd"))
    except OSError:
        return False


def speed(dev):
    out = subprocess.run(["stty", "-F", f"/dev/{dev}", "speed"], capture_output=True, text=True)
    return int(out.stdout) if out.returncode == 0 else out.stderr.strip()


def hold_node(path):
    """Another program's hold on a device node (as root, past the exclusive flag)."""
    return os.open(path, os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)


class GuestChecks:
    def __init__(self):
        self.started = time.monotonic()
        self.control = os.open("/dev/virtio-ports/vornel.ctl", os.O_RDWR)
        self.answers = os.fdopen(os.dup(self.control), "rb")
        self.t = unittest.TestCase()  # its assertions, for the steps
        self.report = {"devices": {dev: {"port": n, "bytes_received_while_only_vornel_had_it": 0}
                                   for dev, n in PORTS.items()}, "usb": {}, "checks": []}
        self.holders, self.counted = {}, {}
        self.on, self.unplugged = None, False  # the device Vornel has open

    def ask(self, op, **args):
        """A request to the host: one line of JSON each way."""
        os.write(self.control, (json.dumps(dict(args, op=op)) + "\n").encode())
        answer = json.loads(self.answers.readline())
        if "error" in answer:
            raise AssertionError(f"host, {op}: {answer['error']}")
        return answer

    @contextlib.contextmanager
    def check(self, name):
        entry = {"name": name, "ok": True, "at": round(time.monotonic() - self.started, 1)}
        self.report["checks"].append(entry)
        print(f"{entry['at']:7.1f} check: {name}", flush=True)
        try:
            yield entry
        except Exception as failure:  # recorded; the next check goes on
            traceback.print_exc()
            entry.update(ok=False, failure=f"{type(failure).__name__}: {failure}")
            if hasattr(self, "d"):
                shot = subprocess.run(["import", "-window", "root", f"{OUT}/failed-"
                                       f"{len(self.report['checks'])}.png"], env=self.d.env,
                                      capture_output=True, text=True)
                entry["screenshot"] = shot.stderr.strip() or shot.returncode or "taken"
        finally:
            self.write()

    def write(self):
        with open(f"{OUT}/report.json", "w") as out:
            json.dump(self.report, out, indent=2)

    def held(self, **holders):
        """Who holds which device from now on. The bytes QEMU received from each device since the
        last call count against Vornel where it alone had the device."""
        counts = self.ask("written")["bytes"]
        for dev, n in counts.items():
            if self.holders.get(dev) == "vornel":
                self.report["devices"][dev]["bytes_received_while_only_vornel_had_it"] += (
                    n - self.counted.get(dev, 0))
            self.counted[dev] = n
        self.report["bytes_received_in_all"] = counts
        self.holders.update(holders)

    def sim(self, dev, name, *args, wait=False):
        return self.ask("sim", dev=dev, record=name, wait=wait, args=list(args))

    # The program, and the adapter.

    def start_vornel(self):
        self.d = xdrive.Display()
        self.t.addCleanup(self.d.close)
        self.bus = atspi.AccessibilityBus(self.d.env)
        self.t.addCleanup(self.bus.close)
        self.vornel = steps.Target().start(self.t, self.d, "vornel", self.bus.program_env)
        shot, self.client = steps.close_splash(self.t, self.d)
        self.menu = steps.menu(self.t, shot, self.client)

    def choose(self, port, baud, dev):
        """set Hardware, `port` typed, SET; `dev` is what it opens (None: refused)."""
        steps.set_port(self.d, self.menu, port, str(baud))
        holders = {self.on: None} if self.on else {}
        holders.update({dev: "vornel"} if dev else {})
        self.held(**holders)
        self.on = dev

    def tooltip(self):
        """The indicator's tooltip, as a screen reader reads it (its description)."""
        return next(o["description"] for o in atspi.objects(self.bus.tree())
                    if o["name"] == "Frame indicator")

    def wait_tooltip(self, *parts, timeout=20):
        return xdrive.poll(self.tooltip, lambda text: all(p in text for p in parts), timeout,
                           0.5, lambda text: f"the tooltip says {text!r}, not {parts}")

    def photograph_tooltip(self, name):
        """Rests the pointer on the indicator until its tooltip shows (Qt shows tooltips in the
        active window: a click on the indicator, which does nothing else, makes it so)."""
        x, y, w, h = xdrive.INDICATOR
        x, y = self.client[0] + x + w // 2, self.client[1] + y + h // 2

        def windows():
            return set(subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "Vornel"],
                                      env=self.d.env, capture_output=True, text=True).stdout.split())
        before = windows()
        self.d.click(x, y)
        self.d.xdotool("mousemove", x + 1, y)
        xdrive.poll(lambda: windows() - before, bool, 5, 0.1, lambda _: "no tooltip showed")
        self.d.save_screenshot(f"{OUT}/{name}.png")
        self.d.xdotool("mousemove", 0, 0)

    def port_list(self):
        self.d.click(*self.menu["set Hardware"])
        self.d.wait_for(xdrive.setup_dialog_shown, what="the setup dialog")
        listed = steps.port_list(self.d)
        self.d.key("Escape")
        self.d.wait_for(lambda s: not xdrive.setup_dialog_shown(s), what="the dialog to close")
        return listed

    def picocom(self, dev, *options):
        p = subprocess.Popen(["picocom", "--quiet", *options, "-b", "115200", f"/dev/{dev}"],
                             stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL, start_new_session=True)
        self.t.addCleanup(lambda: p.poll() is None and p.kill())
        xdrive.poll(lambda: holds(p.pid, f"/dev/{dev}"), bool, 10, 0.2,
                    lambda _: f"picocom did not open /dev/{dev}")
        time.sleep(0.2 * xdrive.WAIT_SCALE)  # its lock follows the open
        return p

    def unplug(self):
        self.ask("unplug")
        self.unplugged = True
        self.held(ttyUSB0=None)

    def plug_back(self):
        if self.unplugged:
            self.ask("plug")
            self.unplugged = False
            xdrive.poll(lambda: os.path.isdir("/dev/serial/by-id"), bool, 20, 0.2,
                        lambda _: "the adapter did not come back")

    def plug(self):
        """Plugs the adapter back in; the seconds from the host's reply to the first screenshot
        that shows a frame, as [that shot's start, its end]."""
        self.ask("plug")
        self.unplugged = False
        start = time.monotonic()
        while time.monotonic() < start + 10 * xdrive.WAIT_SCALE:
            at = time.monotonic()
            if xdrive.indicator_lit(self.d.screenshot(), self.client):
                self.held(ttyUSB0="vornel")
                return [round(at - start, 2), round(time.monotonic() - start, 2)]
        raise AssertionError("no frame after the adapter came back")

    def by_id(self):
        links = os.listdir("/dev/serial/by-id")
        self.t.assertEqual(len(links), 1, links)
        return "/dev/serial/by-id/" + links[0]

    # The checks.

    def count_frames(self):
        for seed, (dev, baud) in enumerate(SPEEDS, 1):
            with self.check(f"records on {dev} at {baud} counted through the serial service"):
                name = f"{dev}-{baud}"
                counter = subprocess.Popen(
                    [f"{SHARE}/frame_count", "--device", f"/dev/{dev}", "--baud", str(baud),
                     "--idle", str(5 * xdrive.WAIT_SCALE)],
                    stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
                self.t.assertEqual(counter.stdout.readline().strip(), "open")
                self.held(**{dev: "counter"})
                self.sim(dev, name, "--baud", str(baud), "--rate", "0", "--count",
                         str(baud // 64), "--seed", str(seed), wait=True)
                counter.stdin.write(f"{OUT}/sent/{name}.bin\n")
                counter.stdin.flush()
                found = json.loads(counter.stdout.readline())
                counter.wait(timeout=30 * xdrive.WAIT_SCALE)
                self.held(**{dev: None})
                self.report["devices"][dev].setdefault("frames", {})[str(baud)] = found
                self.t.assertTrue(found["ok"], found["failures"])
                self.t.assertEqual(found["records_found"], found["records_sent"])

    def frames_in_the_program(self):
        r = self.report
        with self.check("set Hardware lists the ports with a UART or adapter behind them"):
            r["port_list"] = self.port_list()
            self.t.assertEqual(r["port_list"], ["1", "2", "3"])
        for dev, baud in SPEEDS:
            with self.check(f"frames flash on {dev} at {baud}, the driver at that speed"):
                self.choose(str(PORTS[dev]), baud, dev)
                self.sim(dev, f"{dev}-{baud}-program", "--baud", str(baud), "--rate", "2")
                steps.frames_flash(self.d, self.client)
                r["devices"][dev].setdefault("speed_after_set", {})[str(baud)] = speed(dev)
                self.t.assertEqual(speed(dev), baud)
                if baud == 115200:  # port n is the device the README says
                    self.t.assertEqual(self.tooltip(),
                                       RECEIVING.format(f"port {PORTS[dev]} (/dev/{dev})"))
                self.ask("stop", dev=dev)
        self.d.save_screenshot(f"{OUT}/frames.png")

    def exclusive(self):
        with self.check("picocom is refused while Vornel holds ttyUSB0, and the other way"):
            self.t.assertEqual(self.on, "ttyUSB0")
            refused = subprocess.run(["picocom", "-b", "115200", "/dev/ttyUSB0"],
                                     stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                     timeout=30 * xdrive.WAIT_SCALE, start_new_session=True)
            self.report["picocom_beside_vornel"] = refused.stderr.strip()
            self.t.assertNotEqual(refused.returncode, 0)
            self.choose("1", 115200, "ttyS0")
            picocom = self.picocom("ttyUSB0")
            self.held(ttyUSB0="picocom")
            self.t.assertEqual(self.port_list(), ["1", "2"])
            self.choose("3", 115200, None)
            self.report["tooltip_beside_picocom"] = self.tooltip()
            self.t.assertIn("is in use by another program", self.report["tooltip_beside_picocom"])
            picocom.terminate()
            picocom.wait(timeout=10 * xdrive.WAIT_SCALE)
            self.held(ttyUSB0=None)

    def cpu_beside_picocom(self, seconds=20):
        with self.check("CPU at 115200: Vornel on ttyS0 beside picocom on ttyS1"):
            self.choose("1", 115200, "ttyS0")
            picocom = self.picocom("ttyS1", "--noreset")
            for dev in ("ttyS0", "ttyS1"):
                self.sim(dev, f"{dev}-cpu", "--baud", "115200", "--rate", "0")
            time.sleep(3)
            v, p, start = cpu_seconds(self.vornel.pid), cpu_seconds(picocom.pid), time.monotonic()
            time.sleep(seconds)
            v, p = cpu_seconds(self.vornel.pid) - v, cpu_seconds(picocom.pid) - p
            wall = time.monotonic() - start
            sent = [self.ask("stop", dev=dev)["summary"] for dev in ("ttyS0", "ttyS1")]
            picocom.terminate()
            self.report["cpu_at_115200"] = {
                "seconds": round(wall, 1), "vornel_percent": round(100 * v / wall, 2),
                "picocom_percent": round(100 * p / wall, 2),
                "ratio": round(v / p, 2) if p else None, "sent": sent}
            self.t.assertGreater(p, 0)

    def replugs(self):
        usb, d = self.report["usb"], self.d
        self.choose("/dev/ttyUSB0", 115200, "ttyUSB0")
        self.sim("ttyUSB0", "ttyUSB0-replugs", "--baud", "115200", "--rate", "2")
        steps.frames_flash(d, self.client)
        for i in range(1, 4):
            with self.check(f"unplugged while open and plugged back, {i} of 3") as entry:
                self.plug_back()
                self.unplug()
                entry["tooltip"] = self.wait_tooltip("went away", "Waiting for the device")
                if i == 1:
                    self.photograph_tooltip("device-gone")
                before, start = cpu_seconds(self.vornel.pid), time.monotonic()
                time.sleep(6)
                entry["cpu_percent_while_waiting"] = round(
                    100 * (cpu_seconds(self.vornel.pid) - before) / (time.monotonic() - start), 2)
                d.wait_for(lambda s: xdrive.indicator_dark(s, self.client), what="no frames")
                entry["first_frame_seconds"] = self.plug()
                self.t.assertEqual(self.tooltip(), RECEIVING.format("/dev/ttyUSB0"))
                self.t.assertLess(entry["cpu_percent_while_waiting"], 1.0)
        with self.check("chosen as /dev/ttyUSB0, it waits while the adapter is back as ttyUSB1"):
            self.plug_back()
            old = hold_node("/dev/ttyUSB0")
            self.unplug()
            self.plug_back()
            usb["back_as"] = os.path.realpath(self.by_id())
            self.t.assertEqual(usb["back_as"], "/dev/ttyUSB1")
            steps.no_frames(self.t, d, self.client, quiet=5)
            usb["waiting_for_ttyUSB0"] = self.wait_tooltip("/dev/ttyUSB0", "Waiting")
            os.close(old)
            # Unplugged once more, it comes back as ttyUSB0, which the waiting program opens.
            self.unplug()
            usb["back_as_ttyUSB0_first_frame_seconds"] = self.plug()
        with self.check("chosen by its by-id name, it follows the adapter to ttyUSB1"):
            self.plug_back()
            self.choose(self.by_id(), 115200, "ttyUSB0")
            steps.frames_flash(d, self.client)
            old = hold_node("/dev/ttyUSB0")
            self.unplug()
            usb["by_id_first_frame_seconds"] = self.plug()
            usb["by_id_now"] = os.path.realpath(self.by_id())
            usb["tooltip_after_by_id"] = self.tooltip()
            os.close(old)
            self.t.assertEqual(usb["by_id_now"], "/dev/ttyUSB1")
            self.t.assertEqual(usb["tooltip_after_by_id"], RECEIVING.format("/dev/ttyUSB1"))
        with self.check("the adapter is not listed while it is gone"):
            self.plug_back()
            self.unplug()
            usb["port_list_while_gone"] = self.port_list()
            self.t.assertEqual(usb["port_list_while_gone"], ["1", "2"])
            self.plug_back()
            self.ask("stop", dev="ttyUSB0")

    def raw_data_and_exit(self):
        with self.check("raw DAta shows the latest frame; Exit ends the program"):
            self.choose("1", 115200, "ttyS0")
            self.sim("ttyS0", "ttyS0-raw", "--baud", "115200", "--rate", "2")
            steps.frames_flash(self.d, self.client)
            steps.raw_data_shows_rows(self.d, self.menu, rows=1)
            self.d.save_screenshot(f"{OUT}/raw-data.png")
            client, shot = steps.drag_main_window(self.d, self.client, 200)
            steps.exit_status(self.t, self.vornel, steps.menu(self.t, shot, client), self.d)
            self.ask("stop", dev="ttyS0")
            self.held(ttyS0=None)
        with self.check("Vornel wrote nothing to any device"):
            for dev in PORTS:
                self.t.assertEqual(
                    self.report["devices"][dev]["bytes_received_while_only_vornel_had_it"], 0)

    def run(self):
        r = self.report
        r["guest_uptime_at_start"] = float(open("/proc/uptime").read().split()[0])
        host = self.ask("hello")["spawn_seconds"]
        r["slowdown"] = xdrive.WAIT_SCALE = round(max(1.0, xdrive.spawn_seconds() / host), 1)
        for dev in PORTS:  # bus and driver, as /sys/bus/BUS/drivers/DRIVER
            driver = os.path.realpath(f"/sys/class/tty/{dev}/device/driver").split("/")
            r["devices"][dev]["driver"] = "/".join(driver[-3::2])
        r["registered_without_uart"] = {dev: speed(dev) for dev in ("ttyS2", "ttyS3")}
        with self.check("what the guest writes to a device reaches the host and is counted"):
            for dev in ("ttyS1", "ttyUSB0"):
                fd = os.open(f"/dev/{dev}", os.O_WRONLY | os.O_NOCTTY | os.O_NONBLOCK)
                os.write(fd, b"probe")
                os.close(fd)
            xdrive.poll(lambda: self.ask("written")["bytes"], lambda n: n == {
                "ttyS0": 0, "ttyS1": 5, "ttyUSB0": 5}, 10, 0.2, lambda n: f"counted {n}")
        self.held()
        self.count_frames()
        with self.check("the program starts"):
            self.start_vornel()
        for part in (self.frames_in_the_program, self.exclusive, self.cpu_beside_picocom,
                     self.replugs, self.raw_data_and_exit):
            if hasattr(self, "menu"):
                part()
        self.t.doCleanups()
        r["ok"] = all(c["ok"] for c in r["checks"])


if __name__ == "__main__":
    checks = GuestChecks()
    try:
        checks.run()
    finally:
        checks.write()
        checks.ask("done")
