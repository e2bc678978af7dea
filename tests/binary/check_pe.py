#!/usr/bin/python3
"""Reads a built Dietherm.dll as a Windows loader and host see it and fails
on any difference from the module's binary contract.

usage: check_pe.py PATH --arch x86|x64 [--must-fail-with TEXT ...]
Needs Debian's python3-pefile (run with /usr/bin/python3) and the MinGW-w64
objdump. With --must-fail-with, the DLL is a known-bad fixture: the check
passes only when every TEXT appears among the failures.
"""
import argparse
import re
import subprocess
import sys

import pefile

EXPORTS = {"GetSourcesNum", "GetSourceDesc", "GetSourceData"}
ALLOWED_IMPORTS = {"KERNEL32.dll", "msvcrt.dll"}
MACHINES = {"x86": 0x014C, "x64": 0x8664}
OBJDUMP = {"x86": "i686-w64-mingw32-objdump", "x64": "x86_64-w64-mingw32-objdump"}

IMAGE_FILE_DLL = 0x2000
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
NO_SEH = 0x0400
SCN_CNT_CODE = 0x00000020
SCN_MEM_EXECUTE = 0x20000000
SCN_MEM_WRITE = 0x80000000

VERSION_STRINGS = {
    "InternalName": "Dietherm.dll",
    "OriginalFilename": "Dietherm.dll",
    "ProductName": " Dietherm.dll",
    "LegalTrademarks": "Core\u2122 is a trademark of Intel\u00ae Corporation",
}
DESCRIPTIVE_STRINGS = ("FileDescription", "Comments")


class Report:
    def __init__(self):
        self.failures = []
        self.count = 0

    def check(self, ok, what):
        self.count += 1
        if not ok:
            self.failures.append(what)


def section_of(pe, rva):
    for section in pe.sections:
        if section.contains_rva(rva):
            return section
    return None


def check_headers(pe, arch, report):
    report.check(pe.FILE_HEADER.Machine == MACHINES[arch],
                 f"machine is 0x{pe.FILE_HEADER.Machine:04x}, not {arch}")
    report.check(pe.FILE_HEADER.Characteristics & IMAGE_FILE_DLL, "the DLL flag is not set")
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    report.check(flags & DYNAMIC_BASE, "DYNAMIC_BASE (ASLR) is off")
    report.check(flags & NX_COMPAT, "NX_COMPAT is off")
    if arch == "x86":
        safe_seh = False
        load_config = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
        if load_config is not None:
            safe_seh = getattr(load_config.struct, "SEHandlerTable", 0) != 0
        report.check(flags & NO_SEH or safe_seh, "neither NO_SEH nor a SafeSEH table")
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode(errors="replace")
        both = section.Characteristics & SCN_MEM_WRITE and section.Characteristics & SCN_MEM_EXECUTE
        report.check(not both, f"section {name} is writable and executable")


def check_exports(pe, report):
    directory = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    report.check(directory is not None, "no export table")
    if directory is None:
        return
    report.check(directory.name == b"Dietherm.dll", f"export table names {directory.name!r}")
    names = set()
    for symbol in directory.symbols:
        report.check(symbol.name is not None, f"export by ordinal only: {symbol.ordinal}")
        if symbol.name is None:
            continue
        name = symbol.name.decode()
        names.add(name)
        report.check(symbol.forwarder is None, f"{name} is forwarded")
        section = section_of(pe, symbol.address)
        is_code = section is not None and section.Characteristics & SCN_MEM_EXECUTE \
            and section.Characteristics & SCN_CNT_CODE
        report.check(is_code, f"{name} is not code")
    report.check(names == EXPORTS and len(directory.symbols) == len(EXPORTS),
                 f"exports are {sorted(names)}, not exactly {sorted(EXPORTS)}")


INSTRUCTION = re.compile(r"^\s*([0-9a-f]+):\s+(\S+)\s*(.*)$")


def disassemble(path, arch):
    """Address -> (mnemonic, operands, next address) for the code sections."""
    listing = subprocess.run([OBJDUMP[arch], "-d", "--no-show-raw-insn", path],
                             check=True, capture_output=True, text=True).stdout
    rows = []
    for line in listing.splitlines():
        match = INSTRUCTION.match(line)
        if match:
            rows.append((int(match.group(1), 16), match.group(2), match.group(3).strip()))
    code = {}
    for (address, mnemonic, operands), following in zip(rows, rows[1:] + [(None, None, None)]):
        code[address] = (mnemonic, operands, following[0])
    return code


def returns_reachable(code, start):
    """The return instructions an export can end with: follows direct jumps
    (tail calls included) and both ways of every conditional branch; a call
    returns to the next instruction. Answers (rets, problems)."""
    rets, problems, seen, pending = [], [], set(), [start]
    while pending:
        address = pending.pop()
        while address is not None and address not in seen:
            seen.add(address)
            if address not in code:
                problems.append(f"no instruction at 0x{address:x}")
                break
            mnemonic, operands, following = code[address]
            if mnemonic.startswith("ret"):
                rets.append((address, f"{mnemonic} {operands}".strip()))
                break
            if mnemonic in ("ud2", "int3", "hlt"):
                break
            target = re.match(r"^(?:0x)?([0-9a-f]+)(?:\s|$)", operands)
            if mnemonic.startswith("jmp"):
                if not target:
                    problems.append(f"indirect jump at 0x{address:x}: {operands}")
                    break
                address = int(target.group(1), 16)
                continue
            if mnemonic.startswith("j") and target:
                pending.append(int(target.group(1), 16))
            address = following
    return rets, problems


