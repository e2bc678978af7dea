// A host whose executable exports no ReadMSR (but does simulate an Intel
// processor with the sensor, for Dietherm-simcpu.dll): no description can
// succeed, no poll can read, and the host lives on.
#include <climits>
#include <initializer_list>

#include "plugin_checks.h"
#include "simulated_cpu.h"

namespace {

void NothingCanBeRead(const char *path) {
    Plugin plugin = LoadOrDie(path);
    CHECK(plugin.sources_num() == ExpectedSources());
    for (int attempt = 0; attempt < 3; ++attempt) {
        for (int32_t index = 0; index < ExpectedSources(); ++index) {
            CheckDescriptionFails(plugin, index, 0x00010002u);
            CHECK(IsFltMax(plugin.source_data(index)));
        }
    }
    for (int32_t index : {-1, 32, INT_MAX, INT_MIN}) {
        CHECK(plugin.source_desc(index, nullptr) == 0);
        CHECK(IsFltMax(plugin.source_data(index)));
    }
    UnloadPlugin(&plugin);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::printf("usage: host_without_read_msr_test Dietherm.dll Dietherm-simcpu.dll\n");
        return 2;
    }
    SetCpuProfile(CpuProfile::IntelWithSensor);
    NothingCanBeRead(argv[1]);
    NothingCanBeRead(argv[2]);
    return CheckSummary("host_without_read_msr_test");
}
