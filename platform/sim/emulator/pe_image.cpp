#include "platform/sim/emulator/pe_image.h"

#include <algorithm>
#include <cstdio>

#include "platform/sim/emulator/byte_reader.h"
#include "platform/sim/emulator/coredll_exports.h"
#include "platform/sim/emulator/pe_format.h"

namespace sim {
namespace {

using namespace pe;

constexpr uint16_t kSubsystemWindowsCeGui = 9;
constexpr uint32_t kLowestFixedBase = 0x10000;
constexpr uint32_t kHighestFixedBase = 0x400000;
constexpr uint32_t kImportByOrdinal = 0x80000000;
// What a program built for Windows CE before 2.02 gets, whatever it asks for.
constexpr uint32_t kOldStackReserve = 0x10000;
constexpr uint32_t kSmallestStackReserve = 0x4000;
constexpr uint32_t kLargestStackReserve = 0x100000;
constexpr size_t kLongestImportName = 256;
const std::string kNameTooLong = "a name in the import table is longer than " +
                                 std::to_string(kLongestImportName) + " characters";
constexpr size_t kLongestDllName = 31;

constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorModNotFound = 126;
constexpr uint32_t kErrorBadExeFormat = 193;
constexpr uint32_t kErrorDllInitFailed = 1114;
constexpr uint32_t kErrorOldWinVersion = 1150;
constexpr uint32_t kSimulatorOnly = 0;
constexpr char kPe32PlusNote[] = ", a PE32+ image";
constexpr char kPe32PlusReading[] =
    "a PE32+ (64-bit) image, whose header the unit's loader reads with the 32-bit layout";

[[noreturn]] void Refuse(uint32_t error, std::string reason,
                         std::vector<std::string> loaderLines = {}) {
    throw PeRefusal{error, std::move(reason), std::move(loaderLines)};
}

// What the unit's loader refuses as not the image it expects: ERROR_BAD_EXE_FORMAT.
[[noreturn]] void Refuse(std::string reason) {
    Refuse(kErrorBadExeFormat, std::move(reason));
}

std::string ProcessorName(uint16_t machine) {
    switch (machine) {
        case 0x014C:
            return "x86";
        case 0x8664:
            return "x86-64";
        case 0x01C0:
            return "ARM";
        case 0x01C2:
            return "ARM Thumb";
        case 0x01C4:
            return "ARM Thumb-2";
        case 0xAA64:
            return "ARM64";
        case 0x0166:
            return "MIPS";
        case 0x0169:
            return "MIPS (Windows CE v2)";
        case 0x0266:
            return "MIPS16";
        case 0x01A2:
            return "SH3";
        case 0x01A3:
            return "SH3-DSP";
        case 0x01A6:
            return "SH4";
        case 0x0200:
            return "Itanium";
        case 0x01F0:
            return "PowerPC";
        default:
            return "an unknown processor";
    }
}

std::string Hex(uint32_t value, int digits = 8) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%0*X", digits, value);
    return text;
}

uint32_t RoundUp(uint64_t value, uint32_t unit) {
    return static_cast<uint32_t>((value + unit - 1) / unit * unit);
}

using Bytes = ByteReader<Refuse>;

// The stack the unit reserves: whole pages, within its smallest and largest.
uint32_t StackReserve(uint32_t asked) {
    return std::clamp(RoundUp(asked, kPageSize), kSmallestStackReserve, kLargestStackReserve);
}

}  // namespace

// A name from the file as it can be shown on one line: other bytes as \xNN.
std::string Printable(std::string_view name) {
    std::string text;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '\\') {
            text += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
            text += escaped;
        }
    }
    return text;
}

namespace {

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto fold = [](char c) {
            return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
        };
        return fold(x) == fold(y);
    });
}

std::string SectionName(const Bytes& file, uint64_t at) {
    std::string name;
    for (int i = 0; i < 8; ++i) {
        const auto c = static_cast<char>(file.U8(at + static_cast<uint64_t>(i)));
        if (c == 0) {
            break;
        }
        name += c >= 0x20 && c < 0x7F ? c : '?';
    }
    return name;
}

bool InSection(const PeImage& image, uint64_t rva) {
    return std::any_of(image.sections.begin(), image.sections.end(), [&](const PeSection& s) {
        return rva >= s.rva && rva + 4 <= uint64_t{s.rva} + s.size;
    });
}

