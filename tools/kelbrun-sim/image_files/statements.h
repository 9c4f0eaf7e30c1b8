// The last stage of each kind of file: its statements, taken from its prepared lines into what
// the file is read into. Each throws Failure for a line it refuses.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_STATEMENTS_H
#define KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_STATEMENTS_H

#include <filesystem>
#include <vector>

#include "platform/sim/registry.h"
#include "tools/kelbrun-sim/image_files/design_files.h"
#include "tools/kelbrun-sim/image_files/image_contents.h"
#include "tools/kelbrun-sim/image_files/preprocessor.h"
#include "tools/kelbrun-sim/image_files/source_text.h"

namespace imagefiles {

// Which kind a .reg file is, told once from its lines joined as an image-builder file's: see
// docs/simulator.md.
Syntax RegistrySyntaxOf(const std::vector<LogicalLine>& lines);

// An editor export's lines, which no preprocessor reads: no directive, no token, no block.
// Refuses the lines that only an image-builder file may hold.
std::vector<PreparedLine> ExportLines(const std::vector<LogicalLine>& lines, const Origin& file,
                                      int codepage);

void TakeRegistryLines(const std::vector<PreparedLine>& lines, Syntax syntax,
                       sim::Registry& registry, std::vector<Error>& warnings);
// folder: where the .bib file is, from which a relative host path starts.
void TakeBibLines(const std::vector<PreparedLine>& lines, const ReadSettings& settings,
                  const DesignFiles& files, const std::filesystem::path& folder,
                  ImageContents& image, std::vector<Error>& warnings);
void TakeDatLines(const std::vector<PreparedLine>& lines, ImageContents& image,
                  std::vector<Error>& warnings);

}  // namespace imagefiles

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_STATEMENTS_H
