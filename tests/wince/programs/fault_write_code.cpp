// A write to the program's own code, which Windows CE maps read-only.
#include "platform/platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    // WinMain's first word, written back unchanged: a run that does not fault ends with 0 and
    // no damage, so that the missing fault is what a test sees.
    volatile uint32_t* code = reinterpret_cast<volatile uint32_t*>(
        reinterpret_cast<uintptr_t>(&WinMain) & ~static_cast<uintptr_t>(3));
    const uint32_t word = *code;
    *code = word;
    return 0;
}
