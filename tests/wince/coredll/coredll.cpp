// A coredll.dll of the project's own for the tests of kelbrun-sim --coredll: it exports what the
// launcher imports, under COREDLL's ordinals, and ordinal 14, MainThreadBaseFunc, where the
// kernel starts a process; and it does what a unit's COREDLL does on the launcher's path, in
// the same calls into the kernel with the same arguments, so that the simulated kernel meets
// here, in CI, what it meets under a unit's own DLL.
#include <stdarg.h>

#include "platform/coredll.h"

namespace {

// The user kernel data page, which COREDLL reads without calling the kernel.
const uintptr_t kUserKernelData = 0xFFFFC800u;
const DWORD kInfoReadySets = 18;
const DWORD kCurrentProcess = 0x42;
const DWORD kLocalMachine = 0x80000002u;
const DWORD kWaitCursor = 32514;  // IDC_WAIT
const DWORD kNoUi = 0x400;        // SEE_MASK_FLAG_NO_UI
const DWORD kNoCloseProcess = 0x40;
const DWORD kErrorBox = 0x10010;  // MB_ICONERROR | MB_SETFOREGROUND
const DWORD kLeastFreeMemory = 24 * 1024;
const DWORD kProcessAttach = 1;
const DWORD kProcessDetach = 0;
const DWORD kFirstNotifiedSet = 16;
const DWORD kLastSet = 31;

DWORD Info(DWORD index) {
    return reinterpret_cast<const volatile DWORD*>(kUserKernelData + 0x300)[index];
}

}  // namespace

