#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Decimal digits only: "010" is ten, never octal. With `hex_prefix`, "0x"
// followed by hex digits is accepted too (SourceDesc versions are written so).
bool ParseUnsigned(const char *text, uint64_t max, bool hex_prefix, uint64_t *value) {
    if (text == nullptr) return false;
    int base = 10;
    if (hex_prefix && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    if (*text == '\0') return false;
    uint64_t parsed = 0;
    for (const char *c = text; *c != '\0'; ++c) {
        int digit = -1;
        if (*c >= '0' && *c <= '9') digit = *c - '0';
        if (base == 16 && *c >= 'a' && *c <= 'f') digit = *c - 'a' + 10;
        if (base == 16 && *c >= 'A' && *c <= 'F') digit = *c - 'A' + 10;
        if (digit < 0) return false;
        if (parsed > (max - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base)) return false;
        parsed = parsed * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    *value = parsed;
    return true;
}

}  // namespace

const char *UsageText() {
    return "usage: refhost [options] PLUGIN.dll\n"
           "\n"
           "Loads a data-source plug-in as a monitoring host does: GetSourcesNum,\n"
           "GetSourceDesc for every source, then GetSourceData for every described\n"
           "source, poll after poll, printing each poll as it is taken. Exports\n"
           "ReadMSR (and SimulatedCpuid, which only Dietherm-simcpu.dll asks).\n"
           "\n"
           "ReadMSR answers from a simulated sensor unless --msr-dir is given: no\n"
           "register of this machine is read, and every row says \"simulated\".\n"
           "\n"
           "  --polls N           polls of every source, 0 to 1000000 (default 5)\n"
           "  --interval MS       pause between polls in milliseconds, 0 to 3600000\n"
           "                      (default 1000)\n"
           "  --csv               comma-separated output for programs, a row per\n"
           "                      source and poll\n"
           "  --desc-version V    the SourceDesc version the host sets, decimal or\n"
           "                      hex after 0x (default 0x00010002)\n"
           "  --cpu PROFILE       processor shown through SimulatedCpuid: real (default),\n"
           "                      intel, intel-no-sensor, intel-leaf5, amd, no-cpuid\n"
           "  --seed N            seed of the simulated sensor (default 1)\n"
           "  --tjmax85           simulated register 0xEE has bit 30 set: TjMax 85 C\n"
           "  --invalid-every N   every Nth simulated thermal reading is marked not valid\n"
           "  --fail-every N      every Nth simulated thermal read fails\n"
           "  --msr-dir DIR       read registers from DIR/N/msr, 8 bytes at offset =\n"
           "                      register, as Linux's msr driver lays out /dev/cpu;\n"
           "                      every processor polled needs its file\n"
           "  --help              this text\n"
           "\n"
           "Numbers are decimal. Exit codes: 0 done, 1 the plug-in or --msr-dir\n"
           "cannot be used, 2 a bad command line.\n";
}

bool ParseOptions(int argc, char **argv, Options *options, bool *help, std::string *error) {
    *help = false;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        uint64_t number = 0;
        auto take_number = [&](uint64_t max, bool hex_prefix = false) {
            if (!ParseUnsigned(value, max, hex_prefix, &number)) {
                *error = std::string(arg) + " takes a whole number from 0 to " + std::to_string(max) +
                         (hex_prefix ? " (decimal, or hex after 0x)" : "") +
                         (value ? std::string(", not ") + value : "");
                return false;
            }
            ++i;
            return true;
        };
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            *help = true;
            return true;
        } else if (std::strcmp(arg, "--csv") == 0) {
            options->csv = true;
        } else if (std::strcmp(arg, "--tjmax85") == 0) {
            options->registers.tj_max_85 = true;
        } else if (std::strcmp(arg, "--polls") == 0) {
            if (!take_number(1000000)) return false;
            options->polls = static_cast<int>(number);
        } else if (std::strcmp(arg, "--interval") == 0) {
            if (!take_number(3600000)) return false;
            options->interval_ms = static_cast<int>(number);
        } else if (std::strcmp(arg, "--desc-version") == 0) {
            if (!take_number(0xFFFFFFFFu, true)) return false;
            options->desc_version = static_cast<uint32_t>(number);
        } else if (std::strcmp(arg, "--seed") == 0) {
            if (!take_number(UINT64_MAX)) return false;
            options->registers.seed = number;
        } else if (std::strcmp(arg, "--invalid-every") == 0) {
            if (!take_number(0xFFFFFFFFu)) return false;
            options->registers.invalid_every = static_cast<uint32_t>(number);
        } else if (std::strcmp(arg, "--fail-every") == 0) {
            if (!take_number(0xFFFFFFFFu)) return false;
            options->registers.fail_every = static_cast<uint32_t>(number);
        } else if (std::strcmp(arg, "--cpu") == 0) {
            if (value == nullptr || !ParseCpuProfile(value, &options->cpu)) {
                *error = std::string("--cpu takes one of: ") + CpuProfileNames();
                return false;
            }
            ++i;
        } else if (std::strcmp(arg, "--msr-dir") == 0) {
            if (value == nullptr || *value == '\0') {
                *error = "--msr-dir needs a directory";
                return false;
            }
            options->registers.msr_dir = value;
            ++i;
        } else if (arg[0] == '-' && arg[1] == '-') {
            *error = std::string("unknown option ") + arg;
            return false;
        } else if (options->plugin_path.empty()) {
            options->plugin_path = arg;
        } else {
            *error = std::string("one plug-in at a time; also given: ") + arg;
            return false;
        }
    }
    if (options->plugin_path.empty()) {
        *error = "no plug-in given";
        return false;
    }
    return true;
}
