// kelbrun-sim's report of a run on standard error: what happened on the device, one "sim: "
// line an event, in the order of the device's clock.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_REPORT_H
#define KELBRUN_TOOLS_KELBRUN_SIM_REPORT_H

#include <string>
#include <vector>

#include "platform/sim/file_system.h"
#include "platform/sim/startup.h"

namespace simreport {

// The report's lines, each ending in "\n": the pauses and shell requests, each folder's mount
// among them at its time (a mount at the same time as a call comes first, since the call
// finds it there), the folders still unmounted when the run ended, and how the run ended.
std::string Describe(const sim::RunResult& result, const std::vector<sim::Mount>& mounts);

}  // namespace simreport

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_REPORT_H
