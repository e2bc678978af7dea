"""A built Dietherm.dll (x86 or x64) run in an emulated processor: the binary
as linked, mapped at its preferred base in Unicorn (Debian's python3-unicorn),
on any machine, whether or not it runs 32-bit programs.

Each KERNEL32 and msvcrt import is a stub outside the image that does what
Windows does and pops its arguments as the real function's calling
convention says: a system of `processors` processors, a thread that runs
where SetThreadAffinityMask put it, vectored exception handlers that the
emulated dispatcher calls when CPUID or an undefined instruction faults. The
host's executable exports ReadMSR (C calling convention: the caller pops),
answering from `msrs`, and optionally SimulatedCpuid. CPUID answers from a
scripted processor, or faults like a processor without the instruction.

Instructions executed at addresses inside the image are counted per call.
"""
import struct

import pefile
from unicorn import (UC_ARCH_X86, UC_HOOK_CODE, UC_HOOK_INSN, UC_HOOK_INSN_INVALID, UC_MODE_32, UC_MODE_64, Uc,
                     UcError)
from unicorn import x86_const as x86

STUBS = 0x70000000    # import stubs; the host's exports at HOST_EXPORTS
HOST_EXPORTS = STUBS + 0x8000
STACK = 0x60000000
STACK_SIZE = 0x100000
SCRATCH = 0x68000000  # records, out-parameters, exception records
RETURN = 0x6F000000   # the caller: a call ends when it returns here
HOST_MODULE = 0x00400000
HANDLES = 0x5F000000  # values AddVectoredExceptionHandler hands out

ILLEGAL_INSTRUCTION = 0xC000001D
CONTINUE_EXECUTION = 0xFFFFFFFF
CALLEE_SAVED = ("BX", "SI", "DI", "BP")

# Arguments of each KERNEL32 import (stdcall on x86: the callee pops them).
STDCALL_ARGS = {
    b"GetSystemInfo": 1, b"GetModuleHandleA": 1, b"GetProcAddress": 2,
    b"GetCurrentProcess": 0, b"GetCurrentThread": 0, b"GetProcessAffinityMask": 3,
    b"SetProcessAffinityMask": 2, b"SetThreadAffinityMask": 2,
    b"AddVectoredExceptionHandler": 2, b"RemoveVectoredExceptionHandler": 1,
}
CDECL = {b"memcpy", b"strncmp"}


def cpu(vendor, max_leaf, leaf6_eax):
    """A processor's CPUID: leaf 0 names the vendor, leaf 6 EAX the features.
    Answers by (leaf, subleaf), so an operation that swaps them is caught."""
    v = vendor.encode()
    words = struct.unpack("<3I", v)

    def answer(leaf, subleaf):
        if (leaf, subleaf) == (0, 0):
            return [max_leaf, words[0], words[2], words[1]]  # EBX, EDX, ECX spell it
        if (leaf, subleaf) == (6, 0):
            return [leaf6_eax, 0x1, 0x9, 0x0]
        return [0xDEAD0000 | leaf, 0xBEEF0000 | subleaf, 0, 0]
    return answer


INTEL = cpu("GenuineIntel", 0x16, 0x77)
INTEL_NO_SENSOR = cpu("GenuineIntel", 0x16, 0x76)
INTEL_LEAF5 = cpu("GenuineIntel", 0x5, 0x77)
AMD = cpu("AuthenticAMD", 0x10, 0x77)
NO_CPUID = None


class HostCrashed(Exception):
    """What would end the host process: an unhandled fault, a wild jump."""


