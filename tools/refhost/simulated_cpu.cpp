#include "simulated_cpu.h"

#include <cpuid.h>

#include <cstring>

namespace {

CpuProfile g_profile = CpuProfile::Real;

struct ProfileInfo {
    CpuProfile profile;
    const char *name;
    const char *vendor;  // 12 characters
    uint32_t max_leaf;
    uint32_t leaf6_eax;
};

// Leaf 6 EAX bit 0 is the Digital Thermal Sensor; the other bits are there
// so that only bit 0 can matter.
const ProfileInfo kProfiles[] = {
    {CpuProfile::Real, "real", nullptr, 0, 0},
    {CpuProfile::IntelWithSensor, "intel", "GenuineIntel", 0x16, 0x77},
    {CpuProfile::IntelWithoutSensor, "intel-no-sensor", "GenuineIntel", 0x16, 0x76},
    {CpuProfile::IntelHighestLeaf5, "intel-leaf5", "GenuineIntel", 0x5, 0x77},
    {CpuProfile::Amd, "amd", "AuthenticAMD", 0x10, 0x77},
    {CpuProfile::NoCpuid, "no-cpuid", nullptr, 0, 0},
};

const ProfileInfo &Info(CpuProfile profile) {
    for (const ProfileInfo &info : kProfiles) {
        if (info.profile == profile) return info;
    }
    return kProfiles[0];
}

}  // namespace

void SetCpuProfile(CpuProfile profile) { g_profile = profile; }

bool ParseCpuProfile(const char *name, CpuProfile *profile) {
    for (const ProfileInfo &info : kProfiles) {
        if (std::strcmp(info.name, name) == 0) {
            *profile = info.profile;
            return true;
        }
    }
    return false;
}

const char *CpuProfileName(CpuProfile profile) { return Info(profile).name; }

const char *CpuProfileNames() { return "real, intel, intel-no-sensor, intel-leaf5, amd, no-cpuid"; }

extern "C" int SimulatedCpuid(uint32_t leaf, uint32_t subleaf, uint32_t regs[4]) {
    const ProfileInfo &info = Info(g_profile);
    if (g_profile == CpuProfile::NoCpuid) {
        return 0;
    }
    if (g_profile == CpuProfile::Real) {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        __cpuid_count(leaf, subleaf, eax, ebx, ecx, edx);
        regs[0] = eax, regs[1] = ebx, regs[2] = ecx, regs[3] = edx;
        return 1;
    }
    regs[0] = regs[1] = regs[2] = regs[3] = 0;
    if (leaf == 0) {
        regs[0] = info.max_leaf;
        std::memcpy(&regs[1], info.vendor + 0, 4);  // EBX
        std::memcpy(&regs[3], info.vendor + 4, 4);  // EDX
        std::memcpy(&regs[2], info.vendor + 8, 4);  // ECX
    } else if (leaf == 6) {  // answered even past max_leaf, so a probe that asks anyway is caught
        regs[0] = info.leaf6_eax;
    }
    return 1;
}
