// Text conversions of the simulated device: the device speaks UTF-16, the host UTF-8.
#ifndef KELBRUN_PLATFORM_SIM_TEXT_H
#define KELBRUN_PLATFORM_SIM_TEXT_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);

// UTF-8 to UTF-16; nothing when the bytes are not well-formed UTF-8.
std::optional<std::u16string> FromUtf8(std::string_view text);

// The bytes of UTF-16 text as the registry stores them: little-endian, no terminator added.
std::vector<uint8_t> Utf16LeBytes(std::u16string_view text);

// The other way: each two bytes a code unit, NULs included; an odd last byte is left out.
std::u16string FromUtf16LeBytes(std::string_view bytes);
std::u16string FromUtf16LeBytes(const std::vector<uint8_t>& bytes);
// The text up to the first NUL of such bytes; terminated tells whether there was one.
std::u16string TextUpToNul(const std::vector<uint8_t>& bytes, bool* terminated = nullptr);

// Folds case (to upper case) for comparing registry names and FAT file names. Only ASCII letters
// fold, so that a dry run gives the same answer whatever the host's locale.
std::u16string FoldCase(std::u16string_view text);

}  // namespace sim

#endif  // KELBRUN_PLATFORM_SIM_TEXT_H
