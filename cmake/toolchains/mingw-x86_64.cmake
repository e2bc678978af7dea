# Cross-compiling for Windows with the MinGW-w64 toolchain (win32 threads: no
# winpthread DLL to carry along).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-win32)
find_program(DIETHERM_CROSS_COMPILER x86_64-w64-mingw32-g++-win32)
if(NOT DIETHERM_CROSS_COMPILER)
    message(FATAL_ERROR "The MinGW-w64 cross compiler x86_64-w64-mingw32-g++-win32 is missing: install g++-mingw-w64-x86-64-win32 "
        "(scripts/install-deps build does).")
endif()
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# 64-bit Windows programs run under Wine (wine64), so tests can run them.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../tools/wine-run)
