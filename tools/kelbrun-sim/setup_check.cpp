#include "tools/kelbrun-sim/setup_check.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "config/folder_setting.h"
#include "config/path_buffer.h"
#include "launcher/startup_sequence.h"
#include "platform/sim/host_file.h"
#include "platform/sim/text.h"
#include "tools/kelbrun-sim/card_folder.h"
#include "tools/kelbrun-sim/program_search.h"
#include "tools/kelbrun-sim/program_start_check.h"

namespace setupcheck {
namespace {

using Level = Finding::Level;

constexpr char16_t kPathsKey[] = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths";
constexpr char16_t kStartUpFolder[] = u"\\Windows\\StartUp";

// For the findings' words only: what the launcher's own code reads and composes decides them.
constexpr size_t kValueBytes = static_cast<size_t>(kPathBufferChars - 1) * 2;
constexpr size_t kPathChars = kPathBufferChars - 1;
// The launcher asks for its own path with room for 127 characters and trusts only an answer
// that did not fill it.
constexpr size_t kOwnPathChars = 126;

// A folder value as the launcher's own ReadFolderSetting gets it on the device: nothing when
// it is missing or its query fails, else its text.
struct FolderRead {
    const sim::RegistryValue* value = nullptr;  // as the registry holds it
    bool read = false;
    std::u16string text;
};

struct FolderValue {
    const char16_t* name;
    bool required;               // the launcher starts nothing without it
    std::u16string_view suffix;  // the program composed from it, if any
    const char* program;         // what that program is, for the findings
};

const FolderValue kFolderValues[] = {
    {u"SDMMC", true, kUpdateLauncherSuffix, "the card's copy of the launcher"},
    {u"DataStorage", true, {}, nullptr},
    {u"User", false, kNavigatorSuffix, "the navigation application"},
};

// Runs ReadFolderSetting for each folder value on a copy of the device, in place of the
// current device for the while, so that the check leaves no trace on either.
std::vector<FolderRead> ReadAsLauncher(const sim::Device& device) {
    std::vector<FolderRead> reads;
    sim::Device copy = device;
    sim::Device saved = std::exchange(sim::CurrentDevice(), std::move(copy));
    for (const FolderValue& folder : kFolderValues) {
        FolderSetting setting{};
        FolderRead& read = reads.emplace_back();
        read.read = ReadFolderSetting(kSettingsKey, folder.name, &setting) == 1;
        if (read.read) {
            read.text.assign(setting.path, static_cast<size_t>(setting.length));
        }
    }
    sim::CurrentDevice() = std::move(saved);
    for (size_t i = 0; i < reads.size(); ++i) {
        reads[i].value = device.registry.FindValue(kPathsKey, kFolderValues[i].name);
    }
    return reads;
}

// The launcher's own composition of a folder and what it looks for there: whether it fits.
bool Composes(std::u16string_view folder, std::u16string_view suffix) {
    PathBuffer target{};
    PathBuffer folderText{};
    folder.copy(folderText, std::min(folder.size(), kPathChars));
    const std::u16string suffixText(suffix);
    return PathCompose(target, folderText, suffixText.c_str()) == 1;
}

void CheckFolderValue(const FolderRead& read, const FolderValue& folder, Findings& findings) {
    const auto add = [&](Level level, std::string words) {
        findings.push_back(AboutValue(level, kPathsKey, folder.name, std::move(words)));
    };
    const Level unusableLevel = folder.required ? Level::kError : Level::kWarning;
    const std::string unusable =
        folder.required ? "the launcher starts nothing"
                        : "the launcher looks for \\MNAV\\Navigon.exe from the root folder";
    if (read.value == nullptr) {
        add(unusableLevel, "missing: " + unusable);
        return;
    }
    if (!read.read) {
        add(unusableLevel, Plural(read.value->bytes.size(), "byte") + ", more than the " +
                               std::to_string(kValueBytes) +
                               " the launcher's buffer takes: its query fails and " + unusable);
        return;
    }
    const uint32_t type = read.value->type;
    if (type != sim::kRegSz) {
        std::string how = "the launcher takes its bytes as text, which gives ";
        if (type == sim::kRegExpandSz) {
            how = "the launcher does not expand it and takes ";
        } else if (type == sim::kRegMultiSz) {
            how = "the launcher takes its first string, ";
        }
        add(Level::kWarning, "is " + sim::RegistryTypeName(type) + ", not REG_SZ: " + how +
                                 Quoted(read.text) + " as the folder");
    }
    if (read.text.empty()) {
        add(unusableLevel, "empty, which counts as not set: " + unusable);
        return;
    }
    if (folder.program != nullptr && !Composes(read.text, folder.suffix)) {
        add(Level::kError, Plural(read.text.size(), "character") + ", and with " +
                               sim::ToUtf8(folder.suffix) + " after it " +
                               std::to_string(read.text.size() + folder.suffix.size()) +
                               ", more than the " + std::to_string(kPathChars) +
                               " the launcher's path holds: it never looks for " + folder.program);
    }
}

std::u16string TextOfFile(const std::string& bytes) {
    if (auto text = sim::FromUtf8(bytes)) {
        return *text;
    }
    std::u16string latin;
    for (char c : bytes) {
        latin += static_cast<char16_t>(static_cast<unsigned char>(c));
    }
    return latin;
}

// A shortcut's text is "COUNT#COMMAND LINE"; the program is the command line's first part,
// quoted when it holds blanks.
std::u16string ShortcutTarget(std::u16string_view text) {
    const size_t hash = text.find(u'#');
    std::u16string_view line = hash == std::u16string_view::npos ? text : text.substr(hash + 1);
    line = line.substr(0, line.find_first_of(u"\r\n"));
    const size_t start = line.find_first_not_of(u" \t");
    if (start == std::u16string_view::npos) {
        return {};
    }
    line = line.substr(start);
    if (line.front() == u'"') {
        line = line.substr(1);
        return std::u16string(line.substr(0, line.find(u'"')));
    }
    const size_t end = line.find_last_not_of(u" \t");
    return std::u16string(line.substr(0, end + 1));
}

// The root's shortcuts and the image's, whose content is known only when its host file is.
std::vector<Shortcut> ReadShortcuts(const sim::Device& device) {
    std::vector<Shortcut> shortcuts;
    for (const sim::FoundEntry& entry : device.files.List(kStartUpFolder)) {
        std::error_code typeError;
        if (entry.isFolder || !sim::FoldCase(entry.name).ends_with(u".LNK") ||
            (!entry.fromImage &&
             std::filesystem::symlink_status(entry.hostPath, typeError).type() !=
                 std::filesystem::file_type::regular)) {
            continue;
        }
        Shortcut shortcut{entry.name, {}, false};
        shortcut.known = !entry.hostPath.empty();
        if (shortcut.known) {
            const auto bytes = sim::ReadHostFile(entry.hostPath);
            shortcut.target = ShortcutTarget(TextOfFile(bytes.value_or("")));
        }
        shortcut.launcher =
            !shortcut.target.empty() && bootorder::NamesLauncher(shortcut.target, device.ownPath);
        shortcuts.push_back(std::move(shortcut));
    }
    return shortcuts;
}

void CheckLauncherStarts(const Report& report, Findings& findings) {
    std::vector<std::string> how;
    for (const bootorder::Entry& entry : report.order.entries) {
        if (entry.launcher) {
            how.push_back(bootorder::Describe(entry));
        }
    }
    for (const Shortcut& shortcut : report.shortcuts) {
        if (shortcut.launcher) {
            how.push_back("\\Windows\\StartUp\\" + sim::ToUtf8(shortcut.name));
        }
    }
    const size_t ways = how.size();
    if (ways == 0) {
        findings.push_back(AboutKey(
            Level::kError, bootorder::kInitKey,
            std::string(
                "no LaunchNN names the launcher (Kelbrun.EXE, or the file name of --self)") +
                (report.shortcutsLookedAt ? ", nor does a shortcut in \\Windows\\StartUp"
                                          : " (start-up shortcuts are looked at with --root)") +
                ": the launcher is never started at boot"));
    } else if (ways > 1) {
        findings.push_back(
            AboutBoot(Level::kWarning, "the launcher is started " + std::to_string(ways) +
                                           " times at boot (" + ListOf(how) +
                                           "): each copy hands over on its own, so what it starts "
                                           "is started more than once"));
    }
}

void CheckOwnPath(const sim::Device& device, Findings& findings) {
    const std::string self = "--self " + sim::ToUtf8(device.ownPath);
    if (device.ownPath.size() > kOwnPathChars) {
        findings.push_back(AboutProgram(
            Level::kError, self,
            Plural(device.ownPath.size(), "character") + ", more than the " +
                std::to_string(kOwnPathChars) +
                " the launcher trusts of its own path: it cannot tell where it runs from and "
                "starts nothing"));
    } else if (device.ownPath.find(kUpdateMarker) != std::u16string::npos) {
        findings.push_back(AboutProgram(
            Level::kError, self,
            "holds \"UPDATE\": the launcher takes itself for the card's copy, which must not "
            "start itself again, and starts nothing"));
    }
}

// A finding about a value names the file and line of the OS design that set it, so that the
// line to mend is found without searching the design for it.
void NameOrigins(const sim::Registry& registry, Findings& findings) {
    for (Finding& finding : findings) {
        if (finding.about != Finding::About::kValue) {
            continue;
        }
        const auto key = sim::FromUtf8(finding.subject);
        const auto name = sim::FromUtf8(finding.valueName);
        const std::string* origin = key && name && registry.FindValue(*key, *name) != nullptr
                                        ? registry.OriginOf(*key, *name)
                                        : nullptr;
        if (origin != nullptr) {
            finding.origin = *origin;
        }
    }
}

}  // namespace

Report CheckSetup(const sim::Device& device, bool hasRoot,
                  const imagecheck::CheckContext& context) {
    Report report;
    report.order = bootorder::ReadBootOrder(device.registry, device.ownPath, report.findings);
    if (hasRoot || context.image != nullptr) {
        const std::set<uint32_t> missing = programsearch::CheckPrograms(
            device, report.order, imagecheck::DescribesWindows(device, context),
            context.image != nullptr, report.findings);
        if (context.image != nullptr) {
            report.notInImage = missing;
        }
        programstartcheck::CheckInitPrograms(device, report.order, report.findings);
    }
    report.bootStopsAt = bootorder::CheckWaits(report.order, report.findings);
    report.shortcutsLookedAt = hasRoot || context.image != nullptr;
    if (report.shortcutsLookedAt) {
        report.shortcuts = ReadShortcuts(device);
    }
    imagecheck::ImageReport image = imagecheck::CheckImage(context);
    report.findings.insert(report.findings.end(), image.findings.begin(), image.findings.end());
    CheckLauncherStarts(report, report.findings);
    CheckOwnPath(device, report.findings);
    if (!device.registry.HasKey(kPathsKey)) {
        report.findings.push_back(AboutKey(
            Level::kError, kPathsKey, "missing: the launcher reads no folder and starts nothing"));
    } else {
        const std::vector<FolderRead> reads = ReadAsLauncher(device);
        for (size_t i = 0; i < std::size(kFolderValues); ++i) {
            CheckFolderValue(reads[i], kFolderValues[i], report.findings);
        }
        CheckCardFolder(device, reads[0].read ? reads[0].text : u"", context, report.findings);
        if (reads[0].read && reads[1].read) {
            programstartcheck::CheckLauncherPrograms(
                device, reads[0].text + std::u16string(kUpdateLauncherSuffix),
                reads[2].text + std::u16string(kNavigatorSuffix), report.findings);
        }
    }
    NameOrigins(device.registry, report.findings);
    return report;
}

Finding ReaderWarning(const imagefiles::Error& warning, bool forCheck) {
    using Kind = imagefiles::Error::Kind;
    std::string words = warning.message;
    std::string kind;
    if (warning.kind == Kind::kStringNotReplaced) {
        kind = "LOC_ tokens not replaced";
    } else if (warning.kind == Kind::kIncludeNotRead) {
        kind = "#include lines not read";
        const std::u16string file = sim::FoldCase(sim::FromUtf8(warning.file).value_or(u""));
        if (forCheck && file.ends_with(sim::FoldCase(u".reg"))) {
            words +=
                "; what it holds is not checked: it may hold init entries (the boot order) "
                "and storage profiles (the card folder)";
        } else if (forCheck && file.ends_with(sim::FoldCase(u".bib"))) {
            words += "; what it holds is not checked: it may list the image's programs";
        }
    }
    Finding finding = AboutFile(Level::kWarning, warning.file, warning.Where(), std::move(words));
    finding.kind = std::move(kind);
    return finding;
}

size_t CountErrors(const Findings& findings) {
    return static_cast<size_t>(
        std::count_if(findings.begin(), findings.end(),
                      [](const Finding& f) { return f.level == Level::kError; }));
}

}  // namespace setupcheck
