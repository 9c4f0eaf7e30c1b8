// One thing found wrong in a unit's setup, as kelbrun-sim --check reports it.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_FINDING_H
#define KELBRUN_TOOLS_KELBRUN_SIM_FINDING_H

#include <string>
#include <vector>

namespace setupcheck {

struct Finding {
    // An error stops the launcher, or what it should start, on the unit; a warning is a setup
    // that works only by luck or differs from what it seems to say.
    enum class Level { kError, kWarning };
    Level level = Level::kError;
    std::string text;  // where (key and value), what is wrong, what it leads to

    friend bool operator==(const Finding&, const Finding&) = default;
};

using Findings = std::vector<Finding>;

}  // namespace setupcheck

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_FINDING_H
