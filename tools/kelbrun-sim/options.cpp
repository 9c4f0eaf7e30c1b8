#include "tools/kelbrun-sim/options.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/sim/emulator/coredll.h"
#include "platform/sim/emulator/pe_image.h"
#include "platform/sim/host_file.h"

#include "platform/sim/text.h"
#include "tools/kelbrun-sim/image_files/design_reader.h"
#include "tools/kelbrun-sim/image_files/device_image.h"

namespace simoptions {

const char kUsage[] =
    "usage: kelbrun-sim [--registry FILE]... [--define NAME[=VALUE]]... [--root DIR] "
    "[--self PATH]\n"
    "                   [--environment FILE]... [--strings FILE]... [--codepage N]\n"
    "                   [--map 'C:\\WINCE500=DIR']... [--cesysgen] [--bib FILE]... "
    "[--dat FILE]...\n"
    "                   [--no-wait] [--shell-fails] [--mount FOLDER=MS]... "
    "[--export-registry FILE]\n"
    "                   [--exe FILE [--cpu armv4t|armv5te] [--load-only]] [--check]\n"
    "                   [--verbose] [--explain LOG]\n"
    "--check writes the unit's boot order and what in its setup would stop the launcher,\n"
    "        and runs nothing (exit status 1 when it finds an error): the errors first, and\n"
    "        of each kind of warning three and a count; --verbose lists every warning\n"
    "--registry, --bib, --dat: an OS design's .reg, .bib and .dat files, read as the image\n"
    "        builder reads them; --environment: the build window's variables (set > FILE);\n"
    "        --define wins over it; --strings: .str files for LOC_ tokens, --define\n"
    "        LOC_NAME=VALUE one token; --codepage: of files that are not UTF-8 (default\n"
    "        1252); --map: the host folder of a Windows folder named by #include and .bib\n"
    "        paths; --cesysgen: decide @CESYSGEN blocks\n"
    "--explain LOG says what a unit's debug log tells of the launcher's runs; with the\n"
    "        unit's registry and files, where each run departs from the dry run\n";

// An hour of device time: far beyond any boot, and well inside the device clock's range.
constexpr uint32_t kLatestMountMs = 3600000;

namespace {

// "FOLDER=MS": the folder up to the last "=", then a whole number of milliseconds.
MountOption ParseMount(const std::string& value) {
    const size_t equals = value.rfind('=');
    if (equals == std::string::npos || equals == 0) {
        throw UsageError{"--mount needs FOLDER=MS, such as \\SDMMC=1200; not " + value};
    }
    MountOption mount{value.substr(0, equals), 0};
    const std::string ms = value.substr(equals + 1);
    uint32_t atMs = 0;
    bool valid = !ms.empty();
    for (char c : ms) {
        if (c < '0' || c > '9' || atMs > kLatestMountMs) {
            valid = false;
            break;
        }
        atMs = atMs * 10 + static_cast<uint32_t>(c - '0');
    }
    if (!valid || atMs > kLatestMountMs) {
        throw UsageError{"--mount " + value +
                         ": MS must be a whole number of milliseconds from 0 to " +
                         std::to_string(kLatestMountMs)};
    }
    mount.atMs = atMs;
    return mount;
}

// "NAME=VALUE", split at the first "=" (names have none); "NAME" alone sets NAME to 1, as a
// build's "set NAME=1" would.
DefineOption ParseDefine(const std::string& value) {
    const size_t equals = value.find('=');
    DefineOption define{value.substr(0, equals), "1"};
    if (equals != std::string::npos) {
        define.value = value.substr(equals + 1);
    }
    if (define.name.empty() || define.value.empty() ||
        define.name.find_first_of(" \t!") != std::string::npos) {
        throw UsageError{
            "--define needs NAME or NAME=VALUE, a name without blanks or ! and a "
            "value that is not empty; not " +
            value};
    }
    return define;
}

// "PREFIX=FOLDER", split at the first "=" (a Windows path has none).
MapOption ParseMap(const std::string& value) {
    const size_t equals = value.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == value.size()) {
        throw UsageError{
            "--map needs WINDOWS-FOLDER=HOST-FOLDER, such as "
            "'C:\\WINCE500=/srv/wince500'; not " +
            value};
    }
    return MapOption{value.substr(0, equals), value.substr(equals + 1)};
}

int ParseCodepage(const std::string& value) {
    int codepage = 0;
    bool valid = !value.empty() && value.size() <= 5;
    for (char c : value) {
        valid = valid && c >= '0' && c <= '9';
        codepage = valid ? codepage * 10 + (c - '0') : 0;
    }
    if (!valid || !imagefiles::IsKnownCodepage(codepage)) {
        throw UsageError{
            "--codepage takes a Windows code page this host's converter knows, such "
            "as 1252 or 936; not " +
            value};
    }
    return codepage;
}

sim::Processor ParseCpu(const std::string& cpu) {
    if (cpu == "armv4t") {
        return sim::Processor::kArmv4t;
    }
    if (cpu == "armv5te") {
        return sim::Processor::kArmv5te;
    }
    throw UsageError{"--cpu takes armv4t or armv5te, not " + cpu};
}

// Options that each make sense only with another, or never together.
void RefuseContradictions(const Options& options) {
    if (options.loadOnly && !options.exe) {
        throw UsageError{"--load-only describes the loading of --exe, and there is no --exe"};
    }
    if (options.cpu && !options.exe) {
        throw UsageError{"--cpu chooses the processor for --exe, and there is no --exe"};
    }
    if (options.explain && (options.check || options.exe || options.exportRegistry)) {
        throw UsageError{"--explain reads a log beside a dry run of its own; it takes no " +
                         std::string(options.check ? "--check"
                                     : options.exe ? "--exe"
                                                   : "--export-registry")};
    }
    if (options.check && (options.exe || options.exportRegistry)) {
        throw UsageError{std::string("--check runs nothing and writes no registry; it takes no ") +
                         (options.exe ? "--exe" : "--export-registry")};
    }
}

}  // namespace

