// debug-capture: starts a program as a debuggee and writes every debug string it emits to
// standard output, as UTF-8 and exactly as emitted; exits with the program's exit status.
// This is how the launcher's trail is read on desktop Windows or under Wine.
//
// usage: debug-capture [--timing] PROGRAM [ARGUMENT...]
//   --timing  also write, on standard error, when each string came and when the program
//             ended, in milliseconds since it was started:
//                 debug-capture: 12 ms: string 1
//                 debug-capture: 2530 ms: exit 0
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

namespace {

const DWORD kMaxStringChars = 65536;

HANDLE output;
bool timing;
LARGE_INTEGER started;
LARGE_INTEGER frequency;

void WriteBytes(HANDLE file, const char* bytes, DWORD count) {
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(file, bytes, count, &written, NULL) || written == 0) {
            return;
        }
        bytes += written;
        count -= written;
    }
}

void ReportTime(const char* what, unsigned long number) {
    if (!timing) {
        return;
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const unsigned long long ms =
        (unsigned long long)(now.QuadPart - started.QuadPart) * 1000 / frequency.QuadPart;
    fprintf(stderr, "debug-capture: %llu ms: %s %lu\n", ms, what, number);
    fflush(stderr);
}

// Copies the debuggee's string and writes it out as UTF-8, without its terminator.
void CaptureString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
    static char raw[kMaxStringChars * 2];
    static WCHAR wide[kMaxStringChars];
    static char utf8[kMaxStringChars * 3];

    DWORD chars = info.nDebugStringLength;
    if (chars > kMaxStringChars) {
        chars = kMaxStringChars;
    }
    const DWORD unitSize = info.fUnicode ? sizeof(WCHAR) : 1;
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, info.lpDebugStringData, raw, (SIZE_T)chars * unitSize, &read)) {
        return;
    }
    chars = (DWORD)(read / unitSize);

    int wideChars = 0;
    if (info.fUnicode) {
        memcpy(wide, raw, chars * sizeof(WCHAR));
        wideChars = (int)chars;
    } else {
        // Wine hands even OutputDebugStringW's text to debuggers in the ANSI code page.
        wideChars = MultiByteToWideChar(CP_ACP, 0, raw, (int)chars, wide, kMaxStringChars);
    }
    while (wideChars > 0 && wide[wideChars - 1] == 0) {
        --wideChars;
    }
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, wide, wideChars, utf8, sizeof(utf8), NULL, NULL);
    if (bytes > 0) {
        WriteBytes(output, utf8, (DWORD)bytes);
    }
}

// Quotes one argument so that CommandLineToArgvW gives it back unchanged.
void AppendArgument(WCHAR* commandLine, size_t capacity, const WCHAR* argument) {
    size_t used = wcslen(commandLine);
    auto put = [&](WCHAR c) {
        if (used + 1 < capacity) {
            commandLine[used++] = c;
            commandLine[used] = 0;
        }
    };
    if (used > 0) {
        put(L' ');
    }
    put(L'"');
    size_t backslashes = 0;
    for (const WCHAR* p = argument; *p != 0; ++p) {
        if (*p == L'\\') {
            ++backslashes;
        } else if (*p == L'"') {
            for (size_t i = 0; i < backslashes + 1; ++i) {
                put(L'\\');
            }
            backslashes = 0;
        } else {
            backslashes = 0;
        }
        put(*p);
    }
    for (size_t i = 0; i < backslashes; ++i) {
        put(L'\\');
    }
    put(L'"');
}

}  // namespace

int wmain(int argc, WCHAR** argv) {
    int first = 1;
    if (first < argc && wcscmp(argv[first], L"--timing") == 0) {
        timing = true;
        ++first;
    }
    if (first >= argc) {
        fprintf(stderr, "usage: debug-capture [--timing] PROGRAM [ARGUMENT...]\n");
        return 2;
    }

    static WCHAR commandLine[32768];
    for (int i = first; i < argc; ++i) {
        AppendArgument(commandLine, sizeof(commandLine) / sizeof(commandLine[0]), argv[i]);
    }

    output = GetStdHandle(STD_OUTPUT_HANDLE);
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);

    STARTUPINFOW startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, commandLine, NULL, NULL, FALSE, DEBUG_ONLY_THIS_PROCESS, NULL, NULL,
                        &startup, &process)) {
        fprintf(stderr, "debug-capture: cannot start %ls (error %lu)\n", argv[first],
                GetLastError());
        return 2;
    }

    DWORD exitCode = 0;
    unsigned long strings = 0;
    for (bool running = true; running;) {
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, INFINITE)) {
            fprintf(stderr, "debug-capture: lost the debuggee (error %lu)\n", GetLastError());
            exitCode = 2;
            break;
        }
        DWORD continueStatus = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
            case CREATE_PROCESS_DEBUG_EVENT:
                if (event.u.CreateProcessInfo.hFile != NULL) {
                    CloseHandle(event.u.CreateProcessInfo.hFile);
                }
                break;
            case LOAD_DLL_DEBUG_EVENT:
                if (event.u.LoadDll.hFile != NULL) {
                    CloseHandle(event.u.LoadDll.hFile);
                }
                break;
            case OUTPUT_DEBUG_STRING_EVENT:
                CaptureString(process.hProcess, event.u.DebugString);
                ReportTime("string", ++strings);
                break;
            case EXCEPTION_DEBUG_EVENT:
                // The loader's breakpoint is the debugger's to take; anything else is the
                // program's own to handle.
                if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
                    continueStatus = DBG_EXCEPTION_NOT_HANDLED;
                }
                break;
            case EXIT_PROCESS_DEBUG_EVENT:
                exitCode = event.u.ExitProcess.dwExitCode;
                ReportTime("exit", exitCode);
                running = false;
                break;
            default:
                break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    }

    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)exitCode;
}
