// Runs one path of GetSourceData (or GetSourceDesc) many times on the
// do-nothing platform, for callgrind to count the module's instructions.
//   poll_cost PATH INDEX COUNT
// PATH: fresh, not-valid, failed-read, no-sensor, out-of-range, describe.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench_platform.h"
#include "dietherm.h"
#include "plugin/load_notification.h"
#include "sensor/msr_layout.h"

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: poll_cost PATH INDEX COUNT\n");
        return 2;
    }
    const char *path = argv[1];
    const int32_t index = static_cast<int32_t>(std::strtol(argv[2], nullptr, 0));
    const long count = std::strtol(argv[3], nullptr, 0);

    g_bench = BenchScript{1, msr::kReadingValidBit | (35u << msr::kReadoutShift), 1};
    if (std::strcmp(path, "no-sensor") == 0) g_bench.leaf6_eax = 0;
    DllMain(nullptr, DIETHERM_PROCESS_ATTACH, nullptr);
    alignas(4) unsigned char record[256] = {};
    reinterpret_cast<SourceDesc *>(record)->version = SOURCE_DESC_VERSION_WITH_GROUP;
    GetSourceDesc(0, reinterpret_cast<SourceDesc *>(record));
    GetSourceData(index);  // a valid reading first, for the not-valid path to repeat

    if (std::strcmp(path, "not-valid") == 0) g_bench.status &= ~msr::kReadingValidBit;
    if (std::strcmp(path, "failed-read") == 0) g_bench.read_succeeds = 0;

    volatile float sink = 0;
    if (std::strcmp(path, "describe") == 0) {
        for (long i = 0; i < count; ++i) GetSourceDesc(index, reinterpret_cast<SourceDesc *>(record));
    } else {
        for (long i = 0; i < count; ++i) sink = GetSourceData(index);
    }
    (void)sink;
    return 0;
}
