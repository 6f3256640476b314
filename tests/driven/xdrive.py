"""Drives the real Vornel program under Xvfb as a person would: xdotool for the mouse and the
keyboard, screenshots for what is on the screen. Python's standard library only, plus the Debian
packages xvfb, xdotool and imagemagick."""

import os
import re
import subprocess
import tempfile
import time

# Window places, from the windows' definitions (twips): 15 twips a pixel at 96 DPI, times the
# screen's scale (1.5 at 150 %).
SCALE = 1


def px(twips):
    return round(twips / 15 * SCALE)


def set_scale(scale):
    """Sets the window places for a screen scaled by `scale`."""
    global SCALE, MAIN_CLIENT, MAIN_WIDTH, INDICATOR, SETUP_CLIENT, PORT_FIELD, BAUD_FIELD
    global SET_BUTTON, RAW_CLIENT, RAW_SIZE
    SCALE = scale
    MAIN_CLIENT = (px(4830), px(3750))              # main window's client area, top-left
    MAIN_WIDTH = px(5850)
    INDICATOR = (px(120), px(240), px(135), px(135))  # DataOK, in the client area
    SETUP_CLIENT = (px(4755), px(3225))             # "Basic COMM Setup"
    PORT_FIELD = (px(2040), px(120), px(615), px(315))
    BAUD_FIELD = (px(4080), px(120), px(855), px(315))
    SET_BUTTON = (px(5160), px(120), px(1455), px(375))
    RAW_CLIENT = (px(3540), px(2850))               # "RAW data string"
    RAW_SIZE = (px(8415), px(975))


set_scale(1)

GREEN = (0, 255, 0)
DARK_GREY = (0x40, 0x40, 0x40)
ORANGE = (0xFF, 0x80, 0x00)
MENU_NAMES = ["COMMS", "set Hardware", "raw DAta", "About", "Exit"]

# Every wait is this many times longer where programs run that much slower than here, as in a
# guest under software emulation (tools/guest-check.sh measures it when the guest boots).
WAIT_SCALE = float(os.environ.get("VORNEL_WAIT_SCALE", "1"))


def spawn_seconds(n=10, tries=3):
    """What WAIT_SCALE is measured with, here and in such a guest alike: the time to start and
    end `n` small programs, which is most of what the steps do; the best of a few tries, since
    other work on the machine only ever adds to it."""
    best = float("inf")
    for _ in range(tries):
        start = time.monotonic()
        for _ in range(n):
            subprocess.run(["/bin/true"], check=True)
        best = min(best, time.monotonic() - start)
    return best


class Screenshot:
    def __init__(self, ppm):
        # P6 header: magic, width, height, maximum value, then RGB bytes.
        fields = []
        pos = 0
        while len(fields) < 4:
            while ppm[pos:pos + 1].isspace():
                pos += 1
            start = pos
            while not ppm[pos:pos + 1].isspace():
                pos += 1
            fields.append(ppm[start:pos])
        self.width, self.height = int(fields[1]), int(fields[2])
        self.data = ppm[pos + 1:]

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def region_colours(self, x, y, w, h):
        return {self.pixel(i, j) for j in range(y, y + h) for i in range(x, x + w)}

    def crop_to_ppm(self, x, y, w, h):
        rows = [self.data[((y + j) * self.width + x) * 3:((y + j) * self.width + x + w) * 3]
                for j in range(h)]
        return b"P6\n%d %d\n255\n" % (w, h) + b"".join(rows)


def near(colour, wanted, tolerance=24):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, wanted))


def poll(read, condition, timeout, interval, failure):
    """Reads until `condition` holds for what `read()` returns, and returns that; past `timeout`
    seconds fails with `failure(last read)`."""
    deadline = time.monotonic() + timeout * WAIT_SCALE
    while True:
        value = read()
        if condition(value):
            return value
        if time.monotonic() > deadline:
            raise AssertionError(failure(value))
        time.sleep(interval)


