#!/usr/bin/env bash
# The reference host as a person uses it: a readable table, n/a for FLT_MAX,
# and a clear message with a non-zero exit when a plug-in cannot be used.
# usage: refhost_cli_test.sh WINE-RUN REFHOST.exe SIMCPU.dll
set -uo pipefail
wine_run=$1 refhost=$2 simcpu=$3
failures=0

expect() {  # description, expected exit code, pattern, command...
    local what=$1 code=$2 pattern=$3
    shift 3
    local output status
    output=$("$wine_run" "$refhost" "$@" 2>&1 | tr -d '\r')
    status=${PIPESTATUS[0]}
    if [ "$status" -ne "$code" ] || ! grep -Eq -- "$pattern" <<<"$output"; then
        echo "FAILED: $what (exit $status, wanted $code; wanted /$pattern/ in:)"
        echo "$output"
        failures=$((failures + 1))
    fi
}

expect "table of readings" 0 '^ +0  CPU0 temperature +°C +[0-9-]+\.[0-9] +[0-9-]+\.[0-9] +[0-9-]+\.[0-9]$' \
    --cpu intel --polls 3 --interval 0 "$simcpu"
expect "failed reads show n/a" 0 '^ +0  CPU0 temperature +°C +n/a +n/a$' \
    --cpu intel --fail-every 1 --polls 2 --interval 0 "$simcpu"
expect "no sensor: nothing described" 0 '^ +0  \(not described\)' --cpu amd --polls 1 --interval 0 "$simcpu"
expect "csv" 0 '^source,described,name,unit,poll_1$' --cpu intel --polls 1 --interval 0 --csv "$simcpu"
expect "a missing DLL" 1 '^refhost: cannot load no-such-plugin\.dll: ' no-such-plugin.dll
expect "a DLL without the exports" 1 '^refhost: kernel32\.dll does not export GetSourcesNum$' kernel32.dll
expect "an unknown option" 2 '^refhost: unknown option --bogus' --bogus "$simcpu"
expect "a bad number" 2 '^refhost: --polls needs a number, not many' --polls many "$simcpu"

# The simulated sensor is deterministic for a seed, whichever processor
# happens to read register 0xEE.
csv_run() { "$wine_run" "$refhost" --cpu intel --seed 42 --polls 4 --interval 0 --csv "$simcpu" | tr -d '\r'; }
first=$(csv_run)
second=$(csv_run)
if [ "$first" != "$second" ] || ! grep -q '^0,1,CPU0 temperature' <<<"$first"; then
    echo "FAILED: the same seed gave different readings:"
    printf '%s\n---\n%s\n' "$first" "$second"
    failures=$((failures + 1))
fi

echo "refhost_cli_test: $((9 - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
