// kelbrun-sim --check: whether the unit can start the programs the launcher and the launch loop
// hand to it, loaded by the same loader rules as a run (platform/sim/program_start.h): a file
// that is there but is no program the unit starts stops the update or the navigation
// application as surely as a missing one.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_PROGRAM_START_CHECK_H
#define KELBRUN_TOOLS_KELBRUN_SIM_PROGRAM_START_CHECK_H

#include <string_view>

#include "platform/sim/device.h"
#include "tools/kelbrun-sim/boot_order.h"
#include "tools/kelbrun-sim/finding.h"

namespace programstartcheck {

// The card's copy and the navigation application, at the paths the launcher composes: each
// that is there and that the unit cannot start is an error naming the cause and the box the
// shell shows; the card's copy being a folder is a warning (an Explorer window opens on it).
void CheckLauncherPrograms(const sim::Device& device, std::u16string_view cardCopy,
                           std::u16string_view navigator, setupcheck::Findings& findings);

// Each init entry's program that the kernel finds, loaded as the launch loop's CreateProcess
// loads it: one it cannot start is an error (the loop shows no box; it counts the entry as done,
// and the entry is marked so for the check of what waits for it).
void CheckInitPrograms(const sim::Device& device, bootorder::BootOrder& order,
                       setupcheck::Findings& findings);

}  // namespace programstartcheck

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_PROGRAM_START_CHECK_H
