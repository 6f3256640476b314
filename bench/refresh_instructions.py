"""Instructions per refresh of the raw data viewer, counted by callgrind: bench/refresh_bench
headless, its refresh and repaint 100 times with a 20-row frame unchanged, then 100 times with
one that changes in every row. Instructions, unlike seconds, are the same for the same binary
and input whatever else the machine is doing.

    python3 bench/refresh_instructions.py --build build-bench
"""

import argparse
import glob
import os
import subprocess
import tempfile

REFRESHES = 100


def dumps(out):
    """{part: instructions} from the client requests' dumps next to `out`."""
    parts = {}
    for path in glob.glob(out + ".*"):
        name, total = None, None
        for line in open(path):
            if line.startswith("desc: Trigger: Client Request: "):
                name = line.rsplit(": ", 1)[1].strip()
            elif line.startswith(("totals:", "summary:")):
                total = int(line.split()[1])
        if name is not None and total is not None:
            parts[name] = total
    return parts


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    out = os.path.join(tempfile.mkdtemp(), "callgrind.out")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}",
                    os.path.join(args.build, "bench", "refresh_bench")], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    parts = dumps(out)
    for part in ("unchanged", "changing"):
        print(f"refresh and repaint, 20-row frame {part:9}: "
              f"{parts[part] / REFRESHES:12,.0f} instructions each ({REFRESHES} refreshes)")


if __name__ == "__main__":
    main()
