// kelbrun-sim --explain: a unit's debug log in the forms captures write it (a serial console's
// bare lines, Platform Builder's output window with its timestamp, process, thread and the
// debug kernel's thread address before each message), told apart into the launcher's runs,
// each run's ending, and where a run departs from a dry run of the unit's files.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/device.h"
#include "platform/sim/text.h"
#include "tests/sim_test_support.h"
#include "tools/kelbrun-sim/explain/explain.h"
#include "tools/kelbrun-sim/explain/log_reader.h"
#include "tools/kelbrun-sim/explain/trail_runs.h"

namespace {

using explainlog::Ending;
using explainlog::TrailLine;
using Kind = TrailLine::Kind;

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// The output window's prefix, as Platform Builder writes it with the timestamp, process and
// thread options on, before the debug kernel's own "0x<thread>: ".
std::string Stamped(uint64_t ms, const std::string& message) {
    std::string stamp = std::to_string(ms);
    return std::string(stamp.size() < 7 ? 7 - stamp.size() : 0, ' ') + stamp +
           " PID:83fe2a32 TID:83fd9e4a 0x83fd9000: " + message;
}

struct LineCase {
    const char* name;
    std::u16string line;
    bool found;
    Kind kind;
    std::u16string text;
    int code;
    std::optional<uint64_t> timeMs;
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

class Recognize : public ::testing::TestWithParam<LineCase> {};

TEST_P(Recognize, FindsTheMessageAfterAnyPrefix) {
    const LineCase& c = GetParam();
    const auto line = explainlog::RecognizeLine(c.line);
    ASSERT_EQ(line.has_value(), c.found);
    if (!c.found) {
        return;
    }
    EXPECT_EQ(line->kind, c.kind);
    EXPECT_EQ(sim::ToUtf8(line->text), sim::ToUtf8(c.text));
    EXPECT_EQ(line->code, c.code);
    EXPECT_EQ(line->timeMs, c.timeMs);
    // The message reads back as the launcher wrote it, whatever stood before it.
    std::u16string message = c.line.substr(line->prefix.size());
    if (line->kind == Kind::kNoFolder) {
        message.resize(message.find(u'!') + 4);
    }
    EXPECT_EQ(sim::ToUtf8(message), sim::ToUtf8(line->Message()));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Recognize,
    ::testing::Values(
        LineCase{"bare", u"Folder name is \\SDMMC", true, Kind::kFolder, u"\\SDMMC", 0, {}},
        LineCase{"output_window", u"   4216 PID:83fe2a32 TID:83fd9e4a 0x83fd9000: SDMMCPath: \\SD",
                 true, Kind::kCardPath, u"\\SD", 0, 4216},
        LineCase{"thread_address_only",
                 u"0x8f6d2000: RegQueryValueEx Failed [234].",
                 true,
                 Kind::kQueryFailed,
                 u"234",
                 234,
                 {}},
        LineCase{
            "negative_code", u"RegOpenKeyEx Failed [-5].", true, Kind::kOpenFailed, u"-5", -5, {}},
        LineCase{"lowest_int",
                 u"RegOpenKeyEx Failed [-2147483648].",
                 true,
                 Kind::kOpenFailed,
                 u"-2147483648",
                 INT32_MIN,
                 {}},
        LineCase{"one_past_int",
                 u"RegOpenKeyEx Failed [2147483648].",
                 false,
                 Kind::kOpenFailed,
                 u"",
                 0,
                 {}},
        LineCase{"code_without_its_dot",
                 u"RegOpenKeyEx Failed [2]",
                 false,
                 Kind::kOpenFailed,
                 u"",
                 0,
                 {}},
        LineCase{
            "code_not_a_number", u"RegOpenKeyEx Failed [x].", false, Kind::kOpenFailed, u"", 0, {}},
        LineCase{"own_path",
                 u"GetModuleFileName Failed [122].",
                 true,
                 Kind::kOwnPathFailed,
                 u"122",
                 122,
                 {}},
        LineCase{"no_folder_with_blanks",
                 u"Cannot find folder name!!!!  ",
                 true,
                 Kind::kNoFolder,
                 u"",
                 0,
                 {}},
        LineCase{"no_folder_and_more",
                 u"Cannot find folder name!!!! later",
                 false,
                 Kind::kNoFolder,
                 u"",
                 0,
                 {}},
        LineCase{
            "empty_folder_line", u"ResidentFlashDestPath: ", true, Kind::kFlashPath, u"", 0, {}},
        LineCase{"card_copy_absent",
                 u"File \\SDMMC\\UPDATE\\Kelbrun.EXE not exists",
                 true,
                 Kind::kNotExists,
                 u"\\SDMMC\\UPDATE\\Kelbrun.EXE",
                 0,
                 {}},
        LineCase{"navigator_there",
                 u"File \\RF\\MNAV\\Navigon.exe exists",
                 true,
                 Kind::kExists,
                 u"\\RF\\MNAV\\Navigon.exe",
                 0,
                 {}},
        LineCase{"another_programs_file",
                 u"File \\Windows\\gwes.exe exists",
                 false,
                 Kind::kExists,
                 u"",
                 0,
                 {}},
        LineCase{"joined_to_another_line",
                 u"FATFS: mountFolder name is \\Storage Card",
                 true,
                 Kind::kFolder,
                 u"\\Storage Card",
                 0,
                 {}},
        LineCase{"too_long", u"Path too long: \\AAAA", true, Kind::kTooLong, u"\\AAAA", 0, {}},
        LineCase{"nothing_of_it", u"OEMInit: 400 MHz", false, Kind::kFolder, u"", 0, {}}),
    CaseName<LineCase>);

// One run's trail, as a unit whose card holds \Mémoire writes it.
const char kTrailUtf8[] =
    "Folder name is \\M\xC3\xA9moire\n"
    "Folder name is \\M\xC3\xA9moire\\Data\n"
    "Folder name is \\RF\n"
    "SDMMCPath: \\M\xC3\xA9moire\n"
    "DataStorageDestPath: \\M\xC3\xA9moire\\Data\n"
    "ResidentFlashDestPath: \\RF\n"
    "File \\M\xC3\xA9moire\\UPDATE\\Kelbrun.EXE exists\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

std::string Utf16(const std::string& utf8, bool mark) {
    std::string bytes = mark ? "\xFF\xFE" : "";
    const std::u16string text = sim::FromUtf8(utf8).value_or(u"");
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

struct EncodingCase {
    const char* name;
    std::string bytes;
    const char* encoding;
};

void PrintTo(const EncodingCase& c, std::ostream* os) {
    *os << c.name;
}

class Encodings : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(Encodings, GiveTheSameTrail) {
    const EncodingCase& c = GetParam();
#ifdef KELBRUN_NO_CODEPAGES
    if (std::string(c.encoding).starts_with("code page")) {
        GTEST_SKIP() << "this build's iconv has no gconv modules: no Windows code page to convert";
    }
#endif
    const explainlog::LogLines log = explainlog::ReadLog(c.bytes, 1252);
    EXPECT_EQ(log.notText, "");
    EXPECT_EQ(log.encoding, c.encoding);
    ASSERT_EQ(log.trail.size(), 7u);
    EXPECT_EQ(sim::ToUtf8(log.trail[0].text), "\\M\xC3\xA9moire");
    EXPECT_EQ(log.trail[6].kind, Kind::kExists);
    EXPECT_EQ(log.trail[6].number, 7);
    const std::vector<explainlog::Run> runs = explainlog::SplitRuns(log);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].ending, Ending::kStartedCardCopy);
}

INSTANTIATE_TEST_SUITE_P(
    Captures, Encodings,
    ::testing::Values(
        EncodingCase{"utf8_lf", kTrailUtf8, "UTF-8"},
        EncodingCase{"utf8_crlf", Replace(kTrailUtf8, "\n", "\r\n"), "UTF-8"},
        EncodingCase{"utf8_cr", Replace(kTrailUtf8, "\n", "\r"), "UTF-8"},
        EncodingCase{"utf8_marked", "\xEF\xBB\xBF" + std::string(kTrailUtf8), "UTF-8"},
        EncodingCase{"ansi_1252", Replace(kTrailUtf8, "\xC3\xA9", "\xE9"), "code page 1252"},
        EncodingCase{"utf16_marked", Utf16(Replace(kTrailUtf8, "\n", "\r\n"), true), "UTF-16LE"},
        EncodingCase{"utf16_unmarked", Utf16(kTrailUtf8, false), "UTF-16LE"},
        EncodingCase{"utf16_cut_in_a_character", Utf16(kTrailUtf8, true) + std::string("\x41"),
                     "UTF-16LE"}),
    CaseName<EncodingCase>);

TEST(ReadLog, TellsBytesThatAreNoText) {
    std::string binary;
    for (int i = 0; i < 400; ++i) {
        binary += static_cast<char>(i % 32 == 10 ? 1 : i % 32);
    }
    EXPECT_NE(explainlog::ReadLog(binary, 1252).notText, "");
    EXPECT_NE(explainlog::ReadLog("\xFE\xFF\0F\0o", 1252).notText, "");
    // Text no converter here reads (a UTF-8 mark before bytes that are not UTF-8) is read byte
    // by byte: the launcher's lines are ASCII.
    const explainlog::LogLines marked = explainlog::ReadLog(
        "\xEF\xBB\xBF"
        "Folder name is \\S\xE9\r\nOEM\r\n",
        1252);
    EXPECT_EQ(marked.notText, "");
    EXPECT_NE(marked.encoding.find("; read byte by byte"), std::string::npos) << marked.encoding;
    ASSERT_EQ(marked.trail.size(), 1u);
    EXPECT_EQ(marked.trail[0].text, u"\\S\u00E9");
    EXPECT_EQ(marked.lineCount, 2);
    // A few stray bytes of a serial line's noise among the text do not make it binary.
    const std::string noisy = std::string("\x01\x02") + kTrailUtf8;
    EXPECT_EQ(explainlog::ReadLog(noisy, 1252).notText, "");
    EXPECT_EQ(explainlog::ReadLog(noisy, 1252).trail.size(), 7u);
}

const char kFolders[] =
    "Folder name is \\SDMMC\n"
    "Folder name is \\SDMMC\\Data\n"
    "Folder name is \\RF\n"
    "SDMMCPath: \\SDMMC\n"
    "DataStorageDestPath: \\SDMMC\\Data\n"
    "ResidentFlashDestPath: \\RF\n";
const char kCardThere[] = "File \\SDMMC\\UPDATE\\Kelbrun.EXE exists\n";
const char kCardAbsent[] = "File \\SDMMC\\UPDATE\\Kelbrun.EXE not exists\n";
const char kNavThere[] = "File \\RF\\MNAV\\Navigon.exe exists\n";
const char kNavAbsent[] = "File \\RF\\MNAV\\Navigon.exe not exists\n";

std::string Stamp(const std::string& lines, uint64_t from, uint64_t step) {
    std::string out;
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line); from += step) {
        out += Stamped(from, line) + "\r\n";
    }
    return out;
}

