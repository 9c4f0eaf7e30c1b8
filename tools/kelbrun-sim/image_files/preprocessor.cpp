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

// The condition of a block, as a small expression over terms the caller decides.
enum class TokenKind { kWord, kText, kEquals, kNotEquals, kNot, kOr, kAnd, kOpen, kClose };

struct Token {
    TokenKind kind;
    std::u16string text;
};

// IF NAME [= VALUE | != VALUE] [!], joined by || and &&.
const char kIfForm[] =
    "an IF line is IF NAME, IF NAME=VALUE or IF NAME!=VALUE, each with an optional ! after "
    "it to invert it, joined by || or &&";

std::vector<Token> IfTokens(std::u16string_view text) {
    std::vector<Token> tokens;
    size_t i = 0;
    auto stops = [&](size_t at) {
        const char16_t c = text[at];
        return IsBlank(c) || c == u'!' || c == u'=' || c == u'|' || c == u'&';
    };
    while (i < text.size()) {
        const std::u16string_view rest = text.substr(i);
        if (IsBlank(text[i])) {
            ++i;
        } else if (StartsWith(rest, u"||")) {
            tokens.push_back({TokenKind::kOr, {}});
            i += 2;
        } else if (StartsWith(rest, u"&&")) {
            tokens.push_back({TokenKind::kAnd, {}});
            i += 2;
        } else if (StartsWith(rest, u"!=") || StartsWith(rest, u"==") || StartsWith(rest, u"=")) {
            const bool equals = rest[0] == u'=';
            tokens.push_back({equals ? TokenKind::kEquals : TokenKind::kNotEquals, {}});
            i += rest[0] == u'=' && !StartsWith(rest, u"==") ? 1 : 2;
            // The value: up to a blank or a joining operator; a ! glued to its end inverts.
            while (i < text.size() && IsBlank(text[i])) {
                ++i;
            }
            size_t end = i;
            while (end < text.size() && !IsBlank(text[end]) &&
                   !StartsWith(text.substr(end), u"||") && !StartsWith(text.substr(end), u"&&")) {
                ++end;
            }
            std::u16string value(text.substr(i, end - i));
            i = end;
            const bool inverted = !value.empty() && value.back() == u'!';
            if (inverted) {
                value.pop_back();
            }
            tokens.push_back({TokenKind::kWord, value});
            if (inverted) {
                tokens.push_back({TokenKind::kNot, {}});
            }
        } else if (text[i] == u'!') {
            tokens.push_back({TokenKind::kNot, {}});
            ++i;
        } else if (text[i] == u'|' || text[i] == u'&') {
            tokens.push_back({TokenKind::kWord, {}});  // a lone | or &: refused as a term
            ++i;
        } else {
            size_t end = i;
            while (end < text.size() && !stops(end)) {
                ++end;
            }
            tokens.push_back({TokenKind::kWord, std::u16string(text.substr(i, end - i))});
            i = end;
        }
    }
    return tokens;
}

// #if expressions: defined NAME, !, &&, ||, ==, != and parentheses over names and "texts".
const char kHashIfForm[] =
    "a #if expression takes defined NAME, !, &&, ||, == and != over names and \"texts\", and "
    "parentheses";

std::vector<Token> HashIfTokens(std::u16string_view text, const Origin& where) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < text.size()) {
        const std::u16string_view rest = text.substr(i);
        const char16_t c = text[i];
        if (IsBlank(c)) {
            ++i;
        } else if (StartsWith(rest, u"||") || StartsWith(rest, u"&&")) {
            tokens.push_back({c == u'|' ? TokenKind::kOr : TokenKind::kAnd, {}});
            i += 2;
        } else if (StartsWith(rest, u"==") || StartsWith(rest, u"!=")) {
            tokens.push_back({c == u'=' ? TokenKind::kEquals : TokenKind::kNotEquals, {}});
            i += 2;
        } else if (c == u'!' || c == u'(' || c == u')') {
            tokens.push_back({c == u'!'   ? TokenKind::kNot
                              : c == u'(' ? TokenKind::kOpen
                                          : TokenKind::kClose,
                              {}});
            ++i;
        } else if (c == u'"') {
            const auto end = QuotedEnd(rest);
            if (!end) {
                Fail(where, "a quoted text in #if has no closing quote");
            }
            tokens.push_back({TokenKind::kText, std::u16string(rest.substr(1, *end - 2))});
            i += *end;
        } else {
            size_t end = i;
            while (end < text.size() && !IsBlank(text[end]) &&
                   std::u16string_view(u"!()&|=\"").find(text[end]) == std::u16string_view::npos) {
                ++end;
            }
            if (end == i) {
                Fail(where, kHashIfForm);
            }
            tokens.push_back({TokenKind::kWord, std::u16string(text.substr(i, end - i))});
            i = end;
        }
    }
    return tokens;
}

