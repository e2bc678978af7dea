#include "register_source.h"

#include <windows.h>

#include <cstdio>

#include "sensor/msr_layout.h"
#include "text.h"

namespace {

using msr::kTjMaxSelect;
using msr::kThermStatus;
// Bits the plug-in must ignore: status and log bits 15..0, resolution and
// reserved bits 30..23.
constexpr uint32_t kIgnoredStatusBits = ~(msr::kReadingValidBit | msr::kReadoutMask << msr::kReadoutShift);

RegisterSourceConfig g_config;

struct SimulatedProcessor {
    bool started = false;
    uint64_t random = 0;
    int temperature = 0;  // degrees Celsius
};
SimulatedProcessor g_processors[kMaxProcessors];
uint32_t g_reads = 0;  // of any register, on any processor
RegisterRead g_last_tj_max_select[kMaxProcessors];
RegisterRead g_last_status[kMaxProcessors];

uint64_t NextRandom(uint64_t &state) {  // splitmix64
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

SimulatedProcessor &Processor(int index) {
    SimulatedProcessor &processor = g_processors[index];
    if (!processor.started) {
        processor.started = true;
        processor.random = g_config.seed * 0x100000001B3ull + static_cast<uint64_t>(index);
        processor.temperature = 35 + static_cast<int>(NextRandom(processor.random) % 25);
    }
    return processor;
}

bool Every(uint32_t period, uint32_t count) { return period != 0 && count % period == 0; }

bool Simulate(uint32_t msr, int index, uint32_t count, uint32_t *high, uint32_t *low) {
    SimulatedProcessor &processor = Processor(index);
    *high = 0;
    if (msr == kTjMaxSelect) {
        if (g_config.no_tj_max_register) {
            return false;
        }
        // Its own stream: which processor reads 0xEE must not change the
        // temperatures that follow.
        uint64_t state = g_config.seed ^ 0xEEull;
        *low = (static_cast<uint32_t>(NextRandom(state)) & ~msr::kTjMax85Bit) | (g_config.tj_max_85 ? msr::kTjMax85Bit : 0);
        return true;
    }
    const uint32_t noise = static_cast<uint32_t>(NextRandom(processor.random));
    if (msr != kThermStatus || Every(g_config.fail_every, count)) {
        return false;
    }
    const int step = static_cast<int>(NextRandom(processor.random) % 3) - 1;
    processor.temperature = processor.temperature + step < 25 ? 25
                            : processor.temperature + step > 80 ? 80
                                                               : processor.temperature + step;
    const int tj_max = g_config.tj_max_85 ? 85 : 100;
    const uint32_t readout = static_cast<uint32_t>(tj_max - processor.temperature) & msr::kReadoutMask;
    const bool valid = !Every(g_config.invalid_every, count);
    *low = (valid ? msr::kReadingValidBit : 0) | (readout << msr::kReadoutShift) | (noise & kIgnoredStatusBits);
    return true;
}

std::string MsrPath(const std::string &dir, int processor) { return dir + "/" + std::to_string(processor) + "/msr"; }

// DIR/N/msr opened for reading, as both the check before loading and every
// read open it; INVALID_HANDLE_VALUE with the system's error otherwise.
HANDLE OpenMsrFile(const std::string &dir, int processor) {
    return CreateFileW(Utf8ToWide(MsrPath(dir, processor)).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Linux's msr driver: /dev/cpu/N/msr, 8 bytes at offset = register index.
bool ReadFromDirectory(uint32_t msr, int index, uint32_t *high, uint32_t *low) {
    HANDLE file = OpenMsrFile(g_config.msr_dir, index);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER offset;
    offset.QuadPart = msr;
    unsigned char bytes[8];
    DWORD got = 0;
    const bool read = SetFilePointerEx(file, offset, nullptr, FILE_BEGIN) &&
                      ReadFile(file, bytes, sizeof(bytes), &got, nullptr) && got == sizeof(bytes);
    CloseHandle(file);
    if (!read) {
        return false;
    }
    *low = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    *high = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | static_cast<uint32_t>(bytes[7]) << 24;
    return true;
}

}  // namespace

void ConfigureRegisterSource(const RegisterSourceConfig &config) {
    g_config = config;
    for (int index = 0; index < kMaxProcessors; ++index) {
        g_processors[index] = SimulatedProcessor{};
        g_last_tj_max_select[index] = RegisterRead{};
        g_last_status[index] = RegisterRead{};
    }
    g_reads = 0;
}

RegisterRead LastRead(uint32_t msr, int processor) {
    if (processor < 0 || processor >= kMaxProcessors) return RegisterRead{};
    if (msr == kTjMaxSelect) return g_last_tj_max_select[processor];
    if (msr == kThermStatus) return g_last_status[processor];
    return RegisterRead{};
}

extern "C" int32_t ReadMSR(uint32_t msr, uint32_t *high, uint32_t *low) {
    // The processor is the one this thread runs on now, never a value the
    // plug-in could pass: that is what binding the thread must achieve.
    const int processor = static_cast<int>(GetCurrentProcessorNumber());
    if (processor < 0 || processor >= kMaxProcessors) {
        return 0;
    }
    RegisterRead *last = msr == kTjMaxSelect ? &g_last_tj_max_select[processor]
                         : msr == kThermStatus ? &g_last_status[processor]
                                               : nullptr;
    const uint32_t count = last != nullptr ? last->count + 1 : 1;
    uint32_t high_half = 0;
    uint32_t low_half = 0;
    const bool working = ++g_reads > g_config.fail_first_reads;
    const bool answered = working && (g_config.msr_dir.empty() ? Simulate(msr, processor, count, &high_half, &low_half)
                                                               : ReadFromDirectory(msr, processor, &high_half, &low_half));
    if (last != nullptr) {
        *last = RegisterRead{answered, low_half, count};
    }
    if (!answered) {
        return 0;
    }
    *high = high_half;
    *low = low_half;
    return 1;
}

bool CheckMsrDir(const std::string &dir, int processors, std::string *error) {
    const DWORD attributes = GetFileAttributesW(Utf8ToWide(dir).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        *error = "--msr-dir " + dir + ": no such directory";
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        *error = "--msr-dir " + dir + ": not a directory";
        return false;
    }
    for (int processor = 0; processor < processors; ++processor) {
        const std::string path = MsrPath(dir, processor);
        HANDLE file = OpenMsrFile(dir, processor);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            continue;
        }
        const DWORD code = GetLastError();
        const std::string which = " (processor " + std::to_string(processor) + " of " + std::to_string(processors) + ")";
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            *error = "--msr-dir: " + path + " does not exist" + which +
                     "; on Linux, load the msr driver first: modprobe msr (as root)";
        } else if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) {
            *error = "--msr-dir: cannot read " + path + ": access denied" + which +
                     "; reading /dev/cpu/N/msr needs root";
        } else {
            *error = "--msr-dir: cannot open " + path + which + ", error " + std::to_string(code);
        }
        return false;
    }
    return true;
}

const char *RegisterSourceLabel(const RegisterSourceConfig &config) {
    return config.msr_dir.empty() ? "simulated" : "msr-dir";
}
