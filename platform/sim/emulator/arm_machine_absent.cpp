// The simulated device without its ARM processor: for hosts where Unicorn is not available,
// such as the emulated ARM builds of the simulator itself.
#include <stdexcept>

#include "platform/sim/emulator/arm_machine.h"

namespace sim {

RunResult RunExecutable(const PeImage&, Processor, const DllImage*) {
    throw std::runtime_error(
        "this kelbrun-sim was built without the ARM processor (libunicorn-dev)");
}

bool HasArmProcessor() {
    return false;
}

}  // namespace sim
