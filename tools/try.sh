#!/usr/bin/env bash
# Tries Vornel without hardware: starts the device simulator on a pseudo-terminal and Vornel
# beside it, and says which path to type into "set Hardware". Options go to the simulator
# (bash tools/try.sh --format xml --rate 2); see build/sim/vornel-sim --help.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORNEL_BUILD_TESTS=OFF >/dev/null
cmake --build build

coproc SIM { exec build/sim/vornel-sim --format mixed "$@"; }
sim_pid=$SIM_PID
trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
read -r device <&"${SIM[0]}"

cat <<TEXT

  The simulated device is $device
  In Vornel: press a key to close the splash, choose "set Hardware", type
      $device
  into the port field ("Manual assigned COMM #"; it is also listed as port 1), choose 115200
  and click SET. The green square flashes with every record; "raw DAta" shows the latest one.

TEXT
# Only the simulated device is offered, so the machine's own serial ports stay untouched.
VORNEL_SERIAL_PORTS="$device" build/app/vornel
