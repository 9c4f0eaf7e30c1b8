// kelbrun-sim --explain LOG: what a unit's debug log says the launcher did, in the dry run's
// words, and, given the unit's registry and files, where the log departs from a dry run.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_EXPLAIN_EXPLAIN_H
#define KELBRUN_TOOLS_KELBRUN_SIM_EXPLAIN_EXPLAIN_H

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/kelbrun-sim/explain/trail_runs.h"
#include "tools/kelbrun-sim/device_setup.h"

namespace simexplain {

// What an error code in a failure line means there.
std::string ErrorMeaning(explainlog::TrailLine::Kind kind, int code);

// The lines that tell one run, each ending in "\n"; previous is the run before it, if any.
std::string DescribeRun(const explainlog::Run& run, size_t number, const explainlog::Run* previous);

// Where the run's trail first departs from a dry run's (its lines without their line ends),
// and what that means; nothing when the log follows the dry run as far as it goes.
std::optional<std::string> Departure(const explainlog::Run& run,
                                     const std::vector<std::u16string>& dryTrail);

// Reads the log options.explain names and writes what it says to out; with device options,
// runs the dry run beside each run of the log. Gives the exit status: 2 when the log or a
// device file cannot be read (the one line on err), 1 when the log holds no trail, else 0.
int ExplainLog(const simoptions::Options& options, std::ostream& out, std::ostream& err);

}  // namespace simexplain

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_EXPLAIN_EXPLAIN_H
