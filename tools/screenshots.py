"""Takes the pictures of Vornel's windows in docs/ from the real program under Xvfb, managed by
Debian's metacity window manager so that they show the title bars a user sees. A
pseudo-terminal plays the device, so that the records arrive when the pictures need them.

    python3 tools/screenshots.py --vornel build/app/vornel --out docs
"""

import argparse
import os
import subprocess
import sys
import time
import tty

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "driven"))
import xdrive  # noqa: E402


def changed_box(before, after, margin=0):
    """The smallest box holding every pixel that differs between two screenshots."""
    xs, ys = [], []
    for y in range(0, after.height, 2):
        row_a = after.data[y * after.width * 3:(y + 1) * after.width * 3]
        row_b = before.data[y * before.width * 3:(y + 1) * before.width * 3]
        if row_a == row_b:
            continue
        ys.append(y)
        for x in range(after.width):
            if row_a[x * 3:x * 3 + 3] != row_b[x * 3:x * 3 + 3]:
                xs.append(x)
    x0, y0 = max(min(xs) - margin, 0), max(min(ys) - margin, 0)
    x1, y1 = min(max(xs) + margin + 1, after.width), min(max(ys) + margin + 2, after.height)
    return x0, y0, x1 - x0, y1 - y0


def frame_box(display, caption, margin=0):
    """The box of the window named `caption` with the frame the window manager gave it."""
    window = subprocess.run(["xdotool", "search", "--name", f"^{caption}$"], env=display.env,
                            capture_output=True, text=True).stdout.split()[0]
    info = subprocess.run(["xwininfo", "-id", window], env=display.env, capture_output=True,
                          text=True).stdout
    field = {k.strip(): v.strip() for k, _, v in (line.partition(":") for line in
                                                  info.splitlines())}
    x, y = int(field["Absolute upper-left X"]), int(field["Absolute upper-left Y"])
    w, h = int(field["Width"]), int(field["Height"])
    extents = display.xprop("-id", window, "_NET_FRAME_EXTENTS").partition("=")[2]
    left, right, top, bottom = (int(v) for v in extents.split(",")) if extents else (0,) * 4
    return (x - left - margin, y - top - margin, w + left + right + 2 * margin,
            h + top + bottom + 2 * margin)


def save(shot, box, path):
    subprocess.run(["convert", "ppm:-", path], input=shot.crop_to_ppm(*box), check=True)
    print("wrote", path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--vornel", required=True)
    parser.add_argument("--out", default="docs")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)

    d = xdrive.Display(window_manager=True)
    far, near_end = os.openpty()
    tty.setraw(near_end)
    device = os.ttyname(near_end)
    vornel = subprocess.Popen([args.vornel], env=dict(d.env, VORNEL_SERIAL_PORTS=device))
    try:
        empty = d.screenshot()
        splash = d.wait_for(lambda s: not xdrive.near(s.pixel(512, 384), (0, 0, 0), 8))
        time.sleep(0.5)
        splash = d.screenshot()
        save(splash, changed_box(empty, splash), os.path.join(args.out, "splash.png"))

        d.xdotool("mousemove", 512, 384)
        d.key("space")
        shot = d.wait_for(xdrive.main_window_shown)
        d.xdotool("mousemove", 1000, 10)
        time.sleep(0.3)
        shot = d.screenshot()
        main_box = changed_box(empty, shot, margin=6)
        save(shot, main_box, os.path.join(args.out, "main-window.png"))
        menu = dict(zip(xdrive.MENU_NAMES, xdrive.menu_items(shot)))

        xdrive.fill_setup_dialog(d, menu, device, "115200")
        d.xdotool("mousemove", 1000, 10)
        time.sleep(0.3)
        shot = d.screenshot()
        save(shot, frame_box(d, "Basic COMM Setup"), os.path.join(args.out, "setup-dialog.png"))
        xdrive.click_set(d)

        # The viewer, made taller so that more than its first rows show, with a frame of
        # several records that arrived in one piece.
        d.click(*menu["raw DAta"])
        time.sleep(0.5)
        window = subprocess.run(["xdotool", "search", "--name", "RAW data string"], env=d.env,
                                capture_output=True, text=True).stdout.split()[0]
        d.xdotool("windowsize", window, xdrive.RAW_SIZE[0], 200)
        os.write(far, b"[12.3,45,6]\r\n")
        time.sleep(0.3)
        burst = b"".join(b"[<rec><t>%d.%d</t><h>%d</h><n>%d</n></rec>]\r\n"
                         % (12 + i % 3, (7 * i) % 10, 40 + i, i) for i in range(6))
        os.write(far, burst + b"[12.4,46,7]\r\n")
        time.sleep(1.5)
        d.xdotool("mousemove", 1000, 10)
        time.sleep(0.3)
        shot = d.screenshot()
        save(shot, frame_box(d, "RAW data string"), os.path.join(args.out, "raw-data.png"))
        d.click(xdrive.RAW_CLIENT[0] + 20, xdrive.RAW_CLIENT[1] - 10)  # "EXIT"
        time.sleep(0.5)

        d.click(*menu["About"])
        time.sleep(1.0)
        d.xdotool("mousemove", 1000, 10)
        time.sleep(0.3)
        shot = d.screenshot()
        save(shot, frame_box(d, "About Vornel"), os.path.join(args.out, "about.png"))
        d.key("Escape")
        time.sleep(0.3)
        d.click(*menu["Exit"])
        vornel.wait(timeout=10)
    finally:
        if vornel.poll() is None:
            vornel.kill()
        os.close(far)
        os.close(near_end)
        d.close()


if __name__ == "__main__":
    main()
