// kelbrun-sim's command line: how a simulated device is described by options
// (device_setup.h sets the device up from them). kelbrun-bench reads the same options.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_OPTIONS_H
#define KELBRUN_TOOLS_KELBRUN_SIM_OPTIONS_H

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/sim/device.h"
#include "platform/sim/emulator/arm_machine.h"
#include "platform/sim/emulator/kernel/coredll_image.h"
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
    std::optional<std::string> coredll;  // a unit's own coredll.dll to run --exe on
    std::optional<std::string> release;  // an OS design's flat release folder
};

// A command line that cannot be read: what is wrong with it.
struct UsageError {
    std::string message;
};

// Reads argv[first] onwards; throws UsageError.
Options ParseOptions(int argc, char** argv, int first = 1);

}  // namespace simoptions

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_OPTIONS_H
