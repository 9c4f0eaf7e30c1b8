// What COREDLL's locale code would work out from the locale data the simulated device does not
// have (the sorting tables of wince.nls): answered for it at the export's entry, the fewest
// functions the launcher's path needs. ShellExecuteEx compares a file's extension with ".lnk"
// through CompareStringW; with the simulated locale view every text would compare equal.
#include <algorithm>

#include "platform/sim/device.h"
#include "platform/sim/emulator/kernel/kernel.h"

namespace sim::kernel {
namespace {

constexpr uint32_t kIgnoreCase = 0x1;  // NORM_IGNORECASE
constexpr uint32_t kLessThan = 1;
constexpr uint32_t kEqual = 2;
constexpr uint32_t kGreaterThan = 3;
constexpr uint32_t kInvalidParameter = 87;

// A text of the given length, or up to its NUL for a negative length.
std::u16string Text(KernelCall& call, uint32_t address, uint32_t length) {
    if (static_cast<int32_t>(length) < 0) {
        return call.ReadText(address);
    }
    const std::vector<uint8_t> bytes = call.Read(address, 2ull * length);
    std::u16string text(length, u'\0');
    for (size_t i = 0; i < length; ++i) {
        text[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    }
    return text;
}

char16_t Fold(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// CompareStringW(locale, flags, text, length, other, length): by code point, letters of the
// Latin alphabet folded when asked; the order of code page 1252's other letters is not kept.
void CompareString(KernelCall& call, KernelState&) {
    if (call.Arg(2) == 0 || call.Arg(4) == 0) {
        CurrentDevice().lastError = kInvalidParameter;
        call.Return(0);
        return;
    }
    std::u16string a = Text(call, call.Arg(2), call.Arg(3));
    std::u16string b = Text(call, call.Arg(4), call.Arg(5));
    if ((call.Arg(1) & kIgnoreCase) != 0) {
        std::transform(a.begin(), a.end(), a.begin(), Fold);
        std::transform(b.begin(), b.end(), b.begin(), Fold);
    }
    const int order = a.compare(b);
    call.Return(order < 0 ? kLessThan : order == 0 ? kEqual : kGreaterThan);
}

}  // namespace

const AnsweredExport kLocaleAnswers[] = {
    {"CompareStringW", CompareString},
    {nullptr, nullptr},
};

}  // namespace sim::kernel
