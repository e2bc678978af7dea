#!/usr/bin/env bash
# Poll latency of a built DLL under Wine against the bare platform calls, in
# one run, alternating. Prints the medians and their ratio.
#   bench/poll_latency.sh [x86|x64] [SAMPLES]     (default x64, 2000)
# x86 needs a machine that runs 32-bit programs (wine32); elsewhere it says why.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-x64}
case "$arch" in
    x86 | x64) preset=windows-$arch ;;
    *) echo "usage: $0 [x86|x64] [SAMPLES]" >&2; exit 2 ;;
esac
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target poll_latency Dietherm-simcpu -j"$(nproc)" >/dev/null
export WINEPREFIX=$PWD/build/wine/bench-$arch
tools/wine-run "build/$preset/bench/windows/poll_latency.exe" "build/$preset/Dietherm-simcpu.dll" "${2:-2000}"
