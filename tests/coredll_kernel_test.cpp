// The simulated kernel under a unit's own coredll.dll, met through the tests' own DLL
// (tests/wince/coredll/): how a branch into the trap area decodes, what the loader refuses, and
// runs of the device Kelbrun.EXE on it that give what the COREDLL model gives, or end in the one
// line a missing export, an unserved call or a fault in COREDLL's code gives.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform/sim/device.h"
#include "platform/sim/emulator/arm_machine.h"
#include "platform/sim/emulator/coredll.h"
#include "platform/sim/emulator/kernel/coredll_image.h"
#include "platform/sim/emulator/kernel/kernel.h"
#include "tests/pe/exe_patch.h"
#include "tests/sim_test_support.h"

namespace {

using exepatch::Coff;
using exepatch::DataDirectory;
using exepatch::FileAt;
using exepatch::Optional;
using exepatch::Put16;
using exepatch::Put32;
using exepatch::U32;
using sim::kernel::DecodeTrap;
using sim::kernel::TrapAddress;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << path << ": build the wince presets first";
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Build {
    const char* name;
    const char* dir;
};

const Build kBuilds[] = {{"ARM", KELBRUN_WINCE_DIR}, {"Thumb", KELBRUN_WINCE_THUMB_DIR}};

std::string Dll(const Build& build) {
    return ReadFile(std::string(build.dir) + "/tests/wince/coredll/coredll.dll");
}

std::string Launcher(const Build& build) {
    return ReadFile(std::string(build.dir) + "/Kelbrun.EXE");
}

struct TrapCase {
    uint32_t address;
    uint32_t set;
    uint32_t method;
    bool call;
    bool onHandle;
};

TEST(KernelTrap, DecodesSetAndMethodOrAHandlesMethod) {
    const TrapCase cases[] = {
        {0xF000FFA4, 0, 23, true, false},  // NKvDbgPrintfW
        {TrapAddress(20, 25), 20, 25, true, false},
        {0xF000E000, 8, 0, true, false},   // FindClose's
        {0xF0010000, 0, 0, true, true},    // method 0 of the handle in r0
        {0xF00103FC, 0, 255, true, true},  // the last method of a handle
        {0xF0010400, 0, 0, false, false},  // one past the trap area
        {0xF0000000, 64, 0, true, false},  // the area's first word: no API set
        {0xEFFFFFFC, 0, 0, false, false},  // below it
        {0xF000FFA6, 0, 0, false, false},  // not on a word
        {0x10001000, 0, 0, false, false},
    };
    for (const TrapCase& c : cases) {
        const auto trap = DecodeTrap(c.address);
        ASSERT_EQ(c.call, trap.has_value()) << std::hex << c.address;
        if (trap) {
            EXPECT_EQ(c.set, trap->set) << std::hex << c.address;
            EXPECT_EQ(c.method, trap->method) << std::hex << c.address;
            EXPECT_EQ(c.onHandle, trap->onHandle) << std::hex << c.address;
        }
    }
    EXPECT_EQ(0xF000FEB8u, TrapAddress(0, 82));  // Sleep
}

uint32_t Word(const std::vector<uint8_t>& page, uint32_t at) {
    return static_cast<uint32_t>(page[at] | page[at + 1] << 8 | page[at + 2] << 16 |
                                 page[at + 3] << 24);
}

// What COREDLL reads without asking: the thread's storage, its thread and process, the page
// size and memory (which GlobalMemoryStatus divides by), the API sets up, the user's locale.
TEST(KernelTrap, TheUserKernelDataPage) {
    const std::vector<uint8_t> page = sim::kernel::KernelDataPage();
    ASSERT_EQ(sim::kPageSize, page.size());
    EXPECT_EQ(sim::kernel::kThreadLocalStorage, Word(page, 0x800));
    EXPECT_EQ(sim::kernel::kThreadHandle, Word(page, 0x808));
    EXPECT_EQ(sim::kProcessHandle, Word(page, 0x80C));
    EXPECT_EQ(sim::kPageSize, Word(page, 0xB00 + 4 * 1));
    EXPECT_NE(0u, Word(page, 0xB00 + 4 * 11));
    EXPECT_LE(Word(page, 0xB00 + 4 * 4), Word(page, 0xB00 + 4 * 11));
    EXPECT_EQ(0x00320000u | 0xFu, Word(page, 0xB00 + 4 * 18));
    EXPECT_EQ(0x0409u, Word(page, 0xB00 + 4 * 21));
    EXPECT_EQ(0xE12FFF1Eu, Word(page, 0xBAC + 16));  // the compare-exchange returns
}

size_t ExportDirectory(const std::string& dll) {
    return FileAt(dll, U32(dll, DataDirectory(dll, 0)));
}

// The DLL's export address table entry for the ordinal.
size_t ExportSlot(const std::string& dll, uint32_t ordinal) {
    const size_t directory = ExportDirectory(dll);
    return FileAt(dll, U32(dll, directory + 28)) + 4 * size_t{ordinal - U32(dll, directory + 16)};
}

struct Refusal {
    const char* what;
    std::function<void(std::string&)> damage;
    const char* reason;
};

TEST(CoredllImage, RefusesWhatIsNoCeArmCoredll) {
    const std::string launcher = Launcher(kBuilds[0]);
    const Refusal cases[] = {
        {"empty", [](std::string& d) { d.clear(); }, "not a Windows DLL (no MZ header)"},
        {"the program", [&](std::string& d) { d = launcher; }, "a program, not a DLL"},
        {"cut after its headers", [](std::string& d) { d.resize(0x400); },
         "the file is truncated: section .text ends past the file's end"},
        {"cut inside its headers", [](std::string& d) { d.resize(0x100); },
         "the file is truncated: its headers end early"},
        {"for x86", [](std::string& d) { Put16(d, Coff(d), 0x014C); },
         "built for machine 0x0000014C, not ARM"},
        {"without ordinal 14", [](std::string& d) { Put32(d, ExportSlot(d, 14), 0); },
         "it does not export ordinal 14 (MainThreadBaseFunc)"},
        {"ordinal 14 outside its code",
         [](std::string& d) { Put32(d, ExportSlot(d, 14), 0x00800000); },
         "its ordinal 14 at 0x10800000 is not in a code section"},
        {"exporting nothing", [](std::string& d) { Put32(d, DataDirectory(d, 0), 0); },
         "it exports nothing"},
        {"based where programs run, without relocations",
         [](std::string& d) { Put32(d, Optional(d) + 28, 0x00400000); },
         "its base 0x00400000 is outside the DLL area and it has no relocations"},
    };
    for (const Build& build : kBuilds) {
        for (const Refusal& c : cases) {
            std::string dll = Dll(build);
            c.damage(dll);
            const auto image = sim::ReadCoredllImage(dll);
            const auto* refusal = std::get_if<std::string>(&image);
            ASSERT_NE(nullptr, refusal) << build.name << ", " << c.what;
            EXPECT_NE(std::string::npos, refusal->find(c.reason))
                << build.name << ", " << c.what << ": " << *refusal;
        }
    }
}

TEST(CoredllImage, ExportsByOrdinalAndTheNearestExport) {
    for (const Build& build : kBuilds) {
        const auto image = sim::ReadCoredllImage(Dll(build));
        ASSERT_TRUE(std::holds_alternative<sim::DllImage>(image)) << build.name;
        const sim::DllImage& dll = std::get<sim::DllImage>(image);
        EXPECT_EQ(0x10000000u, dll.base);
        const uint32_t sleep = dll.ExportAddress(496);
        ASSERT_NE(0u, sleep);
        EXPECT_EQ(build.name == std::string("Thumb"), (sleep & 1) != 0) << build.name;
        EXPECT_EQ("Sleep+0x0", dll.NearestExport(sleep & ~1u));
        EXPECT_EQ("Sleep+0x4", dll.NearestExport((sleep & ~1u) + 4));
        EXPECT_EQ(0u, dll.ExportAddress(13));
    }
}

// The DLL asking for a base where programs run, with one relocation block placed in its export
// section's slack: a 32-bit fixup of the word at rva 0x1000 (the first of its code), then the
// entry given.
std::string Movable(const Build& build, uint16_t secondEntry) {
    std::string dll = Dll(build);
    const size_t edata = exepatch::SectionTable(dll) + 2 * size_t{40};
    const uint32_t blockRva = U32(dll, edata + 12) + ((U32(dll, edata + 8) + 3) & ~3u);
    EXPECT_LE(blockRva + 12, U32(dll, edata + 12) + U32(dll, edata + 16));
    const size_t block = FileAt(dll, U32(dll, edata + 12)) + (blockRva - U32(dll, edata + 12));
    Put32(dll, edata + 8, blockRva + 12 - U32(dll, edata + 12));  // the section holds it
    Put32(dll, block, 0x1000);
    Put32(dll, block + 4, 12);
    Put16(dll, block + 8, 0x3000);
    Put16(dll, block + 10, secondEntry);
    Put32(dll, DataDirectory(dll, 5), blockRva);
    Put32(dll, DataDirectory(dll, 5) + 4, 12);
    Put16(dll, Coff(dll) + 18, 0x2102);  // relocations kept
    Put32(dll, Optional(dll) + 28, 0x00400000);
    return dll;
}

TEST(CoredllImage, MovedOutOfTheProgramsSlotByItsRelocations) {
    for (const Build& build : kBuilds) {
        const std::string original = Dll(build);
        const uint32_t word = U32(original, FileAt(original, 0x1000));
        const auto image = sim::ReadCoredllImage(Movable(build, 0));  // 0: padding, skipped
        ASSERT_TRUE(std::holds_alternative<sim::DllImage>(image)) << std::get<std::string>(image);
        const sim::DllImage& dll = std::get<sim::DllImage>(image);
        EXPECT_EQ(0x10000000u, dll.base);
        EXPECT_EQ(0x00400000u, dll.fileBase);
        EXPECT_EQ(word + (0x10000000u - 0x00400000u),
                  U32(std::string(dll.memory.begin(), dll.memory.end()), 0x1000));
        EXPECT_EQ(U32(original, FileAt(original, 0x1004)),
                  U32(std::string(dll.memory.begin(), dll.memory.end()), 0x1004));
        const auto refused = sim::ReadCoredllImage(Movable(build, 0xA004));
        ASSERT_TRUE(std::holds_alternative<std::string>(refused));
        EXPECT_NE(std::string::npos,
                  std::get<std::string>(refused).find("a relocation of type 10"));
    }
}

// The launcher's device with both of its folders set and the card's copy there.
struct Device {
    testing_support::ScratchRoot root;
    Device() {
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
        device.shellRefuses = shellRefuses;
    }
    bool shellRefuses = false;
    sim::RunResult Run(const std::string& exe, const std::string* dllFile) {
        const auto image = dllFile != nullptr ? sim::ReadPeImage(
                                                    exe, [](std::string_view) { return true; },
                                                    sim::MissingImports::kKeep)
                                              : sim::ReadPeImage(exe, sim::CoredllOffers);
        EXPECT_TRUE(std::holds_alternative<sim::PeImage>(image));
        SetUp();
        if (dllFile == nullptr) {
            return sim::RunExecutable(std::get<sim::PeImage>(image), sim::Processor::kArmv4t);
        }
        const auto dll = sim::ReadCoredllImage(*dllFile);
        EXPECT_TRUE(std::holds_alternative<sim::DllImage>(dll));
        return sim::RunExecutable(std::get<sim::PeImage>(image), sim::Processor::kArmv4t,
                                  &std::get<sim::DllImage>(dll));
    }
};

// The second way to the same run: the model's bindings, or the DLL over the simulated kernel.
TEST(CoredllRun, GivesWhatTheModelGives) {
    for (const Build& build : kBuilds) {
        Device device;
        const std::string exe = Launcher(build);
        const std::string dll = Dll(build);
        const sim::RunResult model = device.Run(exe, nullptr);
        const sim::RunResult own = device.Run(exe, &dll);
        EXPECT_TRUE(own.exited) << build.name;
        EXPECT_EQ(model.status, own.status) << build.name;
        EXPECT_EQ(model.record.trail, own.record.trail) << build.name;
        EXPECT_EQ("", own.record.fault) << build.name;
        EXPECT_EQ("", own.record.stopped) << build.name;
        ASSERT_EQ(model.record.events.size(), own.record.events.size()) << build.name;
        for (size_t i = 0; i < model.record.events.size(); ++i) {
            EXPECT_EQ(model.record.events[i].kind, own.record.events[i].kind);
            EXPECT_EQ(model.record.events[i].milliseconds, own.record.events[i].milliseconds);
            EXPECT_EQ(model.record.events[i].request.file, own.record.events[i].request.file);
            EXPECT_EQ(model.record.events[i].request.accepted,
                      own.record.events[i].request.accepted);
        }
        EXPECT_EQ(model.record.keysLeftOpen, own.record.keysLeftOpen);
        EXPECT_EQ(model.record.searchesLeftOpen, own.record.searchesLeftOpen);
        EXPECT_TRUE(own.record.moduleLines.empty()) << build.name;
        EXPECT_EQ(0u, model.record.processor.kernelCalls);
        // Start-up and the launcher's own: well past the launcher's 20-odd calls.
        EXPECT_GT(own.record.processor.kernelCalls, 30u) << build.name;
    }
}

// A line COREDLL writes itself is its own, not the launcher's: the tests' DLL writes one when its
// string table lacks a box's text, here with the table's type renumbered.
TEST(CoredllRun, CoredllsOwnLinesAreKeptApartFromTheTrail) {
    for (const Build& build : kBuilds) {
        Device device;
        const std::string exe = Launcher(build);
        std::string dll = Dll(build);
        const size_t resources = FileAt(dll, U32(dll, DataDirectory(dll, 2)));
        Put32(dll, resources + 16, 7);  // the root's one entry: type 7, no longer RT_STRING
        device.shellRefuses = true;
        const sim::RunResult model = device.Run(exe, nullptr);
        const sim::RunResult refused = device.Run(exe, &dll);
        EXPECT_EQ("", refused.record.stopped) << build.name;
        ASSERT_EQ(1u, refused.record.moduleLines.size()) << build.name;
        EXPECT_EQ(u"coredll: no text 305 in the string table\r\n", refused.record.moduleLines[0]);
        for (const std::u16string& line : refused.record.trail) {
            EXPECT_EQ(std::u16string::npos, line.find(u"coredll:")) << build.name;
        }
        EXPECT_EQ(model.record.trail, refused.record.trail) << build.name;
        ASSERT_EQ(2u, refused.record.events.size()) << build.name;  // the pause, the request
        EXPECT_FALSE(refused.record.events.back().request.accepted) << build.name;
    }
}

// COREDLL reads the user's locale overrides at start-up: values there are enumerated, each
// with its name and data, and the launcher's run is the same.
TEST(CoredllRun, ReadsTheLocaleOverridesItFinds) {
    Device device;
    const std::string exe = Launcher(kBuilds[0]);
    const std::string dll = Dll(kBuilds[0]);
    const sim::RunResult plain = device.Run(exe, &dll);
    const auto image = sim::ReadPeImage(
        exe, [](std::string_view) { return true; }, sim::MissingImports::kKeep);
    const auto loaded = sim::ReadCoredllImage(dll);
    device.SetUp();
    sim::CurrentDevice().registry.SetString(u"HKEY_LOCAL_MACHINE\\nls\\overrides", u"LCID",
                                            u"1033");
    sim::CurrentDevice().registry.SetString(u"HKEY_LOCAL_MACHINE\\nls\\overrides", u"S1159", u"AM");
    const sim::RunResult overridden = sim::RunExecutable(
        std::get<sim::PeImage>(image), sim::Processor::kArmv4t, &std::get<sim::DllImage>(loaded));
    EXPECT_EQ("", overridden.record.stopped);
    EXPECT_EQ(plain.record.trail, overridden.record.trail);
    // Each value one call more, and the call that finds no more.
    EXPECT_EQ(plain.record.processor.kernelCalls + 2, overridden.record.processor.kernelCalls);
}

// With the image's own wince.nls COREDLL has its sorting tables, and the kernel answers none of
// its functions for it: the tests' DLL, whose CompareStringW finds every text equal as COREDLL's
// would without them, then takes the card's copy for a shortcut, which needs the shell's DLL,
// and the start fails before CreateProc.
TEST(CoredllRun, WithTheImagesLocaleDataNothingIsAnsweredForCoredll) {
    Device device;
    const std::string exe = Launcher(kBuilds[0]);
    const auto image = sim::ReadPeImage(
        exe, [](std::string_view) { return true; }, sim::MissingImports::kKeep);
    auto loaded = sim::ReadCoredllImage(Dll(kBuilds[0]));
    ASSERT_TRUE(std::holds_alternative<sim::DllImage>(loaded));
    sim::DllImage& dll = std::get<sim::DllImage>(loaded);
    const std::string dllFile = Dll(kBuilds[0]);
    const sim::RunResult simulated = device.Run(exe, &dllFile);
    ASSERT_EQ(2u, simulated.record.events.size());
    EXPECT_TRUE(simulated.record.events.back().request.accepted);
    dll.localeData.assign(0x2000, 0x5A);
    device.SetUp();
    const sim::RunResult own =
        sim::RunExecutable(std::get<sim::PeImage>(image), sim::Processor::kArmv4t, &dll);
    EXPECT_EQ("", own.record.stopped);
    EXPECT_EQ(simulated.record.trail, own.record.trail);
    // The pause, then the box the shell shows for the shortcut it cannot follow: no request
    // reached the kernel's CreateProc.
    ASSERT_EQ(2u, own.record.events.size());
    EXPECT_EQ(sim::Event::Kind::kSleep, own.record.events[0].kind);
    EXPECT_EQ(sim::ShellOutcome::kBox, own.record.events[1].request.outcome);
    EXPECT_EQ(u"Kelbrun.EXE", own.record.events[1].request.boxCaption);
    EXPECT_FALSE(own.record.events[1].request.accepted);
}

TEST(CoredllRun, AnImportTheDllLacksIsTheLoadersLine) {
    const std::string exe = Launcher(kBuilds[0]);
    std::string dll = Dll(kBuilds[0]);
    Put32(dll, ExportSlot(dll, 545), 0);  // NKDbgPrintfW
    const auto image = sim::ReadPeImage(
        exe, [](std::string_view) { return true; }, sim::MissingImports::kKeep);
    const auto loaded = sim::ReadCoredllImage(dll);
    ASSERT_TRUE(std::holds_alternative<sim::DllImage>(loaded));
    EXPECT_EQ("ERROR: function @ Ordinal 545 missing in Module 'coredll.dll'",
              sim::MissingImportLine(std::get<sim::PeImage>(image), std::get<sim::DllImage>(loaded))
                  .value_or("none"));
    EXPECT_FALSE(
        sim::MissingImportLine(std::get<sim::PeImage>(image),
                               std::get<sim::DllImage>(sim::ReadCoredllImage(Dll(kBuilds[0]))))
            .has_value());
}

// Replaces the one place the DLL names a trap address with another.
void Retarget(std::string& dll, uint32_t from, uint32_t to) {
    const std::string word(reinterpret_cast<const char*>(&from), 4);
    const size_t at = dll.find(word);
    ASSERT_NE(std::string::npos, at);
    ASSERT_EQ(std::string::npos, dll.find(word, at + 1));
    Put32(dll, at, to);
}

TEST(CoredllRun, AnUnservedCallEndsTheRunNamingSetMethodAndExport) {
    for (const Build& build : kBuilds) {
        Device device;
        std::string dll = Dll(build);
        Retarget(dll, TrapAddress(0, 82), TrapAddress(0, 200));  // Sleep's
        const sim::RunResult run = device.Run(Launcher(build), &dll);
        EXPECT_NE(std::string::npos,
                  run.record.stopped.find("does not serve: API set 0, method 200, from Sleep+0x"))
            << build.name << ": " << run.record.stopped;
        // The launcher's lines up to the pause are on the trail still.
        EXPECT_EQ(6u, run.record.trail.size()) << build.name;
    }
}

TEST(CoredllRun, AFaultInCoredllsCodeIsNotTheLaunchers) {
    Device device;
    std::string dll = Dll(kBuilds[0]);
    const auto image = sim::ReadCoredllImage(dll);
    ASSERT_TRUE(std::holds_alternative<sim::DllImage>(image));
    const uint32_t start = std::get<sim::DllImage>(image).ExportAddress(14) - 0x10000000;
    Put32(dll, FileAt(dll, start), 0xE6000010);  // what a failed DEBUGCHK executes
    const sim::RunResult run = device.Run(Launcher(kBuilds[0]), &dll);
    EXPECT_EQ("", run.record.fault);
    EXPECT_EQ("a DEBUGCHK failed in MainThreadBaseFunc+0x0", run.record.stopped);
    // Any other undefined instruction is a fault of COREDLL's code, named as the processor
    // names it.
    Put32(dll, FileAt(dll, start), 0xE6000011);
    const sim::RunResult other = device.Run(Launcher(kBuilds[0]), &dll);
    EXPECT_EQ("", other.record.fault);
    EXPECT_NE(std::string::npos,
              other.record.stopped.find("its code faulted in MainThreadBaseFunc+0x0: undefined "
                                        "ARM instruction 0xE6000011"))
        << other.record.stopped;
}

}  // namespace
