// Reads .reg files into a simulated registry: exports of the Windows registry editor, and the
// image builder's registry files (common.reg, platform.reg, project.reg and the like).
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_REG_FILE_H
#define KELBRUN_TOOLS_KELBRUN_SIM_REG_FILE_H

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sim/registry.h"
#include "tools/kelbrun-sim/image_conditions.h"

namespace regfile {

struct Error {
    int line = 0;  // 1-based; 0 when the file could not be read at all
    std::string message;
};

// Applies a file, given as its bytes, to registry: a later value replaces an earlier one and a
// deletion removes what came before, as the image builder merges its files. The file tells
// which kind it is. A first line "Windows Registry Editor Version 5.00" makes it an export of
// the registry editor, as does "REGEDIT4" unless the file has an IF or ENDIF line or a
// multi_sz: value; any other file is an image-builder file, whose IF blocks the variables
// decide. Either is read as UTF-8 or as UTF-16LE with a byte-order mark. On an error the
// registry is left exactly as it was.
std::optional<Error> Apply(std::string_view bytes, sim::Registry& registry,
                           const Variables& variables);
// With no build variables set.
std::optional<Error> Apply(std::string_view bytes, sim::Registry& registry);

// Reads the file and applies it; an unreadable file is an error of line 0.
std::optional<Error> Load(const std::filesystem::path& file, sim::Registry& registry,
                          const Variables& variables);

}  // namespace regfile

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_REG_FILE_H
