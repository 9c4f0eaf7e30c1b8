// COREDLL's exports as a unit's COREDLL has them: the name and ordinal of each function a
// device program may import, and the OS image component without which the export is absent.
// Made from platform/coredll.exports, the table the device build's imports come from too.
#ifndef KELBRUN_PLATFORM_SIM_EMULATOR_COREDLL_EXPORTS_H
#define KELBRUN_PLATFORM_SIM_EMULATOR_COREDLL_EXPORTS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

struct CoredllExport {
    const char* name;
    uint16_t ordinal;
    const char* component;  // "always" where no component gates the export
};

extern const CoredllExport kCoredllExports[];
extern const size_t kCoredllExportCount;

// The export of that exact name (COREDLL's names are matched case-sensitively), or nullptr.
const CoredllExport* FindCoredllExport(std::string_view name);
const CoredllExport* FindCoredllExport(uint32_t ordinal);

// The line a unit's loader prints, in any build of the kernel, before it refuses a program that
// imports something COREDLL does not export, with the number it shows (for an import by name,
// where its hint/name entry lies) and COREDLL's name as the unit keeps it (in lower case). The
// loader prints a second line after it, kLoaderMissingAdvice, and stops at the first such
// import.
std::string LoaderMissingLine(uint32_t shownNumber);
inline constexpr char kLoaderMissingAdvice[] = "!!! Please Check your SYSGEN variable !!!";

}  // namespace sim

#endif  // KELBRUN_PLATFORM_SIM_EMULATOR_COREDLL_EXPORTS_H
