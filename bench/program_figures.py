"""Figures of the real Vornel program on a private Xvfb screen, driven with xdotool as the driven
test drives it (tests/driven/xdrive.py), beside its yardsticks in the same run:

  1. start-up: the time from starting the program to its splash being drawn, beside a minimal
     Qt Widgets window (bench/first_paint reads the screen; see first_paint.cpp);
  2. memory: resident set (/proc/<pid>/status) with the raw data viewer open and records arriving,
     beside the minimal window; and the memory kept by each setup dialog, raw data window and
     About box opened and closed, beside plain Qt (bench/dialog_memory, headless and on Xvfb);
  3. CPU while idle, with the port open on a pseudo-terminal that sends nothing, beside picocom
     holding another such pseudo-terminal;
  4. CPU at a 115200 bit/s stream: vornel-sim --baud 115200 --rate 0 into Vornel, and the same
     into picocom, both at the same time.

CPU is read from /proc/<pid>/stat (utime + stime, in clock ticks of 10 ms) and, finer, from the
run time of every thread in /proc/<pid>/task/*/schedstat (ns). Read calls per second come from
syscr in /proc/<pid>/io (every read-type system call, the device's and any other).

    python3 bench/program_figures.py --build build-bench [--runs 10] [--seconds 10]
"""

import argparse
import glob
import os
import signal
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "driven"))
import xdrive  # noqa: E402
from xdrive import Display  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")
SCREEN = (1024, 768)
SPLASH = (xdrive.px(7530), xdrive.px(5250))  # the splash's client area, centred
PEER = (400, 300)                             # minimal_window, centred


