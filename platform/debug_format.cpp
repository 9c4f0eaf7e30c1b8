#include "platform/debug_format.h"

#include <stdint.h>

namespace {

// The line being written and the room left in it, counted as the kernel counts it: a
// character goes in only while more than the terminator's room is left.
struct LineWriter {
    WCHAR* line;
    size_t used;
    int room;  // characters left, the terminator's included
    bool full;

    bool Put(WCHAR c) {
        if (full || --room == 0) {
            full = true;
            return false;
        }
        line[used++] = c;
        return true;
    }
    void Pad(int count, WCHAR fill) {
        for (; count > 0; --count) {
            Put(fill);
        }
    }
    void Reverse(size_t from) {
        for (size_t a = from, b = used; a + 1 < b; ++a, --b) {
            const WCHAR c = line[a];
            line[a] = line[b - 1];
            line[b - 1] = c;
        }
    }
};

// One conversion's flags, width, precision and operand size.
struct Field {
    bool left;
    WCHAR prefix;  // 'x' or 'X' after '#' for hexadecimal, else 0
    WCHAR fill;
    int width;
    int precision;  // -1 when none was given
    int size;       // 0 'h', 1 default or 'l', 2 "I64"
};

LPCWSTR ReadValue(LPCWSTR p, int* value, const DebugArgs& args) {
    if (*p == TEXT('*')) {
        *value = static_cast<int>(args.nextNumber(args.context));
        return p + 1;
    }
    int number = 0;
    for (; *p >= TEXT('0') && *p <= TEXT('9'); ++p) {
        number = number * 10 + (*p - TEXT('0'));
    }
    *value = number;
    return p;
}

LPCWSTR ReadField(LPCWSTR p, Field* field, const DebugArgs& args) {
    field->left = false;
    field->prefix = 0;
    bool prefix = false;
    for (;; ++p) {
        if (*p == TEXT('-')) {
            field->left = true;
        } else if (*p == TEXT('#')) {
            prefix = true;
        } else {
            break;
        }
    }
    field->fill = TEXT(' ');
    if (*p == TEXT('0')) {
        field->fill = TEXT('0');
        ++p;
    }
    p = ReadValue(p, &field->width, args);
    field->precision = -1;
    if (*p == TEXT('.')) {
        p = ReadValue(p + 1, &field->precision, args);
    }
    field->size = 1;
    if (*p == TEXT('l')) {
        ++p;
    } else if (*p == TEXT('h')) {
        field->size = 0;
        ++p;
    } else if (p[0] == TEXT('I') && p[1] == TEXT('6') && p[2] == TEXT('4')) {
        field->size = 2;
        p += 3;
    }
    if (prefix) {
        field->prefix = *p == TEXT('X') || *p == TEXT('p') ? TEXT('X') : TEXT('x');
    }
    return p;
}

// Writes the digits backwards, then the padding, sign and prefix backwards after them, and turns
// the whole run around; a line that fills up on the digits ends there, as the kernel's does.
void PutNumber(LineWriter& out, const Field& field, uint64_t value, bool negative, unsigned radix,
               bool upper) {
    static const char kLower[] = "0123456789abcdef";
    static const char kUpper[] = "0123456789ABCDEF";
    // Chosen first: GCC's bounds check misreads a subscript of the conditional of two arrays.
    const char* const numerals = upper ? kUpper : kLower;
    const size_t start = out.used;
    int digits = 0;
    do {
        if (out.full || out.room <= 1) {
            out.full = true;
            return;
        }
        out.line[out.used++] = static_cast<WCHAR>(numerals[value % radix]);
        --out.room;
        ++digits;
        value /= radix;
    } while (value != 0);
    const bool spaces = field.left || field.precision >= 0 ? true : field.fill != TEXT('0');
    const WCHAR fill = spaces ? TEXT(' ') : field.fill;
    int width = field.width - digits;
    int precision = field.precision - digits;
    if (precision > 0) {
        width -= precision;
    }
    out.Pad(precision, TEXT('0'));
    bool sign = negative;
    WCHAR prefix = radix == 16 ? field.prefix : 0;
    if (width > 0 && !field.left) {
        if (fill != TEXT('0')) {
            if (sign) {
                sign = false;
                out.Put(TEXT('-'));
                --width;
            }
            if (prefix != 0) {
                out.Put(prefix);
                out.Put(TEXT('0'));
                prefix = 0;
            }
        }
        if (sign) {
            --width;
        }
        out.Pad(width, fill);
        width = 0;
    }
    if (sign) {
        out.Put(TEXT('-'));
        --width;
    }
    if (prefix != 0) {
        out.Put(prefix);
        out.Put(TEXT('0'));
    }
    out.Reverse(start);
    if (field.left) {
        out.Pad(width, fill);
    }
}

template <typename Char>
void PutText(LineWriter& out, const Field& field, const Char* text, int length) {
    if (field.precision >= 0 && length > field.precision) {
        length = field.precision;
    }
    if (!field.left) {
        out.Pad(field.width - length, field.fill);
    }
    for (int i = 0; i < length; ++i) {
        out.Put(static_cast<WCHAR>(text[i]));
    }
    if (field.left) {
        out.Pad(field.width - length, field.fill);
    }
}

template <typename Char>
int Length(const Char* text) {
    int length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

void PutNarrow(LineWriter& out, const Field& field, const char* text) {
    if (text == NULL) {
        text = "(NULL)";
    }
    PutText(out, field, reinterpret_cast<const unsigned char*>(text),
            Length(reinterpret_cast<const unsigned char*>(text)));
}

// One conversion, from its character on; false once the format has ended.
bool Convert(LineWriter& out, const Field& field, WCHAR conversion, const DebugArgs& args) {
    unsigned radix = 10;
    bool upper = false;
    bool signedValue = false;
    switch (conversion) {
        case 0:
            return false;
        case TEXT('i'):
        case TEXT('d'):
            signedValue = true;
            break;
        case TEXT('u'):
            break;
        case TEXT('p'):
        case TEXT('X'):
            upper = true;
            radix = 16;
            break;
        case TEXT('x'):
            radix = 16;
            break;
        case TEXT('c'): {
            const WCHAR c = static_cast<WCHAR>(args.nextNumber(args.context));
            PutText(out, field, &c, 1);
            return true;
        }
        case TEXT('s'):
            if (field.size != 0) {
                LPCWSTR text = args.nextText(args.context);
                if (text == NULL) {
                    text = TEXT("(NULL)");
                }
                PutText(out, field, text, Length(text));
                return true;
            }
            PutNarrow(out, field, args.nextNarrowText(args.context));
            return true;
        case TEXT('a'):
        case TEXT('S'):
            PutNarrow(out, field, args.nextNarrowText(args.context));
            return true;
        default:
            out.Put(conversion);
            return true;
    }
    uint64_t value = args.nextNumber(args.context);
    if (field.size == 2) {
        value |= static_cast<uint64_t>(args.nextNumber(args.context)) << 32;
    } else if (field.size == 0 && signedValue) {
        value = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int16_t>(value)));
    } else if (signedValue) {
        value = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(value)));
    }
    const bool negative = signedValue && static_cast<int64_t>(value) < 0;
    if (negative) {
        value = 0 - value;
    }
    if (field.size != 2) {
        value &= 0xFFFFFFFFu;
    }
    PutNumber(out, field, value, negative, radix, upper);
    return true;
}

