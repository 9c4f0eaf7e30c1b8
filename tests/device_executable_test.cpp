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
#include "platform/sim/emulator/pe_image.h"
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

uint32_t U32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

void Put16(std::string& bytes, size_t at, uint16_t value) {
    std::memcpy(bytes.data() + at, &value, 2);
}

void Put32(std::string& bytes, size_t at, uint32_t value) {
    std::memcpy(bytes.data() + at, &value, 4);
}

// Offsets into the executable's headers.
size_t Coff(const std::string& exe) {
    return U32(exe, 0x3C) + 4;
}
size_t Optional(const std::string& exe) {
    return Coff(exe) + 20;
}
size_t SectionTable(const std::string& exe) {
    return Optional(exe) + static_cast<uint16_t>(U32(exe, Coff(exe) + 16));
}
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

TEST(DeviceExecutable, LoaderRefusesDamagedCopies) {
    const std::string original = ReadFile(ArmBuild("Kelbrun.EXE"));
    ASSERT_FALSE(original.empty());
    const Damage damages[] = {
        {"undamaged", [](std::string&) {}, nullptr},
        {"no MZ", [](std::string& e) { e[0] = 'X'; }, "does not start with MZ"},
        {"no PE signature", [](std::string& e) { e[Coff(e) - 4] = 'X'; }, "no PE signature"},
        {"x86 machine", [](std::string& e) { Put16(e, Coff(e), 0x014C); }, "machine 0x014C"},
        {"plain ARM machine", [](std::string& e) { Put16(e, Coff(e), 0x01C0); }, nullptr},
        {"not executable",
         [](std::string& e) {
             Put16(e, Coff(e) + 18, static_cast<uint16_t>(U32(e, Coff(e) + 18) & ~2u));
         },
         "not an executable image"},
        {"a DLL",
         [](std::string& e) {
             Put16(e, Coff(e) + 18, static_cast<uint16_t>(U32(e, Coff(e) + 18) | 0x2000u));
         },
         "a DLL"},
        {"PE32+", [](std::string& e) { Put16(e, Optional(e), 0x20B); }, "not a PE32 image"},
        {"desktop GUI subsystem", [](std::string& e) { Put16(e, Optional(e) + 68, 2); },
         "subsystem 2, not Windows CE GUI"},
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
        {"image base elsewhere", [](std::string& e) { Put32(e, Optional(e) + 28, 0x20000); },
         "image base 0x00020000"},
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
         "imports from AYGSHEL.dll"},
        {"import the device lacks", [](std::string& e) { Rename(e, "Sleep", "Sleeq"); },
         "imports COREDLL's Sleeq, which the simulated device does not offer"},
        {"entry outside the code", [](std::string& e) { Put32(e, Optional(e) + 16, 0); },
         "entry point 0x00000000 is not in a section of code"},
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
        {"fault-stack.exe", "stack overflow: the stack ran past its 65536-byte reserve",
         Processor::kArmv4t, 3},
        {"fault-bad-pointer.exe",
         "COREDLL's GetModuleFileNameW was given memory it cannot write, 16 bytes at 0x",
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

// The launcher itself, run from the device executable, on a device where every COREDLL function
// it imports is called: the processor's counts are there for the bench, and the records of both
// runs agree with the linked-in launcher's.
TEST(DeviceExecutable, LauncherRunsAsTheLinkedInLauncherDoes) {
    testing_support::ScratchRoot root;
    root.AddFile("SDMMC/UPDATE/Kelbrun.EXE");
    const auto setUp = [&]() {
        sim::ResetDevice();
        sim::Device& device = sim::CurrentDevice();
        device.waitForReal = false;
        device.files.SetRoot(root.Path());
        device.registry.SetString(testing_support::kPathsKey, u"SDMMC", u"\\SDMMC");
        device.registry.SetString(testing_support::kPathsKey, u"DataStorage", u"\\SDMMC\\Data");
        device.registry.SetString(testing_support::kPathsKey, u"User", u"\\ResidentFlash");
    };
    setUp();
    const sim::RunResult linked = sim::RunLauncher();
    for (const bool thumb : {false, true}) {
        const auto image =
            sim::ReadPeImage(ReadFile(thumb ? ThumbBuild("Kelbrun.EXE") : ArmBuild("Kelbrun.EXE")),
                             sim::CoredllOffers);
        ASSERT_TRUE(std::holds_alternative<sim::PeImage>(image));
        setUp();
        const sim::RunResult run =
            sim::RunExecutable(std::get<sim::PeImage>(image), Processor::kArmv4t);
        EXPECT_EQ(linked.status, run.status);
        EXPECT_EQ(linked.record.trail, run.record.trail);
        EXPECT_EQ(linked.record.calls, run.record.calls);
        EXPECT_EQ(linked.record.keysLeftOpen, run.record.keysLeftOpen);
        ASSERT_EQ(linked.record.events.size(), run.record.events.size());
        EXPECT_EQ(u"\\SDMMC\\UPDATE\\Kelbrun.EXE", run.record.events.back().request.file);
        EXPECT_EQ(u"Open", run.record.events.back().request.verb);
        EXPECT_EQ(5, run.record.events.back().request.show);
        EXPECT_EQ(linked.record.events.back().request.size, run.record.events.back().request.size);
        EXPECT_GT(run.record.processor.instructions, 100u);
        EXPECT_GT(run.record.processor.deepestStack, 560u);  // the find data lives on the stack
        EXPECT_EQ(thumb, run.record.processor.callsFromThumb > 0);
    }
}

}  // namespace
