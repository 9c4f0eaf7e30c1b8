// The card folder's rules: a name the storage manager's profiles give a volume.
#include "tools/kelbrun-sim/card_folder.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/sim/text.h"

namespace setupcheck {
namespace {

using Level = Finding::Level;
using imagefiles::Error;

constexpr char16_t kPathsKey[] = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths";
constexpr char16_t kProfilesKey[] = u"HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles";
// The storage manager's name for a volume when neither its profile nor the profiles' default
// sets a Folder.
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

// Below Profiles, folded: "" for Profiles itself, "SDMemory" for a profile, "SDMemory\FATFS" for
// its file-system or partition subkey; nothing for any other key.
std::optional<std::u16string> BelowProfiles(std::u16string_view key) {
    const std::u16string folded = sim::FoldCase(key);
    const std::u16string profiles = sim::FoldCase(sim::Registry::Join(kProfilesKey, u""));
    if (folded == profiles) {
        return std::u16string();
    }
    if (!folded.starts_with(profiles + u'\\')) {
        return std::nullopt;
    }
    std::u16string below = folded.substr(profiles.size() + 1);
    const size_t slash = below.find(u'\\');
    if (slash != std::u16string::npos && below.find(u'\\', slash + 1) != std::u16string::npos) {
        return std::nullopt;  // deeper than a profile's own subkeys
    }
    return below;
}

// A name a profile gives, and the key whose Folder gives it (Profiles itself for the default).
struct GivenFolder {
    std::u16string name;
    std::u16string key;
};

// A Folder the reader left unset, as its line's LOC_ token was not replaced.
struct UnknownFolder {
    std::u16string profile;  // folded, as BelowProfiles gives it, up to its first "\"
    // cppcheck-suppress unusedStructMember ; read through the iterator unknownOf gives
    const Error* line;
};

struct Profiles {
    std::vector<GivenFolder> given;
    std::vector<const Error*> unknown;  // the unreplaced Folder lines that decide a name
};

std::u16string ProfileOf(const std::u16string& below) {
    return below.substr(0, below.find(u'\\'));
}

std::vector<UnknownFolder> UnknownFolders(const imagecheck::CheckContext& context) {
    std::vector<UnknownFolder> unknown;
    if (context.readerWarnings == nullptr) {
        return unknown;
    }
    for (const Error& warning : *context.readerWarnings) {
        if (warning.kind != Error::Kind::kStringNotReplaced ||
            sim::FoldCase(warning.valueName) != sim::FoldCase(u"Folder")) {
            continue;
        }
        if (const auto below = BelowProfiles(warning.key)) {
            unknown.push_back({ProfileOf(*below), &warning});
        }
    }
    return unknown;
}

// The folder names the storage manager's profiles give volumes: each profile's Folder, or its
// file-system or partition subkey's, else the profiles' default Folder, else "Mounted Volume"
// (CE 5.0's storage manager, CStore and CPartition); a Folder left as a LOC_ token gives no
// name it can be judged by.
Profiles ReadProfiles(const sim::Registry& registry, const imagecheck::CheckContext& context) {
    const std::vector<UnknownFolder> unknown = UnknownFolders(context);
    std::vector<std::u16string> profiles;  // folded profile names, in the registry's order
    std::vector<std::vector<GivenFolder>> named;
    for (const sim::RegistryKey& key : registry.Keys()) {
        const auto below = BelowProfiles(key.path);
        if (!below || below->empty()) {
            continue;
        }
        const std::u16string profile = ProfileOf(*below);
        auto at = std::find(profiles.begin(), profiles.end(), profile);
        if (at == profiles.end()) {
            profiles.push_back(profile);
            named.emplace_back();
            at = profiles.end() - 1;
        }
        if (auto folder = StringOf(registry.FindValue(key.path, u"Folder"))) {
            named[static_cast<size_t>(at - profiles.begin())].push_back({*folder, key.path});
        }
    }
    const auto unknownOf = [&](const std::u16string& profile) {
        return std::find_if(unknown.begin(), unknown.end(),
                            [&](const UnknownFolder& u) { return u.profile == profile; });
    };
    const std::optional<std::u16string> byDefault =
        StringOf(registry.FindValue(kProfilesKey, u"Folder"));
    Profiles result;
    for (size_t i = 0; i < profiles.size(); ++i) {
        std::vector<GivenFolder> given = named[i];
        if (given.empty()) {
            if (auto u = unknownOf(profiles[i]); u != unknown.end()) {
                result.unknown.push_back(u->line);
                continue;
            }
            if (auto u = unknownOf(u""); !byDefault && u != unknown.end()) {
                result.unknown.push_back(u->line);
                continue;
            }
            given.push_back({byDefault.value_or(kDefaultVolumeName), kProfilesKey});
        }
        for (const GivenFolder& folder : given) {
            const bool known = std::any_of(
                result.given.begin(), result.given.end(),
                [&](const GivenFolder& g) { return g.name == folder.name && g.key == folder.key; });
            if (!known) {
                result.given.push_back(folder);
            }
        }
    }
    return result;
}

// A volume's folder is its profile's name, or when that is taken the name with a digit from 2
// to 9 after it.
bool GivenName(std::u16string_view top, const std::vector<GivenFolder>& names) {
    const std::u16string folded = sim::FoldCase(top);
    for (const GivenFolder& name : names) {
        const std::u16string given = sim::FoldCase(name.name);
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

// The #include lines of the registry's files that were not read: they may hold profiles.
std::vector<const Error*> UnreadIncludes(const imagecheck::CheckContext& context) {
    std::vector<const Error*> unread;
    if (context.readerWarnings == nullptr) {
        return unread;
    }
    for (const Error& warning : *context.readerWarnings) {
        const std::u16string file = sim::FoldCase(sim::FromUtf8(warning.file).value_or(u""));
        if (warning.kind == Error::Kind::kIncludeNotRead &&
            file.ends_with(sim::FoldCase(u".reg"))) {
            unread.push_back(&warning);
        }
    }
    return unread;
}

std::string NamesOf(const std::vector<GivenFolder>& given, bool keys) {
    std::vector<std::string> items;
    for (const GivenFolder& folder : given) {
        std::string item = keys ? sim::ToUtf8(folder.key) : "\\" + sim::ToUtf8(folder.name);
        if (std::find(items.begin(), items.end(), item) == items.end()) {
            items.push_back(std::move(item));
        }
    }
    return ListOf(items);
}

std::string CannotJudge(const std::u16string& top, const Profiles& profiles,
                        const std::vector<const Error*>& unread) {
    std::string words = "cannot judge whether the card folder \\" + sim::ToUtf8(top) +
                        " is a name the storage manager gives a card";
    if (!profiles.given.empty()) {
        words += " (the profiles known give " + NamesOf(profiles.given, false) + ")";
    }
    std::vector<std::string> tokens;
    for (const Error* line : profiles.unknown) {
        tokens.push_back("the Folder of " + sim::ToUtf8(line->key) + " is " + line->missing + " (" +
                         line->Where() + ")");
    }
    if (!tokens.empty()) {
        words += ": " + ListOf(tokens) +
                 ", not replaced; give it with a .str file (--strings) or --define "
                 "LOC_NAME=VALUE";
    }
    std::vector<std::string> files;
    files.reserve(unread.size());
    for (const Error* line : unread) {
        files.push_back("\"" + line->missing + "\" (" + line->Where() + ")");
    }
    if (!files.empty()) {
        words += std::string(tokens.empty() ? ": " : "; ") + "#include " + ListOf(files) +
                 " not read, which may hold storage profiles; give its folder with --map";
    }
    return words;
}

const imagefiles::StoreFolder* ImageFolder(const imagecheck::CheckContext& context,
                                           const std::u16string& top) {
    if (context.image == nullptr) {
        return nullptr;
    }
    for (const imagefiles::StoreFolder& folder : context.image->folders) {
        if (sim::FoldCase(TopName(folder.path)) == sim::FoldCase(top)) {
            return &folder;
        }
    }
    return nullptr;
}

// What the dry run has under the card's name that the unit's storage manager does not give it.
std::string StandIn(const sim::Device& device, const std::u16string& top) {
    for (const sim::Mount& mount : device.files.Mounts()) {
        if (sim::FoldCase(TopName(mount.folder)) == sim::FoldCase(top)) {
            return "; --mount " + sim::ToUtf8(mount.folder) +
                   " mounts it in the dry run, but on the unit the card is named by its profile";
        }
    }
    const auto folder = device.files.Find(u"\\" + top);
    if (folder && folder->isFolder) {
        return "; --root has that folder, so the dry run finds it, but on the unit the card is "
               "named by its profile";
    }
    return "";
}

}  // namespace

void CheckCardFolder(const sim::Device& device, std::u16string_view card,
                     const imagecheck::CheckContext& context, Findings& findings) {
    const Profiles profiles = ReadProfiles(device.registry, context);
    const std::u16string top = TopName(card);
    if ((profiles.given.empty() && profiles.unknown.empty()) || top.empty() ||
        GivenName(top, profiles.given)) {
        return;
    }
    const auto add = [&](Level level, std::string words) {
        findings.push_back(AboutValue(level, kPathsKey, u"SDMMC", std::move(words)));
    };
    const std::vector<const Error*> unread = UnreadIncludes(context);
    if (!profiles.unknown.empty() || !unread.empty()) {
        add(Level::kWarning, CannotJudge(top, profiles, unread));
        return;
    }
    const std::string name = "\\" + sim::ToUtf8(top);
    const std::string what = "the card folder " + name +
                             " is no name the storage manager gives a card (its profiles under "
                             "HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles give " +
                             NamesOf(profiles.given, false) + ")";
    const std::string fix = "; to fix it, set SDMMC to a folder under " +
                            NamesOf(profiles.given, false) + ", or the Folder of " +
                            NamesOf(profiles.given, true) + " to " + sim::ToUtf8(top);
    if (const imagefiles::StoreFolder* folder = ImageFolder(context, top)) {
        add(Level::kWarning, what + "; the image's object store makes " + name + " (" +
                                 folder->where.Describe() +
                                 "), so the folder is there on the unit, but not on the card: "
                                 "the card's copy of the launcher is found only if the image "
                                 "puts it there" +
                                 fix);
        return;
    }
    add(Level::kError,
        what + StandIn(device, top) + ": the card's copy of the launcher is never found" + fix);
}

}  // namespace setupcheck
