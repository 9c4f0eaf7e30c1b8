#include "platform/sim/emulator/pe_image.h"

#include <algorithm>
#include <cstdio>

#include "platform/sim/emulator/coredll_exports.h"

namespace sim {
namespace {

constexpr uint16_t kMachineArm = 0x01C0;
constexpr uint16_t kMachineArmv4i = 0x01C2;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kSubsystemWindowsCeGui = 9;
constexpr uint16_t kFlagExecutable = 0x0002;
constexpr uint16_t kFlagDll = 0x2000;
constexpr uint32_t kScnExecute = 0x20000000;
constexpr uint32_t kScnRead = 0x40000000;
constexpr uint32_t kScnWrite = 0x80000000;
constexpr uint32_t kImportByOrdinal = 0x80000000;
constexpr uint32_t kDefaultStackReserve = 0x10000;
// The largest stack the simulated process slot has room for.
constexpr uint32_t kLargestStackReserve = 0x00F00000;
constexpr size_t kLongestImportName = 256;

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
    for (uint64_t descriptor = directoryRva;; descriptor += 20) {
        const uint32_t lookupRva = memory.U32(descriptor);
        const uint32_t nameRva = memory.U32(descriptor + 12);
        const uint32_t slotsRva = memory.U32(descriptor + 16);
        if (lookupRva == 0 && nameRva == 0 && slotsRva == 0) {
            break;
        }
        const std::string dll = memory.Name(nameRva, kLongestImportName);
        // Without a lookup table the slots themselves name the functions.
        const uint32_t namesRva = lookupRva != 0 ? lookupRva : slotsRva;
        for (uint64_t i = 0;; ++i) {
            const uint32_t entry = memory.U32(namesRva + 4 * i);
            if (entry == 0) {
                break;
            }
            PeImport import;
            import.dll = dll;
            if ((entry & kImportByOrdinal) != 0) {
                import.ordinal = static_cast<uint16_t>(entry);
                const CoredllExport* known =
                    IsCoredll(dll) ? FindCoredllExport(import.ordinal) : nullptr;
                if (known != nullptr) {
                    import.name = known->name;
                }
            } else {
                // The hint only speeds the unit's search; what binds is the exact name.
                import.name = memory.Name(static_cast<uint64_t>(entry) + 2, kLongestImportName);
            }
            import.offered = IsCoredll(dll) && !import.name.empty() && offers(import.name);
            // Checked here, so that binding the slot later cannot write outside the image.
            memory.U32(slotsRva + 4 * i);
            import.slotRva = static_cast<uint32_t>(slotsRva + 4 * i);
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
    if (text.size() < 2 || text[0] != 'M' || text[1] != 'Z') {
        Refuse("not a Windows executable (it does not start with MZ)");
    }
    const uint32_t pe = file.U32(0x3C);
    if (file.U32(pe) != 0x00004550) {
        Refuse("not a PE image (no PE signature where the MZ header points)");
    }
    const uint64_t coff = static_cast<uint64_t>(pe) + 4;
    PeImage image;
    image.machine = file.U16(coff);
    if (image.machine != kMachineArm && image.machine != kMachineArmv4i) {
        Refuse("built for machine " + Hex(image.machine, 4) +
               ", not ARM (0x01C0) or ARMV4I (0x01C2)");
    }
    const uint16_t sectionCount = file.U16(coff + 2);
    const uint16_t optionalSize = file.U16(coff + 16);
    const uint16_t flags = file.U16(coff + 18);
    if ((flags & kFlagExecutable) == 0) {
        Refuse("not an executable image (the image's executable flag is clear)");
    }
    if ((flags & kFlagDll) != 0) {
        Refuse("a DLL, not a program");
    }
    const uint64_t optional = coff + 20;
    if (optionalSize < 96 || file.U16(optional) != kPe32Magic) {
        Refuse("not a PE32 image (its optional header is not the 32-bit one)");
    }
    const uint32_t entryRva = file.U32(optional + 16);
    image.base = file.U32(optional + 28);
    const uint32_t sectionAlignment = file.U32(optional + 32);
    const uint32_t fileAlignment = file.U32(optional + 36);
    const uint16_t subsystemMajor = file.U16(optional + 48);
    const uint16_t subsystemMinor = file.U16(optional + 50);
    const uint32_t imageSize = file.U32(optional + 56);
    const uint32_t headersSize = file.U32(optional + 60);
    const uint16_t subsystem = file.U16(optional + 68);
    image.stackReserve = file.U32(optional + 72);
    const uint32_t directoryCount = file.U32(optional + 92);

    if (subsystem != kSubsystemWindowsCeGui) {
        Refuse("subsystem " + std::to_string(subsystem) + ", not Windows CE GUI (9)");
    }
    if (subsystemMajor > 5 || (subsystemMajor == 5 && subsystemMinor > 0)) {
        Refuse("asks for Windows CE " + std::to_string(subsystemMajor) + "." +
               std::to_string(subsystemMinor) + " or later; the device runs 5.00");
    }
    if (image.base != kProgramBase) {
        Refuse("image base " + Hex(image.base) + ": the device places programs at " +
               Hex(kProgramBase) + ", and relocating an image is not simulated");
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
    if (imageSize == 0 || imageSize > kProgramLimit - kProgramBase) {
        Refuse("an image of " + std::to_string(imageSize) +
               " bytes does not fit in a process slot");
    }
    if (headersSize == 0 || headersSize > imageSize || headersSize > text.size()) {
        Refuse("the headers' size " + Hex(headersSize) + " does not fit in the file or the image");
    }
    if (image.stackReserve == 0) {
        image.stackReserve = kDefaultStackReserve;
    }
    if (image.stackReserve > kLargestStackReserve) {
        Refuse("a stack reserve of " + std::to_string(image.stackReserve) +
               " bytes does not fit in a process slot");
    }
    image.stackReserve = RoundUp(image.stackReserve, kPageSize);
    image.headersSize = RoundUp(headersSize, kPageSize);
    image.memory.assign(RoundUp(imageSize, kPageSize), 0);
    std::copy_n(text.begin(), headersSize, image.memory.begin());

    const uint64_t table = optional + optionalSize;
    if (sectionCount == 0 || sectionCount > 96) {
        Refuse("a section count of " + std::to_string(sectionCount) + " is not between 1 and 96");
    }
    if (table + 40ull * sectionCount > headersSize) {
        Refuse("the section table lies outside the headers");
    }
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
        const uint32_t stored = std::min(rawSize, RoundUp(size, fileAlignment));
        if (stored != 0 && static_cast<uint64_t>(rawAt) + stored > text.size()) {
            Refuse("the file is truncated: " + what + "'s data ends at " +
                   std::to_string(static_cast<uint64_t>(rawAt) + stored) + ", the file at " +
                   std::to_string(text.size()));
        }
        std::copy_n(text.begin() + rawAt, std::min(stored, size),
                    image.memory.begin() + section.rva);
        section.size = RoundUp(size, kPageSize);
        section.read = (characteristics & kScnRead) != 0;
        section.write = (characteristics & kScnWrite) != 0;
        section.execute = (characteristics & kScnExecute) != 0;
        nextFree = section.rva + section.size;
        image.sections.push_back(section);
    }
    const auto entrySection =
        std::find_if(image.sections.begin(), image.sections.end(), [&](const PeSection& s) {
            return s.execute && entryRva >= s.rva && entryRva < s.rva + s.size;
        });
    if (entrySection == image.sections.end()) {
        Refuse("its entry point " + Hex(entryRva) + " is not in a section of code");
    }
    image.entryRva = entryRva;
    if (directoryCount >= 2 && optionalSize >= 96 + 16) {
        ReadImports(image, file.U32(optional + 104), offers, missing);
    }
    return image;
}

}  // namespace

std::string DescribeImport(const PeImport& import) {
    if (import.ordinal == 0) {
        return import.dll + "'s " + import.name;
    }
    std::string text = import.dll + "'s ordinal " + std::to_string(import.ordinal);
    if (!import.name.empty()) {
        text += " (" + import.name + ")";
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
