// Helpers shared by the Windows programs that load a built plug-in.
#ifndef DIETHERM_TESTS_WINDOWS_PLUGIN_CHECKS_H
#define DIETHERM_TESTS_WINDOWS_PLUGIN_CHECKS_H

#include <windows.h>

#include <cpuid.h>
#include <cstring>
#include <string>

#include "check.h"
#include "expected_record.h"
#include "plugin.h"

inline bool IsFltMax(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits == 0x7F7FFFFFu;
}

inline int32_t ExpectedSources() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors < 32 ? static_cast<int32_t>(info.dwNumberOfProcessors) : 32;
}

// The probe's answer for the processor this runs on, from our own CPUID.
inline bool ThisProcessorHasTheSensor() {
    unsigned max_leaf = 0, ebx = 0, ecx = 0, edx = 0;
    __cpuid(0, max_leaf, ebx, ecx, edx);
    char vendor[12];
    std::memcpy(vendor + 0, &ebx, 4);
    std::memcpy(vendor + 4, &edx, 4);
    std::memcpy(vendor + 8, &ecx, 4);
    if (std::memcmp(vendor, "GenuineIntel", 12) != 0 || max_leaf < 6) return false;
    unsigned eax6 = 0;
    __cpuid(6, eax6, ebx, ecx, edx);
    return (eax6 & 1) != 0;
}

inline Plugin LoadOrDie(const char *path) {
    Plugin plugin;
    std::string error;
    if (!LoadPlugin(path, &plugin, &error)) {
        std::printf("%s\n", error.c_str());
        ExitProcess(2);
    }
    return plugin;
}

// A description that must fail: answers 0 and leaves every byte alone.
inline void CheckDescriptionFails(const Plugin &plugin, int32_t index, uint32_t version) {
    expected_record::HostRecord record = expected_record::Filled(version);
    CHECK(plugin.source_desc(index, record.as<SourceDesc>()) == 0);
    CHECK(expected_record::FirstDifference(record, expected_record::Filled(version)) == -1);
}

inline void CheckDescription(const Plugin &plugin, int32_t index, uint32_t version) {
    expected_record::HostRecord record = expected_record::Filled(version);
    CHECK(plugin.source_desc(index, record.as<SourceDesc>()) == 1);
    CHECK(expected_record::FirstDifference(record, expected_record::AfterDescription(version, index)) == -1);
}

#endif  // DIETHERM_TESTS_WINDOWS_PLUGIN_CHECKS_H
