#include "tools/kelbrun-sim/image_files/preprocessor.h"

#include <functional>
#include <system_error>
#include <utility>

#include "platform/sim/text.h"

namespace imagefiles {

namespace {

// The keyword that starts the line, when the line is that keyword alone or followed by blanks.
bool HasKeyword(std::u16string_view text, std::u16string_view keyword) {
    return StartsWithFolded(text, keyword) &&
           (text.size() == keyword.size() || IsBlank(text[keyword.size()]));
}

bool IsWordChar(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
           c == u'_';
}

}  // namespace

// Which kind of block a line opened, so that each is closed by its own kind.
enum class BlockKind { kHashIf, kIf, kCesysgen };

namespace {

const char* KeywordOf(BlockKind kind, std::string_view what) {
    static const char* const kNames[3][4] = {
        {"#if", "#else", "#endif", "#elif"},
        {"IF", "ELSE", "ENDIF", "ELSE"},
        {"@CESYSGEN IF", "@CESYSGEN ELSE", "@CESYSGEN ENDIF", "@CESYSGEN ELSEIF"}};
    const int column = what == "if" ? 0 : what == "else" ? 1 : what == "endif" ? 2 : 3;
    return kNames[static_cast<int>(kind)][column];
}

// The blocks open in one file, innermost last; each is decided within its parent.
class BlockStack {
  public:
    // Whether a line here is read: every block around it holds.
    bool Live() const {
        return blocks_.empty() || blocks_.back().live;
    }

    void Open(BlockKind kind, int line, bool holds) {
        const bool parentLive = Live();
        blocks_.push_back(Block{kind, line, parentLive, parentLive && holds, holds, false});
    }

    // An ELSE (holds empty) or an #elif or ELSEIF with whether its condition holds.
    void Otherwise(BlockKind kind, const Origin& where, std::optional<bool> holds) {
        Block& block = Top(kind, where, holds ? "elif" : "else");
        if (block.elseSeen) {
            Fail(where, std::string(KeywordOf(kind, holds ? "elif" : "else")) + " after the " +
                            KeywordOf(kind, "else") + " of the " + KeywordOf(kind, "if") +
                            " of line " + std::to_string(block.line));
        }
        const bool branch = holds.value_or(true);
        block.live = block.parentLive && !block.taken && branch;
        block.taken = block.taken || branch;
        block.elseSeen = !holds.has_value();
    }

    void Close(BlockKind kind, const Origin& where) {
        Top(kind, where, "endif");
        blocks_.pop_back();
    }

    // At the end of its file: a block never goes on past it.
    void RefuseOpen(const Origin& file) const {
        if (!blocks_.empty()) {
            const Block& block = blocks_.back();
            Fail(Origin{file.file, block.line, file.includedFrom},
                 std::string("this ") + KeywordOf(block.kind, "if") +
                     " is never closed: the file ends before its " +
                     KeywordOf(block.kind, "endif"));
        }
    }

  private:
    struct Block {
        BlockKind kind;
        int line = 0;
        bool parentLive = true;
        bool live = true;
        bool taken = false;  // a branch of it held already
        bool elseSeen = false;
    };

    Block& Top(BlockKind kind, const Origin& where, const char* what) {
        if (blocks_.empty()) {
            Fail(where,
                 std::string(KeywordOf(kind, what)) + " without its " + KeywordOf(kind, "if"));
        }
        if (blocks_.back().kind != kind) {
            Fail(where, std::string(KeywordOf(kind, what)) + " inside the " +
                            KeywordOf(blocks_.back().kind, "if") + " of line " +
                            std::to_string(blocks_.back().line) + ", which is not closed yet");
        }
        return blocks_.back();
    }

