// --release DIR: an OS design's flat release folder as makeimg leaves it, read as the unit's
// image: its merged registry (reginit.ini), file list (ce.bib) and object store (initobj.dat),
// its files as the image's \Windows, its coredll.dll for --coredll and its Kelbrun.EXE for
// --exe. What the command line gives besides adds to the folder's files (--registry, --bib,
// --dat after the folder's) or overrides them (--coredll, --exe).
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_RELEASE_FOLDER_H
#define KELBRUN_TOOLS_KELBRUN_SIM_RELEASE_FOLDER_H

#include <optional>
#include <string>

#include "platform/sim/device.h"
#include "tools/kelbrun-sim/options.h"

namespace simoptions {

// Puts the folder's files in the options, before the command line's own; gives an error
// message when the folder is no release folder (no reginit.ini, ce.bib or coredll.dll).
std::optional<std::string> ReadReleaseFolder(Options& options);

// Gives each image file of \Windows that the folder holds the folder's copy as content.
std::optional<std::string> ApplyReleaseFiles(const Options& options, sim::Device& device);

}  // namespace simoptions

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_RELEASE_FOLDER_H
