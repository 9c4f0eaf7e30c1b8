// The host files that the Windows paths of an OS design's files name: an #include's file, a
// .bib line's host path.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_HOST_PATHS_H
#define KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_HOST_PATHS_H

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/kelbrun-sim/image_files/design_files.h"

namespace imagefiles {

// --map 'C:\WINCE500=/srv/wince500': the host folder that holds what a Windows path names
// under the prefix.
struct PathMap {
    std::u16string windowsPrefix;
    std::filesystem::path hostFolder;
};

// The host file that a Windows path names: under the --map folder of its prefix, or, for a
// relative path, under base; each part matched without regard to case, as Windows does.
// Gives nothing, with why, when there is none.
std::optional<std::filesystem::path> ResolveWindowsPath(std::u16string_view windowsPath,
                                                        const std::filesystem::path& base,
                                                        const std::vector<PathMap>& maps,
                                                        const DesignFiles& files, std::string& why);

}  // namespace imagefiles

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_HOST_PATHS_H
