// kelbrun-sim --check on registries and root folders built here on the simulated device: each
// finding at its limits, and the folder findings against what the launcher itself does.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/sim/device.h"
#include "platform/sim/startup.h"
#include "platform/sim/text.h"
#include "tests/check_test_support.h"
#include "tests/init_test_support.h"
#include "tests/sim_test_support.h"
#include "tools/kelbrun-sim/boot_order.h"
#include "tools/kelbrun-sim/image_files/design_files.h"
#include "tools/kelbrun-sim/image_files/design_reader.h"
#include "tools/kelbrun-sim/setup_check.h"

namespace {

using namespace testing_support::init;
using setupcheck::Finding;
using Level = setupcheck::Finding::Level;
using testing_support::kPathsKey;
using testing_support::ScratchRoot;
using testing_support::SetRawValue;

constexpr char16_t kProfiles[] = u"HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles";

using testing_support::Count;
using testing_support::Listing;

TEST(SetupCheck, AWellSetUpUnitHasNoFinding) {
    const setupcheck::Report report = setupcheck::CheckSetup(WellSetUpDevice(), false);
    EXPECT_TRUE(report.findings.empty()) << Listing(report.findings);
    ASSERT_EQ(3u, report.order.entries.size());
    EXPECT_TRUE(report.order.entries[2].launcher);
    EXPECT_EQ((std::vector<uint32_t>{20, 30}), report.order.entries[2].waitsFor);
}

// --- the launcher started at boot, and found -----------------------------------------------

// A file of that text; with none, a program the unit starts.
void WriteFile(const ScratchRoot& root, const std::string& relative, const std::string& text) {
    root.AddFile(relative);
    if (!text.empty()) {
        std::ofstream(root.Path() / relative, std::ios::binary) << text;
    }
}

struct StartCase {
    const char* name;
    std::vector<InitValue> values;  // the whole init key
    // Under the root: path, text ("": a program the unit starts).
    std::vector<std::pair<std::string, std::string>> files;
    std::u16string ownPath;
    std::vector<std::string> findings;  // the report's lines, "error: ..." or "warning: ..."
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
    EXPECT_EQ(c.findings, testing_support::ListingLines(report.findings));
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
                  {"error: HKEY_LOCAL_MACHINE\\init: no LaunchNN names the launcher (Kelbrun.EXE, "
                   "or the file name of --self), nor does a shortcut in \\Windows\\StartUp: the "
                   "launcher is never started at boot"}},
        StartCase{
            "AShortcut", {}, {{kShortcut, "23#\\Windows\\Kelbrun.EXE\r\n"}}, kDefaultSelf, {}},
        StartCase{"AQuotedShortcutWithArguments",
                  {},
                  {{"Windows/StartUp/go.LNK", "40#\"\\Program Files\\kelbrun.exe\" -x"}},
                  kDefaultSelf,
                  {}},
        StartCase{"AShortcutToAnotherProgram",
                  {},
                  {{kShortcut, "20#\\Windows\\Kelbrun2.exe"}},
                  kDefaultSelf,
                  {"error: HKEY_LOCAL_MACHINE\\init: no LaunchNN names the launcher (Kelbrun.EXE, "
                   "or the file name of --self), nor does a shortcut in \\Windows\\StartUp: the "
                   "launcher is never started at boot"}},
        StartCase{"AShortcutThatIsNoLnk",
                  {},
                  {{"Windows/StartUp/Kelbrun.txt", "20#Kelbrun.EXE"}},
                  kDefaultSelf,
                  {"error: HKEY_LOCAL_MACHINE\\init: no LaunchNN names the launcher (Kelbrun.EXE, "
                   "or the file name of --self), nor does a shortcut in \\Windows\\StartUp: the "
                   "launcher is never started at boot"}},
        // A root with a Windows folder describes \Windows: the launcher's file must be there.
        StartCase{"BothWays",
                  {Launch(50, u"Kelbrun.EXE")},
                  {{kShortcut, "23#\\Windows\\Kelbrun.EXE"}, {"Windows/Kelbrun.EXE", ""}},
                  kDefaultSelf,
                  {"warning: the launcher is started 2 times at boot (entry 50 (Kelbrun.EXE), "
                   "\\Windows\\StartUp\\Kelbrun.lnk): each copy hands over on its own, so what it "
                   "starts is started more than once"}},
        StartCase{"ByTheFileNameOfSelf", {Launch(50, u"start")}, {}, u"\\Windows\\Start.exe", {}},
        StartCase{"WithoutExeInItsName", {Launch(50, u"kelbrun")}, {}, kDefaultSelf, {}},
        StartCase{"ANameThatOnlyBeginsSo",
                  {Launch(50, u"Kelbrun.EXE.bak")},
                  {},
                  kDefaultSelf,
                  {"error: HKEY_LOCAL_MACHINE\\init: no LaunchNN names the launcher (Kelbrun.EXE, "
                   "or the file name of --self), nor does a shortcut in \\Windows\\StartUp: the "
                   "launcher is never started at boot"}},
        StartCase{"AFolderNotInTheRoot",
                  {Launch(50, u"\\Apps\\Kelbrun.EXE")},
                  {},
                  kDefaultSelf,
                  {"error: HKEY_LOCAL_MACHINE\\init, Launch50: \"\\Apps\\Kelbrun.EXE\" is no file "
                   "under --root (tried \\Apps\\Kelbrun.EXE, \\Apps\\Kelbrun.EXE.exe): the kernel "
                   "cannot start the launcher (CE 5.0's launch loop)"}},
        StartCase{"AFolderInTheRoot",
                  {Launch(50, u"\\Apps\\Kelbrun.EXE")},
                  {{"Apps/Kelbrun.EXE", ""}},
                  kDefaultSelf,
                  {}},
        StartCase{"ExeAddedToAFolder",
                  {Launch(50, u"\\Apps\\Kelbrun")},
                  {{"Apps/Kelbrun.exe", ""}},
                  kDefaultSelf,
                  {}},
        StartCase{"AFolderOfThatName",
                  {Launch(50, u"\\Apps\\Kelbrun.EXE")},
                  {{"Apps/Kelbrun.EXE/inside", "x"}},
                  kDefaultSelf,
                  {"error: HKEY_LOCAL_MACHINE\\init, Launch50: \"\\Apps\\Kelbrun.EXE\" is no file "
                   "under --root (tried \\Apps\\Kelbrun.EXE, \\Apps\\Kelbrun.EXE.exe): the kernel "
                   "cannot start the launcher (CE 5.0's launch loop)"}},
        StartCase{"NoFolderFoundInTheRootFolder",
                  {Launch(50, u"Kelbrun.EXE")},
                  {{"Kelbrun.EXE", ""}},
                  u"\\Apps\\Kelbrun.EXE",
                  {}},
        StartCase{
            "NoFolderFoundNowhere",
            {Launch(50, u"Kelbrun.EXE")},
            {},
            u"\\Apps\\Kelbrun.EXE",
            {"error: HKEY_LOCAL_MACHINE\\init, Launch50: \"Kelbrun.EXE\" is no file under --root "
             "(tried \\Windows\\Kelbrun.EXE, \\Kelbrun.EXE, \\Windows\\Kelbrun.EXE.exe, "
             "\\Kelbrun.EXE.exe): the kernel cannot start the launcher (CE 5.0's launch loop)"}},
        StartCase{"NoFolderAtItsOwnPath", {Launch(50, u"Kelbrun")}, {}, kDefaultSelf, {}}));

