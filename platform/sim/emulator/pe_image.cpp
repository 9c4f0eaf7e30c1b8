#include "platform/sim/emulator/pe_image.h"

#include <algorithm>
#include <cstdio>

#include "platform/sim/emulator/coredll_exports.h"

namespace sim {
namespace {

constexpr uint16_t kMachineArm = 0x01C0;
constexpr uint16_t kMachineArmv4i = 0x01C2;
constexpr uint16_t kSubsystemWindowsCeGui = 9;
constexpr uint16_t kFlagRelocsStripped = 0x0001;
constexpr uint16_t kFlagDll = 0x2000;
constexpr uint64_t kOptionalHeaderSize = 224;
constexpr uint64_t kImportDirectory = 1;
constexpr uint64_t kRelocationDirectory = 5;
constexpr uint64_t kComDirectory = 14;
constexpr uint32_t kLowestFixedBase = 0x10000;
constexpr uint32_t kHighestFixedBase = 0x400000;
constexpr uint32_t kScnDiscardable = 0x02000000;
constexpr uint32_t kScnExecute = 0x20000000;
constexpr uint32_t kScnRead = 0x40000000;
constexpr uint32_t kScnWrite = 0x80000000;
constexpr uint32_t kImportByOrdinal = 0x80000000;
// What a program built for Windows CE before 2.02 gets, whatever it asks for.
constexpr uint32_t kOldStackReserve = 0x10000;
constexpr uint32_t kSmallestStackReserve = 0x4000;
constexpr uint32_t kLargestStackReserve = 0x100000;
constexpr size_t kLongestImportName = 256;
constexpr size_t kLongestDllName = 31;

struct Refusal {
    std::string reason;
};

[[noreturn]] void Refuse(std::string reason) {
    throw Refusal{std::move(reason)};
}

std::string Hex(uint32_t value, int digits = 8) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%0*X", digits, value);
    return text;
}

uint32_t RoundUp(uint64_t value, uint32_t unit) {
    return static_cast<uint32_t>((value + unit - 1) / unit * unit);
}

// Little-endian reads from a byte range, refusing any read past its end.
class Bytes {
  public:
    Bytes(const uint8_t* data, size_t size, const char* cut)
        : data_(data), size_(size), cut_(cut) {}

    uint8_t U8(uint64_t at) const {
        Need(at, 1);
        return data_[at];
    }
    uint16_t U16(uint64_t at) const {
        Need(at, 2);
        return static_cast<uint16_t>(data_[at] | data_[at + 1] << 8);
    }
    uint32_t U32(uint64_t at) const {
        Need(at, 4);
        return static_cast<uint32_t>(data_[at]) | static_cast<uint32_t>(data_[at + 1]) << 8 |
               static_cast<uint32_t>(data_[at + 2]) << 16 |
               static_cast<uint32_t>(data_[at + 3]) << 24;
    }
    // A NUL-terminated name of at most limit characters.
    std::string Name(uint64_t at, size_t limit) const {
        std::string name;
        for (;; ++at) {
            Need(at, 1);
            if (data_[at] == 0) {
                return name;
            }
            if (name.size() == limit) {
                Refuse("a name in the import table is longer than " + std::to_string(limit) +
                       " characters");
            }
            name += static_cast<char>(data_[at]);
        }
    }
    size_t Size() const {
        return size_;
    }

