#ifndef DIETHERM_BENCH_PLATFORM_H
#define DIETHERM_BENCH_PLATFORM_H

#include "platform/platform.h"

// What the do-nothing platform answers.
struct BenchScript {
    uint32_t leaf6_eax;      // bit 0: the sensor
    uint32_t status;         // IA32_THERM_STATUS, bits 31..0
    int32_t read_succeeds;   // ReadMSR's answer
};
extern BenchScript g_bench;

#endif  // DIETHERM_BENCH_PLATFORM_H
