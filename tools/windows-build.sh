#!/usr/bin/env bash
# Builds Vornel for 64-bit Windows on Debian, with MinGW-w64 and the Qt for Windows kit:
#   bash tools/windows-build.sh OUT
# leaves in OUT/ the folder a Windows 10/11 machine runs as it is (vornel.exe, the Qt libraries
# and plug-ins it loads, MinGW's run-time libraries), and beside the build, in build-windows/,
# vornel-<version>-win64.zip and the installer vornel-<version>-win64.exe. Prints OUT's path and
# size; any failure ends it with a non-zero status.
#
# The kit (qt-6.8.0-mingw-w64.tar.xz: Qt for Windows and the Linux tools that build with it) is
# taken from VORNEL_WINDOWS_KIT, else from shared/windows/ beside the project's folder, and
# unpacked once into ${XDG_CACHE_HOME:-~/.cache}/vornel/, under a name made from its checksum.
# The build folder is build-windows/ (VORNEL_WINDOWS_BUILD names another).
set -euo pipefail

if [ $# -ne 1 ] || [ -z "$1" ]; then
    echo "usage: bash tools/windows-build.sh OUT" >&2
    exit 2
fi
# OUT is emptied and filled anew: it must be a folder of its own (new, empty, or an earlier OUT),
# named from where the script was started, and never the project, one of the folders that hold
# it, or the home folder.
out=$(realpath -m -- "$1")
cd "$(dirname "$0")/.."
root=$PWD
if [ "$out" = / ] || [[ "$root/" == "$out/"* ]]; then
    echo "windows-build: $out holds the project; name a folder of its own" >&2
    exit 2
fi
if [ "$out" = "$(realpath -m -- "${HOME:-/}")" ]; then
    echo "windows-build: $out is the home folder; name a folder of its own" >&2
    exit 2
fi
if [ -e "$out" ] && [ ! -f "$out/vornel.exe" ] && [ -n "$(ls -A -- "$out" 2>/dev/null || echo x)" ]; then
    echo "windows-build: $out holds files of another kind; name a new folder, or an earlier OUT" >&2
    exit 2
fi

bash tools/install-deps.sh g++-mingw-w64-x86-64-posix cmake ninja-build nsis xz-utils

# --- The kit, unpacked once -------------------------------------------------------------------
archive=${VORNEL_WINDOWS_KIT:-}
if [ -z "$archive" ]; then
    for candidate in "$root/../shared/windows/qt-6.8.0-mingw-w64.tar.xz" \
        /work/shared/windows/qt-6.8.0-mingw-w64.tar.xz; do
        if [ -f "$candidate" ]; then
            archive=$candidate
            break
        fi
    done
fi
if [ -z "$archive" ] || [ ! -f "$archive" ]; then
    echo "windows-build: no Qt for Windows kit; set VORNEL_WINDOWS_KIT to qt-6.8.0-mingw-w64.tar.xz" >&2
    exit 1
fi
sum=$(sha256sum "$archive" | cut -c1-16)
kit=${XDG_CACHE_HOME:-$HOME/.cache}/vornel/qt-6.8.0-mingw-w64-$sum
if [ ! -f "$kit/.unpacked" ]; then
    echo "Unpacking $archive into $kit"
    rm -rf "$kit" "$kit.partial"
    mkdir -p "$kit.partial"
    tar -C "$kit.partial" -xJf "$archive"
    touch "$kit.partial/.unpacked"
    mv "$kit.partial" "$kit"
fi

# --- Configure, build, install, package ---------------------------------------------------------
build=${VORNEL_WINDOWS_BUILD:-$root/build-windows}
# The packages' times are the commit's, so that a commit always gives the same bytes.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && epoch=$(git -C "$root" log -1 --format=%ct 2>/dev/null); then
    export SOURCE_DATE_EPOCH=$epoch
fi
# A build folder configured with another kit is configured afresh: its cache would keep that kit's
# Qt, and nothing would be built again.
fresh=()
if [ -f "$build/CMakeCache.txt" ] && [ "$(cat "$build/vornel-kit.txt" 2>/dev/null)" != "$kit" ]; then
    echo "The kit is not the one $build was configured with: configuring afresh"
    fresh=(--fresh)
fi
cmake "${fresh[@]}" -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DVORNEL_QT_KIT="$kit/kit" -DQT_HOST_PATH="$kit/host" -DVORNEL_BUILD_TESTS=OFF \
    -DVORNEL_STAMP_REVISION= >/dev/null
echo "$kit" >"$build/vornel-kit.txt"
cmake --build "$build" -j2
rm -rf "$out"
cmake --install "$build" --prefix "$out" >/dev/null
if ! cmp -s "$out/Qt6Core.dll" "$kit/kit/bin/Qt6Core.dll"; then
    echo "windows-build: the folder's Qt is not the kit's ($kit)" >&2
    exit 1
fi
rm -f "$build"/vornel-*-win64.zip "$build"/vornel-*-win64.exe
# A zip holds its files' times as local times: the same ones wherever it is made. Packed in /tmp
# wherever the checkout is: the zip takes its files in the order the file system lists them.
pack=$(mktemp -d /tmp/vornel-pack.XXXXXX)
(cd "$build" && TZ=UTC cpack -G "ZIP;NSIS" -B "$pack" >/dev/null)
mv "$pack"/vornel-*-win64.zip "$pack"/vornel-*-win64.exe "$build"/
rm -rf "$pack"

# --- The folder runs on a bare Windows: every library anything in it loads is in it, or is the
# system's own ------------------------------------------------------------------------------------
system_dlls='^(advapi32|authz|comdlg32|d3d9|d3d11|dwmapi|dwrite|dxgi|gdi32|imm32|kernel32|mpr|msvcrt|netapi32|ole32|oleaut32|setupapi|shcore|shell32|shlwapi|user32|userenv|uxtheme|version|winmm|ws2_32|wtsapi32|api-ms-win-[a-z0-9-]+)\.dll$'
unresolved=()
while IFS= read -r -d '' binary; do
    while read -r dll; do
        lower=${dll,,}
        if [ -f "$out/$dll" ] || [[ "$lower" =~ $system_dlls ]]; then
            continue
        fi
        unresolved+=("${binary#"$out"/} needs $dll")
    done < <(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^\s*DLL Name: //p')
done < <(find "$out" -iname '*.exe' -print0 -o -iname '*.dll' -print0)
if [ ${#unresolved[@]} -gt 0 ]; then
    printf 'windows-build: not in the folder and not part of Windows: %s\n' "${unresolved[@]}" >&2
    exit 1
fi

# Our programs may be loaded anywhere in the 64-bit address space and never run their data.
for program in "$out"/vornel*.exe; do
    flags=$(x86_64-w64-mingw32-objdump -p "$program" | sed -n '/^DllCharacteristics/,/^[A-Z]/p')
    for flag in HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT; do
        if ! grep -qw "$flag" <<<"$flags"; then
            echo "windows-build: $(basename "$program") lacks $flag in its PE header" >&2
            exit 1
        fi
    done
done

out=$(cd "$out" && pwd)
echo "Windows build: $out ($(du -sh "$out" | cut -f1), $(find "$out" -type f | wc -l) files)"
for package in "$build"/vornel-*-win64.zip "$build"/vornel-*-win64.exe; do
    echo "  $package ($(du -h "$package" | cut -f1))"
done
