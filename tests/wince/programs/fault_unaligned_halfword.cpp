// A 16-bit read from an odd address: Windows CE on ARM raises a misalignment exception for it as
// for a misaligned word, which ends the process.
#include "platform/platform.h"

static uint16_t halves[4];

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    uintptr_t address = reinterpret_cast<uintptr_t>(halves) + 1;
    // Hidden from the compiler, which would otherwise read a known misaligned half byte by byte.
    asm("" : "+r"(address));
    // Volatile: the read must happen, as one 16-bit load.
    return static_cast<int>(*reinterpret_cast<const volatile uint16_t*>(address));
}
