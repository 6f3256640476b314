#!/usr/bin/env bash
# The Windows program, built and used under Wine on Linux:
#  1. Build: tools/windows-build.sh makes the folder a Windows user runs, the zip and the
#     installer; beside them the test programs (tests/windows/CMakeLists.txt) and, for Linux, the
#     pseudo-terminal library for Wine (tests/windows/pty_modem_lines.c) and the screen reader
#     that times start-up (bench/first_paint.cpp).
#  2. Under Wine, headless: the registry and the device probe (tests/windows/wine_test.cpp)
#     against Wine's registry and COM ports mapped to pseudo-terminals; the program's version
#     information.
#  3. Under Wine on an Xvfb screen: the program driven as a person would, with the steps of the
#     Linux driven test (tests/windows/wine_driven.py), its windows photographed into
#     docs/windows/ (or the folder VORNEL_WINDOWS_DOCS names), read through UI Automation, on
#     scaled screens, from the zip and the installer in folders users pick; and its start-up
#     timed beside a minimal Qt window built with the same kit.
# Wine never sees the machine's own serial devices (ttyS0 is its console): it runs in a private
# mount namespace whose /dev has no serial devices, and the COM ports it offers are mapped
# explicitly (and checked afterwards).
# Installs what it needs (about 1.2 GB), prints the time of each step, exits non-zero on failure.
set -euo pipefail
cd "$(dirname "$0")/.."

# COM ports that the Wine test maps to pseudo-terminals, and one mapped to a device that has gone
# (a link to nothing: Wine still opens such a port, which must then not count as there). The rest
# of COM1 to COM8 stay out of the mapping, and Wine's own search for serial devices finds none in
# the namespace's /dev.
mapped_ports=(2 5)
gone_port=7

# --- Inside the mount namespace: /dev replaced, then Wine ------------------------------------
if [ "${1:-}" = "--in-namespace" ]; then
    work=$2
    root=$3
    docs=$4
    # A /dev of our own: the devices Wine needs and the pseudo-terminals, no serial ports.
    dev=$work/dev
    mkdir -p "$dev"
    mount -t tmpfs -o mode=755 vornel-dev "$dev"
    for node in null zero random urandom tty; do
        touch "$dev/$node"
        mount --bind "/dev/$node" "$dev/$node"
    done
    # A bound /dev/ptmx would make terminals in the kernel's own instance, not in the devpts
    # bound below; the link reaches that one's multiplexer.
    ln -s pts/ptmx "$dev/ptmx"
    mkdir "$dev/pts" "$dev/shm"
    mount --bind /dev/pts "$dev/pts"
    mount -t tmpfs -o mode=1777 vornel-shm "$dev/shm"
    mount --move "$dev" /dev
    if compgen -G '/dev/ttyS*' >/dev/null; then
        echo "windows-check: /dev still has serial devices; not starting Wine" >&2
        exit 1
    fi

    export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEARCH=win64
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    unset DISPLAY WAYLAND_DISPLAY

    # Pseudo-terminals, held open until Wine's server has gone: it takes one as its terminal.
    coproc holder {
        exec python3 -c '
import os, pty, sys
held = [pty.openpty() for _ in range(int(sys.argv[1]))]
print(" ".join(os.ttyname(slave) for _, slave in held), flush=True)
sys.stdin.read()' "${#mapped_ports[@]}"
    }
    read -r -a terminals <&"${holder[0]}"

    cd "$work"
    # COM ports are mapped to links in ports/, pointed first at the pseudo-terminals held above;
    # the driven test points them at devices of its own.
    mkdir -p ports
    for i in "${!mapped_ports[@]}"; do
        ln -sfn "${terminals[$i]}" "ports/com${mapped_ports[$i]}"
    done
    ln -sfn "$work/ports/unplugged" "ports/com$gone_port"
    if ! wineboot -i 2>wineboot.log; then
        cat wineboot.log >&2
        exit 1
    fi
    wineserver -w
    # Once in the runs tried, the first program after wineboot printed nothing: ask again then.
    for attempt in 1 2; do
        wine harness/wine_test.exe --reg | tr -d '\r' >values.txt
        if grep -q '^Windows Registry Editor' values.txt; then
            break
        fi
        echo "windows-check: wine_test.exe --reg printed no registry file (attempt $attempt)" >&2
    done
    {
        cat values.txt
        printf '\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
        for port in "${mapped_ports[@]}" "$gone_port"; do
            printf '"COM%s"="%s"\n' "$port" "$work/ports/com$port"
        done
    } >setup.txt
    # A registry file of this format is UTF-16 text (plain text works too, but is not the format).
    { printf '\xff\xfe' && iconv -f UTF-8 -t UTF-16LE setup.txt; } >setup.reg
    wine reg import setup.reg
    # The ports are read when the server starts: let this one end first.
    wineserver -w
    status=0
    step() { echo "--- $*"; }
    step "Registry and device probe"
    wine harness/wine_test.exe "${mapped_ports[@]}" | tr -d '\r' || status=$?
    step "Version information of vornel.exe"
    wine harness/wine_test.exe --version-of "Z:$work/out/vornel.exe" | tr -d '\r' || status=$?
    wineserver -w
    # The ports Wine made are exactly those mapped above: an empty mapping would not do for the
    # others, Wine makes a port for it that opens.
    made=$(cd prefix/dosdevices && echo com*)
    expected=$(printf 'com%s ' $(printf '%s\n' "${mapped_ports[@]}" "$gone_port" | sort -n))
    if [ "$made" != "${expected% }" ]; then
        echo "windows-check: Wine made the ports $made, expected ${expected% }" >&2
        status=1
    fi

    # The rest on a screen, with Wine's server and programs given the pseudo-terminals' modem
    # lines; the server must have it from its start.
    LD_PRELOAD=$work/pty_modem_lines.so wineserver -p
    step "The program driven under Wine"
    started=$(date +%s.%N)
    ports=$(for port in "${mapped_ports[@]}"; do printf 'COM%s=%s,' "$port" "$work/ports/com$port"; done)
    ports=${ports//COM/}
    python3 "$root/tests/windows/wine_driven.py" --out "$work/out" --harness "$work/harness" \
        --ports "${ports%,}" --shim "$work/pty_modem_lines.so" --plugins "$work/plugins" \
        --zip "$work/vornel.zip" --installer "$work/installer.exe" --earlier "$work/earlier.exe" \
        --docs "$docs" --seconds "${VORNEL_WINE_SECONDS:-30}" \
        ${VORNEL_WINE_TESTS:-} || status=$?
    awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "Wine run: %.1f s\n", b - a }'

    if [ "${VORNEL_WINE_RUNS:-5}" -eq 0 ]; then
        wineserver -k || true
        exit "$status"
    fi
    step "Start-up: the splash beside a minimal Qt window, both under Wine"
    Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >display.txt 2>/dev/null &
    xvfb=$!
    for _ in $(seq 50); do [ -s display.txt ] && break; sleep 0.1; done
    DISPLAY=:$(cat display.txt) WINEDEBUG=-all "$work/first_paint" --runs "${VORNEL_WINE_RUNS:-5}" \
        --target minimal_window 312,234,400,300 "wine $work/harness/minimal_window.exe" \
        --target vornel 270,218,486,330 "wine $work/out/vornel.exe" || status=$?
    kill "$xvfb"
    wineserver -k || true
    wineserver -w || true
    exec {holder[1]}>&-
    wait "$holder_PID" || true
    exit "$status"
