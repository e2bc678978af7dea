#include "plugin.h"

#include <cstdio>

namespace {

std::string SystemMessage(DWORD code) {
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof(text), nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    char number[32];
    std::snprintf(number, sizeof(number), "error %lu", static_cast<unsigned long>(code));
    return message.empty() ? number : message + " (" + number + ")";
}

template <typename Function>
bool Resolve(HMODULE module, const char *name, Function *function) {
    *function = reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(module, name)));
    return *function != nullptr;
}

}  // namespace

bool LoadPlugin(const char *path, Plugin *plugin, std::string *error) {
    *plugin = Plugin{};
    HMODULE module = LoadLibraryA(path);
    if (module == nullptr) {
        *error = std::string("cannot load ") + path + ": " + SystemMessage(GetLastError());
        return false;
    }
    plugin->module = module;
    const char *missing = !Resolve(module, "GetSourcesNum", &plugin->sources_num)   ? "GetSourcesNum"
                          : !Resolve(module, "GetSourceDesc", &plugin->source_desc) ? "GetSourceDesc"
                          : !Resolve(module, "GetSourceData", &plugin->source_data) ? "GetSourceData"
                                                                                    : nullptr;
    if (missing != nullptr) {
        *error = std::string(path) + " does not export " + missing;
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
