# The device's processor family on a Linux host: 32-bit little-endian ARM (Debian's armel),
# run under QEMU's user-mode emulator. The emulated processor is an ARMv5TE (ARM926), the
# oldest that Debian's armel run-time runs on; the device code itself is built for ARMv4T.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabi-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabi-g++)
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(KELBRUN_QEMU_ARM qemu-arm)
if(NOT KELBRUN_QEMU_ARM)
    message(FATAL_ERROR "the ARM build runs its tests under qemu-arm: sudo apt-get install qemu-user")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${KELBRUN_QEMU_ARM} -cpu arm926 -L /usr/arm-linux-gnueabi)
set(KELBRUN_ARM ON CACHE BOOL "Building for ARM" FORCE)
