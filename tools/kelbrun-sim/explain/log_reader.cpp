#include "tools/kelbrun-sim/explain/log_reader.h"

#include <algorithm>
#include <array>

#include "platform/sim/text.h"
#include "tools/kelbrun-sim/image_files/source_text.h"

namespace explainlog {

namespace {

using Kind = TrailLine::Kind;

constexpr std::u16string_view kCardCopySuffix = u"\\UPDATE\\Kelbrun.EXE";
constexpr std::u16string_view kNavigatorSuffix = u"\\MNAV\\Navigon.exe";

struct Head {
    std::u16string_view text;
    Kind kind;
};

// The launcher's messages by the words they start with; "File " is told apart by its ending.
constexpr std::array<Head, 10> kHeads{{
    {u"GetModuleFileName Failed [", Kind::kOwnPathFailed},
    {u"RegOpenKeyEx Failed [", Kind::kOpenFailed},
    {u"RegQueryValueEx Failed [", Kind::kQueryFailed},
    {u"Cannot find folder name!!!!", Kind::kNoFolder},
    {u"Folder name is ", Kind::kFolder},
    {u"SDMMCPath: ", Kind::kCardPath},
    {u"DataStorageDestPath: ", Kind::kDataPath},
    {u"ResidentFlashDestPath: ", Kind::kFlashPath},
    {u"Path too long: ", Kind::kTooLong},
    {u"File ", Kind::kExists},
}};

bool EndsWith(std::u16string_view text, std::u16string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::u16string_view TrimRight(std::u16string_view text) {
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// "%d]." and nothing after it but blanks: the number as NKDbgPrintfW writes an int.
bool ParseCode(std::u16string_view rest, TrailLine& line) {
    rest = TrimRight(rest);
    if (!EndsWith(rest, u"].")) {
        return false;
    }
    std::u16string_view digits = rest.substr(0, rest.size() - 2);
    const bool negative = !digits.empty() && digits.front() == u'-';
    if (negative) {
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits.size() > 10) {
        return false;
    }
    int64_t value = 0;
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9') {
            return false;
        }
        value = value * 10 + (c - u'0');
    }
    value = negative ? -value : value;
    if (value < INT32_MIN || value > INT32_MAX) {
        return false;
    }
    line.code = static_cast<int>(value);
    line.text = std::u16string(rest.substr(0, rest.size() - 2));
    return true;
}

// The message of kind head at the front of rest, read to the line's end.
bool ParseMessage(const Head& head, std::u16string_view rest, TrailLine& line) {
    line.kind = head.kind;
    switch (head.kind) {
        case Kind::kOwnPathFailed:
        case Kind::kOpenFailed:
        case Kind::kQueryFailed:
            return ParseCode(rest, line);
        case Kind::kNoFolder:
            return TrimRight(rest).empty();
        case Kind::kExists: {
            // Only the two paths the launcher probes: other programs write "File ..." too.
            std::u16string_view path;
            if (EndsWith(rest, u" not exists")) {
                line.kind = Kind::kNotExists;
                path = rest.substr(0, rest.size() - 11);
            } else if (EndsWith(rest, u" exists")) {
                path = rest.substr(0, rest.size() - 7);
            } else {
                return false;
            }
            line.text = std::u16string(path);
            return EndsWith(path, kCardCopySuffix) || EndsWith(path, kNavigatorSuffix);
        }
        default:
            line.text = std::u16string(rest);
            return true;
    }
}

// What a capture puts before a message: "   1234 PID:83d6f582 TID:83d6f7e2 0x83d6f000: ".
void ReadPrefix(TrailLine& line) {
    std::u16string_view prefix = imagefiles::TrimLeft(line.prefix);
    size_t digits = 0;
    uint64_t ms = 0;
    while (digits < prefix.size() && digits < 12 && prefix[digits] >= u'0' &&
           prefix[digits] <= u'9') {
        ms = ms * 10 + static_cast<uint64_t>(prefix[digits] - u'0');
        ++digits;
    }
    if (digits > 0 && (digits == prefix.size() || imagefiles::IsBlank(prefix[digits]))) {
        line.timeMs = ms;
    }
    const size_t pid = line.prefix.find(u"PID:");
    if (pid != std::u16string::npos) {
        size_t end = pid;
        while (end < line.prefix.size() && !imagefiles::IsBlank(line.prefix[end])) {
            ++end;
        }
        line.process = line.prefix.substr(pid, end - pid);
    }
}

// UTF-16LE without its byte-order mark, as a capture may save it: most odd bytes are NUL
// while the even ones are not.
bool LooksLikeUtf16(std::string_view bytes) {
    const size_t pairs = std::min<size_t>(bytes.size() / 2, 256);
    if (pairs < 2) {
        return false;
    }
    size_t oddNul = 0;
    size_t evenNul = 0;
    for (size_t i = 0; i < pairs; ++i) {
        oddNul += bytes[2 * i + 1] == '\0' ? 1 : 0;
        evenNul += bytes[2 * i] == '\0' ? 1 : 0;
    }
    return oddNul * 10 >= pairs * 8 && evenNul * 10 < pairs;
}

bool IsControl(char16_t c) {
    return c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f' && c != 0x1B;
}

// Why bytes that read as these lines are no text: a tenth or more of them control characters
// (NUL counted, which the decoding turns into blanks).
std::string WhyNotText(std::string_view raw, bool utf16) {
    size_t control = 0;
    size_t total = 0;
    if (utf16) {
        for (size_t i = 0; i + 1 < raw.size(); i += 2) {
            const auto c = static_cast<char16_t>(static_cast<unsigned char>(raw[i]) |
                                                 static_cast<unsigned char>(raw[i + 1]) << 8);
            control += IsControl(c) ? 1 : 0;
            ++total;
        }
    } else {
        for (char c : raw) {
            control += IsControl(static_cast<char16_t>(static_cast<unsigned char>(c))) ? 1 : 0;
            ++total;
        }
    }
    if (total == 0 || control * 10 < total) {
        return {};
    }
    return std::to_string(control) + " of its " + std::to_string(total) +
           (utf16 ? " characters" : " bytes") + " are control characters";
}

// Each byte a character, as Latin-1 has it: for text no converter here can read.
std::vector<imagefiles::TextLine> ByteLines(std::string_view bytes) {
    std::vector<imagefiles::TextLine> lines(1);
    for (char byte : bytes) {
        if (byte == '\n') {
            if (!lines.back().text.empty() && lines.back().text.back() == u'\r') {
                lines.back().text.pop_back();  // CRLF ends one line, as LF does
            }
            lines.emplace_back();
        } else {
            lines.back().text += static_cast<char16_t>(static_cast<unsigned char>(byte));
        }
    }
    return lines;
}

// Decoded lines split again at a lone CR, which ends a line too.
std::vector<std::u16string> SplitLines(const std::vector<imagefiles::TextLine>& decoded) {
    std::vector<std::u16string> lines;
    for (const imagefiles::TextLine& line : decoded) {
        size_t start = 0;
        while (true) {
            const size_t cr = line.text.find(u'\r', start);
            lines.push_back(line.text.substr(start, cr - start));
            if (cr == std::u16string::npos) {
                break;
            }
            start = cr + 1;
        }
    }
    return lines;
}

// The log's text, split at CRLF, LF and a lone CR.
std::vector<std::u16string> TextLines(std::string_view bytes, int codepage, LogLines& log) {
    std::string owned;
    const bool marked16 = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                          static_cast<unsigned char>(bytes[1]) == 0xFE;
    const bool utf16 = marked16 || LooksLikeUtf16(bytes);
    if (utf16) {
        owned = marked16 ? std::string(bytes) : "\xFF\xFE" + std::string(bytes);
        if (owned.size() % 2 != 0) {
            owned.pop_back();  // a capture stopped within a character
        }
        bytes = owned;
    } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
               static_cast<unsigned char>(bytes[1]) == 0xFF) {
        log.notText = "UTF-16 big-endian text, which no capture of a unit writes";
        return {};
    }
    log.notText = WhyNotText(utf16 ? bytes.substr(2) : bytes, utf16);
    if (!log.notText.empty()) {
        return {};
    }
    std::vector<imagefiles::TextLine> decoded;
    try {
        decoded = imagefiles::DecodeText(bytes, codepage, imagefiles::Origin{});
    } catch (const imagefiles::Failure& failure) {
        // The launcher's lines are ASCII: they read the same whatever the rest is.
        log.encoding = failure.error.message + "; read byte by byte";
        return SplitLines(ByteLines(bytes));
    }
    if (utf16) {
        log.encoding = "UTF-16LE";
    } else {
        // The same test the decoding made: UTF-8 when every byte of it is well-formed UTF-8.
        std::string blanked(bytes.substr(bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0));
        std::replace(blanked.begin(), blanked.end(), '\0', ' ');
        log.encoding = sim::FromUtf8(blanked) ? "UTF-8" : "code page " + std::to_string(codepage);
    }
    return SplitLines(decoded);
}

}  // namespace

