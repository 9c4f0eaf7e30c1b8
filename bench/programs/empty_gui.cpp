// The smallest GUI program the toolchain makes: what Kelbrun.EXE is measured against.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    return 0;
}