// COREDLL's names as the unit's loader matches a module name: any case, with or without ".dll".
bool IsCoredll(std::string_view dll) {
    return SameNameIgnoringCase(dll, "COREDLL") || SameNameIgnoringCase(dll, "COREDLL.dll");
}

// The number a unit's loader shows for an import it cannot bind: the lookup entry without its
// top bit, which for an import by name is where its hint/name entry lies.
uint32_t ShownNumber(const PeImport& import) {
    return import.hintNameRva != 0 ? import.hintNameRva : import.ordinal;
}

PeImport ReadImport(const Bytes& memory, const std::string& dll, uint32_t entry,
                    const LoaderRules& rules) {
    PeImport import;
    import.dll = dll;
    if ((entry & kImportByOrdinal) != 0) {
        import.ordinal = entry & ~kImportByOrdinal;
        const CoredllExport* known = IsCoredll(dll) ? FindCoredllExport(import.ordinal) : nullptr;
        if (known != nullptr) {
            import.name = known->name;
        }
    } else {
        // The hint only speeds the unit's search; what binds is the exact name.
        import.hintNameRva = entry;
        import.name =
            memory.Name(static_cast<uint64_t>(entry) + 2, kLongestImportName, kNameTooLong);
    }
    if (IsCoredll(dll)) {
        import.offered = !import.name.empty() && rules.offers(import.name);
    } else {
        // A module the device holds is taken as binding: its exports are not read.
        import.offered = rules.holdsModule && rules.holdsModule(dll);
    }
    return import;
}

// The unit goes by the directory's size alone: an address of 0 reads the headers as the table.
void ReadImports(PeImage& image, uint32_t directoryRva, const LoaderRules& rules) {
    const Bytes memory(image.memory.data(), image.memory.size(),
                       "the import table lies outside the image");
    const bool refuse = rules.missing == MissingImports::kRefuse;
    // With the device's modules known, the loader stops at the first module or function it
    // lacks, as a unit's does; without, every lacking import is named at once.
    const bool asTheUnit = refuse && static_cast<bool>(rules.holdsModule);
    std::string lacking;
    std::vector<std::string> loaderLines;
    // As on the unit, a descriptor without a lookup table ends the list: the slots name
    // nothing, and whatever follows stays unbound.
    for (uint64_t descriptor = directoryRva; memory.U32(descriptor) != 0; descriptor += 20) {
        const uint32_t lookupRva = memory.U32(descriptor);
        const uint32_t nameRva = memory.U32(descriptor + 12);
        const uint32_t slotsRva = memory.U32(descriptor + 16);
        // The unit reads at most this much of the module's name.
        const std::string dll =
            memory.Name(nameRva, kLongestImportName, kNameTooLong).substr(0, kLongestDllName);
        if (asTheUnit && !IsCoredll(dll) && !rules.holdsModule(dll)) {
            Refuse(kErrorModNotFound,
                   "needs " + Printable(dll) + ", which the device does not hold");
        }
        for (uint64_t i = 0;; ++i) {
            const uint32_t entry = memory.U32(lookupRva + 4 * i);
            if (entry == 0) {
                break;
            }
            PeImport import = ReadImport(memory, dll, entry, rules);
            import.slotRva = static_cast<uint32_t>(slotsRva + 4 * i);
            // The unit binds a slot only inside a section it loaded; anywhere else the write
            // fails and the program is refused.
            if (!InSection(image, import.slotRva)) {
                Refuse("the import address table slot for " + DescribeImport(import) + " at " +
                       Hex(import.slotRva) + " is not in a section of the image");
            }
            if (!import.offered) {
                if (loaderLines.empty() && IsCoredll(dll)) {
                    loaderLines = {LoaderMissingLine(ShownNumber(import)), kLoaderMissingAdvice};
                }
                if (asTheUnit) {
                    Refuse(kErrorBadExeFormat,
                           "imports what the unit's COREDLL does not export: " +
                               DescribeImport(import),
                           loaderLines);
                }
                lacking += (lacking.empty() ? "" : ", ") + DescribeImport(import);
            }
            image.imports.push_back(import);
        }
    }
    if (!lacking.empty() && refuse) {
        Refuse(loaderLines.empty() ? kErrorModNotFound : kErrorBadExeFormat,
               "imports what the simulated device does not offer: " + lacking, loaderLines);
    }
}

