# Windows CE 5.0 on ARM (ARMV4I), with the CeGCC arm-mingw32ce cross toolchain. Not available
# on Debian; see "Other routes" in docs/device-build.md.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 5.0)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-mingw32ce-gcc)
set(CMAKE_CXX_COMPILER arm-mingw32ce-g++)
set(CMAKE_RC_COMPILER arm-mingw32ce-windres)
set(KELBRUN_WINDOWS_CE ON CACHE BOOL "Build for Windows CE" FORCE)
add_compile_definitions(_WIN32_WCE=0x500 UNDER_CE=0x500 ARM _ARM_)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