  private:
    void Need(uint64_t at, uint64_t count) const {
        if (at + count > size_) {
            Refuse(cut_);
        }
    }
    const uint8_t* data_;
    size_t size_;
    const char* cut_;
};

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

void ReadImports(PeImage& image, uint32_t directoryRva, OffersFunction offers,
                 MissingImports missing) {
    if (directoryRva == 0) {
        return;
    }
    const Bytes memory(image.memory.data(), image.memory.size(),
                       "the import table lies outside the image");
    std::string lacking;
    // As on the unit, a descriptor without a lookup table ends the list: the slots name
    // nothing, and whatever follows stays unbound.
    for (uint64_t descriptor = directoryRva; memory.U32(descriptor) != 0; descriptor += 20) {
        const uint32_t lookupRva = memory.U32(descriptor);
        const uint32_t nameRva = memory.U32(descriptor + 12);
        const uint32_t slotsRva = memory.U32(descriptor + 16);
        // The unit reads at most this much of the module's name.
        const std::string dll = memory.Name(nameRva, kLongestImportName).substr(0, kLongestDllName);
        for (uint64_t i = 0;; ++i) {
            const uint32_t entry = memory.U32(lookupRva + 4 * i);
            if (entry == 0) {
                break;
            }
            PeImport import;
            import.dll = dll;
            if ((entry & kImportByOrdinal) != 0) {
                import.ordinal = entry & ~kImportByOrdinal;
                const CoredllExport* known =
                    IsCoredll(dll) ? FindCoredllExport(import.ordinal) : nullptr;
                if (known != nullptr) {
                    import.name = known->name;
                }
            } else {
                // The hint only speeds the unit's search; what binds is the exact name.
                import.hintNameRva = entry;
                import.name = memory.Name(static_cast<uint64_t>(entry) + 2, kLongestImportName);
            }
            import.offered = IsCoredll(dll) && !import.name.empty() && offers(import.name);
            import.slotRva = static_cast<uint32_t>(slotsRva + 4 * i);
            // The unit binds a slot only inside a section it loaded; anywhere else the write
            // fails and the program is refused.
            if (!InSection(image, import.slotRva)) {
                Refuse("the import address table slot for " + DescribeImport(import) + " at " +
                       Hex(import.slotRva) + " is not in a section of the image");
            }
            if (!import.offered) {
                lacking += (lacking.empty() ? "" : ", ") + DescribeImport(import);
            }
            image.imports.push_back(import);
        }
    }
    if (!lacking.empty() && missing == MissingImports::kRefuse) {
        Refuse("imports what the simulated device does not offer: " + lacking);
    }
}

PeImage Read(std::string_view text, OffersFunction offers, MissingImports missing) {
    const Bytes file(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                     "the file is truncated: its headers end early");
    // The unit's loader takes the PE header's offset from 0x3C without looking for MZ first.
    if (text.size() < 0x40) {
        Refuse("not a Windows executable (too short for an MZ header)");
    }
    const uint32_t pe = file.U32(0x3C);
    if (static_cast<uint64_t>(pe) + 4 > text.size() || file.U32(pe) != 0x00004550) {
        Refuse("not a Windows executable (no PE signature where offset 0x3C points)");
    }
    const uint64_t coff = static_cast<uint64_t>(pe) + 4;
    const uint64_t optional = coff + 20;
    // The unit's loader reads a whole 224-byte optional header, whatever size the file gives it.
    file.U8(optional + kOptionalHeaderSize - 1);
    PeImage image;
    image.machine = file.U16(coff);
    const uint16_t sectionCount = file.U16(coff + 2);
    const uint16_t flags = file.U16(coff + 18);
    // Nor does it look at the optional header's magic: it reads the fields where a PE32 header
    // has them, whatever the header is.
    const uint32_t entryRva = file.U32(optional + 16);
    image.fileBase = file.U32(optional + 28);
    const uint32_t sectionAlignment = file.U32(optional + 32);
    const uint32_t fileAlignment = file.U32(optional + 36);
    const uint16_t subsystemMajor = file.U16(optional + 48);
    const uint16_t subsystemMinor = file.U16(optional + 50);
    const uint32_t imageSize = file.U32(optional + 56);
    const uint32_t headersSize = file.U32(optional + 60);
    const uint16_t subsystem = file.U16(optional + 68);
    const uint32_t stackReserve = file.U32(optional + 72);
    const uint32_t importRva = file.U32(optional + 96 + 8 * kImportDirectory);
    const uint32_t importSize = file.U32(optional + 96 + 8 * kImportDirectory + 4);
    const uint32_t relocationSize = file.U32(optional + 96 + 8 * kRelocationDirectory + 4);
    const uint32_t comRva = file.U32(optional + 96 + 8 * kComDirectory);

    // A managed program: the unit starts mscoree.dll's _CorExeMain in its place, whatever
    // processor the image names. The simulated device has no .NET Compact Framework.
    if (comRva != 0) {
        Refuse(
            "a .NET Compact Framework program (it has a COM descriptor); the simulated "
            "device has no mscoree.dll to start it");
    }
    if (image.machine != kMachineArm && image.machine != kMachineArmv4i) {
        Refuse("built for machine " + Hex(image.machine, 4) +
               ", not ARM (0x01C0) or ARMV4I (0x01C2)");
    }
    // Only a Windows CE subsystem's version counts: the unit takes any other for 1.00.
    image.subsystemMajor = subsystem == kSubsystemWindowsCeGui ? subsystemMajor : 1;
    image.subsystemMinor = subsystem == kSubsystemWindowsCeGui ? subsystemMinor : 0;
    // A program outside the image's MODULES keeps its own reserve from Windows CE 2.02 on.
    const bool before202 =
        image.subsystemMajor < 2 || (image.subsystemMajor == 2 && image.subsystemMinor < 2);
    image.stackReserve = StackReserve(before202 ? kOldStackReserve : stackReserve);
    if (image.subsystemMajor > 5 || (image.subsystemMajor == 5 && image.subsystemMinor > 0)) {
        Refuse("asks for Windows CE " + std::to_string(image.subsystemMajor) + "." +
               std::to_string(image.subsystemMinor) + " or later; the device runs 5.00");
    }
    if ((flags & kFlagDll) != 0) {
        Refuse("a DLL, not a program");
    }
    image.relocationsStripped = (flags & kFlagRelocsStripped) != 0;
    if (image.relocationsStripped) {
        if (image.fileBase < kLowestFixedBase || image.fileBase > kHighestFixedBase) {
            Refuse("image base " + Hex(image.fileBase) + " without relocations: the device " +
                   "places such a program at its base only from " + Hex(kLowestFixedBase) + " to " +
                   Hex(kHighestFixedBase));
        }
        image.base = image.fileBase;
    } else {
        // The unit places a program that can be relocated at 0x10000 and applies its fixups.
        image.base = kProgramBase;
        if (image.fileBase != kProgramBase && relocationSize != 0) {
            Refuse("image base " + Hex(image.fileBase) + ": the device moves the program to " +
                   Hex(kProgramBase) + " and applies its relocations, which is not simulated");
        }
    }
    if (sectionAlignment % kPageSize != 0 || sectionAlignment == 0 ||
        (sectionAlignment & (sectionAlignment - 1)) != 0) {
        Refuse("section alignment " + Hex(sectionAlignment) +
               " is not a power of two of whole pages");
    }
    if (fileAlignment < 0x200 || fileAlignment > sectionAlignment ||
        (fileAlignment & (fileAlignment - 1)) != 0) {
        Refuse("file alignment " + Hex(fileAlignment) +
               " is not a power of two from 0x200 to the section alignment");
    }
    if (imageSize == 0 || imageSize > kProgramLimit - image.base) {
        Refuse("an image of " + std::to_string(imageSize) + " bytes at " + Hex(image.base) +
               " does not fit in a process slot");
    }
    const uint64_t table = optional + kOptionalHeaderSize;
    if (sectionCount == 0 || sectionCount > 96) {
        Refuse("a section count of " + std::to_string(sectionCount) + " is not between 1 and 96");
    }
    if (headersSize == 0 || headersSize > imageSize || headersSize > text.size() ||
        table + 40ull * sectionCount > headersSize) {
        Refuse("the headers' size " + Hex(headersSize) +
               " does not hold the section table, or does not fit in the file or the image");
    }
    image.headersSize = RoundUp(headersSize, kPageSize);
    image.memory.assign(RoundUp(imageSize, kPageSize), 0);
    std::copy_n(text.begin(), headersSize, image.memory.begin());

    uint32_t nextFree = image.headersSize;  // sections must follow one another, page by page
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint64_t at = table + 40ull * i;
        PeSection section;
        section.name = SectionName(file, at);
        const uint32_t virtualSize = file.U32(at + 8);
        section.rva = file.U32(at + 12);
        const uint32_t rawSize = file.U32(at + 16);
        const uint32_t rawAt = file.U32(at + 20);
        const uint32_t characteristics = file.U32(at + 36);
        const uint32_t size = virtualSize != 0 ? virtualSize : rawSize;
        const std::string what = "section " + section.name;
        if (section.rva % sectionAlignment != 0 || section.rva < nextFree || size == 0 ||
            static_cast<uint64_t>(section.rva) + size > imageSize) {
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
    // The unit starts the program at base + entry wherever that lies; what is there runs.
    image.entryRva = entryRva;
    if (importSize != 0) {
        ReadImports(image, importRva, offers, missing);
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

std::variant<PeImage, std::string> ReadPeImage(std::string_view file, OffersFunction offers,
                                               MissingImports missing) {
    try {
        return Read(file, offers, missing);
    } catch (const Refusal& refusal) {
        return refusal.reason;
    }
}

}  // namespace sim
