// The simulated device's file system: a host folder stands for the device's root folder, and
// the OS image's files stand behind it, as the ROM's files stand behind RAM files on a unit.
#ifndef KELBRUN_PLATFORM_SIM_FILE_SYSTEM_H
#define KELBRUN_PLATFORM_SIM_FILE_SYSTEM_H

#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct FoundEntry {
    // The host file or folder that holds it; empty for one of the image's whose bytes are not
    // known, and for the image's folders.
    std::filesystem::path hostPath;
    std::u16string name;
    bool isFolder = false;
    bool fromImage = false;  // the image's, not the root folder's
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

    // Without a root and without an image no file exists.
    void SetRoot(std::optional<std::filesystem::path> root);

    // The OS image's files: those of its ROM, all in \Windows, and the folders and copies the
    // object store makes at cold boot. A file or folder under the root of the same path shadows
    // one of these, as a RAM file shadows the ROM file on a unit. Once any is added, \Windows is
    // there. Each gives an error message, and adds nothing, for a path with wildcards, "." or
    // "..", or one that needs a folder where the image has a file or the other way round; a
    // later file of the same path replaces an earlier one.
    std::optional<std::string> AddImageFolder(std::u16string_view devicePath);
    std::optional<std::string> AddImageFile(std::u16string_view devicePath,
                                            std::optional<std::filesystem::path> content);
    bool HasRoot() const {
        return root_.has_value();
    }
    bool HasImage() const {
        return !image_.empty();
    }

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

    // The entries of the folder at devicePath at device time nowMs, sorted by name: the root
    // folder's, and the image's that no entry of the root's names. Empty when it is no folder.
    std::vector<FoundEntry> List(std::u16string_view devicePath,
                                 uint32_t nowMs = kEverythingMounted) const;

    // Matches one name against a pattern of "*" and "?", without regard to case.
    static bool NameMatches(std::u16string_view pattern, std::u16string_view name);

  private:
    struct ImageEntry {
        std::u16string name;  // as the image spells it
        bool isFolder = false;
        std::optional<std::filesystem::path> content;
    };

    // A folder reached below the root: the root folder's, and the image's of the same path by
    // its key, either of which may be missing.
    struct Place {
        std::optional<std::filesystem::path> host;
        std::optional<std::u16string> image;
    };

    bool Mounted(const std::filesystem::path& hostPath, uint32_t nowMs) const;
    // The folder the first count parts of a path reach, or nothing when they reach none.
    std::optional<Place> Walk(const std::vector<std::u16string>& parts, size_t count,
                              uint32_t nowMs) const;
    std::optional<FoundEntry> FindInFolder(const std::filesystem::path& folder,
                                           std::u16string_view pattern, uint32_t nowMs) const;
    // The image's entry in the folder of that folded key ("" for the root folder), or nothing.
    std::optional<FoundEntry> FindInImage(const std::u16string& folder, std::u16string_view pattern,
                                          std::u16string* key) const;
    std::optional<std::string> AddImageEntry(std::u16string_view devicePath, bool isFolder,
                                             std::optional<std::filesystem::path> content);

    std::optional<std::filesystem::path> root_;
    std::vector<Mount> mounts_;
    // By folded path below the root, "WINDOWS\\NAV.EXE"; the map's order lists a folder's
    // entries in a repeatable order.
    std::map<std::u16string, ImageEntry> image_;
};

}  // namespace sim

#endif  // KELBRUN_PLATFORM_SIM_FILE_SYSTEM_H
