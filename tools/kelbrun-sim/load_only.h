// kelbrun-sim --exe FILE --load-only: what a unit's loader makes of a device executable, one line
// each, without running it. For the integrator whose unit prints "function @ Ordinal N missing".
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_LOAD_ONLY_H
#define KELBRUN_TOOLS_KELBRUN_SIM_LOAD_ONLY_H

#include <ostream>
#include <string>

#include "platform/sim/emulator/pe_image.h"

namespace simloadonly {

// The description of a loaded image: where it is placed, its sections with their addresses,
// sizes and protections, the stack reserve, the entry and every import.
std::string Describe(const sim::PeImage& image);

// Reads the file and prints its description to out (status 0), or the reason the unit would
// refuse it to err as one line naming the file (status 2).
int DescribeLoad(const std::string& file, std::ostream& out, std::ostream& err);

}  // namespace simloadonly

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_LOAD_ONLY_H
