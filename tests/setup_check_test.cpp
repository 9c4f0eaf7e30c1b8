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
#include "tests/sim_test_support.h"
#include "tools/kelbrun-sim/boot_order.h"
#include "tools/kelbrun-sim/program_search.h"
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

using testing_support::Count;
using testing_support::Listing;

bool Has(const setupcheck::Findings& findings, Level level, const std::string& part) {
    for (const Finding& f : findings) {
        if (f.level == level && f.Text().find(part) != std::string::npos) {
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

// --- the init key, as CE 5.0's launch loop reads it ----------------------------------------

struct InitCase {
    const char* name;
    std::vector<InitValue> values;  // set on top of the well set-up unit's
    size_t errors;
    size_t warnings;
    std::string part;  // in one of the findings, when not empty
};

void PrintTo(const InitCase& c, std::ostream* os) {
    *os << c.name;
}

// A DependNN's bytes: each 16-bit number 20 (device.exe, which starts first), no zero.
std::vector<uint8_t> Bytes(size_t count) {
    std::vector<uint8_t> bytes(count, 0);
    for (size_t i = 0; i < count; i += 2) {
        bytes[i] = 20;
    }
    return bytes;
}

std::vector<uint8_t> Chars(std::u16string_view text, bool terminated = true) {
    std::vector<uint8_t> bytes = sim::Utf16LeBytes(text);
    if (terminated) {
        bytes.insert(bytes.end(), {0, 0});
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

TEST_P(InitValues, FindWhatTheLaunchLoopWouldNotReadAsMeant) {
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

const std::u16string kBlanks(120, u' ');
const std::vector<uint8_t> kEnded64 = [] {
    std::vector<uint8_t> bytes = Bytes(64);
    bytes[62] = 0;
    return bytes;
}();
constexpr uint32_t kBin = sim::kRegBinary;

const std::vector<uint8_t> kTwoStrings = Chars(std::u16string(u"a\0b", 3));
const std::vector<uint8_t> k259 = Chars(std::u16string(259, u'p'));
const std::vector<uint8_t> k260 = Chars(std::u16string(260, u'p'));
const InitValue kCutName{u"Depend" + kBlanks + u"70", {}, {5}, {}, kBin};

INSTANTIATE_TEST_SUITE_P(
    Table, InitValues,
    ::testing::Values(
        InitCase{"Depend63", {Raw(u"Depend50", Bytes(63), kBin)}, 1, 0, "bytes (63)"},
        // 32 numbers and no zero: the list runs on into "Kelbrun.EXE".
        // 31 numbers and no zero: the 64 bytes the loop reads end with a zero of their own.
        InitCase{"Depend62", {Raw(u"Depend50", Bytes(62), kBin)}, 0, 0, ""},
        InitCase{"Depend64", {Raw(u"Depend50", Bytes(64), kBin)}, 1, 0, "too (75, 101, 108, 98"},
        InitCase{"Depend64EndedByAZero", {Raw(u"Depend50", kEnded64, kBin)}, 0, 0, ""},
        InitCase{"Depend65", {Raw(u"Depend50", Bytes(65), kBin)}, 1, 0, "holds 65 bytes"},
        InitCase{"DependOfOneByte", {Raw(u"Depend50", {20}, kBin)}, 1, 0, "bytes (1)"},
        // Skipped, it makes no entry either: no "no LaunchNN" warning.
        InitCase{"DependAloneOfOneByte", {Raw(u"Depend60", {20}, kBin)}, 1, 0, "bytes (1)"},
        InitCase{"DependNotBinary", {Raw(u"Depend50", Bytes(2), 4)}, 0, 1, "REG_DWORD, not"},
        // "20" as text is the numbers 50 ('2') and 48 ('0'): entry 50 waits for itself.
        InitCase{"DependAsText", {Raw(u"Depend50", Chars(u"20"), 1)}, 1, 2, "same (50, 48)"},
        InitCase{"Depend060", {Launch(60, u"a"), {u"Depend060", {}, {50}, {}, 3}}, 1, 0, "(a)"},
        InitCase{"DependAloneWaitsForTheLauncher", {Depend(60, {50})}, 1, 1, "((no program))"},
        InitCase{"AZeroEndsTheDependList", {Launch(60, u"svc.exe"), Depend(60, {0, 50})}, 0, 0, ""},
        InitCase{"DependWithoutItsLaunch", {Depend(60, {20})}, 0, 1, "no LaunchNN has number 60"},
        InitCase{"LaunchNotString", {Raw(u"Launch60", Bytes(4), kBin)}, 0, 1, "REG_BINARY, not"},
        InitCase{"ExpandSz", {Raw(u"Launch60", Chars(u"%A%"), 2)}, 1, 0, "starts \"%A%\" as it"},
        InitCase{"MultiSz", {Raw(u"Launch60", kTwoStrings, 7)}, 0, 1, "first string, \"a\""},
        InitCase{"LaunchOtherCase", {{u"launch60", u"a", {}, {}, 1}}, 0, 1, "launch60: is not"},
        InitCase{"DependOtherCase", {{u"DEPEND50", {}, {20}, {}, kBin}}, 0, 0, ""},
        InitCase{"LaunchNamesNothing", {Launch(60, u"")}, 1, 0, "Launch60: names no program"},
        InitCase{"SameNumberTwice", {{u"Launch030", u"b", {}, {}, 1}}, 1, 0, "\"b\" of Launch030"},
        InitCase{"SameDependTwice", {{u"Depend050", {}, {20}, {}, kBin}}, 1, 0, "050 (20), not"},
        InitCase{"NumberBeyond16Bits", {Launch(65536, u"a")}, 0, 1, "does not fit the 16 bits"},
        InitCase{"NumberOf16Bits", {Launch(65535, u"a")}, 0, 0, ""},
        // 259 characters and the terminator fill the 520 bytes; one more is cut.
        InitCase{"ProgramOf259", {Raw(u"Launch60", k259, 1)}, 0, 0, ""},
        InitCase{"ProgramOf260", {Raw(u"Launch60", k260, 1)}, 1, 0, "cut to 260 characters"},
        // A name is read into 128 characters with its terminator: 127 are kept whole, and of
        // "Depend", 120 blanks and "70" the 0 is lost, which makes an entry 7.
        InitCase{"NameOf127", {{u"Launch" + kBlanks + u"7", u"a", {}, {}, 1}}, 0, 1, "entry 7's"},
        InitCase{"NameOf128", {Launch(70, u"a"), kCutName}, 0, 3, "no LaunchNN has number 7"},
        InitCase{"ThirtyTwoEntries", ManyEntries(32), 0, 0, ""},
        InitCase{"ThirtyThreeEntries", ManyEntries(33), 1, 0,
                 "HKEY_LOCAL_MACHINE\\init: more than 32 launch numbers: the launch loop keeps "
                 "the first 32 in the order it enumerates the values (the order they were set "
                 "in) and skips every value of a further number, so Launch129 is never read"}));

// DependOtherCase: "DEPEND50" is not "Depend50", so the loop finds no dependencies for 50
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

bootorder::BootOrder ReadInit(const std::vector<InitValue>& values,
                              setupcheck::Findings& findings) {
    sim::ResetDevice();
    SetInit(sim::CurrentDevice(), values);
    return bootorder::ReadBootOrder(sim::CurrentDevice().registry, u"\\Windows\\Kelbrun.EXE",
                                    findings);
}

// The number after "Launch" as COREDLL's _wtol reads it, and the entry the loop makes of it;
// a name that does not read as it looks is a warning.
TEST(SetupCheck, NamesAreNumberedAsTheLoopReadsThem) {
    const struct {
        std::u16string text;
        uint32_t number;
        bool plain;
    } kCases[] = {{u"5", 5, true},
                  {u"05", 5, true},
                  {u"", 0, false},
                  {u"Foo", 0, false},
                  {u"5a", 5, false},
                  {u"0x10", 16, false},
                  {u"0x1f", 31, false},
                  {u"0X1F", 31, false},
                  {u"0xaF", 175, false},
                  {u"x10", 16, false},
                  {u"-1", 4294967295u, false},
                  {u"0-5", 4294967291u, false},
                  {u" 7", 7, false},
                  {u"0 7", 0, false},
                  {u"4294967295", 4294967295u, true},
                  {u"4294967296", 0, false},
                  {u"0x100000010", 16, false}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(sim::ToUtf8(u"Launch" + c.text));
        EXPECT_EQ(c.number, bootorder::ReadNumber(c.text));
        setupcheck::Findings findings;
        const auto order = ReadInit({{u"Launch" + c.text, u"nav.exe", {}, {}, 1}}, findings);
        ASSERT_EQ(1u, order.entries.size());
        EXPECT_EQ(c.number, order.entries[0].number);
        EXPECT_EQ(!c.plain, Has(findings, Level::kWarning,
                                "this value is entry " + std::to_string(c.number) + "'s"));
    }
}

// Launch5 and Launch05 are one entry: the value enumerated last gives its program, whichever
// of the two that is.
TEST(SetupCheck, OfTwoValuesOfOneNumberTheOneSetLastStarts) {
    const InitValue five{u"Launch5", u"five.exe", {}, {}, 1};
    const InitValue zeroFive{u"Launch05", u"zerofive.exe", {}, {}, 1};
    for (const bool fiveFirst : {true, false}) {
        setupcheck::Findings findings;
        const auto order = ReadInit(
            fiveFirst ? std::vector{five, zeroFive} : std::vector{zeroFive, five}, findings);
        ASSERT_EQ(1u, order.entries.size());
        EXPECT_EQ(fiveFirst ? u"zerofive.exe" : u"five.exe", order.entries[0].program);
        EXPECT_TRUE(Has(
            findings, Level::kError,
            fiveFirst ? "Launch05: entry 5, as Launch5 is" : "Launch5: entry 5, as Launch05 is"));
    }
}

// A LaunchNN whose start fails is mended by a later value of its number that names a program,
// and a failing one set last fails the entry again.
TEST(SetupCheck, TheLastValueOfANumberDecidesWhetherItsStartFails) {
    const InitValue empty = Launch(60, u"");
    const InitValue named{u"Launch060", u"svc.exe", {}, {}, 1};
    for (const bool emptyFirst : {true, false}) {
        setupcheck::Findings findings;
        const auto order =
            ReadInit(emptyFirst ? std::vector{empty, named} : std::vector{named, empty}, findings);
        ASSERT_EQ(1u, order.entries.size());
        EXPECT_EQ(!emptyFirst, order.entries[0].startFails) << Listing(findings);
    }
}

// 31 numbers, then more values in the order set: the 33rd new number is dropped whatever it
// is, its DependNN with it, and values of numbers already kept still count.
TEST(SetupCheck, TheThirtyThirdNewNumberIsDropped) {
    const struct {
        std::vector<InitValue> after;
        std::vector<uint32_t> kept;  // beyond the 31, ascending
        std::string dropped;
        size_t listed;  // entries that wait for something
    } kCases[] = {{{Launch(500, u"a.exe")}, {500}, "", 0},
                  {{Launch(500, u"a.exe"), Launch(5, u"b.exe"), Depend(5, {100})},
                   {500},
                   "Launch5, Depend5 are",
                   0},
                  {{Launch(5, u"b.exe"), Launch(500, u"a.exe")}, {5}, "Launch500 is", 0},
                  {{Depend(7, {100}), Launch(8, u"c.exe")}, {7}, "Launch8 is", 1},
                  {{Launch(500, u"a.exe"), Launch(600, u"d.exe"), Depend(500, {100})},
                   {500},
                   "Launch600 is",
                   1}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.dropped);
        std::vector<InitValue> values;
        values.reserve(31 + c.after.size());
        for (int i = 0; i < 31; ++i) {
            values.push_back(Launch(100 + i, u"svc.exe"));
        }
        values.insert(values.end(), c.after.begin(), c.after.end());
        setupcheck::Findings findings;
        const bootorder::BootOrder order = ReadInit(values, findings);
        std::vector<uint32_t> kept;
        size_t listed = 0;
        for (const bootorder::Entry& entry : order.entries) {
            if (entry.number < 100 || entry.number > 130) {
                kept.push_back(entry.number);
            }
            listed += entry.waitsFor.empty() ? 0 : 1;
        }
        EXPECT_EQ(c.kept, kept);
        EXPECT_EQ(c.dropped.empty() ? 0u : 1u, Count(findings, Level::kError)) << Listing(findings);
        EXPECT_EQ(!c.dropped.empty(),
                  Has(findings, Level::kError, "so " + c.dropped + " never read"));
        EXPECT_EQ(c.listed, listed);
    }
}

// device.exe started early for "Start DevMgr" is not started again (nor looked for) and counts
// as done; any other name is started, and looked for.
TEST(SetupCheck, DeviceExeStartedEarlyIsNotStartedAgain) {
    const struct {
        std::vector<uint8_t> startDevMgr;  // REG_DWORD bytes; empty: not set
        std::u16string program;            // of Launch20
        bool early;
    } kCases[] = {{{1, 0, 0, 0}, u"device.exe", true},
                  {{1, 0, 0, 0}, u"DEVICE.EXE", true},
                  {{}, u"device.exe", false},
                  {{0, 0, 0, 0}, u"device.exe", false},
                  {{1, 0, 0, 0}, u"\\Windows\\device.exe", false},
                  {{1, 0, 0, 0}, u"device", false}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(sim::ToUtf8(c.program));
        sim::Device& device = WellSetUpDevice();
        device.registry.SetString(kInit, u"Launch20", c.program);
        if (!c.startDevMgr.empty()) {
            device.registry.SetValue(u"HKEY_LOCAL_MACHINE\\init\\BootVars", u"Start DevMgr",
                                     sim::RegistryValue{sim::kRegDword, c.startDevMgr});
        }
        ScratchRoot root;
        root.AddFile("Windows/gwes.exe");
        root.AddFile("Windows/Kelbrun.EXE");
        device.files.SetRoot(root.Path());
        const setupcheck::Report report = setupcheck::CheckSetup(device, true);
        const std::string text = setupcheck::FormatReport(report);
        EXPECT_EQ(c.early, report.order.entries[0].startedEarly);
        EXPECT_EQ(c.startDevMgr.size() == 4 && c.startDevMgr[0] == 1,
                  text.find("   -  device.exe, started before the entries") != std::string::npos);
        EXPECT_EQ(c.early, text.find("  (already started, not again)") != std::string::npos);
        EXPECT_EQ(c.early ? 0u : 1u, Count(report.findings, Level::kError)) << text;
    }
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
            errors.push_back(f.Text());
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
        WaitCase{"OnTheNumberJustBelow",
                 {Launch(20, u"device.exe"), Launch(21, u"b.exe"), Depend(21, {20})},
                 {},
                 0},
        WaitCase{"OnTheNextNumberUp",
                 {Launch(20, u"device.exe"), Depend(20, {21}), Launch(21, u"b.exe")},
                 {"Depend20: entry 20 (device.exe) waits for entry 21 (b.exe), which starts only "
                  "after it: it never starts; the launch loop waits there for ever, so no later "
                  "entry starts either (21) (CE 5.0's launch loop)"},
                 0},
        WaitCase{"OnTheLauncher",
                 {Launch(20, u"device.exe"), Launch(50, u"Kelbrun.EXE"), Launch(60, u"svc.exe"),
                  Depend(60, {50}), Launch(70, u"ui.exe")},
                 {"Depend60: entry 60 (svc.exe) waits for entry 50 (Kelbrun.EXE), the "
                  "launcher's own entry; the launcher never calls SignalStarted: it never "
                  "starts; the launch loop waits there for ever, so no later entry starts "
                  "either (70) (CE 5.0's launch loop)"},
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
                  "is never started, so no later entry starts either (60) (CE 5.0's"},
                 0},
        WaitCase{"AndThoseThatWaitForItInTurn",
                 {Launch(20, u"device.exe"), Launch(50, u"Kelbrun.EXE"), Launch(60, u"a.exe"),
                  Depend(60, {50}), Launch(70, u"b.exe"), Depend(70, {20}), Launch(80, u"c.exe"),
                  Depend(80, {90}), Launch(90, u"d.exe"), Depend(90, {60})},
                 {"entry 60 (a.exe) waits for entry 50 (Kelbrun.EXE), the launcher's own entry; "
                  "the launcher never calls SignalStarted: it never starts; the launch loop "
                  "waits there for ever, so no later entry starts either (70, 80, 90); 80, 90 "
                  "wait for it through DependNN as well (CE 5.0's",
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
                  "waits there for ever, so no later entry starts either (70) (CE 5.0's",
                  "entry 70 (b.exe) waits for itself: it never starts (CE 5.0's"},
                 0}));

// A full DependNN waits for its program name's characters too: "z" is 122, a later entry; and
// they are no numbers of their own to report as having no entry.
TEST(SetupCheck, AFullDependWaitsForItsProgramNamesCharacters) {
    sim::ResetDevice();
    SetInit(sim::CurrentDevice(), {Launch(20, u"device.exe"), Launch(120, u"z"),
                                   Raw(u"Depend120", Bytes(64), kBin), Launch(122, u"after.exe")});
    const setupcheck::Report report = setupcheck::CheckSetup(sim::CurrentDevice(), false);
    EXPECT_TRUE(Has(report.findings, Level::kError,
                    "entry 120 (z) waits for entry 122 (after.exe), which starts only after it"))
        << Listing(report.findings);
    EXPECT_EQ(1u, report.bootStopsAt);
    EXPECT_EQ(0u, Count(report.findings, Level::kWarning)) << Listing(report.findings);
}

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
        StartCase{
            "NoFolderFoundNowhere",
            {Launch(50, u"Kelbrun.EXE")},
            {},
            u"\\Apps\\Kelbrun.EXE",
            1,
            0,
            "(tried \\Windows\\Kelbrun.EXE, \\Kelbrun.EXE, \\Windows\\Kelbrun.EXE.exe, "
            "\\Kelbrun.EXE.exe): the kernel cannot start the launcher (CE 5.0's launch loop)"},
        StartCase{"NoFolderAtItsOwnPath", {Launch(50, u"Kelbrun")}, {}, kDefaultSelf, 0, 0, ""}));

// --- where the kernel looks for each program ----------------------------------------------------

std::vector<uint8_t> MultiSz(const std::vector<std::u16string>& strings) {
    std::vector<uint8_t> bytes;
    for (const std::u16string& s : strings) {
        const std::vector<uint8_t> one = Chars(s);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

// "\Apps\" after a filler folder, in a SystemPath of the given size.
std::vector<uint8_t> SystemPathOf(size_t bytes) {
    return MultiSz({u"\\" + std::u16string(bytes / 2 - 11, u'f') + u"\\", u"\\Apps\\"});
}

// Launch60's program looked for under a root; entry 70 waits for it, and goes on without it
// when it is not found. A "Windows/" file stands for the image's \Windows, with device.exe and
// gwes.exe in it.
TEST(SetupCheck, ProgramsAreLookedForWhereTheKernelLooks) {
    const std::u16string name250 = std::u16string(246, u'n') + u".exe";
    const std::string gwes = "Windows/gwes.exe";
    const struct {
        std::u16string program;
        std::vector<std::string> files;
        std::vector<uint8_t> systemPath;  // REG_MULTI_SZ unless systemPathType says otherwise
        size_t errors;
        size_t warnings;
        std::string part;
        uint32_t systemPathType = sim::kRegMultiSz;
    } kCases[] = {
        {u"\\Res\\svc.exe", {"Res/svc.exe"}, {}, 0, 0, ""},
        {u"\\Res\\svc.exe", {}, {}, 1, 1, "(tried \\Res\\svc.exe, \\Res\\svc.exe.exe): the"},
        // Without a \Windows folder the image's files are unknown: nothing to say.
        {u"svc.exe", {}, {}, 0, 0, ""},
        {u"svc.exe", {"Windows/svc.exe"}, {}, 0, 0, ""},
        {u"svc.exe", {gwes}, {}, 1, 1, "\\Windows\\svc.exe, \\svc.exe, \\Windows\\svc.exe.exe"},
        {u"svc", {"Windows/svc.exe"}, {}, 0, 0, ""},
        {u"Apps\\svc.exe", {gwes, "Apps/svc.exe"}, {}, 0, 0, ""},
        {u"nav", {gwes, "B/nav.exe"}, MultiSz({u"\\A\\", u"\\B\\"}), 0, 0, ""},
        // Joined as the kernel joins them: "\B" and "nav.exe" are "\Bnav.exe".
        {u"nav.exe", {gwes, "B/nav.exe"}, MultiSz({u"\\B"}), 1, 2, "\\Bnav.exe"},
        {u"nav.exe", {gwes, "Bnav.exe"}, MultiSz({u"\\B"}), 0, 1, "not end in a backslash"},
        {u"nav.exe", {gwes, "B/nav.exe"}, Chars(u"\\B\\"), 1, 2, "not REG_MULTI_SZ", 1},
        {u"nav.exe",
         {gwes, "B/nav.exe"},
         MultiSz({u"\\A\\", u"", u"\\B\\"}),
         1,
         1,
         "\\A\\nav.exe, \\W"},
        {u"nav.exe", {gwes, "Apps/nav.exe"}, SystemPathOf(518), 0, 0, ""},
        {u"nav.exe", {gwes, "Apps/nav.exe"}, SystemPathOf(520), 1, 2, "520 bytes, not fewer"},
        // \Windows\ and 250 characters are the 259 a path holds; one more is not tried there.
        {name250, {"Windows/" + sim::ToUtf8(name250)}, {}, 0, 0, ""},
        {u"m" + name250, {"Windows/m" + sim::ToUtf8(name250)}, {}, 1, 1, "(tried \\m"},
        // A name of 259 characters is looked for as it stands.
        {u"\\Res\\" + std::u16string(254, u'p'), {"Res/" + std::string(254, 'p')}, {}, 0, 0, ""}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(sim::ToUtf8(c.program) + " " + c.part);
        sim::Device& device = WellSetUpDevice();
        SetInit(device,
                {Launch(60, c.program), Launch(70, u"\\Late\\after.exe"), Depend(70, {60})});
        if (!c.systemPath.empty()) {
            device.registry.SetValue(u"HKEY_LOCAL_MACHINE\\Loader", u"SystemPath",
                                     sim::RegistryValue{c.systemPathType, c.systemPath});
        }
        ScratchRoot root;
        root.AddFile("Late/after.exe");
        root.AddFolder("SDMMC");
        for (const std::string& file : c.files) {
            root.AddFile(file);
            if (file.starts_with("Windows/")) {
                root.AddFile("Windows/device.exe");
                root.AddFile("Windows/gwes.exe");
                root.AddFile("Windows/Kelbrun.EXE");
            }
        }
        device.files.SetRoot(root.Path());
        const setupcheck::Report report = setupcheck::CheckSetup(device, true);
        EXPECT_EQ(c.errors, Count(report.findings, Level::kError)) << Listing(report.findings);
        EXPECT_EQ(c.warnings, Count(report.findings, Level::kWarning)) << Listing(report.findings);
        EXPECT_NE(std::string::npos, Listing(report.findings).find(c.part))
            << Listing(report.findings);
        EXPECT_EQ(Has(report.findings, Level::kError, "Launch60: "),
                  Has(report.findings, Level::kWarning, "70 starts without it"));
        EXPECT_EQ(report.order.entries.size(), report.bootStopsAt);
    }
}

// The kernel looks for a name of up to 259 characters, and with ".exe" when that fits too; a
// longer one it refuses. (The launch loop cuts a longer LaunchNN before the kernel sees it.)
TEST(SetupCheck, TheKernelLooksForNamesOfUpTo259Characters) {
    const std::u16string abs255 = u"\\" + std::u16string(254, u'p');
    const struct {
        std::u16string program;
        std::vector<std::u16string> tries;
    } kCases[] = {
        {abs255, {abs255, abs255 + u".exe"}},
        {abs255 + u"p", {abs255 + u"p"}},
        {abs255 + u"pppp", {abs255 + u"pppp"}},
        {abs255 + u"ppppp", {}},
        // Relative: \Windows\ and 250 fill the 259; with ".exe" only \ leaves room.
        {std::u16string(250, u'n'),
         {u"\\Windows\\" + std::u16string(250, u'n'), u"\\" + std::u16string(250, u'n'),
          u"\\" + std::u16string(250, u'n') + u".exe"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.program.size());
        EXPECT_EQ(c.tries, programsearch::Candidates(c.program, {}));
    }
}

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
        EXPECT_NE(std::string::npos,
                  report.findings[0].Text().find("is no name the storage manager"))
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