extern "C" {

DWORD KernelVirtualAlloc(DWORD address, DWORD size, DWORD type, DWORD protection);
DWORD KernelRegisterDbgZones(DWORD module, void* info);
void KernelDebugPrint(LPCWSTR format, va_list args);
BOOL KernelGetRomFileInfo(DWORD type, void* info, DWORD count);
BOOL KernelCreateProc(LPCWSTR image, LPCWSTR commandLine, void*, void*, BOOL, DWORD, void*, LPCWSTR,
                      void*, DWORD* information);
DWORD KernelMapPtrUnsecure(const void* pointer, DWORD process);
DWORD KernelCreateCrit(void* section);
DWORD KernelCreateMutex(void* attributes, BOOL owned, LPCWSTR name);
void KernelSleep(DWORD milliseconds);
void KernelTerminateThread(DWORD status);
void KernelSetLastError(DWORD error);
DWORD KernelGetLastError();
DWORD KernelCreateFileMapping(DWORD file, void* attributes, DWORD protection, DWORD sizeHigh,
                              DWORD sizeLow, LPCWSTR name);
DWORD KernelDebugNotify(DWORD reason, DWORD data);
DWORD KernelGetModuleFileName(HMODULE module, LPWSTR name, DWORD size);
DWORD KernelProcGetIndex(DWORD process);
DWORD KernelCreateLocaleView(BOOL first);
BOOL KernelTerminateProcess(HANDLE process, DWORD status);
BOOL KernelFindClose(HANDLE find);
DWORD KernelMapViewOfFile(DWORD mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                          DWORD size);
DWORD KernelMessageBox(DWORD window, LPCWSTR text, LPCWSTR caption, DWORD flags);
DWORD KernelLoadCursor(DWORD instance, DWORD cursor);
DWORD KernelSetCursor(DWORD cursor);
DWORD KernelGetFileAttributes(LPCWSTR path);
HANDLE KernelFindFirstFile(LPCWSTR path, WIN32_FIND_DATAW* found);
LONG KernelRegCloseKey(HKEY key);
LONG KernelRegOpenKey(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LONG KernelRegQueryValue(HKEY key, LPCWSTR name, const void* reserved, LPDWORD type, LPBYTE data,
                         LPDWORD size);
BOOL KernelOpenFolder(LPCWSTR path, DWORD how);
BOOL KernelCloseHandle(DWORD handle);
void KernelNotify(DWORD set, DWORD reason, DWORD process, DWORD thread);
DWORD KernelThreadAttachOrDetach();
DWORD KernelProcessDetachAllDLLs();
DWORD KernelCloseProcOE(DWORD how);
BOOL KernelOtherThreadsRunning();
DWORD KernelKillAllOtherThreads();
BOOL KernelIsPrimaryThread();
DWORD KernelCloseAllHandles();
DWORD KernelUpdateNLSInfo(DWORD oemCodePage, DWORD ansiCodePage, DWORD systemLocale,
                          DWORD userLocale);
DWORD KernelLoadLibrary(LPCWSTR name, DWORD flags, DWORD* count);
DWORD KernelGetStockObject(DWORD object);
DWORD KernelRegisterClass(const void* windowClass);
LONG KernelRegCreateKey(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR className, DWORD options,
                        REGSAM desired, void* security, PHKEY result, LPDWORD disposition);
LONG KernelRegEnumValue(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD reserved,
                        LPDWORD type, LPBYTE data, LPDWORD dataSize);
DWORD KernelVirtualQuery(DWORD address, DWORD* information, DWORD size);
DWORD KernelFindResource(DWORD module, DWORD name, DWORD type);
const WCHAR* KernelLoadResource(DWORD module, DWORD resource);
int CallWinMain(DWORD entry, DWORD instance, LPWSTR commandLine, DWORD base);

void* memset(void* target, int value, size_t size) {
    unsigned char* bytes = static_cast<unsigned char*>(target);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<unsigned char>(value);
    }
    return target;
}

void* memmove(void* target, const void* source, size_t size) {
    unsigned char* to = static_cast<unsigned char*>(target);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    if (to < from) {
        for (size_t i = 0; i < size; ++i) {
            to[i] = from[i];
        }
    } else {
        for (size_t i = size; i > 0; --i) {
            to[i - 1] = from[i - 1];
        }
    }
    return target;
}

void* memcpy(void* target, const void* source, size_t size) {
    return memmove(target, source, size);
}

const WCHAR* wcsstr(const WCHAR* text, const WCHAR* pattern) {
    for (;; ++text) {
        size_t i = 0;
        while (pattern[i] != 0 && text[i] == pattern[i]) {
            ++i;
        }
        if (pattern[i] == 0) {
            return text;
        }
        if (*text == 0) {
            return 0;
        }
    }
}

// COREDLL does not format: the kernel does, from the caller's own arguments.
void NKDbgPrintfW(LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    KernelDebugPrint(format, args);
    va_end(args);
}

void Sleep(DWORD milliseconds) {
    KernelSleep(milliseconds);
}

DWORD GetLastError(void) {
    return KernelGetLastError();
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
    return KernelGetModuleFileName(module, fileName, size);
}

// The current process's pseudo-handle becomes its handle, from the kernel data page.
BOOL TerminateProcess(HANDLE process, DWORD exitCode) {
    if (reinterpret_cast<uintptr_t>(process) == kCurrentProcess) {
        process = *reinterpret_cast<HANDLE const volatile*>(kUserKernelData + 0xC);
    }
    return KernelTerminateProcess(process, exitCode);
}

HANDLE FindFirstFileW(LPCWSTR fileName, WIN32_FIND_DATAW* findData) {
    return KernelFindFirstFile(fileName, findData);
}

BOOL FindClose(HANDLE find) {
    return KernelFindClose(find);
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
    return KernelRegOpenKey(key, subKey, options, desired, result);
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
    return KernelRegQueryValue(key, valueName, reserved, type, data, dataSize);
}

LONG RegCloseKey(HKEY key) {
    return KernelRegCloseKey(key);
}

// Without the locale's sorting tables every text would compare equal here, as it does in a
// unit's COREDLL over an empty locale view: the simulated kernel answers this export itself.
// Called as an export is, never inlined or folded into its callers.
__attribute__((noipa)) int CompareStringW(DWORD locale, DWORD flags, LPCWSTR text, int length,
                                          LPCWSTR other, int otherLength) {
    (void)locale;
    (void)flags;
    (void)text;
    (void)length;
    (void)other;
    (void)otherLength;
    return 2;  // CSTR_EQUAL
}

}  // extern "C"