struct RunsCase {
    const char* name;
    std::string log;
    std::vector<Ending> endings;
    std::string said;  // in what --explain writes of the runs
};

void PrintTo(const RunsCase& c, std::ostream* os) {
    *os << c.name;
}

class Runs : public ::testing::TestWithParam<RunsCase> {};

TEST_P(Runs, EndAsTheLogShows) {
    const RunsCase& c = GetParam();
    const std::vector<explainlog::Run> runs =
        explainlog::SplitRuns(explainlog::ReadLog(c.log, 1252));
    std::vector<Ending> endings;
    std::string said;
    for (size_t i = 0; i < runs.size(); ++i) {
        endings.push_back(runs[i].ending);
        said += simexplain::DescribeRun(runs[i], i + 1, i > 0 ? &runs[i - 1] : nullptr);
    }
    EXPECT_EQ(endings, c.endings) << said;
    EXPECT_NE(said.find(c.said), std::string::npos) << said;
}

const std::string kOther = "OEM: a line of another program\n";

INSTANTIATE_TEST_SUITE_P(
    Logs, Runs,
    ::testing::Values(
        RunsCase{"card_copy_started",
                 std::string(kFolders) + kCardThere,
                 {Ending::kStartedCardCopy},
                 "open \\SDMMC\\UPDATE\\Kelbrun.EXE: handed to the shell"},
        RunsCase{"navigator_started",
                 std::string(kFolders) + kCardAbsent + kOther + kNavThere,
                 {Ending::kStartedNavigator},
                 "card's copy \\SDMMC\\UPDATE\\Kelbrun.EXE: not exists\n"
                 "  navigation application \\RF\\MNAV\\Navigon.exe: exists\n"},
        RunsCase{"nothing_there",
                 std::string(kFolders) + kCardAbsent + kNavAbsent,
                 {Ending::kFoundNothing},
                 "neither is there: nothing started; exit 0"},
        RunsCase{"card_not_configured",
                 "RegQueryValueEx Failed [2].\nCannot find folder name!!!!\n"
                 "Folder name is \\D\nFolder name is \\RF\nSDMMCPath: \n"
                 "DataStorageDestPath: \\D\nResidentFlashDestPath: \\RF\n" +
                     kOther,
                 {Ending::kNotConfigured},
                 "SDMMC: not read (RegQueryValueEx Failed [2].): the value does not exist (error "
                 "2, file not found); not configured\n"},
        RunsCase{"key_missing",
                 "RegOpenKeyEx Failed [2].\nCannot find folder name!!!!\n"
                 "RegOpenKeyEx Failed [2].\nCannot find folder name!!!!\n"
                 "RegOpenKeyEx Failed [2].\nCannot find folder name!!!!\n"
                 "SDMMCPath: \nDataStorageDestPath: \nResidentFlashDestPath: \n",
                 {Ending::kNotConfigured},
                 "the card folder (SDMMC) and the data-storage folder (DataStorage) not "
                 "configured"},
        RunsCase{"data_storage_empty",
                 "Folder name is \\SDMMC\nFolder name is \nFolder name is \\RF\n"
                 "SDMMCPath: \\SDMMC\nDataStorageDestPath: \nResidentFlashDestPath: \\RF\n",
                 {Ending::kNotConfigured},
                 "DataStorage: read, empty: not configured"},
        RunsCase{"value_too_long",
                 "Folder name is \\SDMMC\nRegQueryValueEx Failed [234].\nCannot find folder "
                 "name!!!!\nFolder name is \\RF\nSDMMCPath: \\SDMMC\nDataStorageDestPath: \n"
                 "ResidentFlashDestPath: \\RF\n",
                 {Ending::kNotConfigured},
                 "longer than 510 bytes (error 234, more data)"},
        RunsCase{"own_path_unknown",
                 "GetModuleFileName Failed [122].\n" + std::string(kFolders),
                 {Ending::kOwnPathUnknown},
                 "longer than 126 characters"},
        RunsCase{"card_copy_then_log_goes_on",
                 kFolders + kOther,
                 {Ending::kCardCopy},
                 "it ran as the card's copy"},
        RunsCase{"folders_are_the_logs_last",
                 kFolders,
                 {Ending::kLogEnds},
                 "or the log ends within its 2500 ms sleep"},
        RunsCase{"stamped_log_goes_on_less_than_the_pause",
                 Stamp(kFolders, 4000, 1) + Stamped(6504, "OEM: idle") + "\r\n",
                 {Ending::kLogEnds},
                 "ran as the card's copy, or the log ends"},
        RunsCase{"stamped_log_goes_on_for_the_pause",
                 Stamp(kFolders, 4000, 1) + Stamped(6505, "OEM: idle") + "\r\n",
                 {Ending::kCardCopy},
                 "it ran as the card's copy"},
        RunsCase{"stamped_wait",
                 Stamp(kFolders, 4000, 1) + Stamp(kCardThere, 6510, 0),
                 {Ending::kStartedCardCopy},
                 "sleep 2500 ms (2505 ms from its folder lines"},
        RunsCase{"launcher_then_its_card_copy",
                 std::string(kFolders) + kCardThere + kFolders + kOther,
                 {Ending::kStartedCardCopy, Ending::kCardCopy},
                 "(the copy the run before handed to the shell)"},
        RunsCase{"cut_while_reading",
                 "Folder name is \\SDMMC\nFolder name is \\SDMMC\\Data\n",
                 {Ending::kCutOff},
                 "cut off: the trail stops after line 2, while it read its"},
        RunsCase{"cut_after_a_failure",
                 "Folder name is \\SDMMC\nRegQueryValueEx Failed [2].\n",
                 {Ending::kCutOff},
                 "stops after line 2"},
        RunsCase{"cut_within_folder_lines",
                 "Folder name is \\S\nFolder name is \\D\nFolder name is \\R\nSDMMCPath: \\S\n",
                 {Ending::kCutOff},
                 "within its three folder lines"},
        RunsCase{"cut_between_probes",
                 std::string(kFolders) + kCardAbsent,
                 {Ending::kCutOff},
                 "between its probe of the card's copy and that of the navigation"},
        RunsCase{"restarted_while_reading",
                 "Folder name is \\SDMMC\n" + kOther + std::string(kFolders) + kCardThere,
                 {Ending::kCutOff, Ending::kStartedCardCopy},
                 "run 2, log lines 3 to 9"},
        RunsCase{"lookups_again_and_no_folder_lines",
                 "Folder name is \\A\nFolder name is \\B\nFolder name is \\C\n"
                 "Folder name is \\D\n",
                 {Ending::kCutOff, Ending::kCutOff},
                 "run 2, log lines 2 to 4:\n  SDMMC: \\B\n"},
        RunsCase{"seven_lookups",
                 "Folder name is \\A\nFolder name is \\B\nFolder name is \\C\n"
                 "Folder name is \\D\nFolder name is \\E\nFolder name is \\F\n"
                 "Folder name is \\G\n",
                 {Ending::kCutOff, Ending::kCutOff, Ending::kCutOff},
                 "run 2, log line 4:\n  SDMMC: \\D\n"},
        RunsCase{"starts_in_the_middle",
                 "ResidentFlashDestPath: \\RF\n" + std::string(kCardThere) + kFolders + kCardThere,
                 {Ending::kCutOff, Ending::kStartedCardCopy},
                 "cut off: the trail starts at line 1 without the lines before it"},
        RunsCase{"navigator_probed_first",
                 std::string(kFolders) + kNavThere,
                 {Ending::kCardCopy, Ending::kCutOff},
                 "starts at line 7"},
        RunsCase{"probe_of_another_process",
                 Stamp(kFolders, 10, 1) +
                     Replace(Stamp(kCardThere, 3000, 1), "PID:83fe2a32", "PID:83fe0002"),
                 {Ending::kCardCopy, Ending::kCutOff},
                 "run 2, log line 7, PID:83fe0002:\n  cut off: the trail starts at line 7"},
        RunsCase{"another_process_starts",
                 Stamp("Folder name is \\SDMMC", 10, 1) +
                     Replace(Stamp(std::string(kFolders) + kCardThere, 20, 1), "PID:83fe2a32",
                             "PID:83fe0002"),
                 {Ending::kCutOff, Ending::kStartedCardCopy},
                 "run 2, log lines 2 to 8, PID:83fe0002"},
        RunsCase{"process_named",
                 Stamp(std::string(kFolders) + kCardThere, 10, 1),
                 {Ending::kStartedCardCopy},
                 "run 1, log lines 1 to 7, PID:83fe2a32:\n"}),
    CaseName<RunsCase>);

