#include "tools/kelbrun-sim/image_files/settings_files.h"

#include "platform/sim/text.h"

namespace imagefiles {

void ReadEnvironment(std::string_view bytes, int codepage, const Origin& file,
                     Variables& variables) {
    for (const TextLine& line : DecodeText(bytes, codepage, file)) {
        const Origin where{file.file, line.number, file.includedFrom};
        if (Trim(line.text).empty()) {
            continue;
        }
        const size_t equals = line.text.find(u'=');
        if (equals == std::u16string::npos || equals == 0) {
            Fail(where, "expected NAME=VALUE, as a build window's set > FILE writes it");
        }
        RefuseUnmapped(line.unmapped, where, codepage);
        variables.Set(line.text.substr(0, equals), line.text.substr(equals + 1));
    }
}

void ReadStrings(std::string_view bytes, int codepage, const Origin& file,
                 std::map<std::u16string, std::u16string>& strings) {
    const char kForm[] =
        "a .str line is #define LOC_NAME \"text\" (inserted with its quotes) or #define LOC_NAME "
        "~\"text\" (inserted without them)";
    for (const TextLine& line : DecodeText(bytes, codepage, file)) {
        const Origin where{file.file, line.number, file.includedFrom};
        std::u16string_view text = line.text;
        // A // comment, outside quoted texts.
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == u'"') {
                const auto end = QuotedEnd(text.substr(i));
                if (!end) {
                    break;
                }
                i += *end - 1;
            } else if (StartsWith(text.substr(i), u"//")) {
                text = text.substr(0, i);
                break;
            }
        }
        text = Trim(text);
        if (text.empty()) {
            continue;
        }
        const std::vector<std::u16string_view> words = Words(text);
        if (words.size() < 3 || sim::FoldCase(words[0]) != u"#DEFINE") {
            Fail(where, kForm);
        }
        std::u16string_view value = Trim(text.substr(text.find(words[1]) + words[1].size()));
        const bool bare = StartsWith(value, u"~");
        if (bare) {
            value.remove_prefix(1);
        }
        // A plain index, not the optional: GCC for ARM takes the optional for unset after Fail.
        size_t end = std::u16string_view::npos;
        if (StartsWith(value, u"\"")) {
            end = QuotedEnd(value).value_or(std::u16string_view::npos);
        }
        if (end == std::u16string_view::npos || !Trim(value.substr(end)).empty()) {
            Fail(where, kForm);
        }
        if (value.find(u'\uFFFD') != std::u16string_view::npos) {
            RefuseUnmapped(line.unmapped, where, codepage);
        }
        strings[sim::FoldCase(words[1])] =
            std::u16string(bare ? value.substr(1, end - 2) : value.substr(0, end));
    }
}

}  // namespace imagefiles
