// ReadFolderSetting against the simulated registry: what reaches the setting, what the trail
// says, and that the key is always closed again.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "config/folder_setting.h"
#include "platform/sim/device.h"
#include "platform/sim/text.h"
#include "tests/sim_test_support.h"

namespace {

using sim::Utf16LeBytes;
using testing_support::SetRawValue;

std::vector<uint8_t> Terminated(std::u16string_view text) {
    std::vector<uint8_t> bytes = Utf16LeBytes(text);
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

struct ValueCase {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t type;
    std::u16string text;  // expected text of the setting
};

void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.name;
}

class FolderSettingValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(FolderSettingValues, CopiesTextAndCountsWhatWasCopied) {
    const ValueCase& c = GetParam();
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    SetRawValue(device, u"SDMMC", c.bytes, c.type);

    FolderSetting setting{};
    ASSERT_EQ(1, ReadFolderSetting(u"SOFTWARE\\Tavrin\\Paths", u"SDMMC", &setting));

    EXPECT_EQ(c.text, std::u16string(setting.path));
    EXPECT_EQ(static_cast<LONG>(c.text.size()), setting.length);
    EXPECT_EQ(std::vector<std::u16string>{u"Folder name is " + c.text + u"\r\n"},
              device.record.trail);
    EXPECT_TRUE(device.openKeys.empty());
    EXPECT_EQ(1u, device.record.calls.keyCloses);
}

const std::u16string k254(254, u'a');
const std::u16string k255(255, u'b');

INSTANTIATE_TEST_SUITE_P(
    Values, FolderSettingValues,
    ::testing::Values(
        ValueCase{"Terminated", Terminated(u"\\Card"), sim::kRegSz, u"\\Card"},
        ValueCase{"OnlyTerminator", {0, 0}, sim::kRegSz, u""},
        // Counted as 0 characters, so not configured: the byte count would have said -1.
        ValueCase{"NoData", {}, sim::kRegSz, u""},
        // Counted as 5, not one short of the text.
        ValueCase{"Unterminated", Utf16LeBytes(u"\\Card"), sim::kRegSz, u"\\Card"},
        ValueCase{"OneCharUnterminated", Utf16LeBytes(u"X"), sim::kRegSz, u"X"},
        ValueCase{"OddByteCount", {'A', 0, 'B'}, sim::kRegSz, u"AB"},
        ValueCase{"EmbeddedNul", Terminated(std::u16string(u"AB\0CD", 5)), sim::kRegSz, u"AB"},
        ValueCase{"DwordTypeTakenAsText", {'A', 0, 'B', 0}, sim::kRegDword, u"AB"},
        ValueCase{"BinaryTypeTakenAsText", Terminated(u"\\Bin"), sim::kRegBinary, u"\\Bin"},
        ValueCase{"FullBufferTerminated", Terminated(k254), sim::kRegSz, k254},
        ValueCase{"FullBufferUnterminated", Utf16LeBytes(k255), sim::kRegSz, k255}),
    [](const ::testing::TestParamInfo<ValueCase>& p) { return p.param.name; });

struct FailureCase {
    const char* name;
    bool keyExists;
    std::optional<std::vector<uint8_t>> value;
    std::u16string firstLine;
    uint32_t closes;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class FolderSettingFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FolderSettingFailures, ReportsTwoLinesAndLeavesSettingAlone) {
    const FailureCase& c = GetParam();
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    if (c.keyExists) {
        device.registry.CreateKey(testing_support::kPathsKey);
    }
    if (c.value) {
        SetRawValue(device, u"SDMMC", *c.value);
    }

    FolderSetting setting{};
    setting.path[0] = u'Q';
    setting.length = 77;
    EXPECT_EQ(0, ReadFolderSetting(u"SOFTWARE\\Tavrin\\Paths", u"SDMMC", &setting));

    EXPECT_EQ(u'Q', setting.path[0]);
    EXPECT_EQ(0, setting.path[1]);
    EXPECT_EQ(77, setting.length);
    EXPECT_EQ((std::vector<std::u16string>{c.firstLine, u"Cannot find folder name!!!!\r\n"}),
              device.record.trail);
    EXPECT_EQ(c.closes, device.record.calls.keyCloses);
    EXPECT_TRUE(device.openKeys.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FolderSettingFailures,
    ::testing::Values(
        FailureCase{"KeyMissing", false, std::nullopt, u"RegOpenKeyEx Failed [2].\r\n", 0},
        FailureCase{"ValueMissing", true, std::nullopt, u"RegQueryValueEx Failed [2].\r\n", 1},
        // 255 characters and a terminator are 512 bytes: refused, never cut.
        FailureCase{"ValueTooLong", true, Terminated(std::u16string(255, u'c')),
                    u"RegQueryValueEx Failed [234].\r\n", 1}),
    [](const ::testing::TestParamInfo<FailureCase>& p) { return p.param.name; });

TEST(FolderSetting, OpensTheKeyUnderLocalMachineWhateverTheCaseOfItsPath) {
    sim::ResetDevice();
    sim::CurrentDevice().registry.SetString(u"hkey_local_machine\\software\\TAVRIN\\paths", u"user",
                                            u"\\Flash");
    FolderSetting setting{};
    ASSERT_EQ(1, ReadFolderSetting(u"SOFTWARE\\Tavrin\\Paths", u"User", &setting));
    EXPECT_EQ(u"\\Flash", std::u16string(setting.path));
}

// The value buffer outlives each read: a later, shorter value stored without its terminator
// must not pick up the tail of an earlier, longer one.
TEST(FolderSetting, EachReadStartsFromAClearBuffer) {
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    SetRawValue(device, u"SDMMC", Terminated(u"\\SDMMC\\Card"));
    SetRawValue(device, u"DataStorage", Utf16LeBytes(u"\\D"));
    SetRawValue(device, u"User", Utf16LeBytes(u"\\Fl"));

    FolderSetting settings[3] = {};
    const char16_t* names[3] = {u"SDMMC", u"DataStorage", u"User"};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(1, ReadFolderSetting(u"SOFTWARE\\Tavrin\\Paths", names[i], &settings[i]));
    }
    EXPECT_EQ(u"\\SDMMC\\Card", std::u16string(settings[0].path));
    EXPECT_EQ(u"\\D", std::u16string(settings[1].path));
    EXPECT_EQ(2, settings[1].length);
    EXPECT_EQ(u"\\Fl", std::u16string(settings[2].path));
    EXPECT_EQ(3, settings[2].length);
    EXPECT_EQ(u"Folder name is \\D\r\n", device.record.trail[1]);
}

struct ComposeCase {
    const char* name;
    size_t folderLength;
    size_t suffixLength;
    bool fits;
};

void PrintTo(const ComposeCase& c, std::ostream* os) {
    *os << c.name;
}

class Compose : public ::testing::TestWithParam<ComposeCase> {};

// The target already holds a longer text, as a reused buffer would: what is composed must end
// where it ends, and what does not fit must leave the target as it was.
TEST_P(Compose, WritesAllOrNothingOverOlderText) {
    const ComposeCase& c = GetParam();
    const std::u16string folder(c.folderLength, u'f');
    const std::u16string suffix = u"\\" + std::u16string(c.suffixLength - 1, u's');
    PathBuffer target;
    std::fill(std::begin(target), std::end(target) - 1, u'x');
    target[kPathBufferChars - 1] = 0;
    const std::u16string before(target);

    EXPECT_EQ(c.fits ? 1 : 0, PathCompose(target, folder.c_str(), suffix.c_str()));
    EXPECT_EQ(c.fits ? folder + suffix : before, std::u16string(target));
}

INSTANTIATE_TEST_SUITE_P(Lengths, Compose,
                         ::testing::Values(ComposeCase{"Short", 6, 19, true},
                                           ComposeCase{"EmptyFolder", 0, 18, true},
                                           ComposeCase{"ExactlyFull", 236, 19, true},
                                           ComposeCase{"OnePastFull", 237, 19, false},
                                           ComposeCase{"FarPastFull", 250, 19, false}),
                         [](const ::testing::TestParamInfo<ComposeCase>& p) {
                             return p.param.name;
                         });

struct CopyCase {
    const char* name;
    size_t sourceLength;
    DWORD sourceLimit;
    DWORD copied;
};

void PrintTo(const CopyCase& c, std::ostream* os) {
    *os << c.name;
}

class Copy : public ::testing::TestWithParam<CopyCase> {};

TEST_P(Copy, StopsAtTheNulTheLimitOrTheBuffer) {
    const CopyCase& c = GetParam();
    std::vector<WCHAR> source(c.sourceLength, u'a');
    source.push_back(0);
    PathBuffer target;
    std::fill(std::begin(target), std::end(target), u'x');
    EXPECT_EQ(c.copied, PathCopy(target, source.data(), c.sourceLimit));
    EXPECT_EQ(std::u16string(c.copied, u'a'), std::u16string(target));
}

INSTANTIATE_TEST_SUITE_P(Limits, Copy,
                         ::testing::Values(CopyCase{"StopsAtNul", 3, 255, 3},
                                           CopyCase{"StopsAtLimit", 10, 4, 4},
                                           CopyCase{"LimitOneBelowBuffer", 255, 255, 255},
                                           CopyCase{"NulAtTheLimit", 254, 255, 254},
                                           CopyCase{"Empty", 0, 255, 0}),
                         [](const ::testing::TestParamInfo<CopyCase>& p) { return p.param.name; });

}  // namespace
