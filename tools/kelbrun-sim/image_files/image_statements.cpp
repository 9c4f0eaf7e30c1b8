// The statements of .bib and .dat files: the image's \Windows files, and the folders and copies
// the object store makes at cold boot.
#include <map>
#include <utility>

#include "platform/sim/text.h"
#include "tools/kelbrun-sim/image_files/statements.h"

namespace imagefiles {
namespace {

enum class Section { kNone, kModules, kFiles, kOther };

class BibStatements {
  public:
    BibStatements(ImageContents& image, const ReadSettings& settings, const DesignFiles& files,
                  const std::filesystem::path& folder, std::vector<Error>& warnings)
        : image_(image), settings_(settings), files_(files), folder_(folder), warnings_(warnings) {
        for (size_t i = 0; i < image_.files.size(); ++i) {
            index_[sim::FoldCase(image_.files[i].name)] = i;
        }
    }

    void Take(const PreparedLine& line) {
        const std::vector<std::u16string_view> fields = Words(line.text);
        if (fields.empty()) {
            return;
        }
        if (fields.size() == 1) {
            const std::u16string word = sim::FoldCase(fields[0]);
            if (word == u"MODULES" || word == u"FILES" || word == u"MEMORY" || word == u"CONFIG") {
                section_ = word == u"MODULES" ? Section::kModules
                           : word == u"FILES" ? Section::kFiles
                                              : Section::kOther;
                return;
            }
        }
        if (section_ == Section::kNone) {
            Fail(line.where, "expected a section line (MODULES, FILES, MEMORY or CONFIG) first");
        }
        if (section_ == Section::kOther) {
            return;  // the image's memory and settings say nothing of its files
        }
        if (line.missingString) {
            warnings_.push_back(
                StringNotReplaced(line.where, *line.missingString, "this file is left out"));
            return;
        }
        if (fields.size() < 3) {
            Fail(line.where, "a MODULES or FILES line is NAME HOST-PATH MEMORY [FLAGS]");
        }
        const std::u16string_view name = fields[0];
        if (name.find(u"$(") != std::u16string_view::npos) {
            Fail(line.where, sim::ToUtf8(name) +
                                 ": a file's name takes a $(NAME) that is "
                                 "defined nowhere (give it with --define or "
                                 "--environment)");
        }
        if (name.find_first_of(u"\\/:") != std::u16string_view::npos) {
            Fail(line.where, "a .bib name is a file of \\Windows, without a folder");
        }
        ImageFile file{std::u16string(name), std::nullopt, section_ == Section::kModules,
                       line.where};
        // A host path that names a variable nobody gave is the release folder's business: the
        // file is in the image, its content unknown here.
        if (fields[1].find(u"$(") == std::u16string_view::npos) {
            std::string why;
            if (auto host = ResolveWindowsPath(fields[1], folder_, settings_.maps, files_, why)) {
                file.content = std::move(*host);
            }
        }
        const auto [entry, added] = index_.try_emplace(sim::FoldCase(name), image_.files.size());
        if (added) {
            image_.files.push_back(std::move(file));
        } else {
            image_.files[entry->second] = std::move(file);
        }
    }

  private:
    ImageContents& image_;
    const ReadSettings& settings_;
    const DesignFiles& files_;
    std::filesystem::path folder_;
    std::vector<Error>& warnings_;
    Section section_ = Section::kNone;
    std::map<std::u16string, size_t> index_;  // by folded name: its place in image_.files
};

const char kDatForm[] =
    "a .dat line is root:-Directory(\"NAME\"), root:-File(\"NAME\",\"\\Windows\\FILE\"), "
    "Directory(\"\\PATH\"):-Directory(\"NAME\") or Directory(\"\\PATH\"):-File(\"NAME\","
    "\"\\Windows\\FILE\")";

// A small reader of one .dat line's tokens.
class DatLine {
  public:
    DatLine(std::u16string_view text, const Origin& where) : text_(text), where_(where) {}

    bool TakeWord(std::u16string_view word) {
        text_ = TrimLeft(text_);
        if (!StartsWithFolded(text_, word)) {
            return false;
        }
        text_.remove_prefix(word.size());
        return true;
    }

    void Expect(std::u16string_view token) {
        if (!TakeWord(token)) {
            Fail(where_, kDatForm);
        }
    }

    // A quoted text; a .dat file's backslashes are path separators, not escapes.
    std::u16string Quoted() {
        text_ = TrimLeft(text_);
        const size_t end =
            StartsWith(text_, u"\"") ? text_.find(u'"', 1) : std::u16string_view::npos;
        if (end == std::u16string_view::npos) {
            Fail(where_, kDatForm);
        }
        std::u16string quoted(text_.substr(1, end - 1));
        text_.remove_prefix(end + 1);
        return quoted;
    }

    void End() {
        if (!Trim(text_).empty()) {
            Fail(where_, kDatForm);
        }
    }

  private:
    std::u16string_view text_;
    const Origin& where_;
};

std::u16string JoinDevicePath(std::u16string_view folder, std::u16string_view name) {
    std::u16string path(folder);
    while (!path.empty() && path.back() == u'\\') {
        path.pop_back();
    }
    if (!StartsWith(path, u"\\")) {
        path.insert(path.begin(), u'\\');
    }
    while (StartsWith(name, u"\\")) {
        name.remove_prefix(1);
    }
    return path == u"\\" ? path + std::u16string(name) : path + u"\\" + std::u16string(name);
}

void TakeDatLine(const PreparedLine& line, ImageContents& image, std::vector<Error>& warnings) {
    if (line.text.empty()) {
        return;
    }
    if (line.missingString) {
        warnings.push_back(
            StringNotReplaced(line.where, *line.missingString, "this line is left out"));
        return;
    }
    if (line.undefined) {
        Fail(line.where, sim::ToUtf8(*line.undefined) +
                             " is defined nowhere: give it with --define or --environment");
    }
    DatLine dat(line.text, line.where);
    std::u16string folder = u"\\";
    if (!dat.TakeWord(u"root")) {
        dat.Expect(u"Directory");
        dat.Expect(u"(");
        folder = JoinDevicePath(dat.Quoted(), u"");
        dat.Expect(u")");
    }
    dat.Expect(u":-");
    if (dat.TakeWord(u"Directory")) {
        dat.Expect(u"(");
        const std::u16string name = dat.Quoted();
        dat.Expect(u")");
        dat.End();
        image.folders.push_back(StoreFolder{JoinDevicePath(folder, name), line.where});
        return;
    }
    dat.Expect(u"File");
    dat.Expect(u"(");
    const std::u16string name = dat.Quoted();
    dat.Expect(u",");
    const std::u16string source = dat.Quoted();
    dat.Expect(u")");
    dat.End();
    image.copies.push_back(StoreCopy{JoinDevicePath(folder, name), source, line.where});
}

}  // namespace

void TakeBibLines(const std::vector<PreparedLine>& lines, const ReadSettings& settings,
                  const DesignFiles& files, const std::filesystem::path& folder,
                  ImageContents& image, std::vector<Error>& warnings) {
    BibStatements statements(image, settings, files, folder, warnings);
    for (const PreparedLine& line : lines) {
        statements.Take(line);
    }
}

void TakeDatLines(const std::vector<PreparedLine>& lines, ImageContents& image,
                  std::vector<Error>& warnings) {
    for (const PreparedLine& line : lines) {
        TakeDatLine(line, image, warnings);
    }
}

}  // namespace imagefiles
