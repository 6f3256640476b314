#!/usr/bin/env bash
# Builds what Vornel ships twice from the same commit, in different folders at different times,
# and checks that the two builds give the same bytes: the Debian package, the Windows zip and the
# program vornel.exe in it. The Windows installer is compared too, and said to differ where it
# does (see below why it does).
#   bash tools/reproducible-check.sh            both builds in fresh clones of HEAD
#   bash tools/reproducible-check.sh --reuse    the first build is the one tools/package-check.sh
#                                               and tools/windows-build.sh left in build-package/
#                                               and build-windows/ (CI, right after them)
#   --linux-only                                leaves Windows out
# Where two artifacts differ, diffoscope says how (its reports are kept in build-reproducible/).
# Each build takes its SOURCE_DATE_EPOCH from the commit, as the build scripts do.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

reuse=0
windows=1
for arg in "$@"; do
    case $arg in
        --reuse) reuse=1 ;;
        --linux-only) windows=0 ;;
        *) echo "usage: bash tools/reproducible-check.sh [--reuse] [--linux-only]" >&2; exit 2 ;;
    esac
done

bash tools/install-deps.sh git diffoscope-minimal unzip
commit=$(git rev-parse HEAD)
export SOURCE_DATE_EPOCH=$(git log -1 --format=%ct "$commit")
if [ "$reuse" -eq 1 ] && [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "reproducible-check: --reuse needs a checkout without changes: the builds must be of one commit" >&2
    git status --porcelain --untracked-files=no >&2
    exit 2
fi
# The Windows kit, found as tools/windows-build.sh finds it, for the clones too.
if [ "$windows" -eq 1 ] && [ -z "${VORNEL_WINDOWS_KIT:-}" ]; then
    for candidate in "$root/../shared/windows/qt-6.8.0-mingw-w64.tar.xz" \
        /work/shared/windows/qt-6.8.0-mingw-w64.tar.xz; do
        if [ -f "$candidate" ]; then
            export VORNEL_WINDOWS_KIT=$candidate
            break
        fi
    done
fi

report=$root/build-reproducible
rm -rf "$report"
mkdir -p "$report"
work=$(mktemp -d /tmp/vornel-reproducible.XXXXXX)
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
took() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.0f s", b - a }'; }

# One build of the commit in a clone of its own under $1; the artifacts are gathered in $2.
build() {
    local place=$1 into=$2 start
    start=$(now)
    mkdir -p "$place" "$into"
    git clone -q --no-hardlinks "$root" "$place/vornel"
    git -C "$place/vornel" checkout -q "$commit"
    # Built as tools/package-check.sh and tools/windows-build.sh build, in the same folders of
    # the clone.
    (
        cd "$place/vornel"
        cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORNEL_BUILD_TESTS=OFF \
            >/dev/null
        cmake --build build-package >/dev/null
        cd build-package && cpack -G DEB >/dev/null
    )
    cp "$place"/vornel/build-package/vornel_*.deb "$into/"
    if [ "$windows" -eq 1 ]; then
        (unset VORNEL_WINDOWS_BUILD && bash "$place/vornel/tools/windows-build.sh" "$place/out" >/dev/null)
        cp "$place"/vornel/build-windows/vornel-*-win64.zip \
            "$place"/vornel/build-windows/vornel-*-win64.exe "$into/"
    fi
    echo "Built $commit in $place ($(took "$start"))"
}

if [ "$reuse" -eq 1 ]; then
    mkdir -p "$work/first"
    cp build-package/vornel_*.deb "$work/first/"
    if [ "$windows" -eq 1 ]; then
        cp build-windows/vornel-*-win64.zip build-windows/vornel-*-win64.exe "$work/first/"
    fi
    echo "First build: build-package/ and build-windows/ of $root"
else
    build "$work/one" "$work/first"
fi
# The second somewhere else, later, in another time zone.
sleep 1
(TZ=Pacific/Kiritimati build "$work/second/a/longer/path" "$work/second-artifacts")

# vornel.exe as shipped, from each zip.
if [ "$windows" -eq 1 ]; then
    for side in first second-artifacts; do
        unzip -q -o -j "$work/$side"/vornel-*-win64.zip '*/vornel.exe' -d "$work/$side"
    done
fi

# The installer is compared, but is not yet the same: its files are, with the same times, yet two
# runs of cpack on them give different installers. makensis (3.08) logs a different number for
# each GetFullPathName instruction of CPack's script on every run, which points at it.
failed=0
for first in "$work"/first/*; do
    name=$(basename "$first")
    second=$work/second-artifacts/$name
    if [ ! -f "$second" ]; then
        echo "DIFFERS   $name: the second build made no such file"
        failed=1
    elif cmp -s "$first" "$second"; then
        echo "identical $name ($(sha256sum "$first" | cut -c1-16))"
    else
        diffoscope --text "$report/$name.txt" --max-report-size 1000000 "$first" "$second" \
            >/dev/null 2>&1 || true
        if [[ "$name" == vornel-*-win64.exe ]]; then
            echo "differs   $name, as makensis's installers do (build-reproducible/$name.txt)"
            continue
        fi
        echo "DIFFERS   $name: diffoscope's report in build-reproducible/$name.txt"
        head -40 "$report/$name.txt" | sed 's/^/    /'
        failed=1
    fi
done
[ "$failed" -eq 0 ] || { echo "reproducible-check: FAILED" >&2; exit 1; }
echo "reproducible-check: the package, the zip and vornel.exe of both builds of $commit are the same bytes"
