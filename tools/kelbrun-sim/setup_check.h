// kelbrun-sim --check: what in a unit's setup would stop the launcher, or what it should start,
// read from the simulated device before anything runs on it.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_SETUP_CHECK_H
#define KELBRUN_TOOLS_KELBRUN_SIM_SETUP_CHECK_H

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/device.h"
#include "tools/kelbrun-sim/boot_order.h"
#include "tools/kelbrun-sim/finding.h"
#include "tools/kelbrun-sim/image_check.h"

namespace setupcheck {

// A start-up shortcut in \Windows\StartUp, which the shell opens once it runs.
struct Shortcut {
    std::u16string name;    // the .lnk file's name
    std::u16string target;  // the program it opens
    bool launcher = false;
    bool known = true;  // its content: not for one of the image's whose host file is not known
};

struct Report {
    bootorder::BootOrder order;
    size_t bootStopsAt = 0;  // the first entry that waits in vain; the entries' count if none
    std::set<uint32_t> notInImage;   // the launch numbers whose program the image lacks
    bool shortcutsLookedAt = false;  // only with a root folder or an image
    std::vector<Shortcut> shortcuts;
    Findings findings;
};

// Checks the device as set up for a run. hasRoot: a root folder was given, so that the files
// the registry names can be looked for. context: the image and the build's variables, if known.
Report CheckSetup(const sim::Device& device, bool hasRoot,
                  const imagecheck::CheckContext& context = {});

// The boot order, then the findings' lines (FindingLines), then the counts.
std::string FormatReport(const Report& report, bool verbose = false);

// What a design's file said in passing, as a finding of the check: a warning of its file and
// line, of a kind the report counts together. forCheck: an #include not read says what of the
// check it may hide.
Finding ReaderWarning(const imagefiles::Error& warning, bool forCheck);

size_t CountErrors(const Findings& findings);

}  // namespace setupcheck

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_SETUP_CHECK_H
