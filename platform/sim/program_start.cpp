#include "platform/sim/program_start.h"

#include "platform/sim/device.h"
#include "platform/sim/emulator/coredll_exports.h"
#include "platform/sim/emulator/pe_image.h"
#include "platform/sim/host_file.h"
#include "platform/sim/text.h"

namespace sim {
namespace {

constexpr size_t kMaxPath = 260;

// Where the unit's loader looks for a DLL a program imports: the program's own folder, then
// \Windows (the image's modules among its files), then the root folder.
bool HoldsModule(const Device& device, std::u16string_view programFolder, std::string_view dll) {
    const auto name = FromUtf8(dll);
    if (!name || name->empty() || name->find_first_of(u"\\/*?") != std::u16string::npos) {
        return false;
    }
    for (const std::u16string& folder :
         {std::u16string(programFolder), std::u16string(u"\\Windows"), std::u16string()}) {
        for (const std::u16string& file : {*name, *name + u".dll"}) {
            std::u16string path = folder;
            path += u'\\';
            path += file;
            const auto found = device.files.Find(path, device.clockMs);
            if (found && !found->isFolder) {
                return true;
            }
        }
    }
    return false;
}

ProgramStart Load(Device& device, std::u16string_view path, const FoundEntry& found) {
    if (found.hostPath.empty()) {
        // One of the image's files whose bytes are not known: the image builder made it for
        // this unit, so it is taken as a program the unit starts.
        return {0, "a file of the OS image, taken as the unit's own program", true};
    }
    const auto bytes = ReadHostFile(found.hostPath);
    if (!bytes) {
        return {kErrorFileNotFound, "the file cannot be opened", true};
    }
    const std::u16string folder(path.substr(
        0, path.find_last_of(u'\\') == std::u16string_view::npos ? 0 : path.find_last_of(u'\\')));
    LoaderRules rules;
    rules.offers = UnitCoredllExports;
    rules.holdsModule = [&device, &folder](std::string_view dll) {
        return HoldsModule(device, folder, dll);
    };
    const auto loaded = LoadPeImage(*bytes, rules);
    const auto* refusal = std::get_if<PeRefusal>(&loaded);
    if (refusal == nullptr || refusal->error == 0) {
        return {0, "a Windows CE program the unit starts", true};
    }
    for (const std::string& line : refusal->loaderLines) {
        device.record.trail.push_back(*FromUtf8(line + "\r\n"));
    }
    return {refusal->error, refusal->reason, true};
}

}  // namespace

bool UnitCoredllExports(std::string_view name) {
    return FindCoredllExport(name) != nullptr;
}

ProgramStart StartProgram(Device& device, std::u16string_view path,
                          std::u16string_view parameters) {
    (void)parameters;  // a program that does not run reads no command line
    if (path.size() >= kMaxPath) {
        return {kErrorInvalidParameter, "the name is " + std::to_string(path.size()) +
                                            " characters long; the kernel takes fewer than 260"};
    }
    // A name without a folder is looked for in \Windows, then in the root folder.
    std::vector<std::u16string> names;
    if (!path.empty() && path[0] != u'\\' && path[0] != u'/') {
        names = {u"\\Windows\\" + std::u16string(path), u"\\" + std::u16string(path)};
    } else {
        names = {std::u16string(path)};
    }
    for (const std::u16string& name : names) {
        for (const std::u16string& file : {name, name + u".exe"}) {
            if (file.size() >= kMaxPath || file.find_first_of(u"*?") != std::u16string::npos) {
                continue;
            }
            const auto found = device.files.Find(file, device.clockMs);
            if (found && !found->isFolder) {
                return Load(device, file, *found);
            }
        }
    }
    return {kErrorFileNotFound, "no such file"};
}

std::string_view ErrorName(uint32_t error) {
    switch (error) {
        case 2:
            return "ERROR_FILE_NOT_FOUND";
        case 3:
            return "ERROR_PATH_NOT_FOUND";
        case 5:
            return "ERROR_ACCESS_DENIED";
        case 8:
            return "ERROR_NOT_ENOUGH_MEMORY";
        case 11:
            return "ERROR_BAD_FORMAT";
        case 14:
            return "ERROR_OUTOFMEMORY";
        case 50:
            return "ERROR_NOT_SUPPORTED";
        case 87:
            return "ERROR_INVALID_PARAMETER";
        case 126:
            return "ERROR_MOD_NOT_FOUND";
        case 127:
            return "ERROR_PROC_NOT_FOUND";
        case 193:
            return "ERROR_BAD_EXE_FORMAT";
        case 1114:
            return "ERROR_DLL_INIT_FAILED";
        case 1150:
            return "ERROR_OLD_WIN_VERSION";
        case 1157:
            return "ERROR_DLL_NOT_FOUND";
        default:
            return {};
    }
}

}  // namespace sim
