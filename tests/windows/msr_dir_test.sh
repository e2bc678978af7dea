#!/usr/bin/env bash
# The reference host's --msr-dir on a directory laid out as Linux's msr
# driver lays out /dev/cpu: DIR/N/msr, the register at offset = its index.
# Sparse files, one per processor, with register 0xEE bit 30 set (TjMax 85)
# and a valid thermal status whose readout differs per processor; the high
# halves carry bits the plug-in must ignore.
# usage: msr_dir_test.sh WINE-RUN REFHOST.exe PLUGIN.dll WORKDIR
set -euo pipefail
wine_run=$1 refhost=$2 plugin=$3 workdir=$4

processors=$(getconf _NPROCESSORS_ONLN)
msr_dir=$workdir/cpu
rm -rf "$msr_dir"

put_register() {  # file, register, 8 bytes as 16 hex digits, little-endian order
    local file=$1 register=$2 hex=$3 bytes=""
    for ((i = 0; i < 16; i += 2)); do bytes+="\\x${hex:i:2}"; done
    printf "$bytes" | dd of="$file" bs=1 seek=$((register)) conv=notrunc status=none
}

expected=$(mktemp)
for ((n = 0; n < processors; n++)); do
    mkdir -p "$msr_dir/$n"
    truncate -s 4096 "$msr_dir/$n/msr"
    put_register "$msr_dir/$n/msr" 0xEE "00000040efbeadde"  # low 0x40000000, high 0xDEADBEEF
    readout=$((10 + 5 * n))
    # low: valid (bit 31) | readout << 16 | status bits 0x00A5; high 0xFFFFFFFF
    status=$(printf '%08x' $((0x80000000 | readout << 16 | 0xA5)))
    put_register "$msr_dir/$n/msr" 0x19C "${status:6:2}${status:4:2}${status:2:2}${status:0:2}ffffffff"
done
for poll in 1 2; do
    for ((n = 0; n < processors; n++)); do
        printf '%d,%d,1,CPU%d temperature,\xc2\xb0C,msr-dir,%s.0\n' "$poll" "$n" "$n" $((85 - (10 + 5 * n))) >>"$expected"
    done
done

actual=$(mktemp)
"$wine_run" "$refhost" --cpu intel --msr-dir "$msr_dir" --polls 2 --interval 0 --csv "$plugin" | tr -d '\r' | tail -n +2 >"$actual"
if ! diff -u "$expected" "$actual"; then
    echo "msr_dir_test: readings differ from the register files"
    exit 1
fi

# A file missing for a processor the host will poll: named, before loading.
if [ "$processors" -gt 1 ]; then
    rm "$msr_dir/1/msr"
    status=0
    message=$("$wine_run" "$refhost" --cpu intel --msr-dir "$msr_dir" --polls 1 "$plugin" 2>&1) || status=$?
    message=${message//$'\r'/}
    if [ "$status" -ne 1 ] ||
        ! grep -q "^refhost: --msr-dir: .*/cpu/1/msr does not exist (processor 1 of $processors)" <<<"$message"; then
        echo "exit $status"
        echo "msr_dir_test: a missing file for processor 1 was not named:"
        echo "$message"
        exit 1
    fi
fi
echo "msr_dir_test: $processors processors read from $msr_dir"
