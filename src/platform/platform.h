// Every call the module makes into the operating system, the processor or
// the host goes through one of these operations. The product links the
// Windows implementation; the unit tests link a scripted fake instead.
#ifndef DIETHERM_PLATFORM_H
#define DIETHERM_PLATFORM_H

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

// The system's processor set, read together with the process's (which the
// module has no use for). Zero on failure: a system has a processor.
AffinityMask PlatformSystemAffinityMask(void);

// Lets the process run on `mask`. Zero on failure.
int32_t PlatformSetProcessAffinity(AffinityMask mask);

// Binds the calling thread to `mask` and leaves it there. Zero on failure.
int32_t PlatformBindThread(AffinityMask mask);

// A register read through the host: `read` is non-zero when the host's
// reader answered non-zero, and then `low` holds bits 31..0. Returned by
// value, in registers, so a poll keeps nothing on the stack for it.
typedef struct MsrReading {
    uint32_t low;
    int32_t read;
} MsrReading;

// Calls the host's reader on the calling thread's processor.
MsrReading PlatformReadMsr(ReadMsrFunction read_msr, uint32_t msr);

#ifdef __cplusplus
}
#endif

#endif  // DIETHERM_PLATFORM_H
