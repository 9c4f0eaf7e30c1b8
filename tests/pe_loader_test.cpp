// The simulated device's loader and processor on hand-made programs in other toolchains'
// layouts: what the loader reads of their import tables, how the entry is called, and what runs
// where on a unit.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <variant>

#include "platform/sim/device.h"
#include "platform/sim/emulator/arm_machine.h"
#include "platform/sim/emulator/coredll.h"
#include "platform/sim/emulator/pe_image.h"
#include "tests/pe/test_pe.h"

namespace {

sim::PeImage Load(const testpe::Program& program) {
    const auto image = sim::ReadPeImage(testpe::Write(program), sim::CoredllOffers);
    if (const auto* refusal = std::get_if<std::string>(&image)) {
        ADD_FAILURE() << *refusal;
        return sim::PeImage();
    }
    return std::get<sim::PeImage>(image);
}

sim::RunResult RunProgram(const testpe::Program& program) {
    const sim::PeImage image = Load(program);
    sim::ResetDevice();
    sim::CurrentDevice().waitForReal = false;
    return sim::RunExecutable(image, sim::Processor::kArmv4t);
}

struct LayoutCase {
    const char* what;
    testpe::Program program;
    const char* dll;
    bool byOrdinal;
    const char* slotSection;
};

TEST(PeLoader, ReadsTheImportsOfEachToolchainsLayout) {
    const LayoutCase cases[] = {
        {"Microsoft", testpe::MicrosoftProgram(), "COREDLL.dll", true, ".data"},
        {"CeGCC", testpe::CegccProgram(), "COREDLL", false, ".idata"},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.what);
        const sim::PeImage image = Load(c.program);
        ASSERT_EQ(3u, image.imports.size());
        const char* names[] = {"Sleep", "GetLastError", "wcsstr"};
        for (size_t i = 0; i < 3; ++i) {
            const sim::PeImport& import = image.imports[i];
            EXPECT_EQ(c.dll, import.dll);
            EXPECT_EQ(names[i], import.name);
            EXPECT_TRUE(import.offered);
            EXPECT_EQ(c.byOrdinal, import.ordinal != 0);
            EXPECT_EQ(c.byOrdinal, import.hintNameRva == 0);
            const sim::PeSection* home = nullptr;
            for (const sim::PeSection& section : image.sections) {
                if (import.slotRva >= section.rva && import.slotRva < section.rva + section.size) {
                    home = &section;
                }
            }
            ASSERT_NE(nullptr, home);
            EXPECT_EQ(c.slotSection, home->name);
            EXPECT_TRUE(home->write);
            EXPECT_EQ(image.imports[0].slotRva + 4 * i, import.slotRva);
        }
    }
}

struct EntryCase {
    const char* what;
    std::vector<uint32_t> code;
    uint32_t base;
    uint32_t status;
};

// COREDLL calls the entry as (hInstance, 0, command line, SW_SHOW) with the image's base and its
// COM descriptor's address and size on the stack; what the entry returns ends the process.
TEST(PeLoader, EntryGetsTheArgumentsCoredllPasses) {
    if (!sim::HasArmProcessor()) {
        GTEST_SKIP() << "built without the ARM processor";
    }
    const uint32_t kReturn = 0xE12FFF1E;  // bx lr
    // An exit status keeps 8 bits: a 32-bit value is returned a byte at a time.
    const uint32_t kLowByte = 0xE20000FF;    // and r0, r0, #0xFF
    const uint32_t kThirdByte = 0xE1A00820;  // mov r0, r0, lsr #16
    const uint32_t kLoadBase = 0xE59D0000;   // ldr r0, [sp]
    const auto third = [](uint32_t value) { return (value >> 16) & 0xFF; };
    const EntryCase cases[] = {
        {"r0: hInstance, the process", {kLowByte, kReturn}, 0x10000, sim::kProcessHandle & 0xFF},
        {"r0: hInstance, the process, third byte",
         {kThirdByte, kLowByte, kReturn},
         0x10000,
         third(sim::kProcessHandle)},
        {"r1: 0", {0xE1A00001, 0xE2800002, kReturn}, 0x10000, 2},
        {"r2: an empty command line", {0xE1D200B0, 0xE2800003, kReturn}, 0x10000, 3},
        {"r3: SW_SHOW", {0xE1A00003, kReturn}, 0x10000, 5},
        {"stack: the image's base", {kLoadBase, kThirdByte, kLowByte, kReturn}, 0x10000, 1},
        {"stack: the image's base, low byte", {kLoadBase, kLowByte, kReturn}, 0x10000, 0},
        {"stack: the base of an image placed higher",
         {kLoadBase, kThirdByte, kLowByte, kReturn},
         0x300000,
         0x30},
        {"stack: no COM descriptor",
         {0xE59D0004, 0xE59D1008, 0xE1800001, 0xE2800001, kReturn},
         0x10000,
         1},
    };
    for (const EntryCase& c : cases) {
        SCOPED_TRACE(c.what);
        testpe::Program program = testpe::CegccProgram();
        program.modules.clear();
        program.base = c.base;
        program.code = c.code;
        const sim::RunResult run = RunProgram(program);
        EXPECT_EQ("", run.record.fault);
        EXPECT_TRUE(run.exited);
        EXPECT_EQ(static_cast<int>(c.status), run.status);
    }
    EXPECT_NE(0x10000u, sim::kProcessHandle);
}

