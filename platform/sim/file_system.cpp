#include "platform/sim/file_system.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "platform/sim/text.h"

namespace sim {
namespace fs = std::filesystem;

namespace {

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool HasWildcard(std::u16string_view name) {
    return name.find_first_of(u"*?") != std::u16string_view::npos;
}

std::vector<std::u16string> SplitPath(std::u16string_view path) {
    std::vector<std::u16string> parts(1);
    for (char16_t c : path) {
        if (IsSeparator(c)) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

// The folder's entries, named in UTF-16 and sorted so that a search is repeatable. Names that
// are not UTF-8 on the host cannot be named from the device and are left out.
std::vector<FoundEntry> ListFolder(const fs::path& folder) {
    std::vector<FoundEntry> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        auto name = FromUtf8(it->path().filename().string());
        if (!name) {
            continue;
        }
        FoundEntry entry;
        entry.hostPath = it->path();
        entry.name = std::move(*name);
        std::error_code typeError;
        entry.isFolder = it->symlink_status(typeError).type() == fs::file_type::directory;
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const FoundEntry& a, const FoundEntry& b) { return a.name < b.name; });
    return entries;
}

}  // namespace

bool FileSystem::Mounted(const fs::path& hostPath, uint32_t nowMs) const {
    return std::none_of(mounts_.begin(), mounts_.end(), [&](const Mount& mount) {
        return mount.atMs > nowMs && mount.hostPath == hostPath;
    });
}

std::optional<FoundEntry> FileSystem::FindInFolder(const fs::path& folder,
                                                   std::u16string_view pattern,
                                                   uint32_t nowMs) const {
    // An exact spelling wins over another that differs only in case, and needs no listing.
    const std::string hostName = ToUtf8(pattern);
    if (!HasWildcard(pattern) && pattern != u"." && pattern != u".." &&
        hostName.find('\0') == std::string::npos && FromUtf8(hostName) == pattern) {
        const fs::path exact = folder / fs::path(hostName);
        std::error_code error;
        const fs::file_status status = fs::symlink_status(exact, error);
        if (!error && fs::exists(status) && Mounted(exact, nowMs)) {
            return FoundEntry{exact, std::u16string(pattern),
                              status.type() == fs::file_type::directory};
        }
    }
    std::vector<FoundEntry> entries = ListFolder(folder);
    std::erase_if(entries,
                  [&](const FoundEntry& entry) { return !Mounted(entry.hostPath, nowMs); });
    // An exact spelling wins over another that differs only in case.
    for (const FoundEntry& entry : entries) {
        if (entry.name == pattern) {
            return entry;
        }
    }
    for (const FoundEntry& entry : entries) {
        if (NameMatches(pattern, entry.name)) {
            return entry;
        }
    }
    return std::nullopt;
}

void FileSystem::SetRoot(std::optional<fs::path> root) {
    root_ = std::move(root);
}

bool FileSystem::NameMatches(std::u16string_view pattern, std::u16string_view name) {
    const std::u16string p = FoldCase(pattern);
    const std::u16string n = FoldCase(name);
    // Iterative matching with one backtrack point: linear in practice, never exponential.
    size_t pi = 0, ni = 0, star = std::u16string::npos, resume = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == u'?' || p[pi] == n[ni])) {
            ++pi, ++ni;
        } else if (pi < p.size() && p[pi] == u'*') {
            star = pi++;
            resume = ni;
        } else if (star != std::u16string::npos) {
            pi = star + 1;
            ni = ++resume;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'*') {
        ++pi;
    }
    return pi == p.size();
}

std::optional<std::string> FileSystem::AddMount(std::u16string_view devicePath, uint32_t atMs) {
    if (HasWildcard(devicePath)) {
        return "a folder to mount is named without wildcards";
    }
    const auto folder = Find(devicePath);
    if (!folder || !folder->isFolder) {
        return "not a folder under the root";
    }
    for (const Mount& mount : mounts_) {
        if (mount.hostPath == folder->hostPath) {
            return "the same folder as " + ToUtf8(mount.folder);
        }
    }
    mounts_.push_back(Mount{std::u16string(devicePath), folder->hostPath, atMs});
    return std::nullopt;
}

std::optional<FoundEntry> FileSystem::FindInImage(const std::u16string& folder,
                                                  std::u16string_view pattern,
                                                  std::u16string* key) const {
    const std::u16string prefix = folder.empty() ? folder : folder + u'\\';
    auto give = [&](const std::u16string& at, const ImageEntry& entry) {
        if (key != nullptr) {
            *key = at;
        }
        return FoundEntry{entry.content.value_or(fs::path()), entry.name, entry.isFolder, true};
    };
    if (!HasWildcard(pattern)) {
        const std::u16string at = prefix + FoldCase(pattern);
        const auto found = image_.find(at);
        return found == image_.end() ? std::nullopt : std::optional(give(at, found->second));
    }
    for (auto it = image_.lower_bound(prefix); it != image_.end() && it->first.starts_with(prefix);
         ++it) {
        if (it->first.find(u'\\', prefix.size()) == std::u16string::npos &&
            NameMatches(pattern, it->second.name)) {
            return give(it->first, it->second);
        }
    }
    return std::nullopt;
}

