#!/usr/bin/env bash
# The Windows code, checked on Linux with MinGW-w64 and Wine (there is no Qt for Windows here):
#  1. Compile check, compilation only: the program's sources as a Windows build takes them
#     (the *_win.cpp files included) and every other file with a Windows branch (Q_OS_WIN,
#     _WIN32) are compiled with MinGW against Debian's Qt headers, so that a typo in
#     Windows-only code, or a POSIX call in shared code, fails. Nothing is linked, and those
#     headers are configured for Linux: this shows that the code compiles, not that it builds or
#     runs with Qt for Windows.
#  2. Wine test: the registry and the device probe, which need no Qt, are built with MinGW into
#     tests/windows/wine_test.cpp and run under headless Wine against Wine's registry and COM
#     ports that Wine maps to pseudo-terminals.
# Wine never sees the machine's own serial devices (ttyS0 is its console): it runs in a private
# mount namespace whose /dev has no serial devices, and the COM ports it offers are mapped
# explicitly (and checked afterwards).
# Installs what it needs (about 1.1 GB), prints the time of each step, exits non-zero on failure.
set -euo pipefail
cd "$(dirname "$0")/.."

# COM ports that the Wine test maps to pseudo-terminals. The rest of COM1 to COM8 stay out of the
# mapping, and Wine's own search for serial devices finds none in the namespace's /dev.
mapped_ports=(2 5)

# --- Inside the mount namespace: /dev replaced, then Wine ------------------------------------
if [ "${1:-}" = "--in-namespace" ]; then
    work=$2
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
    if ! wineboot -i 2>wineboot.log; then
        cat wineboot.log >&2
        exit 1
    fi
    wineserver -w
    # Once in the runs tried, the first program after wineboot printed nothing: ask again then.
    for attempt in 1 2; do
        wine wine_test.exe --reg | tr -d '\r' >values.txt
        if grep -q '^Windows Registry Editor' values.txt; then
            break
        fi
        echo "windows-check: wine_test.exe --reg printed no registry file (attempt $attempt)" >&2
    done
    {
        cat values.txt
        printf '\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
        for i in "${!mapped_ports[@]}"; do
            printf '"COM%s"="%s"\n' "${mapped_ports[$i]}" "${terminals[$i]}"
        done
    } >setup.txt
    # A registry file of this format is UTF-16 text (plain text works too, but is not the format).
    { printf '\xff\xfe' && iconv -f UTF-8 -t UTF-16LE setup.txt; } >setup.reg
    wine reg import setup.reg
    # The ports are read when the server starts: let this one end first.
    wineserver -w
    status=0
    wine wine_test.exe "${mapped_ports[@]}" | tr -d '\r' || status=$?
    wineserver -w
    # The ports Wine made are exactly those mapped above: an empty mapping would not do for the
    # others, Wine makes a port for it that opens.
    made=$(cd prefix/dosdevices && echo com*)
    expected=$(printf 'com%s ' "${mapped_ports[@]}")
    if [ "$made" != "${expected% }" ]; then
        echo "windows-check: Wine made the ports $made, expected ${expected% }" >&2
        status=1
    fi
    exec {holder[1]}>&-
    wait "$holder_PID" || true
    exit "$status"
fi

# --- Outside -------------------------------------------------------------------------------------
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
now() { date +%s.%N; }
took() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f s", b - a }'; }

start=$(now)
packages=(g++-mingw-w64-x86-64-posix wine wine64)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    "${as_root[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi
install_time=$(took "$start")

work=$(mktemp -d /tmp/vornel-windows.XXXXXX)
trap 'rm -rf "$work"' EXIT
cxx=(x86_64-w64-mingw32-g++-posix -std=c++20 -Wall -Wextra -Wpedantic -Wshadow -Werror -I.)

# 1. Compile check (compilation only, see above).
start=$(now)
qt=/usr/include/x86_64-linux-gnu/qt6
mkdir -p "$work/include/platform"
ln -s /usr/include/gtest "$work/include/gtest"
sed -e 's/@PROJECT_NAME@/Vornel/' -e 's/@PROJECT_VERSION[A-Z_]*@/1/' \
    platform/application_info.h.in >"$work/include/platform/application_info.h"
# The program's own sources as a Windows build compiles them (device_access.cpp is its Linux
# half), and every other file with a Windows branch. The tests are not built on Windows (they
# need pseudo-terminals); their guards only keep Linux-only cases apart, so they are left out.
mapfile -t files < <({
    git ls-files 'app/*.cpp' 'capture/*.cpp' 'forms/*.cpp' 'forms/kit/*.cpp' 'platform/*.cpp' 'serial/*.cpp' 'resources/*.cpp' |
        grep -v '^serial/device_access\.cpp$'
    git ls-files '*.cpp' | grep -v '^tests/' | xargs grep -l -e Q_OS_WIN -e _WIN32
} | sort -u)
qt_flags=(-I"$work/include" -isystem "$qt")
for module in QtCore QtGui QtWidgets QtSerialPort QtTest; do
    qt_flags+=(-isystem "$qt/$module")
done
failed=()
for f in "${files[@]}"; do
    # Two at a time.
    while [ "$(jobs -rp | wc -l)" -ge 2 ]; do
        wait -n || true
    done
    { "${cxx[@]}" "${qt_flags[@]}" -fsyntax-only "$f" || echo "$f" >>"$work/failed"; } &
done
wait
[ -f "$work/failed" ] && mapfile -t failed <"$work/failed"
echo "Compile check (MinGW, Debian's Qt headers, compilation only): ${#files[@]} files: ${files[*]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "Compile check failed: ${failed[*]}" >&2
    exit 1
fi

# 2. The Wine test, built with MinGW alone: no Qt, only the system's own libraries.
"${cxx[@]}" -O1 -static tests/windows/wine_test.cpp platform/registry_win.cpp \
    serial/device_probe_win.cpp -ladvapi32 -o "$work/wine_test.exe"
compile_time=$(took "$start")

start=$(now)
status=0
"${as_root[@]}" unshare --mount --propagation private -- bash "$0" --in-namespace "$work" ||
    status=$?
run_time=$(took "$start")
echo "Windows steps: install $install_time, compile $compile_time, Wine run $run_time"
exit "$status"
