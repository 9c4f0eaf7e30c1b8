// --coredll: a unit's own coredll.dll under the program given by --exe.
#include <filesystem>

#include "platform/sim/host_file.h"
#include "tools/kelbrun-sim/device_setup.h"

namespace simoptions {

bool AnyFunction(std::string_view) {
    return true;
}

std::variant<sim::DllImage, std::string> ReadCoredll(const std::string& file) {
    const auto bytes = sim::ReadHostFile(file);
    if (!bytes) {
        return file + ": cannot be read";
    }
    auto dll = sim::ReadCoredllImage(*bytes);
    if (auto* refusal = std::get_if<std::string>(&dll)) {
        return file + ": not a Windows CE ARM coredll.dll: " + *refusal;
    }
    // The image's locale data, which Platform Builder puts in \Windows beside COREDLL.
    const auto nls =
        sim::ReadHostFile((std::filesystem::path(file).parent_path() / "wince.nls").string());
    if (nls) {
        std::get<sim::DllImage>(dll).localeData.assign(nls->begin(), nls->end());
    }
    return dll;
}

std::optional<std::string> LoadCoredll(const Options& options, Program& program) {
    if (!options.coredll) {
        return std::nullopt;
    }
    auto dll = ReadCoredll(*options.coredll);
    if (auto* refusal = std::get_if<std::string>(&dll)) {
        return *refusal;
    }
    program.coredll = std::move(std::get<sim::DllImage>(dll));
    // The unit's loader prints this and refuses to start the program.
    if (auto missing = sim::MissingImportLine(*program.image, *program.coredll)) {
        return *options.exe + ": " + *missing;
    }
    return std::nullopt;
}

}  // namespace simoptions