std::optional<std::string> FileSystem::AddImageEntry(std::u16string_view devicePath, bool isFolder,
                                                     std::optional<fs::path> content) {
    std::vector<std::u16string> parts = SplitPath(devicePath);
    std::erase_if(parts, [](const std::u16string& part) { return part.empty(); });
    if (parts.empty()) {
        return "names no file or folder below the root";
    }
    for (const std::u16string& part : parts) {
        if (part == u"." || part == u".." || HasWildcard(part)) {
            return "a path of the image is named without wildcards, \".\" or \"..\"";
        }
    }
    // Everything is checked before anything is added.
    std::vector<std::u16string> keys;
    keys.reserve(parts.size());
    for (const std::u16string& part : parts) {
        keys.push_back((keys.empty() ? u"" : keys.back() + u'\\') + FoldCase(part));
    }
    for (size_t i = 0; i < keys.size(); ++i) {
        const auto found = image_.find(keys[i]);
        const bool wantsFolder = i + 1 < keys.size() || isFolder;
        if (found != image_.end() && found->second.isFolder != wantsFolder) {
            std::u16string shown;
            for (size_t j = 0; j <= i; ++j) {
                shown += u'\\' + parts[j];
            }
            return ToUtf8(shown) + " is already " +
                   (found->second.isFolder ? "a folder" : "a file") + " of the image";
        }
    }
    // The image's files are all in \Windows, which is there whatever else the image holds.
    image_.try_emplace(u"WINDOWS", ImageEntry{u"Windows", true, std::nullopt});
    for (size_t i = 0; i + 1 < keys.size(); ++i) {
        image_.try_emplace(keys[i], ImageEntry{parts[i], true, std::nullopt});
    }
    if (!isFolder) {
        image_[keys.back()] = ImageEntry{parts.back(), false, std::move(content)};
    } else {
        image_.try_emplace(keys.back(), ImageEntry{parts.back(), true, std::nullopt});
    }
    return std::nullopt;
}

std::optional<std::string> FileSystem::AddImageFolder(std::u16string_view devicePath) {
    return AddImageEntry(devicePath, true, std::nullopt);
}

std::optional<std::string> FileSystem::AddImageFile(std::u16string_view devicePath,
                                                    std::optional<fs::path> content) {
    return AddImageEntry(devicePath, false, std::move(content));
}

std::optional<FileSystem::Place> FileSystem::Walk(const std::vector<std::u16string>& parts,
                                                  size_t count, uint32_t nowMs) const {
    const Place top{root_, image_.empty() ? std::nullopt : std::optional<std::u16string>(u"")};
    std::vector<Place> trail;  // the folders walked below the root
    for (size_t i = 0; i < count; ++i) {
        const std::u16string& part = parts[i];
        if (part.empty() || part == u".") {
            continue;
        }
        if (part == u"..") {
            if (!trail.empty()) {
                trail.pop_back();
            }
            continue;
        }
        if (HasWildcard(part)) {
            return std::nullopt;
        }
        const Place& at = trail.empty() ? top : trail.back();
        Place next;
        if (at.host) {
            if (const auto folder = FindInFolder(*at.host, part, nowMs)) {
                if (!folder->isFolder) {
                    return std::nullopt;  // the root's file shadows whatever the image has there
                }
                next.host = folder->hostPath;
            }
        }
        std::u16string key;
        if (at.image) {
            const auto folder = FindInImage(*at.image, part, &key);
            if (folder && folder->isFolder) {
                next.image = key;
            }
        }
        if (!next.host && !next.image) {
            return std::nullopt;
        }
        trail.push_back(std::move(next));
    }
    return trail.empty() ? top : trail.back();
}

std::optional<FoundEntry> FileSystem::Find(std::u16string_view devicePath, uint32_t nowMs) const {
    if (!root_ && image_.empty()) {
        return std::nullopt;
    }
    const std::vector<std::u16string> parts = SplitPath(devicePath);
    const std::u16string& last = parts.back();
    if (last.empty() || last == u"." || last == u"..") {
        return std::nullopt;
    }
    const std::optional<Place> at = Walk(parts, parts.size() - 1, nowMs);
    if (!at) {
        return std::nullopt;
    }
    if (at->host) {
        if (auto found = FindInFolder(*at->host, last, nowMs)) {
            return found;
        }
    }
    return at->image ? FindInImage(*at->image, last, nullptr) : std::nullopt;
}

std::vector<FoundEntry> FileSystem::List(std::u16string_view devicePath, uint32_t nowMs) const {
    std::vector<FoundEntry> entries;
    if (!root_ && image_.empty()) {
        return entries;
    }
    const std::vector<std::u16string> parts = SplitPath(devicePath);
    const std::optional<Place> at = Walk(parts, parts.size(), nowMs);
    if (!at) {
        return entries;
    }
    if (at->host) {
        entries = ListFolder(*at->host);
        std::erase_if(entries,
                      [&](const FoundEntry& entry) { return !Mounted(entry.hostPath, nowMs); });
    }
    if (at->image) {
        std::vector<std::u16string> taken;
        taken.reserve(entries.size());
        for (const FoundEntry& entry : entries) {
            taken.push_back(FoldCase(entry.name));
        }
        const std::u16string prefix = at->image->empty() ? u"" : *at->image + u'\\';
        for (auto it = image_.lower_bound(prefix);
             it != image_.end() && it->first.starts_with(prefix); ++it) {
            const std::u16string name = it->first.substr(prefix.size());
            if (name.find(u'\\') == std::u16string::npos &&
                std::find(taken.begin(), taken.end(), name) == taken.end()) {
                const ImageEntry& entry = it->second;
                entries.push_back(FoundEntry{entry.content.value_or(fs::path()), entry.name,
                                             entry.isFolder, true});
            }
        }
        std::sort(entries.begin(), entries.end(),
                  [](const FoundEntry& a, const FoundEntry& b) { return a.name < b.name; });
    }
    return entries;
}

}  // namespace sim
