#ifndef DIETHERM_SOURCE_NAME_H
#define DIETHERM_SOURCE_NAME_H

#include <stddef.h>
#include <stdint.h>

// "CPU<index> temperature" with the index as a signed decimal, NUL-terminated.
// The longest, for INT32_MIN, is 26 characters. Answers the length without
// the terminator.
size_t FormatSourceName(int32_t index, char out[32]);

#endif  // DIETHERM_SOURCE_NAME_H
