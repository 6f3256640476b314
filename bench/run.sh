#!/usr/bin/env bash
# Builds the benchmarks (Release, in build-bench/) and runs them.
#   bench/run.sh                     the frame assembler and the receive path benchmarks
#   bench/run.sh --seconds 5         the same, with 5 s of writing per reader instead of 3
#   bench/run.sh --figures           every figure in docs/performance.md, about 12 minutes
#   bench/run.sh --figures --quick   fewer runs and shorter readings, to try it out
# Exits non-zero when any of them reports a failure. With --figures it prints the machine's load
# before and after: the figures are only as steady as the machine they ran on.
set -euo pipefail
cd "$(dirname "$0")/.."

figures=false
quick=false
seconds=3
while [ $# -gt 0 ]; do
    case "$1" in
        --figures) figures=true ;;
        --quick) quick=true ;;
        --seconds)
            seconds=$2
            shift
            ;;
        *)
            echo "usage: bench/run.sh [--seconds S] [--figures [--quick]]" >&2
            exit 2
            ;;
    esac
    shift
done

bash tools/install-deps.sh
if $figures; then
    # Instructions are counted with callgrind.
    bash tools/install-deps.sh valgrind
fi
build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORNEL_BUILD_BENCH=ON \
    -DVORNEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2

status=0
if $figures; then
    echo "== Machine: $(nproc) cores, $(uname -r), load average $(cut -d' ' -f1-3 /proc/loadavg)"
fi
echo
echo "== Frame assembler against the literal rule"
# Repetitions of the benchmarks run in random order, so that a change in the machine's load
# falls on both assemblers alike.
"$build/bench/frame_assembler_bench" --benchmark_enable_random_interleaving=true || status=1
echo
echo "== Receive path against picocom"
"$build/bench/receive_path_bench" --seconds "$seconds" || status=1
if ! $figures; then
    exit $status
fi

runs=10
reading=20
repeat=10
records=1000
if $quick; then
    runs=3
    reading=3
    repeat=2
    records=200
fi
echo
echo "== Receive path in-process: latency"
"$build/bench/latency_figures" --records "$records" || status=1
echo
echo "== Receive path in-process: highest record rate without a lost byte"
"$build/bench/rate_figures" --sim "$build/sim/vornel-sim" || status=1
echo
python3 bench/program_figures.py --build "$build" --runs "$runs" --seconds "$reading" \
    --repeat "$repeat" || status=1
echo
echo "== Instructions: start-up to the first paint, the receive path, the viewer's refresh"
python3 bench/startup_instructions.py --build "$build" || status=1
python3 bench/receive_instructions.py --build "$build" || status=1
python3 bench/receive_instructions.py --build "$build" --program bare || status=1
python3 bench/refresh_instructions.py --build "$build" || status=1
echo
echo "== Load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
