// CPUID, and CPUID under a trap for processors that lack the instruction.
//
// GCC has no __try/__except, so the trap is a vectored exception handler
// that is installed only around the one guarded instruction. It accepts an
// EXCEPTION_ILLEGAL_INSTRUCTION raised exactly at that instruction, resumes
// past its stores with the answer 0, and declines every other exception so
// that the host's own handlers see it as if the module were not there.
#include <cpuid.h>
#include <windows.h>

#include "platform/platform.h"
#include "platform/windows/cpuid_trap.h"

// The instruction under the trap. The trap's own tests build this file with
// an undefined instruction here, to meet a real illegal-instruction fault.
#ifndef DIETHERM_GUARDED_INSTRUCTION
#define DIETHERM_GUARDED_INSTRUCTION "cpuid"
#endif

extern "C" {
// Defined in assembly below: answers 1 with `out` filled, or 0 when the
// trap resumed at GuardedCpuidSkipped.
int32_t GuardedCpuid(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out);
}

// The labels sit in a top-level block so that they exist exactly once.
#if defined(__x86_64__)
// Microsoft x64: leaf in ECX, subleaf in EDX, out in R8. RBX is kept in R10
// rather than on the stack, so the routine never moves RSP and needs no
// unwind data.
__asm__(
    ".text\n"
    ".globl GuardedCpuid\n"
    "GuardedCpuid:\n"
    "    movq %rbx, %r10\n"
    "    movl %ecx, %eax\n"
    "    movl %edx, %ecx\n"
    ".globl GuardedCpuidInstruction\n"
    "GuardedCpuidInstruction:\n"
    "    " DIETHERM_GUARDED_INSTRUCTION "\n"
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
    ".globl _GuardedCpuidInstruction\n"
    "_GuardedCpuidInstruction:\n"
    "    " DIETHERM_GUARDED_INSTRUCTION "\n"
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
    if (record->ExceptionCode != EXCEPTION_ILLEGAL_INSTRUCTION ||
        record->ExceptionAddress != static_cast<const void *>(GuardedCpuidInstruction)) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
#if defined(__x86_64__)
    info->ContextRecord->Rip = reinterpret_cast<DWORD64>(GuardedCpuidSkipped);
#else
    info->ContextRecord->Eip = reinterpret_cast<DWORD>(GuardedCpuidSkipped);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

extern "C" int32_t PlatformCpuidGuarded(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out) {
    // Without the trap a missing instruction would end the host: rather
    // answer "cannot tell".
    void *handler = AddVectoredExceptionHandler(1, SkipMissingCpuid);
    if (handler == nullptr) {
        return 0;
    }
    CpuidRegisters regs = {};
    const int32_t executed = GuardedCpuid(leaf, subleaf, &regs);
    RemoveVectoredExceptionHandler(handler);
    if (executed) {
        *out = regs;
    }
    return executed;
}

extern "C" void PlatformCpuid(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out) {
    __cpuid_count(leaf, subleaf, out->eax, out->ebx, out->ecx, out->edx);
}
