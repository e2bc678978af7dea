// The Windows platform layer itself, against the real API under Wine: what
// each operation answers when the system or the host's reader succeeds, and
// when it fails. The fake covers the module's side of these answers; this
// covers the layer that produces them.
#include <cpuid.h>
#include <windows.h>

#include <initializer_list>

#include "check.h"
#include "platform/platform.h"

namespace {

// A host reader whose answer and writes the test scripts.
struct ScriptedReader {
    int32_t answer = 1;
    bool writes = true;
    uint32_t second = 0;
    uint32_t low = 0;
    // observed
    int calls = 0;
    uint32_t msr = 0;
    uint32_t *second_seen = nullptr;
    uint32_t *low_seen = nullptr;
};
ScriptedReader g_reader;

int32_t DIETHERM_CALL ScriptedReadMsr(uint32_t msr, uint32_t *second, uint32_t *low) {
    ++g_reader.calls;
    g_reader.msr = msr;
    g_reader.second_seen = second;
    g_reader.low_seen = low;
    if (g_reader.writes) {
        *second = g_reader.second;
        *low = g_reader.low;
    }
    return g_reader.answer;
}

}  // namespace

// This program is the host: the platform must find this export in it.
extern "C" __declspec(dllexport) int32_t ReadMSR(uint32_t msr, uint32_t *second, uint32_t *low) {
    return ScriptedReadMsr(msr, second, low);
}

namespace {

void ReadMsrPassesOnTheReadersAnswer() {
    const struct {
        int32_t answer;
        bool writes;
        uint32_t low;
        int32_t read;  // what the platform must say
    } cases[] = {
        {1, true, 0x8812ABCDu, 1},
        {7, true, 0x00000000u, 1},   // any non-zero answer is a read, and 0 a real value
        {0, false, 0u, 0},           // a failed read writes nothing
        {0, true, 0x80230000u, 0},   // nor does a value count when the reader says it failed
    };
    for (const auto &c : cases) {
        g_reader = ScriptedReader{};
        g_reader.answer = c.answer;
        g_reader.writes = c.writes;
        g_reader.second = 0xDEADBEEFu;
        g_reader.low = c.low;
        const MsrReading reading = PlatformReadMsr(&ScriptedReadMsr, 0x19C);
        CHECK(g_reader.calls == 1);
        CHECK(g_reader.msr == 0x19C);
        CHECK(g_reader.second_seen != nullptr && g_reader.low_seen != nullptr);
        CHECK(g_reader.second_seen != g_reader.low_seen);
        CHECK((reading.read != 0 ? 1 : 0) == c.read);
        if (c.read != 0) CHECK(reading.low == c.low);  // the third argument, not the second
    }
}

void FindsTheHostsReadMsr() {
    CHECK(PlatformFindHostReadMsr() == reinterpret_cast<ReadMsrFunction>(&ReadMSR));
}

void ProcessorCountAndSystemMaskAreTheSystems() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    CHECK(PlatformProcessorCount() == info.dwNumberOfProcessors);
    DWORD_PTR process_mask = 0, system_mask = 0;
    CHECK(GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) != 0);
    CHECK(PlatformSystemAffinityMask() == system_mask);
    CHECK(system_mask != 0);
}

void AffinityCallsReportTheirFailures() {
    DWORD_PTR process_mask = 0, system_mask = 0;
    GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask);
    // The highest processor the mask can name, if the system lacks it.
    const AffinityMask beyond = AffinityMask{1} << (sizeof(AffinityMask) * 8 - 1);

    CHECK(PlatformSetProcessAffinity(0) == 0);
    if ((system_mask & beyond) == 0) CHECK(PlatformSetProcessAffinity(beyond) == 0);
    CHECK(PlatformSetProcessAffinity(system_mask) == 1);
    CHECK(GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) != 0);
    CHECK(process_mask == system_mask);

    CHECK(PlatformBindThread(0) == 0);
    if ((system_mask & beyond) == 0) CHECK(PlatformBindThread(beyond) == 0);
    for (DWORD processor = 0; processor < 32 && processor < sizeof(DWORD_PTR) * 8; ++processor) {
        const AffinityMask mask = AffinityMask{1} << processor;
        if ((system_mask & mask) == 0) continue;
        CHECK(PlatformBindThread(mask) == 1);
        CHECK(GetCurrentProcessorNumber() == processor);
        // Windows has no getter for a thread's mask; setting one answers the old.
        CHECK(SetThreadAffinityMask(GetCurrentThread(), mask) == mask);
    }
}

// Our own CPUID instruction is the oracle, on one processor so that leaf 1's
// APIC id does not change underneath.
void CpuidAnswersAsTheInstruction() {
    SetThreadAffinityMask(GetCurrentThread(), 1);
    unsigned max_leaf = 0, ebx = 0, ecx = 0, edx = 0;
    __cpuid(0, max_leaf, ebx, ecx, edx);
    for (uint32_t leaf : {0u, 1u, 6u}) {
        if (leaf > max_leaf) continue;
        unsigned eax = 0;
        __cpuid_count(leaf, 0, eax, ebx, ecx, edx);
        CpuidRegisters plain = {0xA5A5A5A5u, 0xA5A5A5A5u, 0xA5A5A5A5u, 0xA5A5A5A5u};
        PlatformCpuid(leaf, 0, &plain);
        CpuidRegisters guarded = plain;
        CHECK(PlatformCpuidGuarded(leaf, 0, &guarded) == 1);
        for (const CpuidRegisters &regs : {plain, guarded}) {
            CHECK(regs.eax == eax);
            CHECK(regs.ebx == ebx);
            CHECK(regs.ecx == ecx);
            CHECK(regs.edx == edx);
        }
    }
}

}  // namespace

int main() {
    ReadMsrPassesOnTheReadersAnswer();
    FindsTheHostsReadMsr();
    ProcessorCountAndSystemMaskAreTheSystems();
    AffinityCallsReportTheirFailures();
    CpuidAnswersAsTheInstruction();
    return CheckSummary("platform_test");
}
