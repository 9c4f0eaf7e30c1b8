#include "tools/kelbrun-sim/reg_file.h"

#include <array>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "platform/sim/text.h"

namespace regfile {
namespace {

using sim::RegistryValue;

struct Line {
    int number = 0;
    std::u16string text;
};

struct Failure {
    Error error;
};

[[noreturn]] void Fail(int line, std::string message) {
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

// Splits the file into lines of UTF-16 text, numbered from 1, without their line ends.
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

std::u16string_view RootOf(std::u16string_view keyPath) {
    return keyPath.substr(0, keyPath.find(u'\\'));
}

bool IsKnownRoot(std::u16string_view root) {
    static const std::array<std::u16string_view, 5> kRoots = {
        u"HKEY_LOCAL_MACHINE", u"HKEY_CURRENT_USER", u"HKEY_CLASSES_ROOT", u"HKEY_USERS",
        u"HKEY_CURRENT_CONFIG"};
    const std::u16string folded = sim::FoldCase(root);
    for (std::u16string_view known : kRoots) {
        if (folded == known) {
            return true;
        }
    }
    return false;
}

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

// Reads 1 to maxDigits hex digits from the front of text.
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

// Reads a quoted text with its escapes from the front of text, the opening quote included.
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

// The value's data after "=": gives nothing for a deletion ("-").
std::optional<RegistryValue> ParseData(std::u16string_view data, int line) {
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
    if (StartsWith(sim::FoldCase(data.substr(0, 6)), u"DWORD:")) {
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
    if (StartsWith(sim::FoldCase(data.substr(0, 4)), u"HEX:")) {
        value.type = sim::kRegBinary;
        value.bytes = ParseHexBytes(data.substr(4), line);
        return value;
    }
    if (StartsWith(sim::FoldCase(data.substr(0, 4)), u"HEX(")) {
        data.remove_prefix(4);
        const auto type = TakeHex(data, 8);
        if (!type || !StartsWith(data, u"):")) {
            Fail(line, "a typed hex value is written hex(TYPE):, with TYPE in hex digits");
        }
        value.type = *type;
        value.bytes = ParseHexBytes(data.substr(2), line);
        return value;
    }
    Fail(line, "a value must be a quoted string, dword:, hex:, hex(TYPE): or -");
}

class Parser {
  public:
    explicit Parser(sim::Registry& registry) : registry_(registry) {}

    void Run(const std::vector<Line>& lines) {
        const std::u16string first(Trim(lines.front().text));
        if (first != u"Windows Registry Editor Version 5.00" && first != u"REGEDIT4") {
            Fail(1,
                 "not a registry export: the first line must be \"Windows Registry Editor "
                 "Version 5.00\" or \"REGEDIT4\"");
        }
        for (size_t i = 1; i < lines.size(); ++i) {
            const int number = lines[i].number;
            std::u16string text(Trim(lines[i].text));
            // A value's hex data goes on over lines that end with a backslash.
            const bool valueLine = StartsWith(text, u"\"") || StartsWith(text, u"@");
            // A cut file, or a continuation onto nothing, must not pass for a shorter value.
            while (valueLine && !text.empty() && text.back() == u'\\') {
                if (++i >= lines.size() || (i + 1 == lines.size() && lines[i].text.empty())) {
                    Fail(number, "the file ends inside this value (its last line ends with \\)");
                }
                if (Trim(lines[i].text).empty()) {
                    Fail(number, "this value goes on (its line ends with \\) onto an empty line");
                }
                text.pop_back();
                text += Trim(lines[i].text);
            }
            ParseLine(text, number);
        }
    }

  private:
    void ParseLine(std::u16string_view text, int line) {
        if (text.empty() || text.front() == u';') {
            return;
        }
        if (text.front() == u'[') {
            ParseKey(text, line);
        } else if (text.front() == u'"' || text.front() == u'@') {
            ParseValue(text, line);
        } else {
            Fail(line, "expected a [KEY] line, a \"name\"= value line or a ; comment");
        }
    }

    void ParseKey(std::u16string_view text, int line) {
        if (text.back() != u']') {
            Fail(line, "a key line must end with ]");
        }
        std::u16string_view path = text.substr(1, text.size() - 2);
        const bool remove = StartsWith(path, u"-");
        if (remove) {
            path.remove_prefix(1);
        }
        if (!IsKnownRoot(RootOf(path))) {
            Fail(line, "a key must start with a root such as HKEY_LOCAL_MACHINE");
        }
        if (remove) {
            registry_.DeleteKey(path);
            key_.reset();
        } else {
            registry_.CreateKey(path);
            key_ = std::u16string(path);
        }
    }

    void ParseValue(std::u16string_view text, int line) {
        if (!key_) {
            Fail(line, "a value must follow the [KEY] line it belongs to");
        }
        std::u16string name;
        if (text.front() == u'@') {
            text.remove_prefix(1);
        } else {
            name = TakeQuoted(text, line);
        }
        text = TrimLeft(text);
        if (!StartsWith(text, u"=")) {
            Fail(line, "a value name must be followed by =");
        }
        const auto value = ParseData(Trim(text.substr(1)), line);
        if (value) {
            registry_.SetValue(*key_, name, *value);
        } else {
            registry_.DeleteValue(*key_, name);
        }
    }

    sim::Registry& registry_;
    std::optional<std::u16string> key_;
};

}  // namespace

std::optional<Error> Apply(std::string_view bytes, sim::Registry& registry) {
    sim::Registry changed = registry;
    try {
        Parser(changed).Run(SplitLines(bytes));
    } catch (const Failure& failure) {
        return failure.error;
    }
    registry = std::move(changed);
    return std::nullopt;
}

std::optional<Error> Load(const std::filesystem::path& file, sim::Registry& registry) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return Error{0, "cannot be read"};
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return Error{0, "cannot be read"};
    }
    return Apply(bytes, registry);
}

}  // namespace regfile