// @CESYSGEN IF [!]COMPONENT [OR|AND|\|\||&& [!]COMPONENT]...
std::vector<Token> CesysgenTokens(std::u16string_view text) {
    std::vector<Token> tokens;
    for (std::u16string_view word : Words(text)) {
        const std::u16string folded = sim::FoldCase(word);
        if (folded == u"||" || folded == u"OR") {
            tokens.push_back({TokenKind::kOr, {}});
            continue;
        }
        if (folded == u"&&" || folded == u"AND") {
            tokens.push_back({TokenKind::kAnd, {}});
            continue;
        }
        while (StartsWith(word, u"!")) {
            tokens.push_back({TokenKind::kNot, {}});
            word.remove_prefix(1);
        }
        if (!word.empty()) {
            tokens.push_back({TokenKind::kWord, std::u16string(word)});
        }
    }
    return tokens;
}

// A recursive reader of a condition's tokens; || joins what && joined, as in C.
class ConditionParser {
  public:
    using Term = std::function<bool(ConditionParser&)>;

    ConditionParser(std::vector<Token> tokens, const Origin& where, const char* form)
        : tokens_(std::move(tokens)), where_(where), form_(form) {}

    bool Whole(const Term& term) {
        if (tokens_.empty()) {
            Fail(where_, form_);
        }
        const bool holds = Or(term);
        if (pos_ != tokens_.size()) {
            Fail(where_, form_);
        }
        return holds;
    }

    bool Or(const Term& term) {
        bool holds = And(term);
        while (Take(TokenKind::kOr)) {
            holds = And(term) || holds;
        }
        return holds;
    }

    bool And(const Term& term) {
        bool holds = term(*this);
        while (Take(TokenKind::kAnd)) {
            holds = term(*this) && holds;
        }
        return holds;
    }

    bool Take(TokenKind kind) {
        if (pos_ < tokens_.size() && tokens_[pos_].kind == kind) {
            ++pos_;
            return true;
        }
        return false;
    }

    // The word at this place, which must be there and not be empty.
    std::u16string Word() {
        if (pos_ >= tokens_.size() || tokens_[pos_].kind != TokenKind::kWord ||
            tokens_[pos_].text.empty()) {
            Fail(where_, form_);
        }
        return tokens_[pos_++].text;
    }

    bool NextIs(TokenKind kind) const {
        return pos_ < tokens_.size() && tokens_[pos_].kind == kind;
    }

    std::u16string TakeAny() {
        if (pos_ >= tokens_.size()) {
            Fail(where_, form_);
        }
        return tokens_[pos_++].text;
    }

    [[noreturn]] void Refuse() const {
        Fail(where_, form_);
    }

  private:
    std::vector<Token> tokens_;
    size_t pos_ = 0;
    const Origin& where_;
    const char* form_;
};

bool IsNumber(std::u16string_view word) {
    if (word.empty()) {
        return false;
    }
    for (char16_t c : word) {
        if (c < u'0' || c > u'9') {
            return false;
        }
    }
    return true;
}

}  // namespace

// Which kind of block a line opened, so that each is closed by its own kind.
enum class BlockKind { kHashIf, kIf, kCesysgen };

struct Preprocessor::Frame {
    Origin file;  // its line is 0
    std::filesystem::path hostFile;
    int depth = 0;

    struct Block {
        BlockKind kind;
        int line = 0;
        bool parentLive = true;
        bool live = true;
        bool taken = false;  // a branch of it held already
        bool elseSeen = false;
    };
    std::vector<Block> blocks;

    bool Live() const {
        return blocks.empty() || blocks.back().live;
    }
};