TEST(ErrorMeaning, SaysWhatTheCodeMeansWhereItStands) {
    EXPECT_EQ(simexplain::ErrorMeaning(Kind::kOpenFailed, 2),
              "the key SOFTWARE\\Tavrin\\Paths does not exist (error 2, file not found)");
    EXPECT_EQ(simexplain::ErrorMeaning(Kind::kQueryFailed, 2),
              "the value does not exist (error 2, file not found)");
    EXPECT_EQ(simexplain::ErrorMeaning(Kind::kQueryFailed, 5), "access denied (error 5)");
    EXPECT_EQ(simexplain::ErrorMeaning(Kind::kQueryFailed, 4242), "Windows error 4242");
}

// A unit's files in a scratch folder, and --explain run on a log beside them.
class Unit {
  public:
    Unit() {
        sim::ResetDevice();
        Write("device.reg",
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]\r\n"
              "\"SDMMC\"=\"\\\\SDMMC\"\r\n\"DataStorage\"=\"\\\\SDMMC\\\\Data\"\r\n"
              "\"User\"=\"\\\\RF\"\r\n");
        root_.AddFile("root/SDMMC/UPDATE/Kelbrun.EXE");
        root_.AddFile("root/RF/MNAV/Navigon.exe");
    }

    std::string Write(const std::string& name, const std::string& bytes) const {
        std::string file = (root_.Path() / name).string();
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }

    // What --explain writes of log, with the unit's files when withFiles.
    int Explain(const std::string& log, bool withFiles) {
        simoptions::Options options;
        options.explain = Write("unit.log", log);
        if (withFiles) {
            options.registries.push_back((root_.Path() / "device.reg").string());
            options.root = (root_.Path() / "root").string();
        }
        std::ostringstream out;
        std::ostringstream err;
        const int status = simexplain::ExplainLog(options, out, err);
        said = out.str();
        errors = err.str();
        return status;
    }

    std::string said;
    std::string errors;

  private:
    testing_support::ScratchRoot root_;
};

