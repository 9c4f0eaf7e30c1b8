// Reads an OS design's files as Platform Builder's image builder does, each through the same
// stages (text, lines, preprocessor) and then its own statements: the .reg files of both
// kinds into a registry, the .bib files into the image's \Windows files, the .dat files into
// the object store's folders and copies.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_DESIGN_READER_H
#define KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_DESIGN_READER_H

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/registry.h"
#include "tools/kelbrun-sim/image_files/image_contents.h"
#include "tools/kelbrun-sim/image_files/preprocessor.h"
#include "tools/kelbrun-sim/image_files/source_text.h"

namespace imagefiles {

// Which kind a .reg file is, told from its lines: see docs/simulator.md. Throws Failure, naming
// file, for a REGEDIT4 file whose lines cannot be joined.
Syntax RegistrySyntaxOf(const std::vector<TextLine>& lines, const Origin& file);

// The files of one run, read in order; each kind merges into what the ones before it gave,
// a later value or file replacing an earlier one. On an error nothing of the failing file is
// kept: what it was read into is as it was.
class DesignReader {
  public:
    explicit DesignReader(ReadSettings settings)
        : settings_(std::move(settings)),
          registryFiles_(settings_, warnings_),
          bibFiles_(settings_, warnings_),
          datFiles_(settings_, warnings_) {}
    DesignReader(const DesignReader&) = delete;
    DesignReader& operator=(const DesignReader&) = delete;

    // name is how errors and origins name the file; hostFile is where its includes start.
    std::optional<Error> ApplyRegistry(std::string_view bytes, const std::string& name,
                                       const std::filesystem::path& hostFile,
                                       sim::Registry& registry);
    std::optional<Error> ApplyBib(std::string_view bytes, const std::string& name,
                                  const std::filesystem::path& hostFile, ImageContents& image);
    std::optional<Error> ApplyDat(std::string_view bytes, const std::string& name,
                                  const std::filesystem::path& hostFile, ImageContents& image);

    // The same, read from the host file; a file that cannot be read is an error of line 0.
    std::optional<Error> LoadRegistry(const std::string& file, sim::Registry& registry);
    std::optional<Error> LoadBib(const std::string& file, ImageContents& image);
    std::optional<Error> LoadDat(const std::string& file, ImageContents& image);

    // What was read but is worth saying: includes that could not be opened, LOC_ tokens with
    // no .str file given, #message lines. One line each, naming the file and line.
    const std::vector<Error>& Warnings() const {
        return warnings_;
    }

  private:
    ReadSettings settings_;
    std::vector<Error> warnings_;
    Preprocessor registryFiles_;
    Preprocessor bibFiles_;
    Preprocessor datFiles_;
};

}  // namespace imagefiles

// The registry files alone, for the callers that read a file's bytes with the build's
// variables and nothing else.
namespace regfile {

using imagefiles::Error;
using imagefiles::Variables;

// Applies a .reg file, given as its bytes, to registry; on an error the registry is left
// exactly as it was.
std::optional<Error> Apply(std::string_view bytes, sim::Registry& registry,
                           const Variables& variables);
std::optional<Error> Apply(std::string_view bytes, sim::Registry& registry);

}  // namespace regfile

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_DESIGN_READER_H
