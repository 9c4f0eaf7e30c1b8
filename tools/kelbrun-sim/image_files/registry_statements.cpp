// The statements of .reg files: [KEY] lines and "name"= values, of both kinds.
#include <array>
#include <cstdint>
#include <utility>

#include "platform/sim/text.h"
#include "tools/kelbrun-sim/image_files/statements.h"

namespace imagefiles {
namespace {

using sim::RegistryValue;

constexpr std::u16string_view kEditorHeader = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kRegedit4 = u"REGEDIT4";
constexpr char kExportForm[] = "expected a [KEY] line, a \"name\"= value line or a ; comment";

bool IsKnownRoot(std::u16string_view keyPath) {
    static const std::array<std::u16string_view, 5> kRoots = {
        u"HKEY_LOCAL_MACHINE", u"HKEY_CURRENT_USER", u"HKEY_CLASSES_ROOT", u"HKEY_USERS",
        u"HKEY_CURRENT_CONFIG"};
    const std::u16string folded = sim::FoldCase(keyPath.substr(0, keyPath.find(u'\\')));
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

// A quoted text with its escapes (\\ and \") from the front of text, the opening quote
// included.
std::u16string TakeQuoted(std::u16string_view& text, const Origin& where) {
    std::u16string out;
    size_t i = 1;
    for (;; ++i) {
        if (i >= text.size()) {
            Fail(where, "a quoted text has no closing quote");
        }
        const char16_t c = text[i];
        if (c == u'"') {
            break;
        }
        if (c == u'\\') {
            const char16_t next = i + 1 < text.size() ? text[i + 1] : u'\0';
            if (next != u'\\' && next != u'"') {
                Fail(where,
                     "unknown escape in a quoted text: write a backslash as \\\\ and a quote as "
                     "\\\"");
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

std::vector<uint8_t> ParseHexBytes(std::u16string_view data, const Origin& where) {
    std::vector<uint8_t> bytes;
    data = Trim(data);
    while (!data.empty()) {
        const auto byte = TakeHex(data, 2);
        if (!byte) {
            Fail(where, "hex data must be bytes of two hex digits separated by commas");
        }
        bytes.push_back(static_cast<uint8_t>(*byte));
        data = TrimLeft(data);
        if (data.empty()) {
            break;
        }
        if (data.front() != u',') {
            Fail(where, "hex data must be bytes of two hex digits separated by commas");
        }
        data = TrimLeft(data.substr(1));
    }
    return bytes;
}

// "a","b": each text with its terminator, then the empty text that ends the list.
std::vector<uint8_t> ParseMultiSz(std::u16string_view data, const Origin& where) {
    const char kForm[] = "multi_sz: takes quoted texts separated by commas, such as \"a\",\"b\"";
    std::u16string texts;
    data = Trim(data);
    while (!data.empty()) {
        if (data.front() != u'"') {
            Fail(where, kForm);
        }
        texts += TakeQuoted(data, where);
        texts += u'\0';
        data = TrimLeft(data);
        if (data.empty()) {
            break;
        }
        if (data.front() != u',' || Trim(data.substr(1)).empty()) {
            Fail(where, kForm);
        }
        data = TrimLeft(data.substr(1));
    }
    texts += u'\0';
    return sim::Utf16LeBytes(texts);
}

// The value's data after "=": nothing for a deletion ("-").
std::optional<RegistryValue> ParseData(std::u16string_view data, const Origin& where,
                                       Syntax syntax) {
    RegistryValue value;
    if (data == u"-") {
        return std::nullopt;
    }
    if (StartsWith(data, u"\"")) {
        const std::u16string text = TakeQuoted(data, where);
        if (!Trim(data).empty()) {
            Fail(where, "unexpected text after a quoted value");
        }
        return sim::Registry::StringValue(text);
    }
    if (StartsWithFolded(data, u"dword:")) {
        data = TrimLeft(data.substr(6));
        const auto number = TakeHex(data, 8);
        if (!number || !Trim(data).empty()) {
            Fail(where, "a dword value takes 1 to 8 hex digits");
        }
        value.type = sim::kRegDword;
        for (int i = 0; i < 4; ++i) {
            value.bytes.push_back(static_cast<uint8_t>(*number >> (8 * i)));
        }
        return value;
    }
    if (StartsWithFolded(data, u"hex:")) {
        value.type = sim::kRegBinary;
        value.bytes = ParseHexBytes(data.substr(4), where);
        return value;
    }
    if (StartsWithFolded(data, u"hex(")) {
        data.remove_prefix(4);
        const auto type = TakeHex(data, 8);
        if (!type || !StartsWith(data, u"):")) {
            Fail(where, "a typed hex value is written hex(TYPE):, with TYPE in hex digits");
        }
        value.type = *type;
        value.bytes = ParseHexBytes(data.substr(2), where);
        return value;
    }
    if (syntax == Syntax::kImageBuilder) {
        if (StartsWithFolded(data, u"multi_sz:")) {
            value.type = sim::kRegMultiSz;
            value.bytes = ParseMultiSz(data.substr(9), where);
            return value;
        }
        if (StartsWithFolded(data, u"mui_sz:")) {
            data = TrimLeft(data.substr(7));
            if (!StartsWith(data, u"\"")) {
                Fail(where, "mui_sz: takes one quoted text, such as \"shell.dll,#1234\"");
            }
            value = sim::Registry::StringValue(TakeQuoted(data, where));
            if (!Trim(data).empty()) {
                Fail(where, "unexpected text after a quoted value");
            }
            value.type = sim::kRegMuiSz;
            return value;
        }
        Fail(where,
             "unknown type: a value must be a quoted string, dword:, multi_sz:, mui_sz:, hex:, "
             "hex(TYPE): or -");
    }
    Fail(where, "a value must be a quoted string, dword:, hex:, hex(TYPE): or -");
}

// The statements of one file: its key lines and value lines, in order.
class Statements {
  public:
    Statements(sim::Registry& registry, Syntax syntax, std::vector<Error>& warnings)
        : registry_(registry), syntax_(syntax), warnings_(warnings) {}

    void Take(const PreparedLine& line) {
        const std::u16string_view text = line.text;
        const Origin& where = line.where;
        if (line.commentedOnLines > 0) {
            SkipCommentedOnLines(line);
            return;
        }
        if (text.empty() || text.front() == u';') {
            return;
        }
        const bool key = text.front() == u'[';
        const bool value = text.front() == u'"' || text.front() == u'@';
        if (!key && !value) {
            if (syntax_ == Syntax::kEditorExport) {
                Fail(where, kExportForm);
            }
            SkipStrayLine(text, where);
            return;
        }
        if (line.undefined) {
            const std::string name = sim::ToUtf8(*line.undefined);
            Fail(where, name + " is defined nowhere: give it with --define " +
                            name.substr(2, name.size() - 3) +
                            "=VALUE or --environment FILE, or read the merged reginit.ini of the "
                            "build's release folder, which has it expanded");
        }
        if (line.missingString) {
            Error warning =
                StringNotReplaced(where, *line.missingString,
                                  key ? "this key's values are not set" : "this value is not set");
            if (!key && key_ && !skippingKey_) {
                warning.key = *key_;
                warning.valueName = ValueNameOf(text);
            }
            warnings_.push_back(std::move(warning));
            if (key) {
                key_.reset();
                skippingKey_ = true;
            }
            return;
        }
        if (key) {
            Key(text, where);
        } else if (!skippingKey_) {
            Value(text, where);
        }
    }

  private:
    // The name of a value line that is not read, for what its warning leaves unset: "@" is
    // the key's default value, named "".
    static std::u16string ValueNameOf(std::u16string_view text) {
        if (!StartsWith(text, u"\"")) {
            return {};
        }
        const auto end = QuotedEnd(text);
        return std::u16string(end ? text.substr(1, *end - 2) : text.substr(1));
    }

    // Where the values after a skipped line go, for its warning.
    std::string ValuesAfter(const char* it) const {
        if (skippingKey_) {
            return std::string("the values after ") + it +
                   " are not set, as their key's LOC_ token is not replaced";
        }
        if (!key_) {
            return std::string("no [KEY] line is open for the values after ") + it;
        }
        return std::string("the values after ") + it + " go into [" + sim::ToUtf8(*key_) + "]";
    }

    // A line of an image-builder file that is no statement: the image builder goes on past
    // it, and so does this reader, saying so. An editor's header is no such line: the file was
    // meant as an export.
    void SkipStrayLine(std::u16string_view text, const Origin& where) {
        if (StartsWithFolded(text, u"Windows Registry Editor")) {
            Fail(where,
                 "expected a [KEY] line, a \"name\"= value line, IF, ENDIF, a #directive or a ; "
                 "comment");
        }
        const bool lostBracket = text.back() == u']' && IsKnownRoot(text);
        warnings_.push_back(At(
            where, std::string("skipped ") +
                       (lostBracket ? "a key line without its [" : "a line that is no statement") +
                       ", " + sim::ToUtf8(text) + ": " + ValuesAfter("it")));
    }

    // The lines after a value commented out with ";" on its first line only.
    void SkipCommentedOnLines(const PreparedLine& line) {
        const Origin& where = line.where;
        const int first = where.line + 1;
        const int last = where.line + line.commentedOnLines;
        const bool one = first == last;
        std::string lines = one ? "line " + std::to_string(first)
                                : "lines " + std::to_string(first) + " to " + std::to_string(last);
        std::u16string_view name = line.comment;
        if (StartsWith(name, u"\"")) {
            name = name.substr(0, QuotedEnd(name).value_or(name.size()));
        } else {
            name = name.substr(0, 1);
        }
        warnings_.push_back(
            At(Origin{where.file, first, where.includedFrom},
               "skipped " + lines + (one ? ", which goes" : ", which go") + " on with the value " +
                   sim::ToUtf8(name) + " commented out on line " + std::to_string(where.line) +
                   " (its ; comments out that line only): " + ValuesAfter(one ? "it" : "them")));
    }

    void Key(std::u16string_view text, const Origin& where) {
        skippingKey_ = false;
        if (text.back() != u']') {
            Fail(where, "a key line must end with ]");
        }
        std::u16string_view path = text.substr(1, text.size() - 2);
        const bool remove = StartsWith(path, u"-");
        if (remove) {
            path.remove_prefix(1);
        }
        if (!IsKnownRoot(path)) {
            Fail(where, "a key must start with a root such as HKEY_LOCAL_MACHINE");
        }
        if (remove) {
            registry_.DeleteKey(path);
            key_.reset();
        } else {
            registry_.CreateKey(path);
            key_ = std::u16string(path);
        }
    }

    void Value(std::u16string_view text, const Origin& where) {
        if (!key_) {
            Fail(where, "a value must follow the [KEY] line it belongs to");
        }
        std::u16string name;
        if (text.front() == u'@') {
            text.remove_prefix(1);
        } else {
            name = TakeQuoted(text, where);
        }
        text = TrimLeft(text);
        if (!StartsWith(text, u"=")) {
            Fail(where, "a value name must be followed by =");
        }
        const auto value = ParseData(Trim(text.substr(1)), where, syntax_);
        if (value) {
            registry_.SetValue(*key_, name, *value);
            registry_.SetOrigin(*key_, name, where.Describe());
        } else {
            registry_.DeleteValue(*key_, name);
        }
    }

    sim::Registry& registry_;
    const Syntax syntax_;
    std::vector<Error>& warnings_;
    std::optional<std::u16string> key_;
    bool skippingKey_ = false;  // a key line whose LOC_ token is not replaced
};

// A REGEDIT4 file holds a line that only the image builder's files have.
bool HasImageBuilderLine(const std::vector<LogicalLine>& lines) {
    for (const LogicalLine& line : lines) {
        const std::u16string_view text = line.text;
        if (StartsWith(text, u"#") || StartsWithFolded(text, u"IF ") ||
            StartsWithFolded(text, u"IF\t") || sim::FoldCase(text.substr(0, 5)) == u"ENDIF" ||
            sim::FoldCase(text) == u"ELSE") {
            return true;
        }
        // The registry editor writes no comment after a line's content.
        if (!text.empty() && !line.comment.empty()) {
            return true;
        }
        if (StartsWith(text, u"\"") || StartsWith(text, u"@")) {
            const auto nameEnd =
                StartsWith(text, u"\"") ? QuotedEnd(text) : std::optional<size_t>(1);
            if (!nameEnd) {
                continue;
            }
            std::u16string_view data = TrimLeft(text.substr(*nameEnd));
            if (!StartsWith(data, u"=")) {
                continue;
            }
            data = TrimLeft(data.substr(1));
            if (StartsWithFolded(data, u"multi_sz:") || StartsWithFolded(data, u"mui_sz:") ||
                StartsWith(data, u"LOC_") || StartsWithFolded(data, u"dword:LOC_")) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

Syntax RegistrySyntaxOf(const std::vector<LogicalLine>& lines) {
    const std::u16string_view first = lines.front().text;
    if (first == kEditorHeader) {
        return Syntax::kEditorExport;
    }
    if (first != kRegedit4) {
        return Syntax::kImageBuilder;
    }
    return HasImageBuilderLine(lines) ? Syntax::kImageBuilder : Syntax::kEditorExport;
}

std::vector<PreparedLine> ExportLines(const std::vector<LogicalLine>& lines, const Origin& file,
                                      int codepage) {
    std::vector<PreparedLine> out;
    out.reserve(lines.size());
    for (size_t i = 1; i < lines.size(); ++i) {
        const Origin where{file.file, lines[i].number, {}};
        if (lines[i].commentedOnLines > 0) {
            // Lines joined as an image-builder file's: in an export, a value commented out is
            // one line, and the next is a line of its own.
            Fail(Origin{file.file, lines[i].number + 1, {}}, kExportForm);
        }
        RefuseUnmapped(lines[i].unmapped, where, codepage);
        std::u16string text = lines[i].text;
        if (!text.empty() && !lines[i].comment.empty()) {
            // The registry editor writes no comment after a line's content: the ";" is the
            // line's own, as in a key whose name holds one.
            RefuseUnmapped(lines[i].commentUnmapped, where, codepage);
            text += u';';
            text += lines[i].comment;
        }
        out.push_back(PreparedLine{std::move(text), where, std::nullopt, std::nullopt, 0, {}});
    }
    return out;
}

void TakeRegistryLines(const std::vector<PreparedLine>& lines, Syntax syntax,
                       sim::Registry& registry, std::vector<Error>& warnings) {
    Statements statements(registry, syntax, warnings);
    for (const PreparedLine& line : lines) {
        statements.Take(line);
    }
}

}  // namespace imagefiles
