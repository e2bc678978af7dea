#include <windows.h>

#include "platform/platform.h"

extern "C" ReadMsrFunction PlatformFindHostReadMsr(void) {
    // A null name gives the executable that started the process: the host.
    // The handle is not counted, so there is nothing to release.
    HMODULE host = GetModuleHandleA(nullptr);
    if (host == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<ReadMsrFunction>(reinterpret_cast<void *>(GetProcAddress(host, "ReadMSR")));
}

extern "C" MsrReading PlatformReadMsr(ReadMsrFunction read_msr, uint32_t msr) {
    uint32_t second = 0;
    uint32_t bits_31_to_0 = 0;
    if (read_msr(msr, &second, &bits_31_to_0) == 0) {
        return MsrReading{0, 0};
    }
    return MsrReading{bits_31_to_0, 1};
}
