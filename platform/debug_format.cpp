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

}  // namespace

void FormatDebugLine(WCHAR* line, LPCWSTR format, va_list args) {
    LineWriter out = {line, 0};
    for (LPCWSTR p = format; *p != 0; ++p) {
        if (*p != TEXT('%') || p[1] == 0) {
            out.Put(*p);
            continue;
        }
        ++p;
        if (*p == TEXT('s')) {
            out.PutText(va_arg(args, LPCWSTR));
        } else if (*p == TEXT('d')) {
            const int value = va_arg(args, int);
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
