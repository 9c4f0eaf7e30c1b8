// Reading an OS design's files through each stage: text in a code page, logical lines, the
// preprocessor (directives, includes, IF and @CESYSGEN blocks, $(NAME) and LOC_ tokens), and
// the statements of .reg, .bib and .dat files; the warnings, refusals and where each value
// came from.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/sim/registry.h"
#include "platform/sim/text.h"
#include "tests/sim_test_support.h"
#include "tools/kelbrun-sim/device_setup.h"
#include "tools/kelbrun-sim/image_files/design_reader.h"
#include "tools/kelbrun-sim/setup_check.h"

namespace {

using imagefiles::DesignReader;
using imagefiles::ReadSettings;

const char16_t kKey[] = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths";
const char kKeyLine[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n";

// A table case's name, for the test's name.
template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// An OS design: its files held in memory as given (or, for the command line's setup, written
// to a scratch folder), read by one reader.
class Design {
  public:
    enum class Where { kMemory, kHost };
    explicit Design(Where where = Where::kMemory) {
        if (where == Where::kHost) {
            scratch_.emplace();
        }
    }

    std::string Write(const std::string& relative, const std::string& bytes) {
        const std::filesystem::path file = Folder() / relative;
        if (scratch_) {
            std::filesystem::create_directories(file.parent_path());
            std::ofstream(file, std::ios::binary) << bytes;
        } else {
            memory_.Add(file, bytes);
        }
        return file.string();
    }
    std::filesystem::path Folder() const {
        return scratch_ ? scratch_->Path() : std::filesystem::path("/design");
    }
    ReadSettings& Settings() {
        return settings_;
    }
    DesignReader& Reader() {
        if (!reader_) {
            reader_ = scratch_ ? std::make_unique<DesignReader>(settings_)
                               : std::make_unique<DesignReader>(settings_, memory_);
        }
        return *reader_;
    }
    // Reads the file as --registry does; gives the error's one line, or "" when it is read.
    std::string Registry(const std::string& relative) {
        const std::string file = (Folder() / relative).string();
        const auto error = Reader().LoadRegistry(file, registry);
        return error ? Relative(error->Describe()) : "";
    }
    std::string Bib(const std::string& relative) {
        const auto error = Reader().LoadBib((Folder() / relative).string(), image);
        return error ? Relative(error->Describe()) : "";
    }
    std::string Dat(const std::string& relative) {
        const auto error = Reader().LoadDat((Folder() / relative).string(), image);
        return error ? Relative(error->Describe()) : "";
    }
    // The warnings, with the scratch folder's path left out.
    std::vector<std::string> Warnings() {
        std::vector<std::string> out;
        for (const imagefiles::Error& warning : Reader().Warnings()) {
            out.push_back(Relative(warning.Describe()));
        }
        return out;
    }
    std::string Relative(std::string text) const {
        const std::string folder = Folder().string() + "/";
        for (size_t at; (at = text.find(folder)) != std::string::npos;) {
            text.erase(at, folder.size());
        }
        return text;
    }
    // V's text in the launcher's key, or "(none)".
    std::string Text(const char16_t* name = u"V") const {
        const sim::RegistryValue* value = registry.FindValue(kKey, name);
        if (value == nullptr) {
            return "(none)";
        }
        std::u16string text = sim::FromUtf16LeBytes(value->bytes);
        while (!text.empty() && text.back() == u'\0') {
            text.pop_back();
        }
        return sim::ToUtf8(text);
    }

    sim::Registry registry;
    imagefiles::ImageContents image;

  private:
    imagefiles::MemoryFiles memory_;
    std::optional<testing_support::ScratchRoot> scratch_;
    ReadSettings settings_;
    std::unique_ptr<DesignReader> reader_;
};

// ---- the files, behind their seam ----

// The tree in memory answers as the host's files do for the same tree.
TEST(DesignFiles, InMemoryAnswerAsTheHostsDo) {
    testing_support::ScratchRoot scratch;
    imagefiles::MemoryFiles memory;
    const imagefiles::DesignFiles& host = imagefiles::TheHostFiles();
    for (const char* relative : {"a.reg", "inc/b.reg", "inc/deep/C.REG"}) {
        const std::filesystem::path file = scratch.Path() / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << relative;
        memory.Add(file, relative);
    }
    for (const imagefiles::DesignFiles* files :
         {static_cast<const imagefiles::DesignFiles*>(&memory), &host}) {
        SCOPED_TRACE(files == &host ? "host" : "memory");
        EXPECT_EQ(std::optional<std::string>("inc/b.reg"),
                  files->Read(scratch.Path() / "inc/b.reg"));
        EXPECT_EQ(std::nullopt, files->Read(scratch.Path() / "inc"));
        EXPECT_EQ(std::nullopt, files->Read(scratch.Path() / "none.reg"));
        EXPECT_TRUE(files->IsFolder(scratch.Path() / "inc"));
        EXPECT_TRUE(files->IsFolder(scratch.Path() / "inc/deep/"));
        EXPECT_FALSE(files->IsFolder(scratch.Path() / "a.reg"));
        EXPECT_FALSE(files->IsFolder(scratch.Path() / "none"));
        std::vector<std::string> names = files->List(scratch.Path() / "inc");
        std::sort(names.begin(), names.end());
        EXPECT_EQ((std::vector<std::string>{"b.reg", "deep"}), names);
        EXPECT_TRUE(files->List(scratch.Path() / "a.reg").empty());
        // A Windows path resolves the same way through either, without regard to case.
        std::string why;
        EXPECT_EQ(
            scratch.Path() / "inc/deep/C.REG",
            imagefiles::ResolveWindowsPath(u"INC\\Deep\\c.reg", scratch.Path(), {}, *files, why));
        EXPECT_EQ(std::nullopt,
                  imagefiles::ResolveWindowsPath(u"inc", scratch.Path(), {}, *files, why));
        EXPECT_EQ((scratch.Path() / "inc").string() + " is not a file", why);
    }
}

// ---- bytes to text: the code page of a file that is not UTF-8 ----

struct CodepageCase {
    const char* name;
    int codepage;
    std::string line;      // after the key line
    std::string expected;  // V's text as UTF-8, or the error
};

void PrintTo(const CodepageCase& c, std::ostream* os) {
    *os << c.name;
}

class Codepages : public ::testing::TestWithParam<CodepageCase> {};

TEST_P(Codepages, ReadTheFileInIts) {
#ifdef KELBRUN_NO_CODEPAGES
    GTEST_SKIP() << "this build's iconv has no gconv modules: no Windows code page to convert";
#endif
    const CodepageCase& c = GetParam();
    Design design;
    design.Settings().codepage = c.codepage;
    design.Write("a.reg", kKeyLine + c.line);
    const std::string error = design.Registry("a.reg");
    EXPECT_EQ(c.expected, error.empty() ? design.Text() : error);
}

INSTANTIATE_TEST_SUITE_P(
    Text, Codepages,
    ::testing::Values(
        CodepageCase{"Utf8", 1252, "\"V\"=\"caf\xC3\xA9\"\r\n", "caf\xC3\xA9"},
        CodepageCase{"Windows1252", 1252, "\"V\"=\"caf\xE9\"\r\n", "caf\xC3\xA9"},
        CodepageCase{"Windows1252Euro", 1252, "\"V\"=\"\x80\"\r\n", "\xE2\x82\xAC"},
        CodepageCase{"Gbk", 936, "\"V\"=\"\xC4\xE3\xBA\xC3\"\r\n", "\xE4\xBD\xA0\xE5\xA5\xBD"},
        // The same bytes in 1252 are four Latin letters.
        CodepageCase{"GbkBytesIn1252", 1252, "\"V\"=\"\xC4\xE3\"\r\n", "\xC3\x84\xC3\xA3"},
        // A comment may hold anything: a byte 1252 lacks, half a GBK character.
        CodepageCase{"CommentHoldsAnything", 1252, "\"V\"=\"a\" ; \x81\x8D\r\n", "a"},
        CodepageCase{"GbkComment", 936, "; \xC4\r\n\"V\"=\"a\"\r\n", "a"},
        CodepageCase{"UnmappedInValue", 1252, "\"V\"=\"\x81\"\r\n",
                     "a.reg:2: byte 0x81 is no character of code page 1252 (--codepage N names "
                     "the code page the file was written in)"},
        // Of two bytes the code page lacks, the first is named.
        CodepageCase{"TwoUnmappedNameTheFirst", 1252, "\"V\"=\"\x81\x8D\"\r\n",
                     "a.reg:2: byte 0x81 is no character of code page 1252 (--codepage N names "
                     "the code page the file was written in)"},
        CodepageCase{"HalfGbkInValue", 936, "\"V\"=\"\xC4\"\r\n",
                     "a.reg:2: byte 0xC4 is no character of code page 936 (--codepage N names "
                     "the code page the file was written in)"},
        CodepageCase{"NulIsBlank", 1252, std::string("\"V\"\0=\"a\"\0\r\n", 10), "a"},
        CodepageCase{"MixedLineEnds", 1252, "\n\r\n\"V\"=\"a\"\n", "a"}),
    CaseName<CodepageCase>);

TEST(Codepages, KnownToTheConverter) {
#ifdef KELBRUN_NO_CODEPAGES
    GTEST_SKIP() << "this build's iconv has no gconv modules: no Windows code page to convert";
#endif
    EXPECT_TRUE(imagefiles::IsKnownCodepage(1252));
    EXPECT_TRUE(imagefiles::IsKnownCodepage(936));
    EXPECT_FALSE(imagefiles::IsKnownCodepage(0));
    EXPECT_FALSE(imagefiles::IsKnownCodepage(99999));
}

// ---- the registry forms of real files ----

struct FormCase {
    const char* name;
    std::string body;  // after the key line
    uint32_t type;
    std::vector<uint8_t> bytes;  // of V
};

void PrintTo(const FormCase& c, std::ostream* os) {
    *os << c.name;
}

class RegistryForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(RegistryForms, StoreWhatTheyMean) {
    const FormCase& c = GetParam();
    sim::Registry registry;
    const auto error = regfile::Apply(kKeyLine + c.body, registry);
    ASSERT_FALSE(error.has_value()) << error->line << ": " << error->message;
    const sim::RegistryValue* value = registry.FindValue(kKey, u"V");
    ASSERT_NE(nullptr, value);
    EXPECT_EQ(c.type, value->type);
    EXPECT_EQ(c.bytes, value->bytes);
}

const std::vector<uint8_t> kAB = {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Forms, RegistryForms,
    ::testing::Values(
        FormCase{"MultiSzAfterTrailingComma", "\"V\"=multi_sz:\"a\",\r\n    \"b\"\r\n", 7, kAB},
        FormCase{"MultiSzCommaThenComment", "\"V\"=multi_sz:\"a\", ; more\r\n\"b\"\r\n", 7, kAB},
        FormCase{"MultiSzCommaOverThreeLines",
                 "\"V\"=multi_sz:\"a\",\r\n\"b\",\r\n\"a\"\r\n",
                 7,
                 {'a', 0, 0, 0, 'b', 0, 0, 0, 'a', 0, 0, 0, 0, 0}},
        FormCase{"MuiSz", "\"V\"=mui_sz:\"a\"\r\n", 21, {'a', 0, 0, 0}},
        FormCase{"MuiSzSpaced", "\"V\" = MUI_SZ: \"a\"\r\n", 21, {'a', 0, 0, 0}},
        FormCase{"DwordSpaced", "\"V\"\t=\tdword: 10\r\n", 4, {0x10, 0, 0, 0}},
        FormCase{
            "DeletionThenComment", "\"V\"=\"x\"\r\n\"V\"=-; erase\r\n\"V\"=hex:01\r\n", 3, {1}},
        FormCase{"IndentedKey",
                 "  [HKEY_LOCAL_MACHINE\\Other]\r\n" + std::string(kKeyLine) + "\"V\"=hex:02\r\n",
                 3,
                 {2}},
        FormCase{"KeyEndingInBackslash",
                 "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths\\]\r\n\"V\"=hex:03\r\n",
                 3,
                 {3}}),
    CaseName<FormCase>);

TEST(RegistryForms, DeletedKeyThenCommentAndRegedit4InAnImageBuilderFile) {
    sim::Registry registry;
    const auto error = regfile::Apply(
        "REGEDIT4\r\n#define X 1\r\n[HKEY_LOCAL_MACHINE\\Gone\\Deep]\r\n"
        "[-HKEY_LOCAL_MACHINE\\Gone]; all of it\r\n" +
            std::string(kKeyLine) + "@=\"d\"\r\n",
        registry);
    ASSERT_FALSE(error.has_value()) << error->line << ": " << error->message;
    EXPECT_FALSE(registry.HasKey(u"HKEY_LOCAL_MACHINE\\Gone"));
    EXPECT_EQ(sim::Registry::StringValue(u"d"), *registry.FindValue(kKey, u""));
}

// ---- the lines an image-builder file skips, with a warning ----

struct StrayCase {
    const char* name;
    std::string file;                   // the whole a.reg
    std::vector<std::string> warnings;  // each in full
    std::string v;                      // V's text in the launcher's key
};

void PrintTo(const StrayCase& c, std::ostream* os) {
    *os << c.name;
}

class StrayLines : public ::testing::TestWithParam<StrayCase> {};

TEST_P(StrayLines, AreSkippedWithAWarningAndTheFileIsRead) {
    const StrayCase& c = GetParam();
    Design design;
    design.Settings().variables.Set(u"SET", u"1");
    design.Write("a.reg", c.file);
    ASSERT_EQ("", design.Registry("a.reg"));
    EXPECT_EQ(c.warnings, design.Warnings());
    EXPECT_EQ(c.v, design.Text());
}

const std::string kProfile = "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory";
const std::string kIntoPaths =
    "the values after it go into [HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]";

INSTANTIATE_TEST_SUITE_P(
    Forms, StrayLines,
    ::testing::Values(
        StrayCase{"Dashes",
                  "; ---- the card ----\r\n" + std::string(kKeyLine) +
                      "----------------------------\r\n\"V\"=\"a\"\r\n",
                  {"a.reg:3: skipped a line that is no statement, ----------------------------: " +
                   kIntoPaths},
                  "a"},
        StrayCase{"BeforeAnyKey",
                  "=====\r\n" + std::string(kKeyLine) + "\"V\"=\"a\"\r\n",
                  {"a.reg:1: skipped a line that is no statement, =====: no [KEY] line is open "
                   "for the values after it"},
                  "a"},
        // The values after a key line that lost its [ go into the key before it.
        StrayCase{"KeyLineWithoutItsBracket",
                  "[" + kProfile + "]\r\n\"Name\"=\"SD\"\r\n" + kProfile +
                      "\\PartitionTable]\r\n\"01\"=\"FATFS\"\r\n" + kKeyLine + "\"V\"=\"a\"\r\n",
                  {"a.reg:3: skipped a key line without its [, " + kProfile +
                   "\\PartitionTable]: the values after it go into [" + kProfile + "]"},
                  "a"},
        StrayCase{"CommentedHexGoesOn",
                  kKeyLine + std::string(";\"Old\"=hex:01,02,\\\r\n    03,04,\\\r\n    "
                                         "05\r\n\"V\"=\"a\"\r\n"),
                  {"a.reg:3: skipped lines 3 to 4, which go on with the value \"Old\" commented "
                   "out on line 2 (its ; comments out that line only): the values after them go "
                   "into [HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]"},
                  "a"},
        StrayCase{"CommentedDefaultValueGoesOnOneLine",
                  kKeyLine + std::string("  ; @=hex:01,\\\r\n  02\r\n\"V\"=\"a\"\r\n"),
                  {"a.reg:3: skipped line 3, which goes on with the value @ commented out on "
                   "line 2 (its ; comments out that line only): " +
                   kIntoPaths},
                  "a"},
        // A commented-out value that does not go on, and one that goes on onto a statement:
        // nothing is skipped.
        StrayCase{"CommentedValueEnds",
                  kKeyLine + std::string(";\"Old\"=hex:01\r\n\"V\"=\"a\"\r\n"),
                  {},
                  "a"},
        StrayCase{"CommentedValueGoesOnOntoAStatement",
                  kKeyLine + std::string(";\"Old\"=hex:01,\\\r\n\"V\"=\"a\"\r\n"),
                  {},
                  "a"},
        // In a block that is not read, nothing is said.
        StrayCase{"InABlockNotRead",
                  kKeyLine + std::string("IF UNSET\r\n-----\r\n;\"Old\"=hex:01,\\\r\n  "
                                         "02\r\nENDIF\r\n\"V\"=\"a\"\r\n"),
                  {},
                  "a"},
        StrayCase{"InABlockRead",
                  kKeyLine + std::string("IF SET\r\n-----\r\nENDIF\r\n\"V\"=\"a\"\r\n"),
                  {"a.reg:3: skipped a line that is no statement, -----: " + kIntoPaths},
                  "a"},
        // A REGEDIT4 file with a line only the image builder writes is one of its files.
        StrayCase{"Regedit4ImageBuilderFile",
                  "REGEDIT4\r\n" + std::string(kKeyLine) + "\"V\"=\"a\" ; the card\r\n-----\r\n",
                  {"a.reg:4: skipped a line that is no statement, -----: " + kIntoPaths},
                  "a"}),
    CaseName<StrayCase>);

// The warning names the line through its includes.
TEST(StrayLines, InAnIncludedFileNameTheLineThatIncludedIt) {
    Design design;
    design.Write("b.reg", "\r\n-----\r\n");
    design.Write("a.reg", kKeyLine + std::string("#include \"b.reg\"\r\n\"V\"=\"a\"\r\n"));
    ASSERT_EQ("", design.Registry("a.reg"));
    EXPECT_EQ(std::vector<std::string>{"b.reg:2 (included from a.reg:2): skipped a line that is "
                                       "no statement, -----: " +
                                       kIntoPaths},
              design.Warnings());
    EXPECT_EQ("a", design.Text());
}

// ---- the preprocessor: directives, $(NAME), #if ----

struct PreprocessCase {
    const char* name;
    std::vector<std::pair<std::u16string, std::u16string>> variables;
    std::string body;      // after the key line
    std::string expected;  // V's text, "(none)", or the error
};

void PrintTo(const PreprocessCase& c, std::ostream* os) {
    *os << c.name;
}

class Preprocessing : public ::testing::TestWithParam<PreprocessCase> {};

TEST_P(Preprocessing, GivesTheLinesTheStatementsRead) {
    const PreprocessCase& c = GetParam();
    Design design;
    for (const auto& [name, value] : c.variables) {
        design.Settings().variables.Set(name, value);
    }
    design.Write("a.reg", kKeyLine + c.body);
    const std::string error = design.Registry("a.reg");
    EXPECT_EQ(c.expected, error.empty() ? design.Text() : error);
}

INSTANTIATE_TEST_SUITE_P(
    Directives, Preprocessing,
    ::testing::Values(
        PreprocessCase{"DefineInValue", {}, "#define X abc\n\"V\"=\"$(X)\"\n", "abc"},
        PreprocessCase{"DefineKeepsQuotes", {}, "#define X \"a b\"\n\"V\"=$(X)\n", "a b"},
        PreprocessCase{"DefineInKey",
                       {},
                       "#define ROOT HKEY_LOCAL_MACHINE\\SOFTWARE\n[$(ROOT)\\Tavrin\\Paths]\n"
                       "\"V\"=\"k\"\n",
                       "k"},
        PreprocessCase{"DefineEmpty", {}, "#define X\n\"V\"=\"[$(X)]\"\n", "[]"},
        PreprocessCase{
            "DefineWinsOverVariables", {{u"X", u"env"}}, "#define x def\n\"V\"=\"$(X)\"\n", "def"},
        PreprocessCase{"VariableWhenNoDefine", {{u"x", u"env"}}, "\"V\"=\"$(X)\"\n", "env"},
        PreprocessCase{"UndefGoesBackToVariable",
                       {{u"X", u"env"}},
                       "#define X def\n#undef X\n\"V\"=\"$(X)\"\n",
                       "env"},
        PreprocessCase{"DefineOfADefine",
                       {},
                       "#define A 1\n#define B $(A)2\n#undef A\n\"V\"=\"$(B)\"\n",
                       "12"},
        PreprocessCase{
            "TwoInALine", {{u"A", u"x"}, {u"B", u"y"}}, "\"V\"=\"$(A)\\\\$(B)\"\n", "x\\y"},
        PreprocessCase{
            "HexContinuationLine", {{u"B", u"62"}}, "\"V\"=hex:61,00,\\\n  $(B),00,00,00\n", "ab"},
        PreprocessCase{"UndefinedInValue",
                       {},
                       "\"V\"=\"$(NOBODY)\"\n",
                       "a.reg:2: $(NOBODY) is defined nowhere: give it with --define "
                       "NOBODY=VALUE or --environment FILE, or read the merged reginit.ini of the "
                       "build's release folder, which has it expanded"},
        PreprocessCase{
            "UndefinedInSkippedBlock", {}, "IF A\n\"V\"=\"$(NOBODY)\"\nENDIF\n", "(none)"},
        PreprocessCase{
            "HashIfDefined", {{u"A", u"1"}}, "#if defined A\n\"V\"=\"a\"\n#endif\n", "a"},
        PreprocessCase{"HashIfNotDefined", {}, "#if ! defined(A)\n\"V\"=\"a\"\n#endif\n", "a"},
        PreprocessCase{"HashElif",
                       {{u"B", u"1"}},
                       "#if defined A\n\"V\"=\"a\"\n#elif defined B\n\"V\"=\"b\"\n#else\n"
                       "\"V\"=\"c\"\n#endif\n",
                       "b"},
        PreprocessCase{
            "HashElse", {}, "#if defined A\n\"V\"=\"a\"\n#else\n\"V\"=\"c\"\n#endif\n", "c"},
        PreprocessCase{"HashElifAfterTaken",
                       {{u"A", u"1"}, {u"B", u"1"}},
                       "#if defined A\n\"V\"=\"a\"\n#elif defined B\n\"V\"=\"b\"\n#endif\n",
                       "a"},
        PreprocessCase{
            "HashEquals", {{u"CPU", u"ARM"}}, "#if CPU == \"ARM\"\n\"V\"=\"a\"\n#endif\n", "a"},
        PreprocessCase{
            "HashNotEquals", {{u"CPU", u"x86"}}, "#if $(CPU) != ARM\n\"V\"=\"a\"\n#endif\n", "a"},
        PreprocessCase{"HashUndefinedIsEmpty", {}, "#if $(CPU) != ARM\n\"V\"=\"a\"\n#endif\n", "a"},
        PreprocessCase{
            "HashUndefinedEqualsEmpty", {}, "#if $(CPU) == \"\"\n\"V\"=\"a\"\n#endif\n", "a"},
        // A #define made of a variable nobody had defined yet leaves it undefined in the line.
        PreprocessCase{"DefineOfAnUndefined",
                       {},
                       "#define B $(A)2\n#define A 1\n\"V\"=\"$(B)\"\n",
                       "a.reg:4: $(A) is defined nowhere: give it with --define A=VALUE or "
                       "--environment FILE, or read the merged reginit.ini of the build's release "
                       "folder, which has it expanded"},
        PreprocessCase{"HashAndOr",
                       {{u"A", u"1"}},
                       "#if (defined A || defined B) && !defined C\n\"V\"=\"a\"\n#endif\n",
                       "a"},
        PreprocessCase{"HashNameZero", {{u"A", u"0"}}, "#if A\n\"V\"=\"a\"\n#endif\n", "(none)"},
        PreprocessCase{"HashNumber", {}, "#if 1\n\"V\"=\"a\"\n#endif\n", "a"},
        // 0 however many times it is written.
        PreprocessCase{
            "HashNameDoubleZero", {{u"A", u"00"}}, "#if A\n\"V\"=\"a\"\n#endif\n", "(none)"},
        PreprocessCase{"HashNumberDoubleZero", {}, "#if 00\n\"V\"=\"a\"\n#endif\n", "(none)"},
        PreprocessCase{"HashNameTen", {{u"A", u"10"}}, "#if A\n\"V\"=\"a\"\n#endif\n", "a"},
        // Once a branch held, neither a later #elif that does not nor the #else is read.
        PreprocessCase{"HashElseAfterTakenIfAndFalseElif",
                       {},
                       "#if 1\n\"V\"=\"a\"\n#elif 0\n\"V\"=\"b\"\n#else\n\"V\"=\"c\"\n#endif\n",
                       "a"},
        PreprocessCase{"UndefInAnotherCase",
                       {{u"X", u"env"}},
                       "#define X def\n#undef x\n\"V\"=\"$(X)\"\n",
                       "env"},
        PreprocessCase{"SkippedDefineNotMade",
                       {},
                       "#if 0\n#define X 1\n#endif\n\"V\"=\"$(X)\"\n",
                       "a.reg:5: $(X) is defined nowhere: give it with --define X=VALUE or "
                       "--environment FILE, or read the merged reginit.ini of the build's release "
                       "folder, which has it expanded"},
        PreprocessCase{"Error", {}, "#error no card\n", "a.reg:2: #error no card"},
        PreprocessCase{
            "ErrorInSkippedBlock", {}, "#if 0\n#error no card\n#endif\n\"V\"=\"a\"\n", "a"},
        PreprocessCase{"UnknownDirective",
                       {},
                       "#pragma x\n",
                       "a.reg:2: unknown directive: #pragma (fMerge's are #define, #undef, "
                       "#include, #error, #message, #if, #elif, #else and #endif)"},
        PreprocessCase{"HashEndifWithoutIf", {}, "#endif\n", "a.reg:2: #endif without its #if"},
        PreprocessCase{"HashIfNeverClosed",
                       {},
                       "#if 1\n",
                       "a.reg:2: this #if is never closed: the file ends before its #endif"},
        PreprocessCase{"EndifClosesWrongKind",
                       {},
                       "#if 1\nIF A\n#endif\nENDIF\n",
                       "a.reg:4: #endif inside the IF of line 3, which is not closed yet"},
        PreprocessCase{"HashElifWithoutIf", {}, "#elif 1\n", "a.reg:2: #elif without its #if"},
        PreprocessCase{"HashElifAfterElse",
                       {},
                       "#if 1\n#else\n#elif 1\n#endif\n",
                       "a.reg:4: #elif after the #else of the #if of line 2"},
        PreprocessCase{"HashElseTwice",
                       {},
                       "#if 1\n#else\n#else\n#endif\n",
                       "a.reg:4: #else after the #else of the #if of line 2"},
        PreprocessCase{"HashIfMalformed",
                       {},
                       "#if (defined A\n#endif\n",
                       "a.reg:2: a #if expression takes defined NAME, !, &&, ||, == and != over "
                       "names and \"texts\", and parentheses"}),
    CaseName<PreprocessCase>);

TEST(Preprocessing, MessageIsAWarningAndReadingGoesOn) {
    Design design;
    design.Write("a.reg", std::string("#message building the card\n") + kKeyLine + "\"V\"=\"a\"\n");
    EXPECT_EQ("", design.Registry("a.reg"));
    EXPECT_EQ("a", design.Text());
    EXPECT_EQ(std::vector<std::string>{"a.reg:1: #message building the card"}, design.Warnings());
}

// A #define holds into the files after its own, as fMerge reads them in one pass; a block
// does not.
TEST(Preprocessing, DefineGoesOnIntoTheNextFile) {
    Design design;
    design.Write("common.reg", "#define CARD \\\\SDMMC\n");
    design.Write("project.reg", kKeyLine + std::string("\"V\"=\"$(CARD)\"\n"));
    ASSERT_EQ("", design.Registry("common.reg"));
    ASSERT_EQ("", design.Registry("project.reg"));
    EXPECT_EQ("\\SDMMC", design.Text());
}

// ---- #include ----

TEST(Includes, ReadTheFileInPlaceRelativeOrThroughMap) {
    Design design;
    design.Settings().variables.Set(u"_WINCEROOT", u"C:\\WINCE500");
    design.Settings().maps.push_back(
        imagefiles::PathMap{u"c:\\wince500\\", std::filesystem::path()});
    design.Write("wince/Public/Common/card.reg", "\"Card\"=\"$(CARD)\"\n");
    design.Write("bsp/files/inc/a.reg", "\"V\"=\"inc\"\n#define CARD \\\\SD\n");
    design.Settings().maps.back().hostFolder = design.Folder() / "wince";
    design.Write("bsp/files/platform.reg",
                 kKeyLine + std::string("\"V\"=\"before\"\n#include \"inc\\A.REG\"\n"
                                        "#include \"$(_WINCEROOT)\\PUBLIC\\common\\card.reg\"\n"
                                        "\"After\"=\"$(CARD)\"\n"));
    ASSERT_EQ("", design.Registry("bsp/files/platform.reg"));
    EXPECT_EQ("inc", design.Text());
    EXPECT_EQ("\\SD", design.Text(u"Card"));
    EXPECT_EQ("\\SD", design.Text(u"After"));
    EXPECT_TRUE(design.Warnings().empty());
    // Where each value came from, through its include.
    EXPECT_EQ("bsp/files/inc/a.reg:1 (included from bsp/files/platform.reg:3)",
              design.Relative(*design.registry.OriginOf(kKey, u"V")));
    EXPECT_EQ("wince/Public/Common/card.reg:1 (included from bsp/files/platform.reg:4)",
              design.Relative(*design.registry.OriginOf(kKey, u"card")));
    EXPECT_EQ("bsp/files/platform.reg:5",
              design.Relative(*design.registry.OriginOf(kKey, u"After")));
}

struct IncludeWarningCase {
    const char* name;
    std::string include;
    std::string warning;
};

void PrintTo(const IncludeWarningCase& c, std::ostream* os) {
    *os << c.name;
}

class IncludeWarnings : public ::testing::TestWithParam<IncludeWarningCase> {};

TEST_P(IncludeWarnings, NameTheIncludeAndReadingGoesOn) {
    const IncludeWarningCase& c = GetParam();
    Design design;
    design.Write("p.reg", kKeyLine + c.include + "\n\"V\"=\"after\"\n");
    ASSERT_EQ("", design.Registry("p.reg"));
    EXPECT_EQ("after", design.Text());
    EXPECT_EQ(std::vector<std::string>{c.warning}, design.Warnings());
}

INSTANTIATE_TEST_SUITE_P(
    Includes, IncludeWarnings,
    ::testing::Values(
        IncludeWarningCase{
            "UndefinedVariable", "#include \"$(DRIVERS_DIR)\\pcibus\\pcibus.reg\"",
            "p.reg:2: #include \"$(DRIVERS_DIR)\\pcibus\\pcibus.reg\" is not read: "
            "$(DRIVERS_DIR) is not defined (give it with --define or --environment)"},
        IncludeWarningCase{"MissingFile", "#include \"missing.reg\"",
                           "p.reg:2: #include \"missing.reg\" is not read: missing.reg does not "
                           "exist"},
        IncludeWarningCase{"NoMap", "#include \"C:\\WINCE500\\x.reg\"",
                           "p.reg:2: #include \"C:\\WINCE500\\x.reg\" is not read: no --map gives "
                           "a host folder for C:\\WINCE500\\x.reg"}),
    CaseName<IncludeWarningCase>);

TEST(Includes, CycleIsRefusedNamingBothLines) {
    Design design;
    design.Write("a.reg", kKeyLine + std::string("#include \"b.reg\"\n"));
    design.Write("b.reg", "\n#include \"A.reg\"\n");
    design.registry.SetString(kKey, u"Kept", u"x");
    EXPECT_EQ(
        "b.reg:2 (included from a.reg:2): #include \"A.reg\" includes a file that is being "
        "read already: an include cycle",
        design.Registry("a.reg"));
    EXPECT_EQ("x", design.Text(u"Kept"));
}

TEST(Includes, ErrorInAnIncludedFileNamesTheLineThatIncludedIt) {
    Design design;
    design.Write("a.reg", kKeyLine + std::string("#include \"b.reg\"\n"));
    design.Write("b.reg", "#include \"c.reg\"\n");
    design.Write("c.reg", "\n\"V\"=sz:1\n");
    EXPECT_EQ(
        "c.reg:2 (included from b.reg:1, a.reg:2): unknown type: a value must be a quoted "
        "string, dword:, multi_sz:, mui_sz:, hex:, hex(TYPE): or -",
        design.Registry("a.reg"));
    EXPECT_TRUE(design.registry.Keys().empty());
}

// A file read to its end may be read again: only a file still being read makes a cycle.
TEST(Includes, TheSameFileTwiceInARowIsNoCycle) {
    Design design;
    design.Write("a.reg", kKeyLine + std::string("#include \"b.reg\"\n#include \"b.reg\"\n"
                                                 "\"V\"=\"$(N)\"\n"));
    design.Write("b.reg", "#define N $(N)1\n");
    design.Settings().variables.Set(u"N", u"n");
    ASSERT_EQ("", design.Registry("a.reg"));
    EXPECT_EQ("n11", design.Text());
    EXPECT_TRUE(design.Warnings().empty());
}

// A chain of includes: d0 includes d1, and so on; the last one sets V.
std::string IncludeChain(Design& design, int depth) {
    for (int i = 0; i < depth; ++i) {
        design.Write("d" + std::to_string(i) + ".reg",
                     "#include \"d" + std::to_string(i + 1) + ".reg\"\n");
    }
    design.Write("d" + std::to_string(depth) + ".reg", kKeyLine + std::string("\"V\"=\"deep\"\n"));
    return design.Registry("d0.reg");
}

TEST(Includes, NestThirtyTwoDeepAndNoDeeper) {
    Design atLimit;
    EXPECT_EQ("", IncludeChain(atLimit, imagefiles::kMaxIncludeDepth));
    EXPECT_EQ("deep", atLimit.Text());
    Design past;
    const std::string error = IncludeChain(past, imagefiles::kMaxIncludeDepth + 1);
    EXPECT_NE(std::string::npos, error.find("d32.reg:1 (included from d31.reg:1, ")) << error;
    EXPECT_NE(std::string::npos,
              error.find("#include \"d33.reg\" nests includes deeper than 32 files"))
        << error;
    EXPECT_TRUE(past.registry.Keys().empty());
}

// ---- @CESYSGEN ----

struct CesysgenCase {
    const char* name;
    bool decide;
    std::string body;
    std::string expected;
};

void PrintTo(const CesysgenCase& c, std::ostream* os) {
    *os << c.name;
}

class Cesysgen : public ::testing::TestWithParam<CesysgenCase> {};

TEST_P(Cesysgen, BlocksAreCommentsUnlessDecided) {
    const CesysgenCase& c = GetParam();
    Design design;
    design.Settings().cesysgen = c.decide;
    design.Settings().variables.Set(u"CE_MODULES", u"coredll filesys nk device");
    design.Settings().variables.Set(u"COREDLL_COMPONENTS", u"coremain shexec");
    design.Write("a.reg", kKeyLine + c.body);
    const std::string error = design.Registry("a.reg");
    EXPECT_EQ(c.expected, error.empty() ? design.Text() : error);
}

const char kShexec[] = "; @CESYSGEN IF COREDLL_SHEXEC\n\"V\"=\"in\"\n; @CESYSGEN ENDIF\n";
const char kGwes[] = "; @CESYSGEN IF CE_MODULES_GWES\n\"V\"=\"in\"\n; @CESYSGEN ENDIF\n";

INSTANTIATE_TEST_SUITE_P(
    Blocks, Cesysgen,
    ::testing::Values(
        CesysgenCase{"CommentByDefault", false, kGwes, "in"},
        CesysgenCase{"MalformedIsACommentByDefault", false, "; @CESYSGEN WHATEVER\n\"V\"=\"a\"\n",
                     "a"},
        CesysgenCase{"ModuleLacking", true, kGwes, "(none)"},
        CesysgenCase{"ModulePresent", true,
                     "; @CESYSGEN IF CE_MODULES_FILESYS\n\"V\"=\"in\"\n; @CESYSGEN ENDIF\n", "in"},
        CesysgenCase{"ComponentPresent", true, kShexec, "in"},
        CesysgenCase{"ComponentLacking", true,
                     "; @CESYSGEN IF COREDLL_ACCESSIB\n\"V\"=\"in\"\n; @CESYSGEN ENDIF\n",
                     "(none)"},
        CesysgenCase{"ComponentOfUnknownModule", true,
                     "; @CESYSGEN IF GWES_SHEXEC\n\"V\"=\"in\"\n; @CESYSGEN ENDIF\n", "(none)"},
        CesysgenCase{"Inverted", true,
                     "; @CESYSGEN IF !CE_MODULES_GWES\n\"V\"=\"in\"\n; @CESYSGEN ENDIF\n", "in"},
        CesysgenCase{"Or", true,
                     "; @CESYSGEN IF CE_MODULES_GWES OR COREDLL_SHEXEC\n\"V\"=\"in\"\n"
                     "; @CESYSGEN ENDIF\n",
                     "in"},
        CesysgenCase{"AndWords", true,
                     "; @CESYSGEN IF CE_MODULES_NK AND CE_MODULES_GWES\n\"V\"=\"in\"\n"
                     "; @CESYSGEN ENDIF\n",
                     "(none)"},
        CesysgenCase{"AndSymbols", true,
                     "; @CESYSGEN IF CE_MODULES_NK && ! CE_MODULES_GWES\n\"V\"=\"in\"\n"
                     "; @CESYSGEN ENDIF\n",
                     "in"},
        CesysgenCase{"ElseIf", true,
                     "; @CESYSGEN IF CE_MODULES_GWES\n\"V\"=\"a\"\n; @CESYSGEN ELSEIF "
                     "COREDLL_SHEXEC\n\"V\"=\"b\"\n; @CESYSGEN ELSE\n\"V\"=\"c\"\n"
                     "; @CESYSGEN ENDIF CE_MODULES_GWES\n",
                     "b"},
        CesysgenCase{"ElseSpacedIf", true,
                     "; @CESYSGEN IF CE_MODULES_GWES\n\"V\"=\"a\"\n; @CESYSGEN ELSE IF "
                     "CE_MODULES_GWES\n\"V\"=\"b\"\n; @CESYSGEN ELSE\n\"V\"=\"c\"\n"
                     "; @CESYSGEN ENDIF\n",
                     "c"},
        CesysgenCase{"EndifWithoutIf", true, "; @CESYSGEN ENDIF\n",
                     "a.reg:2: @CESYSGEN ENDIF without its @CESYSGEN IF"},
        CesysgenCase{"NeverClosed", true, "; @CESYSGEN IF CE_MODULES_NK\n",
                     "a.reg:2: this @CESYSGEN IF is never closed: the file ends before its "
                     "@CESYSGEN ENDIF"},
        CesysgenCase{"UnknownLine", true, "; @CESYSGEN WHATEVER\n",
                     "a.reg:2: a @CESYSGEN line is IF, ELSE, ELSE IF, ELSEIF or ENDIF"}),
    CaseName<CesysgenCase>);

// ---- LOC_ strings ----

struct StringsCase {
    const char* name;
    bool given;  // --strings given
    std::string body;
    std::string expected;  // V's text, or the error
    size_t warnings;
};

void PrintTo(const StringsCase& c, std::ostream* os) {
    *os << c.name;
}

class Strings : public ::testing::TestWithParam<StringsCase> {};

TEST_P(Strings, ReplaceTokensAsWholeWords) {
    const StringsCase& c = GetParam();
    Design design;
    if (c.given) {
        design.Settings().stringsGiven = true;
        imagefiles::ReadStrings(
            "// the English ones\r\n#define LOC_NAME \"Nav\" // shown\r\n"
            "#define LOC_LCID ~\"409\"\r\n#define LOC_FOLDER \"\\\\Storage Card\"\r\n",
            1252, imagefiles::Origin{"en.str", 0, {}}, design.Settings().strings);
    }
    design.Write("a.reg", kKeyLine + c.body);
    const std::string error = design.Registry("a.reg");
    EXPECT_EQ(c.expected, error.empty() ? design.Text() : error);
    EXPECT_EQ(c.warnings, design.Warnings().size());
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, Strings,
    ::testing::Values(
        StringsCase{"QuotedText", true, "\"V\"=LOC_NAME\n", "Nav", 0},
        StringsCase{"Escapes", true, "\"V\"=LOC_FOLDER\n", "\\Storage Card", 0},
        StringsCase{"InMultiSz", true, "\"V\"=multi_sz:LOC_NAME,LOC_FOLDER\n",
                    std::string("Nav\0\\Storage Card", 17), 0},
        StringsCase{"NotInsideQuotes", true, "\"V\"=\"LOC_NAME\"\n", "LOC_NAME", 0},
        StringsCase{"NotPartOfAWord", true, "\"V\"=\"x\"\n\"XLOC_NAME\"=\"y\"\n", "x", 0},
        // A key's name may hold LOC_ inside a word: no token, even with --strings given.
        StringsCase{"NotInsideAnUnquotedWord", true,
                    "[HKEY_LOCAL_MACHINE\\XLOC_OTHER]\n\"W\"=\"y\"\n" + std::string(kKeyLine) +
                        "\"V\"=\"x\"\n",
                    "x", 0},
        StringsCase{"UnknownWithStrings", true, "\"V\"=LOC_OTHER\n",
                    "a.reg:2: LOC_OTHER is defined in no --strings file (makeimg stops on a LOC_ "
                    "token that no .str file defines): give it in a .str file or as --define "
                    "LOC_OTHER=VALUE",
                    0},
        StringsCase{"UnknownWithoutStrings", false, "\"V\"=\"a\"\n\"V\"=LOC_NAME\n", "a", 1},
        StringsCase{
            "UnknownKeyWithoutStrings", false,
            "\"V\"=\"a\"\n[HKEY_LOCAL_MACHINE\\LOC_X]\n\"V\"=\"b\"\n" + std::string(kKeyLine), "a",
            1}),
    CaseName<StringsCase>);

TEST(Strings, DwordTakesTheBareText) {
    Design design;
    design.Settings().stringsGiven = true;
    imagefiles::ReadStrings("#define LOC_LCID ~\"409\"\n", 1252, imagefiles::Origin{"s.str", 0, {}},
                            design.Settings().strings);
    design.Write("a.reg", kKeyLine + std::string("\"CurLang\"=dword:LOC_LCID\n"));
    ASSERT_EQ("", design.Registry("a.reg"));
    const sim::RegistryValue* value = design.registry.FindValue(kKey, u"CurLang");
    ASSERT_NE(nullptr, value);
    EXPECT_EQ((std::vector<uint8_t>{0x09, 0x04, 0, 0}), value->bytes);
}

struct StrErrorCase {
    const char* name;
    std::string file;
    int line;
};

void PrintTo(const StrErrorCase& c, std::ostream* os) {
    *os << c.name;
}

class StrErrors : public ::testing::TestWithParam<StrErrorCase> {};

TEST_P(StrErrors, NameTheLine) {
    const StrErrorCase& c = GetParam();
    try {
        std::map<std::u16string, std::u16string> strings;
        imagefiles::ReadStrings(c.file, 1252, imagefiles::Origin{"s.str", 0, {}}, strings);
        FAIL() << "read";
    } catch (const imagefiles::Failure& failure) {
        EXPECT_EQ(c.line, failure.error.line) << failure.error.message;
    }
}

INSTANTIATE_TEST_SUITE_P(Str, StrErrors,
                         ::testing::Values(StrErrorCase{"NotADefine",
                                                        "#define LOC_A \"a\"\nLOC_B \"b\"\n", 2},
                                           StrErrorCase{"Unquoted", "#define LOC_A a\n", 1},
                                           StrErrorCase{"Unclosed", "\n#define LOC_A \"a\n", 2},
                                           StrErrorCase{"TextAfter", "#define LOC_A \"a\" b\n", 1},
                                           StrErrorCase{"NoValue", "#define LOC_A\n", 1}),
                         CaseName<StrErrorCase>);

// --define LOC_NAME=VALUE: a token set as a .str line sets it, after every --strings file.
struct DefineStringCase {
    const char* name;
    std::vector<std::string> args;  // after the registry file
    std::string body;               // the .reg file's lines after its key
    std::string expected;           // V's text, or the error without the file's folder
    size_t warnings;
};

void PrintTo(const DefineStringCase& c, std::ostream* os) {
    *os << c.name;
}

class DefineStrings : public ::testing::TestWithParam<DefineStringCase> {};

TEST_P(DefineStrings, SetATokenAsAStrLineDoes) {
    const DefineStringCase& c = GetParam();
    Design design(Design::Where::kHost);  // the command line reads the host's files
    const std::string reg = design.Write("p.reg", kKeyLine + c.body);
    const std::string str = design.Write("en.str", "#define LOC_FOLDER \"\\\\SDMMC\"\r\n");
    std::vector<std::string> args = {"kelbrun-sim", "--registry", reg};
    for (const std::string& arg : c.args) {
        args.push_back(arg == "STR" ? str : arg);
    }
    std::vector<char*> argv;
    argv.reserve(args.size());
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    sim::ResetDevice();
    simoptions::Setup setup;
    const auto error = simoptions::SetUpDevice(
        simoptions::ParseOptions(static_cast<int>(argv.size()), argv.data()), sim::CurrentDevice(),
        setup);
    if (error) {
        EXPECT_EQ(c.expected, design.Relative(*error));
        return;
    }
    EXPECT_EQ(c.expected.find(": "), std::string::npos) << "read, yet expected: " << c.expected;
    design.registry = sim::CurrentDevice().registry;
    EXPECT_EQ(c.expected, design.Text());
    EXPECT_EQ(c.warnings, setup.warnings.size());
    // A token is no variable of the build.
    EXPECT_EQ(nullptr, setup.variables.Find(u"LOC_FOLDER"));
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, DefineStrings,
    ::testing::Values(
        // The shell has taken the quotes away: the value is inserted as quoted text.
        DefineStringCase{"Bare",
                         {"--define", "LOC_FOLDER=Storage Card"},
                         "\"V\"=LOC_FOLDER\n",
                         "Storage Card",
                         0},
        DefineStringCase{
            "Quoted", {"--define", "LOC_FOLDER=\"\\\\Card\""}, "\"V\"=LOC_FOLDER\n", "\\Card", 0},
        DefineStringCase{"CaseOfTheName",
                         {"--define", "loc_folder=Storage Card"},
                         "\"V\"=LOC_FOLDER\n",
                         "Storage Card",
                         0},
        DefineStringCase{"BareTextForADword",
                         {"--define", "LOC_LCID=~\"409\""},
                         "\"V\"=\"x\"\n\"L\"=dword:LOC_LCID\n",
                         "x",
                         0},
        DefineStringCase{"WinsOverAStrFile",
                         {"--define", "LOC_FOLDER=Storage Card", "--strings", "STR"},
                         "\"V\"=LOC_FOLDER\n",
                         "Storage Card",
                         0},
        DefineStringCase{"StrFileAlone", {"--strings", "STR"}, "\"V\"=LOC_FOLDER\n", "\\SDMMC", 0},
        // Given so, the other tokens are left as they are, with a warning, not refused.
        DefineStringCase{"OthersStillWarnings",
                         {"--define", "LOC_FOLDER=Storage Card"},
                         "\"V\"=LOC_FOLDER\n\"W\"=LOC_OTHER\n",
                         "Storage Card",
                         1},
        DefineStringCase{"RefusalNamesBothWays",
                         {"--strings", "STR"},
                         "\"V\"=LOC_FOLDER\n\"W\"=LOC_OTHER\n",
                         "p.reg:3: LOC_OTHER is defined in no --strings file (makeimg stops on "
                         "a LOC_ token that no .str file defines): give it in a .str file or as "
                         "--define LOC_OTHER=VALUE",
                         0},
        DefineStringCase{"TheDefineAnswersTheRefusal",
                         {"--strings", "STR", "--define", "LOC_OTHER=o"},
                         "\"V\"=LOC_FOLDER\n\"W\"=LOC_OTHER\n",
                         "\\SDMMC",
                         0},
        DefineStringCase{"UnclosedQuote",
                         {"--define", "LOC_FOLDER=\"Card"},
                         "\"V\"=LOC_FOLDER\n",
                         "--define LOC_FOLDER=\"Card: a .str line is #define LOC_NAME \"text\" "
                         "(inserted with its quotes) or #define LOC_NAME ~\"text\" (inserted "
                         "without them)",
                         0},
        // LOC_ alone is no token's name: a variable of the build, as before.
        DefineStringCase{"PrefixAlone", {"--define", "LOC_=1"}, "\"V\"=\"v\"\n", "v", 0}),
    CaseName<DefineStringCase>);

// ---- --environment ----

TEST(Environment, ReadsSetOutputAndALaterLineWins) {
    imagefiles::Variables variables;
    imagefiles::ReadEnvironment(
        "COREDLL_COMPONENTS=coremain shexec\r\n_WINCEROOT=C:\\WINCE500\r\n\r\nPrompt=$P$G\r\n"
        "A=1=2\r\nprompt=x\r\n",
        1252, imagefiles::Origin{"env.txt", 0, {}}, variables);
    EXPECT_EQ(u"coremain shexec", *variables.Find(u"coredll_components"));
    EXPECT_EQ(u"C:\\WINCE500", *variables.Find(u"_WINCEROOT"));
    EXPECT_EQ(u"1=2", *variables.Find(u"A"));
    EXPECT_EQ(u"x", *variables.Find(u"PROMPT"));
}

TEST(Environment, RefusesALineWithoutEquals) {
    imagefiles::Variables variables;
    try {
        imagefiles::ReadEnvironment("A=1\nnot a variable\n", 1252,
                                    imagefiles::Origin{"env.txt", 0, {}}, variables);
        FAIL() << "read";
    } catch (const imagefiles::Failure& failure) {
        EXPECT_EQ("env.txt:2: expected NAME=VALUE, as a build window's set > FILE writes it",
                  failure.error.Describe());
    }
}

// ---- where each value came from ----

TEST(Origins, FollowTheLastLineThatSetAValue) {
    Design design;
    design.Write("common.reg",
                 kKeyLine + std::string("\"V\"=\"a\"\n\"W\"=\"w\"\n\"Gone\"=\"g\"\n"));
    design.Write("project.reg", kKeyLine + std::string("\n\"v\"=\"b\"\n\"Gone\"=-\n"));
    ASSERT_EQ("", design.Registry("common.reg"));
    const sim::Registry before = design.registry;
    ASSERT_EQ("", design.Registry("project.reg"));
    EXPECT_EQ("project.reg:3", design.Relative(*design.registry.OriginOf(kKey, u"V")));
    EXPECT_EQ("common.reg:3", design.Relative(*design.registry.OriginOf(kKey, u"W")));
    EXPECT_EQ(nullptr, design.registry.OriginOf(kKey, u"Gone"));
    // Origins are not part of what a registry holds.
    sim::Registry same = design.registry;
    same.SetOrigin(kKey, u"V", "elsewhere:1");
    EXPECT_EQ(design.registry, same);
    EXPECT_NE(before, design.registry);
    // A value set again without a line forgets it; a deleted key forgets its values'.
    same.SetString(kKey, u"V", u"c");
    EXPECT_EQ(nullptr, same.OriginOf(kKey, u"V"));
    same.DeleteKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE");
    EXPECT_EQ(nullptr, same.OriginOf(kKey, u"W"));
}

// A deleted key forgets the where-from of its own values and its subkeys', not of a sibling's
// whose name starts with its own, whichever side of it the sibling sorts on.
TEST(Origins, ADeletedKeyKeepsItsSiblingsOrigins) {
    const std::u16string path = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Path";
    const std::u16string below = path + u"\\Sub";
    const std::u16string before = path + u"-Old";  // '-' sorts before the separator
    sim::Registry registry;
    for (const std::u16string& key : {path, below, before, std::u16string(kKey)}) {
        registry.SetString(key, u"V", u"x");
        registry.SetOrigin(key, u"V", "r.reg:1");
    }
    registry.DeleteKey(path);
    EXPECT_EQ(nullptr, registry.OriginOf(path, u"V"));
    EXPECT_EQ(nullptr, registry.OriginOf(below, u"V"));
    ASSERT_NE(nullptr, registry.OriginOf(kKey, u"V"));
    ASSERT_NE(nullptr, registry.OriginOf(before, u"V"));
    EXPECT_EQ("r.reg:1", *registry.OriginOf(kKey, u"V"));
}

// --check names the line that set each value a finding is about, through the includes.
TEST(Origins, AreNamedByTheFindingsAboutTheirValues) {
    Design design;
    design.Write("platform.reg", "#include \"inc\\boot.reg\"\r\n" + std::string(kKeyLine) +
                                     "\"SDMMC\"=\"\"\r\n\"DataStorage\"=\"\\\\D\"\r\n");
    design.Write("inc/boot.reg",
                 "[HKEY_LOCAL_MACHINE\\init]\r\n\"Launch50\"=\"\\\\Apps\\\\gone.exe\"\r\n");
    ASSERT_EQ("", design.Registry("platform.reg"));
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    device.registry = design.registry;
    // Set by no file: its findings name no line.
    device.registry.SetString(kKey, u"User", u"");
    testing_support::ScratchRoot root;
    device.files.SetRoot(root.Path());
    const setupcheck::Report report = setupcheck::CheckSetup(device, true);
    std::vector<std::string> texts;
    for (const setupcheck::Finding& finding : report.findings) {
        texts.push_back(design.Relative(finding.Text()));
    }
    const auto starting = [&](const std::string& start) {
        return std::count_if(texts.begin(), texts.end(),
                             [&](const std::string& text) { return text.starts_with(start); });
    };
    EXPECT_EQ(1, starting("inc/boot.reg:2 (included from platform.reg:1): "
                          "HKEY_LOCAL_MACHINE\\init, Launch50: \"\\Apps\\gone.exe\""))
        << testing::PrintToString(texts);
    EXPECT_EQ(1, starting("platform.reg:3: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: "))
        << testing::PrintToString(texts);
    EXPECT_EQ(1, starting("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, User: "))
        << testing::PrintToString(texts);
    EXPECT_EQ(1, starting("HKEY_LOCAL_MACHINE\\init: no LaunchNN names the launcher"))
        << testing::PrintToString(texts);
    // The origin is a field of the finding, beside what it is about.
    const auto launch50 =
        std::find_if(report.findings.begin(), report.findings.end(),
                     [](const setupcheck::Finding& f) { return f.valueName == "Launch50"; });
    ASSERT_NE(report.findings.end(), launch50);
    EXPECT_EQ(setupcheck::Finding::About::kValue, launch50->about);
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\init", launch50->subject);
    EXPECT_EQ("inc/boot.reg:2 (included from platform.reg:1)", design.Relative(launch50->origin));
}

// ---- .bib files ----

TEST(BibFiles, ListTheImagesFilesALaterNameWinning) {
    Design design;
    design.Settings().maps.push_back(imagefiles::PathMap{u"C:\\REL", design.Folder() / "release"});
    design.Write("release/Kelbrun.exe", "MZ");
    design.Write(
        "platform.bib",
        "MODULES\n;  Name  Path  Memory  Type\n  nk.exe  $(_FLATRELEASEDIR)\\nk.exe  NK  "
        "SH\n#define REL C:\\rel\nIF IMGNOSHELL !\n  kelbrun.exe  $(REL)\\KELBRUN.EXE  NK  "
        "S\nENDIF\nMEMORY\n  NK 80220000 009E0000 RAMIMAGE\nFILES\n  a.txt  a.txt  NK\n");
    design.Write("project.bib", "FILES\n  NK.EXE  nk2.exe  NK  U\n");
    ASSERT_EQ("", design.Bib("platform.bib"));
    ASSERT_EQ("", design.Bib("project.bib"));
    const auto& files = design.image.files;
    ASSERT_EQ(3u, files.size());
    EXPECT_EQ(u"NK.EXE", files[0].name);
    EXPECT_FALSE(files[0].module);
    EXPECT_EQ("project.bib:2", design.Relative(files[0].where.Describe()));
    EXPECT_EQ(u"kelbrun.exe", files[1].name);
    EXPECT_TRUE(files[1].module);
    ASSERT_TRUE(files[1].content.has_value());
    EXPECT_EQ(design.Folder() / "release" / "Kelbrun.exe", *files[1].content);
    EXPECT_EQ(u"a.txt", files[2].name);
    EXPECT_FALSE(files[2].content.has_value());  // no such host file
}

struct BibErrorCase {
    const char* name;
    std::string file;
    std::string error;
};

void PrintTo(const BibErrorCase& c, std::ostream* os) {
    *os << c.name;
}

class BibErrors : public ::testing::TestWithParam<BibErrorCase> {};

TEST_P(BibErrors, NameTheLineAndChangeNothing) {
    Design design;
    design.image.files.push_back(imagefiles::ImageFile{u"kept.exe", std::nullopt, true, {}});
    const BibErrorCase& c = GetParam();
    design.Write("p.bib", c.file);
    EXPECT_EQ(c.error, design.Bib("p.bib"));
    ASSERT_EQ(1u, design.image.files.size());
    EXPECT_EQ(u"kept.exe", design.image.files[0].name);
}

INSTANTIATE_TEST_SUITE_P(
    Bib, BibErrors,
    ::testing::Values(
        BibErrorCase{"BeforeSection", "a.exe a.exe NK\n",
                     "p.bib:1: expected a section line (MODULES, FILES, MEMORY or CONFIG) first"},
        BibErrorCase{"TooFewFields", "MODULES\n  a.exe a.exe NK\n  b.exe b.exe\n",
                     "p.bib:3: a MODULES or FILES line is NAME HOST-PATH MEMORY [FLAGS]"},
        BibErrorCase{"NameWithFolder", "FILES\n  x\\a.exe a.exe NK\n",
                     "p.bib:2: a .bib name is a file of \\Windows, without a folder"},
        BibErrorCase{"UndefinedName", "FILES\n  $(N).exe a.exe NK\n",
                     "p.bib:2: $(N).exe: a file's name takes a $(NAME) that is defined nowhere "
                     "(give it with --define or --environment)"},
        BibErrorCase{"IfNeverClosed", "FILES\nIF A\n",
                     "p.bib:2: this IF is never closed: the file ends before its ENDIF"}),
    CaseName<BibErrorCase>);

// ---- .dat files ----

TEST(DatFiles, MakeFoldersAndCopies) {
    Design design;
    design.Write("a.dat",
                 "root:-Directory(\"Program Files\")\n"
                 "Directory(\"\\Program Files\"):-Directory(\"Navigator\")\n"
                 "Directory( \"\\Program Files\\Navigator\" ) :- File( \"nav.exe\" , "
                 "\"\\Windows\\nav.exe\" ) ; the program\n"
                 "root:-File(\"\\x.lnk\", \"\\Windows\\x.lnk\")\n");
    ASSERT_EQ("", design.Dat("a.dat"));
    ASSERT_EQ(2u, design.image.folders.size());
    EXPECT_EQ(u"\\Program Files", design.image.folders[0].path);
    EXPECT_EQ(u"\\Program Files\\Navigator", design.image.folders[1].path);
    ASSERT_EQ(2u, design.image.copies.size());
    EXPECT_EQ(u"\\Program Files\\Navigator\\nav.exe", design.image.copies[0].path);
    EXPECT_EQ(u"\\Windows\\nav.exe", design.image.copies[0].source);
    EXPECT_EQ("a.dat:3", design.Relative(design.image.copies[0].where.Describe()));
    EXPECT_EQ(u"\\x.lnk", design.image.copies[1].path);
}

class DatErrors : public ::testing::TestWithParam<BibErrorCase> {};

TEST_P(DatErrors, NameTheLineAndChangeNothing) {
    Design design;
    design.Write("p.dat", "root:-Directory(\"Kept\")\n");
    ASSERT_EQ("", design.Dat("p.dat"));
    const BibErrorCase& c = GetParam();
    design.Write("q.dat", c.file);
    EXPECT_EQ(c.error, design.Dat("q.dat"));
    EXPECT_EQ(1u, design.image.folders.size());
    EXPECT_TRUE(design.image.copies.empty());
}

const std::string kDatForm =
    ": a .dat line is root:-Directory(\"NAME\"), root:-File(\"NAME\",\"\\Windows\\FILE\"), "
    "Directory(\"\\PATH\"):-Directory(\"NAME\") or Directory(\"\\PATH\"):-File(\"NAME\","
    "\"\\Windows\\FILE\")";

INSTANTIATE_TEST_SUITE_P(
    Dat, DatErrors,
    ::testing::Values(
        BibErrorCase{"NoArrow", "root:-File(\"a\",\"b\")\nroot Directory(\"a\")\n",
                     "q.dat:2" + kDatForm},
        BibErrorCase{"UnknownTarget", "root:-Permdir(\"a\")\n", "q.dat:1" + kDatForm},
        BibErrorCase{"Unclosed", "root:-Directory(\"a)\n", "q.dat:1" + kDatForm},
        BibErrorCase{"FileWithoutSource", "root:-File(\"a\")\n", "q.dat:1" + kDatForm},
        BibErrorCase{"TextAfter", "root:-Directory(\"a\") x\n", "q.dat:1" + kDatForm},
        BibErrorCase{"Undefined", "root:-Directory(\"$(X)\")\n",
                     "q.dat:1: $(X) is defined nowhere: give it with --define or --environment"}),
    CaseName<BibErrorCase>);

// ---- the setup the command line gives ----

TEST(Setup, GivesTheImageTheVariablesAndTheWarnings) {
    Design design(Design::Where::kHost);
    const std::string env = design.Write("env.txt", "CARD=CF\r\nCE_MODULES=coredll nk\r\n");
    const std::string reg = design.Write(
        "p.reg",
        kKeyLine + std::string("#include \"none.reg\"\nIF CARD=SD\n\"V\"=\"sd\"\nENDIF\n"));
    const std::string bib = design.Write("p.bib", "MODULES\n  Kelbrun.exe  Kelbrun.exe  NK\n");
    const std::string dat = design.Write("p.dat", "root:-Directory(\"Apps\")\n");
    const char* argv[] = {"kelbrun-sim", "--environment", env.c_str(), "--define",
                          "card=SD",     "--registry",    reg.c_str(), "--bib",
                          bib.c_str(),   "--dat",         dat.c_str()};
    const simoptions::Options options =
        simoptions::ParseOptions(static_cast<int>(std::size(argv)), const_cast<char**>(argv));
    sim::ResetDevice();
    simoptions::Setup setup;
    const auto error = simoptions::SetUpDevice(options, sim::CurrentDevice(), setup);
    ASSERT_FALSE(error.has_value()) << *error;
    EXPECT_TRUE(setup.describesImage);
    EXPECT_EQ(u"SD", *setup.variables.Find(u"CARD"));  // --define wins over --environment
    EXPECT_EQ(u"coredll nk", *setup.variables.Find(u"ce_modules"));
    ASSERT_EQ(1u, setup.image.files.size());
    EXPECT_EQ(u"Kelbrun.exe", setup.image.files[0].name);
    ASSERT_EQ(1u, setup.image.folders.size());
    EXPECT_EQ(u"\\Apps", setup.image.folders[0].path);
    ASSERT_EQ(1u, setup.warnings.size());
    EXPECT_EQ("p.reg:2: #include \"none.reg\" is not read: none.reg does not exist",
              design.Relative(setup.warnings[0].Describe()));
    const sim::RegistryValue* value = sim::CurrentDevice().registry.FindValue(kKey, u"V");
    ASSERT_NE(nullptr, value);
    EXPECT_EQ(sim::Registry::StringValue(u"sd"), *value);
    // Set up again without the image's files: nothing of the last setup is left.
    const char* plain[] = {"kelbrun-sim", "--registry", reg.c_str()};
    sim::ResetDevice();
    ASSERT_FALSE(simoptions::SetUpDevice(simoptions::ParseOptions(3, const_cast<char**>(plain)),
                                         sim::CurrentDevice(), setup)
                     .has_value());
    EXPECT_FALSE(setup.describesImage);
    EXPECT_TRUE(setup.image.files.empty());
    EXPECT_EQ(nullptr, setup.variables.Find(u"CARD"));
}

}  // namespace
