// The processor the reference host shows to Dietherm-simcpu.dll through its
// SimulatedCpuid export. The product Dietherm.dll never asks.
#ifndef REFHOST_SIMULATED_CPU_H
#define REFHOST_SIMULATED_CPU_H

#include <cstdint>

enum class CpuProfile {
    Real,              // the processor this runs on (the default)
    IntelWithSensor,   // GenuineIntel, leaf 6 reports the Digital Thermal Sensor
    IntelWithoutSensor,
    IntelHighestLeaf5,  // leaf 6 would report the sensor, but leaf 0 stops at 5
    Amd,
    NoCpuid,           // the processor has no CPUID instruction
};

void SetCpuProfile(CpuProfile profile);

// "real", "intel", "intel-no-sensor", "intel-leaf5", "amd", "no-cpuid".
bool ParseCpuProfile(const char *name, CpuProfile *profile);
const char *CpuProfileName(CpuProfile profile);
const char *CpuProfileNames();  // for usage texts

extern "C" __declspec(dllexport) int SimulatedCpuid(uint32_t leaf, uint32_t subleaf, uint32_t regs[4]);

#endif  // REFHOST_SIMULATED_CPU_H
