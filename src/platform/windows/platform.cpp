// The platform operations on Windows: the system's processors and affinity,
// the host's exports, and CPUID. The trap that guards the first CPUID is in
// cpuid_trap.cpp; the processor-simulating test build answers CPUID in
// cpuid_simulated.cpp instead of here.
#include <cpuid.h>
#include <windows.h>

#include "platform/platform.h"
#include "platform/windows/cpuid_trap.h"
#include "platform/windows/host_export.h"

extern "C" uint32_t PlatformProcessorCount(void) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors;
}

void *FindHostExport(const char *name) {
    // A null name gives the executable that started the process: the host.
    // The handle is not counted, so there is nothing to release.
    HMODULE host = GetModuleHandleA(nullptr);
    if (host == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void *>(GetProcAddress(host, name));
}

extern "C" ReadMsrFunction PlatformFindHostReadMsr(void) {
    return reinterpret_cast<ReadMsrFunction>(FindHostExport("ReadMSR"));
}

extern "C" MsrReading PlatformReadMsr(ReadMsrFunction read_msr, uint32_t msr) {
    uint32_t second;  // the host's to fill; never read
    uint32_t bits_31_to_0 = 0;
    if (read_msr(msr, &second, &bits_31_to_0) == 0) {
        return MsrReading{0, 0};
    }
    return MsrReading{bits_31_to_0, 1};
}

extern "C" AffinityMask PlatformSystemAffinityMask(void) {
    // Written by the call when it succeeds, and read only then.
    DWORD_PTR process_mask;
    DWORD_PTR system_mask;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) == 0) {
        return 0;
    }
    return system_mask;
}

extern "C" int32_t PlatformSetProcessAffinity(AffinityMask mask) {
    return SetProcessAffinityMask(GetCurrentProcess(), mask) != 0 ? 1 : 0;
}

extern "C" int32_t PlatformBindThread(AffinityMask mask) {
    // The previous mask is dropped on purpose: the thread stays bound.
    return SetThreadAffinityMask(GetCurrentThread(), mask) != 0 ? 1 : 0;
}

#if !defined(DIETHERM_SIMULATED_CPUID)
extern "C" int32_t PlatformCpuidGuarded(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out) {
    return RunGuardedCpuid(leaf, subleaf, out);
}

extern "C" void PlatformCpuid(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out) {
    __cpuid_count(leaf, subleaf, out->eax, out->ebx, out->ecx, out->edx);
}
#endif
