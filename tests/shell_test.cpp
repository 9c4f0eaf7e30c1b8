// The simulated shell behind ShellExecuteEx, as Windows CE 5.0's answers the launcher: the
// record's size checked first, a folder opened in an Explorer window, a program handed to
// CreateProcessW without being looked for, a failed start shown in the shell's error box, and
// the hInstApp and hProcess it leaves.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "platform/sim/device.h"
#include "platform/sim/shell.h"
#include "tests/sim_test_support.h"

namespace {

using testing_support::ScratchRoot;

// A device whose root holds a program, a text file that claims to be one, and a folder.
class Shell : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::ResetDevice();
        root_.AddFile("SDMMC/UPDATE/Kelbrun.EXE");
        std::ofstream(root_.Path() / "SDMMC/UPDATE/Notes.exe")
            << "Release notes: this update replaces the launcher on the unit and its settings.\r\n";
        root_.AddFolder("SDMMC/Maps");
        sim::CurrentDevice().files.SetRoot(root_.Path());
    }

    static SHELLEXECUTEINFO Request(LPCWSTR file, DWORD mask = 0) {
        SHELLEXECUTEINFO info;
        memset(&info, 0, sizeof(info));
        info.cbSize = sizeof(info);
        info.fMask = mask;
        info.lpVerb = TEXT("Open");
        info.lpFile = file;
        info.nShow = SW_SHOW;
        return info;
    }

    static const sim::ShellRequest& Last() {
        return sim::CurrentDevice().record.events.back().request;
    }

    static uintptr_t InstApp(const SHELLEXECUTEINFO& info) {
        return reinterpret_cast<uintptr_t>(info.hInstApp);
    }

    ScratchRoot root_;
};

TEST_F(Shell, RecordOfAnotherSizeIsRefusedBeforeAnythingElse) {
    for (DWORD size :
         {DWORD{0}, DWORD{sizeof(SHELLEXECUTEINFO) - 1}, DWORD{sizeof(SHELLEXECUTEINFO) + 1}}) {
        SCOPED_TRACE(size);
        SHELLEXECUTEINFO info = Request(TEXT("\\SDMMC\\UPDATE\\Notes.exe"));
        info.cbSize = size;
        EXPECT_FALSE(ShellExecuteEx(&info));
        EXPECT_EQ(87u, GetLastError());
        EXPECT_EQ(sim::ShellOutcome::kRecordRefused, Last().outcome);
        EXPECT_TRUE(Last().boxText.empty());
    }
    // Nothing reached the loader: it would have left its own lines for a program it refused.
    EXPECT_TRUE(sim::CurrentDevice().record.trail.empty());
}

// Its one answer to such a record is hInstApp.
TEST_F(Shell, RefusedRecordGetsHInstAppFiveAndNoProcess) {
    SHELLEXECUTEINFO info = Request(TEXT("\\SDMMC\\UPDATE\\Kelbrun.EXE"), sim::kMaskNoCloseProcess);
    info.cbSize = sizeof(SHELLEXECUTEINFO) + 4;
    info.hInstApp = reinterpret_cast<HINSTANCE>(uintptr_t{77});
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(5u, InstApp(info));
    EXPECT_EQ(nullptr, info.hProcess);
}

TEST_F(Shell, ProgramStartsWithHInstAppZeroAndItsHandlesClosed) {
    SHELLEXECUTEINFO info = Request(TEXT("\\SDMMC\\UPDATE\\Kelbrun.EXE"));
    info.hInstApp = reinterpret_cast<HINSTANCE>(uintptr_t{77});
    EXPECT_TRUE(ShellExecuteEx(&info));
    EXPECT_EQ(0u, InstApp(info));
    EXPECT_EQ(nullptr, info.hProcess);
    EXPECT_EQ(sim::ShellOutcome::kStarted, Last().outcome);
}

TEST_F(Shell, NoCloseProcessKeepsAHandle) {
    SHELLEXECUTEINFO info = Request(TEXT("\\SDMMC\\UPDATE\\Kelbrun.EXE"), sim::kMaskNoCloseProcess);
    EXPECT_TRUE(ShellExecuteEx(&info));
    EXPECT_NE(nullptr, info.hProcess);
}

// The verb, the window state and the folder are never read for a program.
TEST_F(Shell, ProgramStartsWhateverTheVerbShowAndFolder) {
    SHELLEXECUTEINFO info = Request(TEXT("\\SDMMC\\UPDATE\\Kelbrun.EXE"));
    info.lpVerb = TEXT("Print");
    info.nShow = 0;
    info.lpDirectory = TEXT("\\Nowhere");
    info.lpParameters = TEXT("-update");
    EXPECT_TRUE(ShellExecuteEx(&info));
    EXPECT_EQ(u"-update", Last().parameters);
}

TEST_F(Shell, FolderOpensAnExplorerWindow) {
    SHELLEXECUTEINFO info = Request(TEXT("\\SDMMC\\Maps"));
    EXPECT_TRUE(ShellExecuteEx(&info));
    EXPECT_EQ(0u, InstApp(info));
    EXPECT_EQ(sim::ShellOutcome::kExplorer, Last().outcome);
}

TEST_F(Shell, FolderWithoutAShellShowsTheBox) {
    sim::CurrentDevice().shellRunning = false;
    SHELLEXECUTEINFO info = Request(TEXT("\\SDMMC\\Maps"));
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(50u, GetLastError());
    EXPECT_EQ(sim::ShellOutcome::kBox, Last().outcome);
    EXPECT_EQ(
        u"A system shell must be present to support executing folder paths or shell "
        u"extensions.",
        Last().boxText);
    EXPECT_EQ(0x10u, Last().boxFlags);
}