    std::vector<Block> blocks_;
};

}  // namespace

struct Preprocessor::Frame {
    Origin file;  // its line is 0
    std::filesystem::path hostFile;
    int depth = 0;
    BlockStack blocks;
};

const std::u16string* Preprocessor::Find(std::u16string_view name) const {
    const auto found = defines_.find(sim::FoldCase(name));
    return found != defines_.end() ? &found->second : settings_.variables.Find(name);
}

std::u16string Preprocessor::Substitute(std::u16string_view text,
                                        std::optional<std::u16string>& undefined,
                                        std::optional<std::u16string_view> undefinedAs) const {
    std::u16string out;
    size_t i = 0;
    // The first $(NAME) of a text that none defines: kept from a #define made before NAME was.
    auto leftIn = [](std::u16string_view value) -> std::optional<std::u16string> {
        const size_t start = value.find(u"$(");
        const size_t end = start == std::u16string_view::npos ? start : value.find(u')', start);
        if (end == std::u16string_view::npos) {
            return std::nullopt;
        }
        return std::u16string(value.substr(start, end + 1 - start));
    };
    while (i < text.size()) {
        const size_t start = text.find(u"$(", i);
        const size_t end = start == std::u16string_view::npos ? start : text.find(u')', start);
        if (end == std::u16string_view::npos) {
            out += text.substr(i);
            break;
        }
        out += text.substr(i, start - i);
        const std::u16string_view name = text.substr(start + 2, end - start - 2);
        if (const std::u16string* value = Find(name)) {
            out += *value;
            if (!undefined) {
                undefined = leftIn(*value);
            }
        } else {
            out += undefinedAs ? *undefinedAs : text.substr(start, end + 1 - start);
            if (!undefined) {
                undefined = std::u16string(text.substr(start, end + 1 - start));
            }
        }
        i = end + 1;
    }
    return out;
}

std::u16string Preprocessor::ReplaceStrings(std::u16string_view text, const Origin& where,
                                            std::optional<std::u16string>& missing) const {
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == u'"') {
            // A quoted text is the file's own words, not a token.
            const auto end = QuotedEnd(text.substr(i));
            const size_t length = end ? *end : text.size() - i;
            out += text.substr(i, length);
            i += length;
            continue;
        }
        const bool starts =
            StartsWith(text.substr(i), u"LOC_") && (i == 0 || !IsWordChar(text[i - 1]));
        if (!starts) {
            out += text[i++];
            continue;
        }
        size_t end = i;
        while (end < text.size() && IsWordChar(text[end])) {
            ++end;
        }
        const std::u16string_view token = text.substr(i, end - i);
        const auto found = settings_.strings.find(sim::FoldCase(token));
        if (found != settings_.strings.end()) {
            out += found->second;
        } else if (settings_.stringsGiven) {
            Fail(where, sim::ToUtf8(token) +
                            " is defined in no --strings file (makeimg stops on a LOC_ token that "
                            "no .str file defines): give it in a .str file or as --define " +
                            sim::ToUtf8(token) + "=VALUE");
        } else {
            out += token;
            if (!missing) {
                missing = std::u16string(token);
            }
        }
        i = end;
    }
    return out;
}

std::vector<PreparedLine> Preprocessor::Run(const std::vector<LogicalLine>& lines,
                                            const Origin& file,
                                            const std::filesystem::path& hostFile) {
    Frame frame{file, hostFile, 0, BlockStack()};
    open_.clear();
    std::error_code ec;
    open_.push_back(std::filesystem::weakly_canonical(hostFile, ec));
    std::vector<PreparedLine> out;
    out.reserve(lines.size());
    Process(lines, frame, out);
    return out;
}

