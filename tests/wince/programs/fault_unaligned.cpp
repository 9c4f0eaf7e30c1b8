// A 32-bit read from an address that is not a multiple of 4: Windows CE on ARM raises a
// misalignment exception, which ends the process.
#include "platform/platform.h"

static uint32_t words[2];

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    uintptr_t address = reinterpret_cast<uintptr_t>(words) + 1;
    // Hidden from the compiler, which would otherwise read a known misaligned word byte by byte.
    asm("" : "+r"(address));
    // Volatile: the read must happen, as one 32-bit load.
    return static_cast<int>(*reinterpret_cast<const volatile uint32_t*>(address));
}