// The list comes from va_copy in FormatDebugLine; the analyzer loses sight of that through the
// context pointer.
LPCWSTR NextVariadicText(void* context) {
    va_list& list = *static_cast<va_list*>(context);
    return va_arg(list, LPCWSTR);  // NOLINT(clang-analyzer-valist.Uninitialized)
}

const char* NextVariadicNarrowText(void* context) {
    va_list& list = *static_cast<va_list*>(context);
    return va_arg(list, const char*);  // NOLINT(clang-analyzer-valist.Uninitialized)
}

DWORD NextVariadicNumber(void* context) {
    va_list& list = *static_cast<va_list*>(context);
    return va_arg(list, DWORD);  // NOLINT(clang-analyzer-valist.Uninitialized)
}

}  // namespace

void FormatDebugLine(WCHAR* line, LPCWSTR format, va_list args) {
    // A copy, because a va_list parameter may be an array that has decayed to a pointer.
    va_list list;
    va_copy(list, args);
    const DebugArgs from = {&list, NextVariadicText, NextVariadicNarrowText, NextVariadicNumber};
    FormatDebugLineFrom(line, format, from);
    va_end(list);
}

void FormatDebugLineFrom(WCHAR* line, LPCWSTR format, const DebugArgs& args) {
    LineWriter out = {line, 0, kDebugLineChars, false};
    for (LPCWSTR p = format; *p != 0 && !out.full; ++p) {
        if (*p != TEXT('%')) {
            out.Put(*p);
            continue;
        }
        Field field;
        p = ReadField(p + 1, &field, args);
        if (!Convert(out, field, *p, args)) {
            break;
        }
    }
    line[out.used] = 0;
}