class Display:
    """A private Xvfb screen; the display number is chosen by Xvfb itself. With
    `window_manager=True` Debian's metacity manages it, as on a desktop: title bars, borders,
    Alt+F4 as the close command."""

    def __init__(self, width=1024, height=768, window_manager=False):
        self.width, self.height = width, height
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number
        self.env = dict(os.environ, DISPLAY=self.name)
        self.env.pop("QT_QPA_PLATFORM", None)
        self.window_manager = None
        if window_manager:
            self.start_window_manager()

    def start_window_manager(self, tries=3):
        # Now and then, while other test programs start and end X servers of their own, a new
        # client is refused by a screen that has only just come up; metacity then ends at once.
        # It is started again; what it said the last time is kept for the failure.
        for _ in range(tries):
            with tempfile.TemporaryFile() as log:
                self.window_manager = subprocess.Popen(
                    ["metacity", "--replace"], env=self.env, stdin=subprocess.DEVNULL,
                    stdout=log, stderr=subprocess.STDOUT)
                # Ready once it has announced itself on the root window.
                deadline = time.monotonic() + 10
                while "window id" not in self.xprop("-root", "_NET_SUPPORTING_WM_CHECK"):
                    if self.window_manager.poll() is not None or time.monotonic() > deadline:
                        break
                    time.sleep(0.05)
                else:
                    return
                log.seek(0)
                said = log.read().decode(errors="replace").strip()
            if self.window_manager.poll() is None:  # running, but never announced itself
                break
            time.sleep(0.2)
        self.close()
        raise RuntimeError(f"metacity did not start: {said}")

    def close(self):
        if self.window_manager is not None:
            self.window_manager.terminate()
            self.window_manager.wait(timeout=10)
        self.process.terminate()
        self.process.wait(timeout=10)

    def xprop(self, *args):
        return subprocess.run(["xprop", *args], env=self.env, capture_output=True,
                              text=True).stdout

    def managed_windows(self):
        """The window manager's client windows, as {window id: (_NET_WM_NAME, WM_NAME)}, the
        captions read from the X server exactly as the window manager shows them."""
        listing = self.xprop("-root", "_NET_CLIENT_LIST")
        ids = listing.split("#", 1)[1].replace(",", " ").split() if "#" in listing else []
        windows = {}
        for window in ids:
            names = {}
            for line in self.xprop("-id", window, "_NET_WM_NAME", "WM_NAME").splitlines():
                # NAME(TYPE) = "text", or NAME(TYPE) = when empty; an unset one is left out.
                match = re.match(r'(\w+)\(\w+\) = "?(.*?)"?$', line)
                if match:
                    names[match.group(1)] = match.group(2)
            windows[window] = (names.get("_NET_WM_NAME"), names.get("WM_NAME"))
        return windows

    def wait_for_windows(self, condition, timeout=10.0, what="the windows"):
        """Reads the managed windows until `condition(windows)` holds; returns them."""
        return poll(self.managed_windows, condition, timeout, 0.05,
                    lambda windows: f"timed out waiting for {what}: {windows}")

    def screenshot(self):
        ppm = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                             env=self.env, check=True, capture_output=True).stdout
        return Screenshot(ppm)

    def xdotool(self, *args):
        subprocess.run(["xdotool", *[str(a) for a in args]], env=self.env, check=True)

    def click(self, x, y):
        self.xdotool("mousemove", x, y, "click", "1")

    def drag(self, start, end):
        self.xdotool("mousemove", *start, "mousedown", "1")
        for step in range(1, 11):
            self.xdotool("mousemove", start[0] + (end[0] - start[0]) * step // 10,
                         start[1] + (end[1] - start[1]) * step // 10)
        self.xdotool("mouseup", "1")

    def key(self, *keys):
        self.xdotool("key", *keys)

    def type(self, text):
        self.xdotool("type", "--delay", "15", text)

    def clipboard(self):
        """The text on the clipboard (xclip)."""
        return subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.env,
                              capture_output=True, text=True).stdout

    def windows_named(self, title):
        """The visible top-level windows whose title is exactly `title`."""
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"],
                              env=self.env, capture_output=True, text=True).stdout.split()

    def save_screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True)

    def wait_for(self, condition, timeout=10.0, what="the screen"):
        """Takes screenshots until `condition(shot)` holds; returns the shot."""
        return poll(self.screenshot, condition, timeout, 0.03,
                    lambda _: f"timed out waiting for {what}")


