#!/usr/bin/env bash
# Every figure in docs/performance.md, in one run:
#   bench/perf/run_all.sh                 as in the document
#   bench/perf/run_all.sh --quick         fewer runs and shorter readings, to try it out
# Builds the Release tree build-bench/ through bench/run.sh (which also runs the two existing
# benchmarks), then runs the harnesses of bench/perf/ from it. Exits non-zero when any of them
# reports a failure. Prints the machine's load before and after: the figures are only as steady
# as the machine they ran on.
set -euo pipefail
cd "$(dirname "$0")/../.."

runs=10
seconds=10
records=1000
if [ "${1:-}" = "--quick" ]; then
    runs=3
    seconds=3
    records=200
fi

echo "== Machine: $(nproc) cores, $(uname -r), load average $(cut -d' ' -f1-3 /proc/loadavg)"
status=0
bash bench/run.sh --seconds 3 || status=1

build=build-bench
echo
echo "== Receive path in-process: latency"
"$build/bench/perf/latency_figures" --records "$records" || status=1
echo
echo "== Receive path in-process: highest record rate without a lost byte"
"$build/bench/perf/rate_figures" --sim "$build/tools/simulator/vornel-sim" || status=1
echo
python3 bench/perf/program_figures.py --build "$build" --runs "$runs" --seconds "$seconds" ||
    status=1
echo
echo "== Load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
