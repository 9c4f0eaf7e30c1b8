// Reading .reg files, registry editor exports and the image builder's files: what each form of
// value stores, how IF blocks and several files combine, and errors that name their line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/registry.h"
#include "platform/sim/text.h"
#include "tools/kelbrun-sim/image_files/design_reader.h"

namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00\r\n";
const char16_t kKey[] = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths";

struct ValueCase {
    const char* name;
    std::string body;  // lines after [HKEY_LOCAL_MACHINE\SOFTWARE\Tavrin\Paths]
    uint32_t type;
    std::vector<uint8_t> bytes;  // of the value "V"
};

void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.name;
}

// A table row's name, as the test's name.
const auto kCaseName = [](const auto& info) { return std::string(info.param.name); };

const char kPathsLine[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n";

// The row's value "V", read from the file that header, the key line and the row's body make.
void ExpectValue(const std::string& header, const ValueCase& c) {
    sim::Registry registry;
    const auto error = regfile::Apply(header + kPathsLine + c.body, registry);
    ASSERT_FALSE(error.has_value()) << error->line << ": " << error->message;
    const sim::RegistryValue* value = registry.FindValue(kKey, u"V");
    ASSERT_NE(nullptr, value);
    EXPECT_EQ(c.type, value->type);
    EXPECT_EQ(c.bytes, value->bytes);
}

class RegValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(RegValues, StoreTheirBytesAsWritten) {
    ExpectValue(std::string(kHeader) + "\r\n", GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegValues,
    ::testing::Values(
        ValueCase{"String", "\"V\"=\"\\\\SD\"\r\n", 1, {'\\', 0, 'S', 0, 'D', 0, 0, 0}},
        ValueCase{"EscapedQuote", "\"V\"=\"a\\\"b\"\n", 1, {'a', 0, '"', 0, 'b', 0, 0, 0}},
        ValueCase{"EmptyString", "\"V\"=\"\"\n", 1, {0, 0}},
        ValueCase{"NonAscii", "\"V\"=\"\xC3\xA9\"\n", 1, {0xE9, 0, 0, 0}},
        ValueCase{"Dword", "\"V\"=dword:0000abcd\n", 4, {0xCD, 0xAB, 0, 0}},
        ValueCase{"Hex", "\"V\"=hex:41,00,42\n", 3, {0x41, 0, 0x42}},
        ValueCase{"HexEmpty", "\"V\"=hex:\n", 3, {}},
        ValueCase{"HexTyped", "\"V\"=hex(7):41,00\n", 7, {0x41, 0}},
        ValueCase{"HexContinued",
                  "\"V\"=hex(2):41,00,\\\r\n  42,00,\\\n  00,00\r\n",
                  2,
                  {0x41, 0, 0x42, 0, 0, 0}},
        ValueCase{"NameAnyCaseLaterWins", "\"v\"=\"a\"\n\"V\"=hex:01\n", 3, {1}},
        ValueCase{"CommentsAndBlanks", "; note\n\n  \"V\"=hex:02\n;\"V\"=hex:03\n", 3, {2}}),
    kCaseName);

TEST(RegFile, ReadsUtf16WithByteOrderMarkAndRegedit4) {
    const std::u16string text =
        u"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n\"SDMMC\"=\"\\\\SD\"\r\n";
    const std::vector<uint8_t> utf16 = sim::Utf16LeBytes(text);
    const std::string bytes = "\xFF\xFE" + std::string(utf16.begin(), utf16.end());
    sim::Registry registry;
    ASSERT_FALSE(regfile::Apply(bytes, registry).has_value());
    ASSERT_NE(nullptr, registry.FindValue(kKey, u"SDMMC"));
    EXPECT_EQ(8u, registry.FindValue(kKey, u"SDMMC")->bytes.size());
}

TEST(RegFile, ReadsUtf8WithByteOrderMark) {
    const std::string bytes = "\xEF\xBB\xBF" + std::string(kHeader) +
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n"
                              "\"SDMMC\"=\"\\\\SD\xC3\xA9\"\r\n";
    sim::Registry registry;
    const auto error = regfile::Apply(bytes, registry);
    ASSERT_FALSE(error.has_value()) << error->line << ": " << error->message;
    const sim::RegistryValue* value = registry.FindValue(kKey, u"SDMMC");
    ASSERT_NE(nullptr, value);
    EXPECT_EQ((std::vector<uint8_t>{'\\', 0, 'S', 0, 'D', 0, 0xE9, 0, 0, 0}), value->bytes);
}

// An export has no comment after a line's content: a ";" there is the line's own.
TEST(RegFile, KeyNameHoldingASemicolonInAnExport) {
    sim::Registry registry;
    const auto error = regfile::Apply(
        std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A;B]\n\"V\"=\"x;y\"\n", registry);
    ASSERT_FALSE(error.has_value()) << error->line << ": " << error->message;
    EXPECT_NE(nullptr, registry.FindValue(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\A;B", u"V"));
    // In an image-builder file the same ";" starts a comment, which leaves the key line cut.
    sim::Registry image;
    const auto cut = regfile::Apply("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A;B]\n", image);
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(1, cut->line);
}

TEST(RegFile, DeletesValuesAndKeys) {
    sim::Registry registry;
    const std::string file = std::string(kHeader) +
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\n"
                             "\"A\"=\"1\"\n\"B\"=\"2\"\n\"A\"=-\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\Deep]\n"
                             "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n";
    ASSERT_FALSE(regfile::Apply(file, registry).has_value());
    EXPECT_EQ(nullptr, registry.FindValue(kKey, u"A"));
    EXPECT_NE(nullptr, registry.FindValue(kKey, u"B"));
    EXPECT_TRUE(registry.HasKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE"));
    EXPECT_FALSE(registry.HasKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\Deep"));
}

struct ErrorCase {
    const char* name;
    std::string file;
    int line;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.name;
}

class RegErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(RegErrors, NameTheLineAndChangeNothing) {
    const ErrorCase& c = GetParam();
#ifdef KELBRUN_NO_CODEPAGES
    if (std::string(c.name) == "ByteCodePageLacks") {
        GTEST_SKIP() << "this build's iconv has no gconv modules: no Windows code page";
    }
#endif
    sim::Registry registry;
    registry.SetString(kKey, u"Kept", u"x");
    // For the IF lines of image-builder files.
    regfile::Variables variables;
    variables.Set(u"SET", u"1");
    const auto error = regfile::Apply(c.file, registry, variables);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(c.line, error->line) << error->message;
    EXPECT_FALSE(error->message.empty());
    EXPECT_NE(nullptr, registry.FindValue(kKey, u"Kept"));
    EXPECT_FALSE(registry.HasKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\New"));
}

const std::string kNewKey = std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\n";

INSTANTIATE_TEST_SUITE_P(
    Errors, RegErrors,
    ::testing::Values(
        // Without a header it is an image-builder file, which cannot start with such a line.
        ErrorCase{"UnknownHeader", "Windows Registry Editor Version 4.00\r\n", 1},
        ErrorCase{"ValueBeforeKey", std::string(kHeader) + "\"A\"=\"1\"\n", 2},
        ErrorCase{"UnknownRoot", std::string(kHeader) + "[HKEY_NOWHERE\\X]\n", 2},
        ErrorCase{"KeyNotClosed", kNewKey + "[HKEY_LOCAL_MACHINE\\X\n", 3},
        ErrorCase{"UnclosedString", kNewKey + "\"A\"=\"1\n", 3},
        ErrorCase{"UnknownEscape", kNewKey + "\"A\"=\"\\SDMMC\"\n", 3},
        ErrorCase{"TextAfterString", kNewKey + "\"A\"=\"1\" x\n", 3},
        ErrorCase{"DwordTooLong", kNewKey + "\"A\"=dword:123456789\n", 3},
        ErrorCase{"DwordNotHex", kNewKey + "\"A\"=dword:xyz\n", 3},
        ErrorCase{"BadHexByte", kNewKey + "\"A\"=hex:41,4g\n", 3},
        ErrorCase{"HexByteTooLong", kNewKey + "\"A\"=hex:414\n", 3},
        ErrorCase{"HexContinuesPastEnd", kNewKey + "\"A\"=hex:41,\\", 3},
        // The last line ends its value with a continuation, then the file ends.
        ErrorCase{"HexContinuesPastLastNewline", kNewKey + "\"A\"=hex:41,\\\r\n  42,\\\r\n", 3},
        ErrorCase{"HexContinuesOntoBlankLine", kNewKey + "\"A\"=hex:41,\\\n\n\"B\"=\"1\"\n", 3},
        ErrorCase{"BadTypedHex", kNewKey + "\"A\"=hex(z):41\n", 3},
        ErrorCase{"UnknownData", kNewKey + "\"A\"=sz:1\n", 3},
        ErrorCase{"MissingEquals", kNewKey + "\"A\" \"1\"\n", 3},
        ErrorCase{"StrayLine", kNewKey + "\n\nhello\n", 5},
        ErrorCase{"ValueAfterDeletedKey",
                  kNewKey + "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\n\"A\"=\"1\"\n", 4},
        // Not UTF-8, so Windows-1252, which has no character for 0x81.
        ErrorCase{"ByteCodePageLacks", kNewKey + "\"A\"=\"\x81\"\n", 3},
        ErrorCase{"OddUtf16", std::string("\xFF\xFE\x41\x00\n\x00\x41", 7), 2},
        ErrorCase{"Utf16BigEndian", "\xFE\xFF", 1},
        // The image builder's own syntax is not an editor export's.
        ErrorCase{"IfInEditorExport", kNewKey + "IF X\n\"A\"=\"1\"\nENDIF\n", 3},
        ErrorCase{"MultiSzInEditorExport", kNewKey + "\"A\"=multi_sz:\"1\"\n", 3},
        ErrorCase{"CommentAfterValueInEditorExport", kNewKey + "\"A\"=dword:1 ; one\n", 3},
        // An editor export stays strict about the lines an image-builder file may skip.
        ErrorCase{"DashesInEditorExport", kNewKey + "-----------\n", 3},
        ErrorCase{"KeyWithoutBracketInEditorExport", kNewKey + "HKEY_LOCAL_MACHINE\\X]\n", 3},
        ErrorCase{"CommentedHexGoesOnInEditorExport", kNewKey + ";\"A\"=hex:01,\\\n  02\n", 4},
        // A REGEDIT4 file with no line only the image builder writes is an export too.
        ErrorCase{"DashesInRegedit4Export",
                  "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\n-----\n", 3}),
    kCaseName);

// Image-builder files: no header, and the forms of data an editor export does not have.
class ImageValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ImageValues, StoreTheirBytesAsWritten) {
    ExpectValue("", GetParam());
}

const std::vector<uint8_t> kAandB = {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Values, ImageValues,
    ::testing::Values(
        ValueCase{"MultiSz", "\"V\"=multi_sz:\"a\",\"b\"\r\n", 7, kAandB},
        // The same bytes written the second way.
        ValueCase{"MultiSzAsHex7", "\"V\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n", 7, kAandB},
        ValueCase{"MultiSzSpaced", "  \"V\" = MULTI_SZ: \"a\" , \"b\"  \r\n", 7, kAandB},
        ValueCase{"MultiSzContinued", "\"V\"=multi_sz:\"a\",\\\r\n    \"b\"\r\n", 7, kAandB},
        ValueCase{"MultiSzOne", "\"V\"=multi_sz:\"a\"\n", 7, {'a', 0, 0, 0, 0, 0}},
        ValueCase{"MultiSzEmpty", "\"V\"=multi_sz:\n", 7, {0, 0}},
        ValueCase{"MultiSzEmptyText", "\"V\"=multi_sz:\"\",\"b\"\n", 7, {0, 0, 'b', 0, 0, 0, 0, 0}},
        ValueCase{"MultiSzEscapes",
                  "\"V\"=multi_sz:\"\\\\\",\"\\\"\"\n",
                  7,
                  {'\\', 0, 0, 0, '"', 0, 0, 0, 0, 0}},
        ValueCase{"StringSpacedEquals", "\"V\" = \"x\"\n", 1, {'x', 0, 0, 0}},
        ValueCase{"EscapesInName", "\"V\\\\\\\"\"=\"no\"\n\"V\"=\"x\"\n", 1, {'x', 0, 0, 0}},
        ValueCase{"DwordIsHex", "\"V\"=dword:10\n", 4, {0x10, 0, 0, 0}},
        ValueCase{"DwordEightDigits", "\"V\" = dword:FFFFFFFF\n", 4, {0xFF, 0xFF, 0xFF, 0xFF}},
        ValueCase{"Hex", "\"V\"=hex:01,\\\n 02\n", 3, {1, 2}},
        ValueCase{"HexTypeEightDigits", "\"V\"=hex(ffffffff):01\n", 0xFFFFFFFF, {1}},
        ValueCase{"CommentAfterValue", "\"V\"=dword:1 ; one\n", 4, {1, 0, 0, 0}},
        ValueCase{"CommentAfterContinuedLine", "\"V\"=hex:01,\\ ; more\n 02 ; done\n", 3, {1, 2}},
        ValueCase{"SemicolonInText",
                  "\"V\"=\"a;b\\\";c\" ; d\n",
                  1,
                  {'a', 0, ';', 0, 'b', 0, '"', 0, ';', 0, 'c', 0, 0, 0}},
        ValueCase{"LaterWins", "\"V\"=\"x\"\n\"v\"=dword:2\n", 4, {2, 0, 0, 0}}),
    kCaseName);

TEST(ImageFile, ReadsTheDefaultValueAnEmptyFileAndAKeyAlone) {
    sim::Registry registry;
    ASSERT_FALSE(regfile::Apply("", registry).has_value());
    EXPECT_TRUE(registry.Keys().empty());
    const auto error = regfile::Apply(
        "[HKEY_LOCAL_MACHINE\\Empty]\n[HKEY_LOCAL_MACHINE\\D]\n@ = \"d\"\n", registry);
    ASSERT_FALSE(error.has_value()) << error->line << ": " << error->message;
    EXPECT_TRUE(registry.HasKey(u"HKEY_LOCAL_MACHINE\\Empty"));
    ASSERT_NE(nullptr, registry.FindValue(u"HKEY_LOCAL_MACHINE\\D", u""));
    EXPECT_EQ(sim::Registry::StringValue(u"d"), *registry.FindValue(u"HKEY_LOCAL_MACHINE\\D", u""));
}

// Which kind a file is, told from the file: a build macro is only refused in an image-builder
// file, so whether "$(X)" passes shows how the file was read.
struct KindCase {
    const char* name;
    std::string file;
    bool imageBuilder;
};

void PrintTo(const KindCase& c, std::ostream* os) {
    *os << c.name;
}

class FileKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(FileKinds, AreToldFromTheFile) {
    const KindCase& c = GetParam();
    sim::Registry registry;
    const auto error = regfile::Apply(c.file + "\"M\"=\"$(X)\"\r\n", registry);
    EXPECT_EQ(c.imageBuilder, error.has_value());
    if (error) {
        EXPECT_NE(std::string::npos, error->message.find("$(X) is defined nowhere"))
            << error->message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FileKinds,
    ::testing::Values(
        KindCase{"EditorExport", std::string(kHeader) + kPathsLine, false},
        KindCase{"Regedit4", std::string("REGEDIT4\r\n") + kPathsLine, false},
        KindCase{"Regedit4WithBlanks", std::string("  REGEDIT4 \r\n") + kPathsLine, false},
        KindCase{"NoHeader", kPathsLine, true},
        KindCase{"Regedit4WithIf",
                 std::string("REGEDIT4\r\n") + kPathsLine + "IF X !\r\nENDIF ; x\r\n", true},
        KindCase{"Regedit4WithLowerCaseEndif",
                 std::string("REGEDIT4\r\n") + kPathsLine + "if x\r\nendif\r\n", true},
        KindCase{"Regedit4WithMultiSz",
                 std::string("REGEDIT4\r\n") + kPathsLine + "\"A\" = multi_sz:\"a\"\r\n", true},
        KindCase{"Regedit4WithDefaultMultiSz",
                 std::string("REGEDIT4\r\n") + kPathsLine + "@=multi_sz:\"a\"\r\n", true},
        KindCase{"Regedit4WithCommentAfterValue",
                 std::string("REGEDIT4\r\n") + kPathsLine + "\"A\"=\"a\" ; note\r\n", true},
        KindCase{"Regedit4WithLocToken",
                 std::string("REGEDIT4\r\n") + kPathsLine + "\"A\"=LOC_NAME\r\n", true},
        KindCase{"Regedit4WithSemicolonInText",
                 std::string("REGEDIT4\r\n") + kPathsLine + "\"A\"=\"a;b\"\r\n", false},
        // Only a value's data counts, not a text that reads like it, nor a commented line.
        KindCase{"Regedit4WithMultiSzInText",
                 std::string("REGEDIT4\r\n") + kPathsLine +
                     "\"A\"=\"=multi_sz:\"\r\n\"multi_sz:\"=\"\"\r\n; IF X\r\n",
                 false},
        KindCase{"Regedit4WithIfInAName",
                 std::string("REGEDIT4\r\n") + kPathsLine + "\"IF X\"=\"1\"\r\n", false}),
    kCaseName);

TEST(ImageFile, ReadsRegedit4LineThenImageBuilderSyntax) {
    sim::Registry registry;
    regfile::Variables variables;
    variables.Set(u"CARD", u"1");
    const std::string file = std::string("REGEDIT4\r\n") + kPathsLine +
                             "IF CARD\r\n\"SDMMC\"=multi_sz:\"a\"\r\nENDIF\r\n";
    const auto error = regfile::Apply(file, registry, variables);
    ASSERT_FALSE(error.has_value()) << error->line << ": " << error->message;
    ASSERT_NE(nullptr, registry.FindValue(kKey, u"SDMMC"));
    EXPECT_EQ(7u, registry.FindValue(kKey, u"SDMMC")->type);
}

// IF blocks: which of the file's values of "V" lands, for the build's variables.
struct ConditionCase {
    const char* name;
    std::vector<std::pair<std::u16string, std::u16string>> variables;
    std::string body;          // lines after the key line
    const char16_t* expected;  // V's text, or nullptr when V is not set
};

void PrintTo(const ConditionCase& c, std::ostream* os) {
    *os << c.name;
}

class Conditions : public ::testing::TestWithParam<ConditionCase> {};

TEST_P(Conditions, DecideWhatIsRead) {
    const ConditionCase& c = GetParam();
    regfile::Variables variables;
    for (const auto& [name, value] : c.variables) {
        variables.Set(name, value);
    }
    sim::Registry registry;
    const auto error = regfile::Apply(kPathsLine + c.body, registry, variables);
    ASSERT_FALSE(error.has_value()) << error->line << ": " << error->message;
    const sim::RegistryValue* value = registry.FindValue(kKey, u"V");
    if (c.expected == nullptr) {
        EXPECT_EQ(nullptr, value);
    } else {
        ASSERT_NE(nullptr, value);
        EXPECT_EQ(sim::Registry::StringValue(c.expected), *value);
    }
}

const char kIfCardSd[] = "IF CARD=SD\n\"V\"=\"in\"\nENDIF\n";
const char kIfCardSdNot[] = "IF CARD=SD !\n\"V\"=\"in\"\nENDIF\n";
const char kThreeDeep[] = "IF A\nIF B\nIF C\n\"V\"=\"in\"\nENDIF\nENDIF\nENDIF\n";
const char kNested[] = "IF A\n\"V\"=\"a\"\n  IF B\n\"V\"=\"ab\"\n  ENDIF\nENDIF\n";

INSTANTIATE_TEST_SUITE_P(
    Blocks, Conditions,
    ::testing::Values(
        ConditionCase{"SetIsRead", {{u"CARD", u"1"}}, "IF CARD\n\"V\"=\"in\"\nENDIF\n", u"in"},
        ConditionCase{"UnsetIsSkipped", {}, "IF CARD\n\"V\"=\"in\"\nENDIF\n", nullptr},
        ConditionCase{
            "OtherSetIsSkipped", {{u"CARDS", u"1"}}, "IF CARD\n\"V\"=\"in\"\nENDIF\n", nullptr},
        ConditionCase{"NameAnyCase", {{u"card", u"1"}}, "if Card\n\"V\"=\"in\"\nEndIf\n", u"in"},
        ConditionCase{
            "InvertedSet", {{u"CARD", u"1"}}, "IF CARD !\n\"V\"=\"in\"\nENDIF\n", nullptr},
        ConditionCase{"InvertedUnset", {}, "\tIF\tCARD\t!\t\n\"V\"=\"in\"\nENDIF\n", u"in"},
        ConditionCase{"EqualValue", {{u"CARD", u"SD"}}, kIfCardSd, u"in"},
        ConditionCase{"EqualValueNameAnyCase", {{u"cArD", u"SD"}}, kIfCardSd, u"in"},
        ConditionCase{"ValueOfOtherCase", {{u"CARD", u"sd"}}, kIfCardSd, nullptr},
        ConditionCase{"LongerValue", {{u"CARD", u"SD2"}}, kIfCardSd, nullptr},
        ConditionCase{"ValueUnset", {}, kIfCardSd, nullptr},
        ConditionCase{"InvertedEqualValue", {{u"CARD", u"SD"}}, kIfCardSdNot, nullptr},
        ConditionCase{"InvertedOtherValue", {{u"CARD", u"CF"}}, kIfCardSdNot, u"in"},
        ConditionCase{"InvertedValueUnset", {}, kIfCardSdNot, u"in"},
        ConditionCase{
            "ValueWithEquals", {{u"X", u"a=b"}}, "IF X=a=b\n\"V\"=\"in\"\nENDIF\n", u"in"},
        ConditionCase{"LaterSettingWins", {{u"CARD", u"CF"}, {u"card", u"SD"}}, kIfCardSd, u"in"},
        ConditionCase{"NestedBoth", {{u"A", u"1"}, {u"B", u"1"}}, kNested, u"ab"},
        ConditionCase{"NestedOuterOnly", {{u"A", u"1"}}, kNested, u"a"},
        ConditionCase{"NestedInnerOnly", {{u"B", u"1"}}, kNested, nullptr},
        // Each block is decided by its own parent, not by the outermost one.
        ConditionCase{"ThreeDeepParentUnset", {{u"A", u"1"}, {u"C", u"1"}}, kThreeDeep, nullptr},
        ConditionCase{
            "ThreeDeepAllSet", {{u"A", u"1"}, {u"B", u"1"}, {u"C", u"1"}}, kThreeDeep, u"in"},
        // After an inner block closes, the outer one goes on deciding.
        ConditionCase{"OuterGoesOnAfterInner",
                      {{u"B", u"1"}},
                      "IF A\nIF B\nENDIF\n\"V\"=\"a\"\nENDIF\n",
                      nullptr},
        ConditionCase{"BlocksInSequence",
                      {{u"B", u"1"}},
                      "IF A\n\"V\"=\"a\"\nENDIF\nIF B\n\"V\"=\"b\"\nENDIF\n",
                      u"b"},
        // A key line in a block not read leaves the values after it in the key before.
        ConditionCase{"KeyInSkippedBlock",
                      {},
                      "IF A\n[HKEY_LOCAL_MACHINE\\Other]\nENDIF\n\"V\"=\"here\"\n",
                      u"here"},
        // Lines in a block not read are not read at all.
        ConditionCase{"SkippedLinesNotRead",
                      {},
                      "\"V\"=\"kept\"\nIF A\n\"V\"=sz:$(X)\nnonsense\nENDIF\n",
                      u"kept"},
        ConditionCase{"ContinuedValueInSkippedBlock",
                      {},
                      "IF A\n\"V\"=hex:01,\\\nENDIF\nENDIF\n\"V\"=\"after\"\n",
                      u"after"},
        ConditionCase{
            "CommentAfterIf", {{u"A", u"1"}}, "IF A ; the card\n\"V\"=\"a\"\nENDIF ; A\n", u"a"},
        // The forms of real files: a glued !, words after ENDIF, ELSE, != and ||.
        ConditionCase{"InvertedGlued", {}, "IF CARD!\n\"V\"=\"in\"\nENDIF\n", u"in"},
        ConditionCase{
            "InvertedGluedSet", {{u"CARD", u"1"}}, "IF CARD!\n\"V\"=\"in\"\nENDIF\n", nullptr},
        ConditionCase{"EndifWithWords", {{u"A", u"1"}}, "IF A\n\"V\"=\"a\"\nENDIF A !\n", u"a"},
        ConditionCase{"ElseTaken", {}, "IF A\n\"V\"=\"a\"\nELSE\n\"V\"=\"b\"\nENDIF\n", u"b"},
        ConditionCase{
            "ElseSkipped", {{u"A", u"1"}}, "IF A\n\"V\"=\"a\"\nELSE\n\"V\"=\"b\"\nENDIF\n", u"a"},
        ConditionCase{
            "ElseInSkippedBlock", {}, "IF A\nIF B\nELSE\n\"V\"=\"b\"\nENDIF\nENDIF\n", nullptr},
        ConditionCase{
            "NotEqualsOther", {{u"CARD", u"CF"}}, "IF CARD != SD\n\"V\"=\"in\"\nENDIF\n", u"in"},
        ConditionCase{
            "NotEqualsSame", {{u"CARD", u"SD"}}, "IF CARD != SD\n\"V\"=\"in\"\nENDIF\n", nullptr},
        ConditionCase{"NotEqualsUnset", {}, "IF CARD!=SD\n\"V\"=\"in\"\nENDIF\n", u"in"},
        ConditionCase{
            "DoubleEquals", {{u"CARD", u"SD"}}, "IF CARD==SD\n\"V\"=\"in\"\nENDIF\n", u"in"},
        ConditionCase{"DoubleEqualsSpaced",
                      {{u"CARD", u"SD"}},
                      "IF CARD == SD\n\"V\"=\"in\"\nENDIF\n",
                      u"in"},
        ConditionCase{
            "EqualsSpaced", {{u"CARD", u"SD"}}, "IF CARD = SD\n\"V\"=\"in\"\nENDIF\n", u"in"},
        ConditionCase{"EqualsGluedInverted",
                      {{u"CARD", u"SD"}},
                      "IF CARD=SD!\n\"V\"=\"in\"\nENDIF\n",
                      nullptr},
        ConditionCase{"OrOfInvertedBothSet",
                      {{u"A", u"1"}, {u"B", u"1"}},
                      "IF A ! || B !\n\"V\"=\"in\"\nENDIF\n",
                      nullptr},
        ConditionCase{
            "OrOfInvertedOneSet", {{u"A", u"1"}}, "IF A ! || B !\n\"V\"=\"in\"\nENDIF\n", u"in"},
        ConditionCase{
            "AndBindsTighter", {{u"C", u"1"}}, "IF A && B || C\n\"V\"=\"in\"\nENDIF\n", u"in"},
        ConditionCase{"AndNeedsBoth", {{u"A", u"1"}}, "IF A && B\n\"V\"=\"in\"\nENDIF\n", nullptr},
        ConditionCase{"IndentedBlock", {{u"A", u"1"}}, "   IF A\n\"V\"=\"a\"\n\t ENDIF\n", u"a"},
        // A #define counts as a variable for IF, before the build's own.
        ConditionCase{"DefineDecidesIf",
                      {{u"A", u"x"}},
                      "#define A y\nIF A=y\n\"V\"=\"in\"\nENDIF\n",
                      u"in"}),
    kCaseName);

// Errors of image-builder files: the line, and nothing changed.
const std::string kImageKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\n";

INSTANTIATE_TEST_SUITE_P(
    ImageErrors, RegErrors,
    ::testing::Values(
        ErrorCase{"EndifWithoutIf", kImageKey + "\"A\"=\"1\"\nENDIF\n", 3},
        ErrorCase{"EndifOnceTooOften", kImageKey + "IF SET\nENDIF\nENDIF\n", 4},
        ErrorCase{"IfNeverClosed", kImageKey + "IF SET\n\"A\"=\"1\"\n", 2},
        ErrorCase{"SkippedIfNeverClosed", kImageKey + "IF UNSET\n\"A\"=\"1\"\n\n", 2},
        // One ENDIF closes the inner block; the outer one is left open.
        ErrorCase{"OuterIfNeverClosed", kImageKey + "IF SET\n IF UNSET\n ENDIF\n", 2},
        ErrorCase{"InnerIfNeverClosed", kImageKey + "IF SET\n IF UNSET\n", 3},
        ErrorCase{"ValueBeforeAnyKey", "; a value\n\"A\"=\"1\"\n", 2},
        ErrorCase{"ValueBeforeKeyInBlock",
                  "IF UNSET\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\nENDIF\n\"A\"=\"1\"\n", 4},
        ErrorCase{"UnknownType", kImageKey + "\"A\"=sz:1\n", 2},
        ErrorCase{"UnknownTypeExpandSz", kImageKey + "\"A\" = expand_sz:\"%x%\"\n", 2},
        ErrorCase{"MacroInText", kImageKey + "\"A\"=\"$(_FLATRELEASEDIR)\\\\x\"\n", 2},
        ErrorCase{"MacroInMultiSz", kImageKey + "\"A\"=multi_sz:\"a\",\\\n\"$(X)\"\n", 2},
        ErrorCase{"MacroInHex", kImageKey + "\"A\"=hex:$(BYTES)\n", 2},
        ErrorCase{"MacroInKey", "[HKEY_LOCAL_MACHINE\\$(KEY)]\n", 1},
        ErrorCase{"MacroInReadBlock", kImageKey + "IF SET\n\"A\"=\"$(X)\"\nENDIF\n", 3},
        ErrorCase{"IfAlone", kImageKey + "IF\nENDIF\n", 2},
        ErrorCase{"IfOnlyInverted", kImageKey + "IF !\nENDIF\n", 2},
        ErrorCase{"IfTwoNames", kImageKey + "IF SET OTHER\nENDIF\n", 2},
        ErrorCase{"IfAfterInvert", kImageKey + "IF SET ! x\nENDIF\n", 2},
        ErrorCase{"IfNoValue", kImageKey + "IF SET=\nENDIF\n", 2},
        ErrorCase{"IfNoName", kImageKey + "IF =1\nENDIF\n", 2},
        ErrorCase{"IfBadInSkippedBlock", kImageKey + "IF UNSET\nIF\nENDIF\nENDIF\n", 3},
        ErrorCase{"ElseTwice", kImageKey + "IF SET\nELSE\nELSE\nENDIF\n", 4},
        ErrorCase{"ElseWithoutIf", kImageKey + "ELSE\n", 2},
        ErrorCase{"ElseWithWords", kImageKey + "IF SET\nELSE SET\nENDIF\n", 3},
        ErrorCase{"MultiSzTrailingComma", kImageKey + "\"A\"=multi_sz:\"a\",\n", 2},
        ErrorCase{"MultiSzUnquoted", kImageKey + "\"A\"=multi_sz:a\n", 2},
        ErrorCase{"MultiSzNoComma", kImageKey + "\"A\"=multi_sz:\"a\" \"b\"\n", 2},
        ErrorCase{"MultiSzUnclosed", kImageKey + "\"A\"=multi_sz:\"a\n", 2},
        ErrorCase{"MultiSzContinuesPastEnd", kImageKey + "\"A\"=multi_sz:\"a\",\\\n", 2},
        ErrorCase{"HexTypeNineDigits", kImageKey + "\"A\"=hex(100000000):01\n", 2},
        ErrorCase{"DwordNineDigits", kImageKey + "\"A\"=dword:100000000\n", 2},
        ErrorCase{"EscapeInKeyIsNoEscape", kImageKey + "\"A\"=\"\\x\"\n", 2},
        ErrorCase{"UnknownRoot", "[HKEY_NOWHERE\\X]\n", 1},
        ErrorCase{"HeaderNotOnFirstLine", "\r\n" + std::string(kHeader), 2}),
    kCaseName);

TEST(ImageFile, SaysABuildMacroWasNotExpanded) {
    sim::Registry registry;
    const auto error =
        regfile::Apply(kImageKey + "\"A\" = \"$(_TARGETPLATROOT)\\\\x\" ; here\n", registry);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(
        "$(_TARGETPLATROOT) is defined nowhere: give it with --define _TARGETPLATROOT=VALUE or "
        "--environment FILE, or read the merged reginit.ini of the build's release folder, which "
        "has it expanded",
        error->message);
}

// Several files read one after another into one registry, as the image builder merges
// common.reg, platform.reg and project.reg.
TEST(SeveralFiles, LaterValuesReplaceAndLaterDeletionsRemove) {
    sim::Registry registry;
    const std::string platform = std::string(kHeader) + kPathsLine +
                                 "\"SDMMC\"=\"\\\\SDMMC\"\r\n\"User\"=\"\\\\Windows\"\r\n"
                                 "\"Gone\"=\"x\"\r\n"
                                 "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Old\\Deep]\r\n\"v\"=\"1\"\r\n";
    const std::string project = std::string(kPathsLine) +
                                "\"user\" = multi_sz:\"\\\\ResidentFlash\"\r\n"
                                "\"Gone\"=-\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n";
    ASSERT_FALSE(regfile::Apply(platform, registry).has_value());
    const auto error = regfile::Apply(project, registry);
    ASSERT_FALSE(error.has_value()) << error->line << ": " << error->message;
    EXPECT_EQ(sim::Registry::StringValue(u"\\SDMMC"), *registry.FindValue(kKey, u"SDMMC"));
    EXPECT_EQ(7u, registry.FindValue(kKey, u"User")->type);
    EXPECT_EQ(nullptr, registry.FindValue(kKey, u"Gone"));
    EXPECT_FALSE(registry.HasKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Old"));
    EXPECT_TRUE(registry.HasKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE"));
}

// The order values were first set in, across files: a value set again keeps its place, one
// deleted and set again goes last; Keys() still lists them by name.
TEST(SeveralFiles, KeepTheOrderValuesWereFirstSetIn) {
    sim::Registry registry;
    const std::string first = std::string(kHeader) + kPathsLine +
                              "\"Zeta\"=\"1\"\r\n\"alpha\"=\"2\"\r\n\"Mid\"=\"3\"\r\n"
                              "\"Gone\"=\"x\"\r\n";
    const std::string second = std::string(kPathsLine) +
                               "\"ALPHA\"=\"4\"\r\n\"Gone\"=-\r\n\"New\"=\"5\"\r\n"
                               "\"gone\"=\"6\"\r\n";
    ASSERT_FALSE(regfile::Apply(first, registry).has_value());
    ASSERT_FALSE(regfile::Apply(second, registry).has_value());
    std::vector<std::u16string> inOrder;
    for (const sim::NamedValue& value : registry.ValuesInOrderSet(kKey)) {
        inOrder.push_back(value.name);
    }
    EXPECT_EQ((std::vector<std::u16string>{u"Zeta", u"alpha", u"Mid", u"New", u"gone"}), inOrder);
    EXPECT_EQ(sim::Registry::StringValue(u"4"), registry.ValuesInOrderSet(kKey)[1].value);
    std::vector<std::u16string> byName;
    for (const sim::RegistryKey& key : registry.Keys()) {
        if (key.path == kKey) {
            for (const sim::NamedValue& value : key.values) {
                byName.push_back(value.name);
            }
        }
    }
    EXPECT_EQ((std::vector<std::u16string>{u"alpha", u"gone", u"Mid", u"New", u"Zeta"}), byName);
    EXPECT_TRUE(registry.ValuesInOrderSet(u"HKEY_LOCAL_MACHINE\\Missing").empty());
}

// Nothing of one file goes on into the next: neither its key nor its open blocks.
struct NextFileCase {
    const char* name;
    std::string first;
    std::string second;
    int firstLine;   // of the first file's error, 0 for none
    int secondLine;  // of the second file's error; 0 for none, and then it sets "B"
};

void PrintTo(const NextFileCase& c, std::ostream* os) {
    *os << c.name;
}

class NextFile : public ::testing::TestWithParam<NextFileCase> {};

TEST_P(NextFile, StartsAfresh) {
    const NextFileCase& c = GetParam();
    regfile::Variables variables;
    variables.Set(u"SET", u"1");
    sim::Registry registry;
    const auto first = regfile::Apply(c.first, registry, variables);
    EXPECT_EQ(c.firstLine, first ? first->line : 0);
    const sim::Registry afterFirst = registry;
    const auto second = regfile::Apply(c.second, registry, variables);
    EXPECT_EQ(c.secondLine, second ? second->line : 0) << (second ? second->message : "");
    if (second) {
        EXPECT_EQ(afterFirst, registry);
    } else {
        EXPECT_NE(nullptr, registry.FindValue(kKey, u"B"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, NextFile,
    ::testing::Values(
        NextFileCase{"KeyDoesNotGoOn", std::string(kPathsLine) + "\"A\"=\"1\"\n", "\"B\"=\"2\"\n",
                     0, 1},
        NextFileCase{"KeyDoesNotGoOnAfterExport",
                     std::string(kHeader) + kPathsLine + "\"A\"=\"1\"\n", "@=\"2\"\n", 0, 1},
        NextFileCase{"OpenBlockDoesNotGoOn", std::string(kPathsLine) + "IF UNSET\n",
                     "ENDIF\n" + std::string(kPathsLine) + "\"B\"=\"2\"\n", 2, 1},
        NextFileCase{"SkippingDoesNotGoOn", std::string(kPathsLine) + "IF SET !\n",
                     std::string(kPathsLine) + "\"B\"=\"2\"\n", 2, 0},
        NextFileCase{"SkippingEndsWithItsFile",
                     std::string(kPathsLine) + "IF SET !\n\"B\"=\"1\"\nENDIF\n",
                     std::string(kPathsLine) + "\"B\"=\"2\"\n", 0, 0},
        NextFileCase{"SecondFileBadLeavesFirst", std::string(kPathsLine) + "\"A\"=multi_sz:\"1\"\n",
                     std::string(kPathsLine) + "\"A\"=\"2\"\n[-HKEY_LOCAL_MACHINE\\SOFTWARE]\n" +
                         kPathsLine + "\"B\"=sz:2\n",
                     0, 5}),
    kCaseName);

}  // namespace
