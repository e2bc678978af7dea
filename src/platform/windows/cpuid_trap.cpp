#include "platform/windows/cpuid_trap.h"

// The processor-simulating build can meet an undefined instruction inside
// the guarded region; the product has only CPUID there.
#if defined(DIETHERM_SIMULATED_CPUID)
#if defined(__x86_64__)
#define DIETHERM_UNDEFINED_PRELUDE "    testl %r9d, %r9d\n    jz 1f\n    ud2\n1:\n"
#else
#define DIETHERM_UNDEFINED_PRELUDE "    cmpl $0, 24(%esp)\n    je 1f\n    ud2\n1:\n"
#endif
#else
#define DIETHERM_UNDEFINED_PRELUDE ""
#endif

extern "C" {
// Answers 1 with `out` filled, or 0 when the trap resumed at GuardedCpuidSkipped.
#if defined(DIETHERM_SIMULATED_CPUID)
// The simulating build's routine runs an undefined instruction in place of
// CPUID when `execute_undefined` is set.
int32_t GuardedCpuid(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out, int32_t execute_undefined);
#else
int32_t GuardedCpuid(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out);
#endif
}

// The labels sit in a top-level block so that they exist exactly once.
#if defined(__x86_64__)
// Microsoft x64: leaf in ECX, subleaf in EDX, out in R8 (the simulating
// build's flag in R9D).
// RBX is kept in R10 rather than on the stack, so the routine never moves
// RSP and needs no unwind data.
__asm__(
    ".text\n"
    ".globl GuardedCpuid\n"
    "GuardedCpuid:\n"
    "    movq %rbx, %r10\n"
    "    movl %ecx, %eax\n"
    "    movl %edx, %ecx\n"
    ".globl GuardedCpuidRegionBegin\n"
    "GuardedCpuidRegionBegin:\n"
    DIETHERM_UNDEFINED_PRELUDE
    "    cpuid\n"
    ".globl GuardedCpuidRegionEnd\n"
    "GuardedCpuidRegionEnd:\n"
    "    movl %eax, 0(%r8)\n"
    "    movl %ebx, 4(%r8)\n"
    "    movl %ecx, 8(%r8)\n"
    "    movl %edx, 12(%r8)\n"
    "    movq %r10, %rbx\n"
    "    movl $1, %eax\n"
    "    ret\n"
    ".globl GuardedCpuidSkipped\n"
    "GuardedCpuidSkipped:\n"
    "    movq %r10, %rbx\n"
    "    xorl %eax, %eax\n"
    "    ret\n");
#elif defined(__i386__)
// cdecl: arguments on the stack; EBX and ESI belong to the caller.
__asm__(
    ".text\n"
    ".globl _GuardedCpuid\n"
    "_GuardedCpuid:\n"
    "    pushl %ebx\n"
    "    pushl %esi\n"
    "    movl 12(%esp), %eax\n"
    "    movl 16(%esp), %ecx\n"
    "    movl 20(%esp), %esi\n"
    ".globl _GuardedCpuidRegionBegin\n"
    "_GuardedCpuidRegionBegin:\n"
    DIETHERM_UNDEFINED_PRELUDE
    "    cpuid\n"
    ".globl _GuardedCpuidRegionEnd\n"
    "_GuardedCpuidRegionEnd:\n"
    "    movl %eax, 0(%esi)\n"
    "    movl %ebx, 4(%esi)\n"
    "    movl %ecx, 8(%esi)\n"
    "    movl %edx, 12(%esi)\n"
    "    movl $1, %eax\n"
    "    popl %esi\n"
    "    popl %ebx\n"
    "    ret\n"
    ".globl _GuardedCpuidSkipped\n"
    "_GuardedCpuidSkipped:\n"
    "    xorl %eax, %eax\n"
    "    popl %esi\n"
    "    popl %ebx\n"
    "    ret\n");
#else
#error "CPUID is an x86 instruction"
#endif

LONG CALLBACK SkipMissingCpuid(EXCEPTION_POINTERS *info) {
    const EXCEPTION_RECORD *record = info->ExceptionRecord;
    const char *address = static_cast<const char *>(record->ExceptionAddress);
    if (record->ExceptionCode != EXCEPTION_ILLEGAL_INSTRUCTION || address < GuardedCpuidRegionBegin ||
        address >= GuardedCpuidRegionEnd) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
#if defined(__x86_64__)
    info->ContextRecord->Rip = reinterpret_cast<DWORD64>(GuardedCpuidSkipped);
#else
    info->ContextRecord->Eip = reinterpret_cast<DWORD>(GuardedCpuidSkipped);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

namespace {

// Installs the trap only around `routine`, so that it can never see an
// exception of the host's, and removes it on either path.
template <typename Routine>
int32_t UnderTrap(CpuidRegisters *out, Routine routine) {
    // Without the trap a missing instruction would end the host: rather
    // answer "cannot tell".
    void *handler = AddVectoredExceptionHandler(1, SkipMissingCpuid);
    if (handler == nullptr) {
        return 0;
    }
    CpuidRegisters regs = {};
    const int32_t executed = routine(&regs);
    RemoveVectoredExceptionHandler(handler);
    if (executed != 0) {
        *out = regs;
    }
    return executed;
}

}  // namespace

int32_t RunGuardedCpuid(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out) {
#if defined(DIETHERM_SIMULATED_CPUID)
    return UnderTrap(out, [=](CpuidRegisters *regs) { return GuardedCpuid(leaf, subleaf, regs, 0); });
#else
    return UnderTrap(out, [=](CpuidRegisters *regs) { return GuardedCpuid(leaf, subleaf, regs); });
#endif
}

#if defined(DIETHERM_SIMULATED_CPUID)
int32_t RunGuardedUndefinedInstruction(CpuidRegisters *out) {
    return UnderTrap(out, [](CpuidRegisters *regs) { return GuardedCpuid(0, 0, regs, 1); });
}
#endif