class EmulatedDll:
    def __init__(self, path, processor=INTEL, msrs=None, processors=4, simulated_cpuid=False):
        self.pe = pefile.PE(path)
        self.x64 = self.pe.FILE_HEADER.Machine == 0x8664
        self.ptr = 8 if self.x64 else 4
        self.uc = Uc(UC_ARCH_X86, UC_MODE_64 if self.x64 else UC_MODE_32)
        self.processor = processor  # CPUID, or None: the instruction faults
        self.simulated_cpuid = simulated_cpuid  # the host exports SimulatedCpuid
        self.msrs = dict(msrs or {})  # register -> (answer, low); missing: the read fails
        self.processors = processors
        self.failing = set()  # names of imports that fail
        self.calls = []       # (name, args) of every import and host call
        self.cpuid_asked = []
        self.handlers = {}    # handle -> handler address, installed now
        self.bad_removals = []
        self.process_mask = 1
        self.current_processor = 0
        self.count = 0
        self.fault = None
        self.depth = 0  # calls in progress: a handler runs on a stack below the faulting call's
        self.base = self.pe.OPTIONAL_HEADER.ImageBase
        self.size = (self.pe.OPTIONAL_HEADER.SizeOfImage + 0xFFF) & ~0xFFF
        self.uc.mem_map(self.base, self.size)
        self.uc.mem_write(self.base, bytes(self.pe.get_memory_mapped_image(ImageBase=self.base)))
        for address, length in ((STUBS, 0x10000), (STACK, STACK_SIZE), (SCRATCH, 0x10000), (RETURN, 0x1000)):
            self.uc.mem_map(address, length)
        self.uc.mem_write(RETURN, b"\xf4")
        self.stubs = {}
        self._bind_imports()
        self.host = {"ReadMSR": HOST_EXPORTS, "SimulatedCpuid": HOST_EXPORTS + 16}
        for address in self.host.values():
            self.uc.mem_write(address, b"\xc3")  # both cdecl
        self.uc.hook_add(UC_HOOK_CODE, self._count, begin=self.base, end=self.base + self.size - 1)
        self.uc.hook_add(UC_HOOK_CODE, self._stub, begin=STUBS, end=STUBS + 0xFFFF)
        self.uc.hook_add(UC_HOOK_INSN, self._cpuid, None, 1, 0, x86.UC_X86_INS_CPUID)
        self.uc.hook_add(UC_HOOK_INSN_INVALID, self._invalid)
        self.exports = {e.name.decode(): self.base + e.address for e in self.pe.DIRECTORY_ENTRY_EXPORT.symbols}
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
                    raise ValueError(f"no stub for import {imp.name}")
                self.uc.mem_write(next_stub, code)
                self.uc.mem_write(imp.address, next_stub.to_bytes(self.ptr, "little"))
                self.stubs[next_stub] = imp.name.decode()
                next_stub += 16

    # --- registers and memory ----------------------------------------------
    def reg(self, name):
        return getattr(x86, f"UC_X86_REG_{('R' if self.x64 else 'E')}{name}")

    def arg(self, n):
        if self.x64 and n < 4:
            return self.uc.reg_read((x86.UC_X86_REG_RCX, x86.UC_X86_REG_RDX, x86.UC_X86_REG_R8, x86.UC_X86_REG_R9)[n])
        sp = self.uc.reg_read(self.reg("SP"))
        return self.load(sp + self.ptr * (n + 1), self.ptr)  # past the return address

    def load(self, address, size):
        return int.from_bytes(self.uc.mem_read(address, size), "little")

    def store(self, address, value, size):
        self.uc.mem_write(address, (value & ((1 << (8 * size)) - 1)).to_bytes(size, "little"))

    def _answer(self, value):
        self.uc.reg_write(self.reg("AX"), value & ((1 << (8 * self.ptr)) - 1))

    def system_mask(self):
        return (1 << self.processors) - 1

    # --- hooks ---------------------------------------------------------------
    def _count(self, uc, address, size, user):
        self.count += 1

    def _raise(self, code):
        self.fault = (code, self.uc.reg_read(self.reg("IP")))
        self.uc.emu_stop()

    def _cpuid(self, uc, user):
        leaf, subleaf = uc.reg_read(x86.UC_X86_REG_EAX), uc.reg_read(x86.UC_X86_REG_ECX)
        self.cpuid_asked.append((leaf, subleaf))
        if self.processor is None:
            self._raise(ILLEGAL_INSTRUCTION)
            return True
        for reg, value in zip((x86.UC_X86_REG_EAX, x86.UC_X86_REG_EBX, x86.UC_X86_REG_ECX, x86.UC_X86_REG_EDX),
                              self.processor(leaf, subleaf)):
            uc.reg_write(reg, value)
        uc.reg_write(self.reg("IP"), uc.reg_read(self.reg("IP")) + 2)
        return True

    def _invalid(self, uc, user):
        self._raise(ILLEGAL_INSTRUCTION)
        return True

    def _stub(self, uc, address, size, user):
        if address == self.host["ReadMSR"]:
            register = self.arg(0) & 0xFFFFFFFF
            self.calls.append(("ReadMSR", (register, self.current_processor)))
            answer, low = self.msrs.get(register, (0, 0))
            if answer:
                self.store(self.arg(1), 0xFFFFFFFF, 4)
                self.store(self.arg(2), low, 4)
            self._answer(answer)
            return
        if address == self.host["SimulatedCpuid"]:
            leaf, subleaf, regs = self.arg(0) & 0xFFFFFFFF, self.arg(1) & 0xFFFFFFFF, self.arg(2)
            self.cpuid_asked.append((leaf, subleaf))
            if self.processor is None:
                self._answer(0)
                return
            for n, value in enumerate(self.processor(leaf, subleaf)):
                self.store(regs + 4 * n, value, 4)
            self._answer(1)
            return
        name = self.stubs[address]
        args = tuple(self.arg(n) for n in range(STDCALL_ARGS.get(name.encode(), 3)))
        self.calls.append((name, args))
        getattr(self, "_" + name)(*args)

    # Windows, as the module uses it.
    def _GetSystemInfo(self, info):
        self.store(info + (32 if self.x64 else 20), self.processors, 4)  # dwNumberOfProcessors

    def _GetModuleHandleA(self, name):
        self._answer(HOST_MODULE if name == 0 else 0)

    def _GetProcAddress(self, module, name):
        wanted = bytes(self.uc.mem_read(name, 32)).split(b"\0")[0].decode()
        exported = wanted == "ReadMSR" or (wanted == "SimulatedCpuid" and self.simulated_cpuid)
        self._answer(self.host[wanted] if module == HOST_MODULE and exported else 0)

    def _GetCurrentProcess(self):
        self._answer(-1)

    def _GetCurrentThread(self):
        self._answer(-2)

    def _GetProcessAffinityMask(self, process, process_mask, system_mask):
        if "GetProcessAffinityMask" in self.failing or process != (1 << (8 * self.ptr)) - 1:
            return self._answer(0)
        self.store(process_mask, self.process_mask, self.ptr)
        self.store(system_mask, self.system_mask(), self.ptr)
        self._answer(1)

    def _SetProcessAffinityMask(self, process, mask):
        if "SetProcessAffinityMask" in self.failing or mask == 0 or mask & ~self.system_mask():
            return self._answer(0)
        self.process_mask = mask
        self._answer(1)

    def _SetThreadAffinityMask(self, thread, mask):
        if ("SetThreadAffinityMask" in self.failing or thread != (1 << (8 * self.ptr)) - 2 or mask == 0
                or mask & ~self.process_mask):
            return self._answer(0)
        previous = self.process_mask
        self.current_processor = (mask & -mask).bit_length() - 1
        self._answer(previous)

    def _AddVectoredExceptionHandler(self, first, handler):
        handle = HANDLES + 16 * (len(self.handlers) + 1)
        self.handlers[handle] = handler
        self._answer(handle)

    def _RemoveVectoredExceptionHandler(self, handle):
        if self.handlers.pop(handle, None) is None:
            self.bad_removals.append(handle)
            return self._answer(0)
        self._answer(1)

    def _memcpy(self, dest, src, n):
        self.uc.mem_write(dest, bytes(self.uc.mem_read(src, n)))
        self._answer(dest)

    def _strncmp(self, a, b, n):
        first = bytes(self.uc.mem_read(a, n)).split(b"\0")[0]
        second = bytes(self.uc.mem_read(b, n)).split(b"\0")[0]
        self._answer((first > second) - (first < second))

    # --- exceptions ----------------------------------------------------------
    def _dispatch(self):
        """Offers the fault to the installed vectored handlers, as Windows
        would; answers where execution resumes."""
        code, address = self.fault
        self.fault = None
        saved = {r: self.uc.reg_read(self.reg(r)) for r in ("AX", "BX", "CX", "DX", "SI", "DI", "BP", "SP", "FLAGS")}
        record, context, pointers = SCRATCH + 0x4000, SCRATCH + 0x5000, SCRATCH + 0x3F00
        self.uc.mem_write(record, bytes(0x100))
        self.uc.mem_write(context, bytes(0x500))
        self.store(record, code, 4)
        self.store(record + (0x10 if self.x64 else 0x0C), address, self.ptr)
        ip_offset = 0xF8 if self.x64 else 0xB8
        self.store(context + ip_offset, address, self.ptr)
        self.store(pointers, record, self.ptr)
        self.store(pointers + self.ptr, context, self.ptr)
        for handler in list(self.handlers.values()):
            if self._run(handler, pointers)[0] & 0xFFFFFFFF == CONTINUE_EXECUTION:
                for r, value in saved.items():
                    self.uc.reg_write(self.reg(r), value)
                return self.load(context + ip_offset, self.ptr)
        raise HostCrashed(f"unhandled exception {code:#x} at {address:#x}")

    # --- calls ---------------------------------------------------------------
    def _run(self, target, *args):
        """Calls `target` with integer arguments (the platform's C convention);
        answers (EAX or RAX, ST0 or XMM0 as a float's bits)."""
        sp = STACK + STACK_SIZE - 0x1000 - 0x10000 * self.depth
        if self.x64:
            for reg, value in zip((x86.UC_X86_REG_RCX, x86.UC_X86_REG_RDX, x86.UC_X86_REG_R8, x86.UC_X86_REG_R9), args):
                self.uc.reg_write(reg, value & (2**64 - 1))
            sp -= 8 + 32  # the return address under the shadow space: RSP = 8 mod 16 at entry
            self.store(sp, RETURN, 8)
        else:
            sp -= 4 * (len(args) + 1)
            self.store(sp, RETURN, 4)
            for n, value in enumerate(args):
                self.store(sp + 4 * (n + 1), value, 4)
        self.uc.reg_write(self.reg("SP"), sp)
        start = target
        self.depth += 1
        try:
            while True:
                try:
                    self.uc.emu_start(start, RETURN)
                except UcError as error:
                    if self.fault is None:
                        raise HostCrashed(f"{error} at {self.uc.reg_read(self.reg('IP')):#x}") from error
                if self.fault is None:
                    break
                start = self._dispatch()
        finally:
            self.depth -= 1
        if self.uc.reg_read(self.reg("IP")) != RETURN:
            raise HostCrashed(f"stopped at {self.uc.reg_read(self.reg('IP')):#x}")
        return self.uc.reg_read(self.reg("AX")), self._float_bits(), sp

    def _float_bits(self):
        if self.x64:
            return self.uc.reg_read(x86.UC_X86_REG_XMM0) & 0xFFFFFFFF
        top = (self.uc.reg_read(x86.UC_X86_REG_FPSW) >> 11) & 7  # ST0 is physical register TOP
        mantissa, exponent = self.uc.reg_read(x86.UC_X86_REG_FP0 + top)
        sign = -1.0 if exponent & 0x8000 else 1.0
        exponent &= 0x7FFF
        value = 0.0 if mantissa == 0 and exponent == 0 else sign * mantissa * 2.0 ** (exponent - 16383 - 63)
        return struct.unpack("<I", struct.pack("<f", value))[0]

    def call(self, target, *args):
        """A call from the host: answers (integer result, float bits). Checks
        that the callee kept the host's callee-saved registers and returned
        with the stack as a C-convention callee must."""
        sentinels = {}
        for n, r in enumerate(CALLEE_SAVED):
            sentinels[r] = 0x5A5A0000 + n
            self.uc.reg_write(self.reg(r), sentinels[r])
        self.count = 0
        result, float_bits, sp = self._run(target, *args)
        for r, value in sentinels.items():
            if self.uc.reg_read(self.reg(r)) != value:
                raise HostCrashed(f"the host's {r} register was not kept")
        expected_sp = sp + self.ptr  # the return address popped, the arguments left to the caller
        if target == self.entry and not self.x64:
            expected_sp += 12  # DllMain is stdcall
        if self.uc.reg_read(self.reg("SP")) != expected_sp:
            raise HostCrashed("the stack pointer came back wrong")
        return result & 0xFFFFFFFF, float_bits

    # --- the host's calls ----------------------------------------------------
    def load_notification(self):
        return self.call(self.entry, 0x10000000, 1, 0)[0]  # DLL_PROCESS_ATTACH

    def sources_num(self):
        return self.call(self.exports["GetSourcesNum"])[0]

    def source_desc(self, index, record):
        return self.call(self.exports["GetSourceDesc"], index, record)[0]

    def source_data(self, index):
        return self.call(self.exports["GetSourceData"], index)[1]

    def record(self, version=0x00010002, fill=0xCC):
        address = SCRATCH
        self.uc.mem_write(address, bytes([fill]) * 256)
        self.store(address, version, 4)
        return address

    def read(self, address, size):
        return bytes(self.uc.mem_read(address, size))