fi

# --- Outside -------------------------------------------------------------------------------------
root=$PWD
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
now() { date +%s.%N; }
took() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f s", b - a }'; }

start=$(now)
bash tools/install-deps.sh g++-mingw-w64-x86-64-posix wine wine64 nsis gcc g++ libx11-dev python3 \
    xvfb xdotool xclip x11-utils imagemagick
install_time=$(took "$start")

work=$(mktemp -d /tmp/vornel-windows.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

# 1. The build, and what the tests add to it.
start=$(now)
# OUT is emptied and filled anew, so the project, a folder that holds it and a folder of other
# files are refused before anything is touched.
for refused in . .. forms; do
    if bash tools/windows-build.sh "$refused" >/dev/null 2>&1 || [ ! -f forms/frmmain.cpp ]; then
        echo "windows-check: tools/windows-build.sh $refused was not refused" >&2
        exit 1
    fi
done
bash tools/windows-build.sh "$work/out"
build=${VORNEL_WINDOWS_BUILD:-$root/build-windows}
build_time=$(took "$start")
start=$(now)
cp "$build"/vornel-*-win64.exe "$work/installer.exe"
cp "$build"/vornel-*-win64.zip "$work/vornel.zip"
# For the upgrade: the installer of the same sources stamped with an earlier revision (packed
# quickly: only the test unpacks it); then the build folder is the real version's again.
cmake -S . -B "$build" -DVORNEL_STAMP_REVISION=3 >/dev/null
cmake --build "$build" -j2 --target vornel >/dev/null
(cd "$build" && cpack -G NSIS -D CPACK_NSIS_COMPRESSOR=zlib -B "$work/earlier" >/dev/null)
cp "$work"/earlier/vornel-*-win64.exe "$work/earlier.exe"
cmake -S . -B "$build" -DVORNEL_STAMP_REVISION= >/dev/null
cmake --build "$build" -j2 --target vornel planted_failure minimal_window wine_comm_events \
    wine_test wine_forms
cp -r "$work/out" "$work/harness"
cp "$build"/{planted_failure,minimal_window,wine_test,wine_forms}.exe "$work/harness/"
cp -r "$build/tests/windows/plugins" "$work/plugins"
gcc -O2 -shared -fPIC -Wall -Wextra -Werror -o "$work/pty_modem_lines.so" \
    tests/windows/pty_modem_lines.c -ldl
g++ -std=c++20 -O2 -Wall -Wextra -Werror -o "$work/first_paint" bench/first_paint.cpp -lX11
# CI photographs into the build folder: a checkout that changes under it is not one commit's.
docs=${VORNEL_WINDOWS_DOCS:-docs/windows}
docs=$(mkdir -p "$docs" && cd "$docs" && pwd)
harness_time=$(took "$start")

# 2 and 3, in the namespace.
start=$(now)
status=0
"${as_root[@]}" unshare --mount --propagation private -- \
    bash "$0" --in-namespace "$work" "$root" "$docs" || status=$?
run_time=$(took "$start")
echo "Windows steps: install $install_time, build $build_time, test programs $harness_time," \
    "Wine $run_time"
exit "$status"
