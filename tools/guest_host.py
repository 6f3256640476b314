"""The host side of tools/guest-check.sh: boots the guest under QEMU with software emulation,
feeds its serial devices with vornel-sim through FIFOs, plugs its USB adapter out and in through
QMP, and answers the guest's requests on the control channel (a virtio serial port, a line of
JSON each way). The guest's console goes to OUT/console.log. Exits 0 when the guest's
OUT/report.json says that every check passed.

    python3 tools/guest_host.py --image DIR --stage DIR --out OUT --sim PATH [--minutes M]
"""

import argparse
import json
import os
import select
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "driven"))
from xdrive import spawn_seconds  # noqa: E402

# The guest's devices and their chardevs: ttyS0 and ttyS1 are the 16550 UARTs QEMU backs (the
# 8250 driver registers ttyS2 and ttyS3 with none), ttyUSB0 the FTDI adapter. The adapter has a
# serial number of its own, as real ones have, so that its by-id name stays when it comes back.
CHARDEVS = {"ttyS0": "s0", "ttyS1": "s1", "ttyUSB0": "u0"}
ADAPTER = {"id": "ftdi0", "chardev": "u0", "bus": "xhci.0", "serial": "VN0001"}


class Lines:
    """A Unix socket that QEMU serves, spoken to in lines of JSON."""

    def __init__(self, path, deadline):
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX)
                self.sock.connect(path)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.1)
        self.file = self.sock.makefile("rb")
        self.events = []

    def send(self, message):
        self.sock.sendall((json.dumps(message) + "\n").encode())

    def read(self, timeout=60):
        self.sock.settimeout(timeout)
        line = self.file.readline()
        return json.loads(line) if line else None

    def execute(self, command, **arguments):
        """A QMP command; events that come before its answer are kept."""
        self.send({"execute": command, "arguments": arguments})
        while "return" not in (answer := self.read()):
            if "error" in answer:
                raise RuntimeError(f"{command}: {answer['error']['desc']}")
            self.events.append(answer)

    def wait_event(self, name, device):
        while not any(e["event"] == name and e.get("data", {}).get("device") == device
                      for e in self.events):
            self.events.append(self.read())
        self.events.clear()


