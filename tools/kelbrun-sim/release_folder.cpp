#include "tools/kelbrun-sim/release_folder.h"

#include <filesystem>
#include <system_error>

#include "platform/sim/text.h"

namespace simoptions {
namespace {

namespace fs = std::filesystem;

bool IsFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

}  // namespace

std::optional<std::string> ReadReleaseFolder(Options& options) {
    if (!options.release) {
        return std::nullopt;
    }
    const fs::path folder(*options.release);
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        return "--release " + *options.release + ": not a folder";
    }
    for (const char* needed : {"reginit.ini", "ce.bib", "coredll.dll"}) {
        if (!IsFile(folder / needed)) {
            return "--release " + *options.release + ": no " + needed +
                   " in it: not a release folder as makeimg leaves it";
        }
    }
    options.registries.insert(options.registries.begin(), (folder / "reginit.ini").string());
    options.bibs.insert(options.bibs.begin(), (folder / "ce.bib").string());
    if (IsFile(folder / "initobj.dat")) {
        options.dats.insert(options.dats.begin(), (folder / "initobj.dat").string());
    }
    if (!options.coredll) {
        options.coredll = (folder / "coredll.dll").string();
    }
    if (!options.exe && IsFile(folder / "Kelbrun.EXE")) {
        options.exe = (folder / "Kelbrun.EXE").string();
    }
    return std::nullopt;
}

std::optional<std::string> ApplyReleaseFiles(const Options& options, sim::Device& device) {
    if (!options.release) {
        return std::nullopt;
    }
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(*options.release, ec)) {
        const auto name = sim::FromUtf8(entry.path().filename().string());
        if (!entry.is_regular_file(ec) || !name) {
            continue;
        }
        // Only what the image lists: the release folder holds the build's other files too.
        const std::u16string path = u"\\Windows\\" + *name;
        const auto found = device.files.Find(path);
        if (found && found->fromImage && !found->isFolder) {
            if (auto error = device.files.AddImageFile(path, entry.path())) {
                return "--release " + *options.release + ": " + *error;
            }
        }
    }
    if (ec) {
        return "--release " + *options.release + ": cannot be read: " + ec.message();
    }
    return std::nullopt;
}

}  // namespace simoptions
