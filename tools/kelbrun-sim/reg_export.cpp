#include "tools/kelbrun-sim/reg_export.h"

#include <fstream>
#include <system_error>
#include <vector>

#include "platform/sim/text.h"

namespace regfile {
namespace {

// The registry editor keeps its lines of hex data within this many columns.
constexpr size_t kColumns = 80;

std::u16string Quoted(std::u16string_view text) {
    std::u16string out = u"\"";
    for (char16_t c : text) {
        if (c == u'\\' || c == u'"') {
            out += u'\\';
        }
        out += c;
    }
    return out + u'"';
}

// The text of a string value that can be written "quoted": UTF-16LE with one terminator, at
// the end, and no line break, which would end the line it is written on.
std::optional<std::u16string> QuotableText(const sim::RegistryValue& value) {
    const std::vector<uint8_t>& bytes = value.bytes;
    if (value.type != sim::kRegSz || bytes.size() < 2 || bytes.size() % 2 != 0) {
        return std::nullopt;
    }
    bool terminated = false;
    std::u16string text = sim::TextUpToNul(bytes, &terminated);
    if (!terminated || text.size() * 2 + 2 != bytes.size() ||
        text.find_first_of(u"\r\n") != std::u16string::npos) {
        return std::nullopt;
    }
    return text;
}

std::u16string Hex(uint32_t number, int digits) {
    static const char16_t kDigits[] = u"0123456789abcdef";
    std::u16string out;
    do {
        out.insert(out.begin(), kDigits[number % 16]);
        number /= 16;
    } while (--digits > 0 || number != 0);
    return out;
}

// The value's line (or lines): "name"=data.
std::u16string ValueLines(const sim::NamedValue& named) {
    const sim::RegistryValue& value = named.value;
    std::u16string line = (named.name.empty() ? u"@" : Quoted(named.name)) + u"=";
    if (const auto text = QuotableText(value)) {
        return line + Quoted(*text) + u"\r\n";
    }
    if (value.type == sim::kRegDword && value.bytes.size() == 4) {
        uint32_t number = 0;
        for (size_t i = 4; i-- > 0;) {
            number = number << 8 | value.bytes[i];
        }
        return line + u"dword:" + Hex(number, 8) + u"\r\n";
    }
    line += value.type == sim::kRegBinary ? u"hex:" : u"hex(" + Hex(value.type, 1) + u"):";
    std::u16string lines;
    for (size_t i = 0; i < value.bytes.size(); ++i) {
        // Room for "xx," and the "\" that would end the line.
        if (i > 0 && line.size() + 4 > kColumns) {
            lines += line + u"\\\r\n";
            line = u"  ";
        }
        line += Hex(value.bytes[i], 2);
        if (i + 1 < value.bytes.size()) {
            line += u',';
        }
    }
    return lines + line + u"\r\n";
}

}  // namespace

std::string ExportText(const sim::Registry& registry) {
    std::u16string text = u"Windows Registry Editor Version 5.00\r\n";
    for (const sim::RegistryKey& key : registry.Keys()) {
        text += u"\r\n[" + key.path + u"]\r\n";
        for (const sim::NamedValue& value : key.values) {
            text += ValueLines(value);
        }
    }
    const std::vector<uint8_t> bytes = sim::Utf16LeBytes(text);
    return "\xFF\xFE" + std::string(bytes.begin(), bytes.end());
}

std::optional<std::string> SaveExport(const sim::Registry& registry,
                                      const std::filesystem::path& file) {
    const std::string bytes = ExportText(registry);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        return file.string() + ": cannot be written";
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        // A part of an export could pass for a whole one.
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        return file.string() + ": cannot be written";
    }
    return std::nullopt;
}

}  // namespace regfile
