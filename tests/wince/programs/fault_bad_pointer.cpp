// Hands COREDLL a buffer the program may not write: its own constants. COREDLL's write into it
// faults in the caller's process on the device, and ends it.
#include "platform/platform.h"

// Constants, in .rdata: read-only once loaded. Eight characters, so that the query has room
// for a whole path and would write all of it.
static const WCHAR kConstantBuffer[8] = {0};

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    return static_cast<int>(GetModuleFileNameW(instance, const_cast<LPWSTR>(kConstantBuffer), 8));
}
