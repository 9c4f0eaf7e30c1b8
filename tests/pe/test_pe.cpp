#include "tests/pe/test_pe.h"

#include <cstring>
#include <stdexcept>

namespace testpe {
namespace {

constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kPeOffset = 0x80;
constexpr uint32_t kOptionalHeaderSize = 224;

uint32_t Align(uint32_t value, uint32_t unit) {
    return (value + unit - 1) / unit * unit;
}

void Put(std::string& bytes, size_t at, uint32_t value, int size) {
    if (bytes.size() < at + static_cast<size_t>(size)) {
        bytes.resize(at + static_cast<size_t>(size), '\0');
    }
    for (int i = 0; i < size; ++i) {
        bytes[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i));
    }
}

struct Section {
    const char* name;
    uint32_t flags;
    std::string data;
    uint32_t rva = 0;
};

constexpr uint32_t kCode = 0x60000020;      // code, execute, read
constexpr uint32_t kReadOnly = 0x40000040;  // initialised data, read
constexpr uint32_t kWritable = 0xC0000040;  // initialised data, read, write

// The import tables, written into the sections the layout puts them in. Addresses are only
// known once each section's place is, so the tables are laid out at a given rva.
struct ImportTables {
    uint32_t directoryRva = 0;
    uint32_t directorySize = 0;
    uint32_t slotsRva = 0;  // of the first module
    uint32_t slotsSize = 0;
    std::vector<uint32_t> slotRvas;  // every import's slot, in order
};

size_t ImportCount(const Program& program) {
    size_t count = 0;
    for (const Module& module : program.modules) {
        count += module.imports.size();
    }
    return count;
}

// The address tables: one slot per import and a zero after each module's, each slot holding what
// the lookup table does, as both linkers write them.
std::string Slots(const std::vector<uint32_t>& entries) {
    std::string bytes;
    for (size_t i = 0; i < entries.size(); ++i) {
        Put(bytes, 4 * i, entries[i], 4);
    }
    return bytes;
}

// Writes the directory, lookup tables and names at directoryRva, with the address tables at
// slotsRva (which may lie inside the same block, after the rest). Gives the block and fills
// tables; the lookup entries (and so the slots' contents) are returned in entries.
std::string DirectoryBlock(const Program& program, uint32_t directoryRva,
                           std::vector<uint32_t>& entries, ImportTables& tables,
                           uint32_t slotsRva) {
    const size_t modules = program.modules.size();
    const size_t count = ImportCount(program);
    std::string block;
    const uint32_t directorySize = static_cast<uint32_t>(20 * (modules + 1));
    const uint32_t lookupRva = directoryRva + directorySize;
    const uint32_t lookupSize = static_cast<uint32_t>(4 * (count + modules));
    uint32_t namesRva = lookupRva + lookupSize;
    std::string names;
    entries.clear();
    for (const Module& module : program.modules) {
        for (const Import& import : module.imports) {
            if (import.ordinal != 0) {
                entries.push_back(0x80000000u | import.ordinal);
            } else {
                entries.push_back(namesRva + static_cast<uint32_t>(names.size()));
                Put(names, names.size(), 0, 2);  // hint 0: the unit then searches by name
                names += import.name + '\0';
                if (names.size() % 2 != 0) {
                    names += '\0';
                }
            }
        }
        entries.push_back(0);
    }
    std::vector<uint32_t> dllNameRvas;
    for (const Module& module : program.modules) {
        dllNameRvas.push_back(namesRva + static_cast<uint32_t>(names.size()));
        names += module.dll + '\0';
    }
    size_t entry = 0;
    tables.slotRvas.clear();
    for (size_t m = 0; m < modules; ++m) {
        const uint32_t moduleLookup = lookupRva + static_cast<uint32_t>(4 * entry);
        const uint32_t moduleSlots = slotsRva + static_cast<uint32_t>(4 * entry);
        Put(block, 20 * m, moduleLookup, 4);
        Put(block, 20 * m + 12, dllNameRvas[m], 4);
        Put(block, 20 * m + 16, moduleSlots, 4);
        for (size_t i = 0; i < program.modules[m].imports.size(); ++i) {
            tables.slotRvas.push_back(moduleSlots + static_cast<uint32_t>(4 * i));
        }
        entry += program.modules[m].imports.size() + 1;
    }
    Put(block, directorySize - 1, 0, 1);
    block += Slots(entries);
    block += names;
    tables.directoryRva = directoryRva;
    tables.directorySize = directorySize;
    tables.slotsRva = slotsRva;
    tables.slotsSize = static_cast<uint32_t>(4 * entries.size());
    return block;
}

std::string Code(const Program& program, const ImportTables& tables) {
    std::string bytes;
    for (size_t i = 0; i < program.code.size(); ++i) {
        uint32_t word = program.code[i];
        if ((word & 0xFFFF0000u) == SlotOf(0)) {
            const uint32_t index = word & 0xFFFF;
            if (index >= tables.slotRvas.size()) {
                throw std::logic_error("code names a slot the program does not import");
            }
            word = program.base + tables.slotRvas[index];
        }
        Put(bytes, 4 * i, word, 4);
    }
    return bytes;
}

}  // namespace

std::vector<uint32_t> SleepAndReturn7() {
    return {
        0xE52DE004,  // str lr, [sp, #-4]!
        0xE3A00005,  // mov r0, #5
        0xE59FC010,  // ldr ip, [pc, #16]: the slot's address, below
        0xE59CC000,  // ldr ip, [ip]
        0xE1A0E00F,  // mov lr, pc
        0xE12FFF1C,  // bx ip
        0xE3A00007,  // mov r0, #7
        0xE49DF004,  // ldr pc, [sp], #4
        SlotOf(0),
    };
}

