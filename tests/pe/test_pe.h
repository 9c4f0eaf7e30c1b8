// Writes small Windows CE ARM programs in the layouts other toolchains give them, for the
// loader's tests: Microsoft's linker (the import address table at the start of a writable .data,
// the import directory, lookup tables and names in a read-only .rdata, COREDLL by ordinal) and
// CeGCC's (all of the import data in one writable .idata, by name from "COREDLL").
#ifndef KELBRUN_TESTS_PE_TEST_PE_H
#define KELBRUN_TESTS_PE_TEST_PE_H

#include <cstdint>
#include <string>
#include <vector>

namespace testpe {

enum class Layout { kMicrosoft, kCegcc };

struct Import {
    std::string name;      // written as a hint/name entry when ordinal is 0
    uint32_t ordinal = 0;  // imported by ordinal when not 0
};

struct Module {
    std::string dll;
    std::vector<Import> imports;
};

// In code, a word that stands for the address of a slot of the import address table: the
// index-th import of all modules, counted in order.
constexpr uint32_t SlotOf(uint32_t index) {
    return 0xFEED0000u + index;
}

struct Program {
    Layout layout = Layout::kMicrosoft;
    uint32_t base = 0x10000;
    bool relocationsStripped = true;
    uint16_t subsystemMajor = 4;
    uint16_t subsystemMinor = 20;
    uint32_t stackReserve = 0x10000;
    std::vector<Module> modules;
    std::vector<uint32_t> code;  // ARM code at the entry; SlotOf words are filled in
};

// ARM code that calls the first import as Sleep(5) and returns 7.
std::vector<uint32_t> SleepAndReturn7();

// The program's file bytes.
std::string Write(const Program& program);

// The two layouts as their toolchains write a program calling Sleep, with a few more imports.
Program MicrosoftProgram();
Program CegccProgram();

}  // namespace testpe

#endif  // KELBRUN_TESTS_PE_TEST_PE_H
