// The simulated device's file system: a host folder stands for the device's root folder.
#ifndef KELBRUN_PLATFORM_SIM_FILE_SYSTEM_H
#define KELBRUN_PLATFORM_SIM_FILE_SYSTEM_H

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

struct FoundEntry {
    std::filesystem::path hostPath;
    std::u16string name;
    bool isFolder = false;
};

class FileSystem {
  public:
    // Without a root no file exists.
    void SetRoot(std::optional<std::filesystem::path> root);

    // The first entry that a directory search for devicePath finds. Components are matched
    // without regard to case, as on the device's FAT volumes; "*" and "?" match in the last
    // component only. "." and ".." are followed, but never above the root, and links on the
    // host are never followed, so no device path reaches outside the root folder.
    std::optional<FoundEntry> Find(std::u16string_view devicePath) const;

    // Matches one name against a pattern of "*" and "?", without regard to case.
    static bool NameMatches(std::u16string_view pattern, std::u16string_view name);

  private:
    std::optional<std::filesystem::path> root_;
};

}  // namespace sim

#endif  // KELBRUN_PLATFORM_SIM_FILE_SYSTEM_H
