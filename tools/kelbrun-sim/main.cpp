// kelbrun-sim: a dry run of the launcher on a simulated device, described by a registry export
// and a folder that stands for the device's root folder.
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/device.h"
#include "platform/sim/startup.h"
#include "platform/sim/text.h"
#include "tools/kelbrun-sim/reg_file.h"

namespace {

const char kUsage[] =
    "usage: kelbrun-sim [--registry FILE] [--root DIR] [--self PATH] [--no-wait] "
    "[--shell-fails]\n";

struct Options {
    std::optional<std::string> registry;
    std::optional<std::string> root;
    std::optional<std::string> self;
    bool noWait = false;
    bool shellFails = false;
    bool help = false;
};

struct UsageError {
    std::string message;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto takeValue = [&](std::optional<std::string>& slot) {
            if (slot) {
                throw UsageError{arg + " is given twice"};
            }
            if (i + 1 >= argc) {
                throw UsageError{arg + " needs a value"};
            }
            slot = argv[++i];
        };
        if (arg == "--registry") {
            takeValue(options.registry);
        } else if (arg == "--root") {
            takeValue(options.root);
        } else if (arg == "--self") {
            takeValue(options.self);
        } else if (arg == "--no-wait") {
            options.noWait = true;
        } else if (arg == "--shell-fails") {
            options.shellFails = true;
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else {
            throw UsageError{"unknown argument: " + arg};
        }
    }
    return options;
}

int Fail(const std::string& message) {
    std::cerr << "kelbrun-sim: " << message << "\n";
    return 2;
}

// Sets the device up from the options; gives an error message when it cannot.
std::optional<std::string> SetUpDevice(const Options& options, sim::Device& device) {
    if (options.registry) {
        if (auto error = regfile::Load(*options.registry, device.registry)) {
            const std::string where = error->line > 0 ? ":" + std::to_string(error->line) : "";
            return *options.registry + where + ": " + error->message;
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
    device.waitForReal = !options.noWait;
    device.shellRefuses = options.shellFails;
    return std::nullopt;
}

void Report(const sim::RunResult& result) {
    for (const std::u16string& line : result.record.trail) {
        std::cout << sim::ToUtf8(line);
    }
    std::cout.flush();
    for (const sim::Event& event : result.record.events) {
        if (event.kind == sim::Event::Kind::kSleep) {
            std::cerr << "sim: sleep " << event.milliseconds << " ms\n";
        } else {
            std::cerr << "sim: open " << sim::ToUtf8(event.request.file)
                      << (event.request.accepted ? "" : " refused") << "\n";
        }
    }
    if (result.exited) {
        std::cerr << "sim: exit " << result.status << "\n";
    } else {
        std::cerr << "kelbrun-sim: the launcher ended abnormally (signal " << result.signal
                  << ")\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const UsageError& error) {
        std::cerr << "kelbrun-sim: " << error.message << " (kelbrun-sim --help shows the usage)\n";
        return 2;
    }
    if (options.help) {
        std::cout << kUsage;
        return 0;
    }
    try {
        sim::Device& device = sim::CurrentDevice();
        if (auto error = SetUpDevice(options, device)) {
            return Fail(*error);
        }
        const sim::RunResult result = sim::RunLauncher();
        Report(result);
        return result.exited ? result.status : 128 + result.signal;
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
}
