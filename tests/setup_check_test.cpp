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

const std::u16string kSpaces120(120, u' ');

INSTANTIATE_TEST_SUITE_P(
    Table, InitValues,
    ::testing::Values(
        InitCase{"DependOf62Bytes", {Raw(u"Depend50", Bytes(62), sim::kRegBinary)}, 0, 0, ""},
        InitCase{"DependOf63Bytes",
                 {Raw(u"Depend50", Bytes(63), sim::kRegBinary)},
                 1,
                 0,
                 "Depend50: holds an odd number of bytes (63), not whole 16-bit launch numbers: "
                 "the launch loop skips it whole, and entry 50 waits for nothing it lists (CE "
                 "5.0's launch loop)"},
        // 32 numbers and no zero: the list runs on into "Kelbrun.EXE".
        InitCase{"DependOf64Bytes",
                 {Raw(u"Depend50", Bytes(64), sim::kRegBinary)},
                 1,
                 0,
                 "Depend50: 64 bytes, 32 launch numbers with no 0 among them to end the list: "
                 "the launch loop reads on into entry 50's program name \"Kelbrun.EXE\" and "
                 "waits for its characters as numbers too (75, 101, 108, 98, 114, 117, 110, 46, "
                 "69, 88, 69)"},
        InitCase{"DependOf64BytesEndedByAZero",
                 {Raw(
                     u"Depend50",
                     [] {
                         std::vector<uint8_t> b = Bytes(64);
                         b[62] = 0;
                         return b;
                     }(),
                     sim::kRegBinary)},
                 0,
                 0,
                 ""},
        InitCase{"DependOf65Bytes",
                 {Raw(u"Depend50", Bytes(65), sim::kRegBinary)},
                 1,
                 0,
                 "Depend50: holds 65 bytes, more than the 64 (32 launch numbers) the loop reads"},
        InitCase{"DependOf66Bytes",
                 {Raw(u"Depend50", Bytes(66), sim::kRegBinary)},
                 1,
                 0,
                 "Depend50: holds 66 bytes, more than the 64"},
        InitCase{"DependOfOneByte",
                 {Raw(u"Depend50", {20}, sim::kRegBinary)},
                 1,
                 0,
                 "Depend50: holds an odd number of bytes (1)"},
        InitCase{"DependOfNoBytes", {Raw(u"Depend50", {}, sim::kRegBinary)}, 0, 0, ""},
        InitCase{"DependNotBinary",
                 {Raw(u"Depend50", Bytes(2), sim::kRegDword)},
                 0,
                 1,
                 "Depend50: is REG_DWORD, not REG_BINARY: the launch loop reads its bytes as "
                 "launch numbers all the same (20)"},
        // "20" as text is the numbers 50 ('2') and 48 ('0'): entry 50 waits for itself.
        InitCase{"DependAsText",
                 {{u"Depend50", u"20", {}, {}, sim::kRegSz}},
                 1,
                 2,
                 "is REG_SZ, not REG_BINARY: the launch loop reads its bytes as launch numbers "
                 "all the same (50, 48)"},
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
        InitCase{"DependWithoutItsLaunch",
                 {Depend(60, {20})},
                 0,
                 1,
                 "Depend60: no LaunchNN has number 60: entry 60 starts no program, but the boot "
                 "still waits there for what it lists"},
        InitCase{"LaunchNotString",
                 {Raw(u"Launch60", Bytes(4), sim::kRegBinary)},
                 0,
                 1,
                 "Launch60: is REG_BINARY, not REG_SZ: the launch loop takes its bytes as the "
                 "program's name all the same"},
        InitCase{"LaunchExpandSzWithPercent",
                 {Raw(u"Launch60", Chars(u"%WINDIR%\\svc.exe"), 2)},
                 1,
                 0,
                 "Launch60: is REG_EXPAND_SZ: the launch loop does not expand it, and starts "
                 "\"%WINDIR%\\svc.exe\" as it stands"},
        InitCase{
            "LaunchExpandSzWithoutPercent", {Raw(u"Launch60", Chars(u"svc.exe"), 2)}, 0, 0, ""},
        InitCase{"LaunchMultiSz",
                 {Raw(u"Launch60", Chars(std::u16string(u"a.exe\0b.exe\0", 12)), sim::kRegMultiSz)},
                 0,
                 1,
                 "Launch60: is REG_MULTI_SZ: the launch loop takes its first string, \"a.exe\", "
                 "as the program"},
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
                 "Launch030: entry 30, as Launch30 is: the launch loop keeps one program for each "
                 "number, that of the value it enumerates last, so \"other.exe\" of Launch030 "
                 "starts and \"gwes.exe\" of Launch30 does not"},
        InitCase{"SameDependTwice",
                 {{u"Depend050", {}, {20}, {}, sim::kRegBinary}},
                 1,
                 0,
                 "Depend050: entry 50's list, as Depend50 is: the launch loop waits for the list "
                 "of the value it enumerates last, Depend050 (20), not Depend50's"},
        InitCase{"NumberBeyond16Bits",
                 {Launch(65536, u"late.exe")},
                 0,
                 1,
                 "does not fit the 16 bits of a DependNN: nothing can wait for it"},
        InitCase{"NumberOf16Bits", {Launch(65535, u"late.exe")}, 0, 0, ""},
        // 259 characters and the terminator fill the 520 bytes; one more is cut.
        InitCase{"ProgramOf259Characters",
                 {Raw(u"Launch60", Chars(u"\\" + std::u16string(258, u'p')), sim::kRegSz)},
                 0,
                 0,
                 ""},
        InitCase{"ProgramOf260Characters",
                 {Raw(u"Launch60", Chars(u"\\" + std::u16string(259, u'p')), sim::kRegSz)},
                 1,
                 0,
                 "Launch60: 522 bytes, and the launch loop reads 520: the name is cut to 260 "
                 "characters with no terminator, and entry 60's program fails to start"},
        InitCase{"ProgramOf260CharactersUnterminated",
                 {Raw(u"Launch60", Chars(u"\\" + std::u16string(259, u'p'), false), sim::kRegSz)},
                 1,
                 0,
                 "Launch60: 520 bytes, and the launch loop reads 520: the name is cut"},
        // A name is read in 128 characters with its terminator: a digit after 127 is lost.
        InitCase{"NameOf127Characters",
                 {{u"Launch" + kSpaces120 + u"7", u"svc.exe", {}, {}, sim::kRegSz}},
                 0,
                 1,
                 "the launch loop reads \"" + std::string(120, ' ') + "7\" after \"Launch\" as 7"},
        InitCase{"ThirtyTwoEntries", ManyEntries(32), 0, 0, ""},
        InitCase{"ThirtyThreeEntries", ManyEntries(33), 1, 0,
                 "HKEY_LOCAL_MACHINE\\init: more than 32 launch numbers: the launch loop keeps "
                 "the first 32 in the order it enumerates the values (the order they were set "
                 "in) and skips every value of a further number, so Launch129 is never read"}));

