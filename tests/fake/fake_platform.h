// A scripted stand-in for the platform operations. Tests set its answers
// (CPUID leaves or a missing instruction, processor count, affinity
// failures, register values per register and processor) and read back every
// call the module made, in order.
#ifndef DIETHERM_TESTS_FAKE_PLATFORM_H
#define DIETHERM_TESTS_FAKE_PLATFORM_H

#include <cstdint>
#include <map>
#include <ostream>
#include <utility>
#include <vector>

#include "platform/platform.h"

enum class Op {
    ProcessorCount,
    CpuidGuarded,
    Cpuid,
    FindHostReadMsr,
    SystemAffinityMask,
    SetProcessAffinity,
    BindThread,
    ReadMsr,
};

// One platform call: its operation and the arguments that matter for it,
// the others 0. Written with designated initializers, as in
// {.op = Op::ReadMsr, .msr = 0x19C, .processor = 2}.
struct Call {
    Op op;
    uint32_t leaf = 0;      // CpuidGuarded, Cpuid
    uint32_t subleaf = 0;   // CpuidGuarded, Cpuid
    AffinityMask mask = 0;  // SetProcessAffinity, BindThread
    uint32_t msr = 0;       // ReadMsr: the register
    int processor = 0;      // ReadMsr: the processor the thread was on
    bool operator==(const Call &other) const = default;
};
std::ostream &operator<<(std::ostream &out, const Call &call);

struct MsrAnswer {
    bool read = true;
    uint32_t low = 0;
};

struct FakePlatform {
    // --- script ---
    uint32_t processor_count = 4;
    bool cpuid_missing = false;
    std::map<uint32_t, CpuidRegisters> cpuid_leaves;  // unlisted leaves answer zeros
    bool host_has_read_msr = true;
    bool system_mask_fails = false;
    bool set_process_affinity_fails = false;
    bool bind_thread_fails = false;
    AffinityMask process_mask = 0x1;  // the host starts confined to processor 0
    AffinityMask system_mask = 0xF;
    // Register answers by (register, processor); a missing entry fails the read.
    std::map<std::pair<uint32_t, int>, MsrAnswer> msrs;

    // --- observed ---
    std::vector<Call> calls;
    AffinityMask thread_mask = 0;  // 0: never bound

    // Processors 0..count-1, system mask to match, all other state cleared.
    void Reset(uint32_t processors = 4);
    // Leaf 0 with this vendor and highest leaf, leaf 6 with this EAX.
    void ScriptCpu(const char vendor[13], uint32_t max_leaf, uint32_t leaf6_eax);
    void ScriptIntelWithSensor() { ScriptCpu("GenuineIntel", 0x16, 0x77); }
    // The same register answer on every processor of the system.
    void SetMsrEverywhere(uint32_t msr, MsrAnswer answer);
    void SetMsr(uint32_t msr, int processor, MsrAnswer answer) { msrs[{msr, processor}] = answer; }
    // The processor the calling thread runs on: the bound one, else 0.
    int CurrentProcessor() const;
    std::vector<Op> Ops() const;
};

FakePlatform &Fake();

// The address the fake hands out as the host's ReadMSR.
ReadMsrFunction FakeHostReadMsr();

#endif  // DIETHERM_TESTS_FAKE_PLATFORM_H
