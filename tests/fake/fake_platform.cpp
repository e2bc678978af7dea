#include "fake_platform.h"

#include <cstdlib>
#include <cstring>

namespace {

const char *OpName(Op op) {
    switch (op) {
        case Op::ProcessorCount: return "ProcessorCount";
        case Op::CpuidGuarded: return "CpuidGuarded";
        case Op::Cpuid: return "Cpuid";
        case Op::FindHostReadMsr: return "FindHostReadMsr";
        case Op::SystemAffinityMask: return "SystemAffinityMask";
        case Op::SetProcessAffinity: return "SetProcessAffinity";
        case Op::BindThread: return "BindThread";
        case Op::ReadMsr: return "ReadMsr";
    }
    return "?";
}

int32_t DIETHERM_CALL HostReadMsrNeverCalledDirectly(uint32_t, uint32_t *, uint32_t *) { return 0; }

CpuidRegisters Leaf(const FakePlatform &fake, uint32_t leaf) {
    auto found = fake.cpuid_leaves.find(leaf);
    return found == fake.cpuid_leaves.end() ? CpuidRegisters{} : found->second;
}

bool IsSubset(AffinityMask inner, AffinityMask outer) { return inner != 0 && (inner & ~outer) == 0; }

}  // namespace

std::ostream &operator<<(std::ostream &out, const Call &call) {
    return out << OpName(call.op) << "(leaf 0x" << std::hex << call.leaf << ", subleaf 0x" << call.subleaf << ", mask 0x"
               << call.mask << ", msr 0x" << call.msr << std::dec << ", processor " << call.processor << ")";
}

FakePlatform &Fake() {
    static FakePlatform fake;
    return fake;
}

ReadMsrFunction FakeHostReadMsr() { return &HostReadMsrNeverCalledDirectly; }

void FakePlatform::Reset(uint32_t processors) {
    *this = FakePlatform{};
    processor_count = processors;
    system_mask = processors >= sizeof(AffinityMask) * 8 ? ~AffinityMask{0}
                                                        : (AffinityMask{1} << processors) - 1;
}

void FakePlatform::ScriptCpu(const char vendor[13], uint32_t max_leaf, uint32_t leaf6_eax) {
    CpuidRegisters leaf0{max_leaf, 0, 0, 0};
    std::memcpy(&leaf0.ebx, vendor + 0, 4);
    std::memcpy(&leaf0.edx, vendor + 4, 4);
    std::memcpy(&leaf0.ecx, vendor + 8, 4);
    cpuid_leaves[0] = leaf0;
    cpuid_leaves[6] = CpuidRegisters{leaf6_eax, 0, 0, 0};
}

void FakePlatform::SetMsrEverywhere(uint32_t msr, MsrAnswer answer) {
    for (uint32_t processor = 0; processor < processor_count; ++processor) {
        SetMsr(msr, static_cast<int>(processor), answer);
    }
}

int FakePlatform::CurrentProcessor() const {
    for (int bit = 0; bit < static_cast<int>(sizeof(AffinityMask) * 8); ++bit) {
        if (thread_mask == (AffinityMask{1} << bit)) return bit;
    }
    return 0;
}

std::vector<Op> FakePlatform::Ops() const {
    std::vector<Op> ops;
    for (const Call &call : calls) ops.push_back(call.op);
    return ops;
}

extern "C" {

uint32_t PlatformProcessorCount(void) {
    Fake().calls.push_back({Op::ProcessorCount});
    return Fake().processor_count;
}

int32_t PlatformCpuidGuarded(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out) {
    FakePlatform &fake = Fake();
    fake.calls.push_back({.op = Op::CpuidGuarded, .leaf = leaf, .subleaf = subleaf});
    if (fake.cpuid_missing) return 0;
    *out = Leaf(fake, leaf);
    return 1;
}

void PlatformCpuid(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out) {
    FakePlatform &fake = Fake();
    fake.calls.push_back({.op = Op::Cpuid, .leaf = leaf, .subleaf = subleaf});
    // Without the instruction the real processor would fault here, outside any trap.
    if (fake.cpuid_missing) std::abort();
    *out = Leaf(fake, leaf);
}

ReadMsrFunction PlatformFindHostReadMsr(void) {
    Fake().calls.push_back({Op::FindHostReadMsr});
    return Fake().host_has_read_msr ? FakeHostReadMsr() : nullptr;
}

AffinityMask PlatformSystemAffinityMask(void) {
    FakePlatform &fake = Fake();
    fake.calls.push_back({Op::SystemAffinityMask});
    return fake.system_mask_fails ? 0 : fake.system_mask;
}

int32_t PlatformSetProcessAffinity(AffinityMask mask) {
    FakePlatform &fake = Fake();
    fake.calls.push_back({.op = Op::SetProcessAffinity, .mask = mask});
    if (fake.set_process_affinity_fails || !IsSubset(mask, fake.system_mask)) return 0;
    fake.process_mask = mask;
    return 1;
}

int32_t PlatformBindThread(AffinityMask mask) {
    FakePlatform &fake = Fake();
    fake.calls.push_back({.op = Op::BindThread, .mask = mask});
    // As on Windows: the thread's set must lie within the process's.
    if (fake.bind_thread_fails || !IsSubset(mask, fake.process_mask)) return 0;
    fake.thread_mask = mask;
    return 1;
}

MsrReading PlatformReadMsr(ReadMsrFunction read_msr, uint32_t msr) {
    FakePlatform &fake = Fake();
    const int processor = fake.CurrentProcessor();
    fake.calls.push_back({.op = Op::ReadMsr, .msr = msr, .processor = processor});
    if (read_msr != FakeHostReadMsr()) std::abort();  // only ever the host's function
    auto found = fake.msrs.find({msr, processor});
    if (found == fake.msrs.end() || !found->second.read) return MsrReading{0, 0};
    return MsrReading{found->second.low, 1};
}

}  // extern "C"
