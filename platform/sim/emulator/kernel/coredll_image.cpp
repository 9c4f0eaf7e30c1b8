#include "platform/sim/emulator/kernel/coredll_image.h"

#include <algorithm>
#include <cstdio>

#include "platform/sim/emulator/byte_reader.h"
#include "platform/sim/emulator/coredll_exports.h"
#include "platform/sim/emulator/pe_format.h"

namespace sim {
namespace {

using namespace pe;

constexpr uint32_t kLargestImage = 0x04000000;
constexpr uint32_t kMostExports = 0x10000;
constexpr uint16_t kRelocAbsolute = 0;
constexpr uint16_t kRelocHighLow = 3;

struct Refusal {
    std::string reason;
};

[[noreturn]] void Refuse(std::string reason) {
    throw Refusal{std::move(reason)};
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

uint32_t RoundUp(uint64_t value, uint32_t unit) {
    return static_cast<uint32_t>((value + unit - 1) / unit * unit);
}

using Reader = ByteReader<Refuse>;
constexpr size_t kLongestExportName = 256;
const std::string kExportNameTooLong = "an export's name has no end within 256 characters";

void ReadSections(DllImage& dll, const Reader& file, uint64_t table, uint16_t count,
                  uint32_t imageSize) {
    uint32_t nextFree = dll.headersSize;
    for (uint16_t i = 0; i < count; ++i) {
        const uint64_t at = table + 40ull * i;
        PeSection section;
        for (int c = 0; c < 8; ++c) {
            const auto ch = static_cast<char>(file.Data()[at + static_cast<uint64_t>(c)]);
            if (ch == 0) {
                break;
            }
            section.name += ch >= 0x20 && ch < 0x7F ? ch : '?';
        }
        const uint32_t virtualSize = file.U32(at + 8);
        section.rva = file.U32(at + 12);
        const uint32_t rawSize = file.U32(at + 16);
        const uint32_t rawAt = file.U32(at + 20);
        const uint32_t characteristics = file.U32(at + 36);
        const uint32_t size = virtualSize != 0 ? virtualSize : rawSize;
        if (section.rva % kPageSize != 0 || section.rva < nextFree || size == 0 ||
            uint64_t{section.rva} + size > imageSize) {
            Refuse("section " + section.name + " lies outside the image or over another part");
        }
        if (rawSize != 0 && uint64_t{rawAt} + rawSize > file.Size()) {
            Refuse("the file is truncated: section " + section.name + " ends past the file's end");
        }
        std::copy_n(file.Data() + rawAt, std::min(rawSize, size), dll.memory.begin() + section.rva);
        section.size = RoundUp(size, kPageSize);
        section.read = (characteristics & kScnRead) != 0;
        section.write = (characteristics & kScnWrite) != 0;
        section.execute = (characteristics & kScnExecute) != 0;
        nextFree = section.rva + section.size;
        dll.sections.push_back(section);
    }
}

void ReadExports(DllImage& dll, uint32_t directoryRva) {
    const Reader memory{dll.memory.data(), dll.memory.size(),
                        "the export table lies outside the image"};
    const uint32_t ordinalBase = memory.U32(directoryRva + 16);
    const uint32_t functionCount = memory.U32(directoryRva + 20);
    const uint32_t nameCount = memory.U32(directoryRva + 24);
    const uint32_t functions = memory.U32(directoryRva + 28);
    const uint32_t names = memory.U32(directoryRva + 32);
    const uint32_t nameOrdinals = memory.U32(directoryRva + 36);
    if (functionCount > kMostExports || nameCount > functionCount) {
        Refuse("its export table claims " + std::to_string(functionCount) + " functions and " +
               std::to_string(nameCount) + " names");
    }
    for (uint32_t i = 0; i < functionCount; ++i) {
        const uint32_t rva = memory.U32(functions + 4ull * i);
        if (rva != 0) {
            dll.exports.push_back(DllExport{ordinalBase + i, rva, {}});
        }
    }
    for (uint32_t i = 0; i < nameCount; ++i) {
        const uint32_t index = memory.U16(nameOrdinals + 2ull * i);
        const std::string name =
            memory.Name(memory.U32(names + 4ull * i), kLongestExportName, kExportNameTooLong);
        for (DllExport& e : dll.exports) {
            if (e.ordinal == ordinalBase + index) {
                e.name = name;
            }
        }
    }
}

// Moves the image by delta, as the kernel's loader does: only whole 32-bit fixups.
void Relocate(DllImage& dll, uint32_t directoryRva, uint32_t directorySize, uint32_t delta) {
    Reader memory{dll.memory.data(), dll.memory.size(), "its relocations lie outside the image"};
    for (uint64_t block = directoryRva; block + 8 <= uint64_t{directoryRva} + directorySize;) {
        const uint32_t page = memory.U32(block);
        const uint32_t size = memory.U32(block + 4);
        if (size < 8 || size % 2 != 0) {
            Refuse("a relocation block at " + Hex(static_cast<uint32_t>(block)) + " of " +
                   std::to_string(size) + " bytes");
        }
        for (uint64_t at = block + 8; at < block + size; at += 2) {
            const uint16_t entry = memory.U16(at);
            const uint16_t type = entry >> 12;
            const uint64_t target = uint64_t{page} + (entry & 0xFFF);
            if (type == kRelocAbsolute) {
                continue;
            }
            if (type != kRelocHighLow) {
                Refuse("a relocation of type " + std::to_string(type) + ", which the kernel " +
                       "does not apply to a DLL");
            }
            const uint32_t value = memory.U32(target) + delta;
            // Within the image: the read just now checked it.
            const auto fixup = static_cast<size_t>(target);
            for (size_t b = 0; b < 4; ++b) {
                dll.memory[fixup + b] = static_cast<uint8_t>(value >> (8 * b));
            }
        }
        block += size;
    }
}

DllImage Read(std::string_view text) {
    const Reader file{reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                      "the file is truncated: its headers end early"};
    if (text.size() < 0x40 || text[0] != 'M' || text[1] != 'Z') {
        Refuse("not a Windows DLL (no MZ header)");
    }
    const uint32_t pe = file.U32(0x3C);
    if (uint64_t{pe} + 4 > text.size() || file.U32(pe) != 0x00004550) {
        Refuse("not a Windows DLL (no PE signature where offset 0x3C points)");
    }
    const uint64_t coff = uint64_t{pe} + 4;
    const uint64_t optional = coff + 20;
    file.Need(optional, kOptionalHeaderSize);
    const uint16_t machine = file.U16(coff);
    const uint16_t sectionCount = file.U16(coff + 2);
    const uint16_t flags = file.U16(coff + 18);
    if (machine != kMachineArm && machine != kMachineArmv4i) {
        Refuse("built for machine " + Hex(machine) + ", not ARM (0x01C0) or ARMV4I (0x01C2)");
    }
    if ((flags & kFlagDll) == 0) {
        Refuse("a program, not a DLL");
    }
    if (file.U16(optional) != kMagicPe32) {
        Refuse("its optional header is not a PE32 one");
    }
    DllImage dll;
    dll.entryRva = file.U32(optional + 16);
    dll.fileBase = file.U32(optional + 28);
    const uint32_t imageSize = file.U32(optional + 56);
    const uint32_t headersSize = file.U32(optional + 60);
    const uint32_t exportRva = file.U32(optional + 96 + 8 * kExportDirectory);
    const uint32_t relocRva = file.U32(optional + 96 + 8 * kRelocationDirectory);
    const uint32_t relocSize = file.U32(optional + 96 + 8 * kRelocationDirectory + 4);
    if (imageSize == 0 || imageSize > kLargestImage || dll.fileBase % 0x10000 != 0) {
        Refuse("an image of " + std::to_string(imageSize) + " bytes at " + Hex(dll.fileBase) +
               " is no DLL the kernel loads");
    }
    const uint64_t table = optional + file.U16(coff + 16);
    if (sectionCount == 0 || sectionCount > 96 || headersSize > imageSize ||
        table + 40ull * sectionCount > std::min<uint64_t>(headersSize, text.size())) {
        Refuse("its headers do not hold its section table");
    }
    if (headersSize > text.size()) {
        Refuse("the file is truncated: its headers end early");
    }
    dll.headersSize = RoundUp(headersSize, kPageSize);
    dll.memory.assign(RoundUp(imageSize, kPageSize), 0);
    std::copy_n(text.begin(), headersSize, dll.memory.begin());
    ReadSections(dll, file, table, sectionCount, imageSize);
    const bool fits =
        dll.fileBase >= kDllAreaBegin && uint64_t{dll.fileBase} + dll.memory.size() <= kDllAreaEnd;
    dll.base = fits ? dll.fileBase : kCoredllUsualBase;
    if (!fits) {
        if ((flags & kFlagRelocsStripped) != 0 || relocSize == 0) {
            Refuse("its base " + Hex(dll.fileBase) + " is outside the DLL area and it has no " +
                   "relocations to move it");
        }
        Relocate(dll, relocRva, relocSize, dll.base - dll.fileBase);
    }
    if (exportRva == 0) {
        Refuse("it exports nothing");
    }
    ReadExports(dll, exportRva);
    const uint32_t start = dll.ExportAddress(kMainThreadOrdinal);
    if (start == 0) {
        Refuse("it does not export ordinal 14 (MainThreadBaseFunc), where a process starts");
    }
    const uint32_t startRva = (start & ~1u) - dll.base;
    if (!std::any_of(dll.sections.begin(), dll.sections.end(), [&](const PeSection& s) {
            return s.execute && startRva >= s.rva && startRva < s.rva + s.size;
        })) {
        Refuse("its ordinal 14 at " + Hex(start) + " is not in a code section");
    }
    return dll;
}

}  // namespace

uint32_t DllImage::ExportAddress(uint32_t ordinal) const {
    for (const DllExport& e : exports) {
        if (e.ordinal == ordinal) {
            return base + e.rva;
        }
    }
    return 0;
}

std::string DllImage::NearestExport(uint32_t address) const {
    const DllExport* nearest = nullptr;
    for (const DllExport& e : exports) {
        const uint32_t at = base + (e.rva & ~1u);
        if (at <= address && (nearest == nullptr || at > base + (nearest->rva & ~1u))) {
            nearest = &e;
        }
    }
    char offset[16];
    if (nearest == nullptr) {
        std::snprintf(offset, sizeof(offset), "+0x%X", address - base);
        return "coredll.dll" + std::string(offset);
    }
    std::snprintf(offset, sizeof(offset), "+0x%X", address - (base + (nearest->rva & ~1u)));
    const std::string name = nearest->name.empty() ? "ordinal " + std::to_string(nearest->ordinal)
                                                   : Printable(nearest->name);
    return name + offset;
}

uint32_t BoundAddress(const DllImage& dll, const PeImport& import) {
    if (import.hintNameRva == 0) {
        return dll.ExportAddress(import.ordinal);
    }
    for (const DllExport& e : dll.exports) {
        if (!e.name.empty() && e.name == import.name) {
            return dll.base + e.rva;
        }
    }
    return 0;
}

std::optional<std::string> MissingImportLine(const PeImage& program, const DllImage& dll) {
    for (const PeImport& import : program.imports) {
        if (BoundAddress(dll, import) == 0) {
            return LoaderMissingLine(import.hintNameRva != 0 ? import.hintNameRva : import.ordinal);
        }
    }
    return std::nullopt;
}

std::variant<DllImage, std::string> ReadCoredllImage(std::string_view file) {
    try {
        return Read(file);
    } catch (const Refusal& refusal) {
        return refusal.reason;
    }
}

}  // namespace sim
