// Formats one diagnostic line the way the device's debug print does, into a fixed buffer.
#ifndef KELBRUN_PLATFORM_DEBUG_FORMAT_H
#define KELBRUN_PLATFORM_DEBUG_FORMAT_H

#include <stdarg.h>
#include <stddef.h>

#include "platform/platform.h"

// The longest line the debug print passes on; longer lines are cut, never overrun.
enum { kDebugLineChars = 512 };

// Where a line's arguments come from, one at a time as the format asks for them: the C
// variadic list of the caller, or the argument registers and stack of an emulated ARM caller.
struct DebugArgs {
    void* context;
    LPCWSTR (*nextText)(void* context);
    int (*nextNumber)(void* context);
};

// Formats into line (kDebugLineChars characters, always terminated): %s takes a wide string,
// %d a signed decimal, %% a percent sign; anything else is copied as it is.
void FormatDebugLine(WCHAR* line, LPCWSTR format, va_list args);
void FormatDebugLineFrom(WCHAR* line, LPCWSTR format, const DebugArgs& args);

#endif  // KELBRUN_PLATFORM_DEBUG_FORMAT_H
