// Soak: every source polled 100,000 times through the 64-bit DLL, on its
// full reading path (Dietherm-simcpu.dll on a simulated Intel processor),
// and the process's handle count and private memory must not grow.
//
// Each source's polls run back to back, then a round-robin stretch: Wine
// takes about 2 ms to move a thread to another processor, so 200,000
// round-robin polls would take minutes while running the same module code.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>

#include "plugin_checks.h"
#include "register_source.h"
#include "simulated_cpu.h"

namespace {

struct Usage {
    DWORD handle_count = 0;      // GetProcessHandleCount (Wine answers 0)
    uintptr_t next_handle = 0;   // the value a new handle gets: the lowest free slot
    SIZE_T private_bytes = 0;    // GetProcessMemoryInfo's PrivateUsage (Wine answers 0)
    SIZE_T committed_private = 0;  // committed private pages, summed with VirtualQuery
};

uintptr_t NextHandleValue() {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const auto value = reinterpret_cast<uintptr_t>(event);
    CloseHandle(event);
    return value;
}

SIZE_T CommittedPrivateBytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char *address = nullptr;
         VirtualQuery(address, &region, sizeof(region)) == sizeof(region);
         address = static_cast<const char *>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    }
    return total;
}

Usage Measure() {
    Usage usage;
    GetProcessHandleCount(GetCurrentProcess(), &usage.handle_count);
    usage.next_handle = NextHandleValue();
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters), sizeof(counters));
    usage.private_bytes = counters.PrivateUsage;
    usage.committed_private = CommittedPrivateBytes();
    return usage;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::printf("usage: soak_test Dietherm-simcpu.dll [POLLS-PER-SOURCE]\n");
        return 2;
    }
    const long polls = argc > 2 ? std::atol(argv[2]) : 100000;
    SetCpuProfile(CpuProfile::IntelWithSensor);
    ConfigureRegisterSource(RegisterSourceConfig{});
    Plugin plugin = LoadOrDie(argv[1]);
    const int32_t sources = plugin.sources_num();
    for (int32_t index = 0; index < sources; ++index) CheckDescription(plugin, index, 0x00010002u);

    long answered = 0;
    auto poll = [&](int32_t index) { answered += IsFltMax(plugin.source_data(index)) ? 0 : 1; };
    for (int warm = 0; warm < 1000; ++warm) {
        for (int32_t index = 0; index < sources; ++index) poll(index);
    }
    answered = 0;
    const Usage before = Measure();

    for (int32_t index = 0; index < sources; ++index) {
        for (long n = 0; n < polls; ++n) poll(index);
    }
    for (int round = 0; round < 1000; ++round) {
        for (int32_t index = 0; index < sources; ++index) poll(index);
    }

    const Usage after = Measure();
    const long total = polls * sources + 1000L * sources;
    std::printf("%ld polls, %ld with a reading\n", total, answered);
    std::printf("handle count: %lu before, %lu after\n", static_cast<unsigned long>(before.handle_count),
                static_cast<unsigned long>(after.handle_count));
    std::printf("next handle value: 0x%zx before, 0x%zx after\n", static_cast<size_t>(before.next_handle),
                static_cast<size_t>(after.next_handle));
    std::printf("PrivateUsage: %zu before, %zu after\n", static_cast<size_t>(before.private_bytes),
                static_cast<size_t>(after.private_bytes));
    std::printf("committed private bytes: %zu before, %zu after\n", static_cast<size_t>(before.committed_private),
                static_cast<size_t>(after.committed_private));
    CHECK(answered == total);
    CHECK(after.handle_count <= before.handle_count);
    CHECK(after.next_handle <= before.next_handle);
    // Less than a third of a byte a poll: a leak of even one byte per poll
    // would show several times over.
    CHECK(after.private_bytes <= before.private_bytes + 64 * 1024);
    CHECK(after.committed_private <= before.committed_private + 64 * 1024);
    UnloadPlugin(&plugin);
    return CheckSummary("soak_test");
}
