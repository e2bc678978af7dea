#include <windows.h>

#include "platform/platform.h"

extern "C" uint32_t PlatformProcessorCount(void) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors;
}
