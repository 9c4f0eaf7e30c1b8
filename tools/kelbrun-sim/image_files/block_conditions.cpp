// The conditions of the preprocessor's blocks: IF lines on the build's variables, #if and #elif
// expressions, and @CESYSGEN lines by Cefilter's rule, each read as a small expression.
#include <functional>
#include <utility>

#include "platform/sim/text.h"
#include "tools/kelbrun-sim/image_files/preprocessor.h"

namespace imagefiles {

namespace {

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

}  // namespace imagefiles
