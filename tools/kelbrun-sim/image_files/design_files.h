// The files an OS design is read from, behind one narrow seam: the host's own files, or a tree
// held in memory, so that a stage can be fed its files as strings, without writing any.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_DESIGN_FILES_H
#define KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_DESIGN_FILES_H

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace imagefiles {

class DesignFiles {
  public:
    virtual ~DesignFiles() = default;
    // The file's bytes, or nothing when it is no file or cannot be read to its end.
    virtual std::optional<std::string> Read(const std::filesystem::path& file) const = 0;
    virtual bool IsFolder(const std::filesystem::path& path) const = 0;
    // The names of a folder's entries, files and folders; none when it is no folder.
    virtual std::vector<std::string> List(const std::filesystem::path& folder) const = 0;
};

// The host's files, as they are.
class HostFiles : public DesignFiles {
  public:
    std::optional<std::string> Read(const std::filesystem::path& file) const override;
    bool IsFolder(const std::filesystem::path& path) const override;
    std::vector<std::string> List(const std::filesystem::path& folder) const override;
};

// The one instance a reader uses when it is given no other.
const HostFiles& TheHostFiles();

// Files held in memory under the paths they are added with; each folder on a file's path
// exists. Paths compare as written, after lexical normalisation, as on a case-sensitive host.
class MemoryFiles : public DesignFiles {
  public:
    void Add(const std::filesystem::path& file, std::string bytes);

    std::optional<std::string> Read(const std::filesystem::path& file) const override;
    bool IsFolder(const std::filesystem::path& path) const override;
    std::vector<std::string> List(const std::filesystem::path& folder) const override;

  private:
    std::map<std::filesystem::path, std::string> files_;
    std::map<std::filesystem::path, std::vector<std::string>> folders_;  // their entries
};

}  // namespace imagefiles

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_DESIGN_FILES_H
