// What both kinds of .reg file share, registry editor exports and the image builder's files:
// their lines, quoted texts, and the forms a value's data takes.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_REG_TEXT_H
#define KELBRUN_TOOLS_KELBRUN_SIM_REG_TEXT_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/registry.h"
#include "tools/kelbrun-sim/reg_file.h"

namespace regfile {

// Thrown by the readers, and caught where a file is applied, so that a bad line leaves the
// registry as it was.
struct Failure {
    Error error;
};

[[noreturn]] void Fail(int line, std::string message);

struct Line {
    int number = 0;
    std::u16string text;
};

// Splits the file into lines of UTF-16 text, numbered from 1, without their line ends. The
// bytes are UTF-16LE after a byte-order mark, or else UTF-8 (with or without one).
std::vector<Line> SplitLines(std::string_view bytes);

bool IsBlank(char16_t c);
std::u16string_view TrimLeft(std::u16string_view text);
std::u16string_view Trim(std::u16string_view text);
bool StartsWith(std::u16string_view text, std::u16string_view prefix);
// As StartsWith, without regard to the case of ASCII letters.
bool StartsWithFolded(std::u16string_view text, std::u16string_view prefix);

// Reads 1 to maxDigits hex digits from the front of text.
std::optional<uint32_t> TakeHex(std::u16string_view& text, size_t maxDigits);

// Reads a quoted text with its escapes (\\ and \") from the front of text, the opening quote
// included.
std::u16string TakeQuoted(std::u16string_view& text, int line);

// Which forms of data a file may hold: the image builder's also has multi_sz:.
enum class Syntax { kEditorExport, kImageBuilder };

// The value's data after "=": gives nothing for a deletion ("-").
std::optional<sim::RegistryValue> ParseData(std::u16string_view data, int line, Syntax syntax);

}  // namespace regfile

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_REG_TEXT_H
