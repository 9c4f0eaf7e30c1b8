// The simulated device's own behaviour where the launcher relies on it: the own-path query at
// its limit, handles left open showing in the run's record, and the device clock.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/startup.h"
#include "platform/sim/text.h"
#include "tests/sim_test_support.h"

namespace {

struct ModulePathCase {
    const char* name;
    size_t pathLength;  // characters in the device's own path
    DWORD size;         // the limit handed to the query
    DWORD result;
    DWORD error;
    size_t copied;  // characters before the terminator
};

void PrintTo(const ModulePathCase& c, std::ostream* os) {
    *os << c.name;
}

class ModulePath : public ::testing::TestWithParam<ModulePathCase> {};

// As desktop Windows since Vista: a path that does not fit is cut to size - 1 characters and
// terminated, the result is size and the error ERROR_INSUFFICIENT_BUFFER.
TEST_P(ModulePath, FitsOrIsCutAndTerminated) {
    const ModulePathCase& c = GetParam();
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    device.ownPath = u"\\" + std::u16string(c.pathLength - 1, u'p');
    std::vector<WCHAR> buffer(c.size + 1, u'#');

    EXPECT_EQ(c.result, GetModuleFileNameW(nullptr, buffer.data(), c.size));
    EXPECT_EQ(c.error, GetLastError());
    EXPECT_EQ(device.ownPath.substr(0, c.copied), std::u16string(buffer.data()));
    EXPECT_EQ(u'#', buffer[c.size]) << "written past the limit";
}

INSTANTIATE_TEST_SUITE_P(
    Limits, ModulePath,
    ::testing::Values(
        ModulePathCase{"OneBelowTheLimit", 126, 127, 126, ERROR_SUCCESS, 126},
        ModulePathCase{"ExactlyTheLimit", 127, 127, 127, ERROR_INSUFFICIENT_BUFFER, 126},
        ModulePathCase{"OnePastTheLimit", 128, 127, 127, ERROR_INSUFFICIENT_BUFFER, 126},
        ModulePathCase{"OneCharacterRoom", 5, 1, 1, ERROR_INSUFFICIENT_BUFFER, 0}),
    [](const ::testing::TestParamInfo<ModulePathCase>& p) { return p.param.name; });

const WCHAR kKey[] = u"SOFTWARE\\Tavrin\\Paths";
const WCHAR kFile[] = u"\\SDMMC\\UPDATE\\Kelbrun.EXE";

// Opens the launcher's key and searches for a file that exists, closing what it is told to.
void OpenKeyAndSearch(bool closeKey, bool closeSearch) {
    HKEY key = nullptr;
    WIN32_FIND_DATAW found;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key);
    if (closeKey) {
        RegCloseKey(key);
    }
    HANDLE search = FindFirstFileW(kFile, &found);
    if (closeSearch) {
        FindClose(search);
    }
}

int WINAPI LeavesBothOpen(HINSTANCE, HINSTANCE, LPWSTR, int) {
    OpenKeyAndSearch(false, false);
    return 0;
}

int WINAPI LeavesSearchOpen(HINSTANCE, HINSTANCE, LPWSTR, int) {
    OpenKeyAndSearch(true, false);
    return 0;
}

int WINAPI ClosesBoth(HINSTANCE, HINSTANCE, LPWSTR, int) {
    OpenKeyAndSearch(true, true);
    return 0;
}

// Two pauses: the clock counts both, whether they are waited or not.
int WINAPI PausesTwice(HINSTANCE, HINSTANCE, LPWSTR, int) {
    Sleep(40);
    Sleep(60);
    exit(0);
}

struct ProgramCase {
    const char* name;
    sim::EntryPoint entry;
    uint32_t keysLeftOpen;
    uint32_t searchesLeftOpen;
    bool waitForReal;
    std::vector<uint32_t> eventsAtMs;  // the device time each pause began
    uint32_t endMs;
};

void PrintTo(const ProgramCase& c, std::ostream* os) {
    *os << c.name;
}

class Programs : public ::testing::TestWithParam<ProgramCase> {};

TEST_P(Programs, RecordWhatTheyLeftAndWhenTheyEnded) {
    const ProgramCase& c = GetParam();
    testing_support::ScratchRoot root;
    root.AddFile("SDMMC/UPDATE/Kelbrun.EXE");
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    device.files.SetRoot(root.Path());
    device.registry.CreateKey(testing_support::kPathsKey);
    device.waitForReal = c.waitForReal;
    device.clockMs = 7;  // left over from earlier work in this process

    const sim::RunResult run = sim::RunProgram(c.entry);

    ASSERT_TRUE(run.exited);
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(c.keysLeftOpen, run.record.keysLeftOpen);
    EXPECT_EQ(c.searchesLeftOpen, run.record.searchesLeftOpen);
    EXPECT_EQ(c.endMs, run.record.endMs);
    std::vector<uint32_t> started;
    for (const sim::Event& event : run.record.events) {
        started.push_back(event.deviceMs);
    }
    EXPECT_EQ(c.eventsAtMs, started);
    // Each run's clock starts at 0, and the parent's device is untouched.
    EXPECT_EQ(7u, device.clockMs);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Programs,
    ::testing::Values(ProgramCase{"LeavesBothOpen", LeavesBothOpen, 1, 1, false, {}, 0},
                      ProgramCase{"LeavesSearchOpen", LeavesSearchOpen, 0, 1, false, {}, 0},
                      ProgramCase{"ClosesBoth", ClosesBoth, 0, 0, false, {}, 0},
                      ProgramCase{"PausesTwiceWaiting", PausesTwice, 0, 0, true, {0, 40}, 100},
                      ProgramCase{"PausesTwiceRecorded", PausesTwice, 0, 0, false, {0, 40}, 100}),
    [](const ::testing::TestParamInfo<ProgramCase>& p) { return p.param.name; });

TEST(DeviceClock, SaturatesRatherThanWrapping) {
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    device.waitForReal = false;
    device.clockMs = UINT32_MAX - 10;
    Sleep(10);
    EXPECT_EQ(UINT32_MAX, device.clockMs);
    Sleep(11);
    EXPECT_EQ(UINT32_MAX, device.clockMs);
}

}  // namespace

namespace {

// UTF-16LE bytes read back as the registry's text: every unit, NULs included, and the text up
// to the first NUL; an odd last byte is no unit.
TEST(Text, Utf16LeBytesReadBack) {
    const std::u16string text(u"a\0b\u00E9\u4F60", 5);
    EXPECT_EQ(text, sim::FromUtf16LeBytes(sim::Utf16LeBytes(text)));
    std::vector<uint8_t> odd = sim::Utf16LeBytes(u"ab");
    odd.push_back('c');
    EXPECT_EQ(u"ab", sim::FromUtf16LeBytes(odd));
    EXPECT_EQ(u"ab", sim::FromUtf16LeBytes(std::string_view("a\0b\0c", 5)));
    bool terminated = true;
    EXPECT_EQ(u"ab", sim::TextUpToNul(odd, &terminated));
    EXPECT_FALSE(terminated);
    EXPECT_EQ(u"a", sim::TextUpToNul(sim::Utf16LeBytes(text), &terminated));
    EXPECT_TRUE(terminated);
    EXPECT_EQ(u"", sim::TextUpToNul({0, 0, 'x', 0}, &terminated));
    EXPECT_TRUE(terminated);
    EXPECT_EQ(u"", sim::TextUpToNul({}));
}

}  // namespace
