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

    def start(self, test, display, program, **env):
        process = subprocess.Popen(self.command(program),
                                   env=self.environment(dict(display.env, **env)))
        test.addCleanup(lambda: process.poll() is None and process.kill())
        return process

    def port_text(self, device):
        """What is typed into the port field for `device`."""
        return device


def splash_shown(shot):
    # The splash is centred; its black margin does nothing, so the pointer may rest there.
    return not xdrive.near(shot.pixel(512, 384), (0, 0, 0), 8)


def main_client(shot, expected=xdrive.MAIN_CLIENT, reach=12):
    """The main window's client area, top-left: the dark grey corner whose left and upper
    neighbours are not dark grey, near where the definition puts it (a window system may offset
    it by its border), or None."""
    ex, ey = expected
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
    the screenshot with the main window and the main window's client corner."""
    display.wait_for(splash_shown, timeout=30, what="the splash")
    test.assertIsNone(main_client(display.screenshot()),
                      "the main window shows before the splash closes")
    display.xdotool("mousemove", 512, 384)
    display.key("space")
    shot = display.wait_for(lambda s: main_client(s) is not None, timeout=15,
                            what="the main window")
    return shot, main_client(shot)


def menu(test, shot, client):
    """The menu bar's five commands, by name."""
    items = xdrive.menu_items(shot, client)
    test.assertEqual(len(items), len(xdrive.MENU_NAMES), items)
    return dict(zip(xdrive.MENU_NAMES, items))


def frames_flash(display, client, timeout=10):
    """The indicator goes dark after a flash and lights again with the next frame."""
    display.wait_for(lambda s: xdrive.indicator_dark(s, client), timeout=timeout,
                     what="the indicator to go dark")
    display.wait_for(lambda s: xdrive.indicator_lit(s, client), timeout=timeout,
                     what="the indicator to light with a frame")


def no_frames(test, display, client, quiet=1.5):
    """The indicator stays dark: no frame arrives."""
    display.wait_for(lambda s: xdrive.indicator_dark(s, client), timeout=5,
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

    def picked(key):
        display.key(key)
        display.key("ctrl+a", "ctrl+c")
        time.sleep(0.25)
        return display.clipboard()

    def walk(key, seen):
        texts = [seen]
        while len(texts) < 20:
            text = picked(key)
            if text == texts[-1]:
                break
            texts.append(text)
        return texts

    down = walk("Down", None)
    up = walk("Up", down[-1])
    return list(reversed(up))


def message_box(display, title, timeout=15):
    """Waits for a top-level window titled `title`; returns its id."""
    return xdrive.poll(lambda: display.windows_named(title), bool, timeout, 0.1,
                       lambda _: f'timed out waiting for a window titled "{title}"')[0]


def exit_status(test, process, menu_items, display, want=0):
    """Exit ends the program with status `want`. Where another program's window had the
    focus, the first click may only give the main window the focus back: then once more."""
    display.click(*menu_items["Exit"])
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        display.click(*menu_items["Exit"])
    test.assertEqual(process.wait(timeout=20), want)
