#!/usr/bin/env bash
# Two clean clones of the current commit, in two folders, built one after
# the other: their DLLs, reference hosts and release ZIPs must be the same
# bytes, and no binary may hold the folder it was built in.
#   tests/release/reproducible_build.sh [WORKDIR]   (default build/reproducible)
set -uo pipefail
cd "$(dirname "$0")/../.."
workdir=$(readlink -f "${1:-build/reproducible}")
rm -rf "$workdir"
mkdir -p "$workdir"

for clone in first second-clone; do
    git clone -q "$PWD" "$workdir/$clone" || exit 1
    if ! (cd "$workdir/$clone" && scripts/package >"$workdir/$clone.log" 2>&1); then
        echo "reproducible_build: packaging in $workdir/$clone failed:"
        cat "$workdir/$clone.log"
        exit 1
    fi
done

failures=0
files=0
for file in $(cd "$workdir/first/build/package" && find . -type f -name '*.zip' -o -type f -name '*.dll' -o -type f -name '*.exe' | LC_ALL=C sort); do
    files=$((files + 1))
    if ! cmp -s "$workdir/first/build/package/$file" "$workdir/second-clone/build/package/$file"; then
        echo "reproducible_build: $file differs between the two builds"
        failures=$((failures + 1))
    fi
    for clone in first second-clone; do
        if grep -q -a -F "$workdir/$clone" "$workdir/$clone/build/package/$file"; then
            echo "reproducible_build: $file holds its build folder $workdir/$clone"
            failures=$((failures + 1))
        fi
    done
done
[ "$files" -ge 5 ] || { echo "reproducible_build: only $files files compared"; exit 1; }
echo "reproducible_build: $files files compared, $failures problems"
[ "$failures" -eq 0 ]
