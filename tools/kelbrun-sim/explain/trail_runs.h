// The launcher's lines of a log, told apart into runs: each run's lookups, its folder lines,
// its probes, and how it ended as far as the log shows.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_EXPLAIN_TRAIL_RUNS_H
#define KELBRUN_TOOLS_KELBRUN_SIM_EXPLAIN_TRAIL_RUNS_H

#include <optional>
#include <string>
#include <vector>

#include "tools/kelbrun-sim/explain/log_reader.h"

namespace explainlog {

// One folder lookup: its folder when it was read, else the line that says why not.
struct Lookup {
    bool read = false;
    std::u16string folder;
    std::optional<TrailLine> failure;  // "RegOpenKeyEx Failed" or "RegQueryValueEx Failed"
};

enum class Ending {
    kStartedCardCopy,  // the card's copy exists: handed to the shell
    kStartedNavigator,
    kFoundNothing,    // neither program there: nothing started
    kNotConfigured,   // the card or data-storage folder not configured: no wait, nothing started
    kOwnPathUnknown,  // its own path unknown: no wait, nothing started
    kCardCopy,        // its folder lines and nothing after, while the log goes on
    kLogEnds,         // its folder lines, then the log ends (or goes on for less than the pause)
    kCutOff,          // the trail stops, or starts, in the middle
};

struct Run {
    std::vector<TrailLine> lines;  // in the log's order
    std::optional<TrailLine> ownPathFailure;
    std::vector<Lookup> lookups;  // SDMMC, DataStorage, User, as far as the log has them
    int folderLines = 0;          // of the three "...Path: %s" lines
    std::vector<TrailLine> probes;
    Ending ending = Ending::kCutOff;
    std::string cut;                   // for kCutOff: where the trail stops and what it was doing
    std::optional<uint64_t> waitedMs;  // the timestamps' gap from the folder lines to a probe

    // Whether the card (SDMMC) and data-storage folders were configured: read, and not empty.
    bool Configured() const;
};

// The runs of a log, in order. A new run starts where a line begins one (a first lookup, or
// the failed own-path query) that the run before cannot take.
std::vector<Run> SplitRuns(const LogLines& log);

}  // namespace explainlog

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_EXPLAIN_TRAIL_RUNS_H
