// The host files that describe a simulated device (registry files, device executables), read
// whole.
#ifndef KELBRUN_PLATFORM_SIM_HOST_FILE_H
#define KELBRUN_PLATFORM_SIM_HOST_FILE_H

#include <filesystem>
#include <optional>
#include <string>

namespace sim {

// The file's bytes, or nothing when it cannot be opened or read to its end.
std::optional<std::string> ReadHostFile(const std::filesystem::path& file);

}  // namespace sim

#endif  // KELBRUN_PLATFORM_SIM_HOST_FILE_H