Options ParseOptions(int argc, char** argv, int first) {
    Options options;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        auto nextValue = [&]() -> std::string {
            if (i + 1 >= argc) {
                throw UsageError{arg + " needs a value"};
            }
            return argv[++i];
        };
        auto takeValue = [&](std::optional<std::string>& slot) {
            if (slot) {
                throw UsageError{arg + " is given twice"};
            }
            slot = nextValue();
        };
        if (arg == "--registry") {
            options.registries.push_back(nextValue());
        } else if (arg == "--define") {
            options.defines.push_back(ParseDefine(nextValue()));
        } else if (arg == "--environment") {
            options.environments.push_back(nextValue());
        } else if (arg == "--strings") {
            options.strings.push_back(nextValue());
        } else if (arg == "--codepage") {
            if (options.codepage) {
                throw UsageError{arg + " is given twice"};
            }
            options.codepage = ParseCodepage(nextValue());
        } else if (arg == "--map") {
            options.maps.push_back(ParseMap(nextValue()));
        } else if (arg == "--cesysgen") {
            options.cesysgen = true;
        } else if (arg == "--bib") {
            options.bibs.push_back(nextValue());
        } else if (arg == "--dat") {
            options.dats.push_back(nextValue());
        } else if (arg == "--export-registry") {
            takeValue(options.exportRegistry);
        } else if (arg == "--root") {
            takeValue(options.root);
        } else if (arg == "--self") {
            takeValue(options.self);
        } else if (arg == "--no-wait") {
            options.noWait = true;
        } else if (arg == "--mount") {
            options.mounts.push_back(ParseMount(nextValue()));
        } else if (arg == "--exe") {
            takeValue(options.exe);
        } else if (arg == "--cpu") {
            if (options.cpu) {
                throw UsageError{arg + " is given twice"};
            }
            options.cpu = ParseCpu(nextValue());
        } else if (arg == "--load-only") {
            options.loadOnly = true;
        } else if (arg == "--shell-fails") {
            options.shellFails = true;
        } else if (arg == "--check") {
            options.check = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--explain") {
            takeValue(options.explain);
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else {
            throw UsageError{"unknown argument: " + arg};
        }
    }
    RefuseContradictions(options);
    return options;
}

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
    auto image = sim::ReadPeImage(*bytes, sim::CoredllOffers);
    if (auto* refusal = std::get_if<std::string>(&image)) {
        return file + ": " + *refusal;
    }
    program.image = std::move(std::get<sim::PeImage>(image));
    program.processor = options.cpu.value_or(sim::Processor::kArmv4t);
    return std::nullopt;
}

sim::RunResult RunProgramOnDevice(const Program& program) {
    return program.image ? sim::RunExecutable(*program.image, program.processor)
                         : sim::RunLauncher();
}

}  // namespace simoptions
