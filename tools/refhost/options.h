#ifndef REFHOST_OPTIONS_H
#define REFHOST_OPTIONS_H

#include <cstdint>
#include <string>

#include "dietherm.h"
#include "register_source.h"
#include "simulated_cpu.h"

struct Options {
    std::string plugin_path;
    int polls = 5;
    int interval_ms = 1000;
    bool csv = false;
    uint32_t desc_version = SOURCE_DESC_VERSION_WITH_GROUP;
    CpuProfile cpu = CpuProfile::Real;
    RegisterSourceConfig registers;
};

// Parses the command line. On a bad or missing argument, `error` says what
// is wrong; with --help, `help` is set.
bool ParseOptions(int argc, char **argv, Options *options, bool *help, std::string *error);
const char *UsageText();

#endif  // REFHOST_OPTIONS_H
