#include "tools/kelbrun-sim/reg_file.h"

#include <array>
#include <utility>
#include <vector>

#include "platform/sim/host_file.h"
#include "platform/sim/text.h"
#include "tools/kelbrun-sim/reg_text.h"

namespace regfile {
namespace {

constexpr std::u16string_view kEditorHeader = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kRegedit4 = u"REGEDIT4";

std::u16string_view RootOf(std::u16string_view keyPath) {
    return keyPath.substr(0, keyPath.find(u'\\'));
}

bool IsKnownRoot(std::u16string_view root) {
    static const std::array<std::u16string_view, 5> kRoots = {
        u"HKEY_LOCAL_MACHINE", u"HKEY_CURRENT_USER", u"HKEY_CLASSES_ROOT", u"HKEY_USERS",
        u"HKEY_CURRENT_CONFIG"};
    const std::u16string folded = sim::FoldCase(root);
    for (std::u16string_view known : kRoots) {
        if (folded == known) {
            return true;
        }
    }
    return false;
}

// Where the quoted text at the front of text ends: just after its closing quote.
std::optional<size_t> QuotedEnd(std::u16string_view text) {
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] == u'\\') {
            ++i;
        } else if (text[i] == u'"') {
            return i + 1;
        }
    }
    return std::nullopt;
}

// The line up to a ; that is not inside a quoted text.
std::u16string_view WithoutComment(std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'"') {
            const auto end = QuotedEnd(text.substr(i));
            if (!end) {
                break;
            }
            i += *end - 1;
        } else if (text[i] == u';') {
            return text.substr(0, i);
        }
    }
    return text;
}

// A value line whose data is multi_sz:, which only the image builder's files hold.
bool IsMultiSzLine(std::u16string_view text) {
    const bool named = StartsWith(text, u"\"");
    if (!named && !StartsWith(text, u"@")) {
        return false;
    }
    const auto nameEnd = named ? QuotedEnd(text) : std::optional<size_t>(1);
    if (!nameEnd) {
        return false;
    }
    text = TrimLeft(text.substr(*nameEnd));
    return StartsWith(text, u"=") && StartsWithFolded(TrimLeft(text.substr(1)), u"multi_sz:");
}

Syntax SyntaxOf(const std::vector<Line>& lines) {
    const std::u16string_view first = Trim(lines.front().text);
    if (first == kEditorHeader) {
        return Syntax::kEditorExport;
    }
    if (first != kRegedit4) {
        return Syntax::kImageBuilder;
    }
    for (const Line& line : lines) {
        const std::u16string_view text = Trim(WithoutComment(line.text));
        if (Conditions::IsConditionLine(text) || IsMultiSzLine(text)) {
            return Syntax::kImageBuilder;
        }
    }
    return Syntax::kEditorExport;
}

// "$(NAME)" in a line: the image builder had not expanded it when the file was taken.
void RefuseBuildMacro(std::u16string_view text, int line) {
    const size_t start = text.find(u"$(");
    if (start == std::u16string_view::npos) {
        return;
    }
    const size_t end = text.find(u')', start);
    if (end == std::u16string_view::npos) {
        return;
    }
    Fail(line, sim::ToUtf8(text.substr(start, end + 1 - start)) +
                   " is a build macro that the image builder had not expanded: this file was "
                   "taken from the OS design before the build; read the merged reginit.ini from "
                   "the build's release folder, or write the value out");
}

class Parser {
  public:
    Parser(sim::Registry& registry, Syntax syntax, const Variables& variables)
        : registry_(registry), syntax_(syntax), conditions_(variables) {}

