// CPUID under a trap for processors that lack the instruction.
//
// GCC has no __try/__except, so the trap is a vectored exception handler,
// installed only while the guarded instruction runs. It accepts an
// EXCEPTION_ILLEGAL_INSTRUCTION raised inside the guarded region (the CPUID
// instruction itself), resumes past the routine's stores with the answer 0,
// and declines everything else, so that the host's own handlers see any
// other exception as if the module were not there.
#ifndef DIETHERM_CPUID_TRAP_H
#define DIETHERM_CPUID_TRAP_H

#include <windows.h>

#include "platform/platform.h"

extern "C" {
// The guarded region's bounds and where the trap resumes, from the routine's
// assembly.
extern const char GuardedCpuidRegionBegin[];
extern const char GuardedCpuidRegionEnd[];
extern const char GuardedCpuidSkipped[];
}

// The vectored handler, visible to its tests.
LONG CALLBACK SkipMissingCpuid(EXCEPTION_POINTERS *info);

// Runs CPUID under the trap: 1 with `out` filled, 0 when the instruction
// faulted (`out` untouched) or the trap could not be installed.
int32_t RunGuardedCpuid(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out);

#if defined(DIETHERM_SIMULATED_CPUID)
// The processor-simulating build only: an undefined instruction where CPUID
// would run, under the same trap, so that the trap meets a real fault.
// Answers 0 with `out` untouched.
int32_t RunGuardedUndefinedInstruction(CpuidRegisters *out);
#endif

#endif  // DIETHERM_CPUID_TRAP_H