def indicator_colour(shot, client=None):
    client = client or MAIN_CLIENT
    x, y = client[0] + INDICATOR[0], client[1] + INDICATOR[1]
    return shot.pixel(x + INDICATOR[2] // 2, y + INDICATOR[3] // 2)


def indicator_lit(shot, client=None):
    return near(indicator_colour(shot, client), GREEN)


def indicator_dark(shot, client=None):
    return near(indicator_colour(shot, client), DARK_GREY)


def main_window_shown(shot, client=None):
    x, y = client or MAIN_CLIENT
    return near(shot.pixel(x + MAIN_WIDTH - 3, y + 3), DARK_GREY)


def menu_items(shot, client=None, width=None):
    """The menu bar's items, found in the screenshot: (x centre, y centre) of each, left to
    right. The bar lies just above the window's client area (the main window's by default)."""
    x0, client_top = client or MAIN_CLIENT
    width = width or MAIN_WIDTH
    top = client_top - 1
    while top > 0 and not near(shot.pixel(x0 + 1, top - 1), (0, 0, 0), 8):
        top -= 1
    columns = []
    for x in range(x0, x0 + width):
        if any(sum(shot.pixel(x, y)) < 3 * 110 for y in range(top + 2, client_top - 2)):
            columns.append(x)
    groups = []
    for x in columns:
        if groups and x - groups[-1][-1] <= 7 * SCALE:
            groups[-1].append(x)
        else:
            groups.append([x])
    middle = (top + client_top) // 2
    return [((g[0] + g[-1]) // 2, middle) for g in groups]


def raw_row_bands(shot):
    """The rows the raw data window's list shows below its header, as (top, bottom) of each line
    of text, read from the screen."""
    rx, ry = RAW_CLIENT
    inked = [any(sum(shot.pixel(x, y)) < 3 * 150 for x in range(rx + 4, rx + RAW_SIZE[0] - 24, 2))
             for y in range(ry + 28, ry + RAW_SIZE[1])]
    bands = []
    for i, ink in enumerate(inked):
        if ink and (not bands or bands[-1][1] < ry + 28 + i - 2):
            bands.append([ry + 28 + i, ry + 28 + i])
        elif ink:
            bands[-1][1] = ry + 28 + i
    return [tuple(b) for b in bands]


def setup_dialog_shown(shot):
    x = SETUP_CLIENT[0] + SET_BUTTON[0] + 4
    y = SETUP_CLIENT[1] + SET_BUTTON[1] + SET_BUTTON[3] - 4
    return near(shot.pixel(x, y), ORANGE)


def field_centre(field):
    return (SETUP_CLIENT[0] + field[0] + field[2] // 3, SETUP_CLIENT[1] + field[1] + field[3] // 2)


def fill_setup_dialog(display, menu, port, baud):
    """Chooses "set Hardware" and types `port` and `baud` into the dialog's fields."""
    display.click(*menu["set Hardware"])
    display.wait_for(setup_dialog_shown, what="the setup dialog")
    for field, text in ((PORT_FIELD, port), (BAUD_FIELD, baud)):
        display.click(*field_centre(field))
        display.key("ctrl+a")
        display.type(text)


def click_set(display):
    x, y, w, h = SET_BUTTON
    display.click(SETUP_CLIENT[0] + x + w // 2, SETUP_CLIENT[1] + y + h // 2)
    display.wait_for(lambda s: not setup_dialog_shown(s), what="the setup dialog to close")
