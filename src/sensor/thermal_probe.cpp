#include "sensor/thermal_probe.h"

#include <cstring>

#include "platform/platform.h"

namespace {

constexpr uint32_t kThermalPowerLeaf = 6;
constexpr uint32_t kDigitalSensorBit = 1u << 0;

// CPUID leaf 0 spells the vendor in EBX, EDX, ECX, lowest byte first.
void StoreVendor(const CpuidRegisters &regs, char vendor[12]) {
    const uint32_t order[3] = {regs.ebx, regs.edx, regs.ecx};
    for (int word = 0; word < 3; ++word) {
        for (int byte = 0; byte < 4; ++byte) {
            vendor[word * 4 + byte] = static_cast<char>((order[word] >> (8 * byte)) & 0xFFu);
        }
    }
}

}  // namespace

bool DetectThermalSensor() {
    CpuidRegisters regs = {};
    if (PlatformCpuidGuarded(0, 0, &regs) == 0) {
        return false;  // no CPUID instruction: the module still loads
    }
    const uint32_t max_leaf = regs.eax;
    char vendor[12] = {};
    StoreVendor(regs, vendor);

    if (std::strncmp(vendor, "GenuineIntel", sizeof(vendor)) != 0) {
        return false;
    }
    if (max_leaf < kThermalPowerLeaf) {
        return false;
    }
    PlatformCpuid(kThermalPowerLeaf, 0, &regs);
    const uint32_t thermal_leaf_eax = regs.eax;
    return (thermal_leaf_eax & kDigitalSensorBit) != 0;
}