namespace {

// What the shell's box says for a failed start, and the hInstApp it leaves.
struct StartFailure {
    DWORD error;
    DWORD instance;
    DWORD text;  // in the string table (strings.txt)
};

const DWORD kNotValid = 304;
const DWORD kCannotFind = 305;
const DWORD kLowMemory = 306;
const DWORD kNoShell = 307;
const DWORD kStringTable = 6;  // RT_STRING

const StartFailure kStartFailures[] = {
    {193, 5, kNotValid}, {11, 11, kNotValid},     {2, 2, kCannotFind},
    {3, 3, kCannotFind}, {1150, 10, kCannotFind}, {1157, 32, kCannotFind},
    {8, 5, kLowMemory},  {50, 5, kNoShell},       {0, 5, kCannotFind},
};

DWORD gCoredll;  // COREDLL's own module handle: its base
WCHAR gBoxText[256];

// A text of COREDLL's string table, as LoadString finds it: the block of sixteen counted texts
// holding it, from the module's resources. Empty, with a line on the debug output, when missing.
const WCHAR* LoadText(DWORD id) {
    const DWORD resource = KernelFindResource(gCoredll, id / 16 + 1, kStringTable);
    const WCHAR* text = resource != 0 ? KernelLoadResource(gCoredll, resource) : 0;
    if (text == 0) {
        NKDbgPrintfW(u"coredll: no text %u in the string table\r\n", id);
        gBoxText[0] = 0;
        return gBoxText;
    }
    for (DWORD i = 0; i < id % 16; ++i) {
        text += 1 + text[0];
    }
    DWORD length = text[0] < 255 ? text[0] : 255;
    // The count comes from the DLL's resources; cppcheck takes the text for the empty buffer.
    // cppcheck-suppress knownConditionTrueFalse
    for (DWORD i = 0; i < length; ++i) {
        gBoxText[i] = text[1 + i];
    }
    gBoxText[length] = 0;
    return gBoxText;
}

WCHAR gBoxMessage[512];

// The box's caption: the file's name, with its extension.
LPCWSTR FileNameOf(LPCWSTR path) {
    LPCWSTR name = path;
    for (LPCWSTR at = path; *at != 0; ++at) {
        if (*at == u'\\') {
            name = at + 1;
        }
    }
    return name;
}

// The box's text: the string table's, with the program's name, without its extension, in place
// of its %s.
LPCWSTR BoxText(LPCWSTR format, LPCWSTR caption) {
    LPCWSTR dot = 0;
    for (LPCWSTR at = caption; *at != 0; ++at) {
        if (*at == u'.') {
            dot = at;
        }
    }
    const DWORD last = sizeof(gBoxMessage) / sizeof(gBoxMessage[0]) - 1;
    DWORD length = 0;
    for (LPCWSTR at = format; *at != 0 && length < last; ++at) {
        if (at[0] == u'%' && at[1] == u's') {
            for (LPCWSTR c = caption; *c != 0 && c != dot && length < last; ++c) {
                gBoxMessage[length++] = *c;
            }
            ++at;
        } else {
            gBoxMessage[length++] = *at;
        }
    }
    gBoxMessage[length] = 0;
    return gBoxMessage;
}

const StartFailure& FailureOf(DWORD error) {
    const StartFailure* failure = kStartFailures;
    while (failure->error != 0 && failure->error != error) {
        ++failure;
    }
    return *failure;
}

// The process's free address space, as the shell counts it before starting a program: region by
// region from the first 64 KiB to the end of the process's slot.
DWORD FreeMemory() {
    DWORD free = 0;
    DWORD region[7];
    for (DWORD address = 0x10000; address < 0x02000000;) {
        if (KernelVirtualQuery(address, region, sizeof(region)) != sizeof(region) ||
            region[3] == 0) {
            break;
        }
        if (region[4] == 0x10000) {  // MEM_FREE
            free += region[3];
        }
        address += region[3];
    }
    return free;
}

// Whether the file is a shortcut: its name ends in ".lnk", in any case.
BOOL IsShortcut(LPCWSTR file) {
    LPCWSTR end = file;
    while (*end != 0) {
        ++end;
    }
    if (end - file < 4) {
        return FALSE;
    }
    return CompareStringW(0x0409, 1, end - 4, 4, u".lnk", 4) == 2;
}

// Opens a folder in an Explorer window, or starts a program, as the shell does.
BOOL Start(SHELLEXECUTEINFO* info, DWORD* error) {
    const DWORD attributes = KernelGetFileAttributes(info->lpFile);
    if (attributes != 0xFFFFFFFFu && (attributes & 0x10) != 0) {
        if (KernelOpenFolder(info->lpFile, 4)) {
            return TRUE;
        }
        *error = 50;
        return FALSE;
    }
    if (FreeMemory() < kLeastFreeMemory) {
        *error = 8;
        return FALSE;
    }
    if (IsShortcut(info->lpFile)) {
        // A shortcut is the shell's to follow, in its own DLL, which is not here.
        DWORD count = 0;
        KernelLoadLibrary(u"ceshell.dll", 0, &count);
        *error = 2;
        return FALSE;
    }
    DWORD process[4] = {0, 0, 0, 0};
    if (!KernelCreateProc(info->lpFile, info->lpParameters ? info->lpParameters : u"", 0, 0, FALSE,
                          0, 0, 0, 0, process)) {
        *error = KernelGetLastError();
        return FALSE;
    }
    KernelCloseHandle(process[1]);
    if ((info->fMask & kNoCloseProcess) == 0) {
        KernelCloseHandle(process[0]);
        process[0] = 0;
    }
    info->hProcess = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(process[0]));
    info->hInstApp = 0;
    return TRUE;
}

}  // namespace

