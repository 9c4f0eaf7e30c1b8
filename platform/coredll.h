// The part of the Windows CE 5.0 API that the device code uses, declared by the project itself:
// the names, signatures, layouts and constants of the device's core library, COREDLL, over
// UTF-16 text. Two platforms stand behind these declarations: the device's own COREDLL, whose
// exports the device build imports by these C names, and the simulated device, which
// implements them in platform/sim/win32_api.cpp.
#ifndef KELBRUN_PLATFORM_COREDLL_H
#define KELBRUN_PLATFORM_COREDLL_H

#include <stddef.h>
#include <stdint.h>

#if defined(KELBRUN_DEVICE_BUILD)
// COREDLL's exports carry C names. The device build has no C library of its own: even the
// memory and exit routines come from COREDLL or the project's start-up code.
#define KELBRUN_COREDLL_API extern "C"
KELBRUN_COREDLL_API void* memset(void* target, int value, size_t size);
KELBRUN_COREDLL_API void* memcpy(void* target, const void* source, size_t size);
KELBRUN_COREDLL_API __attribute__((noreturn)) void exit(int status);
#else
// The simulated device's functions live beside the host's own C library, whose wcsstr takes
// another character type: C++ names keep the two apart.
#define KELBRUN_COREDLL_API
#include <stdlib.h>
#include <string.h>
#endif

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
typedef struct OpaqueKey* HKEY;
typedef HKEY* PHKEY;
typedef struct OpaqueInstance* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct OpaqueWindow* HWND;
typedef struct OpaqueIcon* HICON;

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

KELBRUN_COREDLL_API DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
KELBRUN_COREDLL_API DWORD GetLastError(void);

KELBRUN_COREDLL_API const WCHAR* wcsstr(const WCHAR* text, const WCHAR* pattern);

KELBRUN_COREDLL_API LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired,
                                       PHKEY result);
KELBRUN_COREDLL_API LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved,
                                          LPDWORD type, LPBYTE data, LPDWORD dataSize);
KELBRUN_COREDLL_API LONG RegCloseKey(HKEY key);

KELBRUN_COREDLL_API HANDLE FindFirstFileW(LPCWSTR fileName, WIN32_FIND_DATAW* findData);
KELBRUN_COREDLL_API BOOL FindClose(HANDLE find);

KELBRUN_COREDLL_API BOOL ShellExecuteEx(SHELLEXECUTEINFO* info);

KELBRUN_COREDLL_API void Sleep(DWORD milliseconds);

KELBRUN_COREDLL_API void NKDbgPrintfW(LPCWSTR format, ...);

#if defined(KELBRUN_DEVICE_BUILD)
// For the device build's exit (platform/wince/exit.cpp); the device code itself never ends a
// process but through exit.
KELBRUN_COREDLL_API BOOL TerminateProcess(HANDLE process, DWORD exitCode);
// Windows CE's handle for the calling process is a constant, not a COREDLL export.
inline HANDLE GetCurrentProcess() {
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x42u));
}
#endif

#endif  // KELBRUN_PLATFORM_COREDLL_H