// --- the launcher's own path ---------------------------------------------------------------

struct SelfCase {
    const char* name;
    std::u16string ownPath;
    std::string finding;  // the report's one line, or none when empty
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
    EXPECT_EQ(c.finding.empty() ? std::vector<std::string>() : std::vector<std::string>{c.finding},
              testing_support::ListingLines(report.findings));
    // The launcher itself: a finding here means it starts nothing.
    const sim::RunResult run = sim::RunLauncher();
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(c.finding.empty(), !run.record.events.empty() && run.record.calls.shellRequests == 1);
}

const std::u16string kLongFolder = u"\\Windows\\" + std::u16string(105, u'k');  // 114 characters

INSTANTIATE_TEST_SUITE_P(
    Table, OwnPath,
    ::testing::Values(SelfCase{"InWindows", u"\\Windows\\Kelbrun.EXE", ""},
                      SelfCase{"InUpdate", u"\\SDMMC\\UPDATE\\Kelbrun.EXE",
                               "error: --self \\SDMMC\\UPDATE\\Kelbrun.EXE: holds \"UPDATE\": the "
                               "launcher takes itself for the card's copy, which must not start "
                               "itself again, and starts nothing"},
                      SelfCase{"UpdateInOtherCase", u"\\SDMMC\\Update\\Kelbrun.EXE", ""},
                      SelfCase{"Of126Characters", kLongFolder + u"\\Kelbrun.EXE", ""},
                      SelfCase{"Of127Characters", kLongFolder + u"k\\Kelbrun.EXE",
                               "error: --self \\Windows\\" + std::string(106, 'k') +
                                   "\\Kelbrun.EXE: 127 characters, more than the 126 the "
                                   "launcher trusts of its own path: it cannot tell where it runs "
                                   "from and starts nothing"}));