// The name of 127 characters above is read whole; one of 128 loses its last character, so
// "Depend" and 120 blanks and "70" is read as entry 7's.
TEST(SetupCheck, AValueNameIsCutToItsBuffer) {
    sim::Device& device = WellSetUpDevice();
    SetInit(device, {Launch(70, u"svc.exe"),
                     {u"Depend" + kSpaces120 + u"70", {}, {20}, {}, sim::kRegBinary}});
    setupcheck::Findings findings;
    const bootorder::BootOrder order =
        bootorder::ReadBootOrder(device.registry, device.ownPath, findings);
    ASSERT_EQ(5u, order.entries.size()) << Listing(findings);
    EXPECT_EQ(7u, order.entries[0].number);
    EXPECT_TRUE(order.entries[0].launchName.empty());
    EXPECT_EQ((std::vector<uint32_t>{20}), order.entries[0].waitsFor);
    EXPECT_TRUE(order.entries[4].waitsFor.empty());  // entry 70 got no list
}

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

// A DependNN the loop skips makes no entry and gives no list; one it reads does both, even
// when it holds nothing.
struct DependReadCase {
    const char* name;
    std::vector<uint8_t> bytes;
    size_t entries;  // with Launch20 and this Depend60 alone
    std::vector<uint32_t> waitsFor;
};

