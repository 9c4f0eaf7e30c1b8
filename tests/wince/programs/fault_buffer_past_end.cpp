// Hands COREDLL a buffer that starts in writable memory and runs past its end: the command
// line's text lies in the last bytes of the stack, and a buffer of eight characters from there
// reaches beyond it. COREDLL's write faults in the caller's process on the device, and ends it.
#include "platform/platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
    return static_cast<int>(GetModuleFileNameW(instance, commandLine, 8));
}