struct DepartureCase {
    const char* name;
    std::string log;
    std::string said;
};

void PrintTo(const DepartureCase& c, std::ostream* os) {
    *os << c.name;
}

class Departures : public ::testing::TestWithParam<DepartureCase> {};

TEST_P(Departures, AreNamedWithTheirMeaning) {
    const DepartureCase& c = GetParam();
    Unit unit;
    EXPECT_EQ(unit.Explain(c.log, true), 0) << unit.errors;
    EXPECT_NE(unit.said.find(c.said), std::string::npos) << unit.said;
    // Without the unit's files, no dry run is named.
    EXPECT_EQ(unit.Explain(c.log, false), 0);
    EXPECT_EQ(unit.said.find("the dry run"), std::string::npos) << unit.said;
}

INSTANTIATE_TEST_SUITE_P(
    Logs, Departures,
    ::testing::Values(
        DepartureCase{"follows_it", std::string(kFolders) + kCardThere,
                      "  the dry run: the same trail\n"},
        DepartureCase{"card_mounted_late",
                      Stamp(std::string(kFolders) + kCardAbsent + kNavThere, 3000, 1),
                      "departs at log line 7: the unit found no \\SDMMC\\UPDATE\\Kelbrun.EXE "
                      "2500 ms after the launcher started, and the files given hold it: the card "
                      "mounted after the pause"},
        DepartureCase{"another_registry",
                      "Folder name is \\Storage Card\n" + std::string(kFolders).substr(22),
                      "the unit read SDMMC as \"\\Storage Card\", the files given hold "
                      "\"\\SDMMC\": the registry given is not the unit's"},
        DepartureCase{"value_missing_on_the_unit",
                      "Folder name is \\SDMMC\nRegQueryValueEx Failed [2].\n"
                      "Cannot find folder name!!!!\n",
                      "the unit could not read DataStorage (the value does not exist"},
        DepartureCase{"card_copy_as_the_dry_runs", kFolders + kOther,
                      "  the dry run: the same trail\n"},
        DepartureCase{"cut_short", "Folder name is \\SDMMC\n",
                      "the same as far as the log goes; the dry run goes on with \"Folder name "
                      "is \\SDMMC\\Data\""}),
    CaseName<DepartureCase>);

