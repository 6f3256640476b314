#!/usr/bin/env bash
# Vornel on real kernel serial drivers: boots a Debian 12 guest under qemu-system-x86_64 with
# software emulation, with two 16550 UARTs (ttyS0, ttyS1; ttyS2 and ttyS3 have none behind them)
# and an FTDI USB adapter (ttyUSB0), installs the Vornel package this checkout builds, and runs
# tests/guest/guest_checks.py there while the host feeds the devices and plugs the adapter out
# and in. Writes OUT/report.json and screenshots; exits non-zero when a check fails.
#
#   bash tools/guest-check.sh OUT
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: tools/guest-check.sh OUT" >&2; exit 2; }
mkdir -p "$1"
out=$(cd "$1" && pwd)
cd "$(dirname "$0")/.."
start=$(date +%s)
bash tools/install-deps.sh
bash tools/install-deps.sh qemu-system-x86

# The package, built as tools/package-check.sh builds it (the same bytes: its times are the
# commit's), and the counting program.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && epoch=$(git log -1 --format=%ct 2>/dev/null); then
    export SOURCE_DATE_EPOCH=$epoch
fi
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORNEL_BUILD_TESTS=OFF >/dev/null
cmake --build build-package
rm -f build-package/vornel_*.deb
# Packed in /tmp wherever the checkout is: CPack counts the staged folders' own sizes into the
# package's Installed-Size, and a folder's size is the file system's.
pack=$(mktemp -d /tmp/vornel-pack.XXXXXX)
(cd build-package && cpack -G DEB -B "$pack" >/dev/null)
mv "$pack"/vornel_*.deb build-package/
rm -rf "$pack"
debs=(build-package/vornel_*.deb)
[ -f build-test/build.ninja ] || cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVORNEL_BUILD_BENCH=ON -DVORNEL_BUILD_TESTS=ON >/dev/null
cmake --build build-test --target frame_count
image=$(bash tools/guest-image.sh "${debs[0]}")

# What each run hands the guest, on a read-only shared folder.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
chmod 755 "$stage"
cp "${debs[0]}" "$stage/vornel.deb"
cp tests/guest/init.sh "$stage/init"
cp build-test/tests/frame_count tests/guest/guest_checks.py \
    tests/driven/steps.py tests/driven/xdrive.py tests/driven/atspi.py \
    tests/driven/atspi_probe.py "$stage/"
rm -rf "$out/sent" "$out"/*.png "$out/report.json"
status=0
python3 tools/guest_host.py --image "$image" --stage "$stage" --out "$out" \
    --sim build-package/sim/vornel-sim || status=$?
echo "guest-check: $(($(date +%s) - start)) s in all; report in $out/report.json"
exit $status