// --- the folder values, and the launcher reading them --------------------------------------

struct FolderCase {
    const char* name;
    std::u16string valueName;
    std::vector<uint8_t> bytes;
    uint32_t type;
    std::vector<std::string> findings;  // the report's lines, "error: ..." or "warning: ..."
};

void PrintTo(const FolderCase& c, std::ostream* os) {
    *os << c.name;
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
    EXPECT_EQ(c.findings, testing_support::ListingLines(report.findings));

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
        FolderCase{"CardOf236", u"SDMMC", Chars(Folder(236)), sim::kRegSz, {}},
        FolderCase{"CardOf237",
                   u"SDMMC",
                   Chars(Folder(237)),
                   sim::kRegSz,
                   {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: 237 characters, "
                    "and with \\UPDATE\\Kelbrun.EXE after it 256, more than the 255 the launcher's "
                    "path holds: it never looks for the card's copy of the launcher"}},
        FolderCase{"UserOf238", u"User", Chars(Folder(238)), sim::kRegSz, {}},
        FolderCase{"UserOf239",
                   u"User",
                   Chars(Folder(239)),
                   sim::kRegSz,
                   {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, User: 239 characters, and "
                    "with \\MNAV\\Navigon.exe after it 256, more than the 255 the launcher's path "
                    "holds: it never looks for the navigation application"}},
        FolderCase{
            "DataOf255Unterminated", u"DataStorage", Chars(Folder(255), false), sim::kRegSz, {}},
        FolderCase{"DataOf255Terminated",
                   u"DataStorage",
                   Chars(Folder(255)),
                   sim::kRegSz,
                   {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, DataStorage: 512 bytes, "
                    "more than the 510 the launcher's buffer takes: its query fails and the "
                    "launcher starts nothing"}},
        FolderCase{
            "CardOf511Bytes",
            u"SDMMC",
            std::vector<uint8_t>(511, 'a'),
            sim::kRegBinary,
            {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: 511 bytes, more than the "
             "510 the launcher's buffer takes: its query fails and the launcher starts nothing"}},
        FolderCase{"UserOf511Bytes",
                   u"User",
                   std::vector<uint8_t>(511, 'a'),
                   sim::kRegBinary,
                   {"warning: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, User: 511 bytes, more "
                    "than the 510 the launcher's buffer takes: its query fails and the launcher "
                    "looks for \\MNAV\\Navigon.exe from the root folder"}},
        FolderCase{"CardMissing",
                   u"SDMMC",
                   {},
                   kRemoved,
                   {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: missing: the "
                    "launcher starts nothing"}},
        FolderCase{"DataMissing",
                   u"DataStorage",
                   {},
                   kRemoved,
                   {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, DataStorage: missing: the "
                    "launcher starts nothing"}},
        FolderCase{"UserMissing",
                   u"User",
                   {},
                   kRemoved,
                   {"warning: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, User: missing: the "
                    "launcher looks for \\MNAV\\Navigon.exe from the root folder"}},
        FolderCase{"CardEmpty",
                   u"SDMMC",
                   Chars(u""),
                   sim::kRegSz,
                   {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: empty, which "
                    "counts as not set: the launcher starts nothing"}},
        FolderCase{
            "UserEmpty",
            u"User",
            Chars(u""),
            sim::kRegSz,
            {"warning: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, User: empty, which counts as "
             "not set: the launcher looks for \\MNAV\\Navigon.exe from the root folder"}},
        FolderCase{
            "CardWithoutData",
            u"SDMMC",
            {},
            sim::kRegBinary,
            {"warning: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: is REG_BINARY, not "
             "REG_SZ: the launcher takes its bytes as text, which gives \"\" as the folder",
             "error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: empty, which counts as "
             "not set: the launcher starts nothing"}},
        FolderCase{
            "CardExpandSz",
            u"SDMMC",
            Chars(u"%CARD%"),
            2,
            {"warning: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: is REG_EXPAND_SZ, not "
             "REG_SZ: the launcher does not expand it and takes \"%CARD%\" as the folder"}},
        FolderCase{"CardMultiSz",
                   u"SDMMC",
                   Chars(u"\\SDMMC\0\\Other\0", true),
                   sim::kRegMultiSz,
                   {"warning: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: is REG_MULTI_SZ, "
                    "not REG_SZ: the launcher takes its first string, \"\\SDMMC\" as the folder"}},
        FolderCase{
            "CardDword",
            u"SDMMC",
            {0x5c, 0, 0x41, 0},
            sim::kRegDword,
            {"warning: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: is REG_DWORD, not "
             "REG_SZ: the launcher takes its bytes as text, which gives \"\\A\" as the folder"}},
        FolderCase{
            "CardOddBytes",
            u"SDMMC",
            {0x5c, 0, 0x41},
            sim::kRegBinary,
            {"warning: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: is REG_BINARY, not "
             "REG_SZ: the launcher takes its bytes as text, which gives \"\\A\" as the folder"}}));

