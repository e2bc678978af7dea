// refhost: a reference monitoring host for data-source plug-ins such as
// Dietherm.dll. See UsageText() for what it does, its options and its exit
// codes.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "options.h"
#include "plugin.h"
#include "register_source.h"
#include "report.h"
#include "session.h"
#include "simulated_cpu.h"
#include "text.h"

namespace {

constexpr int kExitFailure = 1;  // the plug-in or --msr-dir cannot be used
constexpr int kExitUsage = 2;

// The processors whose msr files a session will read: the sources a
// Dietherm-style plug-in offers, one per processor, at most 32.
int ProcessorsToPoll() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors < 32 ? static_cast<int>(info.dwNumberOfProcessors) : 32;
}

}  // namespace

// Wide arguments: paths outside the ANSI code page arrive intact.
int wmain(int argc, wchar_t **argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> utf8_args;
    for (int i = 0; i < argc; ++i) utf8_args.push_back(WideToUtf8(argv[i]));
    std::vector<char *> args;
    for (std::string &arg : utf8_args) args.push_back(&arg[0]);

    Options options;
    bool help = false;
    std::string error;
    if (!ParseOptions(argc, args.data(), &options, &help, &error)) {
        std::fprintf(stderr, "refhost: %s\n\n%s", error.c_str(), UsageText());
        return kExitUsage;
    }
    if (help) {
        std::printf("%s", UsageText());
        return 0;
    }
    if (!options.registers.msr_dir.empty() && !CheckMsrDir(options.registers.msr_dir, ProcessorsToPoll(), &error)) {
        std::fprintf(stderr, "refhost: %s\n", error.c_str());
        return kExitFailure;
    }
    SetCpuProfile(options.cpu);
    ConfigureRegisterSource(options.registers);

    Plugin plugin;
    if (!LoadPlugin(options.plugin_path, &plugin, &error)) {
        std::fprintf(stderr, "refhost: %s\n", error.c_str());
        return kExitFailure;
    }
    const Session session = DescribeSources(plugin, options.desc_version);
    PrintHeader(options, session);
    PollSources(plugin, session, options.polls, options.interval_ms,
                [&](int poll, const PollReadings &readings) { PrintPoll(options, session, poll, readings); });
    PrintFooter(options, session);
    UnloadPlugin(&plugin);
    return 0;
}
