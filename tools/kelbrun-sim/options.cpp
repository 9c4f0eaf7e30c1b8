#include "tools/kelbrun-sim/options.h"

#include <filesystem>
#include <system_error>

#include "platform/sim/emulator/coredll.h"
#include "platform/sim/emulator/pe_image.h"
#include "platform/sim/host_file.h"

#include "platform/sim/text.h"
#include "tools/kelbrun-sim/reg_file.h"

namespace simoptions {

const char kUsage[] =
    "usage: kelbrun-sim [--registry FILE]... [--define NAME[=VALUE]]... [--root DIR] "
    "[--self PATH]\n"
    "                   [--no-wait] [--shell-fails] [--mount FOLDER=MS]... "
    "[--export-registry FILE]\n"
    "                   [--exe FILE [--cpu armv4t|armv5te] [--load-only]] [--check]\n"
    "--check writes the unit's boot order and what in its setup would stop the launcher,\n"
    "        and runs nothing (exit status 1 when it finds an error)\n";

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
            const std::string cpu = nextValue();
            if (cpu == "armv4t") {
                options.cpu = sim::Processor::kArmv4t;
            } else if (cpu == "armv5te") {
                options.cpu = sim::Processor::kArmv5te;
            } else {
                throw UsageError{"--cpu takes armv4t or armv5te, not " + cpu};
            }
        } else if (arg == "--load-only") {
            options.loadOnly = true;
        } else if (arg == "--shell-fails") {
            options.shellFails = true;
        } else if (arg == "--check") {
            options.check = true;
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else {
            throw UsageError{"unknown argument: " + arg};
        }
    }
    if (options.loadOnly && !options.exe) {
        throw UsageError{"--load-only describes the loading of --exe, and there is no --exe"};
    }
    if (options.cpu && !options.exe) {
        throw UsageError{"--cpu chooses the processor for --exe, and there is no --exe"};
    }
    if (options.check && (options.exe || options.exportRegistry)) {
        throw UsageError{std::string("--check runs nothing and writes no registry; it takes no ") +
                         (options.exe ? "--exe" : "--export-registry")};
    }
    return options;
}

// Sets the device up from the options; gives an error message when it cannot.
std::optional<std::string> SetUpDevice(const Options& options, sim::Device& device) {
    regfile::Variables variables;
    for (const DefineOption& define : options.defines) {
        const auto name = sim::FromUtf8(define.name);
        const auto value = sim::FromUtf8(define.value);
        if (!name || !value) {
            return "--define " + define.name + ": not UTF-8 text";
        }
        variables.Set(*name, *value);
    }
    for (const std::string& file : options.registries) {
        if (auto error = regfile::Load(file, device.registry, variables)) {
            const std::string where = error->line > 0 ? ":" + std::to_string(error->line) : "";
            return file + where + ": " + error->message;
        }
    }
    if (options.root) {
        std::error_code ec;
        if (!std::filesystem::is_directory(*options.root, ec)) {
            return *options.root + ": not a folder";
        }
        device.files.SetRoot(std::filesystem::path(*options.root));
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
