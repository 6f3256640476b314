#!/usr/bin/env bash
# Builds the Debian package (Release, in build-package/) and checks it as a packager would before
# shipping: lintian, desktop-file-validate and appstreamcli on what the package installs, and
# man's own warnings on its manual pages. Any error or warning fails the check.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

dir=build-package
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORNEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir"
rm -f "$dir"/vornel_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
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

if [ "$failed" -ne 0 ]; then
    echo "package-check: FAILED" >&2
    exit 1
fi
echo "package-check: $(basename "$deb") passes lintian, desktop-file-validate, appstreamcli and man"
