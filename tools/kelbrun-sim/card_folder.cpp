// The card folder's rules: a name the storage manager's profiles give a volume.
#include "tools/kelbrun-sim/card_folder.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/sim/text.h"

namespace setupcheck {
namespace {

using Level = Finding::Level;

constexpr char16_t kPathsKey[] = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths";
constexpr char16_t kProfilesKey[] = u"HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles";
// The storage manager's name for a volume whose profile names no folder.
constexpr char16_t kDefaultVolumeName[] = u"Mounted Volume";

std::u16string TopName(std::u16string_view path) {
    const size_t start = path.find_first_not_of(u"\\/");
    if (start == std::u16string_view::npos) {
        return {};
    }
    const size_t end = path.find_first_of(u"\\/", start);
    return std::u16string(path.substr(start, end == std::u16string_view::npos ? end : end - start));
}

std::optional<std::u16string> StringOf(const sim::RegistryValue* value) {
    if (value == nullptr || value->type != sim::kRegSz) {
        return std::nullopt;
    }
    std::u16string text = sim::TextUpToNul(value->bytes);
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

// The folder names the storage manager's profiles give volumes: each profile's Folder, or its
// file-system or partition subkey's, else the profiles' default.
std::vector<std::u16string> ProfileFolderNames(const sim::Registry& registry) {
    const std::u16string prefix = sim::FoldCase(sim::Registry::Join(kProfilesKey, u"")) + u'\\';
    const std::u16string fallback =
        StringOf(registry.FindValue(kProfilesKey, u"Folder")).value_or(kDefaultVolumeName);
    std::vector<std::u16string> profiles;  // folded profile names, in the registry's order
    std::vector<std::vector<std::u16string>> named;
    for (const sim::RegistryKey& key : registry.Keys()) {
        const std::u16string folded = sim::FoldCase(key.path);
        if (!folded.starts_with(prefix)) {
            continue;
        }
        const std::u16string below = folded.substr(prefix.size());
        const size_t slash = below.find(u'\\');
        if (slash != std::u16string::npos && below.find(u'\\', slash + 1) != std::u16string::npos) {
            continue;  // deeper than a profile's own subkeys
        }
        const std::u16string profile = below.substr(0, slash);
        auto at = std::find(profiles.begin(), profiles.end(), profile);
        if (at == profiles.end()) {
            profiles.push_back(profile);
            named.emplace_back();
            at = profiles.end() - 1;
        }
        if (auto folder = StringOf(registry.FindValue(key.path, u"Folder"))) {
            named[static_cast<size_t>(at - profiles.begin())].push_back(*folder);
        }
    }
    std::vector<std::u16string> names;
    for (std::vector<std::u16string>& given : named) {
        if (given.empty()) {
            given.push_back(fallback);
        }
        for (const std::u16string& name : given) {
            if (std::find(names.begin(), names.end(), name) == names.end()) {
                names.push_back(name);
            }
        }
    }
    return names;
}

// A volume's folder is its profile's name, or when that is taken the name with a digit from 2
// to 9 after it.
bool GivenName(std::u16string_view top, const std::vector<std::u16string>& names) {
    const std::u16string folded = sim::FoldCase(top);
    for (const std::u16string& name : names) {
        const std::u16string given = sim::FoldCase(name);
        if (folded == given) {
            return true;
        }
        if (folded.size() == given.size() + 1 && folded.starts_with(given) &&
            folded.back() >= u'2' && folded.back() <= u'9') {
            return true;
        }
    }
    return false;
}

}  // namespace

void CheckCardFolder(const sim::Device& device, std::u16string_view card, bool hasRoot,
                     Findings& findings) {
    const std::vector<std::u16string> names = ProfileFolderNames(device.registry);
    if (names.empty()) {
        return;
    }
    const std::u16string top = TopName(card);
    if (top.empty() || GivenName(top, names)) {
        return;
    }
    std::string given;
    for (const std::u16string& name : names) {
        given += (given.empty() ? "\\" : ", \\") + sim::ToUtf8(name);
    }
    const auto add = [&](Level level, std::string words) {
        findings.push_back(AboutValue(level, kPathsKey, u"SDMMC", std::move(words)));
    };
    const std::string what = "the card folder \\" + sim::ToUtf8(top) +
                             " is no name the storage manager gives a card (its profiles under "
                             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles give " +
                             given + ")";
    const std::u16string foldedTop = sim::FoldCase(top);
    for (const sim::Mount& mount : device.files.Mounts()) {
        if (sim::FoldCase(TopName(mount.folder)) == foldedTop) {
            add(Level::kWarning, what + "; --mount " + sim::ToUtf8(mount.folder) +
                                     " mounts it here, but on the unit the card appears under "
                                     "another name and the card's copy is never found");
            return;
        }
    }
    if (hasRoot) {
        const auto folder = device.files.Find(u"\\" + top);
        if (folder && folder->isFolder) {
            add(Level::kWarning, what +
                                     "; --root has that folder, so it is found here, but on the "
                                     "unit only if the image itself holds it");
            return;
        }
    }
    add(Level::kError, what +
                           ", and no --mount or --root folder stands for it: the card's copy "
                           "of the launcher is never found");
}

}  // namespace setupcheck