std::u16string TrailLine::Message() const {
    switch (kind) {
        case Kind::kOwnPathFailed:
            return u"GetModuleFileName Failed [" + text + u"].";
        case Kind::kOpenFailed:
            return u"RegOpenKeyEx Failed [" + text + u"].";
        case Kind::kQueryFailed:
            return u"RegQueryValueEx Failed [" + text + u"].";
        case Kind::kNoFolder:
            return u"Cannot find folder name!!!!";
        case Kind::kFolder:
            return u"Folder name is " + text;
        case Kind::kCardPath:
            return u"SDMMCPath: " + text;
        case Kind::kDataPath:
            return u"DataStorageDestPath: " + text;
        case Kind::kFlashPath:
            return u"ResidentFlashDestPath: " + text;
        case Kind::kExists:
            return u"File " + text + u" exists";
        case Kind::kNotExists:
            return u"File " + text + u" not exists";
        case Kind::kTooLong:
            return u"Path too long: " + text;
    }
    return {};
}

std::optional<TrailLine> RecognizeLine(std::u16string_view line) {
    for (size_t at = 0; at < line.size(); ++at) {
        for (const Head& head : kHeads) {
            if (line.substr(at, head.text.size()) != head.text) {
                continue;
            }
            TrailLine found;
            if (ParseMessage(head, line.substr(at + head.text.size()), found)) {
                found.prefix = std::u16string(line.substr(0, at));
                ReadPrefix(found);
                return found;
            }
        }
    }
    return std::nullopt;
}

