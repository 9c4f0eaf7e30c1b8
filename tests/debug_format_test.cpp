// The debug print's formatting, the kernel's: every conversion it knows, what it does with one
// it does not, and that a long line is cut inside its 384-character buffer, never past it.
#include <gtest/gtest.h>

#include <string>

#include "platform/debug_format.h"

namespace {

// NOLINTNEXTLINE(cert-dcl50-cpp): stands where the variadic debug print stands.
std::u16string Format(LPCWSTR format, ...) {
    WCHAR line[kDebugLineChars + 8];
    for (WCHAR& c : line) {
        c = u'#';
    }
    va_list args;
    va_start(args, format);
    FormatDebugLine(line, format, args);
    va_end(args);
    EXPECT_EQ(u'#', line[kDebugLineChars]) << "wrote past the line";
    return line;
}

TEST(DebugFormat, TheLaunchersConversions) {
    EXPECT_EQ(u"File \\A\\B exists\r\n", Format(u"File %s exists\r\n", u"\\A\\B"));
    EXPECT_EQ(u"[234] [-2147483648] [0]", Format(u"[%d] [%d] [%d]", 234, INT32_MIN, 0));
}

TEST(DebugFormat, NumbersAsTheKernelWritesThem) {
    EXPECT_EQ(u"4294967295 ffffffff FFFFFFFF", Format(u"%u %x %X", 0xFFFFFFFFu, -1, -1));
    EXPECT_EQ(u"0000002a|   -42|-42   |0x1f", Format(u"%08x|%6d|%-6d|%#x", 42, -42, -42, 31));
    EXPECT_EQ(u"00000042 0C3E5002", Format(u"%8.8lx %8.8lX", 0x42, 0x0C3E5002));
    EXPECT_EQ(u"[  7]", Format(u"[%*d]", 3, 7));
    EXPECT_EQ(u"-1 65535", Format(u"%hd %hu", 0xFFFF, 0xFFFF));
}

// As an emulated ARM caller passes them: 32-bit words, a 64-bit number in two.
struct Words {
    // cppcheck-suppress unusedStructMember ; read through the callback's context pointer
    const DWORD* next;
};

DWORD NextWord(void* context) {
    return *static_cast<Words*>(context)->next++;
}

TEST(DebugFormat, A64BitNumberTakesTwoWords) {
    const DWORD words[] = {0, 1, 7};
    Words from{words};
    WCHAR line[kDebugLineChars];
    FormatDebugLineFrom(line, u"%I64u %d", DebugArgs{&from, nullptr, nullptr, NextWord});
    EXPECT_EQ(std::u16string(u"4294967296 7"), line);
}

TEST(DebugFormat, TextsWideAndNarrow) {
    EXPECT_EQ(u"wide narrow narrow narrow",
              Format(u"%s %S %hs %a", u"wide", "narrow", "narrow", "narrow"));
    EXPECT_EQ(u"(NULL) (NULL)",
              Format(u"%s %S", static_cast<LPCWSTR>(nullptr), static_cast<const char*>(nullptr)));
    EXPECT_EQ(u"[  ab][ab  ][a]", Format(u"[%4s][%-4s][%.1s]", u"ab", u"ab", u"ab"));
    EXPECT_EQ(u"x=Q", Format(u"x=%c", u'Q'));
}

// The kernel writes an unknown conversion's character without its '%', and stops at a '%' that
// ends the format.
TEST(DebugFormat, UnknownConversionsAndALoneLastPercent) {
    EXPECT_EQ(u"100% q f", Format(u"100%% %q %f", 1.5));
    EXPECT_EQ(u"trailing ", Format(u"trailing %"));
}

TEST(DebugFormat, CutsLongLinesAt383Characters) {
    const std::u16string text(600, u'x');
    const std::u16string line = Format(u"Folder name is %s\r\n", text.c_str());
    EXPECT_EQ(static_cast<size_t>(kDebugLineChars - 1), line.size());
    EXPECT_EQ(383u, line.size());
    EXPECT_EQ(u"Folder name is xxx", line.substr(0, 18));
    // Exactly at the limit, and one past it.
    EXPECT_EQ(std::u16string(383, u'y'), Format(u"%s", std::u16string(383, u'y').c_str()));
    EXPECT_EQ(std::u16string(383, u'y'), Format(u"%s", std::u16string(384, u'y').c_str()));
}

}  // namespace