// The folder values are read by the launcher's own ReadFolderSetting, run on the device that
// is checked, whether or not it is the current one; neither keeps a trace of it.
TEST(SetupCheck, AsksTheLaunchersOwnCodeAndLeavesNoTrace) {
    sim::Device& current = WellSetUpDevice();
    current.record.trail.push_back(u"before\r\n");
    const uintptr_t nextHandle = current.nextHandle;
    sim::Device other = current;
    other.registry.DeleteValue(kPathsKey, u"SDMMC");
    for (int round = 0; round < 2; ++round) {
        const setupcheck::Report mine = setupcheck::CheckSetup(current, false);
        EXPECT_TRUE(mine.findings.empty()) << Listing(mine.findings);
        const setupcheck::Report its = setupcheck::CheckSetup(other, false);
        ASSERT_EQ(1u, its.findings.size()) << Listing(its.findings);
        EXPECT_TRUE(Has(its.findings, Level::kError, "SDMMC: missing"));
    }
    EXPECT_EQ(std::vector<std::u16string>{u"before\r\n"}, sim::CurrentDevice().record.trail);
    EXPECT_EQ(sim::CallCounts{}, sim::CurrentDevice().record.calls);
    EXPECT_EQ(nextHandle, sim::CurrentDevice().nextHandle);
    EXPECT_TRUE(sim::CurrentDevice().openKeys.empty());
    EXPECT_TRUE(other.record.trail.size() == 1 && other.record.calls == sim::CallCounts{});
}

TEST(SetupCheck, AMissingKeyIsOneFinding) {
    sim::Device& device = WellSetUpDevice();
    device.registry.DeleteKey(kPathsKey);
    const setupcheck::Report report = setupcheck::CheckSetup(device, false);
    EXPECT_EQ(std::vector<std::string>{"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths: "
                                       "missing: the launcher reads no folder and starts nothing"},
              testing_support::ListingLines(report.findings));
}

// --- the card folder and the storage manager's profiles ------------------------------------

