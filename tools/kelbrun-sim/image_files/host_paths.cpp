#include "tools/kelbrun-sim/image_files/host_paths.h"

#include "platform/sim/text.h"
#include "tools/kelbrun-sim/image_files/source_text.h"

namespace imagefiles {

namespace {

std::vector<std::u16string> PathParts(std::u16string_view path) {
    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of(u"\\/", start);
        if (end == std::u16string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.emplace_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

}  // namespace

std::optional<std::filesystem::path> ResolveWindowsPath(std::u16string_view windowsPath,
                                                        const std::filesystem::path& base,
                                                        const std::vector<PathMap>& maps,
                                                        const DesignFiles& files,
                                                        std::string& why) {
    std::vector<std::u16string> parts = PathParts(windowsPath);
    std::filesystem::path folder = base;
    const bool drive = windowsPath.size() >= 2 && windowsPath[1] == u':';
    if (drive || StartsWith(windowsPath, u"\\")) {
        // The longest --map prefix that names whole parts of the path.
        size_t matched = 0;
        const PathMap* map = nullptr;
        for (const PathMap& candidate : maps) {
            const std::vector<std::u16string> prefix = PathParts(candidate.windowsPrefix);
            if (prefix.size() < matched || prefix.size() > parts.size() || prefix.empty()) {
                continue;
            }
            bool same = true;
            for (size_t i = 0; i < prefix.size() && same; ++i) {
                same = sim::FoldCase(prefix[i]) == sim::FoldCase(parts[i]);
            }
            if (same && (map == nullptr || prefix.size() > matched)) {
                map = &candidate;
                matched = prefix.size();
            }
        }
        if (map == nullptr) {
            why = "no --map gives a host folder for " + sim::ToUtf8(windowsPath);
            return std::nullopt;
        }
        folder = map->hostFolder;
        parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(matched));
    }
    for (const std::u16string& part : parts) {
        if (part == u".") {
            continue;
        }
        if (part == u"..") {
            folder = folder.parent_path();
            continue;
        }
        const std::string spelt = sim::ToUtf8(part);
        if (files.IsFolder(folder / spelt)) {
            folder /= spelt;
            continue;
        }
        // Windows names match without regard to case; the host's may not.
        std::optional<std::string> match;
        const std::u16string folded = sim::FoldCase(part);
        for (const std::string& name : files.List(folder)) {
            const auto text = sim::FromUtf8(name);
            if (name == spelt || (!match && text && sim::FoldCase(*text) == folded)) {
                match = name;
            }
        }
        if (!match) {
            why = (folder / spelt).string() + " does not exist";
            return std::nullopt;
        }
        folder /= *match;
    }
    if (files.IsFolder(folder)) {
        why = folder.string() + " is not a file";
        return std::nullopt;
    }
    return folder;
}

}  // namespace imagefiles
