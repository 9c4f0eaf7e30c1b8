#include "launcher/startup_sequence.h"

FolderSetting SDMMCPath;
FolderSetting DataStorageDestPath;
FolderSetting ResidentFlashDestPath;

PathBuffer UpdateLauncherPath;
PathBuffer NavigatorPath;

const WCHAR kSettingsKey[] = TEXT("SOFTWARE\\Tavrin\\Paths");
const WCHAR kUpdateLauncherSuffix[] = TEXT("\\UPDATE\\Kelbrun.EXE");
const WCHAR kNavigatorSuffix[] = TEXT("\\MNAV\\Navigon.exe");
const WCHAR kUpdateMarker[] = TEXT("UPDATE");

enum { kOwnPathChars = 128, kOwnPathLimit = 127 };

// Gives the device's storage time to settle after boot before anything is probed.
static const DWORD kHandOverDelayMs = 2500;

static void ReadSetting(LPCWSTR valueName, FolderSetting* setting) {
    if (!ReadFolderSetting(kSettingsKey, valueName, setting)) {
        setting->length = 0;
    }
}

// Probes a composed target, or says why there is none to probe.
static int TargetExists(int composed, LPCWSTR target, LPCWSTR folder) {
    if (!composed) {
        NKDbgPrintfW(TEXT("Path too long: %s\r\n"), folder);
        return 0;
    }
    return FileProbe(target);
}

int FileProbe(LPCWSTR path) {
    WIN32_FIND_DATAW findData;
    HANDLE search = FindFirstFileW(path, &findData);
    if (search == INVALID_HANDLE_VALUE) {
        NKDbgPrintfW(TEXT("File %s not exists\r\n"), path);
        return 0;
    }
    FindClose(search);  // the search has answered; a failed close changes nothing of that
    NKDbgPrintfW(TEXT("File %s exists\r\n"), path);
    return 1;
}

int LaunchProgram(LPCWSTR path) {
    SHELLEXECUTEINFO info;
    memset(&info, 0, sizeof(info));
    info.cbSize = sizeof(info);
    info.fMask = 0;  // no process handle: the launcher never waits for what it starts
    info.hwnd = NULL;
    info.lpVerb = TEXT("Open");
    info.lpFile = path;
    info.lpParameters = NULL;
    info.lpDirectory = NULL;
    info.nShow = SW_SHOW;
    info.hInstApp = NULL;
    info.hProcess = NULL;
    return ShellExecuteEx(&info) ? 1 : 0;
}

int WINAPI StartupSequence(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                           int showCommand) {
    (void)previousInstance;
    (void)commandLine;
    (void)showCommand;

    WCHAR ownPath[kOwnPathChars];
    memset(ownPath, 0, sizeof(ownPath));

    // A failed query, or one that filled the whole limit and may have cut the path, cannot
    // tell whether this copy runs from "UPDATE"; such a copy must not risk starting itself.
    const DWORD ownPathLength = GetModuleFileNameW(instance, ownPath, kOwnPathLimit);
    const int ownPathKnown = ownPathLength != 0 && ownPathLength < kOwnPathLimit;
    if (!ownPathKnown) {
        NKDbgPrintfW(TEXT("GetModuleFileName Failed [%d].\r\n"), static_cast<int>(GetLastError()));
    }
    ownPath[kOwnPathChars - 1] = 0;
    const int runningFromUpdate = ownPathKnown && wcsstr(ownPath, kUpdateMarker) != NULL;

    ReadSetting(TEXT("SDMMC"), &SDMMCPath);
    ReadSetting(TEXT("DataStorage"), &DataStorageDestPath);
    ReadSetting(TEXT("User"), &ResidentFlashDestPath);

    NKDbgPrintfW(TEXT("SDMMCPath: %s\r\n"), SDMMCPath.path);
    NKDbgPrintfW(TEXT("DataStorageDestPath: %s\r\n"), DataStorageDestPath.path);
    NKDbgPrintfW(TEXT("ResidentFlashDestPath: %s\r\n"), ResidentFlashDestPath.path);

    if (SDMMCPath.length != 0 && DataStorageDestPath.length != 0) {
        // The resident-flash folder is used as it is, even when its lookup failed: devices
        // rely on "\MNAV\Navigon.exe" from the root folder then.
        const int updateComposed =
            PathCompose(UpdateLauncherPath, SDMMCPath.path, kUpdateLauncherSuffix);
        const int navigatorComposed =
            PathCompose(NavigatorPath, ResidentFlashDestPath.path, kNavigatorSuffix);

        if (ownPathKnown && !runningFromUpdate) {
            Sleep(kHandOverDelayMs);
            // First hit wins, and a refused launch still ends the run: the navigation
            // application is not a fallback for a card copy that failed to start.
            if (TargetExists(updateComposed, UpdateLauncherPath, SDMMCPath.path)) {
                LaunchProgram(UpdateLauncherPath);
                return 0;
            }
            if (TargetExists(navigatorComposed, NavigatorPath, ResidentFlashDestPath.path)) {
                LaunchProgram(NavigatorPath);
                return 0;
            }
        }
    }

    exit(0);
}