std::string Write(const Program& program) {
    // Section rvas follow one another a page apart, after the headers' page.
    std::vector<Section> sections;
    ImportTables tables;
    std::vector<uint32_t> entries;
    const uint32_t textRva = kSectionAlignment;
    const uint32_t secondRva = 2 * kSectionAlignment;
    const uint32_t thirdRva = 3 * kSectionAlignment;
    if (program.layout == Layout::kMicrosoft) {
        // .rdata holds the directory, lookup tables and names; .data starts with the slots.
        std::string rdata = DirectoryBlock(program, secondRva, entries, tables, thirdRva);
        // The lookup tables' copy stays in .rdata; the slots move to .data.
        std::string data = Slots(entries);
        Put(data, data.size() + 12, 0x12345678, 4);  // the program's own data after them
        sections.push_back({".text", kCode, Code(program, tables)});
        sections.push_back({".rdata", kReadOnly, rdata});
        sections.push_back({".data", kWritable, data});
    } else {
        // One writable .idata: directory, lookup tables, names, then the address tables.
        std::string probe = DirectoryBlock(program, secondRva, entries, tables, 0);
        const uint32_t slotsRva = secondRva + Align(static_cast<uint32_t>(probe.size()), 4);
        std::string idata = DirectoryBlock(program, secondRva, entries, tables, slotsRva);
        idata.resize(slotsRva - secondRva, '\0');
        idata += Slots(entries);
        sections.push_back({".text", kCode, Code(program, tables)});
        sections.push_back({".idata", kWritable, idata});
        sections.push_back({".bss", 0xC0000080, std::string(16, '\0')});
    }
    sections[0].rva = textRva;
    sections[1].rva = secondRva;
    sections[2].rva = thirdRva;

    std::string file(kFileAlignment, '\0');
    file[0] = 'M';
    file[1] = 'Z';
    Put(file, 0x3C, kPeOffset, 4);
    Put(file, kPeOffset, 0x00004550, 4);
    const size_t coff = kPeOffset + 4;
    Put(file, coff, program.layout == Layout::kMicrosoft ? 0x01C2 : 0x01C0, 2);
    Put(file, coff + 2, static_cast<uint32_t>(sections.size()), 2);
    Put(file, coff + 16, kOptionalHeaderSize, 2);
    Put(file, coff + 18, program.relocationsStripped ? 0x0103 : 0x0102, 2);
    const size_t optional = coff + 20;
    Put(file, optional, 0x10B, 2);
    Put(file, optional + 16, textRva, 4);
    Put(file, optional + 28, program.base, 4);
    Put(file, optional + 32, kSectionAlignment, 4);
    Put(file, optional + 36, kFileAlignment, 4);
    Put(file, optional + 40, 4, 2);  // operating system version
    Put(file, optional + 48, program.subsystemMajor, 2);
    Put(file, optional + 50, program.subsystemMinor, 2);
    Put(file, optional + 56, (1 + static_cast<uint32_t>(sections.size())) * kSectionAlignment, 4);
    Put(file, optional + 60, kFileAlignment, 4);
    Put(file, optional + 68, 9, 2);
    Put(file, optional + 72, program.stackReserve, 4);
    Put(file, optional + 76, 0x1000, 4);
    Put(file, optional + 92, 16, 4);
    if (!program.modules.empty()) {
        Put(file, optional + 96 + 8, tables.directoryRva, 4);
        Put(file, optional + 96 + 12, tables.directorySize, 4);
        Put(file, optional + 96 + 12 * 8, tables.slotsRva, 4);
        Put(file, optional + 96 + 12 * 8 + 4, tables.slotsSize, 4);
    }
    const size_t table = optional + kOptionalHeaderSize;
    uint32_t rawAt = kFileAlignment;
    for (size_t i = 0; i < sections.size(); ++i) {
        const Section& section = sections[i];
        const size_t at = table + 40 * i;
        std::memcpy(file.data() + at, section.name, std::strlen(section.name));
        Put(file, at + 8, static_cast<uint32_t>(section.data.size()), 4);
        Put(file, at + 12, section.rva, 4);
        const bool zeroed = (section.flags & 0x80) != 0;
        const uint32_t rawSize =
            zeroed ? 0 : Align(static_cast<uint32_t>(section.data.size()), kFileAlignment);
        Put(file, at + 16, rawSize, 4);
        Put(file, at + 20, rawSize != 0 ? rawAt : 0, 4);
        Put(file, at + 36, section.flags, 4);
        if (rawSize != 0) {
            file.resize(rawAt + rawSize, '\0');
            file.replace(rawAt, section.data.size(), section.data);
            rawAt += rawSize;
        }
    }
    return file;
}

Program MicrosoftProgram() {
    Program program;
    program.layout = Layout::kMicrosoft;
    program.modules = {{"COREDLL.dll", {{"", 496}, {"", 516}, {"", 73}}}};
    program.code = SleepAndReturn7();
    return program;
}

Program CegccProgram() {
    Program program;
    program.layout = Layout::kCegcc;
    program.subsystemMajor = 4;
    program.subsystemMinor = 0;
    program.stackReserve = 0x200000;  // CeGCC's default; the unit gives 1 MiB
    program.modules = {{"COREDLL", {{"Sleep"}, {"GetLastError"}, {"wcsstr"}}}};
    program.code = SleepAndReturn7();
    return program;
}

}  // namespace testpe
