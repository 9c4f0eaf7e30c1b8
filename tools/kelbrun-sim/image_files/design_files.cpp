#include "tools/kelbrun-sim/image_files/design_files.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "platform/sim/host_file.h"

namespace imagefiles {

std::optional<std::string> HostFiles::Read(const std::filesystem::path& file) const {
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) {
        return std::nullopt;
    }
    return sim::ReadHostFile(file);
}

bool HostFiles::IsFolder(const std::filesystem::path& path) const {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

std::vector<std::string> HostFiles::List(const std::filesystem::path& folder) const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

const HostFiles& TheHostFiles() {
    static const HostFiles files;
    return files;
}

namespace {

std::filesystem::path Normal(const std::filesystem::path& path) {
    std::filesystem::path normal = path.lexically_normal();
    if (normal.has_filename() || normal == normal.root_path()) {
        return normal;
    }
    return normal.parent_path();  // "a/b/" names the folder a/b
}

}  // namespace

void MemoryFiles::Add(const std::filesystem::path& file, std::string bytes) {
    const std::filesystem::path normal = Normal(file);
    files_[normal] = std::move(bytes);
    std::filesystem::path child = normal;
    for (std::filesystem::path folder = normal.parent_path(); child != folder;
         child = folder, folder = folder.parent_path()) {
        std::vector<std::string>& entries = folders_[folder];
        const std::string name = child.filename().string();
        if (std::find(entries.begin(), entries.end(), name) == entries.end()) {
            entries.push_back(name);
        }
    }
}

std::optional<std::string> MemoryFiles::Read(const std::filesystem::path& file) const {
    const auto found = files_.find(Normal(file));
    return found == files_.end() ? std::nullopt : std::optional<std::string>(found->second);
}

bool MemoryFiles::IsFolder(const std::filesystem::path& path) const {
    return folders_.count(Normal(path)) != 0;
}

std::vector<std::string> MemoryFiles::List(const std::filesystem::path& folder) const {
    const auto found = folders_.find(Normal(folder));
    return found == folders_.end() ? std::vector<std::string>() : found->second;
}

}  // namespace imagefiles
