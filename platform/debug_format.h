// Formats one diagnostic line the way the device's kernel formats its debug print, into a fixed
// buffer: the one formatter behind the linked-in launcher's NKDbgPrintfW, the emulated
// COREDLL's, and the simulated kernel's NKvDbgPrintfW that a unit's own COREDLL calls.
#ifndef KELBRUN_PLATFORM_DEBUG_FORMAT_H
#define KELBRUN_PLATFORM_DEBUG_FORMAT_H

#include <stdarg.h>
#include <stddef.h>

#include "platform/platform.h"

// The kernel's buffer: a line holds at most kDebugLineChars - 1 characters; longer lines are
// cut, never overrun.
enum { kDebugLineChars = 384 };

// Where a line's arguments come from, one 32-bit argument at a time as the format asks for
// them: the C variadic list of the caller, or the argument registers, stack or va_list of an
// emulated ARM caller.
struct DebugArgs {
    void* context;
    LPCWSTR (*nextText)(void* context);            // %s, %ls: a wide text (NULL allowed)
    const char* (*nextNarrowText)(void* context);  // %S, %hs, %a: a narrow text (NULL allowed)
    DWORD (*nextNumber)(void* context);            // %d, %u, %x, %c, a '*' width
};

// Formats into line (kDebugLineChars characters, always terminated) as the kernel does: flags
// '-', '#' and '0', a width and precision (digits or '*'), the sizes 'l', 'h' and "I64", and
// the conversions d, i, u, x, X, p, c, s (wide; narrow with 'h'), S and a (narrow). No floating
// point: any other conversion character is written as it is, without its '%'. A NULL text is
// written "(NULL)".
void FormatDebugLine(WCHAR* line, LPCWSTR format, va_list args);
void FormatDebugLineFrom(WCHAR* line, LPCWSTR format, const DebugArgs& args);

#endif  // KELBRUN_PLATFORM_DEBUG_FORMAT_H
