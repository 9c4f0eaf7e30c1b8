#include "platform/debug_format.h"

namespace {

struct LineWriter {
    WCHAR* line;
    size_t used;

    void Put(WCHAR c) {
        if (used < kDebugLineChars - 1) {
            line[used++] = c;
        }
    }
    void PutText(LPCWSTR text) {
        if (text == NULL) {
            text = TEXT("(null)");
        }
        for (; *text != 0; ++text) {
            Put(*text);
        }
    }
    void PutNumber(DWORD magnitude) {
        WCHAR digits[10];
        size_t count = 0;
        do {
            digits[count++] = static_cast<WCHAR>(TEXT('0') + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        while (count > 0) {
            Put(digits[--count]);
        }
    }
};

// The list comes from va_copy in FormatDebugLine; the analyzer loses sight of that through the
// context pointer.
LPCWSTR NextVariadicText(void* context) {
    va_list& list = *static_cast<va_list*>(context);
    return va_arg(list, LPCWSTR);  // NOLINT(clang-analyzer-valist.Uninitialized)
}

int NextVariadicNumber(void* context) {
    va_list& list = *static_cast<va_list*>(context);
    return va_arg(list, int);  // NOLINT(clang-analyzer-valist.Uninitialized)
}

}  // namespace

void FormatDebugLine(WCHAR* line, LPCWSTR format, va_list args) {
    // A copy, because a va_list parameter may be an array that has decayed to a pointer.
    va_list list;
    va_copy(list, args);
    const DebugArgs from = {&list, NextVariadicText, NextVariadicNumber};
    FormatDebugLineFrom(line, format, from);
    va_end(list);
}

void FormatDebugLineFrom(WCHAR* line, LPCWSTR format, const DebugArgs& args) {
    LineWriter out = {line, 0};
    for (LPCWSTR p = format; *p != 0; ++p) {
        if (*p != TEXT('%') || p[1] == 0) {
            out.Put(*p);
            continue;
        }
        ++p;
        if (*p == TEXT('s')) {
            out.PutText(args.nextText(args.context));
        } else if (*p == TEXT('d')) {
            const int value = args.nextNumber(args.context);
            if (value < 0) {
                out.Put(TEXT('-'));
            }
            // Negated as unsigned, so that the most negative value has its digits too.
            out.PutNumber(value < 0 ? 0u - static_cast<DWORD>(value) : static_cast<DWORD>(value));
        } else if (*p == TEXT('%')) {
            out.Put(TEXT('%'));
        } else {
            out.Put(TEXT('%'));
            out.Put(*p);
        }
    }
    line[out.used] = 0;
}
