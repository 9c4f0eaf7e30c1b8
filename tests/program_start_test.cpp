// The simulated device's CreateProcessW: the error Windows CE 5.0's kernel sets for each kind of
// file it is handed (the loader's order of checks in loader.c and schedule.c), on our own files:
// text, desktop programs, a managed program, a program importing what COREDLL lacks or a DLL the
// device does not hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "platform/sim/device.h"
#include "platform/sim/program_start.h"
#include "platform/sim/text.h"
#include "tests/pe/exe_patch.h"
#include "tests/pe/test_pe.h"
#include "tests/sim_test_support.h"

namespace {

using testing_support::ScratchRoot;

std::string CeProgram(const std::function<void(testpe::Program&)>& change = {}) {
    testpe::Program program = testpe::MicrosoftProgram();
    if (change) {
        change(program);
    }
    return testpe::Write(program);
}

std::string Patched(std::string bytes, const std::function<void(std::string&)>& patch) {
    patch(bytes);
    return bytes;
}

std::string HostFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(in.good()) << file;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const ScratchRoot& root, const std::string& relative, const std::string& bytes) {
    const std::filesystem::path file = root.Path() / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

struct StartCase {
    const char* name;
    std::string bytes;  // at \Card\Prog.exe
    uint32_t error;
    const char* reasonPart;
};

void PrintTo(const StartCase& c, std::ostream* os) {
    *os << c.name;
}

void SetCom(std::string& exe) {
    exepatch::Put32(exe, exepatch::DataDirectory(exe, 14), 0x2000);
    exepatch::Put32(exe, exepatch::DataDirectory(exe, 14) + 4, 0x48);
}

std::vector<StartCase> Cases() {
    const std::string text = "This card holds the update; copy it to the unit's flash first.\r\n";
    return {
        {"CeProgram", CeProgram(), 0, "a Windows CE program"},
        {"TextShorterThanAnMzHeader", text.substr(0, 0x3F), 2, "too short"},
        {"TextOfExactlyAnMzHeader", std::string(0x40, 'x'), 193, "no PE signature"},
        {"Text", text + text, 193, "no PE signature"},
        {"X86Program",
         Patched(CeProgram(), [](std::string& e) { exepatch::Put16(e, exepatch::Coff(e), 0x14C); }),
         193, "built for x86 (machine 0x014C)"},
        {"ArmProgram",
         Patched(CeProgram(), [](std::string& e) { exepatch::Put16(e, exepatch::Coff(e), 0x1C0); }),
         0, ""},
        // A managed program skips the processor test, and then needs mscoree.dll.
        {"ManagedX86ProgramWithoutMscoreeImport",
         Patched(CeProgram(),
                 [](std::string& e) {
                     exepatch::Put16(e, exepatch::Coff(e), 0x14C);
                     SetCom(e);
                 }),
         1114, ".NET Compact Framework"},
        {"ManagedProgramImportingMscoree",
         Patched(CeProgram([](testpe::Program& p) {
                     p.modules.push_back({"mscoree.dll", {{"_CorExeMain", 0}}});
                 }),
                 SetCom),
         126, "needs mscoree.dll"},
        {"OrdinalCoredllLacks", CeProgram([](testpe::Program& p) {
             p.modules[0].imports.push_back({"", 9999});
         }),
         193, "COREDLL.dll's ordinal 9999"},
        {"NameCoredllLacks", CeProgram([](testpe::Program& p) {
             p.modules[0].imports.push_back({"Sleeq", 0});
         }),
         193, "COREDLL.dll's Sleeq"},
        {"DllTheDeviceLacks", CeProgram([](testpe::Program& p) {
             p.modules.push_back({"AYGSHELL.dll", {{"SHFullScreen", 0}}});
         }),
         126, "needs AYGSHELL.dll"},
        {"Dll",
         Patched(CeProgram(),
                 [](std::string& e) { exepatch::Put16(e, exepatch::Coff(e) + 18, 0x2103); }),
         193, "a DLL"},
        {"FixedBaseAtTheLowestPlace", CeProgram([](testpe::Program& p) { p.base = 0x10000; }), 0,
         ""},
        {"FixedBaseBelowTheLowestPlace", CeProgram([](testpe::Program& p) { p.base = 0xF000; }),
         193, "without relocations"},
        {"FixedBaseAtTheHighestPlace", CeProgram([](testpe::Program& p) { p.base = 0x400000; }), 0,
         ""},
        {"FixedBaseAboveTheHighestPlace", CeProgram([](testpe::Program& p) { p.base = 0x401000; }),
         193, "without relocations"},
        {"Version500", CeProgram([](testpe::Program& p) {
             p.subsystemMajor = 5;
             p.subsystemMinor = 0;
         }),
         0, ""},
        {"Version501", CeProgram([](testpe::Program& p) {
             p.subsystemMajor = 5;
             p.subsystemMinor = 1;
         }),
         1150, "Windows CE 5.1"},
    };
}

class ProgramStarts : public ::testing::TestWithParam<StartCase> {};

TEST_P(ProgramStarts, WithTheKernelsError) {
    const StartCase& c = GetParam();
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    ScratchRoot root;
    Write(root, "Card/Prog.exe", c.bytes);
    device.files.SetRoot(root.Path());
    const sim::ProgramStart start = sim::StartProgram(device, u"\\Card\\Prog.exe", u"");
    EXPECT_EQ(c.error, start.error) << start.reason;
    EXPECT_NE(std::string::npos, start.reason.find(c.reasonPart)) << start.reason;
    EXPECT_TRUE(start.fileFound);
}

INSTANTIATE_TEST_SUITE_P(Files, ProgramStarts, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<StartCase>& p) { return p.param.name; });

