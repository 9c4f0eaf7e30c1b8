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
#include "tools/kelbrun-sim/image_files/build_variables.h"
#include "tools/kelbrun-sim/image_files/image_contents.h"
#include "tools/kelbrun-sim/image_files/source_text.h"

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

// --map 'C:\WINCE500=/srv/wince500': where a Windows folder of the build machine is on this host.
struct MapOption {
    std::string windowsPrefix;
    std::string hostFolder;
};

struct Options {
    std::vector<std::string> registries;  // read in order into one registry
    std::vector<DefineOption> defines;
    std::vector<std::string> environments;  // "set > FILE" files, read in order
    std::vector<std::string> strings;       // .str files of LOC_ tokens, read in order
    std::optional<int> codepage;            // of files that are not UTF-8
    std::vector<MapOption> maps;
    bool cesysgen = false;          // decide @CESYSGEN blocks, for files not filtered by sysgen
    std::vector<std::string> bibs;  // the image's files
    std::vector<std::string> dats;  // the object store's folders and copies
    std::optional<std::string> exportRegistry;
    std::optional<std::string> root;
    std::optional<std::string> self;
    bool noWait = false;
    bool shellFails = false;
    bool help = false;
    bool verbose = false;  // every warning, not the first few of a kind and a count
    bool check = false;    // report what in the setup would stop the launcher, and run nothing
    std::vector<MountOption> mounts;
    std::optional<std::string> exe;  // a device executable to run instead of the linked-in launcher
    std::optional<sim::Processor> cpu;
    bool loadOnly = false;  // describe what the unit's loader makes of --exe, and run nothing
    std::optional<std::string> explain;  // a unit's debug log, read for what the launcher did
};

// A command line that cannot be read: what is wrong with it.
struct UsageError {
    std::string message;
};

// Reads argv[first] onwards; throws UsageError.
Options ParseOptions(int argc, char** argv, int first = 1);

// What the OS design's files gave besides the registry, for the device's file system and for
// --check.
struct Setup {
    imagefiles::ImageContents image;          // from --bib and --dat
    imagefiles::Variables variables;          // --environment, then --define: a --define wins
    std::vector<imagefiles::Error> warnings;  // each naming the file and line
    bool describesImage = false;              // a --bib or --dat was given
};

// Sets the device up from the options; gives an error message (one line, naming the file and
// line of a bad file, and the line that included it) when it cannot.
std::optional<std::string> SetUpDevice(const Options& options, sim::Device& device, Setup& setup);
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
