// The device executables on the simulated device: what the loader refuses in a damaged copy of
// the real Kelbrun.EXE, the faults that end a program as the device would end it, and the Thumb
// build's calls into COREDLL through ARM code.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "platform/sim/device.h"
#include "platform/sim/emulator/arm_machine.h"
#include "platform/sim/emulator/coredll.h"
#include "platform/sim/emulator/coredll_exports.h"
#include "platform/sim/emulator/pe_image.h"
#include "tests/pe/exe_patch.h"
#include "tests/sim_test_support.h"

namespace {

using sim::Processor;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << path << ": build the wince presets first";
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string ArmBuild(const std::string& file) {
    return std::string(KELBRUN_WINCE_DIR) + "/" + file;
}

std::string ThumbBuild(const std::string& file) {
    return std::string(KELBRUN_WINCE_THUMB_DIR) + "/" + file;
}

using exepatch::BindByOrdinal;
using exepatch::Coff;
using exepatch::DataDirectory;
using exepatch::FileAt;
using exepatch::ImportDirectory;
using exepatch::Optional;
using exepatch::Put16;
using exepatch::Put32;
using exepatch::SectionTable;
using exepatch::U32;

size_t LastSection(const std::string& exe) {
    const auto count = static_cast<uint16_t>(U32(exe, Coff(exe) + 2));
    return SectionTable(exe) + size_t{40} * (count - 1u);
}
// The end of the last section's data in the file: where the file may end and no sooner.
size_t DataEnd(const std::string& exe) {
    size_t end = 0;
    const auto count = static_cast<uint16_t>(U32(exe, Coff(exe) + 2));
    for (size_t i = 0; i < count; ++i) {
        const size_t at = SectionTable(exe) + 40 * i;
        if (U32(exe, at + 16) != 0) {
            end = std::max<size_t>(end, U32(exe, at + 20) + U32(exe, at + 16));
        }
    }
    return end;
}

// The first import's lookup entry and slot set to this entry.
void SetFirstImport(std::string& exe, uint32_t entry) {
    const size_t descriptor = ImportDirectory(exe);
    Put32(exe, FileAt(exe, U32(exe, descriptor)), entry);
    Put32(exe, FileAt(exe, U32(exe, descriptor + 16)), entry);
}

void Rename(std::string& exe, const std::string& from, const std::string& to) {
    ASSERT_EQ(from.size(), to.size());
    const size_t at = exe.find(from + '\0');
    ASSERT_NE(std::string::npos, at) << from << " is not in the executable";
    exe.replace(at, from.size(), to);
}

struct Damage {
    const char* what;
    std::function<void(std::string&)> apply;
    const char* refusal;  // nullptr: the copy still loads
};

// The damages that rename an import need its name in the file: they start from the launcher
// bound by name.
TEST(DeviceExecutable, LoaderRefusesDamagedCopies) {
    const std::string original = ReadFile(ArmBuild("Kelbrun-by-name.exe"));
    ASSERT_FALSE(original.empty());
    const Damage damages[] = {
        {"undamaged", [](std::string&) {}, nullptr},
        // The unit's loader goes by the offset at 0x3C alone.
        {"no MZ", [](std::string& e) { e[0] = 'X'; }, nullptr},
        {"no PE signature", [](std::string& e) { e[Coff(e) - 4] = 'X'; }, "no PE signature"},
        {"PE header offset past the file", [](std::string& e) { Put32(e, 0x3C, 0xFFFFFFFD); },
         "no PE signature where offset 0x3C points"},
        {"only the MZ header", [](std::string& e) { e.resize(0x40); }, "no PE signature"},
        {"shorter than an MZ header", [](std::string& e) { e.resize(0x3F); },
         "too short for an MZ header"},
        {"x86 machine", [](std::string& e) { Put16(e, Coff(e), 0x014C); }, "machine 0x014C"},
        {"plain ARM machine", [](std::string& e) { Put16(e, Coff(e), 0x01C0); }, nullptr},
        // The unit's loader does not look at the executable flag.
        {"not executable",
         [](std::string& e) {
             Put16(e, Coff(e) + 18, static_cast<uint16_t>(U32(e, Coff(e) + 18) & ~2u));
         },
         nullptr},
        {"a DLL",
         [](std::string& e) {
             Put16(e, Coff(e) + 18, static_cast<uint16_t>(U32(e, Coff(e) + 18) | 0x2000u));
         },
         "a DLL"},
        // Nor by the optional header's magic: it reads a PE32 header's fields from whatever is
        // there.
        {"PE32+ magic", [](std::string& e) { Put16(e, Optional(e), 0x20B); }, nullptr},
        // Another subsystem is taken for Windows CE 1.00, whatever version it gives.
        {"desktop GUI subsystem", [](std::string& e) { Put16(e, Optional(e) + 68, 2); }, nullptr},
        {"desktop GUI subsystem 6.00",
         [](std::string& e) {
             Put16(e, Optional(e) + 68, 2);
             Put16(e, Optional(e) + 48, 6);
         },
         nullptr},
        {"subsystem 5.01", [](std::string& e) { Put16(e, Optional(e) + 50, 1); },
         "asks for Windows CE 5.1 or later"},
        {"subsystem 6.00", [](std::string& e) { Put16(e, Optional(e) + 48, 6); },
         "asks for Windows CE 6.0 or later"},
        {"subsystem 4.20",
         [](std::string& e) {
             Put16(e, Optional(e) + 48, 4);
             Put16(e, Optional(e) + 50, 20);
         },
         nullptr},
        {"no relocations, base 0x400000",
         [](std::string& e) { Put32(e, Optional(e) + 28, 0x400000); }, nullptr},
        {"no relocations, base 0x410000",
         [](std::string& e) { Put32(e, Optional(e) + 28, 0x410000); },
         "image base 0x00410000 without relocations"},
        {"no relocations, base 0xF000", [](std::string& e) { Put32(e, Optional(e) + 28, 0xF000); },
         "image base 0x0000F000 without relocations"},
        {"relocations to apply",
         [](std::string& e) {
             Put16(e, Coff(e) + 18, static_cast<uint16_t>(U32(e, Coff(e) + 18) & ~1u));
             Put32(e, Optional(e) + 28, 0x20000);
             Put32(e, DataDirectory(e, 5) + 4, 12);
         },
         "applies its relocations, which is not simulated"},
        {"relocatable, nothing to apply",
         [](std::string& e) {
             Put16(e, Coff(e) + 18, static_cast<uint16_t>(U32(e, Coff(e) + 18) & ~1u));
         },
         nullptr},
        {"a COM descriptor", [](std::string& e) { Put32(e, DataDirectory(e, 14), 0x2000); },
         "a .NET Compact Framework program"},
        {"a COM descriptor and an x86 machine",
         [](std::string& e) {
             Put32(e, DataDirectory(e, 14), 0x2000);
             Put16(e, Coff(e), 0x014C);
         },
         "a .NET Compact Framework program"},
        {"optional header claims 240 bytes", [](std::string& e) { Put16(e, Coff(e) + 16, 240); },
         nullptr},
        {"optional header claims 96 bytes", [](std::string& e) { Put16(e, Coff(e) + 16, 96); },
         nullptr},
        {"import slot outside every section",
         [](std::string& e) { Put32(e, ImportDirectory(e) + 16, 0x100); },
         "is not in a section of the image"},
        {"section past the image's end",
         [](std::string& e) { Put32(e, LastSection(e) + 12, U32(e, Optional(e) + 56)); },
         "lies outside the image"},
        {"sections out of order",
         [](std::string& e) { Put32(e, LastSection(e) + 12, U32(e, SectionTable(e) + 12)); },
         "over another part of it"},
        {"file cut one byte short", [](std::string& e) { e.resize(DataEnd(e) - 1); },
         "the file is truncated"},
        {"file ending right after the data", [](std::string& e) { e.resize(DataEnd(e)); }, nullptr},
        {"file cut inside the headers", [](std::string& e) { e.resize(0x80); }, "truncated"},
        {"import from another DLL", [](std::string& e) { Rename(e, "COREDLL.dll", "AYGSHEL.dll"); },
         "does not offer: AYGSHEL.dll's FindClose, AYGSHEL.dll's FindFirstFileW"},
        // COREDLL's names are matched with their case.
        {"an import's name in another case", [](std::string& e) { Rename(e, "Sleep", "sleep"); },
         "does not offer: COREDLL.dll's sleep"},
        {"import the device lacks", [](std::string& e) { Rename(e, "Sleep", "Sleeq"); },
         "does not offer: COREDLL.dll's Sleeq"},
        {"an import's name with a line break in it",
         [](std::string& e) { Rename(e, "Sleep", "Sl\nep"); },
         "does not offer: COREDLL.dll's Sl\\x0Aep"},
        {"every import the device lacks, in one line",
         [](std::string& e) {
             Rename(e, "Sleep", "Sleeq");
             Rename(e, "wcsstr", "wcsstq");
         },
         "does not offer: COREDLL.dll's Sleeq, COREDLL.dll's wcsstq"},
        {"imports by ordinal", BindByOrdinal, nullptr},
        {"an ordinal COREDLL lacks", [](std::string& e) { SetFirstImport(e, 0x80000000u | 999); },
         "does not offer: COREDLL.dll's ordinal 999"},
        // The whole 31 bits are the ordinal, as the unit reads them: not FindClose's 180.
        {"an ordinal past 16 bits",
         [](std::string& e) { SetFirstImport(e, 0x80000000u | 0x10000u | 180u); },
         "does not offer: COREDLL.dll's ordinal 65716"},
        {"every ordinal the device lacks",
         [](std::string& e) {
             BindByOrdinal(e);
             SetFirstImport(e, 0x80000000u | 2);
             Put32(e, FileAt(e, U32(e, ImportDirectory(e))) + 4, 0x80000000u | 65535);
         },
         "does not offer: COREDLL.dll's ordinal 2, COREDLL.dll's ordinal 65535"},
        // The unit starts the program there all the same.
        {"entry outside the code", [](std::string& e) { Put32(e, Optional(e) + 16, 0); }, nullptr},
    };
    for (const Damage& damage : damages) {
        std::string copy = original;
        damage.apply(copy);
        const auto image = sim::ReadPeImage(copy, sim::CoredllOffers);
        if (damage.refusal == nullptr) {
            EXPECT_TRUE(std::holds_alternative<sim::PeImage>(image))
                << damage.what << ": refused: " << std::get<std::string>(image);
        } else if (const auto* reason = std::get_if<std::string>(&image)) {
            EXPECT_NE(std::string::npos, reason->find(damage.refusal))
                << damage.what << ": " << *reason;
        } else {
            ADD_FAILURE() << damage.what << ": loaded";
        }
    }
}

bool OffersAllButRegCloseKey(std::string_view name) {
    return name != "RegCloseKey" && sim::CoredllOffers(name);
}

// An ordinal COREDLL exports but the device does not offer is named by number and name, as an
// integrator looks it up; its slot and name come from the lookup table.
TEST(DeviceExecutable, OrdinalTheDeviceLacksIsNamedByNumberAndName) {
    const std::string exe = ReadFile(ArmBuild("Kelbrun.EXE"));
    const auto refused = sim::ReadPeImage(exe, OffersAllButRegCloseKey);
    ASSERT_TRUE(std::holds_alternative<std::string>(refused));
    EXPECT_EQ(
        "imports what the simulated device does not offer: COREDLL.dll's ordinal 455 "
        "(RegCloseKey)",
        std::get<std::string>(refused));
    const auto kept = sim::ReadPeImage(exe, OffersAllButRegCloseKey, sim::MissingImports::kKeep);
    ASSERT_TRUE(std::holds_alternative<sim::PeImage>(kept));
    size_t lacking = 0;
    for (const sim::PeImport& import : std::get<sim::PeImage>(kept).imports) {
        EXPECT_EQ("COREDLL.dll", import.dll);
        EXPECT_EQ(sim::FindCoredllExport(import.name)->ordinal, import.ordinal) << import.name;
        lacking += import.offered ? 0 : 1;
        EXPECT_EQ(import.name != "RegCloseKey", import.offered) << import.name;
    }
    EXPECT_EQ(1u, lacking);
}

// Every function the simulated COREDLL binds is one COREDLL exports, so that an ordinal reaches
// it; and the table holds each name and ordinal once.
TEST(DeviceExecutable, SimulatedCoredllOffersOnlyExportsOfTheTable) {
    ASSERT_GT(sim::kCoredllExportCount, 0u);
    for (size_t i = 0; i < sim::kCoredllExportCount; ++i) {
        const sim::CoredllExport& e = sim::kCoredllExports[i];
        EXPECT_EQ(&e, sim::FindCoredllExport(std::string_view(e.name)));
        EXPECT_EQ(&e, sim::FindCoredllExport(uint32_t{e.ordinal}));
        EXPECT_TRUE(sim::CoredllOffers(e.name)) << e.name;
    }
    EXPECT_EQ(nullptr, sim::FindCoredllExport(std::string_view("sleep")));
    EXPECT_EQ(nullptr, sim::FindCoredllExport(uint32_t{0}));
    EXPECT_EQ(455u, sim::FindCoredllExport(std::string_view("RegCloseKey"))->ordinal);
    EXPECT_STREQ("COREDLL_SHEXEC", sim::FindCoredllExport(uint32_t{480})->component);
}

sim::RunResult RunFile(const std::string& file, Processor processor) {
    const auto image = sim::ReadPeImage(ReadFile(file), sim::CoredllOffers);
    if (const auto* refusal = std::get_if<std::string>(&image)) {
        ADD_FAILURE() << file << ": " << *refusal;
        return sim::RunResult();
    }
    sim::ResetDevice();
    sim::CurrentDevice().waitForReal = false;
    return sim::RunExecutable(std::get<sim::PeImage>(image), processor);
}

struct FaultCase {
    const char* program;
    const char* fault;  // nullptr: ends by itself
    Processor processor;
    int status;
};

TEST(DeviceExecutable, FaultsEndTheProcessAsOnTheDevice) {
    const FaultCase cases[] = {
        {"fault-unaligned.exe", "unaligned 32-bit read at 0x", Processor::kArmv5te, 3},
        {"fault-write-code.exe", "write to code or constants at 0x", Processor::kArmv4t, 3},
        {"fault-armv5.exe", "undefined ARM instruction 0xE16F0F11 for an ARMv4T processor",
         Processor::kArmv4t, 3},
        // clz of 0x00100000 counts 11 leading zeros.
        {"fault-armv5.exe", nullptr, Processor::kArmv5te, 11},
        {"fault-unbound.exe", "where no imported function is bound", Processor::kArmv4t, 3},
        {"fault-runaway.exe", "runaway: more than 20000000 instructions", Processor::kArmv4t, 3},
        {"fault-stack.exe",
         "stack overflow: the stack ran into the last 8192 bytes of its 65536-byte reserve, at "
         "0x01FF1",
         Processor::kArmv4t, 3},
        {"fault-bad-pointer.exe",
         "COREDLL's GetModuleFileNameW was given memory it cannot write, 16 bytes at 0x",
         Processor::kArmv4t, 3},
        {"fault-unaligned-halfword.exe", "unaligned 16-bit read at 0x", Processor::kArmv4t, 3},
        {"fault-unaligned-halfword.exe", "unaligned 16-bit read at 0x", Processor::kArmv5te, 3},
        // The command line's text is the stack's last 4 bytes: 16 from there run 12 past its end.
        {"fault-buffer-past-end.exe",
         "COREDLL's GetModuleFileNameW was given memory it cannot read, 16 bytes at 0x01FFFFFC",
         Processor::kArmv4t, 3},
    };
    for (const auto& build : {ArmBuild(""), ThumbBuild("")}) {
        for (const FaultCase& c : cases) {
            const std::string program = build + "tests/wince/programs/" + c.program;
            const sim::RunResult run = RunFile(program, c.processor);
            SCOPED_TRACE(program);
            EXPECT_TRUE(run.exited);
            EXPECT_EQ(c.status, run.status);
            if (c.fault == nullptr) {
                EXPECT_EQ("", run.record.fault);
            } else {
                EXPECT_NE(std::string::npos, run.record.fault.find(c.fault)) << run.record.fault;
                // Where it happened: the instruction, or for COREDLL's faults, its caller.
                EXPECT_TRUE(run.record.fault.find("(instruction at 0x") != std::string::npos ||
                            run.record.fault.find("(called from 0x") != std::string::npos)
                    << run.record.fault;
            }
        }
    }
}

// RegQueryValueExW writes the byte count back, both when the data does not fit and when it
// does: a program of its own reads it, since the launcher never does.
TEST(DeviceExecutable, RegQueryValueExWGivesBackTheByteCount) {
    for (const auto& build : {ArmBuild(""), ThumbBuild("")}) {
        const std::string program = build + "tests/wince/programs/reg-query-size.exe";
        SCOPED_TRACE(program);
        const auto image = sim::ReadPeImage(ReadFile(program), sim::CoredllOffers);
        ASSERT_TRUE(std::holds_alternative<sim::PeImage>(image));
        sim::ResetDevice();
        sim::Device& device = sim::CurrentDevice();
        device.waitForReal = false;
        device.registry.SetString(testing_support::kPathsKey, u"SDMMC", u"\\SDMMC");
        const sim::RunResult run =
            sim::RunExecutable(std::get<sim::PeImage>(image), Processor::kArmv4t);
        EXPECT_EQ("", run.record.fault);
        // Six characters and the terminator: 14 bytes, of type REG_SZ (1).
        EXPECT_EQ(14, run.status);
        ASSERT_EQ(2u, run.record.trail.size());
        EXPECT_EQ(u"regquery: 234 1 14\r\n", run.record.trail[0]);
        EXPECT_EQ(u"regquery: 0 1 14 \\SDMMC\r\n", run.record.trail[1]);
    }
}

// The Thumb build reaches COREDLL through ARM stubs and must come back to Thumb code: a broken
// path faults or loses the line, and the ARM build makes no call from Thumb code at all.
TEST(DeviceExecutable, ThumbCodeCallsCoredllThroughArmCodeAndReturns) {
    for (const bool thumb : {false, true}) {
        const std::string program = thumb ? ThumbBuild("tests/wince/programs/interworking.exe")
                                          : ArmBuild("tests/wince/programs/interworking.exe");
        const sim::RunResult run = RunFile(program, Processor::kArmv4t);
        SCOPED_TRACE(program);
        EXPECT_EQ("", run.record.fault);
        EXPECT_EQ(7, run.status);
        ASSERT_EQ(1u, run.record.trail.size());
        EXPECT_EQ(u"interworking: back from Sleep, 7\r\n", run.record.trail[0]);
        ASSERT_EQ(1u, run.record.events.size());
        EXPECT_EQ(1u, run.record.events[0].milliseconds);
        EXPECT_EQ(thumb ? 2u : 0u, run.record.processor.callsFromThumb);
    }
}

// The device's own record, in ARM and in Thumb code, reaches the same shell as the linked-in
// launcher's: a record of another size refused with 87 and hInstApp 5 and nothing else; a
// failed start without a box when asked for none, its error and hInstApp written back; a
// process handle kept when asked for.
TEST(DeviceExecutable, ShellAnswersTheDevicesRecord) {
    for (const bool thumb : {false, true}) {
        const std::string program = thumb ? ThumbBuild("tests/wince/programs/shell-record.exe")
                                          : ArmBuild("tests/wince/programs/shell-record.exe");
        SCOPED_TRACE(program);
        const auto image = sim::ReadPeImage(ReadFile(program), sim::CoredllOffers);
        ASSERT_TRUE(std::holds_alternative<sim::PeImage>(image));
        sim::ResetDevice();
        sim::Device& device = sim::CurrentDevice();
        device.waitForReal = false;
        testing_support::ScratchRoot root;
        root.AddFile("Card/Prog.exe");
        std::ofstream(root.Path() / "Card/Notes.exe")
            << "Not a program: the release notes of the update, as text of some length.\r\n";
        device.files.SetRoot(root.Path());
        const sim::RunResult run =
            sim::RunExecutable(std::get<sim::PeImage>(image), Processor::kArmv4t);
        EXPECT_EQ("", run.record.fault);
        ASSERT_EQ(3u, run.record.trail.size());
        EXPECT_EQ(u"size 64: 0 87 5 0\r\n", run.record.trail[0]);
        EXPECT_EQ(u"no box: 0 193 5 0\r\n", run.record.trail[1]);
        EXPECT_EQ(u"keep handle: 1 0 0 1\r\n", run.record.trail[2]);
        ASSERT_EQ(3u, run.record.events.size());
        EXPECT_EQ(sim::ShellOutcome::kRecordRefused, run.record.events[0].request.outcome);
        EXPECT_EQ(sim::ShellOutcome::kFailedQuietly, run.record.events[1].request.outcome);
        EXPECT_EQ(sim::ShellOutcome::kStarted, run.record.events[2].request.outcome);
    }
}

struct StackCase {
    uint16_t subsystem;
    uint16_t major;
    uint16_t minor;
    uint32_t reserve;
    uint32_t expected;
};

// The unit's stack: the file's reserve from Windows CE 2.02 on, else 64 KiB; whole pages, from
// 16 KiB to 1 MiB.
TEST(DeviceExecutable, StackReserveIsSizedAsTheUnitSizesIt) {
    const std::string original = ReadFile(ArmBuild("Kelbrun.EXE"));
    const StackCase cases[] = {
        {9, 5, 0, 0x10000, 0x10000},    {9, 5, 0, 0x1000000, 0x100000},
        {9, 5, 0, 0x100000, 0x100000},  {9, 5, 0, 0x100001, 0x100000},
        {9, 5, 0, 0xFFF01, 0x100000},   {9, 5, 0, 0x4000, 0x4000},
        {9, 5, 0, 0x3FFF, 0x4000},      {9, 5, 0, 0, 0x4000},
        {9, 5, 0, 0x4001, 0x5000},      {9, 2, 20, 0x20000, 0x20000},
        {9, 2, 19, 0x20000, 0x20000},   {9, 1, 0, 0x4000, 0x10000},
        {9, 2, 2, 0x20000, 0x20000},    {9, 2, 1, 0x20000, 0x10000},
        {9, 2, 11, 0x100000, 0x100000}, {2, 5, 0, 0x20000, 0x10000},
        {9, 4, 20, 0x200000, 0x100000},
    };
    for (const StackCase& c : cases) {
        std::string exe = original;
        Put16(exe, Optional(exe) + 68, c.subsystem);
        Put16(exe, Optional(exe) + 48, c.major);
        Put16(exe, Optional(exe) + 50, c.minor);
        Put32(exe, Optional(exe) + 72, c.reserve);
        const auto image = sim::ReadPeImage(exe, sim::CoredllOffers);
        SCOPED_TRACE(testing::Message() << "subsystem " << c.subsystem << " " << c.major << "."
                                        << c.minor << ", reserve " << c.reserve);
        ASSERT_TRUE(std::holds_alternative<sim::PeImage>(image));
        EXPECT_EQ(c.expected, std::get<sim::PeImage>(image).stackReserve);
    }
}

// The launcher's device, where every COREDLL function it imports is called: the processor's
// counts are there for the bench, and the records of both builds' runs agree with the linked-in
// launcher's.
struct LauncherDevice {
    testing_support::ScratchRoot root;
    LauncherDevice() {
        root.AddFile("SDMMC/UPDATE/Kelbrun.EXE");
    }
    void SetUp() {
        sim::ResetDevice();
        sim::Device& device = sim::CurrentDevice();
        device.waitForReal = false;
        device.files.SetRoot(root.Path());
        device.registry.SetString(testing_support::kPathsKey, u"SDMMC", u"\\SDMMC");
        device.registry.SetString(testing_support::kPathsKey, u"DataStorage", u"\\SDMMC\\Data");
        device.registry.SetString(testing_support::kPathsKey, u"User", u"\\ResidentFlash");
    }
    sim::RunResult Run(const std::string& exe) {
        const auto image = sim::ReadPeImage(exe, sim::CoredllOffers);
        if (const auto* refusal = std::get_if<std::string>(&image)) {
            ADD_FAILURE() << *refusal;
            return sim::RunResult();
        }
        SetUp();
        return sim::RunExecutable(std::get<sim::PeImage>(image), Processor::kArmv4t);
    }
};

struct Unbound {
    const char* what;
    std::function<void(std::string&)> apply;
};

// A descriptor without a lookup table ends the list on the unit, and an import directory of
// size 0 is no list at all: the slots keep what the file holds, and the first call through one
// goes astray and faults.
TEST(DeviceExecutable, ImportsTheUnitDoesNotBindStayUnboundAndFault) {
    const Unbound cases[] = {
        {"a descriptor without a lookup table",
         [](std::string& e) { Put32(e, ImportDirectory(e), 0); }},
        {"an import directory of size 0",
         [](std::string& e) { Put32(e, DataDirectory(e, 1) + 4, 0); }},
    };
    for (const Unbound& c : cases) {
        SCOPED_TRACE(c.what);
        std::string exe = ReadFile(ArmBuild("Kelbrun.EXE"));
        c.apply(exe);
        const auto image = sim::ReadPeImage(exe, sim::CoredllOffers);
        ASSERT_TRUE(std::holds_alternative<sim::PeImage>(image));
        EXPECT_TRUE(std::get<sim::PeImage>(image).imports.empty());
        LauncherDevice device;
        const sim::RunResult run = device.Run(exe);
        EXPECT_EQ(3, run.status);
        EXPECT_NE(std::string::npos, run.record.fault.find("(instruction at 0x"))
            << run.record.fault;
        EXPECT_TRUE(run.record.trail.empty());
    }
}

TEST(DeviceExecutable, LauncherRunsAsTheLinkedInLauncherDoes) {
    LauncherDevice device;
    device.SetUp();
    const sim::RunResult linked = sim::RunLauncher();
    // The three bindings the device builds make: by ordinal, by name, CeGCC's.
    for (const bool thumb : {false, true})
        for (const char* file : {"Kelbrun.EXE", "Kelbrun-by-name.exe", "Kelbrun-cegcc.exe"}) {
            SCOPED_TRACE(std::string(thumb ? "thumb: " : "arm: ") + file);
            const sim::RunResult run =
                device.Run(ReadFile(thumb ? ThumbBuild(file) : ArmBuild(file)));
            EXPECT_EQ(linked.status, run.status);
            EXPECT_EQ(linked.record.trail, run.record.trail);
            EXPECT_EQ(linked.record.calls, run.record.calls);
            EXPECT_EQ(linked.record.keysLeftOpen, run.record.keysLeftOpen);
            ASSERT_EQ(linked.record.events.size(), run.record.events.size());
            EXPECT_EQ(u"\\SDMMC\\UPDATE\\Kelbrun.EXE", run.record.events.back().request.file);
            EXPECT_EQ(u"Open", run.record.events.back().request.verb);
            EXPECT_EQ(5, run.record.events.back().request.show);
            EXPECT_EQ(linked.record.events.back().request.size,
                      run.record.events.back().request.size);
            EXPECT_GT(run.record.processor.instructions, 100u);
            EXPECT_GT(run.record.processor.deepestStack, 560u);  // the find data lives on the stack
            EXPECT_EQ(thumb, run.record.processor.callsFromThumb > 0);
        }
}

}  // namespace
