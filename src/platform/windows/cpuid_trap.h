// The illegal-instruction trap around the guarded CPUID, visible to its tests.
#ifndef DIETHERM_CPUID_TRAP_H
#define DIETHERM_CPUID_TRAP_H

#include <windows.h>

extern "C" {
// The address of the guarded instruction and where the trap resumes.
extern const char GuardedCpuidInstruction[];
extern const char GuardedCpuidSkipped[];
}

// Vectored handler: accepts EXCEPTION_ILLEGAL_INSTRUCTION raised at
// GuardedCpuidInstruction and resumes at GuardedCpuidSkipped; declines
// everything else.
LONG CALLBACK SkipMissingCpuid(EXCEPTION_POINTERS *info);

#endif  // DIETHERM_CPUID_TRAP_H
