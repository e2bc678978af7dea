// The register fields the module reads, as Intel's Software Developer's
// Manual lays them out. All sit in bits 31..0.
#ifndef DIETHERM_MSR_LAYOUT_H
#define DIETHERM_MSR_LAYOUT_H

#include <stdint.h>

namespace msr {

// Bit 30 of 0xEE set: the part's TjMax is 85 degrees rather than 100.
constexpr uint32_t kTjMaxSelect = 0xEE;
constexpr uint32_t kTjMax85Bit = 1u << 30;

constexpr uint32_t kThermStatus = 0x19C;  // IA32_THERM_STATUS
constexpr uint32_t kReadingValidBit = 1u << 31;
constexpr uint32_t kReadoutShift = 16;
constexpr uint32_t kReadoutMask = 0x7F;  // bits 22..16: degrees below TjMax

constexpr bool ReadingValid(uint32_t status) { return (status & kReadingValidBit) != 0; }
constexpr uint32_t DegreesBelowTjMax(uint32_t status) { return (status >> kReadoutShift) & kReadoutMask; }

}  // namespace msr

#endif  // DIETHERM_MSR_LAYOUT_H
