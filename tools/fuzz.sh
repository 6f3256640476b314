#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz/ with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, in build-fuzz/) and runs each for a bounded time, starting from its
# seed corpus in tests/fuzz/corpus/:
#   bash tools/fuzz.sh [--seconds N] [TARGET...]     N seconds a target (default 60)
# Prints the runs and executions per second of each target. An input that breaks an invariant or
# crashes a target fails the run; it is kept in build-fuzz/crashes/ (add it to the target's
# corpus once the fault is mended, so that it stays a regression case).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
targets=()
while [ $# -gt 0 ]; do
    case $1 in
        --seconds) seconds=$2; shift 2 ;;
        --seconds=*) seconds=${1#*=}; shift ;;
        -*) echo "usage: bash tools/fuzz.sh [--seconds N] [TARGET...]" >&2; exit 2 ;;
        *) targets+=("$1"); shift ;;
    esac
done
[ ${#targets[@]} -gt 0 ] || targets=(frame_assembler setup_fields lock_file port_list sim_options)

bash tools/install-deps.sh clang-14 libclang-rt-14-dev cmake ninja-build qt6-base-dev \
    qt6-serialport-dev

dir=build-fuzz
cmake -S tests/fuzz -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_COMPILER=clang++-14 \
    >/dev/null
cmake --build "$dir" -j2
crashes=$PWD/$dir/crashes
mkdir -p "$crashes"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
report=()
for target in "${targets[@]}"; do
    seeds=tests/fuzz/corpus/$target
    if [ ! -d "$seeds" ]; then
        echo "fuzz: no target $target (no $seeds)" >&2
        exit 2
    fi
    # New inputs go to a corpus of this run only; the seeds in the repository stay as they are.
    mkdir -p "$work/$target"
    log=$work/$target.log
    status=0
    "$dir/${target}_fuzz" -max_len=4096 -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$crashes/$target-" "$work/$target" "$seeds" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    report+=("$(printf '%-16s %10s runs %8s exec/s' "$target" "${runs:-?}" "${rate:-?}")")
    if [ "$status" -ne 0 ]; then
        grep -E 'invariant broken|ERROR|SUMMARY|Test unit written' "$log" >&2 || tail -20 "$log" >&2
        failed+=("$target")
    fi
done
printf '%s\n' "${report[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: FAILED: ${failed[*]} (inputs in $crashes)" >&2
    exit 1
fi
echo "fuzz: ${#targets[@]} targets, $seconds s each, no invariant broken"
