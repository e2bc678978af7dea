#!/usr/bin/python3
"""Counts the instructions a built Dietherm.dll executes inside its own image
for one call of each path, on the binary as linked (x86 or x64).

The DLL is mapped at its preferred base in the Unicorn CPU emulator (Debian's
python3-unicorn). Each KERNEL32 and msvcrt import is a stub outside the
image that does what Windows would (a processor set of 4, a host executable
that exports ReadMSR) and returns, popping its arguments as the function's
calling convention says; ReadMSR is a cdecl stub of the host's that answers
the scripted register. CPUID answers as an Intel processor with the sensor,
or as AMD. Only instructions at addresses inside the image are counted, so
the figures are the module's own work, whatever the system calls cost.

usage: image_instructions.py Dietherm.dll [more.dll ...]
"""
import struct
import sys

import pefile
from unicorn import UC_ARCH_X86, UC_HOOK_CODE, UC_HOOK_INSN, UC_MODE_32, UC_MODE_64, Uc
from unicorn import x86_const as x86

STUBS = 0x70000000    # import stubs, then the host's ReadMSR
STACK = 0x60000000
STACK_SIZE = 0x100000
SCRATCH = 0x68000000  # records and out-parameters
RETURN = 0x6F000000   # the caller: emulation stops when a call returns here
MODULE_HANDLE = 0x00400000
PROCESSORS = 4

# Arguments each imported KERNEL32 function takes (stdcall on x86: the callee
# pops them). msvcrt's are cdecl.
STDCALL_ARGS = {
    b"GetSystemInfo": 1, b"GetModuleHandleA": 1, b"GetProcAddress": 2,
    b"GetCurrentProcess": 0, b"GetCurrentThread": 0, b"GetProcessAffinityMask": 3,
    b"SetProcessAffinityMask": 2, b"SetThreadAffinityMask": 2,
    b"AddVectoredExceptionHandler": 2, b"RemoveVectoredExceptionHandler": 1,
}
CDECL = {b"memcpy", b"strncmp"}