void Preprocessor::Process(const std::vector<LogicalLine>& lines, Frame& frame,
                           std::vector<PreparedLine>& out) {
    for (const LogicalLine& line : lines) {
        const Origin where{frame.file.file, line.number, frame.file.includedFrom};
        const std::u16string_view text = line.text;
        if (text.empty()) {
            CommentLine(line, where, frame, out);
        } else if (StartsWith(text, u"#")) {
            Directive(line, where, frame, out);
        } else if (!BlockLine(text, where, frame) && frame.blocks.Live() &&
                   // An image-builder file may start with a REGEDIT4 line, which says nothing.
                   !(line.number == 1 && sim::FoldCase(text) == u"REGEDIT4")) {
            RefuseUnmapped(line.unmapped, where, settings_.codepage);
            PreparedLine prepared{{}, where, std::nullopt, std::nullopt, 0, {}};
            const std::u16string substituted = Substitute(text, prepared.undefined);
            prepared.text = ReplaceStrings(substituted, where, prepared.missingString);
            out.push_back(std::move(prepared));
        }
    }
    frame.blocks.RefuseOpen(frame.file);
}

void Preprocessor::CommentLine(const LogicalLine& line, const Origin& where, Frame& frame,
                               std::vector<PreparedLine>& out) const {
    const std::u16string_view comment = Trim(line.comment);
    if (line.commentedOnLines > 0 && frame.blocks.Live()) {
        out.push_back(PreparedLine{
            {}, where, std::nullopt, std::nullopt, line.commentedOnLines, std::u16string(comment)});
    }
    if (!settings_.cesysgen || !StartsWithFolded(comment, u"@CESYSGEN")) {
        return;
    }
    // Cefilter's markers, read here as it reads them for files that it has not filtered.
    std::u16string_view rest = TrimLeft(comment.substr(9));
    if (HasKeyword(rest, u"IF")) {
        frame.blocks.Open(BlockKind::kCesysgen, line.number, CesysgenHolds(rest.substr(2), where));
    } else if (HasKeyword(rest, u"ELSEIF") ||
               (HasKeyword(rest, u"ELSE") && HasKeyword(TrimLeft(rest.substr(4)), u"IF"))) {
        rest = HasKeyword(rest, u"ELSEIF") ? rest.substr(6) : TrimLeft(rest.substr(4)).substr(2);
        frame.blocks.Otherwise(BlockKind::kCesysgen, where, CesysgenHolds(rest, where));
    } else if (HasKeyword(rest, u"ELSE")) {
        frame.blocks.Otherwise(BlockKind::kCesysgen, where, std::nullopt);
    } else if (HasKeyword(rest, u"ENDIF")) {
        frame.blocks.Close(BlockKind::kCesysgen, where);
    } else {
        Fail(where, "a @CESYSGEN line is IF, ELSE, ELSE IF, ELSEIF or ENDIF");
    }
}

bool Preprocessor::BlockLine(std::u16string_view text, const Origin& where, Frame& frame) const {
    if (HasKeyword(text, u"IF")) {
        frame.blocks.Open(BlockKind::kIf, where.line, IfHolds(text.substr(2), where));
    } else if (HasKeyword(text, u"ELSE")) {
        if (!Trim(text.substr(4)).empty()) {
            Fail(where, "ELSE takes nothing after it");
        }
        frame.blocks.Otherwise(BlockKind::kIf, where, std::nullopt);
    } else if (HasKeyword(text, u"ENDIF")) {
        // Real files name the block again after ENDIF, or leave a note: it says nothing.
        frame.blocks.Close(BlockKind::kIf, where);
    } else {
        return false;
    }
    return true;
}

