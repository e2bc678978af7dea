// Platform operations that do nothing but answer, so that a profiler counts
// only the module's own instructions. Kept in their own object file so the
// module cannot inline them. The path to exercise is set by the benchmark.
#include "bench_platform.h"
#include "sensor/msr_layout.h"

BenchScript g_bench = {};

namespace {
int32_t DIETHERM_CALL NoopReadMsr(uint32_t, uint32_t *, uint32_t *) { return 1; }
}  // namespace

extern "C" {

uint32_t PlatformProcessorCount(void) { return 32; }

int32_t PlatformCpuidGuarded(uint32_t, uint32_t, CpuidRegisters *out) {
    *out = CpuidRegisters{0x16, 0x756E6547, 0x6C65746E, 0x49656E69};  // "GenuineIntel"
    return 1;
}

void PlatformCpuid(uint32_t, uint32_t, CpuidRegisters *out) { *out = CpuidRegisters{g_bench.leaf6_eax, 0, 0, 0}; }

ReadMsrFunction PlatformFindHostReadMsr(void) { return &NoopReadMsr; }

AffinityMask PlatformSystemAffinityMask(void) { return 0xFFFFFFFFu; }

int32_t PlatformSetProcessAffinity(AffinityMask) { return 1; }

int32_t PlatformBindThread(AffinityMask) { return 1; }

MsrReading PlatformReadMsr(ReadMsrFunction, uint32_t msr) {
    return MsrReading{msr == msr::kThermStatus ? g_bench.status : 0, g_bench.read_succeeds};
}

}  // extern "C"
