"""What a person does with Vornel, step by step, shared by the driven tests of both platforms:
the Linux program under Xvfb (driven_test.py) and the Windows program under Wine on Xvfb
(tests/windows/wine_driven.py). A step takes the test, the display and a Target: what differs
between the platforms is only how the program is started, how a port is named in the port field,
and how a device is made to go away and come back."""

import subprocess
import time

import xdrive


class Target:
    """How a platform runs the program. The defaults are Linux's."""

    # Whether a port that another program holds is left out of the port list (Windows opens a
    # COM port for one handle at a time; Wine does not).
    exclusive_ports = True

    def command(self, program):
        return [program]

    def environment(self, env):
        return env

    def start(self, test, display, program, env=None, **extra):
        """Starts `program` on `display` (with `env` as its whole environment when given)."""
        process = subprocess.Popen(self.command(program),
                                   env=self.environment(dict(env or display.env, **extra)))
        test.addCleanup(lambda: process.poll() is None and process.kill())
        return process

    def port_text(self, device):
        """What is typed into the port field for `device`."""
        return device


def splash_shown(shot):
    # The splash is centred; its black margin does nothing, so the pointer may rest there.
    return not xdrive.near(shot.pixel(shot.width // 2, shot.height // 2), (0, 0, 0), 8)


def main_client(shot, expected=None, reach=12):
    """The main window's client area, top-left: the dark grey corner whose left and upper
    neighbours are not dark grey, near where the definition puts it (a window system may offset
    it by its border), or None."""
    ex, ey = expected or xdrive.MAIN_CLIENT
    for y in range(max(1, ey - reach), ey + reach):
        for x in range(max(1, ex - reach), ex + reach):
            if (xdrive.near(shot.pixel(x, y), xdrive.DARK_GREY, 4)
                    and not xdrive.near(shot.pixel(x - 1, y), xdrive.DARK_GREY, 4)
                    and not xdrive.near(shot.pixel(x, y - 1), xdrive.DARK_GREY, 4)
                    and xdrive.main_window_shown(shot, (x, y))):
                return (x, y)
    return None


def close_splash(test, display):
    """Waits for the splash, checks the main window is not shown yet, presses a key; returns
    the screenshot with the main window and the main window's client corner, which must be
    where the window's definition puts it."""
    display.wait_for(splash_shown, timeout=30, what="the splash")
    test.assertIsNone(main_client(display.screenshot()),
                      "the main window shows before the splash closes")
    display.xdotool("mousemove", display.width // 2, display.height // 2)
    display.key("space")
    shot = display.wait_for(lambda s: main_client(s) is not None, timeout=15,
                            what="the main window")
    client = main_client(shot)
    # A screen scaled by a fraction (150 %) rounds each edge to a whole pixel.
    slack = 0 if xdrive.SCALE == int(xdrive.SCALE) else 1
    test.assertTrue(all(abs(a - b) <= slack for a, b in zip(client, xdrive.MAIN_CLIENT)),
                    f"the main window's client area is at {client}, not {xdrive.MAIN_CLIENT}")
    return shot, client


def menu(test, shot, client):
    """The menu bar's five commands, by name."""
    items = xdrive.menu_items(shot, client)
    test.assertEqual(len(items), len(xdrive.MENU_NAMES), items)
    return dict(zip(xdrive.MENU_NAMES, items))


def set_port(display, menu, port, baud):
    """Chooses "set Hardware", types `port` and `baud` into the dialog's fields, clicks SET."""
    xdrive.fill_setup_dialog(display, menu, port, baud)
    xdrive.click_set(display)


def frames_flash(display, client, timeout=10):
    """The indicator goes dark after a flash and lights again with the next frame."""
    display.wait_for(lambda s: xdrive.indicator_dark(s, client), timeout=timeout,
                     what="the indicator to go dark")
    display.wait_for(lambda s: xdrive.indicator_lit(s, client), timeout=timeout,
                     what="the indicator to light with a frame")


def no_frames(test, display, client, quiet=1.5, within=5):
    """The indicator goes dark within `within` seconds and stays dark: no frame arrives."""
    display.wait_for(lambda s: xdrive.indicator_dark(s, client), timeout=within,
                     what="the indicator to go dark")
    deadline = time.monotonic() + quiet
    while time.monotonic() < deadline:
        test.assertTrue(xdrive.indicator_dark(display.screenshot(), client),
                        "the indicator lit with no device")
        time.sleep(0.1)


def port_list(display):
    """The port numbers the setup dialog lists (two at least), read from its port field: each
    item is picked with the arrow keys, down to the last and back up to the first, and its text
    copied to the clipboard. (The field's own text before a pick need not be an item.)"""
    display.click(*xdrive.field_centre(xdrive.PORT_FIELD))

    def picked(key, last):
        # Read until a new text shows, or for a quarter of a second: a pick past the end of the
        # list leaves the text as it was.
        display.key(key)
        display.key("ctrl+a", "ctrl+c")
        deadline = time.monotonic() + 0.25 * xdrive.WAIT_SCALE
        while True:
            text = display.clipboard()
            if (last is not None and text and text != last) or time.monotonic() > deadline:
                return text
            time.sleep(0.05)

    def walk(key, seen):
        texts = [seen]
        while len(texts) < 20:
            text = picked(key, texts[-1])
            if text == texts[-1]:
                break
            texts.append(text)
        return texts

    down = walk("Down", None)
    up = walk("Up", down[-1])
    return list(reversed(up))


def raw_data_shows_rows(display, menu, rows=1, timeout=10):
    """Chooses "raw DAta": the viewer opens and shows at least `rows` rows of a frame in its list
    after a tick; returns the screenshot."""
    rx, ry = xdrive.RAW_CLIENT
    before = display.screenshot().region_colours(rx + 20, ry + 30, 300, 12)
    display.click(*menu["raw DAta"])
    return display.wait_for(
        lambda s: (len(s.region_colours(rx + 20, ry + 30, 300, 12) - before) > 4
                   and len(xdrive.raw_row_bands(s)) >= rows),
        timeout=timeout, what=f"the raw data window showing a frame in {rows} row(s)")


def drag_main_window(display, client, down):
    """Drags the main window `down` pixels by its body; returns its client corner there and the
    screenshot that shows it."""
    cx, cy = client
    grab = (cx + xdrive.MAIN_WIDTH - 30, cy + 38)
    display.drag(grab, (grab[0], grab[1] + down))
    moved = (cx, cy + down)
    shot = display.wait_for(lambda s: xdrive.main_window_shown(s, moved),
                            what="the main window to follow the drag")
    return moved, shot


def indicator_tooltip(display, client, timeout=5):
    """Rests the pointer on the frame indicator until its tooltip shows; returns the tooltip's
    window. Qt shows tooltips for the active window only: a click on the indicator, which does
    nothing else, makes the main window active."""
    x = client[0] + xdrive.INDICATOR[0] + xdrive.INDICATOR[2] // 2
    y = client[1] + xdrive.INDICATOR[1] + xdrive.INDICATOR[3] // 2
    before = set(display.windows_named("Vornel"))
    display.click(x, y)
    display.xdotool("mousemove", x + 1, y)
    return xdrive.poll(lambda: set(display.windows_named("Vornel")) - before, bool, timeout, 0.1,
                       lambda _: "no tooltip showed on the indicator").pop()


def copied_text(display, timeout=5):
    """What Ctrl+C copies from the window that has the keyboard (a message box: its whole
    text)."""
    display.key("ctrl+c")
    return xdrive.poll(display.clipboard, bool, timeout, 0.2, lambda _: "nothing was copied")


def message_box(display, title, timeout=15, besides=()):
    """Waits for a top-level window titled `title`, other than those in `besides`; returns its
    id."""
    return xdrive.poll(lambda: [w for w in display.windows_named(title) if w not in besides],
                       bool, timeout, 0.1,
                       lambda _: f'timed out waiting for a window titled "{title}"')[0]


def uncaught_failure_shown(test, display, process, text_of, shoot=lambda: None):
    """The program with the planted failure shows the failure guard's message, titled after the
    program and naming the failure, read with `text_of()`; Enter ends the program with status
    1."""
    message_box(display, "Vornel")
    test.assertIn("a failure planted by the test", text_of())
    shoot()
    display.key("Return")
    test.assertEqual(process.wait(timeout=20), 1)


def exit_status(test, process, menu_items, display, want=0):
    """Exit ends the program with status `want`. Where another program's window had the
    focus, the first click may only give the main window the focus back: then once more."""
    display.click(*menu_items["Exit"])
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        display.click(*menu_items["Exit"])
    test.assertEqual(process.wait(timeout=20), want)
