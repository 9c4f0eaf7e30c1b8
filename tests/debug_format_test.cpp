// The debug print's formatting: the conversions the launcher uses, and that a long line is cut
// inside its buffer rather than overrunning it.
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

TEST(DebugFormat, Conversions) {
    EXPECT_EQ(u"File \\A\\B exists\r\n", Format(u"File %s exists\r\n", u"\\A\\B"));
    EXPECT_EQ(u"[234] [-2147483648] [0]", Format(u"[%d] [%d] [%d]", 234, INT32_MIN, 0));
    EXPECT_EQ(u"100% %q %u", Format(u"100%% %q %u", 7u));
    EXPECT_EQ(u"(null) trailing %", Format(u"%s trailing %", static_cast<LPCWSTR>(nullptr)));
}

TEST(DebugFormat, CutsLongLinesInsideTheBuffer) {
    const std::u16string text(600, u'x');
    const std::u16string line = Format(u"Folder name is %s\r\n", text.c_str());
    EXPECT_EQ(static_cast<size_t>(kDebugLineChars - 1), line.size());
    EXPECT_EQ(u"Folder name is xxx", line.substr(0, 18));
}

}  // namespace
