// A --check finding's line, made from its level, what it is about, where that came from and its
// words; and the words' quoting and lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/kelbrun-sim/finding.h"

namespace {

using setupcheck::Finding;
using Level = Finding::Level;

TEST(Findings, TheirLineIsMadeOfTheirFields) {
    Finding value = setupcheck::AboutValue(Level::kError, u"HKEY_LOCAL_MACHINE\\init", u"Launch50",
                                           "names no program");
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\init, Launch50: names no program", value.Text());
    value.origin = "inc.reg:4 (included from platform.reg:12)";
    EXPECT_EQ(
        "inc.reg:4 (included from platform.reg:12): HKEY_LOCAL_MACHINE\\init, Launch50: names "
        "no program",
        value.Text());
    // Words that look like a key and a value name are only words.
    const Finding key = setupcheck::AboutKey(Level::kError, u"HKEY_LOCAL_MACHINE\\init",
                                             "no LaunchNN, of any: the launcher");
    EXPECT_EQ(Finding::About::kKey, key.about);
    EXPECT_EQ("", key.valueName);
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\init: no LaunchNN, of any: the launcher", key.Text());
    EXPECT_EQ("COREDLL: X is not known",
              setupcheck::AboutProgram(Level::kWarning, "COREDLL", "X is not known").Text());
    const Finding file =
        setupcheck::AboutFile(Level::kWarning, "p.dat", "p.dat:3", "the copy \\A of b.exe");
    EXPECT_EQ("p.dat", file.subject);
    EXPECT_EQ("p.dat:3: the copy \\A of b.exe", file.Text());
    EXPECT_EQ("the launcher is started 2 times",
              setupcheck::AboutBoot(Level::kWarning, "the launcher is started 2 times").Text());
}

TEST(Findings, QuoteAndListTheirWords) {
    EXPECT_EQ("\"a\\b\"", setupcheck::Quoted(u"a\\b"));
    EXPECT_EQ("\"a?b\"", setupcheck::Quoted(u"a\tb"));
    EXPECT_EQ("\"\"", setupcheck::Quoted(u""));
    EXPECT_EQ("", setupcheck::ListOf(std::vector<uint32_t>{}));
    EXPECT_EQ("5", setupcheck::ListOf(std::vector<uint32_t>{5}));
    EXPECT_EQ("20, 30", setupcheck::ListOf(std::vector<uint32_t>{20, 30}));
    EXPECT_EQ("a, b", setupcheck::ListOf(std::vector<std::string>{"a", "b"}));
    EXPECT_EQ("1 byte", setupcheck::Plural(1, "byte"));
    EXPECT_EQ("0 bytes", setupcheck::Plural(0, "byte"));
    EXPECT_EQ("2 characters", setupcheck::Plural(2, "character"));
}

// --- the report's lines: errors first, each kind of warning counted past the first three -----

// A finding of the table: "E" an error, "W" a warning told alone, or a kind's letter ("L" for
// LOC_ tokens, "I" for includes), each at its own line of d.reg.
Finding Made(char what, int line) {
    const std::string where = "d.reg:" + std::to_string(line);
    Finding f = setupcheck::AboutFile(what == 'E' ? Level::kError : Level::kWarning, "d.reg", where,
                                      std::string(1, what));
    f.kind = what == 'L'   ? "LOC_ tokens not replaced"
             : what == 'I' ? "#include lines not read"
                           : "";
    return f;
}

// The line that counts the LOC_ warnings past the first three.
std::string MoreTokens(int count, const char* first) {
    return "warning: " + std::to_string(count) + " more LOC_ tokens not replaced, first at " +
           first + "; --verbose lists them";
}

struct LinesCase {
    const char* name;
    std::string findings;  // one letter a finding, as Made reads it
    bool verbose;
    std::vector<std::string> lines;
};

void PrintTo(const LinesCase& c, std::ostream* os) {
    *os << c.name;
}

class FindingLines : public ::testing::TestWithParam<LinesCase> {};

TEST_P(FindingLines, ComeErrorsFirstAndCountEachKindPastTheFirstFew) {
    const LinesCase& c = GetParam();
    setupcheck::Findings findings;
    for (size_t i = 0; i < c.findings.size(); ++i) {
        findings.push_back(Made(c.findings[i], static_cast<int>(i) + 1));
    }
    EXPECT_EQ(c.lines, setupcheck::FindingLines(findings, c.verbose));
}

INSTANTIATE_TEST_SUITE_P(
    Table, FindingLines,
    ::testing::Values(
        LinesCase{"None", "", false, {}},
        LinesCase{"ErrorsBeforeWarnings",
                  "WEWE",
                  false,
                  {"error: d.reg:2: E", "error: d.reg:4: E", "warning: d.reg:1: W",
                   "warning: d.reg:3: W"}},
        LinesCase{"ThreeOfAKindAllTold",
                  "LLL",
                  false,
                  {"warning: d.reg:1: L", "warning: d.reg:2: L", "warning: d.reg:3: L"}},
        LinesCase{"OneMoreIsTold",
                  "LLLL",
                  false,
                  {"warning: d.reg:1: L", "warning: d.reg:2: L", "warning: d.reg:3: L",
                   "warning: d.reg:4: L"}},
        LinesCase{"TwoMoreAreCounted",
                  "LLLLL",
                  false,
                  {"warning: d.reg:1: L", "warning: d.reg:2: L", "warning: d.reg:3: L",
                   MoreTokens(2, "d.reg:4")}},
        LinesCase{"EachKindCountedApartInTheOrderTheyCame",
                  "IILLLLIIWLE",
                  false,
                  {"error: d.reg:11: E", "warning: d.reg:1: I", "warning: d.reg:2: I",
                   "warning: d.reg:3: L", "warning: d.reg:4: L", "warning: d.reg:5: L",
                   "warning: d.reg:7: I", "warning: d.reg:9: W", MoreTokens(2, "d.reg:6"),
                   "warning: d.reg:8: I"}},
        LinesCase{"WarningsToldAloneAreNeverCounted",
                  "WWWWW",
                  false,
                  {"warning: d.reg:1: W", "warning: d.reg:2: W", "warning: d.reg:3: W",
                   "warning: d.reg:4: W", "warning: d.reg:5: W"}},
        LinesCase{"VerboseTellsEvery",
                  "LLLLLE",
                  true,
                  {"error: d.reg:6: E", "warning: d.reg:1: L", "warning: d.reg:2: L",
                   "warning: d.reg:3: L", "warning: d.reg:4: L", "warning: d.reg:5: L"}}));

}  // namespace