TEST(Explain, AFileThatCannotBeReadIsTheOnlyStatus2) {
    Unit unit;
    simoptions::Options options;
    options.explain = "/nonexistent/unit.log";
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(simexplain::ExplainLog(options, out, err), 2);
    EXPECT_EQ(err.str(), "kelbrun-sim: /nonexistent/unit.log: cannot be read\n");
    EXPECT_EQ(out.str(), "");
}

TEST(Explain, NoTrailAndNoTextAreOneLineEach) {
    Unit unit;
    EXPECT_EQ(unit.Explain("OEMInit\r\nGWES ready\r\n", false), 1);
    EXPECT_NE(unit.said.find("no trail of the launcher in its 2 lines"), std::string::npos);
    EXPECT_EQ(std::count(unit.said.begin(), unit.said.end(), '\n'), 1);
    EXPECT_EQ(unit.Explain(std::string(64, '\x02'), false), 1);
    EXPECT_NE(unit.said.find("not a text log (64 of its 64 bytes"), std::string::npos);
    EXPECT_EQ(std::count(unit.said.begin(), unit.said.end(), '\n'), 1);
    EXPECT_EQ(unit.Explain("", false), 1);
    EXPECT_NE(unit.said.find("in its 0 lines"), std::string::npos) << unit.said;
}

