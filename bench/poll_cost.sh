#!/usr/bin/env bash
# Instructions the module itself executes per call, counted by callgrind on a
# platform whose operations do nothing (the platform's own instructions are
# subtracted). Repeatable: callgrind counts instructions, not time.
# Each figure is (count at 2N calls - count at N calls) / N, so set-up and
# the first call drop out.
#   bench/poll_cost.sh            # builds the bench preset, prints a table
set -euo pipefail
cd "$(dirname "$0")/.."
command -v valgrind >/dev/null || { echo "valgrind is needed: apt-get install valgrind" >&2; exit 1; }

cmake --preset bench >/dev/null
cmake --build --preset bench -j"$(nproc)" >/dev/null

N=1000
module_instructions() {  # program path index count
    local program=$1 path=$2 index=$3 count=$4 out
    local function=GetSourceData
    [ "$path" = describe ] && function=GetSourceDesc
    out=$(mktemp)
    valgrind --tool=callgrind --callgrind-out-file="$out" --toggle-collect="$function" \
        "$program" "$path" "$index" "$count" >/dev/null 2>&1
    callgrind_annotate --inclusive=no --auto=no --threshold=100 "$out" 2>/dev/null | awk '
        /PROGRAM TOTALS/ { gsub(",", "", $1); total = $1 }
        /%\) +[^ ]*noop_platform\.cpp:/ { gsub(",", "", $1); platform += $1 }
        END { print total - platform }'
    rm -f "$out"
}

per_call() {  # program path index
    local once twice
    once=$(module_instructions "$1" "$2" "$3" "$N")
    twice=$(module_instructions "$1" "$2" "$3" $((2 * N)))
    echo $(((twice - once) / N))
}

printf '%-14s %-6s %12s %14s\n' "path" "index" "native PIE" "native no-PIE"
for path in fresh not-valid failed-read no-sensor out-of-range describe; do
    indexes="0 31"
    [ "$path" = out-of-range ] && indexes="32 -1"
    [ "$path" = describe ] && indexes="0 -2147483648"
    for index in $indexes; do
        printf '%-14s %-6s %12s %14s\n' "$path" "$index" \
            "$(per_call build/bench/bench/poll_cost "$path" "$index")" \
            "$(per_call build/bench/bench/poll_cost_nopie "$path" "$index")"
    done
done
