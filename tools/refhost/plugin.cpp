#include "plugin.h"

#include <cstdio>

#include "text.h"

namespace {

constexpr WORD kMachineX86 = 0x014C;
constexpr WORD kMachineX64 = 0x8664;

#if defined(_WIN64)
constexpr WORD kOwnMachine = kMachineX64;
#else
constexpr WORD kOwnMachine = kMachineX86;
#endif

const char *Bits(WORD machine) { return machine == kMachineX64 ? "64-bit" : "32-bit"; }

// The machine a PE file is built for, or 0 when it cannot be told.
WORD PeMachine(const std::wstring &path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    unsigned char header[4096];
    DWORD got = 0;
    const BOOL read = ReadFile(file, header, sizeof(header), &got, nullptr);
    CloseHandle(file);
    if (!read || got < 0x40 || header[0] != 'M' || header[1] != 'Z') return 0;
    const DWORD pe = header[0x3C] | header[0x3D] << 8 | header[0x3E] << 16 | static_cast<DWORD>(header[0x3F]) << 24;
    if (pe > got - 6 || header[pe] != 'P' || header[pe + 1] != 'E' || header[pe + 2] != 0 || header[pe + 3] != 0) {
        return 0;
    }
    return static_cast<WORD>(header[pe + 4] | header[pe + 5] << 8);
}

// The system's text for `code`, its %1 filled with the file's name.
std::string SystemMessage(DWORD code, const std::string &file) {
    wchar_t text[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof(text) / sizeof(text[0]), nullptr);
    std::string message = WideToUtf8(std::wstring(text, length));
    for (size_t at = message.find("%1"); at != std::string::npos; at = message.find("%1", at + file.size())) {
        message.replace(at, 2, file);
    }
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    char number[32];
    std::snprintf(number, sizeof(number), "error %lu", static_cast<unsigned long>(code));
    return message.empty() ? number : message + " (" + number + ")";
}

std::string BaseName(const std::string &path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

template <typename Function>
bool Resolve(HMODULE module, const char *name, Function *function) {
    *function = reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(module, name)));
    return *function != nullptr;
}

}  // namespace

const char *OwnArchitecture() { return Bits(kOwnMachine); }

bool LoadPlugin(const std::string &path, Plugin *plugin, std::string *error) {
    *plugin = Plugin{};
    const std::wstring wide_path = Utf8ToWide(path);
    const WORD machine = PeMachine(wide_path);
    if ((machine == kMachineX86 || machine == kMachineX64) && machine != kOwnMachine) {
        *error = path + " is a " + Bits(machine) + " DLL; this reference host is " + Bits(kOwnMachine) +
                 ": use " + (machine == kMachineX64 ? "x64" : "x86") + "\\refhost.exe";
        return false;
    }
    HMODULE module = LoadLibraryW(wide_path.c_str());
    if (module == nullptr) {
        *error = "cannot load " + path + ": " + SystemMessage(GetLastError(), BaseName(path));
        return false;
    }
    plugin->module = module;
    const char *missing = !Resolve(module, "GetSourcesNum", &plugin->sources_num)   ? "GetSourcesNum"
                          : !Resolve(module, "GetSourceDesc", &plugin->source_desc) ? "GetSourceDesc"
                          : !Resolve(module, "GetSourceData", &plugin->source_data) ? "GetSourceData"
                                                                                    : nullptr;
    if (missing != nullptr) {
        *error = path + " does not export " + missing;
        UnloadPlugin(plugin);
        return false;
    }
    return true;
}

void UnloadPlugin(Plugin *plugin) {
    if (plugin->module != nullptr) {
        FreeLibrary(plugin->module);
    }
    *plugin = Plugin{};
}
