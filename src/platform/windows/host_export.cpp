#include "platform/windows/host_export.h"

#include <windows.h>

void *FindHostExport(const char *name) {
    // A null name gives the executable that started the process: the host.
    // The handle is not counted, so there is nothing to release.
    HMODULE host = GetModuleHandleA(nullptr);
    if (host == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void *>(GetProcAddress(host, name));
}
