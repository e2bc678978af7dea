# Cross-compiling for Windows with the MinGW-w64 toolchain (win32 threads: no
# winpthread DLL to carry along).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
find_program(DIETHERM_CROSS_COMPILER i686-w64-mingw32-g++-win32)
if(NOT DIETHERM_CROSS_COMPILER)
    message(FATAL_ERROR "The MinGW-w64 cross compiler i686-w64-mingw32-g++-win32 is missing: install g++-mingw-w64-i686-win32 "
        "(scripts/install-deps build does).")
endif()
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# 32-bit Windows programs run under Wine where the kernel runs 32-bit x86
# code and wine32 is installed; tools/wine-run says so where they cannot.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../tools/wine-run)
