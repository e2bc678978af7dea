#include <windows.h>

#include "platform/platform.h"

extern "C" AffinityMask PlatformSystemAffinityMask(void) {
    // Written by the call when it succeeds, and read only then.
    DWORD_PTR process_mask;
    DWORD_PTR system_mask;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) == 0) {
        return 0;
    }
    return system_mask;
}

extern "C" int32_t PlatformSetProcessAffinity(AffinityMask mask) {
    return SetProcessAffinityMask(GetCurrentProcess(), mask) != 0 ? 1 : 0;
}

extern "C" int32_t PlatformBindThread(AffinityMask mask) {
    // The previous mask is dropped on purpose: the thread stays bound.
    return SetThreadAffinityMask(GetCurrentThread(), mask) != 0 ? 1 : 0;
}