namespace {

const char* KeywordOf(BlockKind kind, std::string_view what) {
    static const char* const kNames[3][4] = {
        {"#if", "#else", "#endif", "#elif"},
        {"IF", "ELSE", "ENDIF", "ELSE"},
        {"@CESYSGEN IF", "@CESYSGEN ELSE", "@CESYSGEN ENDIF", "@CESYSGEN ELSEIF"}};
    const int column = what == "if" ? 0 : what == "else" ? 1 : what == "endif" ? 2 : 3;
    return kNames[static_cast<int>(kind)][column];
}

}  // namespace

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
                            "no .str file defines)");
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
    Frame frame{file, hostFile, 0, {}};
    open_.clear();
    std::error_code ec;
    open_.push_back(std::filesystem::weakly_canonical(hostFile, ec));
    std::vector<PreparedLine> out;
    out.reserve(lines.size());
    Process(lines, frame, out);
    return out;
}

bool Preprocessor::IfHolds(std::u16string_view condition, const Origin& where) const {
    ConditionParser parser(IfTokens(condition), where, kIfForm);
    return parser.Whole([&](ConditionParser& p) {
        bool inverted = p.Take(TokenKind::kNot);
        const std::u16string name = p.Word();
        const std::u16string* value = Find(name);
        bool holds = value != nullptr;
        if (p.NextIs(TokenKind::kEquals) || p.NextIs(TokenKind::kNotEquals)) {
            const bool equals = p.Take(TokenKind::kEquals);
            if (!equals) {
                p.Take(TokenKind::kNotEquals);
            }
            const std::u16string wanted = p.Word();
            holds = (value != nullptr && *value == wanted) == equals;
        }
        if (p.Take(TokenKind::kNot)) {
            inverted = !inverted;
        }
        return holds != inverted;
    });
}

bool Preprocessor::HashIfHolds(std::u16string_view expression, const Origin& where) const {
    std::optional<std::u16string> undefined;
    // A variable nobody defined stands for an empty text, as in a comparison with "".
    const std::u16string text = Substitute(expression, undefined, u"\"\"");
    ConditionParser parser(HashIfTokens(text, where), where, kHashIfForm);
    std::function<bool(ConditionParser&)> term = [&](ConditionParser& p) -> bool {
        if (p.Take(TokenKind::kNot)) {
            return !term(p);
        }
        if (p.Take(TokenKind::kOpen)) {
            const bool holds = p.Or(term);
            if (!p.Take(TokenKind::kClose)) {
                p.Refuse();
            }
            return holds;
        }
        auto operand = [&]() -> std::u16string {
            if (p.NextIs(TokenKind::kText)) {
                return p.TakeAny();
            }
            const std::u16string word = p.Word();
            const std::u16string* value = Find(word);
            return value ? *value : word;
        };
        if (p.NextIs(TokenKind::kText)) {
            const std::u16string left = operand();
            const bool equals = p.Take(TokenKind::kEquals);
            if (!equals && !p.Take(TokenKind::kNotEquals)) {
                p.Refuse();
            }
            return (left == operand()) == equals;
        }
        const std::u16string word = p.Word();
        if (sim::FoldCase(word) == u"DEFINED") {
            const bool paren = p.Take(TokenKind::kOpen);
            const bool holds = Find(p.Word()) != nullptr;
            if (paren && !p.Take(TokenKind::kClose)) {
                p.Refuse();
            }
            return holds;
        }
        const std::u16string* value = Find(word);
        if (p.NextIs(TokenKind::kEquals) || p.NextIs(TokenKind::kNotEquals)) {
            const bool equals = p.Take(TokenKind::kEquals);
            if (!equals) {
                p.Take(TokenKind::kNotEquals);
            }
            return ((value ? *value : word) == operand()) == equals;
        }
        // A name alone holds when it is set to something other than nothing or 0; a
        // number alone when it is not 0.
        const std::u16string alone = value ? *value : IsNumber(word) ? word : u"";
        return !alone.empty() && alone.find_first_not_of(u'0') != std::u16string::npos;
    };
    return parser.Whole(term);
}

bool Preprocessor::ComponentHolds(const std::u16string& name) const {
    // A gate whose variables nobody set does not hold: its component is not in the build.
    return GateHolds(name, [this](std::u16string_view variable) { return Find(variable); })
        .value_or(false);
}

