#!/usr/bin/env bash
# Installs what is missing, builds Vornel with its tests and runs them headless.
#   tools/test.sh             normal build, in build-test/
#   tools/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer, in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

dir=build-test
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNEL_BUILD_BENCH=ON)
if [ "${1:-}" = "--sanitize" ]; then
    dir=build-asan
    flags=(-DCMAKE_BUILD_TYPE=Debug -DVORNEL_SANITIZE=ON)
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
fi

# Formatting is part of the build's cleanliness.
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

cmake -S . -B "$dir" -G Ninja "${flags[@]}" -DVORNEL_BUILD_TESTS=ON >/dev/null
cmake --build "$dir"
cd "$dir"
QT_QPA_PLATFORM=offscreen ctest -j2 --output-on-failure --timeout 600
