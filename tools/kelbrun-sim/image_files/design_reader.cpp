// The one way a file of an OS design goes: read through the file seam, as text, as logical
// lines, through its kind's preprocessor, and as its kind's statements, into a copy of what it
// is read into, which replaces it only when the whole file reads.
#include "tools/kelbrun-sim/image_files/design_reader.h"

#include <utility>

#include "tools/kelbrun-sim/image_files/statements.h"

namespace imagefiles {

template <typename Target>
std::optional<Error> DesignReader::Load(FileKind kind, const std::string& file, Target& target) {
    const auto bytes = files_.Read(file);
    if (!bytes) {
        return At(Origin{file, 0, {}}, "cannot be read");
    }
    return Apply(kind, *bytes, file, file, target);
}

template <typename Target>
std::optional<Error> DesignReader::Apply(FileKind kind, std::string_view bytes,
                                         const std::string& name,
                                         const std::filesystem::path& hostFile, Target& target) {
    Target changed = target;
    const size_t warningsBefore = warnings_.size();
    try {
        const Origin file{name, 0, {}};
        // Joined as an image-builder file's lines: an editor export's read the same (a line
        // of it that would not is one only the image builder writes).
        const std::vector<LogicalLine> lines =
            JoinLines(DecodeText(bytes, settings_.codepage, file), Syntax::kImageBuilder, file);
        Take(kind, lines, file, hostFile, changed);
    } catch (const Failure& failure) {
        warnings_.resize(warningsBefore);
        return failure.error;
    }
    target = std::move(changed);
    return std::nullopt;
}

void DesignReader::Take(FileKind, const std::vector<LogicalLine>& lines, const Origin& file,
                        const std::filesystem::path& hostFile, sim::Registry& registry) {
    const Syntax syntax = RegistrySyntaxOf(lines);
    TakeRegistryLines(syntax == Syntax::kEditorExport ? ExportLines(lines, file, settings_.codepage)
                                                      : registryFiles_.Run(lines, file, hostFile),
                      syntax, registry, warnings_);
}

void DesignReader::Take(FileKind kind, const std::vector<LogicalLine>& lines, const Origin& file,
                        const std::filesystem::path& hostFile, ImageContents& image) {
    if (kind == FileKind::kBib) {
        TakeBibLines(bibFiles_.Run(lines, file, hostFile), settings_, files_,
                     hostFile.parent_path(), image, warnings_);
    } else {
        TakeDatLines(datFiles_.Run(lines, file, hostFile), image, warnings_);
    }
}

std::optional<Error> DesignReader::LoadRegistry(const std::string& file, sim::Registry& registry) {
    return Load(FileKind::kRegistry, file, registry);
}

std::optional<Error> DesignReader::LoadBib(const std::string& file, ImageContents& image) {
    return Load(FileKind::kBib, file, image);
}

std::optional<Error> DesignReader::LoadDat(const std::string& file, ImageContents& image) {
    return Load(FileKind::kDat, file, image);
}

std::optional<Error> DesignReader::ApplyRegistry(std::string_view bytes, const std::string& name,
                                                 const std::filesystem::path& hostFile,
                                                 sim::Registry& registry) {
    return Apply(FileKind::kRegistry, bytes, name, hostFile, registry);
}

}  // namespace imagefiles

namespace regfile {

std::optional<Error> Apply(std::string_view bytes, sim::Registry& registry,
                           const Variables& variables) {
    imagefiles::ReadSettings settings;
    settings.variables = variables;
    imagefiles::DesignReader reader(std::move(settings));
    return reader.ApplyRegistry(bytes, "", std::filesystem::path(), registry);
}

std::optional<Error> Apply(std::string_view bytes, sim::Registry& registry) {
    return Apply(bytes, registry, Variables());
}

}  // namespace regfile
