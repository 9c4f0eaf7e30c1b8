// Stands in for a program that the launcher starts: it notes its own path in
// C:\kelbrun-started.txt, one line a start, so that a test can tell what really ran.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    WCHAR path[MAX_PATH + 1] = {0};
    const DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    char line[4 * MAX_PATH + 2];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, path, (int)length, line, 4 * MAX_PATH, NULL, NULL);
    if (bytes < 0) {
        bytes = 0;
    }
    line[bytes++] = '\r';
    line[bytes++] = '\n';

    HANDLE file = CreateFileW(L"C:\\kelbrun-started.txt", FILE_APPEND_DATA, FILE_SHARE_READ, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    DWORD written = 0;
    WriteFile(file, line, (DWORD)bytes, &written, NULL);
    CloseHandle(file);
    return 0;
}