struct CardCase {
    const char* name;
    std::vector<std::pair<std::u16string, std::u16string>> folders;  // key below Profiles, Folder
    std::u16string card;                                             // the SDMMC value
    std::string mount;                  // a folder under the root that mounts, if any
    std::string rootFolder;             // a folder under the root, if any
    std::vector<std::string> findings;  // the report's lines, "error: ..." or "warning: ..."
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
    EXPECT_EQ(c.findings, testing_support::ListingLines(report.findings));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CardFolder,
    ::testing::Values(
        CardCase{"NoProfiles", {}, u"\\SDMMC", "", "", {}},
        CardCase{"TheProfilesFolder",
                 {{u"SDMemory", u"Storage Card"}},
                 u"\\Storage Card\\x",
                 "",
                 "",
                 {}},
        CardCase{"InOtherCase", {{u"SDMemory", u"Storage Card"}}, u"\\STORAGE CARD", "", "", {}},
        CardCase{"NotTheProfilesFolder",
                 {{u"SDMemory", u"Storage Card"}},
                 u"\\SDMMC",
                 "",
                 "",
                 {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: the card folder "
                  "\\SDMMC is no name the storage manager gives a card (its profiles under "
                  "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles give \\Storage Card): the "
                  "card's copy of the launcher is never found; to fix it, set SDMMC to a folder "
                  "under \\Storage Card, or the Folder of "
                  "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory to SDMMC"}},
        CardCase{"AFileSystemSubkeysFolder",
                 {{u"SDMemory", u""}, {u"SDMemory\\FATFS", u"SDMMC"}},
                 u"\\SDMMC",
                 "",
                 "",
                 {}},
        CardCase{"ADeeperKeysFolderCountsNot",
                 {{u"SDMemory", u""}, {u"SDMemory\\FATFS\\Filters", u"SDMMC"}},
                 u"\\SDMMC",
                 "",
                 "",
                 {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: the card folder "
                  "\\SDMMC is no name the storage manager gives a card (its profiles under "
                  "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles give \\Mounted Volume): "
                  "the card's copy of the launcher is never found; to fix it, set SDMMC to a "
                  "folder under \\Mounted Volume, or the Folder of "
                  "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles to SDMMC"}},
        CardCase{"TheDefaultName", {{u"SDMemory", u""}}, u"\\Mounted Volume", "", "", {}},
        CardCase{
            "NotTheDefaultWhenTheProfileNamesOne",
            {{u"SDMemory", u"Storage Card"}},
            u"\\Mounted Volume",
            "",
            "",
            {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: the card folder \\Mounted "
             "Volume is no name the storage manager gives a card (its profiles under "
             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles give \\Storage Card): the "
             "card's copy of the launcher is never found; to fix it, set SDMMC to a folder under "
             "\\Storage Card, or the Folder of "
             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory to Mounted Volume"}},
        CardCase{"TheDefaultsFolder", {{u"", u"Card"}, {u"SDMemory", u""}}, u"\\Card", "", "", {}},
        CardCase{"NotTheDefaultOnceTheDefaultsFolderIsSet",
                 {{u"", u"Card"}, {u"SDMemory", u""}},
                 u"\\Mounted Volume",
                 "",
                 "",
                 {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: the card folder "
                  "\\Mounted Volume is no name the storage manager gives a card (its profiles "
                  "under HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles give \\Card): the "
                  "card's copy of the launcher is never found; to fix it, set SDMMC to a folder "
                  "under \\Card, or the Folder of "
                  "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles to Mounted Volume"}},
        CardCase{"DigitTwo", {{u"SDMemory", u"Storage Card"}}, u"\\Storage Card2", "", "", {}},
        CardCase{"DigitNine", {{u"SDMemory", u"Storage Card"}}, u"\\Storage Card9", "", "", {}},
        CardCase{
            "DigitOne",
            {{u"SDMemory", u"Storage Card"}},
            u"\\Storage Card1",
            "",
            "",
            {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: the card folder \\Storage "
             "Card1 is no name the storage manager gives a card (its profiles under "
             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles give \\Storage Card): the "
             "card's copy of the launcher is never found; to fix it, set SDMMC to a folder under "
             "\\Storage Card, or the Folder of "
             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory to Storage Card1"}},
        CardCase{
            "DigitZero",
            {{u"SDMemory", u"Storage Card"}},
            u"\\Storage Card0",
            "",
            "",
            {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: the card folder \\Storage "
             "Card0 is no name the storage manager gives a card (its profiles under "
             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles give \\Storage Card): the "
             "card's copy of the launcher is never found; to fix it, set SDMMC to a folder under "
             "\\Storage Card, or the Folder of "
             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory to Storage Card0"}},
        CardCase{
            "TwoDigits",
            {{u"SDMemory", u"Storage Card"}},
            u"\\Storage Card10",
            "",
            "",
            {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: the card folder \\Storage "
             "Card10 is no name the storage manager gives a card (its profiles under "
             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles give \\Storage Card): the "
             "card's copy of the launcher is never found; to fix it, set SDMMC to a folder under "
             "\\Storage Card, or the Folder of "
             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory to Storage Card10"}},
        CardCase{
            "ALetter",
            {{u"SDMemory", u"Storage Card"}},
            u"\\Storage CardX",
            "",
            "",
            {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: the card folder \\Storage "
             "CardX is no name the storage manager gives a card (its profiles under "
             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles give \\Storage Card): the "
             "card's copy of the launcher is never found; to fix it, set SDMMC to a folder under "
             "\\Storage Card, or the Folder of "
             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory to Storage CardX"}},
        CardCase{"AMountStandsForIt",
                 {{u"SDMemory", u"Storage Card"}},
                 u"\\SDMMC",
                 "SDMMC",
                 "",
                 {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: the card folder "
                  "\\SDMMC is no name the storage manager gives a card (its profiles under "
                  "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles give \\Storage Card); "
                  "--mount \\SDMMC mounts it in the dry run, but on the unit the card is named by "
                  "its profile: the card's copy of the launcher is never found; to fix it, set "
                  "SDMMC to a folder under \\Storage Card, or the Folder of "
                  "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory to SDMMC"}},
        CardCase{"ARootFolderStandsForIt",
                 {{u"SDMemory", u"Storage Card"}},
                 u"\\SDMMC",
                 "",
                 "SDMMC",
                 {"error: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, SDMMC: the card folder "
                  "\\SDMMC is no name the storage manager gives a card (its profiles under "
                  "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles give \\Storage Card); "
                  "--root has that folder, so the dry run finds it, but on the unit the card is "
                  "named by its profile: the card's copy of the launcher is never found; to fix "
                  "it, set SDMMC to a folder under \\Storage Card, or the Folder of "
                  "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory to SDMMC"}}));

// The card folder of an OS design's own files, read as the command reads them: a Folder the
// reader leaves unset, or an #include it cannot read, leaves the name unjudged.
struct DesignCardCase {
    const char* name;
    std::string reg;  // project.reg's lines; it sets SDMMC to \SDMMC
    std::string dat;  // project.dat's lines, if any
    std::vector<std::string> findings;
};

void PrintTo(const DesignCardCase& c, std::ostream* os) {
    *os << c.name;
}

class CardFolderOfADesign : public ::testing::TestWithParam<DesignCardCase> {};

TEST_P(CardFolderOfADesign, IsJudgedOnlyByWhatIsKnown) {
    const DesignCardCase& c = GetParam();
    sim::Device& device = WellSetUpDevice();
    imagefiles::MemoryFiles files;
    files.Add(
        "/design/project.reg",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n\"SDMMC\"=\"\\\\SDMMC\"\r\n" + c.reg);
    files.Add("/design/project.dat", c.dat);
    imagefiles::DesignReader reader(imagefiles::ReadSettings{}, files);
    imagefiles::ImageContents image;
    ASSERT_FALSE(reader.LoadRegistry("/design/project.reg", device.registry));
    ASSERT_FALSE(reader.LoadDat("/design/project.dat", image));
    imagecheck::CheckContext context;
    context.image = c.dat.empty() ? nullptr : &image;
    context.readerWarnings = &reader.Warnings();
    setupcheck::Findings card;
    for (const setupcheck::Finding& f : setupcheck::CheckSetup(device, false, context).findings) {
        if (f.valueName == "SDMMC") {
            card.push_back(f);
        }
    }
    EXPECT_EQ(c.findings, testing_support::ListingLines(card));
}

constexpr char kSdProfile[] =
    "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory]\r\n";

INSTANTIATE_TEST_SUITE_P(
    Table, CardFolderOfADesign,
    ::testing::Values(
        DesignCardCase{
            "AFolderLeftAsAToken",
            std::string(kSdProfile) + "\"Folder\"=LOC_STORE_SD_FOLDER\r\n",
            "",
            {"warning: /design/project.reg:2: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, "
             "SDMMC: cannot judge whether the card folder \\SDMMC is a name the storage "
             "manager gives a card: the Folder of "
             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory is "
             "LOC_STORE_SD_FOLDER (/design/project.reg:4), not replaced; give it with a .str file "
             "(--strings) or --define LOC_NAME=VALUE"}},
        DesignCardCase{
            "TheDefaultLeftAsAToken",
            "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles]\r\n"
            "\"Folder\"=LOC_STORE_DEFAULT_FOLDER\r\n" +
                std::string(kSdProfile) + "\"Name\"=\"SD\"\r\n",
            "",
            {"warning: /design/project.reg:2: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, "
             "SDMMC: cannot judge whether the card folder \\SDMMC is a name the storage "
             "manager gives a card: the Folder of "
             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles is "
             "LOC_STORE_DEFAULT_FOLDER (/design/project.reg:4), not replaced; give it "
             "with a .str file (--strings) or --define LOC_NAME=VALUE"}},
        DesignCardCase{
            "AnotherValueLeftAsATokenLeavesTheDefault",
            std::string(kSdProfile) + "\"Name\"=LOC_STORE_SD_NAME\r\n",
            "",
            {"error: /design/project.reg:2: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, "
             "SDMMC: the card folder \\SDMMC is no name the storage manager gives a "
             "card (its profiles under "
             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles give \\Mounted "
             "Volume): the card's copy of the launcher is never found; to fix it, set "
             "SDMMC to a folder under \\Mounted Volume, or the Folder of "
             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles to SDMMC"}},
        DesignCardCase{"AKnownNameBesideAToken",
                       std::string(kSdProfile) + "\"Folder\"=\"SDMMC\"\r\n" +
                           "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\USB]\r\n"
                           "\"Folder\"=LOC_STORE_USB_FOLDER\r\n",
                       "",
                       {}},
        DesignCardCase{
            "AnIncludeNotRead",
            std::string(kSdProfile) + "\"Folder\"=\"Storage Card\"\r\n" +
                "#include \"$(_WINCEROOT)\\public\\sdcard.reg\"\r\n",
            "",
            {"warning: /design/project.reg:2: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, "
             "SDMMC: cannot judge whether the card folder \\SDMMC is a name the storage "
             "manager gives a card (the profiles known give \\Storage Card): #include "
             "\"$(_WINCEROOT)\\public\\sdcard.reg\" (/design/project.reg:5) not read, "
             "which may hold storage profiles; give its folder with --map"}},
        DesignCardCase{
            "TheImageMakesTheFolder",
            std::string(kSdProfile) + "\"Folder\"=\"Storage Card\"\r\n",
            "root:-Directory(\"SDMMC\")\r\n",
            {"warning: /design/project.reg:2: HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths, "
             "SDMMC: the card folder \\SDMMC is no name the storage manager gives a "
             "card (its profiles under "
             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles give \\Storage "
             "Card); the image's object store makes \\SDMMC (/design/project.dat:1), so "
             "the folder is there on the unit, but not on the card: the card's copy of "
             "the launcher is found only if the image puts it there; to fix it, set "
             "SDMMC to a folder under \\Storage Card, or the Folder of "
             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory to "
             "SDMMC"}}));

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
        "launch numbers) the loop reads: the launch loop skips it whole, and entry 20 waits for "
        "nothing it lists (CE 5.0's launch loop)\n"
        "check: error: HKEY_LOCAL_MACHINE\\init, Depend100: entry 100 (\\ResidentFlash\\svc.exe) "
        "waits for entry 50 (Kelbrun.EXE), the launcher's own entry; the launcher never calls "
        "SignalStarted: it never starts; the launch loop waits there for ever (CE 5.0's launch "
        "loop)\n"
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
