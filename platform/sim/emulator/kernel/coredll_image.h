// A unit's own COREDLL.dll as the kernel loads it into every process: a Windows CE ARM DLL,
// placed at its preferred base when that lies in the shared DLL area (relocated to the usual
// one otherwise), with its export table by ordinal. The simulated kernel starts a process at
// its ordinal 14, MainThreadBaseFunc, and binds the program's imports to its exports.
#ifndef KELBRUN_PLATFORM_SIM_EMULATOR_KERNEL_COREDLL_IMAGE_H
#define KELBRUN_PLATFORM_SIM_EMULATOR_KERNEL_COREDLL_IMAGE_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/sim/emulator/pe_image.h"

namespace sim {

// Where the kernel starts every process: MainThreadBaseFunc.
inline constexpr uint32_t kMainThreadOrdinal = 14;
// Where COREDLL lands when its own base is outside the DLL area: the reference image's base.
inline constexpr uint32_t kCoredllUsualBase = 0x10000000;
// The DLL area: above the process slots, below the kernel's trap addresses.
inline constexpr uint32_t kDllAreaBegin = 0x02000000;
inline constexpr uint32_t kDllAreaEnd = 0xF0000000;

struct DllExport {
    uint32_t ordinal = 0;
    uint32_t rva = 0;  // with bit 0 set for a Thumb function
    std::string name;  // empty for an export by ordinal only
};

struct DllImage {
    uint32_t base = 0;      // where it is placed
    uint32_t fileBase = 0;  // where it asked to be
    uint32_t entryRva = 0;  // its DllMain; MainThreadBaseFunc calls it, the kernel does not
    uint32_t headersSize = 0;
    std::vector<uint8_t> memory;  // laid out and relocated, whole pages
    std::vector<PeSection> sections;
    std::vector<DllExport> exports;
    // The image's \Windows\wince.nls, when it was found beside the DLL: the locale data the
    // kernel maps for COREDLL. Empty when the kernel is to give its own.
    std::vector<uint8_t> localeData;

    // The address of the export with that ordinal (bit 0 set for Thumb), or 0 if none.
    uint32_t ExportAddress(uint32_t ordinal) const;
    // "ShellExecuteEx+0x1C4": the export at or below the address (by name, else by ordinal), or
    // the offset from the base when none is.
    std::string NearestExport(uint32_t address) const;
};

// Reads a COREDLL from its file's bytes; gives the loaded image or why it cannot be one (a
// sentence, without the file's name).
std::variant<DllImage, std::string> ReadCoredllImage(std::string_view file);

// Where the program's import leads in the DLL: the export of its ordinal, or of its name for an
// import by name; 0 when the DLL has none.
uint32_t BoundAddress(const DllImage& dll, const PeImport& import);

// The line the unit's loader prints before it refuses the program because the DLL lacks one of
// its COREDLL imports (the first, as the loader stops there); nothing when it has them all.
std::optional<std::string> MissingImportLine(const PeImage& program, const DllImage& dll);

}  // namespace sim

#endif  // KELBRUN_PLATFORM_SIM_EMULATOR_KERNEL_COREDLL_IMAGE_H
