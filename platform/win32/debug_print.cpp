// Desktop Windows has no kernel debug print. This one formats a line as the device's does and
// hands it to OutputDebugString, where a debugger or debug viewer picks it up.
#include "platform/debug_format.h"

// NOLINTNEXTLINE(cert-dcl50-cpp): the device's debug print is a C-style variadic function.
extern "C" void NKDbgPrintfW(LPCWSTR format, ...) {
    WCHAR line[kDebugLineChars];
    va_list args;
    va_start(args, format);
    FormatDebugLine(line, format, args);
    va_end(args);
    OutputDebugStringW(line);
}