// The unit's loader stops at the first function COREDLL lacks and says so on the debug output,
// with the number from the lookup entry: the ordinal, or where the hint/name entry lies.
TEST(ProgramStart, MissingImportPrintsTheLoadersLinesFirst) {
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    ScratchRoot root;
    Write(root, "Prog.exe", CeProgram([](testpe::Program& p) {
              p.modules[0].imports.push_back({"", 9999});
              p.modules[0].imports.push_back({"", 9998});
          }));
    device.files.SetRoot(root.Path());
    EXPECT_EQ(193u, sim::StartProgram(device, u"\\Prog.exe", u"").error);
    ASSERT_EQ(2u, device.record.trail.size());
    EXPECT_EQ(u"ERROR: function @ Ordinal 9999 missing in Module 'coredll.dll'\r\n",
              device.record.trail[0]);
    EXPECT_EQ(u"!!! Please Check your SYSGEN variable !!!\r\n", device.record.trail[1]);
    // A second start prints them again: nothing is remembered between starts.
    EXPECT_EQ(193u, sim::StartProgram(device, u"\\Prog.exe", u"").error);
    EXPECT_EQ(4u, device.record.trail.size());
}

// A DLL is found in the program's own folder, in \Windows, or in the root folder.
TEST(ProgramStart, FindsTheDllsTheUnitHolds) {
    const std::string needsAygshell = CeProgram([](testpe::Program& p) {
        p.modules.push_back({"AYGSHELL.dll", {{"SHFullScreen", 0}}});
    });
    for (const char* dll : {"Card/aygshell.dll", "Windows/AYGSHELL.DLL", "aygshell.dll"}) {
        SCOPED_TRACE(dll);
        sim::ResetDevice();
        sim::Device& device = sim::CurrentDevice();
        ScratchRoot root;
        Write(root, "Card/Prog.exe", needsAygshell);
        Write(root, dll, "a DLL");
        root.AddFolder("Other");
        device.files.SetRoot(root.Path());
        EXPECT_EQ(0u, sim::StartProgram(device, u"\\Card\\Prog.exe", u"").error);
    }
    sim::ResetDevice();
    ScratchRoot root;
    Write(root, "Card/Prog.exe", needsAygshell);
    Write(root, "Other/aygshell.dll", "a DLL in a folder the loader does not search");
    sim::CurrentDevice().files.SetRoot(root.Path());
    EXPECT_EQ(126u, sim::StartProgram(sim::CurrentDevice(), u"\\Card\\Prog.exe", u"").error);
}

// The desktop build copied onto a card: x86-64, PE32+, importing from KERNEL32. The unit reads
// its header with the 32-bit layout, which skips the processor test, and fails further on.
TEST(ProgramStart, DesktopX8664ProgramIsNoValidApplication) {
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    ScratchRoot root;
    Write(root, "Kelbrun.EXE",
          HostFile(std::filesystem::path(KELBRUN_SOURCE_DIR) /
                   "examples/card-desktop-build/root/SDMMC/UPDATE/Kelbrun.EXE"));
    device.files.SetRoot(root.Path());
    const sim::ProgramStart start = sim::StartProgram(device, u"\\Kelbrun.EXE", u"");
    EXPECT_EQ(193u, start.error);
    EXPECT_NE(std::string::npos, start.reason.find("PE32+")) << start.reason;
}

struct NameCase {
    const char* name;
    std::u16string path;
    uint32_t error;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

class ProgramNames : public ::testing::TestWithParam<NameCase> {};

// The file is not looked for before the kernel tries it: a name of 260 characters or more is
// refused as a parameter, a shorter one that names nothing is not found; ".exe" is added when
// the name as given is not there.
TEST_P(ProgramNames, AreTriedAsTheKernelTriesThem) {
    const NameCase& c = GetParam();
    sim::ResetDevice();
    sim::Device& device = sim::CurrentDevice();
    ScratchRoot root;
    Write(root, "Card/Prog.exe", CeProgram());
    Write(root, "Windows/Tool.exe", CeProgram());
    root.AddFolder("Card/Folder.exe");
    device.files.SetRoot(root.Path());
    EXPECT_EQ(c.error, sim::StartProgram(device, c.path, u"").error);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ProgramNames,
    ::testing::Values(NameCase{"AsGiven", u"\\Card\\Prog.exe", 0},
                      NameCase{"WithExeAdded", u"\\Card\\Prog", 0},
                      NameCase{"InAnyCase", u"\\CARD\\prog.EXE", 0},
                      NameCase{"RelativeInWindows", u"Tool.exe", 0},
                      NameCase{"Missing", u"\\Card\\Missing.exe", 2},
                      NameCase{"AFolder", u"\\Card\\Folder.exe", 2},
                      NameCase{"Of259Characters", u"\\" + std::u16string(258, u'a'), 2},
                      NameCase{"Of260Characters", u"\\" + std::u16string(259, u'a'), 87}),
    [](const ::testing::TestParamInfo<NameCase>& p) { return p.param.name; });

}  // namespace
