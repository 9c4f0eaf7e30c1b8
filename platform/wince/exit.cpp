// The C library's exit, which the device code calls when it has nothing to start. There is no C
// library in the device build: the process ends through COREDLL. Its own object, so that only
// programs that call exit import TerminateProcess.
#include "platform/platform.h"

void exit(int status) {
    TerminateProcess(GetCurrentProcess(), static_cast<DWORD>(status));
    // Ending the current process does not return; if it ever did, an undefined instruction
    // ends it all the same rather than running on.
    __builtin_trap();
}
