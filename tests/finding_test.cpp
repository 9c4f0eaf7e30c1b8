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

}  // namespace
