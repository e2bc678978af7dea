// The illegal-instruction trap around the first CPUID, on the real Windows
// exception dispatcher. Built as the product has it, and as the processor-
// simulating build has it (TRAP_MEETS_UNDEFINED_INSTRUCTION), where an
// undefined instruction can run inside the guarded region so that the trap
// meets a real EXCEPTION_ILLEGAL_INSTRUCTION.
#include <cpuid.h>
#include <windows.h>

#include <cstring>
#include <initializer_list>

#include "check.h"
#include "platform/platform.h"
#include "platform/windows/cpuid_trap.h"

namespace {

constexpr uint32_t kUntouched = 0xA5A5A5A5u;

// Set while the test expects an illegal instruction in the guarded region to
// reach the host's own handler; counts those that did.
bool g_host_expects_illegal_instruction = false;
int g_host_illegal_instructions = 0;

// The host's own handler, behind the module's: an illegal instruction that
// the trap wrongly declines ends the run here, with a message.
LONG CALLBACK FailOnIllegalInstruction(EXCEPTION_POINTERS *info) {
    if (info->ExceptionRecord->ExceptionCode != EXCEPTION_ILLEGAL_INSTRUCTION) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    if (!g_host_expects_illegal_instruction) {
        std::printf("an illegal instruction reached the host's handlers\n");
        ExitProcess(2);
    }
    ++g_host_illegal_instructions;
#if defined(__x86_64__)
    info->ContextRecord->Rip = reinterpret_cast<DWORD64>(GuardedCpuidSkipped);
#else
    info->ContextRecord->Eip = reinterpret_cast<DWORD>(GuardedCpuidSkipped);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

LONG Filter(DWORD code, const void *address, CONTEXT *context) {
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    record.ExceptionAddress = const_cast<void *>(address);
    EXCEPTION_POINTERS pointers = {&record, context};
    return SkipMissingCpuid(&pointers);
}

uintptr_t InstructionPointer(const CONTEXT &context) {
#if defined(__x86_64__)
    return static_cast<uintptr_t>(context.Rip);
#else
    return static_cast<uintptr_t>(context.Eip);
#endif
}

void FilterAcceptsOnlyAnIllegalInstructionInTheGuardedRegion() {
    const struct {
        DWORD code;
        const void *address;
        LONG decision;
    } cases[] = {
        {EXCEPTION_ILLEGAL_INSTRUCTION, GuardedCpuidRegionBegin, EXCEPTION_CONTINUE_EXECUTION},
        {EXCEPTION_ILLEGAL_INSTRUCTION, GuardedCpuidRegionEnd - 1, EXCEPTION_CONTINUE_EXECUTION},
        {EXCEPTION_ILLEGAL_INSTRUCTION, GuardedCpuidRegionBegin - 1, EXCEPTION_CONTINUE_SEARCH},
        {EXCEPTION_ILLEGAL_INSTRUCTION, GuardedCpuidRegionEnd, EXCEPTION_CONTINUE_SEARCH},
        {EXCEPTION_ILLEGAL_INSTRUCTION, reinterpret_cast<const void *>(&Filter), EXCEPTION_CONTINUE_SEARCH},
        {EXCEPTION_ACCESS_VIOLATION, GuardedCpuidRegionBegin, EXCEPTION_CONTINUE_SEARCH},
        {EXCEPTION_PRIV_INSTRUCTION, GuardedCpuidRegionBegin, EXCEPTION_CONTINUE_SEARCH},
        {EXCEPTION_BREAKPOINT, GuardedCpuidRegionBegin, EXCEPTION_CONTINUE_SEARCH},
    };
    for (const auto &c : cases) {
        CONTEXT context = {};
        const CONTEXT before = context;
        CHECK(Filter(c.code, c.address, &context) == c.decision);
        if (c.decision == EXCEPTION_CONTINUE_EXECUTION) {
            CHECK(InstructionPointer(context) == reinterpret_cast<uintptr_t>(GuardedCpuidSkipped));
        } else {
            CHECK(std::memcmp(&context, &before, sizeof(context)) == 0);
        }
    }
}

void PresentCpuidAnswersWhatTheProcessorSays() {
    for (uint32_t leaf : {0u, 1u}) {
        CpuidRegisters guarded = {kUntouched, kUntouched, kUntouched, kUntouched};
        CHECK(RunGuardedCpuid(leaf, 0, &guarded) == 1);
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        __cpuid_count(leaf, 0, eax, ebx, ecx, edx);
        // Leaf 0 is the same on every processor; of leaf 1 only the signature
        // in EAX is (EBX carries the APIC id of whichever processor ran it).
        CHECK(guarded.eax == eax);
        if (leaf == 0) CHECK(guarded.ebx == ebx && guarded.ecx == ecx && guarded.edx == edx);
    }
}

#if defined(TRAP_MEETS_UNDEFINED_INSTRUCTION)
// The routine itself, without the trap around it.
extern "C" int32_t GuardedCpuid(uint32_t leaf, uint32_t subleaf, CpuidRegisters *out, int32_t execute_undefined);

// Once the trap has answered, on either path, nothing of it stays
// installed: a handler left behind would point into the module after the
// host unloads it. An illegal instruction in the guarded region must then
// reach the host's own handler.
void TheTrapIsRemovedAfterEitherPath() {
    for (bool faulted : {true, false}) {
        CpuidRegisters regs = {};
        if (faulted) {
            CHECK(RunGuardedUndefinedInstruction(&regs) == 0);
        } else {
            CHECK(RunGuardedCpuid(0, 0, &regs) == 1);
        }
        g_host_expects_illegal_instruction = true;
        g_host_illegal_instructions = 0;
        CHECK(GuardedCpuid(0, 0, &regs, 1) == 0);
        g_host_expects_illegal_instruction = false;
        CHECK(g_host_illegal_instructions == 1);
    }
}

void UndefinedInstructionAnswersZeroAndTheProcessLivesOn() {
    for (int attempt = 0; attempt < 3; ++attempt) {
        CpuidRegisters regs = {kUntouched, kUntouched, kUntouched, kUntouched};
        CHECK(RunGuardedUndefinedInstruction(&regs) == 0);
        CHECK(regs.eax == kUntouched && regs.ebx == kUntouched && regs.ecx == kUntouched && regs.edx == kUntouched);
    }
}
#endif

}  // namespace

int main() {
    AddVectoredExceptionHandler(0, FailOnIllegalInstruction);
    FilterAcceptsOnlyAnIllegalInstructionInTheGuardedRegion();
    PresentCpuidAnswersWhatTheProcessorSays();
#if defined(TRAP_MEETS_UNDEFINED_INSTRUCTION)
    UndefinedInstructionAnswersZeroAndTheProcessLivesOn();
    TheTrapIsRemovedAfterEitherPath();
    return CheckSummary("cpuid_trap_test (simulating build)");
#else
    return CheckSummary("cpuid_trap_test (product build)");
#endif
}
