#!/usr/bin/env bash
# Builds the Debian package (Release, in build-package/) and checks it as a packager would before
# shipping: lintian, desktop-file-validate and appstreamcli on what the package installs, and
# man's own warnings on its manual pages, and hardening-check on its programs. Any error or
# warning fails the check. The package's times are the commit's (SOURCE_DATE_EPOCH).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
bash tools/install-deps.sh devscripts
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && epoch=$(git log -1 --format=%ct 2>/dev/null); then
    export SOURCE_DATE_EPOCH=$epoch
fi

dir=build-package
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORNEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir"
rm -f "$dir"/vornel_*.deb
# Packed in /tmp wherever the checkout is: CPack counts the staged folders' own sizes into the
# package's Installed-Size, and a folder's size is the file system's.
pack=$(mktemp -d /tmp/vornel-pack.XXXXXX)
(cd "$dir" && cpack -G DEB -B "$pack" >/dev/null)
mv "$pack"/vornel_*.deb "$dir"/
rm -rf "$pack"
debs=("$dir"/vornel_*.deb)
deb=${debs[0]}
echo "Checking $deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
failed=0
fail() {
    echo "package-check: $*" >&2
    failed=1
}

# lintian warns against running as root; as root, run it as an ordinary user on a readable copy.
cp "$deb" "$work/"
chmod 644 "$work/$(basename "$deb")"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    as_user=(runuser -u nobody --)
fi
(cd "$work" && "${as_user[@]}" lintian --display-info --fail-on error,warning "$(basename "$deb")") ||
    fail "lintian found errors or warnings"

tree=$work/tree
dpkg-deb -x "$deb" "$tree"

desktops=("$tree"/usr/share/applications/*.desktop)
[ -e "${desktops[0]}" ] || fail "no desktop entry in the package"
for entry in "${desktops[@]}"; do
    [ -e "$entry" ] || continue
    # It exits 0 after warnings: read its messages (hints are shown, and pass).
    out=$(desktop-file-validate "$entry" 2>&1) && status=0 || status=$?
    [ -z "$out" ] || echo "$out"
    if [ "$status" -ne 0 ] || grep -qE ': (error|warning): ' <<<"$out"; then
        fail "desktop-file-validate: ${entry#"$tree"}"
    fi
done

# No network for the checks of remote URLs (screenshots, home page): they say nothing about the
# package itself. validate-tree also checks that the launchable's desktop entry is installed.
metainfos=("$tree"/usr/share/metainfo/*.metainfo.xml)
[ -e "${metainfos[0]}" ] || fail "no AppStream metadata in the package"
for file in "${metainfos[@]}"; do
    [ -e "$file" ] || continue
    appstreamcli validate --no-net "$file" || fail "appstreamcli validate: ${file#"$tree"}"
done
appstreamcli validate-tree --no-net "$tree" || fail "appstreamcli validate-tree"

# The checks lintian runs on manual pages, and the pages' own warnings.
for page in "$tree"/usr/share/man/man*/*; do
    out=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
        man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null) || true
    if [ -n "$out" ]; then
        echo "$out"
        fail "man --warnings: ${page#"$tree"}"
    fi
done

# Every program is hardened as Debian hardens its own: PIE, stack protector, checked string and
# memory functions, read-only relocations and immediate binding. Two of hardening-check's findings
# are not about our code, and are checked otherwise:
#  - Control-flow protection is marked in a program only when every object linked into it is
#    marked; Debian 12's C library start files are not, so no program linked here is (not even
#    /usr/bin/ls). Our own objects are compiled with -fcf-protection and checked for the mark.
#  - hardening-check sees the checked functions only where a call is checked at run time. Every
#    call of vornel-sim that _FORTIFY_SOURCE covers is proven safe while compiling, or passes a
#    buffer of unknown size, so it finds only unchecked ones there ("only unprotected functions
#    found"). For it, the flags its sources were compiled with are checked.
for program in "$tree"/usr/bin/*; do
    skip=(--nocfprotection)
    if [ "$(basename "$program")" = vornel-sim ]; then
        skip+=(--nofortify)
        commands=$(grep -F '"command"' "$dir/compile_commands.json" | grep -F /sim/ || true)
        if [ -z "$commands" ] || grep -vqE -- ' -O[123s] .* -D_FORTIFY_SOURCE=[23] ' <<<"$commands"; then
            fail "a source of vornel-sim was compiled without optimisation and _FORTIFY_SOURCE"
        fi
    fi
    hardening-check "${skip[@]}" "$program" || fail "hardening-check: ${program#"$tree"}"
done
unmarked=$(find "$dir" -name '*.o' ! -path '*/CMakeFiles/CMakeTmp/*' -exec sh -c \
    'readelf -n "$1" | grep -q "x86 feature: IBT, SHSTK" || echo "$1"' sh {} \;)
if [ -n "$unmarked" ]; then
    fail "compiled without control-flow protection: $(echo $unmarked)"
fi

if [ "$failed" -ne 0 ]; then
    echo "package-check: FAILED" >&2
    exit 1
fi
echo "package-check: $(basename "$deb") passes lintian, desktop-file-validate, appstreamcli, man" \
    "and hardening-check"
