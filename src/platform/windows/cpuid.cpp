#include <cpuid.h>

#include "platform/platform.h"
#include "platform/windows/cpuid_trap.h"

extern "C" int32_t PlatformCpuidGuarded(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out) {
    return RunGuardedCpuid(leaf, subleaf, out, 0);
}

extern "C" void PlatformCpuid(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out) {
    __cpuid_count(leaf, subleaf, out->eax, out->ebx, out->ecx, out->edx);
}
