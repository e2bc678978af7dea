#!/usr/bin/env bash
# Poll latency of the 64-bit DLL under Wine against the bare platform calls,
# in one run, alternating. Prints the medians and their ratio.
#   bench/poll_latency.sh [SAMPLES]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 --target poll_latency Dietherm-simcpu -j"$(nproc)" >/dev/null
export WINEPREFIX=$PWD/build/wine/bench
tools/wine-run build/windows-x64/bench/windows/poll_latency.exe build/windows-x64/Dietherm-simcpu.dll "${1:-2000}"