def centred(size):
    return ((SCREEN[0] - size[0]) // 2, (SCREEN[1] - size[1]) // 2, *size)


def stat_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def run_ns(pid):
    total = 0
    for path in glob.glob(f"/proc/{pid}/task/*/schedstat"):
        try:
            with open(path) as f:
                total += int(f.read().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            pass  # a thread that ended meanwhile
    return total


def status_kb(pid):
    values = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, rest = line.partition(":")
            if rest.strip().endswith("kB"):
                values[key] = int(rest.split()[0])
    return values


def smaps_by_mapping(pid):
    """{mapping: (Rss kB, anonymous kB)} from /proc/<pid>/smaps, each mapped file (a library, a
    font, the program) and each kind of anonymous memory ([heap], [stack], other anonymous)
    added up over its mappings."""
    totals = {}
    name = None
    with open(f"/proc/{pid}/smaps") as f:
        for line in f:
            fields = line.split()
            if "-" in fields[0] and ":" not in fields[0]:
                path = fields[5] if len(fields) > 5 else ""
                name = path if path else "[anonymous]"
                if path.startswith("/memfd:") or path.startswith("/SYSV"):
                    name = "[shared memory]"
            elif fields[0] in ("Rss:", "Anonymous:"):
                rss, anon = totals.get(name, (0, 0))
                kb = int(fields[1])
                totals[name] = (rss + kb, anon) if fields[0] == "Rss:" else (rss, anon + kb)
    return totals


def print_smaps(columns, top=40):
    """The resident set of each program by mapping, side by side: `columns` is a list of
    (heading, smaps_by_mapping result). Rows are the mappings, largest first."""
    names = set()
    for _, totals in columns:
        names |= set(totals)
    rows = sorted(names, key=lambda n: -max(t.get(n, (0, 0))[0] for _, t in columns))
    print(f"{'Rss kB by mapping':60}" + "".join(f"{h:>16}" for h, _ in columns))
    shown = rows[:top]
    for n in shown:
        label = os.path.basename(n) if n.startswith("/") else n
        print(f"{label[:60]:60}" + "".join(f"{t.get(n, (0, 0))[0]:16d}" for _, t in columns))
    rest = rows[top:]
    if rest:
        print(f"{'(the other mappings)':60}" + "".join(
            f"{sum(t.get(n, (0, 0))[0] for n in rest):16d}" for _, t in columns))
    print(f"{'all':60}" + "".join(f"{sum(v[0] for v in t.values()):16d}" for _, t in columns))
    print(f"{'of it anonymous':60}" + "".join(
        f"{sum(v[1] for v in t.values()):16d}" for _, t in columns))


def io_counter(pid, name):
    with open(f"/proc/{pid}/io") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key == name:
                return int(value)
    raise RuntimeError(f"no {name} in /proc/{pid}/io")


class CpuWindow:
    """CPU used by some processes over the same stretch of time."""

    def __init__(self, pids):
        self.pids = pids
        self.start = time.monotonic()
        self.ticks = {p: stat_ticks(p) for p in pids}
        self.ns = {p: run_ns(p) for p in pids}

    def finish(self):
        seconds = time.monotonic() - self.start
        result = {}
        for p in self.pids:
            ticks = stat_ticks(p) - self.ticks[p]
            ns = run_ns(p) - self.ns[p]
            result[p] = (ticks, 100.0 * ticks / TICKS / seconds, 100.0 * ns / 1e9 / seconds)
        return seconds, result


class Figures:
    def __init__(self, args):
        self.args = args
        self.vornel = getattr(args, "vornel", None) or os.path.join(args.build, "app", "vornel")
        self.sim = os.path.join(args.build, "sim", "vornel-sim")
        self.peer = os.path.join(args.build, "bench", "minimal_window")
        self.peer_program = os.path.join(args.build, "bench", "minimal_program")
        self.probe = os.path.join(args.build, "bench", "first_paint")
        self.dialogs = os.path.join(args.build, "bench", "dialog_memory")
        self.bare = os.path.join(args.build, "bench", "bare_reader")
        self.display = Display(*SCREEN)
        self.children = []
        self.ptys = []
        self.failed = False

    def close(self):
        for child in reversed(self.children):
            if child.poll() is None:
                child.terminate()
                try:
                    child.wait(10)
                except subprocess.TimeoutExpired:
                    child.kill()
                    child.wait()
        for fd in self.ptys:
            os.close(fd)
        self.display.close()

    def spawn(self, argv, **kwargs):
        kwargs.setdefault("stderr", subprocess.DEVNULL)
        child = subprocess.Popen(argv, **kwargs)
        self.children.append(child)
        return child

    def silent_pty(self):
        """A pseudo-terminal that never sends anything; its path."""
        far, near = os.openpty()
        self.ptys += [far, near]
        return os.ttyname(near)

    def unplug(self, path):
        """Closes both ends of a silent pseudo-terminal: its device goes away."""
        for i in range(0, len(self.ptys), 2):
            far, near = self.ptys[i], self.ptys[i + 1]
            if os.ttyname(near) == path:
                os.close(far)
                os.close(near)
                del self.ptys[i:i + 2]
                return
        raise KeyError(path)

    def simulator(self, *options):
        sim = self.spawn([self.sim, "--wait-reader", *options], stdout=subprocess.PIPE,
                         text=True)
        return sim, sim.stdout.readline().strip()

    def start_vornel(self, ports):
        env = dict(self.display.env, VORNEL_SERIAL_PORTS=ports)
        return self.spawn([self.vornel], env=env)

    def close_splash(self):
        d = self.display
        d.wait_for(lambda s: not xdrive.near(s.pixel(512, 384), (0, 0, 0), 8), what="the splash")
        d.xdotool("mousemove", 512, 384)
        d.key("space")
        shot = d.wait_for(xdrive.main_window_shown, what="the main window")
        items = xdrive.menu_items(shot)
        if len(items) != len(xdrive.MENU_NAMES):
            raise RuntimeError(f"menu items not found: {items}")
        return dict(zip(xdrive.MENU_NAMES, items))

    def set_hardware(self, menu, path):
        xdrive.fill_setup_dialog(self.display, menu, path, "115200")
        xdrive.click_set(self.display)

    def start_picocom(self, path):
        # A session of its own (on SIGTERM it signals its whole process group) and a stdin that
        # stays silent (at end of file on stdin it quits).
        picocom = self.spawn(["picocom", "--quiet", "--noreset", "--nolock", "--baud", "115200",
                              path], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                             start_new_session=True)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            fds = glob.glob(f"/proc/{picocom.pid}/fd/*")
            if any(os.path.realpath(fd) == path for fd in fds):
                return picocom
            time.sleep(0.01)
        raise RuntimeError("picocom did not open " + path)

    # 1. Start-up.
    def startup(self):
        print(f"== Start to splash drawn: {self.args.runs} runs each, taken in turn")
        env = dict(self.display.env, VORNEL_SERIAL_PORTS=self.silent_pty())
        rect = lambda r: ",".join(str(v) for v in r)  # noqa: E731
        other = getattr(self.args, "compare", None)
        also = ["--target", "Vornel-compared", rect(centred(SPLASH)), other] if other else []
        subprocess.run([self.probe, "--runs", str(self.args.runs),
                        "--target", "Vornel", rect(centred(SPLASH)), self.vornel, *also,
                        "--target", "minimal-qt-window", rect(centred(PEER)), self.peer],
                       env=env, check=True)

    def resident_once(self):
        """One reading of the resident sets: Vornel with the viewer open and records arriving,
        then its yardsticks started beside it. Returns (status of each, smaps of each)."""
        sim, path = self.simulator("--rate", "10", "--seed", "3")
        vornel = self.start_vornel(path)
        menu = self.close_splash()
        self.set_hardware(menu, path)
        self.display.wait_for(xdrive.indicator_lit, what="a frame")
        time.sleep(2)
        before = status_kb(vornel.pid)
        rx, ry = xdrive.RAW_CLIENT
        empty = self.display.screenshot().region_colours(rx + 20, ry + 30, 300, 12)
        self.display.click(*menu["raw DAta"])
        self.display.wait_for(
            lambda s: len(s.region_colours(rx + 20, ry + 30, 300, 12) - empty) > 4,
            timeout=5, what="the raw data window showing a frame")
        time.sleep(3)
        with_raw = status_kb(vornel.pid)
        vornel_maps = smaps_by_mapping(vornel.pid)

        peer = self.spawn([self.peer], env=self.display.env)
        sim_peer, path_peer = self.simulator("--rate", "10", "--seed", "3")
        program = self.spawn([self.peer_program, path_peer], env=self.display.env)
        time.sleep(3)
        status = {"main": before, "viewer": with_raw, "program": status_kb(program.pid),
                  "window": status_kb(peer.pid)}
        maps = {"viewer": vornel_maps, "program": smaps_by_mapping(program.pid),
                "window": smaps_by_mapping(peer.pid)}
        for p in (peer, program, sim_peer, vornel, sim):
            p.terminate()
            p.wait(10)
        return status, maps

    # 2. Memory with the raw data viewer open.
    def memory(self):
        runs = self.args.repeat
        print(f"\n== Memory: resident set with the raw data viewer open, records arriving; "
              f"{runs} run(s), each program started afresh")
        readings = [self.resident_once() for _ in range(runs)]
        status, maps = readings[-1]

        def row(name, v):
            print(f"{name:38} {v['VmRSS'] / 1024:7.1f} {v['RssAnon'] / 1024:8.1f} "
                  f"{v['RssFile'] / 1024:8.1f} {v['RssShmem'] / 1024:8.1f} {v['VmHWM'] / 1024:8.1f}")
        print(f"{'MiB, the last run':38} {'VmRSS':>7} {'RssAnon':>8} {'RssFile':>8} "
              f"{'RssShmem':>8} {'VmHWM':>8}")
        row("Vornel, main window, port open", status["main"])
        row("Vornel, raw data viewer open (+3 s)", status["viewer"])
        row("minimal Qt program, its two windows", status["program"])
        row("minimal Qt window", status["window"])
        print(f"{'VmRSS MiB over the runs':38} {'median':>7} {'min':>8} {'max':>8}")
        for key, name in (("viewer", "Vornel, raw data viewer open"),
                          ("program", "minimal Qt program"), ("window", "minimal Qt window")):
            values = [r[0][key]["VmRSS"] / 1024 for r in readings]
            print(f"{name:38} {statistics.median(values):7.1f} {min(values):8.1f} "
                  f"{max(values):8.1f}")
        for key, name in (("program", "the minimal Qt program"), ("window", "the minimal Qt window")):
            ratios = [r[0]["viewer"]["VmRSS"] / r[0][key]["VmRSS"] for r in readings]
            print(f"Vornel with the viewer open / {name}: median {statistics.median(ratios):.2f}x "
                  f"(runs {min(ratios):.2f}x to {max(ratios):.2f}x)")
        print()
        print_smaps([("Vornel, viewer", maps["viewer"]), ("minimal program", maps["program"]),
                     ("minimal window", maps["window"])])
        if self.args.only == "memory-resident":
            return

        # Each window opened and closed 1,000 times: headless, then on the X server.
        ports = self.silent_pty()
        for name, env in (("headless", dict(os.environ, QT_QPA_PLATFORM="offscreen")),
                          ("under Xvfb", dict(self.display.env, QT_QPA_PLATFORM="xcb"))):
            print(f"\n== Memory kept by each window opened again and again, {name}")
            env["VORNEL_SERIAL_PORTS"] = ports
            sys.stdout.flush()
            # It fails when a window's resident set grows: the other figures are still taken.
            if subprocess.run([self.dialogs, "--dialogs", "1000"], env=env,
                              stderr=subprocess.DEVNULL).returncode != 0:
                self.failed = True

    # 3 and 4. CPU idle with the port open, then at a 115200 bit/s stream, beside picocom.
    def cpu(self):
        seconds = self.args.seconds
        idle_path = self.silent_pty()
        vornel = self.start_vornel(idle_path)
        menu = self.close_splash()
        self.set_hardware(menu, idle_path)
        picocom_idle = self.start_picocom(self.silent_pty())
        time.sleep(2)
        print(f"\n== CPU while idle, port open on a silent pseudo-terminal: {seconds:.0f} s")
        window = CpuWindow([vornel.pid, picocom_idle.pid])
        time.sleep(seconds)
        took, cpu = window.finish()
        print(f"{'process':12} {'ticks':>6} {'CPU (stat)':>11} {'CPU (schedstat)':>16}")
        for name, pid in (("Vornel", vornel.pid), ("picocom", picocom_idle.pid)):
            ticks, share, fine = cpu[pid]
            print(f"{name:12} {ticks:6d} {share:10.2f}% {fine:15.3f}%")
        picocom_idle.terminate()
        picocom_idle.wait(10)

        # 3b. The device goes away; Vornel waits for it to come back, looking once a second.
        self.unplug(idle_path)
        time.sleep(2)
        if vornel.poll() is not None:
            raise RuntimeError("Vornel ended when its device went away")
        print(f"\n== CPU while waiting for the device to come back: {seconds:.0f} s")
        window = CpuWindow([vornel.pid])
        time.sleep(seconds)
        took, cpu = window.finish()
        ticks, share, fine = cpu[vornel.pid]
        print(f"{'process':12} {'ticks':>6} {'CPU (stat)':>11} {'CPU (schedstat)':>16}")
        print(f"{'Vornel':12} {ticks:6d} {share:10.2f}% {fine:15.3f}%")

        print(f"\n== CPU at 115200 bit/s (vornel-sim --baud 115200 --rate 0), "
              f"Vornel, a bare Qt reader and picocom at the same time: {seconds:.0f} s")
        sim_v, path_v = self.simulator("--baud", "115200", "--rate", "0", "--seed", "1")
        sim_b, path_b = self.simulator("--baud", "115200", "--rate", "0", "--seed", "1")
        sim_p, path_p = self.simulator("--baud", "115200", "--rate", "0", "--seed", "1")
        self.set_hardware(menu, path_v)
        bare = self.spawn([self.bare, path_b], env=dict(self.display.env))
        picocom = self.start_picocom(path_p)
        time.sleep(2)
        if bare.poll() is not None:
            raise RuntimeError("the bare reader did not start")
        sims = (sim_v, sim_b, sim_p)
        readers = (vornel, bare, picocom)
        xvfb = self.display.process.pid
        ratios = {"Vornel/bare Qt reader": [], "Vornel/picocom": [], "bare Qt reader/picocom": []}
        for reading in range(self.args.repeat):
            sent = {s.pid: io_counter(s.pid, "wchar") for s in sims}
            read_p = io_counter(picocom.pid, "rchar")
            calls = {p.pid: io_counter(p.pid, "syscr") for p in readers}
            window = CpuWindow([p.pid for p in readers] + [s.pid for s in sims] + [xvfb])
            time.sleep(seconds)
            took, cpu = window.finish()
            rate = {s.pid: (io_counter(s.pid, "wchar") - sent[s.pid]) / took for s in sims}
            picocom_read = (io_counter(picocom.pid, "rchar") - read_p) / took
            calls = {pid: (io_counter(pid, "syscr") - n) / took for pid, n in calls.items()}
            print(f"-- reading {reading + 1} of {self.args.repeat}, load average "
                  f"{open('/proc/loadavg').read().split()[0]}")
            print(f"{'process':22} {'ticks':>6} {'CPU (stat)':>11} {'CPU (schedstat)':>16}  "
                  "stream")
            rows = (("Vornel", vornel.pid, f"{rate[sim_v.pid]:.0f} B/s sent to it, "
                     f"{calls[vornel.pid]:.0f} read calls/s"),
                    ("bare Qt reader", bare.pid, f"{rate[sim_b.pid]:.0f} B/s sent to it, "
                     f"{calls[bare.pid]:.0f} read calls/s"),
                    ("picocom", picocom.pid,
                     f"{rate[sim_p.pid]:.0f} B/s sent to it, {picocom_read:.0f} B/s read, "
                     f"{calls[picocom.pid]:.0f} read calls/s"),
                    ("vornel-sim for Vornel", sim_v.pid, ""),
                    ("vornel-sim for bare", sim_b.pid, ""),
                    ("vornel-sim for picocom", sim_p.pid, ""),
                    ("Xvfb", xvfb, "the X server, drawing every window"))
            for name, pid, note in rows:
                ticks, share, fine = cpu[pid]
                print(f"{name:22} {ticks:6d} {share:10.2f}% {fine:15.3f}%  {note}")
            v, b, p = (cpu[r.pid][2] for r in readers)
            if p > 0 and b > 0:
                print(f"Vornel/picocom, CPU (schedstat): {v / p:.2f}x; bare Qt reader/picocom: "
                      f"{b / p:.2f}x; Vornel/bare Qt reader: {v / b:.2f}x")
                ratios["Vornel/bare Qt reader"].append(v / b)
                ratios["Vornel/picocom"].append(v / p)
                ratios["bare Qt reader/picocom"].append(b / p)
        if self.args.repeat > 1:
            print(f"Over the {self.args.repeat} readings of {seconds:.0f} s, CPU (schedstat):")
            for name, values in ratios.items():
                if values:
                    print(f"  {name:24} median {statistics.median(values):.2f}x "
                          f"(readings {min(values):.2f}x to {max(values):.2f}x)")
        if not self.display.wait_for(xdrive.indicator_lit, timeout=2, what="a frame"):
            raise RuntimeError("Vornel shows no frames")
        for p in (picocom, bare, *sims):
            p.terminate()
            p.wait(10)
        vornel.send_signal(signal.SIGTERM)
        if vornel.wait(15) != 0:
            raise RuntimeError("Vornel did not end cleanly")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, help="the build folder, e.g. build-bench")
    parser.add_argument("--runs", type=int, default=10, help="start-up runs of each program")
    parser.add_argument("--seconds", type=float, default=10, help="length of each CPU reading")
    parser.add_argument("--repeat", type=int, default=1,
                        help="readings of the resident set and of the CPU at 115200 bit/s")
    parser.add_argument("--only", choices=["startup", "memory", "memory-resident", "cpu"])
    parser.add_argument("--vornel", help="another Vornel binary to measure (default: the build's)")
    parser.add_argument("--compare", help="start-up: another Vornel binary timed in the same run")
    args = parser.parse_args()
    figures = Figures(args)
    try:
        for section in ("startup", "memory", "cpu"):
            if args.only in (None, section) or (section == "memory" and
                                                 args.only == "memory-resident"):
                getattr(figures, section)()
                sys.stdout.flush()
    finally:
        figures.close()
    sys.exit(1 if figures.failed else 0)


if __name__ == "__main__":
    main()
