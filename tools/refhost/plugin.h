// A plug-in DLL loaded by path, with its three exports resolved.
#ifndef REFHOST_PLUGIN_H
#define REFHOST_PLUGIN_H

#include <windows.h>

#include <string>

#include "dietherm.h"

struct Plugin {
    HMODULE module = nullptr;
    int32_t(DIETHERM_CALL *sources_num)(void) = nullptr;
    int32_t(DIETHERM_CALL *source_desc)(int32_t, SourceDesc *) = nullptr;
    float(DIETHERM_CALL *source_data)(int32_t) = nullptr;
};

// Loads `path` (UTF-8) and resolves the exports. On failure, `error` says
// why, naming both architectures when the DLL is built for the other one,
// and nothing stays loaded.
bool LoadPlugin(const std::string &path, Plugin *plugin, std::string *error);

// "32-bit" or "64-bit": the architecture of this program.
const char *OwnArchitecture();
void UnloadPlugin(Plugin *plugin);

#endif  // REFHOST_PLUGIN_H