void Preprocessor::Directive(const LogicalLine& line, const Origin& where, Frame& frame,
                             std::vector<PreparedLine>& out) {
    const std::u16string_view text = line.text;
    const std::vector<std::u16string_view> words = Words(text.substr(1));
    const std::u16string keyword = words.empty() ? u"" : sim::FoldCase(words[0]);
    const std::u16string_view argument =
        Trim(TrimLeft(text.substr(1)).substr(words.empty() ? 0 : words[0].size()));
    if (keyword == u"IF") {
        frame.blocks.Open(BlockKind::kHashIf, line.number, HashIfHolds(argument, where));
        return;
    }
    if (keyword == u"ELIF" || keyword == u"ELSE") {
        frame.blocks.Otherwise(
            BlockKind::kHashIf, where,
            keyword == u"ELIF" ? std::optional<bool>(HashIfHolds(argument, where)) : std::nullopt);
        return;
    }
    if (keyword == u"ENDIF") {
        frame.blocks.Close(BlockKind::kHashIf, where);
        return;
    }
    if (!frame.blocks.Live()) {
        return;
    }
    RefuseUnmapped(line.unmapped, where, settings_.codepage);
    if (keyword == u"DEFINE") {
        if (words.size() < 2) {
            Fail(where, "#define needs a name: #define NAME [VALUE]");
        }
        std::optional<std::u16string> undefined;
        const std::u16string_view value = Trim(argument.substr(words[1].size()));
        defines_[sim::FoldCase(words[1])] = Substitute(value, undefined);
    } else if (keyword == u"UNDEF") {
        if (words.size() != 2) {
            Fail(where, "#undef takes one name");
        }
        defines_.erase(sim::FoldCase(words[1]));
    } else if (keyword == u"INCLUDE") {
        Include(argument, where, frame, out);
    } else if (keyword == u"ERROR") {
        Fail(where, "#error " + sim::ToUtf8(argument));
    } else if (keyword == u"MESSAGE") {
        warnings_.push_back(At(where, "#message " + sim::ToUtf8(argument)));
    } else {
        Fail(where, "unknown directive: #" + sim::ToUtf8(words.empty() ? u"" : words[0]) +
                        " (fMerge's are #define, #undef, #include, #error, #message, #if, "
                        "#elif, #else and #endif)");
    }
}

void Preprocessor::NotRead(const Origin& where, std::u16string_view path, const std::string& why) {
    Error warning = At(where, "#include \"" + sim::ToUtf8(path) + "\" is not read: " + why);
    warning.kind = Error::Kind::kIncludeNotRead;
    warning.missing = sim::ToUtf8(path);
    warnings_.push_back(std::move(warning));
}

void Preprocessor::Include(std::u16string_view argument, const Origin& where, const Frame& frame,
                           std::vector<PreparedLine>& out) {
    std::optional<std::u16string> undefined;
    std::u16string path = Substitute(argument, undefined);
    if (path.size() >= 2 && ((path.front() == u'"' && path.back() == u'"') ||
                             (path.front() == u'<' && path.back() == u'>'))) {
        path = path.substr(1, path.size() - 2);
    }
    const std::string named = "#include \"" + sim::ToUtf8(path) + "\"";
    if (path.empty()) {
        Fail(where, "#include needs a file: #include \"FILE\"");
    }
    if (undefined) {
        NotRead(
            where, path,
            sim::ToUtf8(*undefined) + " is not defined (give it with --define or --environment)");
        return;
    }
    std::string why;
    const auto host =
        ResolveWindowsPath(path, frame.hostFile.parent_path(), settings_.maps, files_, why);
    if (!host) {
        NotRead(where, path, why);
        return;
    }
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(*host, ec);
    for (const std::filesystem::path& reading : open_) {
        if (reading == canonical) {
            Fail(where, named + " includes a file that is being read already: an include cycle");
        }
    }
    if (frame.depth + 1 > kMaxIncludeDepth) {
        Fail(where,
             named + " nests includes deeper than " + std::to_string(kMaxIncludeDepth) + " files");
    }
    const auto bytes = files_.Read(*host);
    if (!bytes) {
        NotRead(where, path, host->string() + " cannot be read");
        return;
    }
    std::string includedFrom = where.file + ":" + std::to_string(where.line);
    if (!where.includedFrom.empty()) {
        includedFrom += ", " + where.includedFrom;
    }
    Frame inner{Origin{host->string(), 0, includedFrom}, *host, frame.depth + 1, BlockStack()};
    const std::vector<LogicalLine> lines = JoinLines(
        DecodeText(*bytes, settings_.codepage, inner.file), Syntax::kImageBuilder, inner.file);
    open_.push_back(canonical);
    Process(lines, inner, out);
    open_.pop_back();
}

}  // namespace imagefiles
