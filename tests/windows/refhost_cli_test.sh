#!/usr/bin/env bash
# The reference host as a person uses it: where readings come from on every
# row, output streamed poll by poll, rectangular CSV, clear messages and exit
# codes, decimal numbers with their ranges, paths in any script, and --help
# as the README shows it.
# usage: refhost_cli_test.sh WINE-RUN REFHOST.exe SIMCPU.dll README.md WORKDIR
set -uo pipefail
wine_run=$1 refhost=$2 simcpu=$3 readme=$4 workdir=$5
# Wine turns command lines and file names into UTF-16 through the locale.
export LC_ALL=C.UTF-8
failures=0
checks=0
mkdir -p "$workdir"

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

run() { "$wine_run" "$refhost" "$@" 2>&1 | tr -d '\r'; }

expect() {  # description, expected exit code, pattern, arguments...
    local what=$1 code=$2 pattern=$3
    shift 3
    checks=$((checks + 1))
    local output status
    output=$("$wine_run" "$refhost" "$@" 2>&1 | tr -d '\r')
    status=${PIPESTATUS[0]}
    if [ "$status" -ne "$code" ] || ! grep -Eq -- "$pattern" <<<"$output"; then
        fail "$what (exit $status, wanted $code; wanted /$pattern/ in:)"
        echo "$output"
    fi
}

# Readings and where they come from.
expect "table of readings, each row marked simulated" 0 '^   2  simulated +[0-9-]+\.[0-9] +[0-9-]+\.[0-9]$' \
    --cpu intel --polls 3 --interval 0 "$simcpu"
expect "the header says no register is read" 0 '^registers  SIMULATED: no register of this machine is read' \
    --cpu intel --polls 1 --interval 0 "$simcpu"
expect "the probe's answer" 0 '^sensor     yes: GetSourceDesc answered 1' --cpu intel --polls 1 --interval 0 "$simcpu"
expect "failed reads show n/a" 0 '^   1  simulated +n/a +n/a$' --cpu intel --fail-every 1 --polls 1 --interval 0 "$simcpu"
expect "no sensor: nothing described" 0 '^     0  \(not described\)$' --cpu amd --polls 1 --interval 0 "$simcpu"
expect "no sensor: the probe's answer" 0 '^sensor     no: GetSourceDesc answered 0' --cpu amd --polls 1 --interval 0 "$simcpu"
expect "csv marks every row" 0 '^1,0,1,CPU0 temperature,°C,simulated,[0-9-]+\.[0-9]$' \
    --cpu intel --polls 1 --interval 0 --csv "$simcpu"

# CSV: every row as many fields as the header, described or not.
checks=$((checks + 1))
for profile in intel amd; do
    csv=$(run --cpu "$profile" --polls 2 --interval 0 --csv "$simcpu")
    if [ "$(head -1 <<<"$csv")" != "poll,source,described,name,unit,registers,reading" ] ||
        [ "$(awk -F, '{ print NF }' <<<"$csv" | sort -u)" != "7" ] || [ "$(wc -l <<<"$csv")" -lt 3 ]; then
        fail "csv for $profile is not rectangular:"
        echo "$csv"
    fi
done

# Headers stay aligned past poll 99: every poll line as long as the header's.
checks=$((checks + 1))
table=$(run --cpu intel --polls 100 --interval 0 "$simcpu")
widths=$(sed -n '/^poll  registers/,$p' <<<"$table" | grep -E '^ *(poll|[0-9]+) ' | awk '{ print length($0) }' | sort -u)
if [ "$(wc -l <<<"$widths")" -ne 1 ] || ! grep -q '^ 100  simulated' <<<"$table"; then
    fail "table lines differ in width past poll 99: $(echo $widths)"
fi

# Streamed: the first poll is on the output while the run waits for the second.
checks=$((checks + 1))
stream=$workdir/stream.txt
"$wine_run" "$refhost" --cpu intel --polls 2 --interval 15000 "$simcpu" >"$stream" 2>&1 &
runner=$!
seen=no
for _ in $(seq 100); do
    if grep -q '^   1  simulated' "$stream"; then seen=yes; break; fi
    kill -0 "$runner" 2>/dev/null || break
    sleep 0.1
done
still_running=$(kill -0 "$runner" 2>/dev/null && echo yes || echo no)
kill "$runner" 2>/dev/null
wait "$runner" 2>/dev/null
if [ "$seen" != yes ] || [ "$still_running" != yes ]; then
    fail "poll 1 was not printed before the run ended (seen $seen, still running $still_running)"
    cat "$stream"
fi

