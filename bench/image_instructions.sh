#!/usr/bin/env bash
# Instructions each built Dietherm.dll (32-bit and 64-bit) executes inside its
# own image per call, on every poll path and for a description, counted on
# the binaries themselves in an emulated processor (bench/image_instructions.py).
# Repeatable: the same binary gives the same counts on any machine.
#   bench/image_instructions.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps bench
for preset in windows-x86 windows-x64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target Dietherm -j"$(nproc)" >/dev/null
done
/usr/bin/python3 bench/image_instructions.py build/windows-x86/Dietherm.dll build/windows-x64/Dietherm.dll
