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

// Loads `path` and resolves the exports. On failure, `error` says why and
// nothing stays loaded.
bool LoadPlugin(const char *path, Plugin *plugin, std::string *error);
void UnloadPlugin(Plugin *plugin);

#endif  // REFHOST_PLUGIN_H
