// Calls into COREDLL and returns 7. In the Thumb build this is Thumb code: each call goes
// through the linker's Thumb-to-ARM veneer and the ARM import stub, and COREDLL's return must
// bring it back to Thumb state; any break in that path ends the run otherwise than with 7.
#include "platform/platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    Sleep(1);
    NKDbgPrintfW(TEXT("interworking: back from Sleep, %d\r\n"), 7);
    return 7;
}