    void Run(const std::vector<Line>& lines) {
        // An export's header line, or an image-builder file's REGEDIT4 line, says nothing more.
        const std::u16string_view first = Trim(lines.front().text);
        size_t i = first == kEditorHeader || first == kRegedit4 ? 1 : 0;
        for (; i < lines.size(); ++i) {
            const int number = lines[i].number;
            std::u16string text(Content(lines[i]));
            // A value's data goes on over lines that end with a backslash.
            const bool valueLine = StartsWith(text, u"\"") || StartsWith(text, u"@");
            // A cut file, or a continuation onto nothing, must not pass for a shorter value.
            while (valueLine && !text.empty() && text.back() == u'\\') {
                if (++i >= lines.size() || (i + 1 == lines.size() && lines[i].text.empty())) {
                    Fail(number, "the file ends inside this value (its last line ends with \\)");
                }
                const std::u16string_view more = Content(lines[i]);
                if (more.empty()) {
                    Fail(number, "this value goes on (its line ends with \\) onto an empty line");
                }
                text.pop_back();
                text += more;
            }
            if (syntax_ == Syntax::kImageBuilder) {
                if (Conditions::IsConditionLine(text)) {
                    conditions_.Take(text, number);
                    continue;
                }
                if (!conditions_.Live()) {
                    continue;
                }
                RefuseBuildMacro(text, number);
            }
            ParseLine(text, number);
        }
        if (syntax_ == Syntax::kImageBuilder) {
            conditions_.End();
        }
    }

  private:
    // The line's text that counts: trimmed and, in an image-builder file, without the comment
    // that may end it.
    std::u16string_view Content(const Line& line) const {
        return syntax_ == Syntax::kImageBuilder ? Trim(WithoutComment(line.text)) : Trim(line.text);
    }

    void ParseLine(std::u16string_view text, int line) {
        if (text.empty() || text.front() == u';') {
            return;
        }
        if (text.front() == u'[') {
            ParseKey(text, line);
        } else if (text.front() == u'"' || text.front() == u'@') {
            ParseValue(text, line);
        } else if (syntax_ == Syntax::kImageBuilder) {
            Fail(line, "expected a [KEY] line, a \"name\"= value line, IF, ENDIF or a ; comment");
        } else {
            Fail(line, "expected a [KEY] line, a \"name\"= value line or a ; comment");
        }
    }

    void ParseKey(std::u16string_view text, int line) {
        if (text.back() != u']') {
            Fail(line, "a key line must end with ]");
        }
        std::u16string_view path = text.substr(1, text.size() - 2);
        const bool remove = StartsWith(path, u"-");
        if (remove) {
            path.remove_prefix(1);
        }
        if (!IsKnownRoot(RootOf(path))) {
            Fail(line, "a key must start with a root such as HKEY_LOCAL_MACHINE");
        }
        if (remove) {
            registry_.DeleteKey(path);
            key_.reset();
        } else {
            registry_.CreateKey(path);
            key_ = std::u16string(path);
        }
    }

    void ParseValue(std::u16string_view text, int line) {
        if (!key_) {
            Fail(line, "a value must follow the [KEY] line it belongs to");
        }
        std::u16string name;
        if (text.front() == u'@') {
            text.remove_prefix(1);
        } else {
            name = TakeQuoted(text, line);
        }
        text = TrimLeft(text);
        if (!StartsWith(text, u"=")) {
            Fail(line, "a value name must be followed by =");
        }
        const auto value = ParseData(Trim(text.substr(1)), line, syntax_);
        if (value) {
            registry_.SetValue(*key_, name, *value);
        } else {
            registry_.DeleteValue(*key_, name);
        }
    }

    sim::Registry& registry_;
    const Syntax syntax_;
    Conditions conditions_;
    std::optional<std::u16string> key_;
};

}  // namespace

std::optional<Error> Apply(std::string_view bytes, sim::Registry& registry,
                           const Variables& variables) {
    sim::Registry changed = registry;
    try {
        const std::vector<Line> lines = SplitLines(bytes);
        Parser(changed, SyntaxOf(lines), variables).Run(lines);
    } catch (const Failure& failure) {
        return failure.error;
    }
    registry = std::move(changed);
    return std::nullopt;
}

std::optional<Error> Apply(std::string_view bytes, sim::Registry& registry) {
    return Apply(bytes, registry, Variables());
}

std::optional<Error> Load(const std::filesystem::path& file, sim::Registry& registry,
                          const Variables& variables) {
    const auto bytes = sim::ReadHostFile(file);
    if (!bytes) {
        return Error{0, "cannot be read"};
    }
    return Apply(*bytes, registry, variables);
}

}  // namespace regfile
