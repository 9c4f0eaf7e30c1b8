// The simulated device's file system: a host folder stands for the device's root folder.
#ifndef KELBRUN_PLATFORM_SIM_FILE_SYSTEM_H
#define KELBRUN_PLATFORM_SIM_FILE_SYSTEM_H

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct FoundEntry {
    std::filesystem::path hostPath;
    std::u16string name;
    bool isFolder = false;
};

// A folder that appears only some time after start-up, as a storage card does once its drivers
// have loaded. Until then neither it nor anything under it exists.
struct Mount {
    std::u16string folder;  // the device path it was given as
    std::filesystem::path hostPath;
    uint32_t atMs = 0;
};

class FileSystem {
  public:
    // A device time by which every mount has happened.
    static constexpr uint32_t kEverythingMounted = std::numeric_limits<uint32_t>::max();

    // Without a root no file exists.
    void SetRoot(std::optional<std::filesystem::path> root);

    // Makes the folder at devicePath, and all under it, absent until atMs of device time.
    // Gives an error message, and adds nothing, when devicePath names no folder under the root
    // or one that already has a mount.
    std::optional<std::string> AddMount(std::u16string_view devicePath, uint32_t atMs);
    const std::vector<Mount>& Mounts() const {
        return mounts_;
    }

    // The first entry that a directory search for devicePath finds at device time nowMs.
    // Components are matched without regard to case, as on the device's FAT volumes; "*" and
    // "?" match in the last component only. "." and ".." are followed, but never above the
    // root, and links on the host are never followed, so no device path reaches outside the
    // root folder. A folder not yet mounted is not there, for any component of the path.
    std::optional<FoundEntry> Find(std::u16string_view devicePath,
                                   uint32_t nowMs = kEverythingMounted) const;

    // Matches one name against a pattern of "*" and "?", without regard to case.
    static bool NameMatches(std::u16string_view pattern, std::u16string_view name);

  private:
    bool Mounted(const std::filesystem::path& hostPath, uint32_t nowMs) const;
    std::optional<FoundEntry> FindInFolder(const std::filesystem::path& folder,
                                           std::u16string_view pattern, uint32_t nowMs) const;

    std::optional<std::filesystem::path> root_;
    std::vector<Mount> mounts_;
};

}  // namespace sim

#endif  // KELBRUN_PLATFORM_SIM_FILE_SYSTEM_H