// A unit's processor has no execute-never bit: code in a read-only data section, or in a
// writable one, runs.
TEST(PeLoader, ReadableMemoryCanBeExecuted) {
    if (!sim::HasArmProcessor()) {
        GTEST_SKIP() << "built without the ARM processor";
    }
    for (const bool writable : {false, true}) {
        testpe::Program program = testpe::MicrosoftProgram();
        program.modules.clear();
        // .rdata, read-only, or .data, writable: neither has the execute flag.
        const uint32_t target = program.base + (writable ? 0x3000 : 0x2000);
        program.code = {0xE59FC000, 0xE12FFF1C, target};  // ldr ip, [pc]; bx ip; the address
        const auto read = sim::ReadPeImage(testpe::Write(program), sim::CoredllOffers);
        ASSERT_TRUE(std::holds_alternative<sim::PeImage>(read)) << std::get<std::string>(read);
        sim::PeImage image = std::get<sim::PeImage>(read);
        const uint32_t rva = target - program.base;
        const auto section = std::find_if(image.sections.begin(), image.sections.end(),
                                          [&](const sim::PeSection& s) { return s.rva == rva; });
        ASSERT_NE(image.sections.end(), section);
        SCOPED_TRACE(section->name);
        EXPECT_EQ(writable, section->write);
        EXPECT_FALSE(section->execute);
        // mov r0, #9; bx lr
        const uint8_t code[] = {0x09, 0x00, 0xA0, 0xE3, 0x1E, 0xFF, 0x2F, 0xE1};
        std::copy(std::begin(code), std::end(code), image.memory.begin() + rva);
        sim::ResetDevice();
        const sim::RunResult run = sim::RunExecutable(image, sim::Processor::kArmv5te);
        EXPECT_EQ("", run.record.fault);
        EXPECT_EQ(9, run.status);
    }
}

struct AccessCase {
    uint32_t address;
    bool write;
    const char* fault;  // nullptr: no fault, and the word read is returned a byte of
    int status;
};

