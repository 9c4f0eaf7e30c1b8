// Writing the simulated registry back as a registry editor export: every value reads back as
// it was, whatever its type and bytes, and the text is the registry editor's own form.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/sim/registry.h"
#include "platform/sim/text.h"
#include "tests/sim_test_support.h"
#include "tools/kelbrun-sim/reg_export.h"
#include "tools/kelbrun-sim/image_files/design_reader.h"

namespace {

const char16_t kKey[] = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths";

// The export as text: UTF-16LE after its byte-order mark.
std::u16string TextOf(const std::string& bytes) {
    EXPECT_EQ("\xFF\xFE", bytes.substr(0, 2));
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    return text;
}

std::vector<uint8_t> Bytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 37 + 1);
    }
    return bytes;
}

struct RoundTripCase {
    const char* name;
    std::u16string valueName;
    sim::RegistryValue value;
    const char16_t* line;  // the value's first line in the export
};

void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << c.name;
}

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, ReadsBackTheSameRegistry) {
    const RoundTripCase& c = GetParam();
    sim::Registry registry;
    registry.SetValue(kKey, c.valueName, c.value);
    const std::string exported = regfile::ExportText(registry);
    const std::u16string text = TextOf(exported);
    EXPECT_NE(std::u16string::npos, text.find(u"]\r\n" + std::u16string(c.line)))
        << sim::ToUtf8(text);

    sim::Registry reread;
    const auto error = regfile::Apply(exported, reread);
    ASSERT_FALSE(error.has_value()) << error->line << ": " << error->message;
    EXPECT_EQ(registry, reread);
    // Read as it was spelt, and as the launcher asks for it.
    const sim::RegistryValue* value = reread.FindValue(kKey, c.valueName);
    ASSERT_NE(nullptr, value);
    EXPECT_EQ(c.value, *value);
}

sim::RegistryValue Typed(uint32_t type, std::vector<uint8_t> bytes) {
    return sim::RegistryValue{type, std::move(bytes)};
}

INSTANTIATE_TEST_SUITE_P(
    Values, RoundTrip,
    ::testing::Values(
        RoundTripCase{"String", u"SDMMC", sim::Registry::StringValue(u"\\SDMMC"),
                      u"\"SDMMC\"=\"\\\\SDMMC\""},
        RoundTripCase{"StringEscapes", u"a\\\"b", sim::Registry::StringValue(u"\"\\\""),
                      u"\"a\\\\\\\"b\"=\"\\\"\\\\\\\"\""},
        RoundTripCase{"EmptyString", u"V", sim::Registry::StringValue(u""), u"\"V\"=\"\""},
        RoundTripCase{"DefaultValue", u"", sim::Registry::StringValue(u"d"), u"@=\"d\""},
        RoundTripCase{"NonAsciiAndLoneSurrogate", u"\u00e9",
                      sim::Registry::StringValue(u"\xD800\u20ac"), u"\"\u00e9\"=\"\xD800\u20ac\""},
        RoundTripCase{"CommentAndMacroInText", u"V", sim::Registry::StringValue(u"a ; $(X)"),
                      u"\"V\"=\"a ; $(X)\""},
        // Texts that would not read back as they are stay bytes of their type.
        RoundTripCase{"StringWithoutTerminator", u"V", Typed(1, {'a', 0}), u"\"V\"=hex(1):61,00"},
        RoundTripCase{"StringOddBytes", u"V", Typed(1, {'a', 0, 0}), u"\"V\"=hex(1):61,00,00"},
        RoundTripCase{"StringInnerNul", u"V", Typed(1, {'a', 0, 0, 0, 'b', 0, 0, 0}),
                      u"\"V\"=hex(1):61,00,00,00,62,00,00,00"},
        RoundTripCase{"StringLineBreak", u"V", sim::Registry::StringValue(u"a\r\nb"),
                      u"\"V\"=hex(1):61,00,0d,00,0a,00,62,00,00,00"},
        RoundTripCase{"StringNoBytes", u"V", Typed(1, {}), u"\"V\"=hex(1):"},
        RoundTripCase{"Dword", u"V", Typed(4, {0xCD, 0xAB, 0, 0x80}), u"\"V\"=dword:8000abcd"},
        RoundTripCase{"DwordZero", u"V", Typed(4, {0, 0, 0, 0}), u"\"V\"=dword:00000000"},
        RoundTripCase{"DwordThreeBytes", u"V", Typed(4, {1, 2, 3}), u"\"V\"=hex(4):01,02,03"},
        RoundTripCase{"DwordFiveBytes", u"V", Typed(4, {1, 2, 3, 4, 5}),
                      u"\"V\"=hex(4):01,02,03,04,05"},
        RoundTripCase{"Binary", u"V", Typed(3, {0, 0xFF}), u"\"V\"=hex:00,ff"},
        RoundTripCase{"BinaryEmpty", u"V", Typed(3, {}), u"\"V\"=hex:"},
        RoundTripCase{"MultiSz", u"V", Typed(7, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}),
                      u"\"V\"=hex(7):61,00,00,00,62,00,00,00,00,00"},
        RoundTripCase{"ExpandSz", u"V", Typed(2, {'%', 0, 0, 0}), u"\"V\"=hex(2):25,00,00,00"},
        RoundTripCase{"TypeNone", u"V", Typed(0, {1}), u"\"V\"=hex(0):01"},
        RoundTripCase{"TypeLargest", u"V", Typed(0xFFFFFFFF, {1}), u"\"V\"=hex(ffffffff):01"},
        RoundTripCase{"LongBinary", u"V", Typed(3, Bytes(600)), u"\"V\"=hex:01,26,4b,"}),
    [](const ::testing::TestParamInfo<RoundTripCase>& p) { return p.param.name; });

