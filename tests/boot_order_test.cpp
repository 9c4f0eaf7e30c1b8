// The unit's boot order as CE 5.0's launch loop reads HKEY_LOCAL_MACHINE\init: each value's
// number, program and list at their limits, and every wait that never ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/device.h"
#include "platform/sim/text.h"
#include "tests/check_test_support.h"
#include "tests/init_test_support.h"
#include "tests/sim_test_support.h"
#include "tools/kelbrun-sim/boot_order.h"
#include "tools/kelbrun-sim/program_search.h"
#include "tools/kelbrun-sim/setup_check.h"

namespace {

using namespace testing_support::init;
using setupcheck::Finding;
using testing_support::Count;
using testing_support::kPathsKey;
using testing_support::Listing;
using testing_support::ScratchRoot;

// --- the init key, as CE 5.0's launch loop reads it ----------------------------------------

struct InitCase {
    const char* name;
    std::vector<InitValue> values;      // set on top of the well set-up unit's
    std::vector<std::string> findings;  // the report's lines, "error: ..." or "warning: ..."
};

void PrintTo(const InitCase& c, std::ostream* os) {
    *os << c.name;
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
    EXPECT_EQ(c.findings, testing_support::ListingLines(report.findings));
}

const std::u16string kBlanks(120, u' ');
const std::string kBlankText(120, ' ');
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
        InitCase{"Depend63",
                 {Raw(u"Depend50", Bytes(63), kBin)},
                 {"error: HKEY_LOCAL_MACHINE\\init, Depend50: holds an odd number of bytes (63), "
                  "not whole 16-bit launch numbers: the launch loop skips it whole, and entry 50 "
                  "waits for nothing it lists (CE 5.0's launch loop)"}},
        // 31 numbers and no zero: the 64 bytes the loop reads end with a zero of their own.
        InitCase{"Depend62", {Raw(u"Depend50", Bytes(62), kBin)}, {}},
        // 32 numbers and no zero: the list runs on into "Kelbrun.EXE".
        InitCase{"Depend64",
                 {Raw(u"Depend50", Bytes(64), kBin)},
                 {"error: HKEY_LOCAL_MACHINE\\init, Depend50: 64 bytes, 32 launch numbers with no "
                  "0 among them to end the list: the launch loop reads on into entry 50's program "
                  "name \"Kelbrun.EXE\" and waits for its characters as numbers too (75, 101, 108, "
                  "98, 114, 117, 110, 46, 69, 88, 69) (CE 5.0's launch loop)"}},
        InitCase{"Depend64EndedByAZero", {Raw(u"Depend50", kEnded64, kBin)}, {}},
        InitCase{"Depend65",
                 {Raw(u"Depend50", Bytes(65), kBin)},
                 {"error: HKEY_LOCAL_MACHINE\\init, Depend50: holds 65 bytes, more than the 64 (32 "
                  "launch numbers) the loop reads: the launch loop skips it whole, and entry 50 "
                  "waits for nothing it lists (CE 5.0's launch loop)"}},
        InitCase{"DependOfOneByte",
                 {Raw(u"Depend50", {20}, kBin)},
                 {"error: HKEY_LOCAL_MACHINE\\init, Depend50: holds an odd number of bytes (1), "
                  "not whole 16-bit launch numbers: the launch loop skips it whole, and entry 50 "
                  "waits for nothing it lists (CE 5.0's launch loop)"}},
        // Skipped, it makes no entry either: no "no LaunchNN" warning.
        InitCase{"DependAloneOfOneByte",
                 {Raw(u"Depend60", {20}, kBin)},
                 {"error: HKEY_LOCAL_MACHINE\\init, Depend60: holds an odd number of bytes (1), "
                  "not whole 16-bit launch numbers: the launch loop skips it whole, and entry 60 "
                  "waits for nothing it lists (CE 5.0's launch loop)"}},
        InitCase{"DependNotBinary",
                 {Raw(u"Depend50", Bytes(2), 4)},
                 {"warning: HKEY_LOCAL_MACHINE\\init, Depend50: is REG_DWORD, not REG_BINARY: the "
                  "launch loop reads its bytes as launch numbers all the same (20) (CE 5.0's "
                  "launch loop)"}},
        // "20" as text is the numbers 50 ('2') and 48 ('0'): entry 50 waits for itself.
        InitCase{
            "DependAsText",
            {Raw(u"Depend50", Chars(u"20"), 1)},
            {"warning: HKEY_LOCAL_MACHINE\\init, Depend50: is REG_SZ, not REG_BINARY: the launch "
             "loop reads its bytes as launch numbers all the same (50, 48) (CE 5.0's launch loop)",
             "error: HKEY_LOCAL_MACHINE\\init, Depend50: entry 50 (Kelbrun.EXE) waits for itself: "
             "it never starts; the launch loop waits there for ever, and the launcher is never "
             "started (CE 5.0's launch loop)",
             "warning: HKEY_LOCAL_MACHINE\\init, Depend50: entry 50 (Kelbrun.EXE) waits for 48, "
             "which has no entry: that counts as met, and it starts without it (CE 5.0's launch "
             "loop)"}},
        InitCase{
            "Depend060",
            {Launch(60, u"a"), {u"Depend060", {}, {50}, {}, 3}},
            {"error: HKEY_LOCAL_MACHINE\\init, Depend060: entry 60 (a) waits for entry 50 "
             "(Kelbrun.EXE), the launcher's own entry; the launcher never calls SignalStarted: it "
             "never starts; the launch loop waits there for ever (CE 5.0's launch loop)"}},
        InitCase{
            "DependAloneWaitsForTheLauncher",
            {Depend(60, {50})},
            {"warning: HKEY_LOCAL_MACHINE\\init, Depend60: no LaunchNN has number 60: entry 60 "
             "starts no program, but the boot still waits there for what it lists, and then counts "
             "it as started (CE 5.0's launch loop)",
             "error: HKEY_LOCAL_MACHINE\\init, Depend60: entry 60 ((no program)) waits for entry "
             "50 (Kelbrun.EXE), the launcher's own entry; the launcher never calls SignalStarted: "
             "it never starts; the launch loop waits there for ever (CE 5.0's launch loop)"}},
        InitCase{"AZeroEndsTheDependList", {Launch(60, u"svc.exe"), Depend(60, {0, 50})}, {}},
        InitCase{"DependWithoutItsLaunch",
                 {Depend(60, {20})},
                 {"warning: HKEY_LOCAL_MACHINE\\init, Depend60: no LaunchNN has number 60: entry "
                  "60 starts no program, but the boot still waits there for what it lists, and "
                  "then counts it as started (CE 5.0's launch loop)"}},
        InitCase{"LaunchNotString",
                 {Raw(u"Launch60", Bytes(4), kBin)},
                 {"warning: HKEY_LOCAL_MACHINE\\init, Launch60: is REG_BINARY, not REG_SZ: the "
                  "launch loop takes its bytes as the program's name all the same, which starts "
                  "entry 60 only if they spell one (CE 5.0's launch loop)"}},
        InitCase{"ExpandSz",
                 {Raw(u"Launch60", Chars(u"%A%"), 2)},
                 {"error: HKEY_LOCAL_MACHINE\\init, Launch60: is REG_EXPAND_SZ: the launch loop "
                  "does not expand it, and starts \"%A%\" as it stands, which names no program (CE "
                  "5.0's launch loop)"}},
        InitCase{"MultiSz",
                 {Raw(u"Launch60", kTwoStrings, 7)},
                 {"warning: HKEY_LOCAL_MACHINE\\init, Launch60: is REG_MULTI_SZ: the launch loop "
                  "takes its first string, \"a\", as the program, and starts nothing else of it "
                  "(CE 5.0's launch loop)"}},
        InitCase{
            "LaunchOtherCase",
            {{u"launch60", u"a", {}, {}, 1}},
            {"warning: HKEY_LOCAL_MACHINE\\init, launch60: is not read: the launch loop matches "
             "the names \"Launch\" and \"Depend\" in that case (CE 5.0's launch loop)"}},
        InitCase{"DependOtherCase", {{u"DEPEND50", {}, {20}, {}, kBin}}, {}},
        InitCase{"LaunchNamesNothing",
                 {Launch(60, u"")},
                 {"error: HKEY_LOCAL_MACHINE\\init, Launch60: names no program: entry 60 starts "
                  "nothing, and counts as started (CE 5.0's launch loop)"}},
        InitCase{"SameNumberTwice",
                 {{u"Launch030", u"b", {}, {}, 1}},
                 {"error: HKEY_LOCAL_MACHINE\\init, Launch030: entry 30, as Launch30 is: the "
                  "launch loop keeps one program for each number, that of the value it enumerates "
                  "last, so \"b\" of Launch030 starts and \"gwes.exe\" of Launch30 does not (CE "
                  "5.0's launch loop)"}},
        InitCase{"SameDependTwice",
                 {{u"Depend050", {}, {20}, {}, kBin}},
                 {"error: HKEY_LOCAL_MACHINE\\init, Depend050: entry 50's list, as Depend50 is: "
                  "the launch loop waits for the list of the value it enumerates last, Depend050 "
                  "(20), not Depend50's (CE 5.0's launch loop)"}},
        InitCase{"NumberBeyond16Bits",
                 {Launch(65536, u"a")},
                 {"warning: HKEY_LOCAL_MACHINE\\init, Launch65536: launch number 65536 does not "
                  "fit the 16 bits of a DependNN: nothing can wait for it (CE 5.0's launch loop)"}},
        InitCase{"NumberOf16Bits", {Launch(65535, u"a")}, {}},
        // 259 characters and the terminator fill the 520 bytes; one more is cut.
        InitCase{"ProgramOf259", {Raw(u"Launch60", k259, 1)}, {}},
        InitCase{"ProgramOf260",
                 {Raw(u"Launch60", k260, 1)},
                 {"error: HKEY_LOCAL_MACHINE\\init, Launch60: 522 bytes, and the launch loop reads "
                  "520: the name is cut to 260 characters with no terminator, and entry 60's "
                  "program fails to start (CE 5.0's launch loop)"}},
        // A name is read into 128 characters with its terminator: 127 are kept whole, and of
        // "Depend", 120 blanks and "70" the 0 is lost, which makes an entry 7.
        InitCase{
            "NameOf127",
            {{u"Launch" + kBlanks + u"7", u"a", {}, {}, 1}},
            {"warning: HKEY_LOCAL_MACHINE\\init, Launch" + kBlankText +
             "7: the launch loop reads \"                                                          "
             "                                                              7\" after \"Launch\" "
             "as 7 (COREDLL's _wtol): this value is entry 7's (CE 5.0's launch loop)"}},
        InitCase{
            "NameOf128",
            {Launch(70, u"a"), kCutName},
            {"warning: HKEY_LOCAL_MACHINE\\init, Depend" + kBlankText +
                 "7: the launch loop reads \"                                                      "
                 "                                                                  7\" after "
                 "\"Depend\" as 7 (COREDLL's _wtol): this value is entry 7's (CE 5.0's launch "
                 "loop)",
             "warning: HKEY_LOCAL_MACHINE\\init, Depend" + kBlankText +
                 "7: no LaunchNN has number 7: entry 7 starts no program, but the boot still waits "
                 "there for what it lists, and then counts it as started (CE 5.0's launch loop)",
             "warning: HKEY_LOCAL_MACHINE\\init, Depend" + kBlankText +
                 "7: entry 7 ((no program)) waits for 5, which has no entry: that counts as met, "
                 "and it starts without it (CE 5.0's launch loop)"}},
        InitCase{"ThirtyTwoEntries", ManyEntries(32), {}},
        InitCase{"ThirtyThreeEntries",
                 ManyEntries(33),
                 {"error: HKEY_LOCAL_MACHINE\\init: more than 32 launch numbers: the launch loop "
                  "keeps the first 32 in the order it enumerates the values (the order they were "
                  "set in) and skips every value of a further number, so Launch129 is never read "
                  "(CE 5.0's launch loop)"}}));

