// kelbrun-sim's command line: how a simulated device is described by options, and set up
// from them. kelbrun-bench reads the same options.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_OPTIONS_H
#define KELBRUN_TOOLS_KELBRUN_SIM_OPTIONS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/device.h"
#include "platform/sim/emulator/arm_machine.h"

namespace simoptions {

extern const char kUsage[];

struct MountOption {
    std::string folder;
    uint32_t atMs = 0;
};

// --define NAME[=VALUE]: a variable of the image build, for the IF blocks of image-builder files.
struct DefineOption {
    std::string name;
    std::string value;
};

struct Options {
    std::vector<std::string> registries;  // read in order into one registry
    std::vector<DefineOption> defines;
    std::optional<std::string> exportRegistry;
    std::optional<std::string> root;
    std::optional<std::string> self;
    bool noWait = false;
    bool shellFails = false;
    bool help = false;
    bool check = false;  // report what in the setup would stop the launcher, and run nothing
    std::vector<MountOption> mounts;
    std::optional<std::string> exe;  // a device executable to run instead of the linked-in launcher
    std::optional<sim::Processor> cpu;
    bool loadOnly = false;  // describe what the unit's loader makes of --exe, and run nothing
};

// A command line that cannot be read: what is wrong with it.
struct UsageError {
    std::string message;
};

// Reads argv[first] onwards; throws UsageError.
Options ParseOptions(int argc, char** argv, int first = 1);

// Sets the device up from the options; gives an error message (naming the file and line of a
// bad .reg file) when it cannot.
std::optional<std::string> SetUpDevice(const Options& options, sim::Device& device);

// What runs on the device: the linked-in launcher, or a device executable on the emulated
// processor.
struct Program {
    std::optional<sim::PeImage> image;
    sim::Processor processor = sim::Processor::kArmv4t;
};

// Loads the executable the options name, if any; gives an error message naming the file and
// why the device would not start it.
std::optional<std::string> LoadProgram(const Options& options, Program& program);

// Runs the program once on the current device.
sim::RunResult RunProgramOnDevice(const Program& program);

}  // namespace simoptions

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_OPTIONS_H
