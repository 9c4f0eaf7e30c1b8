#include "tools/kelbrun-sim/reg_text.h"

#include <utility>

#include "platform/sim/text.h"

namespace regfile {

using sim::RegistryValue;

void Fail(int line, std::string message) {
    throw Failure{Error{line, std::move(message)}};
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

std::u16string_view TrimLeft(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

std::u16string_view Trim(std::u16string_view text) {
    text = TrimLeft(text);
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool StartsWithFolded(std::u16string_view text, std::u16string_view prefix) {
    return sim::FoldCase(text.substr(0, prefix.size())) == sim::FoldCase(prefix);
}

std::vector<Line> SplitLines(std::string_view bytes) {
    std::vector<Line> lines;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        lines.push_back(Line{1, {}});
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const auto c = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 static_cast<unsigned char>(bytes[i + 1]) << 8);
            if (c == u'\n') {
                lines.push_back(Line{lines.back().number + 1, {}});
            } else {
                lines.back().text += c;
            }
        }
        if (bytes.size() % 2 != 0) {
            Fail(lines.back().number, "UTF-16 text that ends in half a character");
        }
    } else {
        if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
            static_cast<unsigned char>(bytes[1]) == 0xFF) {
            Fail(1, "UTF-16 big-endian text is not read; save the export as UTF-16LE or UTF-8");
        }
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
            bytes.remove_prefix(3);
        }
        int number = 1;
        size_t start = 0;
        while (start <= bytes.size()) {
            size_t end = bytes.find('\n', start);
            if (end == std::string_view::npos) {
                end = bytes.size();
            }
            auto text = sim::FromUtf8(bytes.substr(start, end - start));
            if (!text) {
                Fail(number, "not UTF-8 text");
            }
            lines.push_back(Line{number++, std::move(*text)});
            start = end + 1;
        }
    }
    for (Line& line : lines) {
        if (!line.text.empty() && line.text.back() == u'\r') {
            line.text.pop_back();
        }
    }
    return lines;
}

namespace {

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

std::vector<uint8_t> ParseHexBytes(std::u16string_view data, int line) {
    std::vector<uint8_t> bytes;
    data = Trim(data);
    while (!data.empty()) {
        const auto byte = TakeHex(data, 2);
        if (!byte) {
            Fail(line, "hex data must be bytes of two hex digits separated by commas");
        }
        bytes.push_back(static_cast<uint8_t>(*byte));
        data = TrimLeft(data);
        if (data.empty()) {
            break;
        }
        if (data.front() != u',') {
            Fail(line, "hex data must be bytes of two hex digits separated by commas");
        }
        data = TrimLeft(data.substr(1));
    }
    return bytes;
}

// "a","b": each text with its terminator, then the empty text that ends the list.
std::vector<uint8_t> ParseMultiSz(std::u16string_view data, int line) {
    std::u16string texts;
    data = Trim(data);
    while (!data.empty()) {
        if (data.front() != u'"') {
            Fail(line, "multi_sz: takes quoted texts separated by commas, such as \"a\",\"b\"");
        }
        texts += TakeQuoted(data, line);
        texts += u'\0';
        data = TrimLeft(data);
        if (data.empty()) {
            break;
        }
        if (data.front() != u',' || Trim(data.substr(1)).empty()) {
            Fail(line, "multi_sz: takes quoted texts separated by commas, such as \"a\",\"b\"");
        }
        data = TrimLeft(data.substr(1));
    }
    texts += u'\0';
    return sim::Utf16LeBytes(texts);
}

}  // namespace

std::optional<uint32_t> TakeHex(std::u16string_view& text, size_t maxDigits) {
    uint32_t value = 0;
    size_t digits = 0;
    while (digits < text.size() && HexDigit(text[digits]) >= 0) {
        if (++digits > maxDigits) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<uint32_t>(HexDigit(text[digits - 1]));
    }
    if (digits == 0) {
        return std::nullopt;
    }
    text.remove_prefix(digits);
    return value;
}

std::u16string TakeQuoted(std::u16string_view& text, int line) {
    std::u16string out;
    size_t i = 1;
    for (;; ++i) {
        if (i >= text.size()) {
            Fail(line, "a quoted text has no closing quote");
        }
        const char16_t c = text[i];
        if (c == u'"') {
            break;
        }
        if (c == u'\\') {
            const char16_t next = i + 1 < text.size() ? text[i + 1] : u'\0';
            if (next != u'\\' && next != u'"') {
                Fail(line,
                     "unknown escape in a quoted text: write a backslash as \\\\ and a "
                     "quote as \\\"");
            }
            out += next;
            ++i;
            continue;
        }
        out += c;
    }
    text.remove_prefix(i + 1);
    return out;
}

std::optional<RegistryValue> ParseData(std::u16string_view data, int line, Syntax syntax) {
    RegistryValue value;
    if (data == u"-") {
        return std::nullopt;
    }
    if (StartsWith(data, u"\"")) {
        const std::u16string text = TakeQuoted(data, line);
        if (!Trim(data).empty()) {
            Fail(line, "unexpected text after a quoted value");
        }
        return sim::Registry::StringValue(text);
    }
    if (StartsWithFolded(data, u"dword:")) {
        data.remove_prefix(6);
        const auto number = TakeHex(data, 8);
        if (!number || !Trim(data).empty()) {
            Fail(line, "a dword value takes 1 to 8 hex digits");
        }
        value.type = sim::kRegDword;
        for (int i = 0; i < 4; ++i) {
            value.bytes.push_back(static_cast<uint8_t>(*number >> (8 * i)));
        }
        return value;
    }
    if (StartsWithFolded(data, u"hex:")) {
        value.type = sim::kRegBinary;
        value.bytes = ParseHexBytes(data.substr(4), line);
        return value;
    }
    if (StartsWithFolded(data, u"hex(")) {
        data.remove_prefix(4);
        const auto type = TakeHex(data, 8);
        if (!type || !StartsWith(data, u"):")) {
            Fail(line, "a typed hex value is written hex(TYPE):, with TYPE in hex digits");
        }
        value.type = *type;
        value.bytes = ParseHexBytes(data.substr(2), line);
        return value;
    }
    if (syntax == Syntax::kImageBuilder) {
        if (StartsWithFolded(data, u"multi_sz:")) {
            value.type = sim::kRegMultiSz;
            value.bytes = ParseMultiSz(data.substr(9), line);
            return value;
        }
        Fail(line,
             "unknown type: a value must be a quoted string, dword:, multi_sz:, hex:, "
             "hex(TYPE): or -");
    }
    Fail(line, "a value must be a quoted string, dword:, hex:, hex(TYPE): or -");
}

}  // namespace regfile