TEST(Export, IsTheRegistryEditorsForm) {
    sim::Registry registry;
    registry.SetString(kKey, u"SDMMC", u"\\SDMMC");
    registry.SetValue(kKey, u"Long", Typed(3, std::vector<uint8_t>(30, 0xAB)));
    registry.CreateKey(u"HKEY_CURRENT_USER\\Empty");
    const std::u16string ab = u"ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,";
    EXPECT_EQ(
        u"Windows Registry Editor Version 5.00\r\n"
        u"\r\n[HKEY_CURRENT_USER]\r\n"
        u"\r\n[HKEY_CURRENT_USER\\Empty]\r\n"
        u"\r\n[HKEY_LOCAL_MACHINE]\r\n"
        u"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n"
        u"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin]\r\n"
        u"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n"
        // 22 bytes make 77 columns, 78 with the backslash; one more byte would make 81.
        u"\"Long\"=hex:" +
            ab +
            u"\\\r\n"
            u"  ab,ab,ab,ab,ab,ab,ab,ab\r\n"
            u"\"SDMMC\"=\"\\\\SDMMC\"\r\n",
        TextOf(regfile::ExportText(registry)));
}

TEST(Export, WrapsEveryLineWithinEightyColumns) {
    sim::Registry registry;
    registry.SetValue(kKey, u"V", Typed(3, Bytes(1000)));
    registry.SetValue(kKey, u"A much longer name than the others have", Typed(7, Bytes(100)));
    const std::u16string text = TextOf(regfile::ExportText(registry));
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find(u"\r\n", start);
        ASSERT_NE(std::u16string::npos, end);
        EXPECT_LE(end - start, 80u) << sim::ToUtf8(text.substr(start, end - start));
        start = end + 2;
    }
}

// Keys and values keep the spelling they were first given; another spelling of the same name
// changes the value, not the name.
TEST(Export, KeepsSpellings) {
    sim::Registry registry;
    registry.SetString(u"HKEY_LOCAL_MACHINE\\Software\\Tavrin", u"Mixed", u"1");
    registry.SetString(u"hkey_local_machine\\SOFTWARE\\tavrin\\Paths", u"mixed", u"2");
    const std::u16string text = TextOf(regfile::ExportText(registry));
    EXPECT_NE(std::u16string::npos, text.find(u"[HKEY_LOCAL_MACHINE\\Software\\Tavrin]\r\n"
                                              u"\"Mixed\"=\"1\"\r\n"));
    EXPECT_NE(std::u16string::npos, text.find(u"[hkey_local_machine\\SOFTWARE\\tavrin\\Paths]"));
    registry.SetString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRIN", u"MIXED", u"3");
    sim::Registry reread;
    ASSERT_FALSE(regfile::Apply(regfile::ExportText(registry), reread).has_value());
    EXPECT_EQ(registry, reread);
    EXPECT_EQ(u"Mixed", reread.Keys()[2].values[0].name);
}

// What image-builder files give, written out and read back as an export, is what they gave.
TEST(Export, OfImageBuilderFilesReadsBackTheSame) {
    regfile::Variables variables;
    variables.Set(u"CARD", u"SD");
    sim::Registry registry;
    const std::string platform =
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n"
        "IF CARD=SD\r\n  \"SDMMC\" = \"\\\\Storage Card\"\r\nENDIF\r\n"
        "  \"Folders\" = multi_sz:\"\\\\A\",\\\r\n    \"\\\\B\"\r\n"
        "  \"Flags\" = dword:1f ; all\r\n  \"Raw\" = hex(2):25,00,00,00\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n";
    const std::string project =
        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n  @ = \"default\"\r\n";
    ASSERT_FALSE(regfile::Apply(platform, registry, variables).has_value());
    ASSERT_FALSE(regfile::Apply(project, registry, variables).has_value());
    sim::Registry reread;
    const auto error = regfile::Apply(regfile::ExportText(registry), reread);
    ASSERT_FALSE(error.has_value()) << error->line << ": " << error->message;
    EXPECT_EQ(registry, reread);
    EXPECT_EQ(5u, reread.Keys().back().values.size());
    EXPECT_FALSE(reread.HasKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone"));
}

TEST(Export, EmptyRegistryIsTheHeaderAlone) {
    EXPECT_EQ(u"Windows Registry Editor Version 5.00\r\n",
              TextOf(regfile::ExportText(sim::Registry())));
}

TEST(SaveExport, WritesTheFileOrSaysWhyNot) {
    const testing_support::ScratchRoot scratch;
    sim::Registry registry;
    registry.SetString(kKey, u"SDMMC", u"\\SDMMC");
    const std::filesystem::path file = scratch.Path() / "device.reg";
    ASSERT_FALSE(regfile::SaveExport(registry, file).has_value());
    std::ifstream in(file, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    EXPECT_EQ(regfile::ExportText(registry), written);

    // A folder in the way stays as it was.
    scratch.AddFolder("folder");
    const auto error = regfile::SaveExport(registry, scratch.Path() / "folder");
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(std::string::npos, error->find("folder: cannot be written")) << *error;
    EXPECT_TRUE(std::filesystem::is_directory(scratch.Path() / "folder"));
    EXPECT_TRUE(regfile::SaveExport(registry, scratch.Path() / "missing" / "x.reg").has_value());
}

}  // namespace
