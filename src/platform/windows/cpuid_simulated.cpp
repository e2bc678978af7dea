// CPUID for Dietherm-simcpu.dll, the build that tests run on a scripted
// processor. When the host executable exports SimulatedCpuid, its answers
// stand in for the processor's; when it answers 0 the simulated processor
// has no CPUID, and an undefined instruction runs where CPUID would, so the
// module's real trap meets a real fault. Without that export the real CPUID
// runs. The product never contains this file.
#include <cpuid.h>

#include "platform/platform.h"
#include "platform/windows/cpuid_trap.h"
#include "platform/windows/host_export.h"

namespace {

// int SimulatedCpuid(uint32_t leaf, uint32_t subleaf, uint32_t regs[4]):
// regs = EAX, EBX, ECX, EDX; 1 when answered, 0 for "no CPUID instruction".
typedef int(DIETHERM_CALL *SimulatedCpuidFunction)(uint32_t leaf, uint32_t subleaf, uint32_t regs[4]);

SimulatedCpuidFunction FindHostSimulatedCpuid() {
    return reinterpret_cast<SimulatedCpuidFunction>(FindHostExport("SimulatedCpuid"));
}

bool AskSimulation(SimulatedCpuidFunction simulated, uint32_t leaf, uint32_t subleaf, CpuidRegisters *out) {
    uint32_t regs[4] = {};
    if (simulated(leaf, subleaf, regs) == 0) {
        return false;
    }
    *out = CpuidRegisters{regs[0], regs[1], regs[2], regs[3]};
    return true;
}

}  // namespace

extern "C" int32_t PlatformCpuidGuarded(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out) {
    SimulatedCpuidFunction simulated = FindHostSimulatedCpuid();
    if (simulated == nullptr) {
        return RunGuardedCpuid(leaf, subleaf, out);
    }
    if (AskSimulation(simulated, leaf, subleaf, out)) {
        return 1;
    }
    return RunGuardedUndefinedInstruction(out);
}

extern "C" void PlatformCpuid(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out) {
    SimulatedCpuidFunction simulated = FindHostSimulatedCpuid();
    if (simulated == nullptr) {
        __cpuid_count(leaf, subleaf, out->eax, out->ebx, out->ecx, out->edx);
        return;
    }
    if (!AskSimulation(simulated, leaf, subleaf, out)) {
        __builtin_trap();  // as a processor without CPUID would fault here
    }
}
