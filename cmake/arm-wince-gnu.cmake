# Windows CE 5.0 on ARMV4I, built with Debian's arm-linux-gnueabi compiler and binutils: the
# compiler makes ELF objects for ARMv4T with interworking, and platform/wince/ turns them into a
# PE executable (its own PE header and import table in assembly, a linker script, objcopy).
# Nothing from a C or C++ library is linked: COREDLL supplies the few C routines the code calls.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabi-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabi-g++)
set(CMAKE_ASM_COMPILER arm-linux-gnueabi-gcc)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The compiler checks cannot link a program without the start-up code this build makes itself.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(KELBRUN_DEVICE_BUILD ON CACHE BOOL "Build the device's own Kelbrun.EXE" FORCE)

# -ffreestanding: no library behind the compiler, and no built-in knowledge of one that would
# turn a loop into a call. No unwind tables, so no reference to the EABI unwinder either.
# _WIN32_WCE selects WinMain in launcher/winmain.cpp; KELBRUN_DEVICE_BUILD keeps platform.h on
# the project's own declarations all the same.
set(CMAKE_CXX_FLAGS_INIT "-march=armv4t -mthumb-interwork -ffreestanding -fno-exceptions \
-fno-rtti -fno-unwind-tables -fno-asynchronous-unwind-tables -fno-pic -fno-pie \
-fno-stack-protector -fno-ident -Os -ffunction-sections -fdata-sections \
-DKELBRUN_DEVICE_BUILD -D_WIN32_WCE=0x500")
set(CMAKE_ASM_FLAGS_INIT "-march=armv4t -mthumb-interwork")