class Module:
    def __init__(self, path, vendor, msrs):
        self.pe = pefile.PE(path)
        self.x64 = self.pe.FILE_HEADER.Machine == 0x8664
        self.ptr = 8 if self.x64 else 4
        self.uc = Uc(UC_ARCH_X86, UC_MODE_64 if self.x64 else UC_MODE_32)
        self.vendor, self.msrs = vendor, msrs  # msrs: {register: (answer, low)}
        self.count = 0
        self.base = self.pe.OPTIONAL_HEADER.ImageBase
        size = (self.pe.OPTIONAL_HEADER.SizeOfImage + 0xFFF) & ~0xFFF
        self.uc.mem_map(self.base, size)
        self.uc.mem_write(self.base, bytes(self.pe.get_memory_mapped_image(ImageBase=self.base)))
        for address, length in ((STUBS, 0x10000), (STACK, STACK_SIZE), (SCRATCH, 0x10000), (RETURN, 0x1000)):
            self.uc.mem_map(address, length)
        self.stubs = {}
        self._bind_imports()
        self.read_msr = STUBS + 0x8000
        self.uc.mem_write(self.read_msr, b"\xc3")
        self.uc.hook_add(UC_HOOK_CODE, self._count, begin=self.base, end=self.base + size - 1)
        self.uc.hook_add(UC_HOOK_CODE, self._stub, begin=STUBS, end=STUBS + 0xFFFF)
        self.uc.hook_add(UC_HOOK_INSN, self._cpuid, None, 1, 0, x86.UC_X86_INS_CPUID)
        self.exports = {e.name: self.base + e.address for e in self.pe.DIRECTORY_ENTRY_EXPORT.symbols}
        self.entry = self.base + self.pe.OPTIONAL_HEADER.AddressOfEntryPoint

    def _bind_imports(self):
        next_stub = STUBS
        for dll in self.pe.DIRECTORY_ENTRY_IMPORT:
            for imp in dll.imports:
                if imp.name in STDCALL_ARGS and not self.x64:
                    code = b"\xc2" + struct.pack("<H", 4 * STDCALL_ARGS[imp.name])  # ret N
                elif imp.name in STDCALL_ARGS or imp.name in CDECL:
                    code = b"\xc3"
                else:
                    sys.exit(f"no stub for import {imp.name}")
                self.uc.mem_write(next_stub, code)
                self.uc.mem_write(imp.address, next_stub.to_bytes(self.ptr, "little"))
                self.stubs[next_stub] = imp.name
                next_stub += 16

    # --- registers and memory -------------------------------------------
    def _reg(self, name):
        return getattr(x86, f"UC_X86_REG_{('R' if self.x64 else 'E')}{name}")

    def _arg(self, n):
        if self.x64 and n < 4:
            return self.uc.reg_read((x86.UC_X86_REG_RCX, x86.UC_X86_REG_RDX, x86.UC_X86_REG_R8, x86.UC_X86_REG_R9)[n])
        sp = self.uc.reg_read(self._reg("SP"))
        raw = self.uc.mem_read(sp + self.ptr * (n + 1), self.ptr)  # past the return address
        return int.from_bytes(raw, "little")

    def _put(self, address, value, size):
        self.uc.mem_write(address, (value & ((1 << (8 * size)) - 1)).to_bytes(size, "little"))

    def _answer(self, value):
        self.uc.reg_write(self._reg("AX"), value)

    # --- hooks ------------------------------------------------------------
    def _count(self, uc, address, size, user):
        self.count += 1

    def _cpuid(self, uc, user):
        leaf = uc.reg_read(x86.UC_X86_REG_EAX)
        regs = [0, 0, 0, 0]
        if leaf == 0:
            v = self.vendor.encode()
            regs = [0x16, *struct.unpack("<I", v[0:4]), *struct.unpack("<I", v[8:12]), *struct.unpack("<I", v[4:8])]
        elif leaf == 6:
            regs = [0x77, 0, 0, 0]
        for reg, value in zip((x86.UC_X86_REG_EAX, x86.UC_X86_REG_EBX, x86.UC_X86_REG_ECX, x86.UC_X86_REG_EDX), regs):
            uc.reg_write(reg, value)
        uc.reg_write(self._reg("IP"), uc.reg_read(self._reg("IP")) + 2)
        return True

    def _stub(self, uc, address, size, user):
        if address == self.read_msr:
            answer, low = self.msrs.get(self._arg(0), (0, 0))
            if answer:
                self._put(self._arg(1), 0xFFFFFFFF, 4)
                self._put(self._arg(2), low, 4)
            self._answer(answer)
            return
        name = self.stubs[address]
        all_processors = (1 << PROCESSORS) - 1
        if name == b"GetSystemInfo":  # dwNumberOfProcessors after 2 words and 3 pointers... as laid out
            self._put(self._arg(0) + (32 if self.x64 else 20), PROCESSORS, 4)
        elif name == b"GetModuleHandleA":
            self._answer(MODULE_HANDLE)
        elif name == b"GetProcAddress":
            wanted = bytes(self.uc.mem_read(self._arg(1), 8))
            self._answer(self.read_msr if wanted == b"ReadMSR\0" else 0)
        elif name in (b"GetCurrentProcess", b"GetCurrentThread"):
            self._answer((1 << (8 * self.ptr)) - (1 if name == b"GetCurrentProcess" else 2))
        elif name == b"GetProcessAffinityMask":
            self._put(self._arg(1), all_processors, self.ptr)
            self._put(self._arg(2), all_processors, self.ptr)
            self._answer(1)
        elif name == b"SetProcessAffinityMask":
            self._answer(1 if self._arg(1) & ~all_processors == 0 and self._arg(1) != 0 else 0)
        elif name == b"SetThreadAffinityMask":
            mask = self._arg(1)
            self._answer(all_processors if mask & ~all_processors == 0 and mask != 0 else 0)
        elif name == b"AddVectoredExceptionHandler":
            self._answer(SCRATCH + 0xF000)
        elif name == b"RemoveVectoredExceptionHandler":
            self._answer(1)
        elif name == b"memcpy":
            dest, src, n = self._arg(0), self._arg(1), self._arg(2)
            self.uc.mem_write(dest, bytes(self.uc.mem_read(src, n)))
            self._answer(dest)
        elif name == b"strncmp":
            a = bytes(self.uc.mem_read(self._arg(0), self._arg(2)))
            b = bytes(self.uc.mem_read(self._arg(1), self._arg(2)))
            a, b = a.split(b"\0")[0], b.split(b"\0")[0]
            self._answer(0 if a == b else 1)

    # --- calls ------------------------------------------------------------
    def call(self, target, *args):
        """Calls `target` with integer arguments; answers (EAX/XMM0 bits, image instructions)."""
        sp = STACK + STACK_SIZE - 0x1000
        self.uc.mem_write(RETURN, b"\xf4")
        if self.x64:
            regs = (x86.UC_X86_REG_RCX, x86.UC_X86_REG_RDX, x86.UC_X86_REG_R8, x86.UC_X86_REG_R9)
            for reg, value in zip(regs, args):
                self.uc.reg_write(reg, value & (2**64 - 1))
            sp -= 8 + 32  # return address below the shadow space; RSP = 8 mod 16 at entry
            self._put(sp, RETURN, 8)
        else:
            sp -= 4 * (len(args) + 1)
            self._put(sp, RETURN, 4)
            for n, value in enumerate(args):
                self._put(sp + 4 * (n + 1), value, 4)
        self.uc.reg_write(self._reg("SP"), sp)
        self.count = 0
        self.uc.emu_start(target, RETURN)
        return self.count

    def record(self):
        address = SCRATCH
        self.uc.mem_write(address, b"\xcc" * 256)
        self._put(address, 0x00010002, 4)
        return address