std::optional<uint32_t> RecognizeLoaderRefusal(std::u16string_view line) {
    constexpr std::u16string_view kHead = u"ERROR: function @ Ordinal ";
    constexpr std::u16string_view kTail = u" missing in Module 'coredll.dll'";
    const size_t head = line.find(kHead);
    if (head == std::u16string_view::npos) {
        return std::nullopt;
    }
    std::u16string_view rest = line.substr(head + kHead.size());
    uint32_t ordinal = 0;
    size_t digits = 0;
    for (; digits < rest.size() && digits < 6 && rest[digits] >= u'0' && rest[digits] <= u'9';
         ++digits) {
        ordinal = ordinal * 10 + static_cast<uint32_t>(rest[digits] - u'0');
    }
    if (digits == 0 || TrimRight(rest.substr(digits)) != kTail) {
        return std::nullopt;
    }
    return ordinal;
}

LogLines ReadLog(std::string_view bytes, int codepage) {
    LogLines log;
    const std::vector<std::u16string> lines = TextLines(bytes, codepage, log);
    for (size_t i = 0; i < lines.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        if (imagefiles::Trim(lines[i]).empty()) {
            continue;
        }
        log.lastTextLine = number;
        auto found = RecognizeLine(lines[i]);
        if (found) {
            found->number = number;
            log.trail.push_back(std::move(*found));
        } else if (const auto ordinal = RecognizeLoaderRefusal(lines[i])) {
            log.loaderRefusals.push_back(LoaderRefusal{number, *ordinal});
        }
        TrailLine stamp;
        stamp.prefix = lines[i];
        ReadPrefix(stamp);
        if (stamp.timeMs) {
            log.lastTimeMs = stamp.timeMs;
        }
    }
    // A file that ends in a line end has no line after it.
    log.lineCount =
        static_cast<int>(lines.size()) - (!lines.empty() && lines.back().empty() ? 1 : 0);
    return log;
}

}  // namespace explainlog