bool Preprocessor::CesysgenHolds(std::u16string_view condition, const Origin& where) const {
    ConditionParser parser(CesysgenTokens(condition), where,
                           "a @CESYSGEN IF line takes [!]COMPONENT, joined by OR, ||, AND or &&");
    return parser.Whole([&](ConditionParser& p) {
        bool inverted = false;
        while (p.Take(TokenKind::kNot)) {
            inverted = !inverted;
        }
        return ComponentHolds(p.Word()) != inverted;
    });
}

void Preprocessor::Process(const std::vector<LogicalLine>& lines, Frame& frame,
                           std::vector<PreparedLine>& out) {
    auto& blocks = frame.blocks;
    auto open = [&](BlockKind kind, int line, bool holds) {
        const bool parentLive = frame.Live();
        blocks.push_back(Frame::Block{kind, line, parentLive, parentLive && holds, holds, false});
    };
    auto top = [&](BlockKind kind, const Origin& where, const char* what) -> Frame::Block& {
        if (blocks.empty()) {
            Fail(where,
                 std::string(KeywordOf(kind, what)) + " without its " + KeywordOf(kind, "if"));
        }
        if (blocks.back().kind != kind) {
            Fail(where, std::string(KeywordOf(kind, what)) + " inside the " +
                            KeywordOf(blocks.back().kind, "if") + " of line " +
                            std::to_string(blocks.back().line) + ", which is not closed yet");
        }
        return blocks.back();
    };
    auto otherwise = [&](BlockKind kind, const Origin& where, std::optional<bool> holds) {
        Frame::Block& block = top(kind, where, holds ? "elif" : "else");
        if (block.elseSeen) {
            Fail(where, std::string(KeywordOf(kind, holds ? "elif" : "else")) + " after the " +
                            KeywordOf(kind, "else") + " of the " + KeywordOf(kind, "if") +
                            " of line " + std::to_string(block.line));
        }
        const bool branch = holds.value_or(true);
        block.live = block.parentLive && !block.taken && branch;
        block.taken = block.taken || branch;
        block.elseSeen = !holds.has_value();
    };
    auto close = [&](BlockKind kind, const Origin& where) {
        top(kind, where, "endif");
        blocks.pop_back();
    };
    for (const LogicalLine& line : lines) {
        const Origin where{frame.file.file, line.number, frame.file.includedFrom};
        std::u16string_view text = line.text;
        if (text.empty()) {
            const std::u16string_view comment = Trim(line.comment);
            if (line.commentedOnLines > 0 && frame.Live()) {
                PreparedLine skipped{{}, where, std::nullopt, std::nullopt, line.commentedOnLines,
                                     {}};
                skipped.comment = comment;
                out.push_back(std::move(skipped));
            }
            if (!settings_.cesysgen || !StartsWithFolded(comment, u"@CESYSGEN")) {
                continue;
            }
            // Cefilter's markers, read here as it reads them for files that it has not filtered.
            std::u16string_view rest = TrimLeft(comment.substr(9));
            if (HasKeyword(rest, u"IF")) {
                open(BlockKind::kCesysgen, line.number, CesysgenHolds(rest.substr(2), where));
            } else if (HasKeyword(rest, u"ELSEIF") ||
                       (HasKeyword(rest, u"ELSE") && HasKeyword(TrimLeft(rest.substr(4)), u"IF"))) {
                rest = HasKeyword(rest, u"ELSEIF") ? rest.substr(6)
                                                   : TrimLeft(rest.substr(4)).substr(2);
                otherwise(BlockKind::kCesysgen, where, CesysgenHolds(rest, where));
            } else if (HasKeyword(rest, u"ELSE")) {
                otherwise(BlockKind::kCesysgen, where, std::nullopt);
            } else if (HasKeyword(rest, u"ENDIF")) {
                close(BlockKind::kCesysgen, where);
            } else {
                Fail(where, "a @CESYSGEN line is IF, ELSE, ELSE IF, ELSEIF or ENDIF");
            }
            continue;
        }
        if (StartsWith(text, u"#")) {
            const std::vector<std::u16string_view> words = Words(text.substr(1));
            const std::u16string keyword = words.empty() ? u"" : sim::FoldCase(words[0]);
            const std::u16string_view argument =
                Trim(TrimLeft(text.substr(1)).substr(words.empty() ? 0 : words[0].size()));
            if (keyword == u"IF") {
                open(BlockKind::kHashIf, line.number, HashIfHolds(argument, where));
                continue;
            }
            if (keyword == u"ELIF") {
                otherwise(BlockKind::kHashIf, where, HashIfHolds(argument, where));
                continue;
            }
            if (keyword == u"ELSE") {
                otherwise(BlockKind::kHashIf, where, std::nullopt);
                continue;
            }
            if (keyword == u"ENDIF") {
                close(BlockKind::kHashIf, where);
                continue;
            }
            if (!frame.Live()) {
                continue;
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
                                " (fMerge's are #define, #undef, #include, #error, #message, "
                                "#if, #elif, #else and #endif)");
            }
            continue;
        }
        if (HasKeyword(text, u"IF")) {
            open(BlockKind::kIf, line.number, IfHolds(text.substr(2), where));
            continue;
        }
        if (HasKeyword(text, u"ELSE")) {
            if (!Trim(text.substr(4)).empty()) {
                Fail(where, "ELSE takes nothing after it");
            }
            otherwise(BlockKind::kIf, where, std::nullopt);
            continue;
        }
        if (HasKeyword(text, u"ENDIF")) {
            // Real files name the block again after ENDIF, or leave a note: it says nothing.
            close(BlockKind::kIf, where);
            continue;
        }
        if (!frame.Live()) {
            continue;
        }
        // An image-builder file may start with a REGEDIT4 line, which says nothing more.
        if (line.number == 1 && sim::FoldCase(text) == u"REGEDIT4") {
            continue;
        }
        RefuseUnmapped(line.unmapped, where, settings_.codepage);
        PreparedLine prepared{{}, where, std::nullopt, std::nullopt, 0, {}};
        const std::u16string substituted = Substitute(text, prepared.undefined);
        prepared.text = ReplaceStrings(substituted, where, prepared.missingString);
        out.push_back(std::move(prepared));
    }
    if (!blocks.empty()) {
        const Frame::Block& block = blocks.back();
        Fail(Origin{frame.file.file, block.line, frame.file.includedFrom},
             std::string("this ") + KeywordOf(block.kind, "if") +
                 " is never closed: the file ends before its " + KeywordOf(block.kind, "endif"));
    }
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
        warnings_.push_back(
            At(where, named + " is not read: " + sim::ToUtf8(*undefined) +
                          " is not defined (give it with --define or --environment)"));
        return;
    }
    std::string why;
    const auto host =
        ResolveWindowsPath(path, frame.hostFile.parent_path(), settings_.maps, files_, why);
    if (!host) {
        warnings_.push_back(At(where, named + " is not read: " + why));
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
        warnings_.push_back(
            At(where, named + " is not read: " + host->string() + " cannot be read"));
        return;
    }
    std::string includedFrom = where.file + ":" + std::to_string(where.line);
    if (!where.includedFrom.empty()) {
        includedFrom += ", " + where.includedFrom;
    }
    Frame inner{Origin{host->string(), 0, includedFrom}, *host, frame.depth + 1, {}};
    const std::vector<LogicalLine> lines = JoinLines(
        DecodeText(*bytes, settings_.codepage, inner.file), Syntax::kImageBuilder, inner.file);
    open_.push_back(canonical);
    Process(lines, inner, out);
    open_.pop_back();
}