void PrintTo(const DependReadCase& c, std::ostream* os) {
    *os << c.name;
}

class DependReads : public ::testing::TestWithParam<DependReadCase> {};

TEST_P(DependReads, MakeAnEntryOnlyWhenRead) {
    const DependReadCase& c = GetParam();
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    SetInit(device, {Launch(20, u"device.exe"), Raw(u"Depend60", c.bytes, sim::kRegBinary)});
    setupcheck::Findings findings;
    const bootorder::BootOrder order =
        bootorder::ReadBootOrder(device.registry, device.ownPath, findings);
    ASSERT_EQ(c.entries, order.entries.size()) << Listing(findings);
    if (c.entries == 2) {
        EXPECT_EQ(c.waitsFor, order.entries[1].waitsFor);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, DependReads,
                         ::testing::Values(DependReadCase{"OneByte", {20}, 1, {}},
                                           DependReadCase{"TwoBytes", {20, 0}, 2, {20}},
                                           DependReadCase{"ThreeBytes", {20, 0, 30}, 1, {}},
                                           DependReadCase{"NoBytes", {}, 2, {}},
                                           DependReadCase{"SixtyFourBytes", Bytes(64), 2,
                                                          std::vector<uint32_t>(32, 20)},
                                           DependReadCase{"SixtyFiveBytes", Bytes(65), 1, {}}));

// --- the number in a value's name, as COREDLL's _wtol reads it ------------------------------

struct NumberCase {
    const char* name;
    std::u16string text;  // after "Launch"
    uint32_t number;
    bool plain;  // read as it looks: no warning
};

void PrintTo(const NumberCase& c, std::ostream* os) {
    *os << c.name;
}

class NameNumbers : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NameNumbers, AreTheEntryTheLoopMakes) {
    const NumberCase& c = GetParam();
    EXPECT_EQ(c.number, bootorder::ReadNumber(c.text));
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    SetInit(device, {{u"Launch" + c.text, u"nav.exe", {}, {}, sim::kRegSz}});
    setupcheck::Findings findings;
    const bootorder::BootOrder order =
        bootorder::ReadBootOrder(device.registry, device.ownPath, findings);
    ASSERT_EQ(1u, order.entries.size());
    EXPECT_EQ(c.number, order.entries[0].number);
    const bool warned =
        Has(findings, Level::kWarning, "this value is entry " + std::to_string(c.number) + "'s");
    EXPECT_EQ(!c.plain, warned) << Listing(findings);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NameNumbers,
    ::testing::Values(NumberCase{"Digits", u"5", 5, true},
                      NumberCase{"LeadingZero", u"05", 5, true}, NumberCase{"Zero", u"0", 0, true},
                      NumberCase{"Nothing", u"", 0, false}, NumberCase{"Letters", u"Foo", 0, false},
                      NumberCase{"DigitsThenALetter", u"5a", 5, false},
                      NumberCase{"Hexadecimal", u"0x10", 16, false},
                      NumberCase{"HexadecimalCapitalX", u"0X1f", 31, false},
                      NumberCase{"HexadecimalWithoutItsZero", u"x10", 16, false},
                      NumberCase{"HexadecimalAfterTwoZeros", u"00x10", 0, false},
                      NumberCase{"Negative", u"-1", 4294967295u, false},
                      NumberCase{"SignAfterTheZero", u"0-5", 4294967291u, false},
                      NumberCase{"Plus", u"+7", 7, false}, NumberCase{"Blank", u" 7", 7, false},
                      NumberCase{"Tab", u"\t7", 7, false},
                      NumberCase{"BlankAfterTheZero", u"0 7", 0, false},
                      NumberCase{"Largest", u"4294967295", 4294967295u, true},
                      NumberCase{"OnePastTheLargest", u"4294967296", 0, false},
                      NumberCase{"HexadecimalWraps", u"0x100000010", 16, false}));

