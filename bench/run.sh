#!/usr/bin/env bash
# Builds the benchmarks (Release, in build-bench/) and runs both.
#   bench/run.sh                 3 s of writing per reader in the receive path benchmark
#   bench/run.sh --seconds 5     5 s instead
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORNEL_BUILD_BENCH=ON \
    -DVORNEL_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j2

status=0
echo
echo "== Frame assembler against the literal rule"
# Repetitions of the benchmarks run in random order, so that a change in the machine's load
# falls on both assemblers alike.
build-bench/bench/frame_assembler_bench --benchmark_enable_random_interleaving=true || status=1
echo
echo "== Receive path against picocom"
build-bench/bench/receive_path_bench "$@" || status=1
exit $status
