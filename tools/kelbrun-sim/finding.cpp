#include "tools/kelbrun-sim/finding.h"

#include <map>
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
    return Finding{level, Finding::About::kBoot, {}, {}, {}, std::move(words), {}};
}

Finding AboutKey(Finding::Level level, std::u16string_view key, std::string words) {
    return Finding{level, Finding::About::kKey, sim::ToUtf8(key), {}, {}, std::move(words), {}};
}

Finding AboutValue(Finding::Level level, std::u16string_view key, std::u16string_view name,
                   std::string words) {
    return Finding{
        level, Finding::About::kValue, sim::ToUtf8(key), sim::ToUtf8(name), {}, std::move(words),
        {}};
}

Finding AboutProgram(Finding::Level level, std::string program, std::string words) {
    return Finding{level, Finding::About::kProgram, std::move(program), {}, {}, std::move(words),
                   {}};
}

Finding AboutFile(Finding::Level level, std::string file, std::string where, std::string words) {
    return Finding{
        level, Finding::About::kFile, std::move(file), {}, std::move(where), std::move(words), {}};
}

std::vector<std::string> FindingLines(const Findings& findings, bool verbose) {
    std::vector<std::string> lines;
    for (const Finding& finding : findings) {
        if (finding.level == Finding::Level::kError) {
            lines.push_back("error: " + finding.Text());
        }
    }
    std::map<std::string, size_t> shown;  // by kind: the warnings of it listed so far
    std::map<std::string, std::vector<const Finding*>> rest;  // by kind: those not listed
    std::vector<std::string> kinds;  // the kinds with a rest, in the order they came
    for (const Finding& finding : findings) {
        if (finding.level != Finding::Level::kWarning) {
            continue;
        }
        if (verbose || finding.kind.empty() || shown[finding.kind]++ < kShownOfAKind) {
            lines.push_back("warning: " + finding.Text());
            continue;
        }
        std::vector<const Finding*>& more = rest[finding.kind];
        if (more.empty()) {
            kinds.push_back(finding.kind);
        }
        more.push_back(&finding);
    }
    for (const std::string& kind : kinds) {
        const std::vector<const Finding*>& more = rest[kind];
        const Finding& first = *more.front();
        // One more is as short told as counted.
        lines.push_back("warning: " + (more.size() == 1 ? first.Text()
                                                        : std::to_string(more.size()) + " more " +
                                                              kind + ", first at " + first.origin +
                                                              "; --verbose lists them"));
    }
    return lines;
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