// The fields of the headers a unit's loader reads, from where a PE32 header has them: it does not
// look at the optional header's magic, so a PE32+ header is read with the same layout.
struct Headers {
    uint16_t machine = 0;
    uint16_t sectionCount = 0;
    uint16_t flags = 0;
    uint32_t entryRva = 0;
    uint32_t fileBase = 0;
    uint32_t sectionAlignment = 0;
    uint32_t fileAlignment = 0;
    uint16_t subsystemMajor = 0;
    uint16_t subsystemMinor = 0;
    uint32_t imageSize = 0;
    uint32_t headersSize = 0;
    uint16_t subsystem = 0;
    uint32_t stackReserve = 0;
    uint32_t importRva = 0;
    uint32_t importSize = 0;
    uint32_t relocationSize = 0;
    uint32_t comRva = 0;
    uint64_t sectionTable = 0;
};

Headers ReadHeaders(const Bytes& file) {
    // The unit's loader takes the PE header's offset from 0x3C without looking for MZ first; a
    // file it cannot read that offset from is one it cannot open.
    if (file.Size() < 0x40) {
        Refuse(kErrorFileNotFound, "not a Windows executable (too short for an MZ header)");
    }
    const uint32_t pe = file.U32(0x3C);
    if (static_cast<uint64_t>(pe) + 4 > file.Size() || file.U32(pe) != 0x00004550) {
        Refuse("not a Windows executable (no PE signature where offset 0x3C points)");
    }
    const uint64_t coff = static_cast<uint64_t>(pe) + 4;
    const uint64_t optional = coff + 20;
    // The unit's loader reads a whole 224-byte optional header, whatever size the file gives it.
    file.U8(optional + kOptionalHeaderSize - 1);
    Headers h;
    h.machine = file.U16(coff);
    h.sectionCount = file.U16(coff + 2);
    h.flags = file.U16(coff + 18);
    h.entryRva = file.U32(optional + 16);
    h.fileBase = file.U32(optional + 28);
    h.sectionAlignment = file.U32(optional + 32);
    h.fileAlignment = file.U32(optional + 36);
    h.subsystemMajor = file.U16(optional + 48);
    h.subsystemMinor = file.U16(optional + 50);
    h.imageSize = file.U32(optional + 56);
    h.headersSize = file.U32(optional + 60);
    h.subsystem = file.U16(optional + 68);
    h.stackReserve = file.U32(optional + 72);
    h.importRva = file.U32(optional + 96 + 8 * kImportDirectory);
    h.importSize = file.U32(optional + 96 + 8 * kImportDirectory + 4);
    h.relocationSize = file.U32(optional + 96 + 8 * kRelocationDirectory + 4);
    h.comRva = file.U32(optional + 96 + 8 * kComDirectory);
    h.sectionTable = optional + kOptionalHeaderSize;
    return h;
}

// What the unit's loader checks of the program as a whole, in its order.
void CheckProgram(const Headers& h, PeImage& image) {
    image.machine = h.machine;
    image.fileBase = h.fileBase;
    // A managed program skips the processor test: mscoree.dll starts it, whatever the image
    // names. The field it looks at is, in a PE32+ header, the import address table's.
    if (h.comRva == 0 && h.machine != kMachineArm && h.machine != kMachineArmv4i) {
        Refuse("built for " + ProcessorName(h.machine) + " (machine " + Hex(h.machine, 4) +
               "), not ARM (0x01C0) or ARM Thumb (0x01C2)");
    }
    // Only a Windows CE subsystem's version counts: the unit takes any other for 1.00.
    const bool ce = h.subsystem == kSubsystemWindowsCeGui;
    image.subsystemMajor = ce ? h.subsystemMajor : 1;
    image.subsystemMinor = ce ? h.subsystemMinor : 0;
    // A program outside the image's MODULES keeps its own reserve from Windows CE 2.02 on.
    const bool before202 =
        image.subsystemMajor < 2 || (image.subsystemMajor == 2 && image.subsystemMinor < 2);
    image.stackReserve = StackReserve(before202 ? kOldStackReserve : h.stackReserve);
    if (image.subsystemMajor > 5 || (image.subsystemMajor == 5 && image.subsystemMinor > 0)) {
        Refuse(kErrorOldWinVersion, "asks for Windows CE " + std::to_string(image.subsystemMajor) +
                                        "." + std::to_string(image.subsystemMinor) +
                                        " or later; the device runs 5.00");
    }
    if ((h.flags & kFlagDll) != 0) {
        Refuse("a DLL, not a program");
    }
    image.relocationsStripped = (h.flags & kFlagRelocsStripped) != 0;
    if (image.relocationsStripped) {
        if (h.fileBase < kLowestFixedBase || h.fileBase > kHighestFixedBase) {
            Refuse("image base " + Hex(h.fileBase) + " without relocations: the device " +
                   "places such a program at its base only from " + Hex(kLowestFixedBase) + " to " +
                   Hex(kHighestFixedBase));
        }
        image.base = h.fileBase;
    } else {
        // The unit places a program that can be relocated at 0x10000 and applies its fixups.
        image.base = kProgramBase;
    }
}

