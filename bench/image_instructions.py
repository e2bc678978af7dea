#!/usr/bin/python3
"""Counts the instructions a built Dietherm.dll executes inside its own image
for one call of each path, on the binary as linked (x86 or x64), in an
emulated processor (tools/emulated_dll.py): Windows and the host's ReadMSR
are stubs outside the image, so only the module's own work is counted.

usage: image_instructions.py Dietherm.dll [more.dll ...]
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from emulated_dll import AMD, INTEL, EmulatedDll  # noqa: E402

FRESH, NOT_VALID = 0x88230000, 0x00230000  # valid, 35 below TjMax; not valid


def measure(path):
    def loaded(processor):
        dll = EmulatedDll(path, processor, msrs={0xEE: (1, 0), 0x19C: (1, FRESH)})
        dll.load_notification()
        return dll

    def count(dll, export, *args):
        dll.call(dll.exports[export], *args)
        return dll.count

    rows = []
    dll = loaded(INTEL)
    rows.append(("first description (finds ReadMSR, reads 0xEE)", count(dll, "GetSourceDesc", 0, dll.record())))
    rows.append(("a later description, index 0", count(dll, "GetSourceDesc", 0, dll.record())))
    rows.append(("poll: fresh reading", count(dll, "GetSourceData", 0)))
    dll.msrs[0x19C] = (1, NOT_VALID)
    rows.append(("poll: reading not valid", count(dll, "GetSourceData", 1)))
    dll.msrs[0x19C] = (0, 0)
    rows.append(("poll: failed read", count(dll, "GetSourceData", 2)))
    rows.append(("poll: index out of range (32)", count(dll, "GetSourceData", 32)))
    rows.append(("poll: index out of range (-1)", count(dll, "GetSourceData", -1)))
    amd = loaded(AMD)
    amd.source_desc(0, amd.record())
    rows.append(("poll: no sensor", count(amd, "GetSourceData", 0)))
    return dll.x64, rows


def main():
    for path in sys.argv[1:]:
        x64, rows = measure(path)
        print(f"{path} ({'x64' if x64 else 'x86'}): instructions inside the image per call")
        for label, number in rows:
            print(f"  {label:<50} {number:>4}")


if __name__ == "__main__":
    main()
