// The simulated device's program loader: reads a Windows CE executable (PE32 for ARM) and
// checks it as the device's loader would before anything of it runs.
#ifndef KELBRUN_PLATFORM_SIM_EMULATOR_PE_IMAGE_H
#define KELBRUN_PLATFORM_SIM_EMULATOR_PE_IMAGE_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace sim {

// Where a program that can be relocated is placed: Windows CE gives each process its own slot
// and loads such a program at the same address in it. One without relocations is placed at its
// own base.
inline constexpr uint32_t kProgramBase = 0x10000;
// Programs must end below this address; the simulated COREDLL and the stack live above it.
inline constexpr uint32_t kProgramLimit = 0x00E00000;
inline constexpr uint32_t kPageSize = 0x1000;

struct PeSection {
    std::string name;
    uint32_t rva = 0;
    uint32_t size = 0;  // in memory, rounded up to whole pages
    bool read = false;
    bool write = false;
    bool execute = false;
    bool discardable = false;
};

// One imported function, and the import-address-table slot the loader fills.
struct PeImport {
    std::string dll;       // as the import directory names it
    std::string name;      // by name, or for an ordinal the name COREDLL exports it under if known
    uint32_t ordinal = 0;  // nonzero when imported by ordinal
    uint32_t hintNameRva = 0;  // for an import by name: what the unit prints for it if missing
    uint32_t slotRva = 0;
    bool offered = false;  // whether the simulated device has the function to bind
};

struct PeImage {
    uint16_t machine = 0;
    uint32_t base = 0;      // where the unit places it
    uint32_t fileBase = 0;  // the base the file asks for
    bool relocationsStripped = false;
    uint16_t subsystemMajor = 0;  // the Windows CE version it asks for, as the unit reads it
    uint16_t subsystemMinor = 0;
    uint32_t entryRva = 0;
    uint32_t stackReserve = 0;
    uint32_t headersSize = 0;  // in memory, rounded up to whole pages
    // The image as it lies in memory once loaded: headers and sections at their addresses, the
    // rest zero. Its size is the image's size rounded up to whole pages.
    std::vector<uint8_t> memory;
    std::vector<PeSection> sections;
    std::vector<PeImport> imports;
};

// Whether the simulated COREDLL offers a function of this name.
typedef bool (*OffersFunction)(std::string_view name);

enum class MissingImports {
    kRefuse,  // refuse the image, naming every import the simulated device lacks
    kKeep,    // keep them, marked not offered, to describe the image without running it
};

// Reads an executable from its file's bytes. Gives the loaded image, or why the device's loader
// would refuse to start it.
std::variant<PeImage, std::string> ReadPeImage(std::string_view file, OffersFunction offers,
                                               MissingImports missing = MissingImports::kRefuse);

// Why a program is not loaded: the error a unit's CreateProcessW sets for it, in the order its
// loader checks, and what that loader prints on the debug output before it gives up.
struct PeRefusal {
    // 0 when a unit would start the program and only the simulator cannot run it.
    uint32_t error = 0;
    std::string reason;
    std::vector<std::string> loaderLines;
};

struct LoaderRules {
    OffersFunction offers = nullptr;
    MissingImports missing = MissingImports::kRefuse;
    // Whether the device holds a DLL other than COREDLL. Without it, such a module's functions
    // are imports the simulated device does not offer; with it, a module it does not hold
    // refuses the program as a unit's loader does (126), and one it holds is taken as binding.
    std::function<bool(std::string_view dll)> holdsModule;
};

// ReadPeImage with the unit's error codes and the loader's own lines.
std::variant<PeImage, PeRefusal> LoadPeImage(std::string_view file, const LoaderRules& rules);

// The processor a PE file is built for, as its header names it ("ARM Thumb (machine 0x01C2)",
// "x86-64 (machine 0x8664), a PE32+ image"), or nothing when the file is no PE image.
std::optional<std::string> DescribeProcessor(std::string_view file);

// A name from a file as it can be shown on one line: bytes outside printable ASCII, and the
// backslash, as \xNN.
std::string Printable(std::string_view name);

// How an import is named to a user: "COREDLL.dll's ordinal 455 (RegCloseKey)",
// "COREDLL.dll's ordinal 999", "COREDLL's Sleep".
std::string DescribeImport(const PeImport& import);

}  // namespace sim

#endif  // KELBRUN_PLATFORM_SIM_EMULATOR_PE_IMAGE_H
