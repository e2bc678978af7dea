#!/usr/bin/python3
"""The built DLLs, 32-bit or 64-bit, run in an emulated processor on a
scripted Windows, processor and host (tools/emulated_dll.py), so the
product's own machine code is exercised on any machine, whether or not it
runs 32-bit programs: the probe on every processor profile (a missing CPUID
included, through the module's real exception handler), the record bytes,
every poll path, register 0xEE, and on every call the host's callee-saved
registers and stack pointer as the C calling convention requires.

Expected values are written as the hardware and the host define them.

usage: emulated_module_test.py Dietherm.dll Dietherm-simcpu.dll
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from emulated_dll import AMD, INTEL, INTEL_LEAF5, INTEL_NO_SENSOR, NO_CPUID, EmulatedDll, HostCrashed  # noqa: E402

FLT_MAX = 0x7F7FFFFF
THERM_STATUS, TJ_MAX_SELECT = 0x19C, 0xEE
TJ_MAX_85 = 1 << 30
GROUP_VERSION = 0x00010002
PROFILES = [("intel", INTEL, True), ("intel-no-sensor", INTEL_NO_SENSOR, False),
            ("intel-leaf5", INTEL_LEAF5, False), ("amd", AMD, False), ("no-cpuid", NO_CPUID, False)]

failures = []
checks = 0


def check(condition, what):
    global checks
    checks += 1
    if not condition:
        failures.append(what)
        print(f"FAILED: {what}")


def bits(value):
    return struct.unpack("<I", struct.pack("<f", value))[0]


def status(degrees_below, valid=True, noise=0x00A5):
    return (0x80000000 if valid else 0) | (degrees_below << 16) | noise


def expected_record(version, index):
    record = bytearray([0xCC]) * 256
    record[0:4] = struct.pack("<I", version)
    name = f"CPU{index} temperature".encode() + b"\0"
    record[4:4 + len(name)] = name
    record[36:39] = b"\xb0C\0"
    record[68:80] = struct.pack("<III", 0x42C80000, 0, 0x41200000)  # 100.0, 0.0, 10.0
    text = b"CPU temperature as reported by on-die Digital Thermal Sensor\0"
    record[80:80 + len(text)] = text
    if version >= GROUP_VERSION:
        record[144:148] = b"CPU\0"
    return bytes(record)


def loaded(path, processor=INTEL, msrs=None, simulated_cpuid=False):
    dll = EmulatedDll(path, processor, msrs if msrs is not None else {TJ_MAX_SELECT: (1, 0)},
                      simulated_cpuid=simulated_cpuid)
    check(dll.load_notification() == 1, "the load notification agrees to load")
    return dll


def describe(dll, index=0, version=GROUP_VERSION):
    record = dll.record(version)
    answer = dll.source_desc(index, record)
    return answer, dll.read(record, 256)


def probe_on_every_profile(path, label, simulated_cpuid):
    for name, processor, has_sensor in PROFILES:
        what = f"{label}, {name}"
        dll = loaded(path, processor, simulated_cpuid=simulated_cpuid)
        check(not dll.handlers, f"{what}: no exception handler left installed after load")
        check(not dll.bad_removals, f"{what}: the handler removed with the handle it was given")
        check((6, 0) not in dll.cpuid_asked or name in ("intel", "intel-no-sensor"),
              f"{what}: leaf 6 asked only of an Intel processor with leaf 6")
        check(dll.sources_num() == 4, f"{what}: one source per processor")
        answer, record = describe(dll)
        if has_sensor:
            check(answer == 1 and record == expected_record(GROUP_VERSION, 0), f"{what}: described")
        else:
            check(answer == 0 and record == dll.read(dll.record(), 256), f"{what}: nothing described, record untouched")
            dll.calls.clear()
            check(dll.source_data(0) == FLT_MAX and not dll.calls, f"{what}: polls answer FLT_MAX and call nothing")


def record_bytes(path):
    dll = loaded(path)
    for version in (0, 0x00010001, GROUP_VERSION, 0xFFFFFFFF):
        for index in (0, 7, 31, -1, -2147483648):
            answer, record = describe(dll, index, version)
            check(answer == 1 and record == expected_record(version, index), f"record of {index}, version {version:#x}")
    check(dll.source_desc(0, 0) == 0, "a null record answers 0")


def every_poll_path(path):
    dll = loaded(path, msrs={TJ_MAX_SELECT: (1, 0), THERM_STATUS: (1, status(35))})
    describe(dll)
    dll.calls.clear()
    check(dll.source_data(2) == bits(65.0), "a fresh reading: 100 - 35")
    check(dll.calls[-1] == ("ReadMSR", (THERM_STATUS, 2)), "read on processor 2 itself")
    check(dll.process_mask == 0xF, "the process may run on every processor")
    dll.msrs[THERM_STATUS] = (1, status(10, valid=False))
    check(dll.source_data(2) == bits(65.0), "not valid: the last valid reading")
    check(dll.source_data(3) == FLT_MAX, "not valid, never read: FLT_MAX")
    dll.msrs[THERM_STATUS] = (0, 0)
    check(dll.source_data(2) == FLT_MAX, "a failed read: FLT_MAX")
    dll.msrs[THERM_STATUS] = (1, status(127))
    check(dll.source_data(1) == bits(-27.0), "readout 127: -27")
    for failing in ("GetProcessAffinityMask", "SetProcessAffinityMask", "SetThreadAffinityMask"):
        dll.failing = {failing}
        check(dll.source_data(1) == FLT_MAX, f"{failing} failing: FLT_MAX")
    dll.failing = set()
    check(dll.source_data(5) == FLT_MAX, "a processor the system lacks: FLT_MAX")
    dll.calls.clear()
    for index in (32, -1, 2**31 - 1, -2**31):
        check(dll.source_data(index) == FLT_MAX, f"index {index}: FLT_MAX")
    check(not dll.calls, "indexes outside 0..31 call nothing")


def register_ee(path):
    dll = loaded(path, msrs={TJ_MAX_SELECT: (1, TJ_MAX_85), THERM_STATUS: (1, status(35))})
    check(describe(dll)[0] == 1, "0xEE bit 30: described")
    check(dll.source_data(0) == bits(50.0), "0xEE bit 30: base 85")

    dll = loaded(path, msrs={THERM_STATUS: (1, status(35))})
    check(describe(dll)[0] == 1, "no 0xEE, the status reads: described at once")
    dll.msrs[TJ_MAX_SELECT] = (1, TJ_MAX_85)
    check(dll.source_data(0) == bits(65.0), "no 0xEE: base 100, for good")

    dll = loaded(path, msrs={})
    for attempt in range(2):
        answer, record = describe(dll)
        check(answer == 0 and record == dll.read(dll.record(), 256), "a reader that reads nothing: not described")
        check(dll.source_data(0) == FLT_MAX, "a reader that reads nothing: FLT_MAX")
    dll.msrs = {TJ_MAX_SELECT: (1, TJ_MAX_85), THERM_STATUS: (1, status(35))}
    check(describe(dll)[0] == 1, "the reader works: described")
    check(dll.source_data(0) == bits(50.0), "the reader works: base 85 from 0xEE")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    product, simcpu = sys.argv[1:]
    tests = [
        lambda: probe_on_every_profile(product, "product", False),
        lambda: probe_on_every_profile(simcpu, "simcpu, host's SimulatedCpuid", True),
        lambda: probe_on_every_profile(simcpu, "simcpu, real CPUID", False),
        lambda: record_bytes(product),
        lambda: every_poll_path(product),
        lambda: register_ee(product),
    ]
    for test in tests:
        try:
            test()
        except HostCrashed as crash:
            check(False, f"the host would crash: {crash}")
    print(f"emulated_module_test: {checks} checks, {len(failures)} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