class GuestHost:
    def __init__(self, args):
        self.args, self.work, self.sims = args, tempfile.mkdtemp(prefix="vornel-guest-"), {}
        # Both FIFOs of each chardev are held open all along: vornel-sim opens its end without
        # blocking, which fails while nobody reads it, and QEMU opens the .out end only once
        # somebody does. What QEMU writes there, all a device sends, is counted.
        self.received = {dev: 0 for dev in CHARDEVS}
        self.ins, outs = {}, {}
        for dev in CHARDEVS:
            for end in ("in", "out"):
                os.mkfifo(self.fifo(dev, end))
            self.ins[dev] = os.open(self.fifo(dev, "in"), os.O_RDWR | os.O_NONBLOCK)
            outs[os.open(self.fifo(dev, "out"), os.O_RDWR)] = dev
        self.counting = threading.Thread(target=self.count_received, args=(outs,), daemon=True)

    def fifo(self, dev, end):
        return f"{self.work}/{CHARDEVS[dev]}.{end}"

    def count_received(self, outs):
        with open(f"{self.args.out}/received.log", "w") as log:
            while True:
                for fd in select.select(list(outs), [], [])[0]:
                    data = os.read(fd, 65536)
                    self.received[outs[fd]] += len(data)
                    print(f"{time.monotonic() - self.started:8.2f} {outs[fd]} {data!r}", file=log,
                          flush=True)

    def qemu_command(self):
        image, out, work = self.args.image, self.args.out, self.work
        share = "local,security_model=none,path="
        command = [
            "qemu-system-x86_64", "-accel", "tcg,thread=multi", "-cpu", "max", "-smp", "2",
            "-m", "1024", "-nodefaults", "-display", "none", "-no-reboot",
            "-kernel", f"{image}/vmlinuz", "-initrd", f"{image}/initrd.img",
            "-append", "console=hvc0 panic=-1 quiet",
            "-drive", f"file={image}/root.img,format=raw,if=virtio,snapshot=on",
            "-virtfs", f"{share}{self.args.stage},mount_tag=vornel,readonly=on",
            "-virtfs", f"{share}{out},mount_tag=out",
            "-device", "virtio-serial-pci",
            "-chardev", f"file,id=con,path={out}/console.log", "-device", "virtconsole,chardev=con",
            "-chardev", f"socket,id=ctl,path={work}/ctl.sock,server=on,wait=off",
            "-device", "virtserialport,chardev=ctl,name=vornel.ctl",
            "-qmp", f"unix:{work}/qmp.sock,server=on,wait=off",
            "-serial", "chardev:s0", "-serial", "chardev:s1", "-device", "qemu-xhci,id=xhci",
            "-device", ",".join(["usb-serial"] + [f"{k}={v}" for k, v in ADAPTER.items()])]
        for chardev in CHARDEVS.values():
            command += ["-chardev", f"pipe,id={chardev},path={work}/{chardev}"]
        return command

    def forget(self, dev):
        """Throws away what the device has not taken from its FIFO, as a line forgets what
        nobody received: after a simulator is stopped, or while the adapter was unplugged."""
        try:
            while os.read(self.ins[dev], 65536):
                pass
        except BlockingIOError:
            pass

    def stop(self, dev, ending=True):
        sim = self.sims.pop(dev, None)
        if sim is None:
            return {}
        if ending:
            sim.terminate()
        summary = sim.communicate(timeout=600)[1].strip()
        if ending:
            self.forget(dev)
        return {"status": sim.returncode, "summary": summary}

    def handle(self, request):
        op, dev = request["op"], request.get("dev")
        if op == "hello":
            self.boot_seconds = round(time.monotonic() - self.started, 1)
            return {"spawn_seconds": self.spawn}
        if op == "sim":
            self.stop(dev)
            os.makedirs(f"{self.args.out}/sent", exist_ok=True)
            self.sims[dev] = subprocess.Popen(
                [self.args.sim, "--device", self.fifo(dev, "in"), *request["args"], "--record",
                 f"{self.args.out}/sent/{request['record']}.bin"],
                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            return self.stop(dev, ending=False) if request["wait"] else {}
        if op == "stop":
            return self.stop(dev)
        if op == "written":
            return {"bytes": dict(self.received)}
        if op == "unplug":
            self.monitor.execute("device_del", id=ADAPTER["id"])
            self.monitor.wait_event("DEVICE_DELETED", ADAPTER["id"])
        elif op == "plug":
            self.forget("ttyUSB0")
            self.monitor.execute("device_add", driver="usb-serial", **ADAPTER)
        elif op != "done":
            raise ValueError(f"no such request: {op}")
        return {}

    def run(self):
        self.spawn = spawn_seconds()
        self.started = time.monotonic()
        self.counting.start()
        deadline = self.started + self.args.minutes * 60
        with open(f"{self.args.out}/qemu.log", "w") as log:
            qemu = subprocess.Popen(self.qemu_command(), stdin=subprocess.DEVNULL, stdout=log,
                                    stderr=subprocess.STDOUT)
        try:
            self.monitor = Lines(f"{self.work}/qmp.sock", self.started + 60)
            self.monitor.read()  # its greeting
            self.monitor.execute("qmp_capabilities")
            control = Lines(f"{self.work}/ctl.sock", self.started + 60)
            while (request := control.read(max(1, deadline - time.monotonic()))) is not None:
                try:
                    answer = self.handle(request)
                except Exception as failure:  # the guest records it in its check
                    answer = {"error": f"{type(failure).__name__}: {failure}"}
                control.send(answer)
                if request["op"] == "done":
                    self.monitor.execute("quit")
                    qemu.wait(timeout=60)
                    break
        except (OSError, RuntimeError, subprocess.TimeoutExpired) as failure:
            print(f"guest-check: {failure or type(failure).__name__}", file=sys.stderr)
            if qemu.poll() is not None:
                with open(f"{self.args.out}/qemu.log") as log:
                    print(f"guest-check: QEMU ended with {qemu.returncode}:\n{log.read()[-2000:]}",
                          file=sys.stderr)
        finally:
            if qemu.poll() is None:
                qemu.kill()
            for dev in list(self.sims):
                self.stop(dev)
        return self.finish()

    def finish(self):
        path = f"{self.args.out}/report.json"
        try:
            with open(path) as f:
                report = json.load(f)
        except (OSError, ValueError):
            print(f"guest-check: no report; see {self.args.out}/console.log and guest.log",
                  file=sys.stderr)
            return 1
        report["boot_seconds"] = getattr(self, "boot_seconds", None)
        report["guest_seconds"] = round(time.monotonic() - self.started, 1)
        with open(path, "w") as f:
            json.dump(report, f, indent=2)
        for check in report["checks"]:
            print("ok    " if check["ok"] else "FAILED", check["name"],
                  "" if check["ok"] else f"\n       {check['failure']}")
        passed = sum(c["ok"] for c in report["checks"])
        print(f"guest-check: {passed} passed, {len(report['checks']) - passed} failed")
        return 0 if report.get("ok") else 1


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for name in ("--image", "--stage", "--out", "--sim"):
        parser.add_argument(name, required=True)
    parser.add_argument("--minutes", type=float, default=15)
    sys.exit(GuestHost(parser.parse_args()).run())
