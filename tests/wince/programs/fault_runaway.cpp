// A program that never ends: the emulator's instruction budget stops it.
#include "platform/platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    // A volatile counter is work the compiler must keep, so the loop stays an endless loop.
    volatile uint32_t counter = 0;
    for (;;) {
        counter = counter + 1;
    }
}