// Launch5 and Launch05 are one entry: the value enumerated last gives its program, whichever
// of the two that is.
TEST(SetupCheck, OfTwoValuesOfOneNumberTheOneSetLastStarts) {
    for (const bool shortFirst : {true, false}) {
        sim::ResetDevice();
        sim::Device& device = sim::CurrentDevice();
        const InitValue five{u"Launch5", u"five.exe", {}, {}, sim::kRegSz};
        const InitValue zeroFive{u"Launch05", u"zerofive.exe", {}, {}, sim::kRegSz};
        SetInit(device, shortFirst ? std::vector<InitValue>{five, zeroFive}
                                   : std::vector<InitValue>{zeroFive, five});
        setupcheck::Findings findings;
        const bootorder::BootOrder order =
            bootorder::ReadBootOrder(device.registry, device.ownPath, findings);
        ASSERT_EQ(1u, order.entries.size());
        EXPECT_EQ(shortFirst ? u"zerofive.exe" : u"five.exe", order.entries[0].program);
        EXPECT_TRUE(Has(
            findings, Level::kError,
            shortFirst ? "Launch05: entry 5, as Launch5 is" : "Launch5: entry 5, as Launch05 is"))
            << Listing(findings);
    }
}

// --- the 32 entries, counted in the order the values were set ------------------------------

// 31 numbers, then a 32nd and a 33rd new number set in a chosen order, then values of numbers
// already kept, which still count.
struct LimitCase {
    const char* name;
    std::vector<InitValue> after;   // set after the 31 (100..130)
    std::vector<uint32_t> numbers;  // of the entries kept beyond the 31, ascending
    std::string dropped;            // the values named as never read, "" for no error
};

void PrintTo(const LimitCase& c, std::ostream* os) {
    *os << c.name;
}

class EntryLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(EntryLimit, DropsTheNewNumbersSetLast) {
    const LimitCase& c = GetParam();
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    std::vector<InitValue> values;
    for (int i = 0; i < 31; ++i) {
        values.push_back(Launch(100 + i, u"svc.exe"));
    }
    values.insert(values.end(), c.after.begin(), c.after.end());
    SetInit(device, values);
    setupcheck::Findings findings;
    const bootorder::BootOrder order =
        bootorder::ReadBootOrder(device.registry, device.ownPath, findings);
    std::vector<uint32_t> beyond;
    for (const bootorder::Entry& entry : order.entries) {
        if (entry.number < 100 || entry.number > 130) {
            beyond.push_back(entry.number);
        }
    }
    EXPECT_EQ(c.numbers, beyond);
    if (c.dropped.empty()) {
        EXPECT_EQ(0u, Count(findings, Level::kError)) << Listing(findings);
    } else {
        EXPECT_TRUE(Has(findings, Level::kError, "so " + c.dropped + " never read"))
            << Listing(findings);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, EntryLimit,
    ::testing::Values(
        LimitCase{"TheThirtySecond", {Launch(500, u"a.exe")}, {500}, ""},
        // The 33rd new number is dropped though it is the lowest, and its DependNN with it.
        LimitCase{"TheThirtyThirdIsTheLowest",
                  {Launch(500, u"a.exe"), Launch(5, u"b.exe"), Depend(5, {100})},
                  {500},
                  "Launch5, Depend5 are"},
        LimitCase{"TheThirtyThirdIsTheHighest",
                  {Launch(5, u"b.exe"), Launch(500, u"a.exe")},
                  {5},
                  "Launch500 is"},
        // A DependNN alone takes a place as a LaunchNN does.
        LimitCase{"ADependAloneTakesTheThirtySecond",
                  {Depend(7, {100}), Launch(8, u"c.exe")},
                  {7},
                  "Launch8 is"},
        // Values of a number already kept are read, however late.
        LimitCase{"AKnownNumberStillUpdates",
                  {Launch(500, u"a.exe"), Launch(600, u"d.exe"), Depend(500, {100})},
                  {500},
                  "Launch600 is"}));

// The order the values were set, not their names' order: the same values set the other way
// round drop the other number.
TEST(SetupCheck, TheLimitFollowsTheOrderValuesWereSet) {
    for (const bool lowFirst : {true, false}) {
        sim::ResetDevice();
        sim::Device& device = sim::CurrentDevice();
        std::vector<InitValue> values;
        for (int i = 0; i < 31; ++i) {
            values.push_back(Launch(100 + i, u"svc.exe"));
        }
        const std::vector<InitValue> two{Launch(7, u"low.exe"), Launch(900, u"high.exe")};
        values.push_back(lowFirst ? two[0] : two[1]);
        values.push_back(lowFirst ? two[1] : two[0]);
        SetInit(device, values);
        setupcheck::Findings findings;
        const bootorder::BootOrder order =
            bootorder::ReadBootOrder(device.registry, device.ownPath, findings);
        ASSERT_EQ(32u, order.entries.size());
        EXPECT_EQ(lowFirst ? 7u : 100u, order.entries.front().number);
        EXPECT_EQ(lowFirst ? 130u : 900u, order.entries.back().number);
        ASSERT_EQ(1u, order.dropped.size());
        EXPECT_EQ(lowFirst ? u"Launch900" : u"Launch7", order.dropped[0]);
    }
}

// --- device.exe started early -----------------------------------------------------------------

struct EarlyCase {
    const char* name;
    std::vector<uint8_t> startDevMgr;  // REG_DWORD bytes; empty: not set
    std::u16string program;            // of Launch20
    bool set;                          // device.exe starts before the entries
    bool early;                        // and entry 20 is that start
};

void PrintTo(const EarlyCase& c, std::ostream* os) {
    *os << c.name;
}

class DeviceManagerEarly : public ::testing::TestWithParam<EarlyCase> {};

TEST_P(DeviceManagerEarly, IsNotStartedAgain) {
    const EarlyCase& c = GetParam();
    sim::Device& device = WellSetUpDevice();
    device.registry.SetString(kInit, u"Launch20", c.program);
    if (!c.startDevMgr.empty()) {
        device.registry.SetValue(u"HKEY_LOCAL_MACHINE\\init\\BootVars", u"Start DevMgr",
                                 sim::RegistryValue{sim::kRegDword, c.startDevMgr});
    }
    ScratchRoot root;
    root.AddFile("Windows/gwes.exe");
    device.files.SetRoot(root.Path());
    const setupcheck::Report report = setupcheck::CheckSetup(device, true);
    EXPECT_EQ(c.early, report.order.entries[0].startedEarly);
    const std::string text = setupcheck::FormatReport(report);
    EXPECT_EQ(c.set, text.find("  -  device.exe, started before the entries (init\\BootVars "
                               "\"Start DevMgr\")\n") != std::string::npos)
        << text;
    EXPECT_EQ(c.early, text.find("(already started, not again)") != std::string::npos) << text;
    // Started early, it is not looked for; the loop looks for every other name.
    EXPECT_EQ(c.early ? 0u : 1u, Count(report.findings, Level::kError)) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeviceManagerEarly,
    ::testing::Values(EarlyCase{"Set", {1, 0, 0, 0}, u"device.exe", true, true},
                      EarlyCase{"InOtherCase", {1, 0, 0, 0}, u"DEVICE.EXE", true, true},
                      EarlyCase{"NotSet", {}, u"device.exe", false, false},
                      EarlyCase{"SetToZero", {0, 0, 0, 0}, u"device.exe", false, false},
                      EarlyCase{"WithAFolder", {1, 0, 0, 0}, u"\\Windows\\device.exe", true, false},
                      EarlyCase{"WithoutExe", {1, 0, 0, 0}, u"device", true, false}));

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

// A full DependNN waits for its program name's characters too: "z" is 122, a later entry.
TEST(SetupCheck, AFullDependWaitsForItsProgramNamesCharacters) {
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    std::vector<uint8_t> full = Bytes(64);
    SetInit(device, {Launch(20, u"device.exe"), Launch(120, u"z"),
                     Raw(u"Depend120", full, sim::kRegBinary), Launch(122, u"after.exe")});
    const setupcheck::Report report = setupcheck::CheckSetup(device, false);
    EXPECT_TRUE(Has(report.findings, Level::kError,
                    "Depend120: 64 bytes, 32 launch numbers with no 0 among them"))
        << Listing(report.findings);
    EXPECT_TRUE(Has(report.findings, Level::kError,
                    "entry 120 (z) waits for entry 122 (after.exe), which starts only after it"))
        << Listing(report.findings);
    EXPECT_EQ(1u, report.bootStopsAt);
    // Its characters are no numbers of their own to report: no "has no entry" for them.
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
        StartCase{"BothWays",
                  {Launch(50, u"Kelbrun.EXE")},
                  {{kShortcut, "23#\\Windows\\Kelbrun.EXE"}},
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

struct SearchCase {
    const char* name;
    std::u16string program;           // Launch60's; entry 70 waits for it
    std::vector<std::string> files;   // under the root
    std::vector<uint8_t> systemPath;  // HKLM\Loader "SystemPath"; empty: none
    uint32_t systemPathType;
    size_t errors;
    size_t warnings;
    std::string part;
};

void PrintTo(const SearchCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<uint8_t> MultiSz(const std::vector<std::u16string>& strings) {
    std::vector<uint8_t> bytes;
    for (const std::u16string& s : strings) {
        const std::vector<uint8_t> one = Chars(s);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

// "\Apps\" and a filler folder, in a SystemPath of the given size.
std::vector<uint8_t> SystemPathOf(size_t bytes) {
    const size_t filler = bytes / 2 - 1 - 7 - 1;  // characters of the filler, less its NUL
    return MultiSz({u"\\" + std::u16string(filler - 2, u'f') + u"\\", u"\\Apps\\"});
}

class ProgramSearch : public ::testing::TestWithParam<SearchCase> {};

TEST_P(ProgramSearch, FindsWhatTheKernelFinds) {
    const SearchCase& c = GetParam();
    sim::Device& device = WellSetUpDevice();
    SetInit(device, {Launch(60, c.program), Launch(70, u"\\Late\\after.exe"), Depend(70, {60})});
    if (!c.systemPath.empty()) {
        device.registry.SetValue(u"HKEY_LOCAL_MACHINE\\Loader", u"SystemPath",
                                 sim::RegistryValue{c.systemPathType, c.systemPath});
    }
    ScratchRoot root;
    root.AddFile("Late/after.exe");
    root.AddFolder("SDMMC");
    for (const std::string& file : c.files) {
        root.AddFile(file);
        // With a \Windows folder, the image's own programs are looked for there too.
        if (file.starts_with("Windows/")) {
            root.AddFile("Windows/device.exe");
            root.AddFile("Windows/gwes.exe");
        }
    }
    device.files.SetRoot(root.Path());
    const setupcheck::Report report = setupcheck::CheckSetup(device, true);
    EXPECT_EQ(c.errors, Count(report.findings, Level::kError)) << Listing(report.findings);
    EXPECT_EQ(c.warnings, Count(report.findings, Level::kWarning)) << Listing(report.findings);
    if (!c.part.empty()) {
        EXPECT_NE(std::string::npos, Listing(report.findings).find(c.part))
            << Listing(report.findings);
    }
    // A program that is not found fails to start; what waits for it goes on without it.
    const bool fails = Has(report.findings, Level::kError, "Launch60: ");
    EXPECT_EQ(fails, Has(report.findings, Level::kWarning,
                         "entry 70 (\\Late\\after.exe) waits for entry 60"));
    EXPECT_EQ(report.order.entries.size(), report.bootStopsAt);
}

const std::string kWindowsFile = "Windows/gwes.exe";
const std::u16string kName250 = std::u16string(246, u'n') + u".exe";

INSTANTIATE_TEST_SUITE_P(
    Table, ProgramSearch,
    ::testing::Values(
        SearchCase{"AbsoluteFound",
                   u"\\ResidentFlash\\svc.exe",
                   {"ResidentFlash/svc.exe"},
                   {},
                   0,
                   0,
                   0,
                   ""},
        SearchCase{"AbsoluteMissing",
                   u"\\ResidentFlash\\svc.exe",
                   {},
                   {},
                   0,
                   1,
                   1,
                   "Launch60: \"\\ResidentFlash\\svc.exe\" is no file under --root (tried "
                   "\\ResidentFlash\\svc.exe, \\ResidentFlash\\svc.exe.exe): the kernel cannot "
                   "start it, and the launch loop counts entry 60 as done without it (CE 5.0's "
                   "launch loop)"},
        // Without a \Windows folder the image's files are unknown: nothing to say.
        SearchCase{"RelativeWithoutAWindowsFolder", u"svc.exe", {}, {}, 0, 0, 0, ""},
        SearchCase{"RelativeInWindows", u"svc.exe", {"Windows/svc.exe"}, {}, 0, 0, 0, ""},
        SearchCase{
            "RelativeInTheRootFolder", u"svc.exe", {kWindowsFile, "svc.exe"}, {}, 0, 0, 0, ""},
        SearchCase{"RelativeMissing",
                   u"svc.exe",
                   {kWindowsFile},
                   {},
                   0,
                   1,
                   1,
                   "(tried \\Windows\\svc.exe, \\svc.exe, \\Windows\\svc.exe.exe, \\svc.exe.exe)"},
        SearchCase{"ExeAdded", u"svc", {"Windows/svc.exe"}, {}, 0, 0, 0, ""},
        // A relative name with a folder is looked for below \Windows and \ as well.
        SearchCase{"RelativeWithAFolder",
                   u"Apps\\svc.exe",
                   {kWindowsFile, "Apps/svc.exe"},
                   {},
                   0,
                   0,
                   0,
                   ""},
        SearchCase{"InSystemPath",
                   u"nav.exe",
                   {kWindowsFile, "Storage Card/nav.exe"},
                   MultiSz({u"\\Storage Card\\"}),
                   sim::kRegMultiSz,
                   0,
                   0,
                   ""},
        SearchCase{"InTheSecondSystemPathFolder",
                   u"nav",
                   {kWindowsFile, "B/nav.exe"},
                   MultiSz({u"\\A\\", u"\\B\\"}),
                   sim::kRegMultiSz,
                   0,
                   0,
                   ""},
        SearchCase{"SystemPathWithoutItsBackslash",
                   u"nav.exe",
                   {kWindowsFile, "Storage Card/nav.exe"},
                   MultiSz({u"\\Storage Card"}),
                   sim::kRegMultiSz,
                   1,
                   2,
                   "\\Storage Cardnav.exe"},
        SearchCase{"SystemPathWithoutItsBackslashJoinedAsTheKernelJoins",
                   u"nav.exe",
                   {kWindowsFile, "Storage Cardnav.exe"},
                   MultiSz({u"\\Storage Card"}),
                   sim::kRegMultiSz,
                   0,
                   1,
                   "SystemPath: \"\\Storage Card\" does not end in a backslash: the kernel puts a "
                   "program's name right after it"},
        SearchCase{"SystemPathNotMultiSz",
                   u"nav.exe",
                   {kWindowsFile, "Storage Card/nav.exe"},
                   Chars(u"\\Storage Card\\"),
                   sim::kRegSz,
                   1,
                   2,
                   "SystemPath: not REG_MULTI_SZ: the kernel does not read it"},
        SearchCase{"AnEmptyStringEndsSystemPath",
                   u"nav.exe",
                   {kWindowsFile, "B/nav.exe"},
                   {'\\', 0, 'A', 0, '\\', 0, 0, 0, 0, 0, '\\', 0, 'B', 0, '\\', 0, 0, 0, 0, 0},
                   sim::kRegMultiSz,
                   1,
                   1,
                   "(tried \\Windows\\nav.exe, \\nav.exe, \\A\\nav.exe, \\Windows\\nav.exe.exe"},
        SearchCase{"SystemPathOf518Bytes",
                   u"nav.exe",
                   {kWindowsFile, "Apps/nav.exe"},
                   SystemPathOf(518),
                   sim::kRegMultiSz,
                   0,
                   0,
                   ""},
        SearchCase{"SystemPathOf520Bytes",
                   u"nav.exe",
                   {kWindowsFile, "Apps/nav.exe"},
                   SystemPathOf(520),
                   sim::kRegMultiSz,
                   1,
                   2,
                   "SystemPath: 520 bytes, not fewer than 520: the kernel does not read it"},
        // \Windows\ and 250 characters are the 259 a path holds; one more is not tried there.
        SearchCase{
            "ANameOf250InWindows", kName250, {"Windows/" + sim::ToUtf8(kName250)}, {}, 0, 0, 0, ""},
        SearchCase{"ANameOf251InWindows",
                   u"m" + kName250,
                   {"Windows/m" + sim::ToUtf8(kName250)},
                   {},
                   0,
                   1,
                   1,
                   "(tried \\m"}));

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
