"""Instructions per record on the receive path, counted by callgrind: the real Vornel under a
private Xvfb (or the bare Qt reader beside it), fed by vornel-sim at a steady 100 records a
second, counted for 10 s after "set Hardware". Instructions, unlike seconds, are the same for the
same binary and input whatever else the machine is doing.

    python3 bench/receive_instructions.py --build build-bench [--program vornel|bare] [--seconds 10]

A build with symbols (RelWithDebInfo) lets `callgrind_annotate OUT` name the functions.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "tests", "driven"))
import program_figures  # noqa: E402

RATE = 100  # records a second: slow enough that valgrind keeps up, so each read is one record


def callgrind(pid, command):
    subprocess.run(["callgrind_control", command, str(pid)], check=True,
                   stdout=subprocess.DEVNULL)


def total_instructions(out):
    for line in open(out):
        if line.startswith("totals:"):
            return int(line.split()[1])
    raise RuntimeError("no totals in " + out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--program", choices=["vornel", "bare"], default="vornel")
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--out", help="the callgrind file to keep")
    args = parser.parse_args()
    out = args.out or os.path.join(tempfile.mkdtemp(), "callgrind.out")
    figures = program_figures.Figures(argparse.Namespace(build=args.build))
    try:
        sim, path = figures.simulator("--baud", "115200", "--rate", str(RATE), "--seed", "1")
        program = figures.vornel if args.program == "vornel" else figures.bare
        argv = [program] if args.program == "vornel" else [program, path]
        env = dict(figures.display.env, VORNEL_SERIAL_PORTS=path)
        child = figures.spawn(["valgrind", "--tool=callgrind", "--instr-atstart=no",
                               f"--callgrind-out-file={out}", *argv], env=env)
        if args.program == "vornel":
            d = figures.display
            d.wait_for(lambda s: not program_figures.xdrive.near(s.pixel(512, 384), (0, 0, 0), 8),
                       timeout=60, what="the splash")
            d.xdotool("mousemove", 512, 384)
            d.key("space")
            shot = d.wait_for(program_figures.xdrive.main_window_shown, timeout=60,
                              what="the main window")
            menu = dict(zip(program_figures.xdrive.MENU_NAMES,
                            program_figures.xdrive.menu_items(shot)))
            figures.set_hardware(menu, path)
        time.sleep(5)
        callgrind(child.pid, "--instr=on")
        time.sleep(args.seconds)
        callgrind(child.pid, "--instr=off")
        callgrind(child.pid, "--dump")
        time.sleep(1)
        dumps = sorted(f for f in os.listdir(os.path.dirname(out))
                       if f.startswith(os.path.basename(out) + "."))
        counted = total_instructions(os.path.join(os.path.dirname(out), dumps[-1]))
        records = RATE * args.seconds
        print(f"{args.program}: {counted:,} instructions in {args.seconds:.0f} s, "
              f"about {counted / records:,.0f} a record ({records:.0f} records)")
    finally:
        figures.close()


if __name__ == "__main__":
    main()
