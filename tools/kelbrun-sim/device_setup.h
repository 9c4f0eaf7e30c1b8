// The simulated device set up from kelbrun-sim's options, and the program run on it: the linked-in
// launcher, or a device executable on the emulated processor, on the COREDLL model or on a unit's
// own coredll.dll.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_DEVICE_SETUP_H
#define KELBRUN_TOOLS_KELBRUN_SIM_DEVICE_SETUP_H

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/sim/device.h"
#include "platform/sim/emulator/arm_machine.h"
#include "platform/sim/emulator/kernel/coredll_image.h"
#include "tools/kelbrun-sim/image_files/build_variables.h"
#include "tools/kelbrun-sim/image_files/image_contents.h"
#include "tools/kelbrun-sim/image_files/source_text.h"
#include "tools/kelbrun-sim/options.h"

namespace simoptions {

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
    std::optional<sim::DllImage> coredll;  // a unit's own, when the image runs on it
};

// Loads the executable the options name, if any; gives an error message naming the file and
// why the device would not start it.
std::optional<std::string> LoadProgram(const Options& options, Program& program);

// Loads --coredll, if given, for the program loaded from --exe, and checks that it has every
// import the program needs (coredll_option.cpp).
std::optional<std::string> LoadCoredll(const Options& options, Program& program);
// Reads a unit's coredll.dll; gives it, or the one line that says why it is none.
std::variant<sim::DllImage, std::string> ReadCoredll(const std::string& file);
bool AnyFunction(std::string_view name);

// Runs the program once on the current device.
sim::RunResult RunProgramOnDevice(const Program& program);

}  // namespace simoptions

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_DEVICE_SETUP_H
