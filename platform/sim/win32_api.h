// The Windows CE API as the simulated device offers it: the same names, signatures and
// constants as the device's headers, over UTF-16 text. Implemented in win32_api.cpp against
// the process's one simulated device (device.h).
#ifndef KELBRUN_PLATFORM_SIM_WIN32_API_H
#define KELBRUN_PLATFORM_SIM_WIN32_API_H

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#define WINAPI
// Windows' wchar_t is 16 bits; the host's may not be, so text is char16_t here.
#define TEXT(quote) u##quote

typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef uint8_t BYTE;
typedef BYTE* LPBYTE;
typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef int32_t LONG;
typedef int BOOL;
typedef DWORD REGSAM;
typedef void* HANDLE;
typedef struct SimKey* HKEY;
typedef HKEY* PHKEY;
typedef struct SimInstance* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct SimWindow* HWND;
typedef struct SimIcon* HICON;

#define TRUE 1
#define FALSE 0

#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))
#define KEY_READ 0x20019u
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define SW_SHOW 5

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_INVALID_HANDLE 6
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_MORE_DATA 234

#define MAX_PATH 260

typedef struct {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;

typedef struct {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[MAX_PATH];
} WIN32_FIND_DATAW;

typedef struct {
    DWORD cbSize;
    DWORD fMask;
    HWND hwnd;
    LPCWSTR lpVerb;
    LPCWSTR lpFile;
    LPCWSTR lpParameters;
    LPCWSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    LPCWSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    HICON hIcon;
    HANDLE hProcess;
} SHELLEXECUTEINFO;

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
DWORD GetLastError(void);

const WCHAR* wcsstr(const WCHAR* text, const WCHAR* pattern);

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
LONG RegCloseKey(HKEY key);

HANDLE FindFirstFileW(LPCWSTR fileName, WIN32_FIND_DATAW* findData);
BOOL FindClose(HANDLE find);

BOOL ShellExecuteEx(SHELLEXECUTEINFO* info);

void Sleep(DWORD milliseconds);

void NKDbgPrintfW(LPCWSTR format, ...);

#endif  // KELBRUN_PLATFORM_SIM_WIN32_API_H
