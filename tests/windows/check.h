// Minimal checks for the test programs that run under Windows (or Wine),
// where GoogleTest is not built.
#ifndef DIETHERM_TESTS_WINDOWS_CHECK_H
#define DIETHERM_TESTS_WINDOWS_CHECK_H

#include <cstdio>

inline int g_check_failures = 0;
inline int g_check_count = 0;

#define CHECK(condition)                                                              \
    do {                                                                              \
        ++g_check_count;                                                              \
        if (!(condition)) {                                                           \
            ++g_check_failures;                                                       \
            std::printf("%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
        }                                                                             \
    } while (0)

inline int CheckSummary(const char *program) {
    std::printf("%s: %d checks, %d failed\n", program, g_check_count, g_check_failures);
    return g_check_failures == 0 ? 0 : 1;
}

#endif  // DIETHERM_TESTS_WINDOWS_CHECK_H
