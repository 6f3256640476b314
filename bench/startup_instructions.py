"""Where start-up goes, counted by callgrind: instructions from the start of a program to the
end of its first window's first paint (the first QWidgetRepaintManager::paintAndFlush, when the
pixels are handed to the X server), on a private Xvfb: Vornel's splash, or the minimal Qt
window. Instructions, unlike milliseconds, are the same for the same binaries and input whatever
else the machine is doing.

    python3 bench/startup_instructions.py --build build-bench [--program vornel|minimal]
                                          [--vornel PATH] [--keep OUT]

The count stops at the dump callgrind makes on leaving the first paintAndFlush. The table splits
it by what main does, in order (each row the instructions of that call, whatever it calls), and
then names what the main kinds of work cost inside them, wherever they ran: fonts looked up and
loaded, pictures decoded, the style made, the first paint. A row whose function was not called
shows 0.
"""

import argparse
import glob
import os
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "driven"))
from xdrive import Display  # noqa: E402

END = "QWidgetRepaintManager::paintAndFlush"

# (label, function name as callgrind_annotate prints it, up to the argument list), in the order
# main calls them. What is not listed is the rest of main.
SEQUENCE = {
    "vornel": [
        ("QApplication made (platform plug-in, X connection)", "QApplication::QApplication"),
        ("application font (font database)", "vornel::configureApplication"),
        ("main window built (frmMain)", "vornel::frmMain::frmMain"),
        ("splash built (frmSplash)", "vornel::frmSplash::frmSplash"),
        ("splash shown, up to its first paint", "QDialog::exec"),
    ],
    "minimal": [
        ("QApplication made (platform plug-in, X connection)", "QApplication::QApplication"),
        ("window shown, up to its first paint", "QCoreApplication::exec"),
    ],
}
KINDS = [
    ("fonts: families looked up (QFontDatabase::hasFamily)", "QFontDatabase::hasFamily"),
    ("fonts: font database filled (fontconfig)", "QFontDatabasePrivate::ensureFontDatabase"),
    ("fonts: faces loaded (QFontDatabasePrivate::load)", "QFontDatabasePrivate::load"),
    ("pictures decoded (QImageReader::read)", "QImageReader::read"),
    ("style made (QApplication::style)", "QApplication::style"),
    ("widgets polished by the style (QWidget::ensurePolished)", "QWidget::ensurePolished"),
    ("first paint (paintAndFlush)", END),
    ("libraries and plug-ins opened later (dlopen)", "dlopen"),
]


def inclusive(out):
    """{function name: inclusive instructions} of a callgrind file, with the total."""
    text = subprocess.run(["callgrind_annotate", "--inclusive=yes", "--threshold=100", out],
                          capture_output=True, text=True, check=True).stdout
    costs = {}
    total = 0
    for line in text.splitlines():
        m = re.match(r"\s*([\d,]+)\s+(?:\([^)]*\)\s+)?(.*)$", line)
        if not m:
            continue
        value = int(m.group(1).replace(",", ""))
        rest = m.group(2)
        if rest.startswith("PROGRAM TOTALS"):
            total = value
            continue
        # "file:function [object]"; a recursive call's name ends in 'N.
        name = rest.split(" [", 1)[0]
        name = name.split(":", 1)[1] if ":" in name.split("(", 1)[0] else name
        name = name.split("(", 1)[0].strip()
        if re.search(r"'\d+$", name):
            continue
        costs[name] = max(costs.get(name, 0), value)
    return total, costs


def cost(costs, function):
    # Qt's exported names and ours alike, with or without the versioned suffix dlopen has.
    return max((v for k, v in costs.items()
                if k == function or k.startswith(function + "@")), default=0)


def count(program, argv, env, keep):
    out_dir = tempfile.mkdtemp()
    out = os.path.join(out_dir, "callgrind.out")
    display = Display()
    try:
        child = subprocess.Popen(
            ["valgrind", "--tool=callgrind", f"--dump-after={END}*",
             f"--callgrind-out-file={out}", *argv],
            env=dict(display.env, **env), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        first = out + ".1"
        deadline = time.monotonic() + 120
        while not os.path.exists(first) or os.path.getsize(first) == 0:
            if time.monotonic() > deadline or child.poll() is not None:
                raise RuntimeError(f"{program}: no first paint under callgrind")
            time.sleep(0.2)
        time.sleep(2)  # the dump is written in one go; give it time to finish
        child.terminate()
        child.wait(60)
    finally:
        display.close()
    if keep:
        subprocess.run(["cp", first, keep], check=True)
    total, costs = inclusive(first)
    for path in glob.glob(out + "*"):
        os.remove(path)
    return total, costs


def report(program, total, costs):
    main = cost(costs, "main")
    print(f"== {program}: {total:,} instructions from the start to the end of the first paint")
    threads = cost(costs, "start_thread")
    rows = [("before main (libraries loaded and linked)", total - main - threads),
            ("other threads (Qt's: X events, D-Bus, pictures scaled)", threads)]
    listed = 0
    for label, function in SEQUENCE[program]:
        value = cost(costs, function)
        listed += value
        rows.append((label, value))
    rows.append(("the rest of main", main - listed))
    for label, value in rows:
        print(f"  {label:56} {value:14,} {100.0 * value / total:6.1f}%")
    print("  of which, wherever it ran:")
    for label, function in KINDS:
        value = cost(costs, function)
        print(f"    {label:54} {value:14,} {100.0 * value / total:6.1f}%")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--program", choices=["vornel", "minimal", "both"], default="both")
    parser.add_argument("--vornel", help="another Vornel binary to count (default: the build's)")
    parser.add_argument("--keep", help="a folder to keep the callgrind files in")
    args = parser.parse_args()
    far, near = os.openpty()  # a silent device for Vornel's port list
    try:
        programs = ["vornel", "minimal"] if args.program == "both" else [args.program]
        for program in programs:
            if program == "vornel":
                argv = [args.vornel or os.path.join(args.build, "app", "vornel")]
                env = {"VORNEL_SERIAL_PORTS": os.ttyname(near)}
            else:
                argv = [os.path.join(args.build, "bench", "minimal_window")]
                env = {}
            keep = os.path.join(args.keep, f"{program}.callgrind") if args.keep else None
            total, costs = count(program, argv, env, keep)
            report(program, total, costs)
    finally:
        os.close(far)
        os.close(near)


if __name__ == "__main__":
    main()
