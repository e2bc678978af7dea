// The illegal-instruction trap around the first CPUID, on the real Windows
// exception dispatcher. Built twice: with the real CPUID, and with an
// undefined instruction in its place (TRAP_MEETS_UNDEFINED_INSTRUCTION), so
// that the trap meets a real EXCEPTION_ILLEGAL_INSTRUCTION.
#include <cpuid.h>
#include <windows.h>

#include <cstring>
#include <initializer_list>

#include "check.h"
#include "platform/platform.h"
#include "platform/windows/cpuid_trap.h"

namespace {

constexpr uint32_t kUntouched = 0xA5A5A5A5u;

// Sees what the module's trap declines, and ends the run cleanly instead of
// letting a stray fault kill the process.
LONG g_faults_passed_on = 0;
LONG CALLBACK CountFaultsPassedOn(EXCEPTION_POINTERS *info) {
    if (info->ExceptionRecord->ExceptionCode == EXCEPTION_ILLEGAL_INSTRUCTION) {
        ++g_faults_passed_on;
        std::printf("an illegal instruction reached the host's handlers\n");
        ExitProcess(2);
    }
    return EXCEPTION_CONTINUE_SEARCH;
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

void FilterAcceptsOnlyAnIllegalInstructionAtTheGuardedCpuid() {
    const struct {
        DWORD code;
        const void *address;
        LONG decision;
    } cases[] = {
        {EXCEPTION_ILLEGAL_INSTRUCTION, GuardedCpuidInstruction, EXCEPTION_CONTINUE_EXECUTION},
        {EXCEPTION_ILLEGAL_INSTRUCTION, GuardedCpuidInstruction + 1, EXCEPTION_CONTINUE_SEARCH},
        {EXCEPTION_ILLEGAL_INSTRUCTION, reinterpret_cast<const void *>(&Filter), EXCEPTION_CONTINUE_SEARCH},
        {EXCEPTION_ACCESS_VIOLATION, GuardedCpuidInstruction, EXCEPTION_CONTINUE_SEARCH},
        {EXCEPTION_PRIV_INSTRUCTION, GuardedCpuidInstruction, EXCEPTION_CONTINUE_SEARCH},
        {EXCEPTION_BREAKPOINT, GuardedCpuidInstruction, EXCEPTION_CONTINUE_SEARCH},
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

#if defined(TRAP_MEETS_UNDEFINED_INSTRUCTION)
void MissingCpuidAnswersZeroAndTheProcessLivesOn() {
    for (int attempt = 0; attempt < 3; ++attempt) {
        CpuidRegisters regs = {kUntouched, kUntouched, kUntouched, kUntouched};
        CHECK(PlatformCpuidGuarded(0, 0, &regs) == 0);
        CHECK(regs.eax == kUntouched && regs.ebx == kUntouched && regs.ecx == kUntouched && regs.edx == kUntouched);
    }
    CHECK(g_faults_passed_on == 0);
}
#else
void PresentCpuidAnswersWhatTheProcessorSays() {
    for (uint32_t leaf : {0u, 1u}) {
        CpuidRegisters guarded = {kUntouched, kUntouched, kUntouched, kUntouched};
        CHECK(PlatformCpuidGuarded(leaf, 0, &guarded) == 1);
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        __cpuid_count(leaf, 0, eax, ebx, ecx, edx);
        // Leaf 0 is the same on every processor; of leaf 1 only the signature
        // in EAX is (EBX carries the APIC id of whichever processor ran it).
        CHECK(guarded.eax == eax);
        if (leaf == 0) CHECK(guarded.ebx == ebx && guarded.ecx == ecx && guarded.edx == edx);
        CpuidRegisters plain = {};
        PlatformCpuid(leaf, 0, &plain);
        CHECK(plain.eax == guarded.eax);
    }
}
#endif

}  // namespace

int main() {
    AddVectoredExceptionHandler(0, CountFaultsPassedOn);
    FilterAcceptsOnlyAnIllegalInstructionAtTheGuardedCpuid();
#if defined(TRAP_MEETS_UNDEFINED_INSTRUCTION)
    MissingCpuidAnswersZeroAndTheProcessLivesOn();
    return CheckSummary("cpuid_trap_test (undefined instruction)");
#else
    PresentCpuidAnswersWhatTheProcessorSays();
    return CheckSummary("cpuid_trap_test (real CPUID)");
#endif
}
