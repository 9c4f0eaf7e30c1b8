// Writes a simulated registry back out as a registry editor export, the form that the registry
// editor imports (regedit /S), so that another registry can be given exactly what a dry run
// read from any number of files of either kind.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_REG_EXPORT_H
#define KELBRUN_TOOLS_KELBRUN_SIM_REG_EXPORT_H

#include <filesystem>
#include <optional>
#include <string>

#include "platform/sim/registry.h"

namespace regfile {

// A "Windows Registry Editor Version 5.00" export of every key and value, as the registry
// editor writes one: UTF-16LE after a byte-order mark, lines ending in \r\n, hex data wrapped
// at 80 columns. Texts that read back as they are become "quoted strings" and four-byte
// dwords dword:; every other value is hex: (binary) or hex(TYPE): with its bytes as they are,
// so that reading the export back gives the same registry.
std::string ExportText(const sim::Registry& registry);

// Writes ExportText to the file; gives an error message when it cannot, and then leaves no
// file behind.
std::optional<std::string> SaveExport(const sim::Registry& registry,
                                      const std::filesystem::path& file);

}  // namespace regfile

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_REG_EXPORT_H