// The layout the unit's loader needs to map the image: alignments, size and headers.
void CheckLayout(const Headers& h, const PeImage& image, size_t fileSize) {
    if (h.sectionAlignment % kPageSize != 0 || h.sectionAlignment == 0 ||
        (h.sectionAlignment & (h.sectionAlignment - 1)) != 0) {
        Refuse("section alignment " + Hex(h.sectionAlignment) +
               " is not a power of two of whole pages");
    }
    if (h.fileAlignment < 0x200 || h.fileAlignment > h.sectionAlignment ||
        (h.fileAlignment & (h.fileAlignment - 1)) != 0) {
        Refuse("file alignment " + Hex(h.fileAlignment) +
               " is not a power of two from 0x200 to the section alignment");
    }
    if (h.imageSize == 0 || h.imageSize > kProgramLimit - image.base) {
        Refuse(h.imageSize == 0 ? kErrorBadExeFormat : kSimulatorOnly,
               "an image of " + std::to_string(h.imageSize) + " bytes at " + Hex(image.base) +
                   " does not fit in a process slot");
    }
    if (h.sectionCount == 0 || h.sectionCount > 96) {
        Refuse("a section count of " + std::to_string(h.sectionCount) + " is not between 1 and 96");
    }
    if (h.headersSize == 0 || h.headersSize > h.imageSize || h.headersSize > fileSize ||
        h.sectionTable + 40ull * h.sectionCount > h.headersSize) {
        Refuse("the headers' size " + Hex(h.headersSize) +
               " does not hold the section table, or does not fit in the file or the image");
    }
}

void ReadSections(const Headers& h, std::string_view text, const Bytes& file, PeImage& image) {
    image.headersSize = RoundUp(h.headersSize, kPageSize);
    image.memory.assign(RoundUp(h.imageSize, kPageSize), 0);
    std::copy_n(text.begin(), h.headersSize, image.memory.begin());
    uint32_t nextFree = image.headersSize;  // sections must follow one another, page by page
    for (uint16_t i = 0; i < h.sectionCount; ++i) {
        const uint64_t at = h.sectionTable + 40ull * i;
        PeSection section;
        section.name = SectionName(file, at);
        const uint32_t virtualSize = file.U32(at + 8);
        section.rva = file.U32(at + 12);
        const uint32_t rawSize = file.U32(at + 16);
        const uint32_t rawAt = file.U32(at + 20);
        const uint32_t characteristics = file.U32(at + 36);
        const uint32_t size = virtualSize != 0 ? virtualSize : rawSize;
        const std::string what = section.name.empty() ? std::string("a section without a name")
                                                      : "section " + section.name;
        if (section.rva % h.sectionAlignment != 0 || section.rva < nextFree || size == 0 ||
            static_cast<uint64_t>(section.rva) + size > h.imageSize) {
            Refuse(what + " at " + Hex(section.rva) + " (" + std::to_string(size) +
                   " bytes) lies outside the image or over another part of it");
        }
        // The unit checks the whole stored size against the file, and reads no more than fits.
        if (rawSize != 0 && static_cast<uint64_t>(rawAt) + rawSize > text.size()) {
            Refuse("the file is truncated: " + what + "'s data ends at " +
                   std::to_string(static_cast<uint64_t>(rawAt) + rawSize) + ", the file at " +
                   std::to_string(text.size()));
        }
        std::copy_n(text.begin() + rawAt, std::min(rawSize, size),
                    image.memory.begin() + section.rva);
        section.size = RoundUp(size, kPageSize);
        section.read = (characteristics & kScnRead) != 0;
        section.write = (characteristics & kScnWrite) != 0;
        section.execute = (characteristics & kScnExecute) != 0;
        section.discardable = (characteristics & kScnDiscardable) != 0;
        nextFree = section.rva + section.size;
        image.sections.push_back(section);
    }
}

