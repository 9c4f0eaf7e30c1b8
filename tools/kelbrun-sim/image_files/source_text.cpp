#include "tools/kelbrun-sim/image_files/source_text.h"

#include <iconv.h>

#include <cerrno>
#include <utility>

#include "platform/sim/text.h"

namespace imagefiles {

std::string Error::Where() const {
    std::string where = file;
    if (line > 0) {
        where += ":" + std::to_string(line);
    }
    if (!includedFrom.empty()) {
        where += " (included from " + includedFrom + ")";
    }
    return where;
}

std::string Error::Describe() const {
    return Where() + ": " + message;
}

Error At(const Origin& where, std::string message) {
    Error error;
    error.line = where.line;
    error.message = std::move(message);
    error.file = where.file;
    error.includedFrom = where.includedFrom;
    return error;
}

Error StringNotReplaced(const Origin& where, std::u16string_view token, std::string_view leftOut) {
    Error error = At(where, sim::ToUtf8(token) + " is not replaced (no --strings file given): " +
                                std::string(leftOut));
    error.kind = Error::Kind::kStringNotReplaced;
    error.missing = sim::ToUtf8(token);
    return error;
}

void Fail(const Origin& where, std::string message) {
    throw Failure{At(where, std::move(message))};
}

namespace {

// glibc's converter, for one file: it keeps no state between lines, so that a byte it could
// not read spoils only the character it began.
class Converter {
  public:
    explicit Converter(int codepage) {
        const std::string name = "CP" + std::to_string(codepage);
        handle_ = iconv_open("UTF-16LE", name.c_str());
    }
    ~Converter() {
        if (Valid()) {
            iconv_close(handle_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Valid() const {
        return handle_ != reinterpret_cast<iconv_t>(-1);
    }

    // The line's text; a byte sequence the code page has no character for reads as U+FFFD.
    TextLine Convert(std::string_view bytes, int number) {
        TextLine line{number, {}, std::nullopt};
        std::string in(bytes);
        char* inPtr = in.data();
        size_t inLeft = in.size();
        std::u16string out(in.size() * 2 + 4, u'\0');
        while (true) {
            char* outStart = reinterpret_cast<char*>(out.data());
            char* outPtr = outStart;
            size_t outLeft = out.size() * sizeof(char16_t);
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);
            const size_t done = iconv(handle_, &inPtr, &inLeft, &outPtr, &outLeft);
            const auto produced = static_cast<size_t>(outPtr - outStart) / sizeof(char16_t);
            line.text.append(out.data(), produced);
            if (done != static_cast<size_t>(-1) || inLeft == 0) {
                break;
            }
            // EILSEQ or a sequence cut by the line's end: one byte gives way.
            if (!line.unmapped) {
                line.unmapped = static_cast<uint8_t>(*inPtr);
            }
            line.text += u'\uFFFD';
            ++inPtr;
            --inLeft;
        }
        return line;
    }

  private:
    iconv_t handle_;
};

// The lines of bytes split at "\n", each without a "\r" before it.
std::vector<std::string_view> SplitBytes(std::string_view bytes) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start <= bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) {
            end = bytes.size();
        }
        std::string_view line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<TextLine> DecodeUtf16(std::string_view bytes, const Origin& file) {
    std::vector<TextLine> lines;
    lines.push_back(TextLine{1, {}, std::nullopt});
    for (const char16_t c : sim::FromUtf16LeBytes(bytes.substr(2))) {
        if (c == u'\n') {
            lines.push_back(TextLine{lines.back().number + 1, {}, std::nullopt});
            continue;
        }
        lines.back().text += c == u'\0' ? u' ' : c;
    }
    if (bytes.size() % 2 != 0) {
        Fail(Origin{file.file, lines.back().number, file.includedFrom},
             "UTF-16 text that ends in half a character");
    }
    for (TextLine& line : lines) {
        if (!line.text.empty() && line.text.back() == u'\r') {
            line.text.pop_back();
        }
    }
    return lines;
}

}  // namespace

bool IsKnownCodepage(int codepage) {
    return codepage > 0 && Converter(codepage).Valid();
}

std::vector<TextLine> DecodeText(std::string_view bytes, int codepage, const Origin& file) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        return DecodeUtf16(bytes, file);
    }
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
        static_cast<unsigned char>(bytes[1]) == 0xFF) {
        Fail(Origin{file.file, 1, file.includedFrom},
             "UTF-16 big-endian text is not read; save the file as UTF-16LE or UTF-8");
    }
    const bool utf8Marked = bytes.substr(0, 3) == "\xEF\xBB\xBF";
    if (utf8Marked) {
        bytes.remove_prefix(3);
    }
    std::string blanked(bytes);
    for (char& c : blanked) {
        if (c == '\0') {
            c = ' ';
        }
    }
    const std::vector<std::string_view> raw = SplitBytes(blanked);
    std::vector<TextLine> lines;
    lines.reserve(raw.size());
    bool utf8 = true;
    for (size_t i = 0; i < raw.size() && utf8; ++i) {
        auto text = sim::FromUtf8(raw[i]);
        if (!text) {
            if (utf8Marked) {
                Fail(Origin{file.file, static_cast<int>(i) + 1, file.includedFrom},
                     "not UTF-8 text, though the file starts with UTF-8's byte-order mark");
            }
            utf8 = false;
            break;
        }
        lines.push_back(TextLine{static_cast<int>(i) + 1, std::move(*text), std::nullopt});
    }
    if (utf8) {
        return lines;
    }
    // Not UTF-8: ANSI text in the code page of the machine that wrote it.
    Converter converter(codepage);
    if (!converter.Valid()) {
        Fail(Origin{file.file, 0, file.includedFrom},
             "code page " + std::to_string(codepage) + " is not known to this host's converter");
    }
    lines.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        lines.push_back(converter.Convert(raw[i], static_cast<int>(i) + 1));
    }
    return lines;
}

