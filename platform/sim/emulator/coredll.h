// The simulated device's COREDLL, as a program running on the emulated processor sees it: each
// exported function it offers, bound to the simulated device's implementation of that function.
#ifndef KELBRUN_PLATFORM_SIM_EMULATOR_COREDLL_H
#define KELBRUN_PLATFORM_SIM_EMULATOR_COREDLL_H

#include <string_view>

#include "platform/sim/emulator/arm_machine.h"

namespace sim {

struct CoredllFunction {
    const char* name;
    void (*call)(ArmCall& call);
};

// The function of that name, or nothing when the simulated COREDLL does not offer it.
const CoredllFunction* FindCoredllFunction(std::string_view name);

bool CoredllOffers(std::string_view name);

}  // namespace sim

#endif  // KELBRUN_PLATFORM_SIM_EMULATOR_COREDLL_H