// DependOtherCase: "DEPEND50" is not "Depend50", so the loop finds no dependencies for 50
// and the launcher's entry waits for nothing. The value itself is reported.
TEST(BootOrder, ADependInAnotherCaseIsNotRead) {
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
TEST(BootOrder, NamesAreNumberedAsTheLoopReadsThem) {
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
TEST(BootOrder, OfTwoValuesOfOneNumberTheOneSetLastStarts) {
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
TEST(BootOrder, TheLastValueOfANumberDecidesWhetherItsStartFails) {
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
TEST(BootOrder, TheThirtyThirdNewNumberIsDropped) {
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
TEST(BootOrder, DeviceExeStartedEarlyIsNotStartedAgain) {
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
    std::vector<std::string> findings;  // the lines CheckWaits gives, in their order
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
    EXPECT_EQ(c.findings, testing_support::ListingLines(findings));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Waits,
    ::testing::Values(
        WaitCase{"OnAnEarlierEntry",
                 {Launch(20, u"device.exe"), Launch(50, u"Kelbrun.EXE"), Depend(50, {20})},
                 {}},
        WaitCase{"OnTheNumberJustBelow",
                 {Launch(20, u"device.exe"), Launch(21, u"b.exe"), Depend(21, {20})},
                 {}},
        WaitCase{
            "OnTheNextNumberUp",
            {Launch(20, u"device.exe"), Depend(20, {21}), Launch(21, u"b.exe")},
            {"error: HKEY_LOCAL_MACHINE\\init, Depend20: entry 20 (device.exe) waits for entry 21 "
             "(b.exe), which starts only after it: it never starts; the launch loop waits there "
             "for ever, so no later entry starts either (21) (CE 5.0's launch loop)"}},
        WaitCase{"OnTheLauncher",
                 {Launch(20, u"device.exe"), Launch(50, u"Kelbrun.EXE"), Launch(60, u"svc.exe"),
                  Depend(60, {50}), Launch(70, u"ui.exe")},
                 {"error: HKEY_LOCAL_MACHINE\\init, Depend60: entry 60 (svc.exe) waits for entry "
                  "50 (Kelbrun.EXE), the launcher's own entry; the launcher never calls "
                  "SignalStarted: it never starts; the launch loop waits there for ever, so no "
                  "later entry starts either (70) (CE 5.0's launch loop)"}},
        WaitCase{"OnItself",
                 {Launch(20, u"device.exe"), Depend(20, {20}), Launch(50, u"Kelbrun.EXE")},
                 {"error: HKEY_LOCAL_MACHINE\\init, Depend20: entry 20 (device.exe) waits for "
                  "itself: it never starts; the launch loop waits there for ever, so no later "
                  "entry starts either (50), the launcher among them (CE 5.0's launch loop)"}},
        WaitCase{"OnALaterEntry",
                 {Launch(20, u"device.exe"), Depend(20, {30}), Launch(30, u"gwes.exe"),
                  Launch(50, u"Kelbrun.EXE")},
                 {"error: HKEY_LOCAL_MACHINE\\init, Depend20: entry 20 (device.exe) waits for "
                  "entry 30 (gwes.exe), which starts only after it: it never starts; the launch "
                  "loop waits there for ever, so no later entry starts either (30, 50), the "
                  "launcher among them (CE 5.0's launch loop)"}},
        WaitCase{"TheLauncherOnALaterEntry",
                 {Launch(20, u"device.exe"), Launch(50, u"Kelbrun.EXE"), Depend(50, {60}),
                  Launch(60, u"svc.exe")},
                 {"error: HKEY_LOCAL_MACHINE\\init, Depend50: entry 50 (Kelbrun.EXE) waits for "
                  "entry 60 (svc.exe), which starts only after it: it never starts; the launch "
                  "loop waits there for ever, and the launcher is never started, so no later entry "
                  "starts either (60) (CE 5.0's launch loop)"}},
        WaitCase{
            "AndThoseThatWaitForItInTurn",
            {Launch(20, u"device.exe"), Launch(50, u"Kelbrun.EXE"), Launch(60, u"a.exe"),
             Depend(60, {50}), Launch(70, u"b.exe"), Depend(70, {20}), Launch(80, u"c.exe"),
             Depend(80, {90}), Launch(90, u"d.exe"), Depend(90, {60})},
            {"error: HKEY_LOCAL_MACHINE\\init, Depend60: entry 60 (a.exe) waits for entry 50 "
             "(Kelbrun.EXE), the launcher's own entry; the launcher never calls SignalStarted: it "
             "never starts; the launch loop waits there for ever, so no later entry starts either "
             "(70, 80, 90); 80, 90 wait for it through DependNN as well (CE 5.0's launch loop)",
             "error: HKEY_LOCAL_MACHINE\\init, Depend80: entry 80 (c.exe) waits for entry 90 "
             "(d.exe), which starts only after it: it never starts (CE 5.0's launch loop)"}},
        WaitCase{"OnANumberWithoutEntry",
                 {Launch(20, u"device.exe"), Launch(50, u"Kelbrun.EXE"), Depend(50, {20, 45})},
                 {"warning: HKEY_LOCAL_MACHINE\\init, Depend50: entry 50 (Kelbrun.EXE) waits for "
                  "45, which has no entry: that counts as met, and it starts without it (CE 5.0's "
                  "launch loop)"}},
        WaitCase{"TwoStuckEntriesTheFirstStopsTheBoot",
                 {Launch(20, u"device.exe"), Launch(50, u"Kelbrun.EXE"), Launch(60, u"a.exe"),
                  Depend(60, {50}), Launch(70, u"b.exe"), Depend(70, {70})},
                 {"error: HKEY_LOCAL_MACHINE\\init, Depend60: entry 60 (a.exe) waits for entry 50 "
                  "(Kelbrun.EXE), the launcher's own entry; the launcher never calls "
                  "SignalStarted: it never starts; the launch loop waits there for ever, so no "
                  "later entry starts either (70) (CE 5.0's launch loop)",
                  "error: HKEY_LOCAL_MACHINE\\init, Depend70: entry 70 (b.exe) waits for itself: "
                  "it never starts (CE 5.0's launch loop)"}}));

// A full DependNN waits for its program name's characters too: "z" is 122, a later entry; and
// they are no numbers of their own to report as having no entry.
TEST(BootOrder, AFullDependWaitsForItsProgramNamesCharacters) {
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

}  // namespace
