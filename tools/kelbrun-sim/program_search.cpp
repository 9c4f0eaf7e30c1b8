#include "tools/kelbrun-sim/program_search.h"

#include <utility>

#include "platform/sim/text.h"

namespace programsearch {
namespace {

using setupcheck::Finding;
using setupcheck::Findings;
using setupcheck::Quoted;

constexpr char16_t kLoaderKey[] = u"HKEY_LOCAL_MACHINE\\Loader";
constexpr char16_t kWindowsFolder[] = u"\\Windows\\";
// The kernel copies "SystemPath" only when it is smaller than its buffer of MAX_PATH
// characters.
constexpr size_t kSystemPathBytes = (kMostPathChars + 1) * 2;

bool IsAbsolute(std::u16string_view name) {
    return !name.empty() && (name.front() == u'\\' || name.front() == u'/');
}

// The tries for one name: an absolute one as it stands; a relative one in \Windows, in \ and in
// each folder; a path the kernel would have to make longer than its limit is not tried.
void AddTries(std::u16string_view name, const std::vector<std::u16string>& systemPath,
              std::vector<std::u16string>& tries) {
    if (IsAbsolute(name)) {
        tries.emplace_back(name);
        return;
    }
    std::vector<std::u16string_view> folders{kWindowsFolder, u"\\"};
    folders.insert(folders.end(), systemPath.begin(), systemPath.end());
    for (std::u16string_view folder : folders) {
        if (folder.size() + name.size() <= kMostPathChars) {
            tries.push_back(std::u16string(folder) + std::u16string(name));
        }
    }
}

bool UnderWindows(std::u16string_view path) {
    return sim::FoldCase(path).starts_with(sim::FoldCase(kWindowsFolder));
}

}  // namespace

std::vector<std::u16string> ReadSystemPath(const sim::Registry& registry, Findings& findings) {
    const sim::RegistryValue* value = registry.FindValue(kLoaderKey, u"SystemPath");
    if (value == nullptr) {
        return {};
    }
    if (value->type != sim::kRegMultiSz || value->bytes.size() >= kSystemPathBytes) {
        findings.push_back(setupcheck::AboutValue(
            Finding::Level::kWarning, kLoaderKey, u"SystemPath",
            (value->type != sim::kRegMultiSz
                 ? std::string("not REG_MULTI_SZ")
                 : std::to_string(value->bytes.size()) + " bytes, not fewer than " +
                       std::to_string(kSystemPathBytes)) +
                ": the kernel does not read it, and looks for programs in none of its folders" +
                bootorder::kOnCe5));
        return {};
    }
    std::vector<std::u16string> folders;
    std::u16string folder;
    for (const char16_t unit : sim::FromUtf16LeBytes(value->bytes)) {
        if (unit != 0) {
            folder += unit;
            continue;
        }
        if (folder.empty()) {
            break;  // an empty string ends the list
        }
        folders.push_back(std::move(folder));
        folder.clear();
    }
    if (!folder.empty()) {
        folders.push_back(std::move(folder));
    }
    for (const std::u16string& each : folders) {
        if (!each.ends_with(u'\\') && !each.ends_with(u'/')) {
            findings.push_back(setupcheck::AboutValue(
                Finding::Level::kWarning, kLoaderKey, u"SystemPath",
                Quoted(each) +
                    " does not end in a backslash: the kernel puts a program's name right after "
                    "it (" +
                    Quoted(each + u"device.exe") + ")" + bootorder::kOnCe5));
        }
    }
    return folders;
}

std::vector<std::u16string> Candidates(std::u16string_view program,
                                       const std::vector<std::u16string>& systemPath) {
    std::vector<std::u16string> tries;
    if (program.size() > kMostPathChars) {
        return tries;  // the kernel refuses the name
    }
    AddTries(program, systemPath, tries);
    if (program.size() + 4 <= kMostPathChars) {
        AddTries(std::u16string(program) + u".exe", systemPath, tries);
    }
    return tries;
}

std::set<uint32_t> CheckPrograms(const sim::Device& device, bootorder::BootOrder& order,
                                 bool windowsDescribed, bool fromImage, Findings& findings) {
    const std::vector<std::u16string> systemPath = ReadSystemPath(device.registry, findings);
    std::set<uint32_t> missing;
    for (bootorder::Entry& entry : order.entries) {
        if (entry.launchName.empty() || entry.startFails || entry.startedEarly) {
            continue;
        }
        const std::vector<std::u16string> tries = Candidates(entry.program, systemPath);
        bool found = false;
        bool unknown = false;
        std::vector<std::string> tried;
        for (const std::u16string& path : tries) {
            tried.push_back(sim::ToUtf8(path));
            if (path.find_first_of(u"*?") != std::u16string::npos) {
                continue;  // the kernel opens the file by its name, not by a search
            }
            // The device runs the launcher from its own path, so its file is there even when
            // the root folder leaves out the image's \Windows; once \Windows is described, it
            // has to be there.
            const auto file = device.files.Find(path);
            found = found || (file && !file->isFolder) ||
                    (entry.launcher && !windowsDescribed &&
                     sim::FoldCase(path) == sim::FoldCase(device.ownPath));
            unknown = unknown || (!entry.launcher && !windowsDescribed && UnderWindows(path));
        }
        if (found || unknown) {
            continue;
        }
        entry.startFails = true;
        missing.insert(entry.number);

        const std::string nowhere = !fromImage ? " is no file under --root"
                                    : device.files.HasRoot()
                                        ? " is not in the image and no file under --root"
                                        : " is not in the image";
        std::string text = Quoted(entry.program);
        if (tries.empty()) {
            text += " is too long a name for the kernel to look for";
        } else {
            text += nowhere;
            text += " (tried " + setupcheck::ListOf(tried) + ")";
        }
        if (entry.launcher) {
            text += ": the kernel cannot start the launcher";
        } else {
            text += ": the kernel cannot start it, and the launch loop counts entry ";
            text += std::to_string(entry.number) + " as done without it";
        }
        text += bootorder::kOnCe5;
        findings.push_back(setupcheck::AboutValue(Finding::Level::kError, bootorder::kInitKey,
                                                  entry.launchName, std::move(text)));
    }
    return missing;
}

}  // namespace programsearch
