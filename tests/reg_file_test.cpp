// Reading registry exports: what each form of value stores, and errors that name their line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/registry.h"
#include "platform/sim/text.h"
#include "tools/kelbrun-sim/reg_file.h"

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

class RegValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(RegValues, StoreTheirBytesAsWritten) {
    const ValueCase& c = GetParam();
    sim::Registry registry;
    const std::string file =
        std::string(kHeader) + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n" + c.body;
    const auto error = regfile::Apply(file, registry);
    ASSERT_FALSE(error.has_value()) << error->line << ": " << error->message;
    const sim::RegistryValue* value = registry.FindValue(kKey, u"V");
    ASSERT_NE(nullptr, value);
    EXPECT_EQ(c.type, value->type);
    EXPECT_EQ(c.bytes, value->bytes);
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
    [](const ::testing::TestParamInfo<ValueCase>& p) { return p.param.name; });

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
    sim::Registry registry;
    registry.SetString(kKey, u"Kept", u"x");
    const auto error = regfile::Apply(c.file, registry);
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
        ErrorCase{"EmptyFile", "", 1}, ErrorCase{"NoHeader", "[HKEY_LOCAL_MACHINE\\X]\n", 1},
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
        ErrorCase{"NotUtf8", kNewKey + "\"A\"=\"\xFF\"\n", 3},
        ErrorCase{"OddUtf16", std::string("\xFF\xFE\x41\x00\n\x00\x41", 7), 2},
        ErrorCase{"Utf16BigEndian", "\xFE\xFF", 1}),
    [](const ::testing::TestParamInfo<ErrorCase>& p) { return p.param.name; });

}  // namespace
