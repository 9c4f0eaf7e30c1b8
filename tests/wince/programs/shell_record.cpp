// Hands the shell the records the launcher never makes, and prints what each gave back: the
// result, the last error, hInstApp, and whether hProcess was set. One of another size; one
// asking for no box, for a file that is no program; one keeping the new process's handle.
#include "platform/platform.h"

namespace {

void Report(const WCHAR* what, SHELLEXECUTEINFO* info) {
    info->hInstApp = reinterpret_cast<HINSTANCE>(77);
    info->hProcess = NULL;
    const BOOL started = ShellExecuteEx(info);
    const DWORD error = GetLastError();
    NKDbgPrintfW(TEXT("%s: %d %d %d %d\r\n"), what, static_cast<int>(started),
                 static_cast<int>(error),
                 static_cast<int>(reinterpret_cast<uintptr_t>(info->hInstApp)),
                 static_cast<int>(info->hProcess != NULL));
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    SHELLEXECUTEINFO info;
    memset(&info, 0, sizeof(info));
    info.cbSize = sizeof(info) + 4;
    info.lpFile = TEXT("\\Card\\Prog.exe");
    Report(TEXT("size 64"), &info);
    info.cbSize = sizeof(info);
    info.fMask = 0x400;  // SEE_MASK_FLAG_NO_UI
    info.lpFile = TEXT("\\Card\\Notes.exe");
    Report(TEXT("no box"), &info);
    info.fMask = 0x40;  // SEE_MASK_NOCLOSEPROCESS
    info.lpFile = TEXT("\\Card\\Prog.exe");
    Report(TEXT("keep handle"), &info);
    return 0;
}
