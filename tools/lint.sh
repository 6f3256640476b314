#!/usr/bin/env bash
# Static analysis of the product code (capture/, serial/, platform/, forms/, app/, sim/,
# resources/; not the tests, benchmarks, tools or generated files):
#   bash tools/lint.sh [FILE...]
# clang-tidy with the checks of .clang-tidy, clazy's level 1 Qt checks and cppcheck, each over the
# files of a compile-commands database made for them in build-lint/ (configured with clang, so
# that it holds no flag clang does not know). Any finding fails it. Given files, only those.
# Windows-only files are not in a Linux build's database and are not analysed here.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash tools/install-deps.sh clang-14 clang-tidy-14 clazy cppcheck cmake ninja-build python3 \
    qt6-base-dev qt6-serialport-dev libgl-dev

dir=build-lint
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-14 \
    -DVORNEL_BUILD_TESTS=OFF -DVORNEL_BUILD_BENCH=OFF >/dev/null
# The product's own sources in the database, in a database of their own; beside each file, a key
# made of what its analysis depends on: the translation unit as preprocessed (comments kept, for
# the NOLINT ones) and the flags; the project's folder left out, so that another clone has the
# same key.
mapfile -t lines < <(python3 - "$root" "$dir" "$@" <<'PY'
import concurrent.futures, hashlib, json, os, shlex, subprocess, sys
root, build, wanted = sys.argv[1], sys.argv[2], [os.path.realpath(f) for f in sys.argv[3:]]
folders = ("capture", "serial", "platform", "forms", "app", "sim", "resources")
entries = []
for entry in json.load(open(os.path.join(build, "compile_commands.json"))):
    path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    relative = os.path.relpath(path, root)
    if relative.split(os.sep)[0] in folders and "_autogen" not in relative and \
            (not wanted or path in wanted):
        entries.append(dict(entry, file=path))
entries.sort(key=lambda e: e["file"])
os.makedirs(os.path.join(build, "product"), exist_ok=True)
json.dump(entries, open(os.path.join(build, "product", "compile_commands.json"), "w"), indent=1)

def key(entry):
    args = shlex.split(entry["command"])
    if "-o" in args:
        at = args.index("-o")
        del args[at:at + 2]
    args = [a for a in args if a != "-c"] + ["-E", "-P", "-C"]
    text = subprocess.run(args, cwd=entry["directory"], capture_output=True, check=True).stdout
    flags = " ".join(args).replace(root, "@ROOT@").encode()  # the warnings asked for, too
    return hashlib.sha256(flags + b"\0" + text.replace(root.encode(), b"@ROOT@")).hexdigest()

with concurrent.futures.ThreadPoolExecutor(2) as pool:
    for entry, k in zip(entries, pool.map(key, entries)):
        print(entry["file"] + "\t" + k)
PY
)
if [ ${#lines[@]} -eq 0 ]; then
    echo "lint: no product file to analyse" >&2
    exit 2
fi
files=()
for line in "${lines[@]}"; do
    files+=("${line%%$'\t'*}")
done
db=$dir/product
log=$dir/findings
rm -rf "$log"
mkdir -p "$log"
headers="^$root/(capture|serial|platform|forms|app|sim|resources)/"
# Findings of files analysed before, by key: an unchanged file is not analysed again.
cache=${XDG_CACHE_HOME:-$HOME/.cache}/vornel/lint
mkdir -p "$cache"

now() { date +%s.%N; }
took() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.0f s", b - a }'; }

pattern_of() {
    case $1 in
        clang-tidy) echo ': (warning|error): .*\[[a-z0-9.,-]+\]$' ;;
        clazy) echo ': (warning|error): .*\[-W[a-z0-9-]+\]$' ;;
        cppcheck) echo ': (error|warning|performance|portability|style|information): ' ;;
    esac
}
# clang-tidy and clazy: one process a file, two at a time; each file's findings in a file named
# after its path.
run_each() {
    local checker=$1 settings
    if [ "$checker" = clang-tidy ]; then
        settings="$(clang-tidy-14 --version) $(cat .clang-tidy)"
    else
        settings="$(clazy-standalone --version) level1"
    fi
    settings=$(printf '%s %s' "$settings" "${headers#"^$root"}" | sha256sum | cut -c1-64)
    printf '%s\0' "${lines[@]}" | LINT_CHECKER=$checker LINT_SETTINGS=$settings \
        LINT_PATTERN=$(pattern_of "$checker") xargs -0 -P2 -I{} bash -c '
        file=${1%%$'"'"'\t'"'"'*}
        cached=$LINT_CACHE/$(printf "%s %s %s" "$LINT_CHECKER" "$LINT_SETTINGS" "${1#*$'"'"'\t'"'"'}" |
            sha256sum | cut -c1-64).txt
        out=$LINT_LOG/$LINT_CHECKER-$(echo "${file#"$LINT_ROOT"/}" | tr / _).txt
        if [ -f "$cached" ]; then
            sed "s|@ROOT@|$LINT_ROOT|g" "$cached" >"$out"
            exit 0
        fi
        if [ "$LINT_CHECKER" = clang-tidy ]; then
            clang-tidy-14 -p "$LINT_DB" --quiet --header-filter="$LINT_HEADERS" "$file" >"$out" 2>&1
        else
            clazy-standalone -p "$LINT_DB" -checks=level1 -header-filter="$LINT_HEADERS" "$file" \
                >"$out" 2>&1
        fi || echo "$file: exit status $?" >>"$out"
        # What the tool found is kept; a tool that failed without a finding is not.
        if ! grep -q ": exit status " "$out" || grep -qE "$LINT_PATTERN" "$out"; then
            sed "s|$LINT_ROOT|@ROOT@|g" "$out" >"$cached.$$" && mv "$cached.$$" "$cached"
        fi' _ {}
    cat "$log/$checker"-*.txt >"$log/$checker.txt"
}
export LINT_LOG=$log LINT_ROOT=$root LINT_DB=$db LINT_HEADERS=$headers LINT_CACHE=$cache
start=$(now)
run_each clang-tidy
tidy_time=$(took "$start")
start=$(now)
run_each clazy
clazy_time=$(took "$start")

