// A real Windows CE program for the example devices' files, in place of the navigation
// application and the image's own programs a unit starts: a unit's loader takes it as it takes
// them (ARMV4I, COREDLL by ordinal, the same build as Kelbrun.EXE). It writes one line and ends.
#include "platform/platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    NKDbgPrintfW(TEXT("stand-in program started\r\n"));
    return 0;
}