TEST(LoaderRefusal, IsReadWhereverItStands) {
    const struct {
        std::u16string line;
        std::optional<uint32_t> ordinal;
    } cases[] = {
        {u"ERROR: function @ Ordinal 480 missing in Module 'coredll.dll'", 480},
        {u"   4210 PID:0 TID:0 ERROR: function @ Ordinal 1044 missing in Module 'coredll.dll'  ",
         1044},
        {u"ERROR: function @ Ordinal 999999 missing in Module 'coredll.dll'", 999999},
        {u"ERROR: function @ Ordinal 1000000 missing in Module 'coredll.dll'", std::nullopt},
        {u"ERROR: function @ Ordinal  missing in Module 'coredll.dll'", std::nullopt},
        {u"ERROR: function @ Ordinal 480 missing in Module 'ole32.dll'", std::nullopt},
        {u"!!! Please Check your SYSGEN variable !!!", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(explainlog::RecognizeLoaderRefusal(c.line), c.ordinal) << sim::ToUtf8(c.line);
    }
}

TEST(Explain, ALoaderRefusalSaysWhatTheImageLacks) {
    Unit unit;
    const std::string refusal =
        "ERROR: function @ Ordinal 480 missing in Module 'coredll.dll'\r\n"
        "!!! Please Check your SYSGEN variable !!!\r\n";
    // No trail: the launcher never started, and the one line says why.
    EXPECT_EQ(unit.Explain("OEMInit\r\n" + refusal, false), 1);
    EXPECT_EQ(std::count(unit.said.begin(), unit.said.end(), '\n'), 1) << unit.said;
    EXPECT_NE(unit.said.find("no trail of the launcher in its 3 lines; line 2: the unit's loader "
                             "refused to start a program, as COREDLL has no function of ordinal "
                             "480 (ShellExecuteEx, in an image only with COREDLL_SHEXEC), which "
                             "the launcher imports: the launcher did not start at all"),
              std::string::npos)
        << unit.said;
    // Another program's refusal beside a trail: said after the runs, no launcher import.
    EXPECT_EQ(unit.Explain(std::string(kFolders) + kCardThere +
                               "ERROR: function @ Ordinal 1046 missing in Module 'coredll.dll'\n",
                           false),
              0);
    EXPECT_NE(unit.said.find("line 8: the unit's loader refused to start a program, as COREDLL "
                             "has no function of ordinal 1046 (memmove, in an image only with "
                             "COREDLL_CORECRT)\n"),
              std::string::npos)
        << unit.said;
    // An ordinal COREDLL's table does not hold is named by its number alone.
    EXPECT_EQ(unit.Explain("ERROR: function @ Ordinal 7 missing in Module 'coredll.dll'\n", false),
              1);
    EXPECT_NE(unit.said.find("no function of ordinal 7\n"), std::string::npos) << unit.said;
}

TEST(Explain, TwoRunsAreToldApart) {
    Unit unit;
    EXPECT_EQ(unit.Explain(std::string(kFolders) + kCardThere + kFolders + kOther, true), 0);
    EXPECT_NE(unit.said.find("2 runs of the launcher"), std::string::npos) << unit.said;
    EXPECT_NE(unit.said.find("run 1, log lines 1 to 7:"), std::string::npos);
    EXPECT_NE(unit.said.find("run 2, log lines 8 to 13:"), std::string::npos);
    // Each run beside its own dry run: the second as the card's copy it was.
    size_t same = 0;
    for (size_t at = unit.said.find("the same trail"); at != std::string::npos;
         at = unit.said.find("the same trail", at + 1)) {
        ++same;
    }
    EXPECT_EQ(same, 2u) << unit.said;
}

}  // namespace
