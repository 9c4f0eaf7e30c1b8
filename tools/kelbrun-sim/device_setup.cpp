#include "tools/kelbrun-sim/device_setup.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/sim/emulator/coredll.h"
#include "platform/sim/emulator/pe_image.h"
#include "platform/sim/host_file.h"
#include "platform/sim/text.h"
#include "tools/kelbrun-sim/image_files/design_reader.h"
#include "tools/kelbrun-sim/image_files/device_image.h"
#include "tools/kelbrun-sim/release_folder.h"

namespace simoptions {

namespace {

// Reads one file of the settings (an environment file, a .str file) with read; gives the one
// line of its refusal.
template <typename Read>
std::optional<std::string> ReadSettingFile(const std::string& file, Read read) {
    const auto bytes = sim::ReadHostFile(file);
    if (!bytes) {
        return file + ": cannot be read";
    }
    try {
        read(std::string_view(*bytes), imagefiles::Origin{file, 0, {}});
    } catch (const imagefiles::Failure& failure) {
        return failure.error.Describe();
    }
    return std::nullopt;
}

bool IsStringToken(const std::string& name) {
    static constexpr char kPrefix[] = "LOC_";
    for (size_t i = 0; i < 4; ++i) {
        if (i >= name.size() || std::toupper(static_cast<unsigned char>(name[i])) != kPrefix[i]) {
            return false;
        }
    }
    return name.size() > 4;
}

// --define LOC_NAME=VALUE, read as the .str line "#define LOC_NAME VALUE" is: VALUE in quotes
// is inserted with them, ~"VALUE" without; a VALUE not in quotes is taken as quoted text,
// since the shell takes the quotes of --define LOC_NAME="Storage Card" away.
std::optional<std::string> DefineString(const DefineOption& define,
                                        imagefiles::ReadSettings& settings) {
    if (!IsStringToken(define.name)) {
        return std::nullopt;
    }
    const bool quoted = define.value.starts_with('"') || define.value.starts_with("~\"");
    const std::string line =
        "#define " + define.name + " " + (quoted ? define.value : "\"" + define.value + "\"");
    try {
        imagefiles::ReadStrings(line, settings.codepage, imagefiles::Origin{}, settings.strings);
    } catch (const imagefiles::Failure& failure) {
        return "--define " + define.name + "=" + define.value + ": " + failure.error.message;
    }
    return std::nullopt;
}

// The settings every file of the run is read with: the build's variables, its strings, where
// its folders are. Gives an error message when a file of them cannot be read.
std::optional<std::string> ReadSettings(const Options& options, Setup& setup,
                                        imagefiles::ReadSettings& settings) {
    settings.codepage = options.codepage.value_or(imagefiles::kDefaultCodepage);
    settings.cesysgen = options.cesysgen;
    for (const std::string& file : options.environments) {
        if (auto error = ReadSettingFile(file, [&](std::string_view bytes, const auto& origin) {
                imagefiles::ReadEnvironment(bytes, settings.codepage, origin, setup.variables);
            })) {
            return error;
        }
    }
    for (const DefineOption& define : options.defines) {
        const auto name = sim::FromUtf8(define.name);
        const auto value = sim::FromUtf8(define.value);
        if (!name || !value) {
            return "--define " + define.name + ": not UTF-8 text";
        }
        if (!IsStringToken(define.name)) {
            setup.variables.Set(*name, *value);
        }
    }
    settings.variables = setup.variables;
    settings.stringsGiven = !options.strings.empty();
    for (const std::string& file : options.strings) {
        if (auto error = ReadSettingFile(file, [&](std::string_view bytes, const auto& origin) {
                imagefiles::ReadStrings(bytes, settings.codepage, origin, settings.strings);
            })) {
            return error;
        }
    }
    // After the files, as a later .str line wins; a token given so does not make every other
    // token a refusal, as a --strings file does.
    for (const DefineOption& define : options.defines) {
        if (auto error = DefineString(define, settings)) {
            return error;
        }
    }
    for (const MapOption& map : options.maps) {
        const auto prefix = sim::FromUtf8(map.windowsPrefix);
        std::error_code ec;
        if (!prefix) {
            return "--map " + map.windowsPrefix + ": not UTF-8 text";
        }
        if (!std::filesystem::is_directory(map.hostFolder, ec)) {
            return "--map " + map.windowsPrefix + "=" + map.hostFolder + ": " + map.hostFolder +
                   " is not a folder";
        }
        settings.maps.push_back(imagefiles::PathMap{*prefix, map.hostFolder});
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> SetUpDevice(const Options& options, sim::Device& device) {
    Setup setup;
    return SetUpDevice(options, device, setup);
}

// Sets the device up from the options; gives an error message when it cannot.
std::optional<std::string> SetUpDevice(const Options& options, sim::Device& device, Setup& setup) {
    setup = Setup();
    imagefiles::ReadSettings settings;
    if (auto error = ReadSettings(options, setup, settings)) {
        return error;
    }
    imagefiles::DesignReader reader(std::move(settings));
    for (const std::string& file : options.registries) {
        if (auto error = reader.LoadRegistry(file, device.registry)) {
            return error->Describe();
        }
    }
    for (const std::string& file : options.bibs) {
        if (auto error = reader.LoadBib(file, setup.image)) {
            return error->Describe();
        }
    }
    for (const std::string& file : options.dats) {
        if (auto error = reader.LoadDat(file, setup.image)) {
            return error->Describe();
        }
    }
    setup.describesImage = !options.bibs.empty() || !options.dats.empty();
    setup.warnings = reader.Warnings();
    if (options.cesysgen && !setup.variables.HasGateVariable()) {
        // Each @CESYSGEN IF holds only by a variable: with none, every gated block is dropped
        // and the registry shrinks to what no component gates, which can look like a good setup.
        setup.warnings.push_back(imagefiles::At(
            imagefiles::Origin{"--cesysgen", 0, {}},
            "no CE_MODULES, <TREE>_MODULES or <MODULE>_COMPONENTS variable is known (give them "
            "with --environment or --define): every @CESYSGEN IF block is dropped, with the "
            "init entries and storage profiles it holds"));
    }
    if (options.root) {
        std::error_code ec;
        if (!std::filesystem::is_directory(*options.root, ec)) {
            return *options.root + ": not a folder";
        }
        device.files.SetRoot(std::filesystem::path(*options.root));
    }
    // Even a .bib that lists nothing says what \Windows holds.
    if (setup.describesImage) {
        if (auto error = imagefiles::ApplyImage(setup.image, device.files)) {
            return error;
        }
    }
    if (auto error = ApplyReleaseFiles(options, device)) {
        return error;
    }
    if (options.self) {
        const auto self = sim::FromUtf8(*options.self);
        if (!self || self->empty()) {
            return "--self needs a device path in UTF-8 text, such as \\Windows\\Kelbrun.EXE";
        }
        device.ownPath = *self;
    }
    for (const MountOption& mount : options.mounts) {
        const auto folder = sim::FromUtf8(mount.folder);
        if (!folder) {
            return "--mount needs a device path in UTF-8 text, such as \\SDMMC";
        }
        if (!options.root) {
            return "--mount " + mount.folder + " needs --root, the folder it is under";
        }
        if (auto error = device.files.AddMount(*folder, mount.atMs)) {
            return "--mount " + mount.folder + ": " + *error;
        }
    }
    device.waitForReal = !options.noWait;
    device.shellRefuses = options.shellFails;
    return std::nullopt;
}

std::optional<std::string> LoadProgram(const Options& options, Program& program) {
    program = Program();
    if (!options.exe) {
        return std::nullopt;
    }
    const std::string& file = *options.exe;
    if (!sim::HasArmProcessor()) {
        return "--exe " + file + ": this kelbrun-sim was built without the ARM processor " +
               "(libunicorn-dev)";
    }
    const auto bytes = sim::ReadHostFile(file);
    if (!bytes) {
        return file + ": cannot be read";
    }
    // Under a unit's own COREDLL, its export table says what can be bound, not the model.
    auto image = options.coredll ? sim::ReadPeImage(*bytes, AnyFunction, sim::MissingImports::kKeep)
                                 : sim::ReadPeImage(*bytes, sim::CoredllOffers);
    if (auto* refusal = std::get_if<std::string>(&image)) {
        return file + ": " + *refusal;
    }
    program.image = std::move(std::get<sim::PeImage>(image));
    program.processor = options.cpu.value_or(sim::Processor::kArmv4t);
    return LoadCoredll(options, program);
}

sim::RunResult RunProgramOnDevice(const Program& program) {
    return program.image ? sim::RunExecutable(*program.image, program.processor,
                                              program.coredll ? &*program.coredll : nullptr)
                         : sim::RunLauncher();
}

}  // namespace simoptions
