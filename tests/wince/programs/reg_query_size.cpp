// Asks for the launcher's SDMMC value twice, first with room for two characters, then with room
// for all of it, and prints what RegQueryValueExW gave back each time: its result, the type and
// the byte count it wrote. The launcher itself never reads the count, so this is what checks it.
#include "platform/platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    HKEY key = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Tavrin\\Paths"), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return 1;
    }
    WCHAR text[32];
    DWORD type = 0;
    DWORD size = 4;
    const LONG small = RegQueryValueExW(key, TEXT("SDMMC"), NULL, &type,
                                        reinterpret_cast<LPBYTE>(text), &size);
    NKDbgPrintfW(TEXT("regquery: %d %d %d\r\n"), static_cast<int>(small), static_cast<int>(type),
                 static_cast<int>(size));
    type = 0;
    size = sizeof(text);
    const LONG whole = RegQueryValueExW(key, TEXT("SDMMC"), NULL, &type,
                                        reinterpret_cast<LPBYTE>(text), &size);
    NKDbgPrintfW(TEXT("regquery: %d %d %d %s\r\n"), static_cast<int>(whole),
                 static_cast<int>(type), static_cast<int>(size), text);
    RegCloseKey(key);
    return static_cast<int>(size);
}