# Load failures.
not_a_dll=$workdir/not-a-dll.dll
echo "not a DLL" >"$not_a_dll"
other_arch=$workdir/other-architecture.dll
machine=$(od -An -tx2 -j$(($(od -An -tu4 -j60 -N4 "$refhost") + 4)) -N2 "$refhost" | tr -d ' ')
[ "$machine" = 8664 ] && other=014c && other_bits=32 && own_bits=64 && folder=x86
[ "$machine" = 014c ] && other=8664 && other_bits=64 && own_bits=32 && folder=x64
# A PE header for the other machine: "MZ", e_lfanew = 0x40, "PE\0\0", machine.
{ printf 'MZ'; head -c 58 /dev/zero; printf '\x40\x00\x00\x00PE\x00\x00'; printf "\\x${other:2:2}\\x${other:0:2}"; head -c 200 /dev/zero; } >"$other_arch"
expect "a DLL of the other architecture" 1 \
    "^refhost: .*other-architecture\.dll is a $other_bits-bit DLL; this reference host is $own_bits-bit: use $folder\\\\refhost\.exe$" \
    "$other_arch"
expect "a missing DLL" 1 '^refhost: cannot load no-such-plugin\.dll: ' no-such-plugin.dll
expect "the system's message has its placeholder filled" 1 '^refhost: cannot load .*not-a-dll\.dll: [^%]*not-a-dll\.dll[^%]*$' \
    "$not_a_dll"
expect "a DLL without the exports" 1 '^refhost: kernel32\.dll does not export GetSourcesNum$' kernel32.dll

# Paths outside the ANSI code page: loaded, and echoed as UTF-8.
unicode_dir="$workdir/with space é Тест 測試"
mkdir -p "$unicode_dir"
cp "$simcpu" "$unicode_dir/Dietherm-simcpu.dll"
expect "a path with a space, é, Cyrillic and CJK" 0 "^plug-in    .*with space é Тест 測試/Dietherm-simcpu\.dll \(" \
    --cpu intel --polls 1 --interval 0 "$unicode_dir/Dietherm-simcpu.dll"

# --msr-dir problems: named before any plug-in is loaded, exit 1.
expect "an empty --msr-dir" 2 '^refhost: --msr-dir needs a directory$' --msr-dir '' "$simcpu"
expect "a missing --msr-dir" 1 '^refhost: --msr-dir /no/such/dir: no such directory$' --msr-dir /no/such/dir "$simcpu"
empty_dir=$workdir/empty-msr-dir
mkdir -p "$empty_dir"
expect "an --msr-dir without files" 1 "^refhost: --msr-dir: .*empty-msr-dir/0/msr does not exist \(processor 0 of [0-9]+\); on Linux, load the msr driver first: modprobe msr \(as root\)$" \
    --msr-dir "$empty_dir" "$simcpu"
unreadable_dir=$workdir/unreadable-msr-dir
mkdir -p "$unreadable_dir/0/msr"  # a folder where the file should be: opens as access denied
expect "an unreadable msr file" 1 "^refhost: --msr-dir: cannot read .*unreadable-msr-dir/0/msr: access denied .*needs root$" \
    --msr-dir "$unreadable_dir" "$simcpu"

# Options.
expect "an unknown option" 2 '^refhost: unknown option --bogus' --bogus "$simcpu"
expect "a bad number names the range" 2 '^refhost: --polls takes a whole number from 0 to 1000000, not many$' \
    --polls many "$simcpu"
expect "a number past the range" 2 '^refhost: --interval takes a whole number from 0 to 3600000, not 3600001$' \
    --interval 3600001 "$simcpu"
expect "a leading zero is decimal" 0 '^  10  simulated' --cpu intel --polls 010 --interval 0 "$simcpu"
expect "08 is eight" 0 '^   8  simulated' --cpu intel --polls 08 --interval 0 "$simcpu"
expect "a hex version" 0 '^     0  CPU0 temperature' --cpu intel --polls 0 --desc-version 0x00010001 "$simcpu"

# --help is the usage text the README shows.
checks=$((checks + 1))
documented=$(sed -n '/^usage: refhost/,/^```/p' "$readme" | sed '$d')
if [ "$(run --help)" != "$documented" ]; then
    fail "--help differs from the README:"
    diff <(run --help) <(echo "$documented")
fi

# The simulated sensor is deterministic for a seed, whichever processor
# happens to read register 0xEE.
checks=$((checks + 1))
first=$(run --cpu intel --seed 42 --polls 4 --interval 0 --csv "$simcpu")
second=$(run --cpu intel --seed 42 --polls 4 --interval 0 --csv "$simcpu")
if [ "$first" != "$second" ] || ! grep -q '^1,0,1,CPU0 temperature' <<<"$first"; then
    fail "the same seed gave different readings:"
    printf '%s\n---\n%s\n' "$first" "$second"
fi

echo "refhost_cli_test: $((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
