// Loads the built Dietherm.dll through LoadLibrary, as a host would, on the
// processor this runs on. The program exports no ReadMSR, so no description
// can succeed and no poll can read, whatever the processor: the module must
// answer 0 and FLT_MAX and keep the host alive.
#include <windows.h>

#include <cfloat>
#include <climits>
#include <cstring>
#include <initializer_list>

#include "check.h"
#include "dietherm.h"

namespace {

using GetSourcesNumFn = int32_t(DIETHERM_CALL *)(void);
using GetSourceDescFn = int32_t(DIETHERM_CALL *)(int32_t, SourceDesc *);
using GetSourceDataFn = float(DIETHERM_CALL *)(int32_t);

template <typename Fn>
Fn Export(HMODULE module, const char *name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

bool IsFltMax(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits == 0x7F7FFFFFu;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::printf("usage: load_product_test PATH-TO-Dietherm.dll\n");
        return 2;
    }
    HMODULE module = LoadLibraryA(argv[1]);
    CHECK(module != nullptr);
    if (module == nullptr) return CheckSummary("load_product_test");

    auto sources_num = Export<GetSourcesNumFn>(module, "GetSourcesNum");
    auto source_desc = Export<GetSourceDescFn>(module, "GetSourceDesc");
    auto source_data = Export<GetSourceDataFn>(module, "GetSourceData");
    CHECK(sources_num && source_desc && source_data);
    if (!(sources_num && source_desc && source_data)) return CheckSummary("load_product_test");

    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const int32_t expected_sources = info.dwNumberOfProcessors < 32 ? static_cast<int32_t>(info.dwNumberOfProcessors) : 32;
    CHECK(sources_num() == expected_sources);

    for (int32_t index : {0, 1, -1, 32, INT_MAX, INT_MIN}) {
        unsigned char record[256];
        std::memset(record, 0xCC, sizeof(record));
        const uint32_t version = SOURCE_DESC_VERSION_WITH_GROUP;
        std::memcpy(record, &version, sizeof(version));
        unsigned char before[sizeof(record)];
        std::memcpy(before, record, sizeof(record));
        CHECK(source_desc(index, reinterpret_cast<SourceDesc *>(record)) == 0);
        CHECK(std::memcmp(record, before, sizeof(record)) == 0);
        CHECK(source_desc(index, nullptr) == 0);
        CHECK(IsFltMax(source_data(index)));
    }
    for (int32_t index = 0; index < expected_sources; ++index) {
        CHECK(IsFltMax(source_data(index)));
    }
    CHECK(FreeLibrary(module) != 0);
    return CheckSummary("load_product_test");
}
