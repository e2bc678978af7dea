#include "report.h"

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <string>

#include "plugin.h"
#include "register_source.h"

namespace {

constexpr int kReadingWidth = 10;

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

std::string RightAlign(const std::string &text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// The poll column is as wide as the largest poll number, so headers and
// rows stay aligned however many polls there are.
size_t PollWidth(const Options &options) { return std::max<size_t>(4, std::to_string(options.polls).size()); }

std::string CsvField(const std::string &text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string RegistersText(const RegisterSourceConfig &config) {
    if (!config.msr_dir.empty()) return "read from " + config.msr_dir + "/N/msr (msr-dir)";
    std::string text = "SIMULATED: no register of this machine is read, no reading below is a measurement "
                       "(simulated sensor, seed " + std::to_string(config.seed) + ", TjMax " +
                       (config.tj_max_85 ? "85" : "100") + " \xC2\xB0" "C";
    if (config.invalid_every) text += ", 1 in " + std::to_string(config.invalid_every) + " readings not valid";
    if (config.fail_every) text += ", 1 in " + std::to_string(config.fail_every) + " reads failing";
    return text + ")";
}

// The probe's answer, as the descriptions tell it. Which processor the probe
// asked is the "processor" line's to say: a simulating build asks the
// host's profile, the product the real one.
std::string SensorText(const Session &session) {
    if (session.AnyDescribed()) {
        return "yes: GetSourceDesc answered 1, the plug-in found the Digital Thermal Sensor";
    }
    return "no: GetSourceDesc answered 0 for every source: the processor the plug-in asked has no Digital "
           "Thermal Sensor, or the plug-in could not read through this host's ReadMSR";
}

void PrintTableHeader(const Options &options, const Session &session) {
    std::printf("plug-in    %s (%s DLL, loaded; exports GetSourcesNum, GetSourceDesc, GetSourceData)\n",
                options.plugin_path.c_str(), OwnArchitecture());
    if (options.cpu == CpuProfile::Real) {
        std::printf("processor  real: this machine's own\n");
    } else {
        std::printf("processor  %s, simulated for Dietherm-simcpu.dll (Dietherm.dll asks the real one)\n",
                    CpuProfileName(options.cpu));
    }
    std::printf("registers  %s\n", RegistersText(options.registers).c_str());
    std::printf("sources    %d\n", session.sources);
    std::printf("sensor     %s\n\n", SensorText(session).c_str());

    std::printf("source  %s%s\n", Pad("name", 28).c_str(), "unit");
    for (const SourceRow &row : session.rows) {
        if (row.described) {
            std::printf("%6d  %s%s\n", row.index, Pad(row.name, 28).c_str(), row.units.c_str());
        } else {
            std::printf("%6d  (not described)\n", row.index);
        }
    }
    if (!session.AnyDescribed() || options.polls == 0) return;
    std::printf("\n%s  %-9s", RightAlign("poll", PollWidth(options)).c_str(), "registers");
    for (const SourceRow &row : session.rows) {
        if (row.described) std::printf("%s", RightAlign("source " + std::to_string(row.index), kReadingWidth).c_str());
    }
    std::printf("\n");
}

void PrintTablePoll(const Options &options, const Session &session, int poll, const PollReadings &readings) {
    std::printf("%s  %-9s", RightAlign(std::to_string(poll), PollWidth(options)).c_str(),
                RegisterSourceLabel(options.registers));
    for (size_t i = 0; i < session.rows.size(); ++i) {
        if (session.rows[i].described) std::printf("%s", RightAlign(Reading(readings[i]), kReadingWidth).c_str());
    }
    std::printf("\n");
}

void PrintCsvPoll(const Options &options, const Session &session, int poll, const PollReadings &readings) {
    for (size_t i = 0; i < session.rows.size(); ++i) {
        const SourceRow &row = session.rows[i];
        std::printf("%d,%d,%d,%s,%s,%s,%s\n", poll, row.index, row.described ? 1 : 0, CsvField(row.name).c_str(),
                    CsvField(row.units).c_str(), RegisterSourceLabel(options.registers),
                    row.described ? Reading(readings[i]).c_str() : "");
    }
}

}  // namespace

void PrintHeader(const Options &options, const Session &session) {
    if (options.csv) {
        std::printf("poll,source,described,name,unit,registers,reading\n");
    } else {
        PrintTableHeader(options, session);
    }
    std::fflush(stdout);
}

void PrintPoll(const Options &options, const Session &session, int poll, const PollReadings &readings) {
    if (options.csv) {
        PrintCsvPoll(options, session, poll, readings);
    } else if (session.AnyDescribed()) {
        PrintTablePoll(options, session, poll, readings);
    }
    std::fflush(stdout);
}

void PrintFooter(const Options &options, const Session &session) {
    if (options.csv || !options.registers.msr_dir.empty() || !session.AnyDescribed() || options.polls == 0) return;
    std::printf("\nEvery reading above is simulated: this host reads no processor register without --msr-dir.\n");
    std::fflush(stdout);
}
