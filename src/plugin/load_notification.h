#ifndef DIETHERM_LOAD_NOTIFICATION_H
#define DIETHERM_LOAD_NOTIFICATION_H

#include <stdint.h>

#if defined(_WIN32)
#define DIETHERM_LOADER_CALL __stdcall
#else
#define DIETHERM_LOADER_CALL
#endif

#define DIETHERM_PROCESS_ATTACH 1u

#ifdef __cplusplus
extern "C" {
#endif

// The loader's notification, with the types of its Windows signature:
// module handle, reason, reserved. Answers 1 (TRUE) for every reason.
int DIETHERM_LOADER_CALL DllMain(void *module, unsigned long reason, void *reserved);

#ifdef __cplusplus
}
#endif

#endif  // DIETHERM_LOAD_NOTIFICATION_H