def check_calling_convention(pe, path, arch, report):
    """cdecl: the caller removes the arguments, so every way out of an export
    is a plain ret. A `ret N` would leave the host's stack unbalanced."""
    directory = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    if directory is None:
        return
    code = disassemble(path, arch)
    base = pe.OPTIONAL_HEADER.ImageBase
    for symbol in directory.symbols:
        if symbol.name is None:
            continue
        name = symbol.name.decode()
        rets, problems = returns_reachable(code, base + symbol.address)
        report.check(not problems, f"{name}: cannot follow its code: {problems}")
        report.check(bool(rets), f"{name}: no return instruction found")
        for address, text in rets:
            report.check(text in ("ret", "retq", "retl"), f"{name} returns with {text} at 0x{address:x}")


def check_imports(pe, report):
    imported = {entry.dll.decode() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    report.check(imported <= ALLOWED_IMPORTS, f"imports from {sorted(imported - ALLOWED_IMPORTS)}")
    report.check(not hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"), "delay-loaded imports")


def check_version_block(pe, report, version):
    """`version` is the project's MAJOR.MINOR.PATCH: the fixed part carries it
    with a fourth number 0, the strings MAJOR.MINOR."""
    major, minor, patch = (int(part) for part in version.split("."))
    fixed_list = getattr(pe, "VS_FIXEDFILEINFO", None)
    report.check(bool(fixed_list), "no version block")
    if not fixed_list:
        return
    fixed = fixed_list[0]
    expected_fixed = {
        "FileVersionMS": major << 16 | minor, "FileVersionLS": patch << 16,
        "ProductVersionMS": major << 16 | minor, "ProductVersionLS": patch << 16,
        "FileFlagsMask": 0x17, "FileFlags": 0, "FileOS": 4, "FileType": 0, "FileSubtype": 0,
    }
    for field, value in expected_fixed.items():
        actual = getattr(fixed, field)
        report.check(actual == value, f"version {field} is 0x{actual:x}, not 0x{value:x}")

    tables, translations = [], []
    for info in (entry for group in pe.FileInfo for entry in group):
        if info.Key == b"StringFileInfo":
            tables.extend(info.StringTable)
        elif info.Key == b"VarFileInfo":
            translations.extend(var.entry.get(b"Translation") for var in info.Var)
    report.check(len(tables) == 1, f"{len(tables)} string tables, not one")
    report.check(translations == ["0x0800 0x04b0"], f"translation entries {translations}")
    if not tables:
        return
    table = tables[0]
    report.check(table.LangID == b"080004b0", f"string table for {table.LangID!r}, not 080004b0")
    strings = {key.decode(): value.decode("utf-8") for key, value in table.entries.items()}
    expected_strings = dict(VERSION_STRINGS, FileVersion=f"{major}.{minor}", ProductVersion=f"{major}.{minor}")
    for key, value in expected_strings.items():
        report.check(strings.get(key) == value, f"{key} is {strings.get(key)!r}, not {value!r}")
    for key in DESCRIPTIVE_STRINGS:
        text = strings.get(key, "").lower()
        report.check("temperature" in text and "plug-in" in text,
                     f"{key} {strings.get(key)!r} does not describe a temperature plug-in")
    extra = set(strings) - set(expected_strings) - set(DESCRIPTIVE_STRINGS)
    report.check(not extra, f"unexpected version strings {sorted(extra)}")


def check_no_test_seam(path, report):
    with open(path, "rb") as image:
        data = image.read()
    report.check(b"SimulatedCpuid" not in data, "the product asks the host for simulated CPUID answers")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dll")
    parser.add_argument("--arch", choices=sorted(MACHINES), required=True)
    parser.add_argument("--version", required=True, help="the project's version, MAJOR.MINOR.PATCH")
    parser.add_argument("--must-fail-with", action="append", default=[], metavar="TEXT")
    args = parser.parse_args()

    pe = pefile.PE(args.dll)
    report = Report()
    check_headers(pe, args.arch, report)
    check_exports(pe, report)
    check_calling_convention(pe, args.dll, args.arch, report)
    check_imports(pe, report)
    check_version_block(pe, report, args.version)
    check_no_test_seam(args.dll, report)
    for failure in report.failures:
        print(f"{args.dll}: {failure}")
    print(f"check_pe {args.arch}: {report.count} checks, {len(report.failures)} failed")
    if args.must_fail_with:
        unseen = [text for text in args.must_fail_with
                  if not any(text in failure for failure in report.failures)]
        for text in unseen:
            print(f"expected a failure containing {text!r}")
        return 1 if unseen else 0
    return 1 if report.failures else 0


if __name__ == "__main__":
    sys.exit(main())
