// The first stages every image-builder file passes: its bytes read as text in the build
// machine's code page, then its physical lines joined into logical ones where a line goes on.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_SOURCE_TEXT_H
#define KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_SOURCE_TEXT_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/kelbrun-sim/image_files/image_contents.h"

namespace imagefiles {

// Why a file is refused: one line naming the file and line (0 when the file could not be read
// at all) and what is wrong.
struct Error {
    // What a warning says the input lacks, for the checks that rest on it and for the report,
    // which counts warnings of one kind together.
    enum class Kind { kOther, kStringNotReplaced, kIncludeNotRead };

    int line = 0;
    std::string message;
    std::string file;
    std::string includedFrom;  // as Origin's
    Kind kind = Kind::kOther;
    // A kStringNotReplaced's LOC_ token, or a kIncludeNotRead's file as the line names it.
    std::string missing;
    // The key and value a kStringNotReplaced value line leaves unset; the key alone for a key
    // line. Empty when no key is open.
    std::u16string key;
    std::u16string valueName;

    // "file:line", or "file" for line 0, with the lines that included the file after it.
    std::string Where() const;
    // "file:line: message", or "file: message" for line 0.
    std::string Describe() const;
};

// What is said of the line: a refusal, or a warning of a line that is read all the same.
Error At(const Origin& where, std::string message);
// A LOC_ token no .str file replaced, and what was left out for it.
Error StringNotReplaced(const Origin& where, std::u16string_view token, std::string_view leftOut);

// Thrown by the stages, and caught where a file is read, so that a bad line leaves what the
// file was read into as it was.
struct Failure {
    Error error;
};

[[noreturn]] void Fail(const Origin& where, std::string message);

// The code page of the machine that wrote the files, for a file that is not UTF-8.
constexpr int kDefaultCodepage = 1252;
// Whether the host's converter knows the Windows code page.
bool IsKnownCodepage(int codepage);

// A physical line as text, numbered from 1, without its line end.
struct TextLine {
    int number = 0;
    std::u16string text;
    // The first byte the code page has no character for; the line holds U+FFFD in its place.
    std::optional<uint8_t> unmapped;
};

// The bytes as lines of text: UTF-16LE after a byte-order mark; UTF-8 after a UTF-8
// byte-order mark or when every byte of it is well-formed UTF-8; else the code page's text.
// NUL bytes read as blanks. Throws Failure (with file's name) for text that cannot be lines.
std::vector<TextLine> DecodeText(std::string_view bytes, int codepage, const Origin& file);

// Refuses a line that holds a byte the code page has no character for (TextLine's unmapped):
// what it stood for is unknown, so what the line says cannot be read.
void RefuseUnmapped(std::optional<uint8_t> unmapped, const Origin& where, int codepage);

// Which rules a file's lines follow: an editor export has whole-line comments only.
enum class Syntax { kEditorExport, kImageBuilder };

// A statement's line, after continuations: its text without the comment that may end it.
struct LogicalLine {
    int number = 0;                   // of its first physical line
    std::u16string text;              // trimmed, without the comment
    std::u16string comment;           // after the ";" that starts it, for @CESYSGEN markers
    std::optional<uint8_t> unmapped;  // an unmapped byte in text, not in the comment
    std::optional<uint8_t> commentUnmapped = std::nullopt;  // the same, in the comment
    // In an image-builder file, the physical lines after a value commented out with ";" on its
    // first line only, which go on with it: skipped, each of them, as the comment's.
    int commentedOnLines = 0;
};

// Joins a value's lines: one that ends in "\" goes on onto the next, and so, in an
// image-builder file, does a multi_sz: list that ends with a comma. Throws Failure for a value
// that goes on past the end of the file or onto an empty line. In an image-builder file, the
// lines that go on with a value commented out on its first line only are the comment's
// (commentedOnLines).
std::vector<LogicalLine> JoinLines(const std::vector<TextLine>& lines, Syntax syntax,
                                   const Origin& file);

bool IsBlank(char16_t c);
std::u16string_view TrimLeft(std::u16string_view text);
std::u16string_view Trim(std::u16string_view text);
// The text split at its blanks.
std::vector<std::u16string_view> Words(std::u16string_view text);
bool StartsWith(std::u16string_view text, std::u16string_view prefix);
// As StartsWith, without regard to the case of ASCII letters.
bool StartsWithFolded(std::u16string_view text, std::u16string_view prefix);
// Where the quoted text at the front of text ends: just after its closing quote.
std::optional<size_t> QuotedEnd(std::u16string_view text);

}  // namespace imagefiles

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_SOURCE_TEXT_H
