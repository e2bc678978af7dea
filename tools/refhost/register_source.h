// The reference host's ReadMSR export: reads a model-specific register of
// the processor the calling thread runs on, from a simulated sensor or from
// files laid out as Linux's msr driver lays out /dev/cpu/N/msr.
#ifndef REFHOST_REGISTER_SOURCE_H
#define REFHOST_REGISTER_SOURCE_H

#include <cstdint>
#include <string>

constexpr int kMaxProcessors = 64;

struct RegisterSourceConfig {
    // Simulated sensor: deterministic for a seed; each processor's
    // temperature drifts by up to a degree per read.
    uint64_t seed = 1;
    bool tj_max_85 = false;      // register 0xEE bit 30
    uint32_t invalid_every = 0;  // every Nth thermal status read is marked not valid (0: never)
    uint32_t fail_every = 0;     // every Nth thermal status read fails (0: never)
    bool no_tj_max_register = false;  // register 0xEE does not exist: every read of it fails
    uint32_t fail_first_reads = 0;    // the first N reads of any register fail: a reader not working yet
    // When set, registers come from DIR/N/msr instead: 8 bytes at offset =
    // register index, for processor N.
    std::string msr_dir;
};

// Replaces the configuration and restarts the simulation.
void ConfigureRegisterSource(const RegisterSourceConfig &config);

// What the last read of a register on a processor answered, for tests.
struct RegisterRead {
    bool answered = false;
    uint32_t low = 0;
    uint32_t count = 0;  // reads of this register on this processor so far
};
RegisterRead LastRead(uint32_t msr, int processor);

// Before any plug-in is loaded: whether DIR/N/msr opens for each processor
// 0..processors-1. On failure `error` names the path and the likely cause.
bool CheckMsrDir(const std::string &dir, int processors, std::string *error);

// Where readings come from, as every output row says it: "simulated" (no
// register of this machine is read) or "msr-dir".
const char *RegisterSourceLabel(const RegisterSourceConfig &config);

extern "C" __declspec(dllexport) int32_t ReadMSR(uint32_t msr, uint32_t *high, uint32_t *low);

#endif  // REFHOST_REGISTER_SOURCE_H
