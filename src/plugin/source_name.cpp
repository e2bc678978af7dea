#include "plugin/source_name.h"

#include <cstring>

size_t FormatSourceName(int32_t index, char out[32]) {
    static const char kPrefix[] = "CPU";
    static const char kSuffix[] = " temperature";

    char *cursor = out;
    std::memcpy(cursor, kPrefix, sizeof(kPrefix) - 1);
    cursor += sizeof(kPrefix) - 1;

    // Negate in unsigned arithmetic so INT32_MIN has a magnitude too.
    uint32_t magnitude = static_cast<uint32_t>(index);
    if (index < 0) {
        *cursor++ = '-';
        magnitude = 0u - magnitude;
    }
    char digits[10];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (count != 0) {
        *cursor++ = digits[--count];
    }

    std::memcpy(cursor, kSuffix, sizeof(kSuffix));  // with the terminator
    return static_cast<size_t>(cursor - out) + sizeof(kSuffix) - 1;
}