extern "C" BOOL ShellExecuteEx(SHELLEXECUTEINFO* info) {
    if (info->cbSize != sizeof(SHELLEXECUTEINFO)) {
        info->hInstApp = reinterpret_cast<HINSTANCE>(5);
        KernelSetLastError(87);
        return FALSE;
    }
    const DWORD previous = KernelSetCursor(KernelLoadCursor(0, kWaitCursor));
    DWORD error = 0;
    const BOOL started = Start(info, &error);
    KernelSetCursor(previous);
    if (started) {
        return TRUE;
    }
    const StartFailure& failure = FailureOf(error);
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(failure.instance));
    if ((info->fMask & kNoUi) == 0) {
        LPCWSTR caption = FileNameOf(info->lpFile);
        KernelMessageBox(0, BoxText(LoadText(failure.text), caption), caption, kErrorBox);
    }
    KernelSetLastError(error);
    return FALSE;
}

namespace {

DWORD gCriticalSection[5];
DWORD gWindowClass[10];
WCHAR gOverride[32];
DWORD gDebugZones[12];
DWORD gRomInfo[4];
WCHAR gPlatform[32];

// Method 0 of every API set from 16 up that is ready: news of the process starting or ending.
void NotifySets(DWORD reason) {
    const DWORD ready = Info(kInfoReadySets);
    const DWORD process = *reinterpret_cast<const volatile DWORD*>(kUserKernelData + 0xC);
    const DWORD thread = *reinterpret_cast<const volatile DWORD*>(kUserKernelData + 0x8);
    for (DWORD set = kLastSet; set >= kFirstNotifiedSet; --set) {
        if ((ready & (1u << set)) != 0) {
            KernelNotify(set, reason, process, thread);
        }
    }
}

// The user's changes to the locale, which COREDLL keeps under a key of its own.
void ReadLocaleOverrides() {
    HKEY overrides = 0;
    if (KernelRegCreateKey(reinterpret_cast<HKEY>(static_cast<uintptr_t>(kLocalMachine)),
                           u"nls\\overrides", 0, 0, 0, 0, 0, &overrides, 0) != 0) {
        return;
    }
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = 32;
        DWORD type = 0;
        DWORD size = sizeof(gPlatform);
        if (KernelRegEnumValue(overrides, index, gOverride, &nameSize, 0, &type,
                               reinterpret_cast<LPBYTE>(gPlatform), &size) != 0) {
            break;
        }
    }
    KernelRegCloseKey(overrides);
}