PeImage Read(std::string_view text, const LoaderRules& rules) {
    const Bytes file(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                     "the file is truncated: its headers end early");
    const Headers h = ReadHeaders(file);
    PeImage image;
    CheckProgram(h, image);
    CheckLayout(h, image, text.size());
    ReadSections(h, text, file, image);
    // The unit starts the program at base + entry wherever that lies; what is there runs.
    image.entryRva = h.entryRva;
    if (h.importSize != 0) {
        ReadImports(image, h.importRva, rules);
    }
    // A managed program runs in mscoree.dll's _CorExeMain, which the simulated device lacks.
    if (h.comRva != 0) {
        Refuse(kErrorDllInitFailed,
               "a .NET Compact Framework program (it has a COM descriptor); the simulated "
               "device has no mscoree.dll to start it");
    }
    // Only once the unit would have started it: what the simulator cannot do of it.
    if (!image.relocationsStripped && h.fileBase != kProgramBase && h.relocationSize != 0) {
        Refuse(kSimulatorOnly, "image base " + Hex(h.fileBase) + ": the device moves the " +
                                   "program to " + Hex(kProgramBase) +
                                   " and applies its relocations, which is not simulated");
    }
    return image;
}

}  // namespace

std::string DescribeImport(const PeImport& import) {
    const std::string dll = import.dll.empty() ? "a module without a name" : Printable(import.dll);
    if (import.hintNameRva != 0) {
        return dll + "'s " +
               (import.name.empty() ? "function without a name" : Printable(import.name));
    }
    std::string text = dll + "'s ordinal " + std::to_string(import.ordinal);
    if (!import.name.empty()) {
        text += " (" + Printable(import.name) + ")";
    }
    return text;
}

std::variant<PeImage, PeRefusal> LoadPeImage(std::string_view file, const LoaderRules& rules) {
    try {
        return Read(file, rules);
    } catch (PeRefusal& refusal) {
        // What was refused is garbage read from a 64-bit header: say where it came from.
        const auto processor = DescribeProcessor(file);
        if (refusal.error != 0 && processor && processor->ends_with(kPe32PlusNote)) {
            refusal.reason = kPe32PlusReading + (": " + refusal.reason);
        }
        return refusal;
    }
}

std::variant<PeImage, std::string> ReadPeImage(std::string_view file, OffersFunction offers,
                                               MissingImports missing) {
    auto loaded = LoadPeImage(file, LoaderRules{offers, missing, {}});
    std::variant<PeImage, std::string> result;
    if (auto* refusal = std::get_if<PeRefusal>(&loaded)) {
        result = std::move(refusal->reason);
    } else {
        result = std::move(std::get<PeImage>(loaded));
    }
    return result;
}

std::optional<std::string> DescribeProcessor(std::string_view text) {
    const Bytes file(reinterpret_cast<const uint8_t*>(text.data()), text.size(), "");
    if (text.size() < 0x40) {
        return std::nullopt;
    }
    const uint32_t pe = file.U32(0x3C);
    const uint64_t optional = static_cast<uint64_t>(pe) + 24;
    if (optional + 2 > text.size() || file.U32(pe) != 0x00004550) {
        return std::nullopt;
    }
    const uint16_t machine = file.U16(static_cast<uint64_t>(pe) + 4);
    return ProcessorName(machine) + " (machine " + Hex(machine, 4) + ")" +
           (file.U16(optional) == kMagicPe32Plus ? kPe32PlusNote : "");
}

}  // namespace sim
