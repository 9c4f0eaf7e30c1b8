// Reads registry exports (.reg files) of the Windows registry editor into a simulated registry.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_REG_FILE_H
#define KELBRUN_TOOLS_KELBRUN_SIM_REG_FILE_H

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sim/registry.h"

namespace regfile {

struct Error {
    int line = 0;  // 1-based; 0 when the file could not be read at all
    std::string message;
};

// Applies an export, given as the file's bytes, to registry. Both "REGEDIT4" and "Windows
// Registry Editor Version 5.00" exports are read, as UTF-8 or as UTF-16LE with a byte-order
// mark. On an error the registry is left exactly as it was.
std::optional<Error> Apply(std::string_view bytes, sim::Registry& registry);

// Reads the file and applies it; an unreadable file is an error of line 0.
std::optional<Error> Load(const std::filesystem::path& file, sim::Registry& registry);

}  // namespace regfile

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_REG_FILE_H
