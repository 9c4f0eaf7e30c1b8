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

}  // namespace
