// Every call the module makes into the operating system, the processor or
// the host goes through one of these operations. The product links the
// Windows implementation; the unit tests link a scripted fake instead.
#ifndef DIETHERM_PLATFORM_H
#define DIETHERM_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

#include "dietherm.h"

#ifdef __cplusplus
extern "C" {
#endif

// The host's exported register reader: register index, then two values it
// fills; the third argument receives bits 31..0. Non-zero when read.
typedef int32_t(DIETHERM_CALL *ReadMsrFunction)(uint32_t msr, uint32_t *second, uint32_t *low);

// A processor set as the platform holds it, bit N for processor N. Native
// pointer width, so a 64-bit host's wider system set survives a round trip.
typedef uintptr_t AffinityMask;

// CPUID registers in the order EAX, EBX, ECX, EDX.
typedef struct CpuidRegisters {
    uint32_t eax, ebx, ecx, edx;
} CpuidRegisters;

// Number of logical processors the system reports.
uint32_t PlatformProcessorCount(void);

// CPUID under the illegal-instruction trap. Answers 1 with `out` filled, or
// 0 when the processor has no CPUID instruction (`out` is then untouched).
int32_t PlatformCpuidGuarded(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out);

// CPUID without a trap, for leaves asked once the instruction is known to exist.
void PlatformCpuid(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out);

// The host executable's "ReadMSR" export, or null when there is no
// executable module or it has no such export.
ReadMsrFunction PlatformFindHostReadMsr(void);

// The process's and the system's processor sets. Zero on failure.
int32_t PlatformGetAffinityMasks(AffinityMask *process, AffinityMask *system);

// Lets the process run on `mask`. Zero on failure.
int32_t PlatformSetProcessAffinity(AffinityMask mask);

// Binds the calling thread to `mask` and leaves it there. Zero on failure.
int32_t PlatformBindThread(AffinityMask mask);

// Calls the host's reader on the calling thread's processor; stores bits
// 31..0 of the register in `low` when it answers non-zero.
int32_t PlatformReadMsr(ReadMsrFunction read_msr, uint32_t msr, uint32_t *low);

#ifdef __cplusplus
}
#endif

#endif  // DIETHERM_PLATFORM_H
