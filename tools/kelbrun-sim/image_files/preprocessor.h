// The image builder's preprocessor, as fMerge and makeimg apply it to .reg, .bib and .dat
// files: #define, #undef, #include, #error, #message and #if blocks; IF blocks on the build's
// variables; @CESYSGEN blocks, decided only when asked; $(NAME) and LOC_ tokens replaced.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_PREPROCESSOR_H
#define KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_PREPROCESSOR_H

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/kelbrun-sim/image_files/build_variables.h"
#include "tools/kelbrun-sim/image_files/design_files.h"
#include "tools/kelbrun-sim/image_files/host_paths.h"
#include "tools/kelbrun-sim/image_files/image_contents.h"
#include "tools/kelbrun-sim/image_files/settings_files.h"
#include "tools/kelbrun-sim/image_files/source_text.h"

namespace imagefiles {

// What a run reads its files with.
struct ReadSettings {
    Variables variables;  // --environment, then --define
    std::vector<PathMap> maps;
    bool cesysgen = false;  // decide @CESYSGEN blocks by the build's modules and components
    int codepage = kDefaultCodepage;
    bool stringsGiven = false;  // a --strings file was given: a LOC_ token none defines stops
    std::map<std::u16string, std::u16string> strings;  // by folded LOC_ name: what replaces it
};

// A line as the statements read it: every directive done, its tokens replaced.
struct PreparedLine {
    std::u16string text;
    Origin where;
    // The first $(NAME) that nothing defines, left in the text as it was.
    std::optional<std::u16string> undefined;
    // The first LOC_ token that no .str file defines (with no --strings given), left as it was.
    std::optional<std::u16string> missingString;
    // A line with no text of its own, whose commented-out value goes on onto this many lines
    // (LogicalLine's commentedOnLines); where names the comment's line.
    int commentedOnLines = 0;
    std::u16string comment;  // the commented-out value's first line, for such a line
};

// Deepest #include nesting read; one more is refused.
constexpr int kMaxIncludeDepth = 32;

// One preprocessor for the files of one kind that a run reads in order: a #define holds from
// its line on, into the files after its own, as fMerge reads them in one pass; a block never
// goes on past the end of its file.
class Preprocessor {
  public:
    Preprocessor(const ReadSettings& settings, const DesignFiles& files,
                 std::vector<Error>& warnings)
        : settings_(settings), files_(files), warnings_(warnings) {}

    // The file's prepared lines; hostFile is where it is (its folder is where its relative
    // #include paths start). Throws Failure.
    std::vector<PreparedLine> Run(const std::vector<LogicalLine>& lines, const Origin& file,
                                  const std::filesystem::path& hostFile);

    // A variable's value as the files see it: a #define first, then the build's variables.
    const std::u16string* Find(std::u16string_view name) const;

  private:
    struct Frame;
    void Process(const std::vector<LogicalLine>& lines, Frame& frame,
                 std::vector<PreparedLine>& out);
    // The kinds of line Process reads: a line of comment alone (a @CESYSGEN marker, a value
    // commented out that goes on), a #directive, and an IF, ELSE or ENDIF line (false for
    // another line).
    void CommentLine(const LogicalLine& line, const Origin& where, Frame& frame,
                     std::vector<PreparedLine>& out) const;
    void Directive(const LogicalLine& line, const Origin& where, Frame& frame,
                   std::vector<PreparedLine>& out);
    bool BlockLine(std::u16string_view text, const Origin& where, Frame& frame) const;
    // Whether a block's condition holds: an IF line's, a #if or #elif line's, a @CESYSGEN
    // line's by Cefilter's rule. Throw Failure for a malformed one.
    bool IfHolds(std::u16string_view condition, const Origin& where) const;
    bool HashIfHolds(std::u16string_view expression, const Origin& where) const;
    bool CesysgenHolds(std::u16string_view condition, const Origin& where) const;
    bool ComponentHolds(const std::u16string& name) const;
    // An #include that is not read: a warning naming its file, and why.
    void NotRead(const Origin& where, std::u16string_view path, const std::string& why);
    void Include(std::u16string_view argument, const Origin& where, const Frame& frame,
                 std::vector<PreparedLine>& out);
    // Replaces each $(NAME) once; one nothing defines is left as it is, or becomes undefinedAs,
    // and the first such is kept in undefined.
    std::u16string Substitute(std::u16string_view text, std::optional<std::u16string>& undefined,
                              std::optional<std::u16string_view> undefinedAs = std::nullopt) const;
    std::u16string ReplaceStrings(std::u16string_view text, const Origin& where,
                                  std::optional<std::u16string>& missing) const;

    const ReadSettings& settings_;
    const DesignFiles& files_;
    std::vector<Error>& warnings_;
    std::map<std::u16string, std::u16string> defines_;  // by folded name
    std::vector<std::filesystem::path> open_;           // the files being read, outermost first
};

}  // namespace imagefiles

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_PREPROCESSOR_H
