"""A private session bus with the AT-SPI accessibility bus on it, as a desktop with a screen
reader has: programs started with `program_env` are seen and worked through atspi_probe.py.
Debian packages dbus-daemon, dbus-bin (dbus-send), at-spi2-core and python3-pyatspi."""

import json
import os
import shutil
import subprocess
import tempfile

PROBE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "atspi_probe.py")
# python3-pyatspi is installed for Debian's own interpreter, which need not be the one running
# the tests.
PYATSPI_PYTHON = "/usr/bin/python3"


class AccessibilityBus:
    def __init__(self, display_env):
        # The accessibility bus keeps its socket under XDG_RUNTIME_DIR: one of its own, so that
        # tests running side by side do not meet.
        self.runtime = tempfile.mkdtemp(prefix="vornel-atspi-")
        env = dict(display_env, XDG_RUNTIME_DIR=self.runtime)
        self.daemon = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--print-address"], env=env,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        address = self.daemon.stdout.readline().strip()
        if not address:
            self.close()
            raise RuntimeError("dbus-daemon did not start")
        self.env = dict(env, DBUS_SESSION_BUS_ADDRESS=address)
        # Started on demand, as a screen reader starts it, and switched on: a Qt program connects
        # to an accessibility bus that is already there and enabled.
        self.send("org.a11y.Bus.GetAddress")
        self.send("org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status",
                  "string:IsEnabled", "variant:boolean:true")
        self.program_env = self.env

    def send(self, method, *args):
        subprocess.run(["dbus-send", "--session", "--dest=org.a11y.Bus", "--print-reply",
                        "/org/a11y/bus", method, *args], env=self.env, check=True,
                       stdout=subprocess.DEVNULL)

    def close(self):
        self.daemon.terminate()
        self.daemon.wait(timeout=10)
        self.daemon.stdout.close()
        shutil.rmtree(self.runtime, ignore_errors=True)

    def probe(self, *args):
        done = subprocess.run([PYATSPI_PYTHON, PROBE, *args], env=self.env, capture_output=True,
                              text=True, timeout=60)
        if done.returncode != 0:
            raise AssertionError(f"atspi_probe {' '.join(args)}: {done.stderr.strip()}")
        return json.loads(done.stdout)

    def tree(self, app="Vornel"):
        return self.probe("tree", app)

    def press(self, role, name, app="Vornel"):
        return self.probe("press", app, role, name)


def objects(tree, role=None):
    """Every object in an accessible tree (of the given role), depth first."""
    if role is None or tree["role"] == role:
        yield tree
    for child in tree["children"]:
        yield from objects(child, role)
