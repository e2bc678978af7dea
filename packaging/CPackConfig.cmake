# The release ZIP: both architectures' builds installed side by side, with the
# README and a SHA-256 list. Used by scripts/package, which builds first.
get_filename_component(DIETHERM_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Dietherm)
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_PACKAGE_DESCRIPTION "Dietherm.dll: core temperatures from the Intel Digital Thermal Sensor for a hardware-monitoring host")
set(CPACK_PACKAGE_VENDOR "Dietherm")
set(CPACK_PACKAGE_FILE_NAME Dietherm-1.0.0-windows)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_CMAKE_GENERATOR "Unix Makefiles")
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${DIETHERM_SOURCE_DIR}/build/windows-x86;Dietherm;ALL;/"
    "${DIETHERM_SOURCE_DIR}/build/windows-x64;Dietherm;ALL;/")
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/write_sha256sums.cmake)
set(CPACK_OUTPUT_FILE_PREFIX ${DIETHERM_SOURCE_DIR}/build/package)
