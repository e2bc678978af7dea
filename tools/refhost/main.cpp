// refhost: a reference monitoring host for data-source plug-ins such as
// Dietherm.dll. See UsageText() for what it does and its options.
#include <windows.h>

#include <cfloat>
#include <cstdio>
#include <string>

#include "options.h"
#include "plugin.h"
#include "register_source.h"
#include "session.h"
#include "simulated_cpu.h"

namespace {

std::string Reading(float value) {
    if (value == FLT_MAX) return "n/a";
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", static_cast<double>(value));
    return text;
}

// Pads to `width` characters, counting UTF-8 sequences as one.
std::string Pad(const std::string &text, size_t width) {
    size_t characters = 0;
    for (unsigned char c : text) characters += (c & 0xC0) != 0x80;
    return characters >= width ? text : text + std::string(width - characters, ' ');
}

std::string RegisterSourceText(const RegisterSourceConfig &config) {
    if (!config.msr_dir.empty()) return "files " + config.msr_dir + "/N/msr";
    std::string text = "simulated sensor, seed " + std::to_string(config.seed) + ", TjMax " +
                       (config.tj_max_85 ? "85" : "100") + " \xC2\xB0" "C";
    if (config.invalid_every) text += ", 1 in " + std::to_string(config.invalid_every) + " readings not valid";
    if (config.fail_every) text += ", 1 in " + std::to_string(config.fail_every) + " reads failing";
    return text;
}

void PrintTable(const Options &options, const Session &session) {
    std::printf("plug-in    %s\n", options.plugin_path.c_str());
    if (options.cpu == CpuProfile::Real) {
        std::printf("processor  real: this machine's own\n");
    } else {
        std::printf("processor  %s, simulated for Dietherm-simcpu.dll (Dietherm.dll asks the real one)\n",
                    CpuProfileName(options.cpu));
    }
    std::printf("registers  %s\n", RegisterSourceText(options.registers).c_str());
    std::printf("sources    %d\n\n", session.sources);

    std::printf("source  %s%s", Pad("name", 28).c_str(), Pad("unit", 6).c_str());
    for (int poll = 1; poll <= options.polls; ++poll) std::printf("%8s", ("poll " + std::to_string(poll)).c_str());
    std::printf("\n");
    for (const SourceRow &row : session.rows) {
        std::printf("%6d  %s%s", row.index, Pad(row.described ? row.name : "(not described)", 28).c_str(),
                    Pad(row.units, 6).c_str());
        for (float value : row.readings) std::printf("%8s", Reading(value).c_str());
        std::printf("\n");
    }
    bool any_described = false;
    for (const SourceRow &row : session.rows) any_described |= row.described;
    if (!any_described) {
        std::printf("\nGetSourceDesc answered 0 for every source: the processor has no Digital Thermal Sensor,\n"
                    "or the plug-in could not read through this host's ReadMSR.\n");
    }
}

void PrintCsv(const Options &options, const Session &session) {
    std::printf("source,described,name,unit");
    for (int poll = 1; poll <= options.polls; ++poll) std::printf(",poll_%d", poll);
    std::printf("\n");
    for (const SourceRow &row : session.rows) {
        std::printf("%d,%d,%s,%s", row.index, row.described ? 1 : 0, row.name.c_str(), row.units.c_str());
        for (float value : row.readings) std::printf(",%s", Reading(value).c_str());
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char **argv) {
    Options options;
    bool help = false;
    std::string error;
    if (!ParseOptions(argc, argv, &options, &help, &error)) {
        std::fprintf(stderr, "refhost: %s\n\n%s", error.c_str(), UsageText());
        return 2;
    }
    if (help) {
        std::printf("%s", UsageText());
        return 0;
    }
    SetConsoleOutputCP(CP_UTF8);
    SetCpuProfile(options.cpu);
    ConfigureRegisterSource(options.registers);

    Plugin plugin;
    if (!LoadPlugin(options.plugin_path.c_str(), &plugin, &error)) {
        std::fprintf(stderr, "refhost: %s\n", error.c_str());
        return 1;
    }
    const Session session = RunSession(plugin, options.desc_version, options.polls, options.interval_ms);
    if (options.csv) {
        PrintCsv(options, session);
    } else {
        PrintTable(options, session);
    }
    UnloadPlugin(&plugin);
    return 0;
}