// The first 64 KiB of a process slot are never mapped on the unit: any access there is a null
// pointer's, at its start, its end and between. Just past it are the image's headers.
TEST(PeLoader, AccessesInTheFirst64KiBFaultAsNullPointers) {
    if (!sim::HasArmProcessor()) {
        GTEST_SKIP() << "built without the ARM processor";
    }
    const AccessCase cases[] = {
        {0x00000000, false, "read at 0x00000000, in the first 64 KiB (a null pointer)", 3},
        {0x00000FFC, false, "read at 0x00000FFC, in the first 64 KiB (a null pointer)", 3},
        {0x00001000, false, "read at 0x00001000, in the first 64 KiB (a null pointer)", 3},
        {0x00008000, false, "read at 0x00008000, in the first 64 KiB (a null pointer)", 3},
        {0x00008000, true, "write at 0x00008000, in the first 64 KiB (a null pointer)", 3},
        {0x0000FFFC, false, "read at 0x0000FFFC, in the first 64 KiB (a null pointer)", 3},
        {0x0000FFFC, true, "write at 0x0000FFFC, in the first 64 KiB (a null pointer)", 3},
        {0x00010000, false, nullptr, 'M'},
        {0x00500000, false, "read of unmapped memory at 0x00500000", 3},
    };
    for (const AccessCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.address << (c.write ? " write" : " read"));
        testpe::Program program = testpe::CegccProgram();
        program.modules.clear();
        program.code = {
            0xE59F1008,                           // ldr r1, [pc, #8]: the address, below
            c.write ? 0xE5810000u : 0xE5910000u,  // str r0, [r1] or ldr r0, [r1]
            0xE20000FF,                           // and r0, r0, #0xFF
            0xE12FFF1E,                           // bx lr
            c.address,
        };
        const sim::RunResult run = RunProgram(program);
        EXPECT_EQ(c.status, run.status);
        if (c.fault == nullptr) {
            EXPECT_EQ("", run.record.fault);
        } else {
            EXPECT_NE(std::string::npos, run.record.fault.find(c.fault)) << run.record.fault;
        }
    }
}

struct StackReserveCase {
    uint16_t major;
    uint16_t minor;
    uint32_t asked;
    uint32_t given;
};

// As CE 5.0's loader reads a program outside the image's MODULES: its own reserve from Windows
// CE 2.02 on, 64 KiB before; then whole pages from 16 KiB to 1 MiB either way.
TEST(PeLoader, StackReserveFollowsTheProgramsWindowsCeVersion) {
    const StackReserveCase cases[] = {
        {2, 1, 0x100000, 0x10000}, {2, 2, 0x100000, 0x100000},  {2, 1, 0x4000, 0x10000},
        {2, 2, 0x4000, 0x4000},    {2, 11, 0x100000, 0x100000}, {2, 19, 0x20000, 0x20000},
        {1, 99, 0x20000, 0x10000}, {3, 0, 0x20000, 0x20000},    {2, 2, 0x100001, 0x100000},
        {2, 0, 0x200000, 0x10000},
    };
    for (const StackReserveCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor << ", asks " << c.asked);
        testpe::Program program = testpe::MicrosoftProgram();
        program.subsystemMajor = c.major;
        program.subsystemMinor = c.minor;
        program.stackReserve = c.asked;
        const sim::PeImage image = Load(program);
        EXPECT_EQ(c.given, image.stackReserve);
        EXPECT_EQ(c.major, image.subsystemMajor);
    }
}

struct StackEndCase {
    uint32_t reserve;
    uint32_t address;
    bool overflows;
};

// The unit raises a stack overflow when a thread runs into the last 8 KiB of its reserve: with
// the smallest reserve, 16 KiB, a program has 8 KiB.
TEST(PeLoader, StackOverflowsWhereTheUnitKeepsTheRest) {
    if (!sim::HasArmProcessor()) {
        GTEST_SKIP() << "built without the ARM processor";
    }
    const StackEndCase cases[] = {
        {0x4000, sim::kStackTop - 0x2000, false},
        {0x4000, sim::kStackTop - 0x2000 - 4, true},
        {0x10000, sim::kStackTop - 0xE000, false},
        {0x10000, sim::kStackTop - 0xE000 - 4, true},
        {0x1000000, sim::kStackTop - 0xFE000, false},
        {0x1000000, sim::kStackTop - 0xFE000 - 4, true},
    };
    for (const StackEndCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "reserve " << c.reserve << ", " << std::hex << c.address);
        testpe::Program program = testpe::CegccProgram();
        program.modules.clear();
        program.subsystemMajor = 5;
        program.stackReserve = c.reserve;
        program.code = {0xE59F1008, 0xE5910000, 0xE3A00007, 0xE12FFF1E, c.address};
        const sim::RunResult run = RunProgram(program);
        if (c.overflows) {
            EXPECT_EQ(3, run.status);
            EXPECT_NE(std::string::npos, run.record.fault.find("stack overflow: the stack ran into "
                                                               "the last 8192 bytes of its"))
                << run.record.fault;
        } else {
            EXPECT_EQ("", run.record.fault);
            EXPECT_EQ(7, run.status);
        }
    }
}

}  // namespace