void RefuseUnmapped(std::optional<uint8_t> unmapped, const Origin& where, int codepage) {
    if (!unmapped) {
        return;
    }
    static const char kHex[] = "0123456789ABCDEF";
    Fail(where, std::string("byte 0x") + kHex[*unmapped >> 4] + kHex[*unmapped & 15] +
                    " is no character of code page " + std::to_string(codepage) +
                    " (--codepage N names the code page the file was written in)");
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

std::u16string_view TrimLeft(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

std::u16string_view Trim(std::u16string_view text) {
    text = TrimLeft(text);
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

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

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool StartsWithFolded(std::u16string_view text, std::u16string_view prefix) {
    return sim::FoldCase(text.substr(0, prefix.size())) == sim::FoldCase(prefix);
}

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

namespace {

// Where the comment of a line starts: at a ";" outside quoted texts.
size_t CommentStart(std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'"') {
            const auto end = QuotedEnd(text.substr(i));
            if (!end) {
                return std::u16string_view::npos;
            }
            i += *end - 1;
        } else if (text[i] == u';') {
            return i;
        }
    }
    return std::u16string_view::npos;
}

LogicalLine Split(const TextLine& line, Syntax syntax) {
    LogicalLine out{line.number, {}, {}, std::nullopt};
    std::u16string_view text = Trim(line.text);
    size_t start = std::u16string_view::npos;
    if (syntax == Syntax::kImageBuilder) {
        start = CommentStart(text);
    } else if (StartsWith(text, u";")) {
        start = 0;
    }
    if (start != std::u16string_view::npos) {
        out.comment = text.substr(start + 1);
        text = Trim(text.substr(0, start));
    }
    out.text = text;
    if (line.unmapped && out.text.find(u'\uFFFD') != std::u16string::npos) {
        out.unmapped = line.unmapped;
    }
    if (line.unmapped && out.comment.find(u'\uFFFD') != std::u16string::npos) {
        out.commentUnmapped = line.unmapped;
    }
    return out;
}

bool IsValueLine(std::u16string_view text) {
    return StartsWith(text, u"\"") || StartsWith(text, u"@");
}

// A multi_sz: value whose list ends with a comma: the next line holds more of it.
bool GoesOnAfterComma(std::u16string_view text) {
    if (text.empty() || text.back() != u',') {
        return false;
    }
    size_t equals = 1;
    if (StartsWith(text, u"\"")) {
        const auto end = QuotedEnd(text);
        if (!end) {
            return false;
        }
        equals = *end;
    }
    text = TrimLeft(text.substr(equals));
    return StartsWith(text, u"=") && StartsWithFolded(TrimLeft(text.substr(1)), u"multi_sz:");
}

// Whether a value's line goes on onto the next: it ends with "\", or, in an image-builder
// file, it is a multi_sz: list that ends with a comma.
bool GoesOn(std::u16string_view text, Syntax syntax) {
    return (!text.empty() && text.back() == u'\\') ||
           (syntax == Syntax::kImageBuilder && GoesOnAfterComma(text));
}

// A line that is a statement or a directive of its own, which no value goes on onto.
bool StartsStatement(std::u16string_view text) {
    const std::u16string folded = sim::FoldCase(text.substr(0, 6));
    const auto keyword = [&](std::u16string_view word) {
        return StartsWith(folded, word) &&
               (folded.size() == word.size() || IsBlank(folded[word.size()]));
    };
    return std::u16string_view(u"[\"@;#").find(text.front()) != std::u16string_view::npos ||
           keyword(u"IF") || keyword(u"ELSE") || keyword(u"ENDIF");
}

// How many physical lines from lines[next] on go on with a value commented out on its first
// line only: each ends with "\" or a comma until the last; none is empty or a statement.
int CommentedOnLines(const LogicalLine& line, const std::vector<TextLine>& lines, size_t next) {
    const std::u16string_view comment = Trim(line.comment);
    if (!line.text.empty() || !IsValueLine(comment) || !GoesOn(comment, Syntax::kImageBuilder)) {
        return 0;
    }
    int count = 0;
    for (size_t i = next; i < lines.size(); ++i) {
        const std::u16string_view text = Trim(lines[i].text);
        if (text.empty() || StartsStatement(text)) {
            break;
        }
        ++count;
        if (text.back() != u'\\' && text.back() != u',') {
            break;
        }
    }
    return count;
}

}  // namespace

std::vector<LogicalLine> JoinLines(const std::vector<TextLine>& lines, Syntax syntax,
                                   const Origin& file) {
    std::vector<LogicalLine> out;
    out.reserve(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        LogicalLine line = Split(lines[i], syntax);
        const Origin where{file.file, line.number, file.includedFrom};
        if (syntax == Syntax::kImageBuilder) {
            line.commentedOnLines = CommentedOnLines(line, lines, i + 1);
            i += static_cast<size_t>(line.commentedOnLines);
        }
        while (IsValueLine(line.text) && GoesOn(line.text, syntax)) {
            const bool backslash = line.text.back() == u'\\';
            // A cut file, or a continuation onto nothing, must not pass for a shorter value.
            if (++i >= lines.size() || (i + 1 == lines.size() && lines[i].text.empty())) {
                Fail(where, backslash
                                ? "the file ends inside this value (its last line ends with \\)"
                                : "the file ends inside this multi_sz: list (its last "
                                  "line ends with a comma)");
            }
            const LogicalLine more = Split(lines[i], syntax);
            if (more.text.empty()) {
                Fail(where,
                     "this value goes on (its line ends with \\ or a comma) onto an "
                     "empty line");
            }
            if (backslash) {
                line.text.pop_back();
            }
            line.text += more.text;
            if (!line.unmapped) {
                line.unmapped = more.unmapped;
            }
        }
        out.push_back(std::move(line));
    }
    return out;
}

}  // namespace imagefiles