namespace {

std::vector<std::u16string> PathParts(std::u16string_view path) {
    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of(u"\\/", start);
        if (end == std::u16string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.emplace_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

}  // namespace

std::optional<std::filesystem::path> ResolveWindowsPath(std::u16string_view windowsPath,
                                                        const std::filesystem::path& base,
                                                        const std::vector<PathMap>& maps,
                                                        const DesignFiles& files,
                                                        std::string& why) {
    std::vector<std::u16string> parts = PathParts(windowsPath);
    std::filesystem::path folder = base;
    const bool drive = windowsPath.size() >= 2 && windowsPath[1] == u':';
    if (drive || StartsWith(windowsPath, u"\\")) {
        // The longest --map prefix that names whole parts of the path.
        size_t matched = 0;
        const PathMap* map = nullptr;
        for (const PathMap& candidate : maps) {
            const std::vector<std::u16string> prefix = PathParts(candidate.windowsPrefix);
            if (prefix.size() < matched || prefix.size() > parts.size() || prefix.empty()) {
                continue;
            }
            bool same = true;
            for (size_t i = 0; i < prefix.size() && same; ++i) {
                same = sim::FoldCase(prefix[i]) == sim::FoldCase(parts[i]);
            }
            if (same && (map == nullptr || prefix.size() > matched)) {
                map = &candidate;
                matched = prefix.size();
            }
        }
        if (map == nullptr) {
            why = "no --map gives a host folder for " + sim::ToUtf8(windowsPath);
            return std::nullopt;
        }
        folder = map->hostFolder;
        parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(matched));
    }
    for (const std::u16string& part : parts) {
        if (part == u".") {
            continue;
        }
        if (part == u"..") {
            folder = folder.parent_path();
            continue;
        }
        const std::string spelt = sim::ToUtf8(part);
        if (files.IsFolder(folder / spelt)) {
            folder /= spelt;
            continue;
        }
        // Windows names match without regard to case; the host's may not.
        std::optional<std::string> match;
        const std::u16string folded = sim::FoldCase(part);
        for (const std::string& name : files.List(folder)) {
            const auto text = sim::FromUtf8(name);
            if (name == spelt || (!match && text && sim::FoldCase(*text) == folded)) {
                match = name;
            }
        }
        if (!match) {
            why = (folder / spelt).string() + " does not exist";
            return std::nullopt;
        }
        folder /= *match;
    }
    if (files.IsFolder(folder)) {
        why = folder.string() + " is not a file";
        return std::nullopt;
    }
    return folder;
}

void ReadEnvironment(std::string_view bytes, int codepage, const Origin& file,
                     Variables& variables) {
    for (const TextLine& line : DecodeText(bytes, codepage, file)) {
        const Origin where{file.file, line.number, file.includedFrom};
        if (Trim(line.text).empty()) {
            continue;
        }
        const size_t equals = line.text.find(u'=');
        if (equals == std::u16string::npos || equals == 0) {
            Fail(where, "expected NAME=VALUE, as a build window's set > FILE writes it");
        }
        RefuseUnmapped(line.unmapped, where, codepage);
        variables.Set(line.text.substr(0, equals), line.text.substr(equals + 1));
    }
}

void ReadStrings(std::string_view bytes, int codepage, const Origin& file,
                 std::map<std::u16string, std::u16string>& strings) {
    const char kForm[] =
        "a .str line is #define LOC_NAME \"text\" (inserted with its quotes) or #define LOC_NAME "
        "~\"text\" (inserted without them)";
    for (const TextLine& line : DecodeText(bytes, codepage, file)) {
        const Origin where{file.file, line.number, file.includedFrom};
        std::u16string_view text = line.text;
        // A // comment, outside quoted texts.
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == u'"') {
                const auto end = QuotedEnd(text.substr(i));
                if (!end) {
                    break;
                }
                i += *end - 1;
            } else if (StartsWith(text.substr(i), u"//")) {
                text = text.substr(0, i);
                break;
            }
        }
        text = Trim(text);
        if (text.empty()) {
            continue;
        }
        const std::vector<std::u16string_view> words = Words(text);
        if (words.size() < 3 || sim::FoldCase(words[0]) != u"#DEFINE") {
            Fail(where, kForm);
        }
        std::u16string_view value = Trim(text.substr(text.find(words[1]) + words[1].size()));
        const bool bare = StartsWith(value, u"~");
        if (bare) {
            value.remove_prefix(1);
        }
        // A plain index, not the optional: GCC for ARM takes the optional for unset after Fail.
        size_t end = std::u16string_view::npos;
        if (StartsWith(value, u"\"")) {
            end = QuotedEnd(value).value_or(std::u16string_view::npos);
        }
        if (end == std::u16string_view::npos || !Trim(value.substr(end)).empty()) {
            Fail(where, kForm);
        }
        if (value.find(u'\uFFFD') != std::u16string_view::npos) {
            RefuseUnmapped(line.unmapped, where, codepage);
        }
        strings[sim::FoldCase(words[1])] =
            std::u16string(bare ? value.substr(1, end - 2) : value.substr(0, end));
    }
}

}  // namespace imagefiles