// What COREDLL does when a process starts, before the program: its registry setting, its lock,
// the debugger's notice, its process index, its ROM and debug zones, its shared heap's mapping
// and the locale.
void StartUp(DWORD coredll) {
    DWORD type = 0;
    DWORD size = sizeof(gPlatform);
    KernelRegQueryValue(reinterpret_cast<HKEY>(static_cast<uintptr_t>(kLocalMachine)), u"SoftRTC",
                        u"Platform", &type, reinterpret_cast<LPBYTE>(gPlatform), &size);
    KernelCreateCrit(gCriticalSection);
    KernelDebugNotify(kProcessAttach, 0);
    KernelProcGetIndex(kCurrentProcess);
    KernelGetRomFileInfo(3, gRomInfo, 0);
    KernelGetRomFileInfo(4, gRomInfo, 0);
    KernelRegisterDbgZones(coredll, gDebugZones);
    KernelMapPtrUnsecure(gDebugZones, kCurrentProcess);
    DWORD count = 0;
    KernelLoadLibrary(u"LMemDebug.DLL", 0, &count);  // a debug COREDLL's memory debugger
    const DWORD heap = KernelCreateFileMapping(0xFFFFFFFFu, 0, 4, 0, 0x10000, u"NLSHEAP");
    KernelMapViewOfFile(heap, 0xF001F, 0, 0, 0);
    KernelCreateMutex(0, FALSE, 0);
    KernelVirtualAlloc(0, 0x2F000, 0x2000, 4);
    KernelCreateLocaleView(TRUE);
    ReadLocaleOverrides();
    KernelUpdateNLSInfo(1252, 1252, 0x0409, 0x0409);
    KernelGetStockObject(0);
    KernelRegisterClass(gWindowClass);
    NotifySets(kProcessAttach);
}

// The end of the process's one thread, and with it of the process: its objects, the other
// threads, its DLLs, the debugger's notice, its handles, the API sets' notices, then the kernel.
void ExitThread(DWORD status) {
    KernelSetLastError(0);
    KernelCloseProcOE(2);
    if (KernelIsPrimaryThread()) {
        KernelKillAllOtherThreads();
        KernelOtherThreadsRunning();
        KernelProcessDetachAllDLLs();
        KernelDebugNotify(0, status);
        KernelCloseProcOE(1);
        KernelCloseAllHandles();
    }
    NotifySets(kProcessDetach);
    KernelTerminateThread(status);
}

}  // namespace

extern "C" {

// Where the kernel starts every process: COREDLL's start-up, the program's WinMain, and the end
// of the thread with what it returned.
void MainThreadBaseFunc(DWORD entry, DWORD process, DWORD modules, LPWSTR commandLine,
                        DWORD coredll, DWORD comAddress, DWORD comSize, DWORD base) {
    (void)modules;
    (void)comAddress;
    (void)comSize;
    gCoredll = coredll;
    StartUp(coredll);
    ExitThread(static_cast<DWORD>(CallWinMain(entry, process, commandLine, base)));
}

// The DLL's entry: MainThreadBaseFunc does its work for a process.
BOOL CoreDllInit(DWORD instance, DWORD reason, DWORD reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}

}  // extern "C"
