// kelbrun-sim --check on the programs the unit is to start: the card's copy, the navigation
// application and the init entries' programs, each loaded by the loader's rules. A file the
// unit cannot start is an error naming the cause and what the unit shows; the card's copy being
// a folder is a warning.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "platform/sim/device.h"
#include "tests/check_test_support.h"
#include "tests/pe/exe_patch.h"
#include "tests/pe/test_pe.h"
#include "tests/sim_test_support.h"
#include "tools/kelbrun-sim/program_start_check.h"
#include "tools/kelbrun-sim/setup_check.h"

namespace {

using setupcheck::Finding;
using Level = Finding::Level;
using testing_support::ScratchRoot;

constexpr char16_t kInit[] = u"HKEY_LOCAL_MACHINE\\init";

std::string HostFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const ScratchRoot& root, const std::string& relative, const std::string& bytes) {
    const std::filesystem::path file = root.Path() / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string Program(const std::function<void(testpe::Program&)>& change = {}) {
    testpe::Program program = testpe::MicrosoftProgram();
    if (change) {
        change(program);
    }
    return testpe::Write(program);
}

std::string X86Program() {
    std::string exe = Program();
    exepatch::Put16(exe, exepatch::Coff(exe), 0x14C);
    return exe;
}

std::string Text() {
    return std::string(100, '#') + "\r\nnot a program\r\n";
}

struct CardCase {
    const char* name;
    std::string card;  // the bytes at \SDMMC\UPDATE\Kelbrun.EXE; "/" for a folder, "" for none
    Level level;
    const char* part;  // "" for no finding
};

void PrintTo(const CardCase& c, std::ostream* os) {
    *os << c.name;
}

class CardCopy : public ::testing::TestWithParam<CardCase> {};

TEST_P(CardCopy, IsCheckedAsTheUnitStartsIt) {
    const CardCase& c = GetParam();
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    ScratchRoot root;
    root.AddFile("ResidentFlash/MNAV/Navigon.exe");
    root.AddFolder("SDMMC/Data");
    if (c.card == "/") {
        root.AddFolder("SDMMC/UPDATE/Kelbrun.EXE");
    } else if (!c.card.empty()) {
        Write(root, "SDMMC/UPDATE/Kelbrun.EXE", c.card);
    }
    device.files.SetRoot(root.Path());
    setupcheck::Findings findings;
    programstartcheck::CheckLauncherPrograms(device, u"\\SDMMC\\UPDATE\\Kelbrun.EXE",
                                             u"\\ResidentFlash\\MNAV\\Navigon.exe", findings);
    if (*c.part == '\0') {
        EXPECT_TRUE(findings.empty()) << testing_support::Listing(findings);
        return;
    }
    ASSERT_EQ(1u, findings.size()) << testing_support::Listing(findings);
    EXPECT_EQ(c.level, findings[0].level);
    EXPECT_NE(std::string::npos, findings[0].Text().find(c.part)) << findings[0].Text();
    EXPECT_EQ(0u, findings[0].Text().find("\\SDMMC\\UPDATE\\Kelbrun.EXE, the card's copy"));
    // Checking leaves no trace on the device: not even the loader's lines.
    EXPECT_TRUE(device.record.trail.empty());
}

const char kInvalidBox[] =
    "the shell shows \"'Kelbrun' is not a valid Windows CE application.\" (Kelbrun.EXE)";

INSTANTIATE_TEST_SUITE_P(
    Causes, CardCopy,
    ::testing::Values(
        CardCase{"ACeProgram", Program(), Level::kError, ""},
        CardCase{"NoCopy", "", Level::kError, ""},
        CardCase{"ShortText", "update", Level::kError, "error 2 (ERROR_FILE_NOT_FOUND)"},
        CardCase{"Text", Text(), Level::kError, kInvalidBox},
        CardCase{"X86Program", X86Program(), Level::kError, "error 193 (ERROR_BAD_EXE_FORMAT)"},
        CardCase{"DesktopBuild",
                 HostFile(std::filesystem::path(KELBRUN_SOURCE_DIR) /
                          "examples/card-desktop-build/root/SDMMC/UPDATE/Kelbrun.EXE"),
                 Level::kError, "PE32+"},
        CardCase{"ImportCoredllLacks", Program([](testpe::Program& p) {
                     p.modules[0].imports.push_back({"", 9999});
                 }),
                 Level::kError, "COREDLL.dll's ordinal 9999"},
        CardCase{"DllTheUnitLacks", Program([](testpe::Program& p) {
                     p.modules.push_back({"AYGSHELL.dll", {{"SHFullScreen", 0}}});
                 }),
                 Level::kError, "error 126 (ERROR_MOD_NOT_FOUND)"},
        CardCase{"NewerWindowsCe", Program([](testpe::Program& p) {
                     p.subsystemMajor = 6;
                     p.subsystemMinor = 0;
                 }),
                 Level::kError, "error 1150"},
        CardCase{"AFolder", "/", Level::kWarning, "an Explorer window"}),
    [](const ::testing::TestParamInfo<CardCase>& p) { return p.param.name; });

TEST(ProgramStartCheck, NavigationApplicationThatIsNoProgramIsAnError) {
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    ScratchRoot root;
    Write(root, "ResidentFlash/MNAV/Navigon.exe", Text());
    device.files.SetRoot(root.Path());
    setupcheck::Findings findings;
    programstartcheck::CheckLauncherPrograms(device, u"\\SDMMC\\UPDATE\\Kelbrun.EXE",
                                             u"\\ResidentFlash\\MNAV\\Navigon.exe", findings);
    ASSERT_EQ(1u, findings.size());
    EXPECT_EQ(Level::kError, findings[0].level);
    EXPECT_NE(std::string::npos,
              findings[0].Text().find("\"'Navigon' is not a valid Windows CE application.\""));
}

// A card that mounts late is checked as it is once mounted.
TEST(ProgramStartCheck, CardThatMountsLateIsCheckedOnceMounted) {
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    ScratchRoot root;
    Write(root, "SDMMC/UPDATE/Kelbrun.EXE", X86Program());
    device.files.SetRoot(root.Path());
    ASSERT_FALSE(device.files.AddMount(u"\\SDMMC", 4000).has_value());
    setupcheck::Findings findings;
    programstartcheck::CheckLauncherPrograms(device, u"\\SDMMC\\UPDATE\\Kelbrun.EXE",
                                             u"\\MNAV\\Navigon.exe", findings);
    EXPECT_EQ(1u, findings.size()) << testing_support::Listing(findings);
}

// Init programs: the launch loop shows no box; a missing one is the search's finding, not this.
TEST(ProgramStartCheck, InitProgramTheKernelCannotStartIsAnError) {
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    device.registry.SetString(kInit, u"Launch60", u"\\ResidentFlash\\Service.exe");
    device.registry.SetString(kInit, u"Launch70", u"\\ResidentFlash\\Backlight.exe");
    device.registry.SetString(kInit, u"Launch80", u"\\ResidentFlash\\Gone.exe");
    ScratchRoot root;
    Write(root, "ResidentFlash/Service.exe", X86Program());
    root.AddFile("ResidentFlash/Backlight.exe");
    device.files.SetRoot(root.Path());
    setupcheck::Findings findings;
    bootorder::BootOrder order =
        bootorder::ReadBootOrder(device.registry, device.ownPath, findings);
    findings.clear();
    programstartcheck::CheckInitPrograms(device, order, findings);
    ASSERT_EQ(1u, findings.size()) << testing_support::Listing(findings);
    EXPECT_EQ(Level::kError, findings[0].level);
    EXPECT_NE(std::string::npos, findings[0].Text().find("Launch60"));
    EXPECT_NE(std::string::npos, findings[0].Text().find("error 193"));
    EXPECT_NE(std::string::npos, findings[0].Text().find("shows no box"));
    for (const bootorder::Entry& entry : order.entries) {
        EXPECT_EQ(entry.number == 60, entry.startFails) << entry.number;
    }
}

// What waits for an entry whose program the kernel cannot start goes on without it.
TEST(ProgramStartCheck, WhatWaitsForAProgramThatCannotStartGoesOn) {
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    device.registry.SetString(kInit, u"Launch60", u"\\ResidentFlash\\Service.exe");
    device.registry.SetString(kInit, u"Launch70", u"\\ResidentFlash\\Backlight.exe");
    sim::RegistryValue depend;
    depend.type = sim::kRegBinary;
    depend.bytes = {60, 0};
    device.registry.SetValue(kInit, u"Depend70", depend);
    ScratchRoot root;
    Write(root, "ResidentFlash/Service.exe", X86Program());
    root.AddFile("ResidentFlash/Backlight.exe");
    device.files.SetRoot(root.Path());
    const setupcheck::Report report = setupcheck::CheckSetup(device, true);
    EXPECT_EQ(report.order.entries.size(), report.bootStopsAt);
    EXPECT_EQ(1u, testing_support::Count(report.findings, Level::kWarning))
        << testing_support::Listing(report.findings);
}

// Through the whole check: the card's copy is looked at only where the launcher would start it.
TEST(ProgramStartCheck, SetupCheckLooksAtTheCardCopyTheLauncherWouldStart) {
    for (const bool dataStorage : {true, false}) {
        SCOPED_TRACE(dataStorage);
        sim::ResetDevice();
        sim::Device& device = sim::CurrentDevice();
        device.registry.SetString(testing_support::kPathsKey, u"SDMMC", u"\\SDMMC");
        if (dataStorage) {
            device.registry.SetString(testing_support::kPathsKey, u"DataStorage", u"\\SDMMC\\Data");
        }
        ScratchRoot root;
        Write(root, "SDMMC/UPDATE/Kelbrun.EXE", Text());
        device.files.SetRoot(root.Path());
        const setupcheck::Report report = setupcheck::CheckSetup(device, true);
        bool found = false;
        for (const Finding& f : report.findings) {
            found = found || f.Text().find(
                                 "the card's copy of the launcher: the unit cannot start "
                                 "it") != std::string::npos;
        }
        EXPECT_EQ(dataStorage, found) << testing_support::Listing(report.findings);
    }
}

}  // namespace
