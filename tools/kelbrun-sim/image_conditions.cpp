#include "tools/kelbrun-sim/image_conditions.h"

#include "platform/sim/text.h"
#include "tools/kelbrun-sim/reg_text.h"

namespace regfile {

namespace {

const char kIfForm[] =
    "an IF line is IF NAME or IF NAME=VALUE, either followed by a separate ! to invert it";

// The keyword that starts the line, when the line is that keyword alone or followed by blanks.
bool HasKeyword(std::u16string_view text, std::u16string_view keyword) {
    return StartsWithFolded(text, keyword) &&
           (text.size() == keyword.size() || IsBlank(text[keyword.size()]));
}

// Splits text at its blanks.
std::vector<std::u16string_view> Words(std::u16string_view text) {
    std::vector<std::u16string_view> words;
    text = Trim(text);
    while (!text.empty()) {
        size_t end = 0;
        while (end < text.size() && !IsBlank(text[end])) {
            ++end;
        }
        words.push_back(text.substr(0, end));
        text = TrimLeft(text.substr(end));
    }
    return words;
}

}  // namespace

bool Conditions::IsConditionLine(std::u16string_view text) {
    return HasKeyword(text, u"IF") || HasKeyword(text, u"ENDIF");
}

void Conditions::Take(std::u16string_view text, int line) {
    if (HasKeyword(text, u"ENDIF")) {
        if (!Trim(text.substr(5)).empty()) {
            Fail(line, "ENDIF takes nothing after it");
        }
        if (open_.empty()) {
            Fail(line, "ENDIF without its IF");
        }
        if (!open_.back().holds) {
            --skipping_;
        }
        open_.pop_back();
        return;
    }
    const bool holds = Holds(text.substr(2), line);
    open_.push_back(Block{line, holds});
    if (!holds) {
        ++skipping_;
    }
}

bool Conditions::Holds(std::u16string_view condition, int line) const {
    const std::vector<std::u16string_view> words = Words(condition);
    if (words.empty() || words.size() > 2 || (words.size() == 2 && words[1] != u"!") ||
        words[0].back() == u'!') {
        Fail(line, kIfForm);
    }
    const std::u16string_view test = words[0];
    const size_t equals = test.find(u'=');
    const std::u16string_view name = test.substr(0, equals);
    if (name.empty() || (equals != std::u16string_view::npos && equals + 1 == test.size())) {
        Fail(line, kIfForm);
    }
    const std::u16string* value = variables_.Find(name);
    bool holds = value != nullptr;
    if (holds && equals != std::u16string_view::npos) {
        holds = *value == test.substr(equals + 1);
    }
    return words.size() == 2 ? !holds : holds;
}

void Conditions::End() const {
    if (!open_.empty()) {
        Fail(open_.back().line, "this IF is never closed: the file ends before its ENDIF");
    }
}

}  // namespace regfile
