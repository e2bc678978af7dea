// What a host must find in its SourceDesc record after a successful
// description, written byte by byte from the record's published offsets
// (not from the struct), over whatever the host had put there.
#ifndef DIETHERM_TESTS_EXPECTED_RECORD_H
#define DIETHERM_TESTS_EXPECTED_RECORD_H

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace expected_record {

constexpr size_t kBytes = 256;  // more than any layout the module writes into
constexpr unsigned char kHostFill = 0xCC;

struct alignas(4) HostRecord {
    unsigned char bytes[kBytes];
    template <typename Desc>
    Desc *as() {
        return reinterpret_cast<Desc *>(bytes);
    }
};

// The record as the host hands it over: filled, with its version set.
inline HostRecord Filled(uint32_t version, unsigned char fill = kHostFill) {
    HostRecord record;
    std::memset(record.bytes, fill, sizeof(record.bytes));
    std::memcpy(record.bytes, &version, sizeof(version));
    return record;
}

inline void PutBits(HostRecord &record, size_t offset, uint32_t bits) { std::memcpy(record.bytes + offset, &bits, 4); }

inline HostRecord AfterDescription(uint32_t version, int32_t index, unsigned char fill = kHostFill) {
    HostRecord record = Filled(version, fill);
    char name[32];
    const int length = std::snprintf(name, sizeof(name), "CPU%ld temperature", static_cast<long>(index));
    std::memcpy(record.bytes + 4, name, static_cast<size_t>(length) + 1);
    const unsigned char units[] = {0xB0, 0x43, 0x00};
    std::memcpy(record.bytes + 36, units, sizeof(units));
    PutBits(record, 68, 0x42C80000u);  // 100.0
    PutBits(record, 72, 0x00000000u);  // 0.0
    PutBits(record, 76, 0x41200000u);  // 10.0
    const char description[] = "CPU temperature as reported by on-die Digital Thermal Sensor";
    std::memcpy(record.bytes + 80, description, sizeof(description));
    if (version >= 0x00010002u) std::memcpy(record.bytes + 144, "CPU", 4);
    return record;
}

// The first offset at which two records differ, or -1.
inline long FirstDifference(const HostRecord &actual, const HostRecord &expected) {
    for (size_t i = 0; i < kBytes; ++i) {
        if (actual.bytes[i] != expected.bytes[i]) return static_cast<long>(i);
    }
    return -1;
}

}  // namespace expected_record

#endif  // DIETHERM_TESTS_EXPECTED_RECORD_H
