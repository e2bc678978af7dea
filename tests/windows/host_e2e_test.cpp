// The built DLLs, loaded through LoadLibrary by a host that exports ReadMSR
// (a simulated sensor) and SimulatedCpuid (processor profiles): the product
// on this machine's processor, and Dietherm-simcpu.dll on every profile.
// Each case loads the DLL afresh, so each starts from a newly loaded module.
#include <cfloat>
#include <climits>
#include <initializer_list>

#include "plugin_checks.h"
#include "register_source.h"
#include "simulated_cpu.h"

namespace {

// IA32_THERM_STATUS and its fields (below) as Intel defines them: an
// independent copy, never the module's header.
constexpr uint32_t kThermStatus = 0x19C;
constexpr int kPolls = 5;

const char *g_product = nullptr;
const char *g_simcpu = nullptr;

// The reading the plug-in must derive from the status the host last handed
// out for `processor`: TjMax minus bits 22..16, or nothing when not valid.
bool ExpectedFromLastStatus(int processor, float tj_max, float *reading) {
    const RegisterRead last = LastRead(kThermStatus, processor);
    if (!last.answered || (last.low & 0x80000000u) == 0) return false;
    *reading = tj_max - static_cast<float>((last.low >> 16) & 0x7F);
    return true;
}

Plugin LoadWith(const char *path, CpuProfile profile, const RegisterSourceConfig &registers) {
    SetCpuProfile(profile);
    ConfigureRegisterSource(registers);
    return LoadOrDie(path);
}

// Polls every source `kPolls` times and checks each answer against the
// register the host handed out on that source's own processor. A reading
// not valid must repeat the last valid one seen here, so the first poll of
// each source should read a valid status.
void CheckReadingsFollowTheRegisters(const Plugin &plugin, float tj_max) {
    const int32_t sources = plugin.sources_num();
    float last_valid[32];
    uint32_t reads_before[32];
    for (int32_t index = 0; index < 32; ++index) {
        last_valid[index] = FLT_MAX;
        reads_before[index] = LastRead(kThermStatus, index).count;
    }
    for (int poll = 1; poll <= kPolls; ++poll) {
        for (int32_t index = 0; index < sources; ++index) {
            const float reading = plugin.source_data(index);
            const RegisterRead last = LastRead(kThermStatus, index);
            // Read on processor `index` itself, once a poll.
            CHECK(last.count == reads_before[index] + static_cast<uint32_t>(poll));
            float expected = FLT_MAX;  // what a failed read gives
            if (last.answered) {
                if (ExpectedFromLastStatus(index, tj_max, &expected)) {
                    last_valid[index] = expected;
                } else {
                    expected = last_valid[index];
                }
            }
            CHECK(reading == expected);
        }
    }
}

void ProductOnThisProcessor() {
    // The product asks the real processor: the simulated one must not matter.
    Plugin plugin = LoadWith(g_product, CpuProfile::IntelWithSensor, RegisterSourceConfig{});
    CHECK(plugin.sources_num() == ExpectedSources());
    if (ThisProcessorHasTheSensor()) {
        std::printf("this processor has the sensor: the product reads the simulated registers\n");
        CheckDescription(plugin, 0, 0x00010002u);
        CheckReadingsFollowTheRegisters(plugin, 100.0f);
    } else {
        std::printf("this processor has no sensor: the product describes nothing and reads nothing\n");
        for (int32_t index = 0; index < ExpectedSources(); ++index) CheckDescriptionFails(plugin, index, 0x00010002u);
        for (int poll = 0; poll < kPolls; ++poll) {
            for (int32_t index = 0; index < ExpectedSources(); ++index) CHECK(IsFltMax(plugin.source_data(index)));
        }
        CHECK(LastRead(kThermStatus, 0).count == 0);
    }
    UnloadPlugin(&plugin);
}

void ProfilesWithoutTheSensorDescribeNothing() {
    for (CpuProfile profile :
         {CpuProfile::NoCpuid, CpuProfile::IntelWithoutSensor, CpuProfile::IntelHighestLeaf5, CpuProfile::Amd}) {
        std::printf("profile %s\n", CpuProfileName(profile));
        Plugin plugin = LoadWith(g_simcpu, profile, RegisterSourceConfig{});
        CHECK(plugin.sources_num() == ExpectedSources());
        for (int attempt = 0; attempt < 2; ++attempt) CheckDescriptionFails(plugin, 0, 0x00010002u);
        for (int32_t index = 0; index < ExpectedSources(); ++index) CHECK(IsFltMax(plugin.source_data(index)));
        CHECK(LastRead(kThermStatus, 0).count == 0);
        UnloadPlugin(&plugin);
    }
}

void IntelDescribesEverySourceForEveryVersion() {
    Plugin plugin = LoadWith(g_simcpu, CpuProfile::IntelWithSensor, RegisterSourceConfig{});
    for (uint32_t version : {0u, 0x00010001u, 0x00010002u, 0xFFFFFFFFu}) {
        for (int32_t index = 0; index < plugin.sources_num(); ++index) CheckDescription(plugin, index, version);
        for (int32_t index : {-1, 31, INT_MIN}) CheckDescription(plugin, index, version);
    }
    UnloadPlugin(&plugin);
}

void ReadingsFollowTheRegistersOnBothBases() {
    for (bool tj_max_85 : {false, true}) {
        RegisterSourceConfig registers;
        registers.seed = 7;
        registers.tj_max_85 = tj_max_85;
        Plugin plugin = LoadWith(g_simcpu, CpuProfile::IntelWithSensor, registers);
        CheckDescription(plugin, 0, 0x00010002u);
        // Register 0xEE is read once, on whichever processor the thread was on.
        uint32_t tj_max_reads = 0;
        for (int processor = 0; processor < kMaxProcessors; ++processor) tj_max_reads += LastRead(0xEE, processor).count;
        CHECK(tj_max_reads == 1);
        CheckReadingsFollowTheRegisters(plugin, tj_max_85 ? 85.0f : 100.0f);
        UnloadPlugin(&plugin);
    }
}

void ReadingsMarkedNotValidGiveTheLastValidOne() {
    RegisterSourceConfig registers;
    registers.invalid_every = 2;
    Plugin plugin = LoadWith(g_simcpu, CpuProfile::IntelWithSensor, registers);
    CheckDescription(plugin, 0, 0x00010002u);
    const float first = plugin.source_data(0);
    CHECK(!IsFltMax(first));
    CHECK(plugin.source_data(0) == first);  // second read: not valid
    CheckReadingsFollowTheRegisters(plugin, 100.0f);
    UnloadPlugin(&plugin);
}

void FailingReadsGiveFltMax() {
    RegisterSourceConfig registers;
    registers.fail_every = 1;
    Plugin plugin = LoadWith(g_simcpu, CpuProfile::IntelWithSensor, registers);
    CheckDescription(plugin, 0, 0x00010002u);  // register 0xEE still reads
    for (int32_t index = 0; index < plugin.sources_num(); ++index) CHECK(IsFltMax(plugin.source_data(index)));
    UnloadPlugin(&plugin);
}

// Register 0xEE: read, the base it gives holds (above); missing on a part
// whose thermal status reads, the base is 100 and the first description
// succeeds; a reader that reads nothing at first, descriptions fail until it
// works, and then 0xEE decides.
void WithoutRegisterEETheStatusDecides() {
    RegisterSourceConfig registers;
    registers.tj_max_85 = true;  // not readable: must not matter
    registers.no_tj_max_register = true;
    Plugin plugin = LoadWith(g_simcpu, CpuProfile::IntelWithSensor, registers);
    CheckDescription(plugin, 0, 0x00010002u);
    CheckReadingsFollowTheRegisters(plugin, 100.0f);
    UnloadPlugin(&plugin);
}

void AReaderThatReadsNothingYetIsRetriedUntilItWorks() {
    RegisterSourceConfig registers;
    registers.tj_max_85 = true;
    registers.fail_first_reads = 4;  // two descriptions' worth: 0xEE, then the status
    Plugin plugin = LoadWith(g_simcpu, CpuProfile::IntelWithSensor, registers);
    for (int attempt = 0; attempt < 2; ++attempt) {
        CheckDescriptionFails(plugin, 0, 0x00010002u);
        CHECK(IsFltMax(plugin.source_data(0)));
    }
    CheckDescription(plugin, 0, 0x00010002u);
    CheckReadingsFollowTheRegisters(plugin, 85.0f);
    UnloadPlugin(&plugin);
}

int g_host_skipped = 0;

LONG CALLBACK HostSkipsUndefinedInstruction(EXCEPTION_POINTERS *info) {
    if (info->ExceptionRecord->ExceptionCode != EXCEPTION_ILLEGAL_INSTRUCTION) return EXCEPTION_CONTINUE_SEARCH;
    ++g_host_skipped;
#if defined(__x86_64__)
    info->ContextRecord->Rip += 2;  // past ud2
#else
    info->ContextRecord->Eip += 2;
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

// The module's trap met a real fault at load (no CPUID); once the module is
// unloaded, an illegal instruction of the host's own reaches the host's
// handler. A trap handler left installed would be called first, at an
// address that is no longer mapped.
void AfterUnloadTheHostsIllegalInstructionsAreItsOwn() {
    Plugin plugin = LoadWith(g_simcpu, CpuProfile::NoCpuid, RegisterSourceConfig{});
    CheckDescriptionFails(plugin, 0, 0x00010002u);
    UnloadPlugin(&plugin);
    void *handler = AddVectoredExceptionHandler(0, HostSkipsUndefinedInstruction);
    CHECK(handler != nullptr);
    __asm__ volatile("ud2");
    RemoveVectoredExceptionHandler(handler);
    CHECK(g_host_skipped == 1);
}

void OutOfRangeIndexesAndNullRecords() {
    Plugin plugin = LoadWith(g_simcpu, CpuProfile::IntelWithSensor, RegisterSourceConfig{});
    CheckDescription(plugin, 0, 0x00010002u);
    for (int32_t index : {-1, 32, INT_MAX, INT_MIN}) {
        CHECK(IsFltMax(plugin.source_data(index)));
        CHECK(plugin.source_desc(index, nullptr) == 0);
    }
    CHECK(plugin.source_desc(0, nullptr) == 0);
    UnloadPlugin(&plugin);
}

void PollsLeaveTheProcessWidenedAndTheThreadOnTheLastProcessor() {
    DWORD_PTR process_mask = 0, system_mask = 0;
    GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask);
    if (ExpectedSources() < 2) {
        std::printf("one processor only: affinity check skipped\n");
        return;
    }
    Plugin plugin = LoadWith(g_simcpu, CpuProfile::IntelWithSensor, RegisterSourceConfig{});
    CheckDescription(plugin, 0, 0x00010002u);
    // Start confined to processor 0, so the widening shows.
    CHECK(SetProcessAffinityMask(GetCurrentProcess(), 0x1) != 0);
    CHECK(!IsFltMax(plugin.source_data(0)));
    CHECK(!IsFltMax(plugin.source_data(1)));

    CHECK(GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) != 0);
    CHECK(process_mask == system_mask);
    CHECK(GetCurrentProcessorNumber() == 1);
    // Windows has no getter for a thread's mask; setting one answers the old.
    const DWORD_PTR thread_mask = SetThreadAffinityMask(GetCurrentThread(), system_mask);
    CHECK(thread_mask == 0x2);
    UnloadPlugin(&plugin);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::printf("usage: host_e2e_test Dietherm.dll Dietherm-simcpu.dll\n");
        return 2;
    }
    g_product = argv[1];
    g_simcpu = argv[2];
    ProductOnThisProcessor();
    ProfilesWithoutTheSensorDescribeNothing();
    IntelDescribesEverySourceForEveryVersion();
    ReadingsFollowTheRegistersOnBothBases();
    ReadingsMarkedNotValidGiveTheLastValidOne();
    FailingReadsGiveFltMax();
    WithoutRegisterEETheStatusDecides();
    AReaderThatReadsNothingYetIsRetriedUntilItWorks();
    AfterUnloadTheHostsIllegalInstructionsAreItsOwn();
    OutOfRangeIndexesAndNullRecords();
    PollsLeaveTheProcessWidenedAndTheThreadOnTheLastProcessor();
    return CheckSummary("host_e2e_test");
}
