// One thing found wrong in a unit's setup, as kelbrun-sim --check reports it: its level, what
// it is about and where that came from, kept apart from its words; the report's line is made
// of them in one place.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_FINDING_H
#define KELBRUN_TOOLS_KELBRUN_SIM_FINDING_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace setupcheck {

struct Finding {
    // An error stops the launcher, or what it should start, on the unit; a warning is a setup
    // that works only by luck or differs from what it seems to say.
    enum class Level { kError, kWarning };
    // What it is about: a registry key, or one of a key's values; a program (COREDLL, the
    // launcher as --self names it); a line of an OS design's file; or the boot as a whole.
    enum class About { kBoot, kKey, kValue, kProgram, kFile };

    Level level = Level::kError;
    About about = About::kBoot;
    std::string subject;    // the key, the program or the file, as the report names it
    std::string valueName;  // of a kValue finding
    // Where what it is about came from: the file and line that set the value, through its
    // includes ("inc.reg:4 (included from platform.reg:12)"), or the line of a kFile finding.
    // Empty when not known.
    std::string origin;
    std::string words;  // what is wrong, and what it leads to
    // Warnings of one kind, such as "LOC_ tokens not replaced", which the report counts in one
    // line past the first few; empty for a warning told alone.
    std::string kind;

    // The report's line: "ORIGIN: KEY, NAME: WORDS", and so on for the other subjects.
    std::string Text() const;

    friend bool operator==(const Finding&, const Finding&) = default;
};

using Findings = std::vector<Finding>;

Finding AboutBoot(Finding::Level level, std::string words);
Finding AboutKey(Finding::Level level, std::u16string_view key, std::string words);
Finding AboutValue(Finding::Level level, std::u16string_view key, std::u16string_view name,
                   std::string words);
Finding AboutProgram(Finding::Level level, std::string program, std::string words);
// where: "file:line", with the lines that included the file after it.
Finding AboutFile(Finding::Level level, std::string file, std::string where, std::string words);

// The findings' lines in the report's order, each "error: TEXT" or "warning: TEXT": the errors,
// then the warnings; of each kind of warning the first kShownOfAKind, then one line counting
// the rest, unless verbose.
constexpr size_t kShownOfAKind = 3;
std::vector<std::string> FindingLines(const Findings& findings, bool verbose);

// The findings' words: a text in quotes, a control character in it shown as "?"; numbers or
// names separated by ", "; "1 byte", "2 bytes".
std::string Quoted(std::u16string_view text);
std::string ListOf(const std::vector<uint32_t>& numbers);
std::string ListOf(const std::vector<std::string>& items);
std::string Plural(size_t count, const char* noun);

}  // namespace setupcheck

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_FINDING_H
