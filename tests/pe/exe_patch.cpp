#include "tests/pe/exe_patch.h"

#include <stdexcept>

#include "platform/sim/emulator/coredll_exports.h"

namespace exepatch {
namespace {

void Need(const std::string& bytes, size_t at, size_t size) {
    if (at > bytes.size() || bytes.size() - at < size) {
        throw std::out_of_range("offset " + std::to_string(at) + " is past the file's end");
    }
}

}  // namespace

uint32_t U32(const std::string& bytes, size_t at) {
    Need(bytes, at, 4);
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    }
    return value;
}

void Put16(std::string& bytes, size_t at, uint16_t value) {
    Need(bytes, at, 2);
    bytes[at] = static_cast<char>(value);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

void Put32(std::string& bytes, size_t at, uint32_t value) {
    Need(bytes, at, 4);
    for (size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
}

size_t Coff(const std::string& exe) {
    return U32(exe, 0x3C) + size_t{4};
}

size_t Optional(const std::string& exe) {
    return Coff(exe) + 20;
}

size_t DataDirectory(const std::string& exe, size_t index) {
    return Optional(exe) + 96 + 8 * index;
}

size_t SectionTable(const std::string& exe) {
    return Optional(exe) + 224;
}

size_t FileAt(const std::string& exe, uint32_t rva) {
    const auto count = static_cast<uint16_t>(U32(exe, Coff(exe) + 2));
    for (size_t i = 0; i < count; ++i) {
        const size_t at = SectionTable(exe) + 40 * i;
        const uint32_t start = U32(exe, at + 12);
        if (rva >= start && rva - start < U32(exe, at + 16)) {
            return U32(exe, at + 20) + size_t{rva - start};
        }
    }
    throw std::runtime_error("address " + std::to_string(rva) + " is not in the file");
}

size_t ImportDirectory(const std::string& exe) {
    return FileAt(exe, U32(exe, DataDirectory(exe, 1)));
}

void BindByOrdinal(std::string& exe) {
    for (size_t descriptor = ImportDirectory(exe); U32(exe, descriptor) != 0; descriptor += 20) {
        for (size_t i = 0;; ++i) {
            const size_t lookup = FileAt(exe, U32(exe, descriptor)) + 4 * i;
            const uint32_t entry = U32(exe, lookup);
            if (entry == 0) {
                break;
            }
            if ((entry & 0x80000000u) != 0) {
                continue;  // already by ordinal
            }
            const size_t nameAt = FileAt(exe, entry + 2);
            const std::string name = exe.substr(nameAt, exe.find('\0', nameAt) - nameAt);
            const sim::CoredllExport* known = sim::FindCoredllExport(name);
            if (known == nullptr) {
                throw std::runtime_error(name + " is not one of COREDLL's exports");
            }
            Put32(exe, lookup, 0x80000000u | known->ordinal);
            Put32(exe, FileAt(exe, U32(exe, descriptor + 16)) + 4 * i,
                  0x80000000u | known->ordinal);
        }
    }
}

void ApplyVariant(const std::string& name, std::string& exe) {
    if (name == "no-dll-suffix") {
        const size_t descriptor = ImportDirectory(exe);
        const size_t at = FileAt(exe, U32(exe, descriptor + 12));
        const size_t dot = exe.find('.', at);
        if (dot == std::string::npos || dot > at + 31) {
            throw std::runtime_error("the module's name has no suffix");
        }
        exe[dot] = '\0';
    } else if (name == "lower-case") {
        const size_t at = FileAt(exe, U32(exe, ImportDirectory(exe) + 12));
        for (size_t i = at; exe[i] != '\0'; ++i) {
            exe[i] = static_cast<char>(exe[i] >= 'A' && exe[i] <= 'Z' ? exe[i] + 32 : exe[i]);
        }
    } else if (name == "wrong-hints") {
        // Hints that index nothing the name matches: the unit searches by name instead.
        const size_t lookup = FileAt(exe, U32(exe, ImportDirectory(exe)));
        for (size_t i = 0; U32(exe, lookup + 4 * i) != 0; ++i) {
            const uint32_t entry = U32(exe, lookup + 4 * i);
            if ((entry & 0x80000000u) == 0) {
                Put16(exe, FileAt(exe, entry), static_cast<uint16_t>(0x7000 + i));
            }
        }
    } else if (name == "optional-header-240") {
        Put16(exe, Coff(exe) + 16, 240);
    } else if (name == "stack-16mib") {
        Put32(exe, Optional(exe) + 72, 0x1000000);
    } else if (name == "by-ordinal") {
        BindByOrdinal(exe);
    } else {
        throw std::invalid_argument("no variant named " + name);
    }
}

}  // namespace exepatch
