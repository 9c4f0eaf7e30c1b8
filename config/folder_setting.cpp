#include "config/folder_setting.h"

// 255 characters: a longer value is refused by the registry (ERROR_MORE_DATA), never cut.
enum { kValueChars = 255 };

static WCHAR valueText[kValueChars];

int ReadFolderSetting(LPCWSTR keyPath, LPCWSTR valueName, FolderSetting* setting) {
    int found = 0;
    HKEY key = NULL;
    DWORD byteCount = sizeof(valueText);

    // Zeroed, so that a value stored without its terminator still ends inside the buffer.
    memset(valueText, 0, sizeof(valueText));

    LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key);
    if (result != ERROR_SUCCESS) {
        NKDbgPrintfW(TEXT("RegOpenKeyEx Failed [%d].\r\n"), static_cast<int>(result));
    } else {
        // The value's type is deliberately not asked for: devices in the field may hold the
        // folders in values of any type, and their bytes are taken as text.
        result = RegQueryValueExW(key, valueName, NULL, NULL, reinterpret_cast<LPBYTE>(valueText),
                                  &byteCount);
        if (result != ERROR_SUCCESS) {
            NKDbgPrintfW(TEXT("RegQueryValueEx Failed [%d].\r\n"), static_cast<int>(result));
        } else {
            // The length is what was copied, not what the byte count suggests: a value with no
            // data, or one without its terminator, must not count as a longer folder.
            setting->length = static_cast<LONG>(PathCopy(setting->path, valueText, kValueChars));
            found = 1;
        }
        RegCloseKey(key);  // a key that will not close leaves nothing for the launcher to do
    }

    if (found) {
        NKDbgPrintfW(TEXT("Folder name is %s\r\n"), setting->path);
    } else {
        NKDbgPrintfW(TEXT("Cannot find folder name!!!!\r\n"));
    }
    return found;
}
