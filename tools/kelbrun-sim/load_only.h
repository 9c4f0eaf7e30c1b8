// kelbrun-sim --exe FILE --load-only: what a unit's loader makes of a device executable, one line
// each, without running it. For the integrator whose unit prints "function @ Ordinal N missing".
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_LOAD_ONLY_H
#define KELBRUN_TOOLS_KELBRUN_SIM_LOAD_ONLY_H

#include <ostream>
#include <string>
#include <string_view>

#include "platform/sim/emulator/pe_image.h"

namespace simloadonly {

// The description of a loaded image: where it is placed, its sections with their addresses,
// sizes and protections, the stack reserve, the entry and every import.
std::string Describe(const sim::PeImage& image);

// What a unit's CreateProcessW gives for a program file of these bytes: that it starts it, or
// the error with the loader's line and reason. One line.
std::string DescribeStart(std::string_view file);

// Reads the file and prints the processor it is for, its description and what a unit's
// CreateProcessW gives for it to out (status 0); or, when a unit's loader refuses its headers,
// the processor and that outcome to out and the reason to err as one line naming the file
// (status 2).
int DescribeLoad(const std::string& file, std::ostream& out, std::ostream& err);

}  // namespace simloadonly

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_LOAD_ONLY_H