start=$(now)
cppcheck --project="$db/compile_commands.json" --enable=warning,performance,portability \
    --library=qt --inline-suppr --error-exitcode=1 --quiet -j2 \
    --suppress=missingIncludeSystem --template='{file}:{line}:{column}: {severity}: {message} [{id}]' \
    >/dev/null 2>"$log/cppcheck.txt" || true
cppcheck_time=$(took "$start")

# Findings, by checker and check.
count() { grep -cE "$2" "$log/$1.txt" || true; }
failed=0
for checker in clang-tidy clazy cppcheck; do
    pattern=$(pattern_of "$checker")
    n=$(count "$checker" "$pattern")
    # A tool that failed on a file without a finding to show for it.
    for each in "$log/$checker"-*.txt; do
        if [ -e "$each" ] && grep -q ': exit status ' "$each" && ! grep -qE "$pattern" "$each"; then
            echo "lint: $checker failed on ${each#"$log/"}:" >&2
            tail -5 "$each" >&2
            failed=1
        fi
    done
    echo "$checker: $n findings"
    if [ "$n" -ne 0 ]; then
        failed=1
        grep -E "$pattern" "$log/$checker.txt" | sed -E 's/.*\[([^]]+)\]$/\1/' | sort | uniq -c |
            sort -rn | sed 's/^/    /'
        grep -E "$pattern" "$log/$checker.txt" | sed "s|^$root/||" | sort -u | head -200 >&2
    fi
done
echo "lint: ${#files[@]} files; clang-tidy $tidy_time, clazy $clazy_time, cppcheck $cppcheck_time"
[ "$failed" -eq 0 ] || { echo "lint: FAILED (all findings in $log/)" >&2; exit 1; }
echo "lint: no findings"
