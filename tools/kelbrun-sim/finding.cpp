#include "tools/kelbrun-sim/finding.h"

#include <utility>

#include "platform/sim/text.h"

namespace setupcheck {

std::string Finding::Text() const {
    std::string text = origin.empty() ? "" : origin + ": ";
    switch (about) {
        case About::kBoot:
        case About::kFile:
            break;
        case About::kKey:
        case About::kProgram:
            text += subject + ": ";
            break;
        case About::kValue:
            text += subject + ", " + valueName + ": ";
            break;
    }
    return text + words;
}

Finding AboutBoot(Finding::Level level, std::string words) {
    return Finding{level, Finding::About::kBoot, {}, {}, {}, std::move(words)};
}

Finding AboutKey(Finding::Level level, std::u16string_view key, std::string words) {
    return Finding{level, Finding::About::kKey, sim::ToUtf8(key), {}, {}, std::move(words)};
}

Finding AboutValue(Finding::Level level, std::u16string_view key, std::u16string_view name,
                   std::string words) {
    return Finding{level, Finding::About::kValue, sim::ToUtf8(key), sim::ToUtf8(name),
                   {},    std::move(words)};
}

Finding AboutProgram(Finding::Level level, std::string program, std::string words) {
    return Finding{level, Finding::About::kProgram, std::move(program), {}, {}, std::move(words)};
}

Finding AboutFile(Finding::Level level, std::string file, std::string where, std::string words) {
    return Finding{level, Finding::About::kFile, std::move(file),
                   {},    std::move(where),      std::move(words)};
}

std::string Quoted(std::u16string_view text) {
    std::u16string shown;
    for (char16_t c : text) {
        shown += c < 0x20 ? u'?' : c;
    }
    return "\"" + sim::ToUtf8(shown) + "\"";
}

std::string ListOf(const std::vector<uint32_t>& numbers) {
    std::string text;
    for (uint32_t number : numbers) {
        text += (text.empty() ? "" : ", ") + std::to_string(number);
    }
    return text;
}

std::string ListOf(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : ", ") + item;
    }
    return text;
}

std::string Plural(size_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace setupcheck
