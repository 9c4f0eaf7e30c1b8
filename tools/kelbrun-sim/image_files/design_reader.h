// Reads an OS design's files as Platform Builder's image builder does, each the one way
// design_reader.cpp holds: its bytes read through the file seam, as text, as logical lines,
// through the preprocessor, and then as its own statements: the .reg files of both kinds into a
// registry, the .bib files into the image's \Windows files, the .dat files into the object
// store's folders and copies. A file is read whole or not at all.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_DESIGN_READER_H
#define KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_DESIGN_READER_H

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/registry.h"
#include "tools/kelbrun-sim/image_files/design_files.h"
#include "tools/kelbrun-sim/image_files/image_contents.h"
#include "tools/kelbrun-sim/image_files/preprocessor.h"
#include "tools/kelbrun-sim/image_files/source_text.h"

namespace imagefiles {

// The kinds of file a design is made of; a .reg file's syntax is told from its lines.
enum class FileKind { kRegistry, kBib, kDat };

// The files of one run, read in order; each kind merges into what the ones before it gave,
// a later value or file replacing an earlier one. On an error nothing of the failing file is
// kept: what it was read into, and the warnings, are as they were.
class DesignReader {
  public:
    // files: where the files and what they include are read from; it must outlive the reader.
    explicit DesignReader(ReadSettings settings, const DesignFiles& files = TheHostFiles())
        : settings_(std::move(settings)),
          files_(files),
          registryFiles_(settings_, files_, warnings_),
          bibFiles_(settings_, files_, warnings_),
          datFiles_(settings_, files_, warnings_) {}
    DesignReader(const DesignReader&) = delete;
    DesignReader& operator=(const DesignReader&) = delete;

    // The file, read through the files; one that cannot be read is an error of line 0.
    std::optional<Error> LoadRegistry(const std::string& file, sim::Registry& registry);
    std::optional<Error> LoadBib(const std::string& file, ImageContents& image);
    std::optional<Error> LoadDat(const std::string& file, ImageContents& image);

    // A .reg file given as its bytes: name is how errors and origins name it; hostFile is where
    // its includes start.
    std::optional<Error> ApplyRegistry(std::string_view bytes, const std::string& name,
                                       const std::filesystem::path& hostFile,
                                       sim::Registry& registry);

    // What was read but is worth saying: includes that could not be opened, LOC_ tokens with
    // no .str file given, #message lines, lines skipped. Each names the file and line.
    const std::vector<Error>& Warnings() const {
        return warnings_;
    }

  private:
    template <typename Target>
    std::optional<Error> Load(FileKind kind, const std::string& file, Target& target);
    template <typename Target>
    std::optional<Error> Apply(FileKind kind, std::string_view bytes, const std::string& name,
                               const std::filesystem::path& hostFile, Target& target);
    void Take(FileKind kind, const std::vector<LogicalLine>& lines, const Origin& file,
              const std::filesystem::path& hostFile, sim::Registry& registry);
    void Take(FileKind kind, const std::vector<LogicalLine>& lines, const Origin& file,
              const std::filesystem::path& hostFile, ImageContents& image);

    ReadSettings settings_;
    const DesignFiles& files_;
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
