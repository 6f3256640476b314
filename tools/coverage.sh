#!/usr/bin/env bash
# Line and branch coverage of the product code by the test suite:
#   bash tools/coverage.sh OUT
# builds with gcc's coverage instrumentation (in build-coverage/), runs the whole suite headless,
# and writes OUT/index.html (the report, file by file) and OUT/summary.txt (lines and branches per
# folder: capture/, serial/, forms/, platform/, app/, sim/). Branches are counted without those
# the compiler adds for exceptions it may throw and for code it never emits. The Windows-only
# files are not built on Linux and are left out. Not part of CI.
set -euo pipefail
if [ $# -ne 1 ] || [ -z "$1" ]; then
    echo "usage: bash tools/coverage.sh OUT" >&2
    exit 2
fi
out=$(realpath -m -- "$1")
cd "$(dirname "$0")/.."
root=$PWD
bash tools/install-deps.sh
bash tools/install-deps.sh gcovr

dir=build-coverage
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORNEL_BUILD_TESTS=ON \
    -DCMAKE_CXX_FLAGS="--coverage" -DCMAKE_EXE_LINKER_FLAGS="--coverage" >/dev/null
cmake --build "$dir"
find "$dir" -name '*.gcda' -delete
# A failing test still gives its coverage; the suite's own status is reported at the end.
status=0
(cd "$dir" && QT_QPA_PLATFORM=offscreen ctest -j2 --output-on-failure --timeout 600) || status=$?

mkdir -p "$out"
filters=()
for folder in capture serial forms platform app sim; do
    filters+=(--filter "$root/$folder/")
done
gcovr --root "$root" "$dir" "${filters[@]}" --exclude "$root/sim/tests/" \
    --exclude '.*_win\.(cpp|h)$' --exclude "$root/platform/windows_api.h" \
    --exclude-throw-branches --exclude-unreachable-branches \
    --html-details "$out/index.html" --json-summary "$out/summary.json" -j2 >/dev/null
python3 - "$out/summary.json" >"$out/summary.txt" <<'PY'
import json, sys
folders = ("capture", "serial", "forms", "platform", "app", "sim")
totals = {f: [0, 0, 0, 0] for f in folders}
for entry in json.load(open(sys.argv[1]))["files"]:
    folder = entry["filename"].split("/")[0]
    if folder in totals:
        t = totals[folder]
        t[0] += entry["line_covered"]; t[1] += entry["line_total"]
        t[2] += entry["branch_covered"]; t[3] += entry["branch_total"]
def pct(a, b):
    return f"{100 * a / b:5.1f}%" if b else "    -"
print(f"{'folder':10} {'lines':>17} {'branches':>17}")
for f in folders:
    lc, lt, bc, bt = totals[f]
    print(f"{f + '/':10} {pct(lc, lt)} {lc:4}/{lt:<5} {pct(bc, bt)} {bc:4}/{bt:<5}")
PY
cat "$out/summary.txt"
echo "coverage: $out/index.html"
if [ "$status" -ne 0 ]; then
    echo "coverage: some tests failed (ctest status $status)" >&2
    exit "$status"
fi
