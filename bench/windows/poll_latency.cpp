// Poll latency against the platform's floor. In one run, alternating, it
// times (a) a poll of every source through the DLL and (b) the bare
// sequence of the same platform calls and the same ReadMSR, made here, for
// every source. The ratio of the medians is what the module adds.
//   poll_latency PLUGIN.dll [SAMPLES]
// The plug-in must reach its reading path, so on a machine without the
// sensor use Dietherm-simcpu.dll (the same poll code; CPUID from this host).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "plugin.h"
#include "register_source.h"
#include "sensor/msr_layout.h"
#include "simulated_cpu.h"

namespace {

double Now(double ticks_per_us) {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / ticks_per_us;
}

volatile float g_sink;

void PollThroughPlugin(const Plugin &plugin, int32_t sources) {
    for (int32_t index = 0; index < sources; ++index) g_sink = plugin.source_data(index);
}

// What a poll must do at the least: the same calls, in the same order.
void PollBare(int32_t sources) {
    for (int32_t index = 0; index < sources; ++index) {
        DWORD_PTR process_mask = 0, system_mask = 0;
        if (!GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask)) continue;
        if (!SetProcessAffinityMask(GetCurrentProcess(), system_mask)) continue;
        if (SetThreadAffinityMask(GetCurrentThread(), DWORD_PTR{1} << index) == 0) continue;
        uint32_t high = 0, low = 0;
        if (ReadMSR(msr::kThermStatus, &high, &low) != 0 && msr::ReadingValid(low)) {
            g_sink = 100.0f - static_cast<float>(msr::DegreesBelowTjMax(low));
        }
    }
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::printf("usage: poll_latency PLUGIN.dll [SAMPLES]\n");
        return 2;
    }
    const int samples = argc > 2 ? std::atoi(argv[2]) : 2000;
    SetCpuProfile(CpuProfile::IntelWithSensor);
    ConfigureRegisterSource(RegisterSourceConfig{});
    Plugin plugin;
    std::string error;
    if (!LoadPlugin(argv[1], &plugin, &error)) {
        std::printf("%s\n", error.c_str());
        return 1;
    }
    const int32_t sources = plugin.sources_num();
    alignas(4) unsigned char record[256] = {};
    reinterpret_cast<SourceDesc *>(record)->version = SOURCE_DESC_VERSION_WITH_GROUP;
    if (plugin.source_desc(0, reinterpret_cast<SourceDesc *>(record)) != 1) {
        std::printf("the plug-in describes no source here: it would not reach its reading path\n");
        return 1;
    }

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const double ticks_per_us = static_cast<double>(frequency.QuadPart) / 1e6;

    for (int warm = 0; warm < 100; ++warm) {
        PollThroughPlugin(plugin, sources);
        PollBare(sources);
    }
    std::vector<double> through_plugin, bare, ratios;
    for (int sample = 0; sample < samples; ++sample) {
        double plugin_us = 0, bare_us = 0;
        for (int arm = 0; arm < 2; ++arm) {
            const bool plugin_first = sample % 2 == 0;
            const bool run_plugin = (arm == 0) == plugin_first;
            const double start = Now(ticks_per_us);
            if (run_plugin) {
                PollThroughPlugin(plugin, sources);
            } else {
                PollBare(sources);
            }
            const double elapsed = Now(ticks_per_us) - start;
            (run_plugin ? plugin_us : bare_us) = elapsed;
        }
        through_plugin.push_back(plugin_us);
        bare.push_back(bare_us);
        ratios.push_back(plugin_us / bare_us);
    }
    const double plugin_median = Median(through_plugin);
    const double bare_median = Median(bare);
    std::printf("sources %d, samples %d (each a poll of every source)\n", sources, samples);
    std::printf("median through the plug-in   %9.2f us\n", plugin_median);
    std::printf("median bare platform calls   %9.2f us\n", bare_median);
    std::printf("ratio of medians             %9.3f\n", plugin_median / bare_median);
    std::printf("median of per-sample ratios  %9.3f\n", Median(ratios));
    UnloadPlugin(&plugin);
    return 0;
}