def measure(path):
    def fresh(vendor="GenuineIntel", msrs=None):
        module = Module(path, vendor, msrs if msrs is not None else {0xEE: (1, 0), 0x19C: (1, 0x88230000)})
        module.call(module.entry, MODULE_HANDLE, 1, 0)  # DLL_PROCESS_ATTACH
        return module

    rows = []
    module = fresh()
    rows.append(("first description (finds ReadMSR, reads 0xEE)", module.call(module.exports[b"GetSourceDesc"], 0, module.record())))
    rows.append(("description after that, index 0", module.call(module.exports[b"GetSourceDesc"], 0, module.record())))
    rows.append(("poll: fresh reading", module.call(module.exports[b"GetSourceData"], 0)))
    module.msrs[0x19C] = (1, 0x00230000)
    rows.append(("poll: reading not valid", module.call(module.exports[b"GetSourceData"], 1)))
    module.msrs[0x19C] = (0, 0)
    rows.append(("poll: failed read", module.call(module.exports[b"GetSourceData"], 2)))
    rows.append(("poll: index out of range (32)", module.call(module.exports[b"GetSourceData"], 32)))
    rows.append(("poll: index out of range (-1)", module.call(module.exports[b"GetSourceData"], -1)))
    amd = fresh("AuthenticAMD")
    amd.call(amd.exports[b"GetSourceDesc"], 0, amd.record())
    rows.append(("poll: no sensor", amd.call(amd.exports[b"GetSourceData"], 0)))
    return module.x64, rows


def main():
    for path in sys.argv[1:]:
        x64, rows = measure(path)
        print(f"{path} ({'x64' if x64 else 'x86'}): instructions inside the image per call")
        for label, count in rows:
            print(f"  {label:<50} {count:>4}")


if __name__ == "__main__":
    main()
