// kelbrun-sim --check on registries and root folders built here on the simulated device: each
// finding at its limits, and the folder findings against what the launcher itself does.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/sim/device.h"
#include "platform/sim/startup.h"
#include "platform/sim/text.h"
#include "tests/sim_test_support.h"
#include "tools/kelbrun-sim/boot_order.h"
#include "tools/kelbrun-sim/setup_check.h"

namespace {

using setupcheck::Finding;
using Level = setupcheck::Finding::Level;
using testing_support::kPathsKey;
using testing_support::ScratchRoot;
using testing_support::SetRawValue;

constexpr char16_t kInit[] = u"HKEY_LOCAL_MACHINE\\init";
constexpr char16_t kProfiles[] = u"HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles";

// One value of the init key; numbers become the REG_BINARY of 16-bit launch numbers.
struct InitValue {
    std::u16string name;
    std::u16string text;            // a REG_SZ, when bytes is empty and numbers is empty
    std::vector<uint32_t> numbers;  // a DependNN's launch numbers
    std::vector<uint8_t> bytes;     // raw bytes, with type
    uint32_t type = sim::kRegSz;
};

InitValue Launch(int number, std::u16string program) {
    return {u"Launch" + sim::FromUtf8(std::to_string(number)).value(),
            std::move(program),
            {},
            {},
            sim::kRegSz};
}

InitValue Depend(int number, std::vector<uint32_t> numbers) {
    return {u"Depend" + sim::FromUtf8(std::to_string(number)).value(),
            {},
            std::move(numbers),
            {},
            sim::kRegBinary};
}

InitValue Raw(std::u16string name, std::vector<uint8_t> bytes, uint32_t type) {
    return {std::move(name), {}, {}, std::move(bytes), type};
}

void SetInit(sim::Device& device, const std::vector<InitValue>& values) {
    for (const InitValue& v : values) {
        sim::RegistryValue value;
        value.type = v.type;
        if (!v.numbers.empty()) {
            for (uint32_t n : v.numbers) {
                value.bytes.push_back(static_cast<uint8_t>(n & 0xFF));
                value.bytes.push_back(static_cast<uint8_t>(n >> 8));
            }
        } else if (!v.bytes.empty() || v.type != sim::kRegSz) {
            value.bytes = v.bytes;
        } else {
            value = sim::Registry::StringValue(v.text);
        }
        device.registry.SetValue(kInit, v.name, value);
    }
}

// A unit set up well: the launcher last in the boot, its three folders set.
sim::Device& WellSetUpDevice() {
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    device.waitForReal = false;
    SetInit(device, {Launch(20, u"device.exe"), Launch(30, u"gwes.exe"), Depend(30, {20}),
                     Launch(50, u"Kelbrun.EXE"), Depend(50, {20, 30})});
    device.registry.SetString(kPathsKey, u"SDMMC", u"\\SDMMC");
    device.registry.SetString(kPathsKey, u"DataStorage", u"\\SDMMC\\Data");
    device.registry.SetString(kPathsKey, u"User", u"\\ResidentFlash");
    return device;
}

std::string Listing(const setupcheck::Findings& findings) {
    std::string listing;
    for (const Finding& f : findings) {
        listing += (f.level == Level::kError ? "error: " : "warning: ") + f.text + "\n";
    }
    return listing;
}

size_t Count(const setupcheck::Findings& findings, Level level) {
    size_t count = 0;
    for (const Finding& f : findings) {
        count += f.level == level ? 1 : 0;
    }
    return count;
}

bool Has(const setupcheck::Findings& findings, Level level, const std::string& part) {
    for (const Finding& f : findings) {
        if (f.level == level && f.text.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(SetupCheck, AWellSetUpUnitHasNoFinding) {
    const setupcheck::Report report = setupcheck::CheckSetup(WellSetUpDevice(), false);
    EXPECT_TRUE(report.findings.empty()) << Listing(report.findings);
    ASSERT_EQ(3u, report.order.entries.size());
    EXPECT_TRUE(report.order.entries[2].launcher);
    EXPECT_EQ((std::vector<uint32_t>{20, 30}), report.order.entries[2].waitsFor);
}

// --- the init key, as the kernel reads it ------------------------------------------------

struct InitCase {
    const char* name;
    std::vector<InitValue> values;  // set on top of the well set-up unit's
    size_t errors;
    size_t warnings;
    std::string part;  // in the one finding there is, when there is one
};

void PrintTo(const InitCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<uint8_t> Bytes(size_t count) {
    std::vector<uint8_t> bytes(count, 0);
    for (size_t i = 0; i < count; i += 2) {
        bytes[i] = 20;  // device.exe, which starts first
    }
    return bytes;
}

std::vector<InitValue> ManyEntries(int count) {
    std::vector<InitValue> values;
    values.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count - 3; ++i) {
        values.push_back(Launch(100 + i, u"service.exe"));
    }
    return values;
}

class InitValues : public ::testing::TestWithParam<InitCase> {};

TEST_P(InitValues, FindWhatTheKernelWouldNotReadAsMeant) {
    const InitCase& c = GetParam();
    sim::Device& device = WellSetUpDevice();
    SetInit(device, c.values);
    const setupcheck::Report report = setupcheck::CheckSetup(device, false);
    EXPECT_EQ(c.errors, Count(report.findings, Level::kError)) << Listing(report.findings);
    EXPECT_EQ(c.warnings, Count(report.findings, Level::kWarning)) << Listing(report.findings);
    if (!c.part.empty()) {
        EXPECT_NE(std::string::npos, Listing(report.findings).find(c.part))
            << Listing(report.findings);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, InitValues,
    ::testing::Values(
        InitCase{"DependOf64Bytes", {Raw(u"Depend50", Bytes(64), sim::kRegBinary)}, 0, 0, ""},
        InitCase{"DependOf66Bytes",
                 {Raw(u"Depend50", Bytes(66), sim::kRegBinary)},
                 1,
                 0,
                 "Depend50: holds 66 bytes, more than the 64"},
        InitCase{"DependOfOddLength",
                 {Raw(u"Depend50", Bytes(3), sim::kRegBinary)},
                 1,
                 0,
                 "Depend50: holds an odd number of bytes (3)"},
        InitCase{"DependNotBinary",
                 {Raw(u"Depend50", Bytes(2), sim::kRegDword)},
                 0,
                 1,
                 "Depend50: is REG_DWORD, not REG_BINARY: the kernel reads its bytes"},
        // The kernel reads both names' digits as numbers, and a DependNN alone makes an entry.
        InitCase{"DependPairedByNumber",
                 {Launch(60, u"svc.exe"), {u"Depend060", {}, {50}, {}, sim::kRegBinary}},
                 1,
                 0,
                 "entry 60 (svc.exe) waits for entry 50 (Kelbrun.EXE)"},
        InitCase{"DependAloneWaitsForTheLauncher",
                 {Depend(60, {50})},
                 1,
                 1,
                 "entry 60 ((no program)) waits for entry 50 (Kelbrun.EXE)"},
        InitCase{"AZeroEndsTheDependList", {Launch(60, u"svc.exe"), Depend(60, {0, 50})}, 0, 0, ""},
        InitCase{"DependWithoutItsLaunch", {Depend(60, {20})}, 0, 1, "no Launch60 beside it"},
        InitCase{"LaunchNotString",
                 {Raw(u"Launch60", Bytes(4), sim::kRegBinary)},
                 0,
                 1,
                 "Launch60: is REG_BINARY, not REG_SZ: the kernel takes its bytes as the "
                 "program's name all the same"},
        InitCase{"LaunchWithoutDigits",
                 {Raw(u"LaunchX", Bytes(4), sim::kRegSz)},
                 1,
                 0,
                 "\"X\" after \"Launch\" is no launch number"},
        InitCase{"DependWithoutDigits",
                 {Raw(u"DependX", Bytes(2), sim::kRegBinary)},
                 1,
                 0,
                 "\"X\" after \"Depend\" is no launch number"},
        InitCase{"LaunchOtherCase",
                 {{u"launch60", u"service.exe", {}, {}, sim::kRegSz}},
                 0,
                 1,
                 "launch60: is not read"},
        InitCase{"DependOtherCase", {{u"DEPEND50", {}, {20}, {}, sim::kRegBinary}}, 0, 0, ""},
        InitCase{"LaunchNamesNothing", {Launch(60, u"")}, 1, 0, "Launch60: names no program"},
        InitCase{"SameNumberTwice",
                 {{u"Launch030", u"other.exe", {}, {}, sim::kRegSz}},
                 1,
                 0,
                 "Launch30: has launch number 30, as Launch030 has"},
        InitCase{
            "NumberBeyond16Bits", {Launch(65536, u"late.exe")}, 0, 1, "does not fit the 16 bits"},
        InitCase{"NumberOf16Bits", {Launch(65535, u"late.exe")}, 0, 0, ""},
        InitCase{"ThirtyTwoEntries", ManyEntries(32), 0, 0, ""},
        InitCase{"ThirtyThreeEntries", ManyEntries(33), 1, 0,
                 "33 entries, more than the 32 the kernel keeps: some are never started, "
                 "likely the last ones (129)"}));

// DependOtherCase: "DEPEND50" is not "Depend50", so the kernel finds no dependencies for 50
// and the launcher's entry waits for nothing. The value itself is reported.
TEST(SetupCheck, ADependInAnotherCaseIsNotRead) {
    sim::Device& device = WellSetUpDevice();
    device.registry.DeleteValue(kInit, u"Depend50");
    SetInit(device, {{u"depend50x", {}, {20}, {}, sim::kRegBinary}});
    const setupcheck::Report report = setupcheck::CheckSetup(device, false);
    EXPECT_TRUE(Has(report.findings, Level::kWarning, "depend50x: is not read"))
        << Listing(report.findings);
    EXPECT_TRUE(report.order.entries[2].waitsFor.empty());
}

// --- what the entries wait for -------------------------------------------------------------

struct WaitCase {
    const char* name;
    std::vector<InitValue> values;
    std::vector<std::string> errors;  // each in its own finding, in this order
    size_t warnings;
};

void PrintTo(const WaitCase& c, std::ostream* os) {
    *os << c.name;
}

class Waits : public ::testing::TestWithParam<WaitCase> {};

TEST_P(Waits, FindEveryWaitThatNeverEnds) {
    const WaitCase& c = GetParam();
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    SetInit(device, c.values);
    bootorder::BootOrder order;
    setupcheck::Findings findings;
    order = bootorder::ReadBootOrder(device.registry, device.ownPath, findings);
    ASSERT_TRUE(findings.empty()) << Listing(findings);
    bootorder::CheckWaits(order, findings);
    std::vector<std::string> errors;
    for (const Finding& f : findings) {
        if (f.level == Level::kError) {
            errors.push_back(f.text);
        }
    }
    ASSERT_EQ(c.errors.size(), errors.size()) << Listing(findings);
    for (size_t i = 0; i < errors.size(); ++i) {
        EXPECT_NE(std::string::npos, errors[i].find(c.errors[i])) << errors[i];
    }
    EXPECT_EQ(c.warnings, Count(findings, Level::kWarning)) << Listing(findings);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Waits,
    ::testing::Values(
        WaitCase{"OnAnEarlierEntry",
                 {Launch(20, u"device.exe"), Launch(50, u"Kelbrun.EXE"), Depend(50, {20})},
                 {},
                 0},
        WaitCase{"OnTheLauncher",
                 {Launch(20, u"device.exe"), Launch(50, u"Kelbrun.EXE"), Launch(60, u"svc.exe"),
                  Depend(60, {50}), Launch(70, u"ui.exe")},
                 {"Depend60: entry 60 (svc.exe) waits for entry 50 (Kelbrun.EXE), the "
                  "launcher's own entry; the launcher never calls SignalStarted: it never "
                  "starts; the launch loop waits there for ever, so no later entry starts "
                  "either (70) (rests on CE 3.0's launch loop)"},
                 0},
        WaitCase{"OnItself",
                 {Launch(20, u"device.exe"), Depend(20, {20}), Launch(50, u"Kelbrun.EXE")},
                 {"entry 20 (device.exe) waits for itself: it never starts; the launch loop "
                  "waits there for ever, so no later entry starts either (50), the launcher "
                  "among them"},
                 0},
        WaitCase{"OnALaterEntry",
                 {Launch(20, u"device.exe"), Depend(20, {30}), Launch(30, u"gwes.exe"),
                  Launch(50, u"Kelbrun.EXE")},
                 {"entry 20 (device.exe) waits for entry 30 (gwes.exe), which starts only after "
                  "it: it never starts; the launch loop waits there for ever, so no later entry "
                  "starts either (30, 50), the launcher among them"},
                 0},
        WaitCase{"TheLauncherOnALaterEntry",
                 {Launch(20, u"device.exe"), Launch(50, u"Kelbrun.EXE"), Depend(50, {60}),
                  Launch(60, u"svc.exe")},
                 {"entry 50 (Kelbrun.EXE) waits for entry 60 (svc.exe), which starts only after "
                  "it: it never starts; the launch loop waits there for ever, and the launcher "
                  "is never started, so no later entry starts either (60) (rests"},
                 0},
        WaitCase{"AndThoseThatWaitForItInTurn",
                 {Launch(20, u"device.exe"), Launch(50, u"Kelbrun.EXE"), Launch(60, u"a.exe"),
                  Depend(60, {50}), Launch(70, u"b.exe"), Depend(70, {20}), Launch(80, u"c.exe"),
                  Depend(80, {90}), Launch(90, u"d.exe"), Depend(90, {60})},
                 {"entry 60 (a.exe) waits for entry 50 (Kelbrun.EXE), the launcher's own entry; "
                  "the launcher never calls SignalStarted: it never starts; the launch loop "
                  "waits there for ever, so no later entry starts either (70, 80, 90); 80, 90 "
                  "wait for it through DependNN as well (rests",
                  "entry 80 (c.exe) waits for entry 90 (d.exe), which starts only after it"},
                 0},
        WaitCase{"OnANumberWithoutEntry",
                 {Launch(20, u"device.exe"), Launch(50, u"Kelbrun.EXE"), Depend(50, {20, 45})},
                 {},
                 1},
        WaitCase{"TwoStuckEntriesTheFirstStopsTheBoot",
                 {Launch(20, u"device.exe"), Launch(50, u"Kelbrun.EXE"), Launch(60, u"a.exe"),
                  Depend(60, {50}), Launch(70, u"b.exe"), Depend(70, {70})},
                 {"entry 60 (a.exe) waits for entry 50 (Kelbrun.EXE), the launcher's own entry; "
                  "the launcher never calls SignalStarted: it never starts; the launch loop "
                  "waits there for ever, so no later entry starts either (70) (rests",
                  "entry 70 (b.exe) waits for itself: it never starts (rests"},
                 0}));

// --- the launcher started at boot, and found -----------------------------------------------

void WriteFile(const ScratchRoot& root, const std::string& relative, const std::string& text) {
    root.AddFile(relative);
    std::ofstream(root.Path() / relative, std::ios::binary) << text;
}

struct StartCase {
    const char* name;
    std::vector<InitValue> values;                           // the whole init key
    std::vector<std::pair<std::string, std::string>> files;  // under the root: path, text
    std::u16string ownPath;
    size_t errors;
    size_t warnings;
    std::string part;
};

void PrintTo(const StartCase& c, std::ostream* os) {
    *os << c.name;
}

class LauncherStarts : public ::testing::TestWithParam<StartCase> {};

TEST_P(LauncherStarts, FromInitOrAShortcutAndFromAFile) {
    const StartCase& c = GetParam();
    sim::Device& device = WellSetUpDevice();
    device.registry.DeleteKey(kInit);
    SetInit(device, c.values);
    ScratchRoot root;
    for (const auto& [path, text] : c.files) {
        WriteFile(root, path, text);
    }
    root.AddFolder("SDMMC");
    device.files.SetRoot(root.Path());
    device.ownPath = c.ownPath;
    const setupcheck::Report report = setupcheck::CheckSetup(device, true);
    EXPECT_EQ(c.errors, Count(report.findings, Level::kError)) << Listing(report.findings);
    EXPECT_EQ(c.warnings, Count(report.findings, Level::kWarning)) << Listing(report.findings);
    if (!c.part.empty()) {
        EXPECT_NE(std::string::npos, Listing(report.findings).find(c.part))
            << Listing(report.findings);
    }
}

const char16_t kDefaultSelf[] = u"\\Windows\\Kelbrun.EXE";
const std::string kShortcut = "Windows/StartUp/Kelbrun.lnk";

INSTANTIATE_TEST_SUITE_P(
    Table, LauncherStarts,
    ::testing::Values(
        StartCase{"NothingStartsIt",
                  {Launch(20, u"device.exe")},
                  {},
                  kDefaultSelf,
                  1,
                  0,
                  "no LaunchNN names the launcher (Kelbrun.EXE, or the file name of --self), "
                  "nor does a shortcut in \\Windows\\StartUp"},
        StartCase{"AShortcut",
                  {},
                  {{kShortcut, "23#\\Windows\\Kelbrun.EXE\r\n"}},
                  kDefaultSelf,
                  0,
                  0,
                  ""},
        StartCase{"AQuotedShortcutWithArguments",
                  {},
                  {{"Windows/StartUp/go.LNK", "40#\"\\Program Files\\kelbrun.exe\" -x"}},
                  kDefaultSelf,
                  0,
                  0,
                  ""},
        StartCase{"AShortcutToAnotherProgram",
                  {},
                  {{kShortcut, "20#\\Windows\\Kelbrun2.exe"}},
                  kDefaultSelf,
                  1,
                  0,
                  "nor does a shortcut"},
        StartCase{"AShortcutThatIsNoLnk",
                  {},
                  {{"Windows/StartUp/Kelbrun.txt", "20#Kelbrun.EXE"}},
                  kDefaultSelf,
                  1,
                  0,
                  "nor does a shortcut"},
        // A root with a Windows folder describes \Windows: the launcher's file must be there.
        StartCase{"BothWays",
                  {Launch(50, u"Kelbrun.EXE")},
                  {{kShortcut, "23#\\Windows\\Kelbrun.EXE"}, {"Windows/Kelbrun.EXE", "x"}},
                  kDefaultSelf,
                  0,
                  1,
                  "the launcher is started 2 times at boot (entry 50 (Kelbrun.EXE), "
                  "\\Windows\\StartUp\\Kelbrun.lnk)"},
        StartCase{
            "ByTheFileNameOfSelf", {Launch(50, u"start")}, {}, u"\\Windows\\Start.exe", 0, 0, ""},
        StartCase{"WithoutExeInItsName", {Launch(50, u"kelbrun")}, {}, kDefaultSelf, 0, 0, ""},
        StartCase{"ANameThatOnlyBeginsSo",
                  {Launch(50, u"Kelbrun.EXE.bak")},
                  {},
                  kDefaultSelf,
                  1,
                  0,
                  "no LaunchNN names the launcher"},
        StartCase{"AFolderNotInTheRoot",
                  {Launch(50, u"\\Apps\\Kelbrun.EXE")},
                  {},
                  kDefaultSelf,
                  1,
                  0,
                  "Launch50: \"\\Apps\\Kelbrun.EXE\" is no file under --root (tried "
                  "\\Apps\\Kelbrun.EXE, \\Apps\\Kelbrun.EXE.exe): the kernel cannot start the "
                  "launcher"},
        StartCase{"AFolderInTheRoot",
                  {Launch(50, u"\\Apps\\Kelbrun.EXE")},
                  {{"Apps/Kelbrun.EXE", "x"}},
                  kDefaultSelf,
                  0,
                  0,
                  ""},
        StartCase{"ExeAddedToAFolder",
                  {Launch(50, u"\\Apps\\Kelbrun")},
                  {{"Apps/Kelbrun.exe", "x"}},
                  kDefaultSelf,
                  0,
                  0,
                  ""},
        StartCase{"AFolderOfThatName",
                  {Launch(50, u"\\Apps\\Kelbrun.EXE")},
                  {{"Apps/Kelbrun.EXE/inside", "x"}},
                  kDefaultSelf,
                  1,
                  0,
                  "is no file"},
        StartCase{"NoFolderFoundInTheRootFolder",
                  {Launch(50, u"Kelbrun.EXE")},
                  {{"Kelbrun.EXE", "x"}},
                  u"\\Apps\\Kelbrun.EXE",
                  0,
                  0,
                  ""},
        StartCase{"NoFolderFoundNowhere",
                  {Launch(50, u"Kelbrun.EXE")},
                  {},
                  u"\\Apps\\Kelbrun.EXE",
                  1,
                  0,
                  "(tried \\Windows\\Kelbrun.EXE, \\Windows\\Kelbrun.EXE.exe, \\Kelbrun.EXE, "
                  "\\Kelbrun.EXE.exe)"},
        StartCase{"NoFolderAtItsOwnPath", {Launch(50, u"Kelbrun")}, {}, kDefaultSelf, 0, 0, ""}));

TEST(SetupCheck, WithoutARootNoFileIsLookedFor) {
    sim::Device& device = WellSetUpDevice();
    device.registry.SetString(kInit, u"Launch50", u"\\Apps\\Kelbrun.EXE");
    const setupcheck::Report report = setupcheck::CheckSetup(device, false);
    EXPECT_TRUE(report.findings.empty()) << Listing(report.findings);
    EXPECT_FALSE(report.shortcutsLookedAt);
}

// --- the launcher's own path ---------------------------------------------------------------

struct SelfCase {
    const char* name;
    std::u16string ownPath;
    std::string part;  // the one error, or none when empty
};

void PrintTo(const SelfCase& c, std::ostream* os) {
    *os << c.name;
}

class OwnPath : public ::testing::TestWithParam<SelfCase> {};

TEST_P(OwnPath, AgreesWithTheLauncher) {
    const SelfCase& c = GetParam();
    sim::Device& device = WellSetUpDevice();
    device.ownPath = c.ownPath;
    ScratchRoot root;
    root.AddFile("SDMMC/UPDATE/Kelbrun.EXE");
    device.files.SetRoot(root.Path());
    const setupcheck::Report report = setupcheck::CheckSetup(device, false);
    EXPECT_EQ(c.part.empty() ? 0u : 1u, report.findings.size()) << Listing(report.findings);
    if (!c.part.empty()) {
        EXPECT_TRUE(Has(report.findings, Level::kError, c.part)) << Listing(report.findings);
    }
    // The launcher itself: a finding here means it starts nothing.
    const sim::RunResult run = sim::RunLauncher();
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(c.part.empty(), !run.record.events.empty() && run.record.calls.shellRequests == 1);
}

const std::u16string kLongFolder = u"\\Windows\\" + std::u16string(105, u'k');  // 114 characters

INSTANTIATE_TEST_SUITE_P(
    Table, OwnPath,
    ::testing::Values(SelfCase{"InWindows", u"\\Windows\\Kelbrun.EXE", ""},
                      SelfCase{"InUpdate", u"\\SDMMC\\UPDATE\\Kelbrun.EXE", "holds \"UPDATE\""},
                      SelfCase{"UpdateInOtherCase", u"\\SDMMC\\Update\\Kelbrun.EXE", ""},
                      SelfCase{"Of126Characters", kLongFolder + u"\\Kelbrun.EXE", ""},
                      SelfCase{"Of127Characters", kLongFolder + u"k\\Kelbrun.EXE",
                               "127 characters, more than the 126 the launcher trusts"}));

// --- the folder values, and the launcher reading them --------------------------------------

struct FolderCase {
    const char* name;
    std::u16string valueName;
    std::vector<uint8_t> bytes;
    uint32_t type;
    size_t errors;
    size_t warnings;
    std::string part;
};

void PrintTo(const FolderCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<uint8_t> Text(std::u16string_view text, bool terminated = true) {
    std::vector<uint8_t> bytes = sim::Utf16LeBytes(text);
    if (terminated) {
        bytes.insert(bytes.end(), {0, 0});
    }
    return bytes;
}

std::u16string Folder(size_t length) {
    return u"\\" + std::u16string(length - 1, u'f');
}

class FolderValues : public ::testing::TestWithParam<FolderCase> {};

// What the check says about a folder value, and whether the launcher (run on the same device)
// then did what a unit without that finding does.
TEST_P(FolderValues, AgreeWithTheLauncherRun) {
    const FolderCase& c = GetParam();
    sim::Device& device = WellSetUpDevice();
    if (c.type == 0xFFFFFFFF) {
        device.registry.DeleteValue(kPathsKey, c.valueName);
    } else {
        SetRawValue(device, c.valueName, c.bytes, c.type);
    }
    const setupcheck::Report report = setupcheck::CheckSetup(device, false);
    EXPECT_EQ(c.errors, Count(report.findings, Level::kError)) << Listing(report.findings);
    EXPECT_EQ(c.warnings, Count(report.findings, Level::kWarning)) << Listing(report.findings);
    if (!c.part.empty()) {
        EXPECT_NE(std::string::npos, Listing(report.findings).find(c.part))
            << Listing(report.findings);
    }

    const sim::RunResult run = sim::RunLauncher();
    ASSERT_TRUE(run.exited);
    std::u16string trail;
    for (const std::u16string& line : run.record.trail) {
        trail += line;
    }
    const bool tooLong = trail.find(u"Path too long") != std::u16string::npos;
    const bool failed = trail.find(u"RegQueryValueEx Failed") != std::u16string::npos;
    const bool probed = run.record.calls.searches > 0;
    EXPECT_EQ(Has(report.findings, Level::kError, "the launcher's path holds"), tooLong);
    EXPECT_EQ(Has(report.findings, Level::kError, "the launcher starts nothing"), !probed);
    EXPECT_EQ(Has(report.findings, Level::kError, "its query fails") ||
                  Has(report.findings, Level::kWarning, "its query fails") ||
                  Has(report.findings, Level::kError, "missing") ||
                  Has(report.findings, Level::kWarning, "missing"),
              failed);
}

constexpr uint32_t kRemoved = 0xFFFFFFFF;

INSTANTIATE_TEST_SUITE_P(
    Table, FolderValues,
    ::testing::Values(
        FolderCase{"CardOf236", u"SDMMC", Text(Folder(236)), sim::kRegSz, 0, 0, ""},
        FolderCase{"CardOf237", u"SDMMC", Text(Folder(237)), sim::kRegSz, 1, 0,
                   "SDMMC: 237 characters, and with \\UPDATE\\Kelbrun.EXE after it 256, more "
                   "than the 255 the launcher's path holds: it never looks for the card's copy"},
        FolderCase{"UserOf238", u"User", Text(Folder(238)), sim::kRegSz, 0, 0, ""},
        FolderCase{"UserOf239", u"User", Text(Folder(239)), sim::kRegSz, 1, 0,
                   "User: 239 characters, and with \\MNAV\\Navigon.exe after it 256"},
        FolderCase{"DataOf255Unterminated", u"DataStorage", Text(Folder(255), false), sim::kRegSz,
                   0, 0, ""},
        FolderCase{"DataOf255Terminated", u"DataStorage", Text(Folder(255)), sim::kRegSz, 1, 0,
                   "DataStorage: 512 bytes, more than the 510 the launcher's buffer takes: its "
                   "query fails and the launcher starts nothing"},
        FolderCase{"CardOf511Bytes", u"SDMMC", std::vector<uint8_t>(511, 'a'), sim::kRegBinary, 1,
                   0, "SDMMC: 511 bytes"},
        FolderCase{"UserOf511Bytes", u"User", std::vector<uint8_t>(511, 'a'), sim::kRegBinary, 0, 1,
                   "User: 511 bytes, more than the 510 the launcher's buffer takes: its "
                   "query fails and the launcher looks for \\MNAV\\Navigon.exe from the root"},
        FolderCase{"CardMissing",
                   u"SDMMC",
                   {},
                   kRemoved,
                   1,
                   0,
                   "SDMMC: missing: the launcher starts nothing"},
        FolderCase{"DataMissing", u"DataStorage", {}, kRemoved, 1, 0, "DataStorage: missing"},
        FolderCase{"UserMissing", u"User", {}, kRemoved, 0, 1, "User: missing: the launcher looks"},
        FolderCase{"CardEmpty", u"SDMMC", Text(u""), sim::kRegSz, 1, 0,
                   "SDMMC: empty, which counts as not set"},
        FolderCase{"UserEmpty", u"User", Text(u""), sim::kRegSz, 0, 1, "User: empty"},
        FolderCase{"CardWithoutData",
                   u"SDMMC",
                   {},
                   sim::kRegBinary,
                   1,
                   1,
                   "SDMMC: is REG_BINARY, not REG_SZ: the launcher takes its bytes as text, "
                   "which gives \"\""},
        FolderCase{"CardExpandSz", u"SDMMC", Text(u"%CARD%"), 2, 0, 1,
                   "SDMMC: is REG_EXPAND_SZ, not REG_SZ: the launcher does not expand it and "
                   "takes \"%CARD%\""},
        FolderCase{"CardMultiSz", u"SDMMC", Text(u"\\SDMMC\0\\Other\0", true), sim::kRegMultiSz, 0,
                   1, "its first string, \"\\SDMMC\""},
        FolderCase{"CardDword",
                   u"SDMMC",
                   {0x5c, 0, 0x41, 0},
                   sim::kRegDword,
                   0,
                   1,
                   "is REG_DWORD, not REG_SZ: the launcher takes its bytes as text, which gives "
                   "\"\\A\""},
        FolderCase{"CardOddBytes",
                   u"SDMMC",
                   {0x5c, 0, 0x41},
                   sim::kRegBinary,
                   0,
                   1,
                   "which gives \"\\A\""}));

TEST(SetupCheck, AMissingKeyIsOneFinding) {
    sim::Device& device = WellSetUpDevice();
    device.registry.DeleteKey(kPathsKey);
    const setupcheck::Report report = setupcheck::CheckSetup(device, false);
    ASSERT_EQ(1u, report.findings.size()) << Listing(report.findings);
    EXPECT_TRUE(Has(report.findings, Level::kError,
                    "SOFTWARE\\Tavrin\\Paths: missing: the launcher reads no folder"));
}

// --- the card folder and the storage manager's profiles ------------------------------------

struct CardCase {
    const char* name;
    std::vector<std::pair<std::u16string, std::u16string>> folders;  // key below Profiles, Folder
    std::u16string card;                                             // the SDMMC value
    std::string mount;       // a folder under the root that mounts, if any
    std::string rootFolder;  // a folder under the root, if any
    Level level;
    size_t findings;
};

void PrintTo(const CardCase& c, std::ostream* os) {
    *os << c.name;
}

class CardFolder : public ::testing::TestWithParam<CardCase> {};

TEST_P(CardFolder, IsANameTheStorageManagerGives) {
    const CardCase& c = GetParam();
    sim::Device& device = WellSetUpDevice();
    for (const auto& [key, folder] : c.folders) {
        const std::u16string path = sim::Registry::Join(kProfiles, key);
        device.registry.CreateKey(path);
        device.registry.SetString(path, u"Name", u"a profile");
        if (!folder.empty()) {
            device.registry.SetString(path, u"Folder", folder);
        }
    }
    device.registry.SetString(kPathsKey, u"SDMMC", c.card);
    ScratchRoot root;
    root.AddFolder("ResidentFlash");
    if (!c.mount.empty()) {
        root.AddFolder(c.mount);
    }
    if (!c.rootFolder.empty()) {
        root.AddFolder(c.rootFolder);
    }
    device.files.SetRoot(root.Path());
    if (!c.mount.empty()) {
        ASSERT_FALSE(device.files.AddMount(sim::FromUtf8("\\" + c.mount).value(), 100));
    }
    const setupcheck::Report report = setupcheck::CheckSetup(device, true);
    ASSERT_EQ(c.findings, report.findings.size()) << Listing(report.findings);
    if (c.findings == 1) {
        EXPECT_EQ(c.level, report.findings[0].level) << Listing(report.findings);
        EXPECT_NE(std::string::npos, report.findings[0].text.find("is no name the storage manager"))
            << Listing(report.findings);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CardFolder,
    ::testing::Values(
        CardCase{"NoProfiles", {}, u"\\SDMMC", "", "", Level::kError, 0},
        CardCase{"TheProfilesFolder",
                 {{u"SDMemory", u"Storage Card"}},
                 u"\\Storage Card\\x",
                 "",
                 "",
                 Level::kError,
                 0},
        CardCase{"InOtherCase",
                 {{u"SDMemory", u"Storage Card"}},
                 u"\\STORAGE CARD",
                 "",
                 "",
                 Level::kError,
                 0},
        CardCase{"NotTheProfilesFolder",
                 {{u"SDMemory", u"Storage Card"}},
                 u"\\SDMMC",
                 "",
                 "",
                 Level::kError,
                 1},
        CardCase{"AFileSystemSubkeysFolder",
                 {{u"SDMemory", u""}, {u"SDMemory\\FATFS", u"SDMMC"}},
                 u"\\SDMMC",
                 "",
                 "",
                 Level::kError,
                 0},
        CardCase{"ADeeperKeysFolderCountsNot",
                 {{u"SDMemory", u""}, {u"SDMemory\\FATFS\\Filters", u"SDMMC"}},
                 u"\\SDMMC",
                 "",
                 "",
                 Level::kError,
                 1},
        CardCase{
            "TheDefaultName", {{u"SDMemory", u""}}, u"\\Mounted Volume", "", "", Level::kError, 0},
        CardCase{"NotTheDefaultWhenTheProfileNamesOne",
                 {{u"SDMemory", u"Storage Card"}},
                 u"\\Mounted Volume",
                 "",
                 "",
                 Level::kError,
                 1},
        CardCase{"TheDefaultsFolder",
                 {{u"", u"Card"}, {u"SDMemory", u""}},
                 u"\\Card",
                 "",
                 "",
                 Level::kError,
                 0},
        CardCase{"NotTheDefaultOnceTheDefaultsFolderIsSet",
                 {{u"", u"Card"}, {u"SDMemory", u""}},
                 u"\\Mounted Volume",
                 "",
                 "",
                 Level::kError,
                 1},
        CardCase{"DigitTwo",
                 {{u"SDMemory", u"Storage Card"}},
                 u"\\Storage Card2",
                 "",
                 "",
                 Level::kError,
                 0},
        CardCase{"DigitNine",
                 {{u"SDMemory", u"Storage Card"}},
                 u"\\Storage Card9",
                 "",
                 "",
                 Level::kError,
                 0},
        CardCase{"DigitOne",
                 {{u"SDMemory", u"Storage Card"}},
                 u"\\Storage Card1",
                 "",
                 "",
                 Level::kError,
                 1},
        CardCase{"DigitZero",
                 {{u"SDMemory", u"Storage Card"}},
                 u"\\Storage Card0",
                 "",
                 "",
                 Level::kError,
                 1},
        CardCase{"TwoDigits",
                 {{u"SDMemory", u"Storage Card"}},
                 u"\\Storage Card10",
                 "",
                 "",
                 Level::kError,
                 1},
        CardCase{"ALetter",
                 {{u"SDMemory", u"Storage Card"}},
                 u"\\Storage CardX",
                 "",
                 "",
                 Level::kError,
                 1},
        CardCase{"AMountStandsForIt",
                 {{u"SDMemory", u"Storage Card"}},
                 u"\\SDMMC",
                 "SDMMC",
                 "",
                 Level::kWarning,
                 1},
        CardCase{"ARootFolderStandsForIt",
                 {{u"SDMemory", u"Storage Card"}},
                 u"\\SDMMC",
                 "",
                 "SDMMC",
                 Level::kWarning,
                 1}));

// --- what --check writes ---------------------------------------------------------------------

TEST(SetupCheck, WritesTheBootOrderTheFindingsAndTheCounts) {
    sim::Device& device = WellSetUpDevice();
    SetInit(device, {Launch(100, u"\\ResidentFlash\\svc.exe"), Depend(100, {50}),
                     Raw(u"Depend20", Bytes(66), sim::kRegBinary)});
    device.registry.DeleteValue(kPathsKey, u"User");
    const std::string text = setupcheck::FormatReport(setupcheck::CheckSetup(device, false));
    EXPECT_EQ(
        "boot order, HKEY_LOCAL_MACHINE\\init:\n"
        "   20  device.exe\n"
        "   30  gwes.exe                waits for 20\n"
        "   50  Kelbrun.EXE             waits for 20, 30  <- the launcher\n"
        "  100  \\ResidentFlash\\svc.exe  waits for 50  (never starts)\n"
        "start-up shortcuts, \\Windows\\StartUp: not looked at (no --root)\n"
        "check: error: HKEY_LOCAL_MACHINE\\init, Depend20: holds 66 bytes, more than the 64 (32 "
        "launch numbers) the kernel reads: the kernel skips it, and entry 20 starts without "
        "waiting for anything (rests on CE 3.0's launch loop)\n"
        "check: error: HKEY_LOCAL_MACHINE\\init, Depend100: entry 100 (\\ResidentFlash\\svc.exe) "
        "waits for entry 50 (Kelbrun.EXE), the launcher's own entry; the launcher never calls "
        "SignalStarted: it never starts; the launch loop waits there for ever (rests on CE 3.0's "
        "launch loop)\n"
        "check: warning: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, User: missing: the launcher "
        "looks for \\MNAV\\Navigon.exe from the root folder\n"
        "check: 2 errors, 1 warning\n",
        text);
}

TEST(SetupCheck, CountsOneErrorAndNoWarnings) {
    sim::Device& device = WellSetUpDevice();
    device.registry.DeleteKey(kInit);
    const std::string text = setupcheck::FormatReport(setupcheck::CheckSetup(device, false));
    EXPECT_NE(std::string::npos, text.find("boot order, HKEY_LOCAL_MACHINE\\init: no such key\n"))
        << text;
    EXPECT_TRUE(text.ends_with("\ncheck: 1 error, 0 warnings\n")) << text;
}

}  // namespace