TEST_F(Shell, TextFileShowsNotAValidApplication) {
    SHELLEXECUTEINFO info = Request(TEXT("\\SDMMC\\UPDATE\\Notes.exe"));
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(193u, GetLastError());
    EXPECT_EQ(5u, InstApp(info));
    EXPECT_EQ(sim::ShellOutcome::kBox, Last().outcome);
    EXPECT_EQ(u"'Notes' is not a valid Windows CE application.", Last().boxText);
    EXPECT_EQ(u"Notes.exe", Last().boxCaption);
    EXPECT_EQ(0x10010u, Last().boxFlags);
}

// Not looked for first: a path that names nothing still goes to CreateProcessW.
TEST_F(Shell, MissingFileGoesToCreateProcessAndIsNotFound) {
    SHELLEXECUTEINFO info = Request(TEXT("\\SDMMC\\UPDATE\\Gone.EXE"));
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(2u, GetLastError());
    EXPECT_EQ(2u, InstApp(info));
    EXPECT_EQ(
        u"Cannot find 'Gone' (or one of its components). Make sure the path and filename "
        u"are correct and that all the required libraries are available.",
        Last().boxText);
}

TEST_F(Shell, NoUiFailsWithoutTheBox) {
    SHELLEXECUTEINFO info = Request(TEXT("\\SDMMC\\UPDATE\\Notes.exe"), sim::kMaskFlagNoUi);
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(193u, GetLastError());
    EXPECT_EQ(sim::ShellOutcome::kFailedQuietly, Last().outcome);
    EXPECT_TRUE(Last().boxText.empty());
}

TEST_F(Shell, ShellFailsMakesEveryStartFailAsAnUnopenableFile) {
    sim::CurrentDevice().shellRefuses = true;
    SHELLEXECUTEINFO info = Request(TEXT("\\SDMMC\\UPDATE\\Kelbrun.EXE"));
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(2u, GetLastError());
    EXPECT_EQ(sim::ShellOutcome::kBox, Last().outcome);
}

// A success after a failure leaves no error behind: each request starts afresh.
TEST_F(Shell, EachRequestStartsAfresh) {
    SHELLEXECUTEINFO bad = Request(TEXT("\\SDMMC\\UPDATE\\Notes.exe"));
    EXPECT_FALSE(ShellExecuteEx(&bad));
    SHELLEXECUTEINFO good = Request(TEXT("\\SDMMC\\UPDATE\\Kelbrun.EXE"));
    EXPECT_TRUE(ShellExecuteEx(&good));
    EXPECT_EQ(0u, GetLastError());
    EXPECT_TRUE(Last().boxText.empty());
    EXPECT_EQ(2u, sim::CurrentDevice().record.calls.shellRequests);
}

struct BoxCase {
    uint32_t error;
    const char16_t* textStart;
    uint32_t flags;
    uint32_t instApp;
};

TEST(ShellBox, TextFlagsAndHInstAppByError) {
    const char16_t* const kInvalid = u"'Kelbrun' is not a valid Windows CE application.";
    const char16_t* const kCannotFind = u"Cannot find 'Kelbrun' (or one of its components).";
    const BoxCase cases[] = {
        {193, kInvalid, 0x10010, 5},
        {11, kInvalid, 0x10010, 11},
        {2, kCannotFind, 0x10010, 2},
        {3, kCannotFind, 0x10010, 3},
        {126, kCannotFind, 0x10010, 5},
        {127, kCannotFind, 0x10010, 5},
        {1114, kCannotFind, 0x10010, 5},
        {1150, kCannotFind, 0x10010, 10},
        {1157, kCannotFind, 0x10010, 32},
        {0x80090006, kCannotFind, 0x10010, 5},
        {12345, kCannotFind, 0x10010, 5},
        {5, u"'Kelbrun' cannot be accessed. Make sure the file is not currently open.", 0x10030, 5},
        {8, u"Cannot execute 'Kelbrun'. A critical component is either missing", 0x10010, 5},
        {14, u"Cannot execute 'Kelbrun'. A critical component is either missing", 0x10010, 5},
        {87, u"A filename must be specified.", 0x10, 5},
        {50, u"A system shell must be present", 0x10, 5},
    };
    for (const BoxCase& c : cases) {
        SCOPED_TRACE(c.error);
        const sim::ShellBox box = sim::ShellErrorBox(u"\\SDMMC\\UPDATE\\Kelbrun.EXE", c.error);
        EXPECT_EQ(0u, box.text.find(c.textStart));
        EXPECT_EQ(u"Kelbrun.EXE", box.caption);
        EXPECT_EQ(c.flags, box.flags);
        EXPECT_EQ(c.instApp, sim::ShellInstApp(c.error));
    }
}

// The caption is the file's name; the program's name in the text ends at its last dot.
TEST(ShellBox, NamesTheProgramWithoutItsExtension) {
    EXPECT_EQ(u"'Nav.Beta' is not a valid Windows CE application.",
              sim::ShellErrorBox(u"\\Card\\Nav.Beta.exe", 193).text);
    EXPECT_EQ(u"Nav.Beta.exe", sim::ShellErrorBox(u"\\Card\\Nav.Beta.exe", 193).caption);
    EXPECT_EQ(u"'Navigon' is not a valid Windows CE application.",
              sim::ShellErrorBox(u"\\Navigon", 193).text);
    EXPECT_EQ(u"Navigon", sim::ShellErrorBox(u"Navigon", 193).caption);
}

}  // namespace
