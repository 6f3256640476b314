#!/usr/bin/env bash
# Installs what is missing, builds Vornel and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORNEL_BUILD_TESTS=OFF >/dev/null
cmake --build build
exec build/app/vornel "$@"
