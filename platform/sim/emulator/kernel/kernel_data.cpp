// The user kernel data page: what COREDLL reads from 0xFFFFC800 without calling the kernel.
#include "platform/sim/emulator/kernel/kernel.h"

#include <initializer_list>

namespace sim::kernel {
namespace {

constexpr uint32_t kData = kUserKernelData - kKernelPage;
constexpr uint32_t kInfo = kData + 0x300;  // the aInfo array
constexpr uint32_t kInfoPageSize = 1;
constexpr uint32_t kInfoFreePages = 4;
constexpr uint32_t kInfoTotalPages = 11;
constexpr uint32_t kInfoReadySets = 18;
constexpr uint32_t kInfoUserLocale = 21;
// A unit with 64 MiB of RAM, half of it free.
constexpr uint32_t kTotalPages = 16384;
constexpr uint32_t kFreePages = 8192;
constexpr uint32_t kEnglishUnitedStates = 0x0409;
// The API sets that are up when the launcher starts: the kernel's own (0 to 3), the windowing
// system (17), the file system (20) and the shell (21).
constexpr uint32_t kReadySets =
    1u << 0 | 1u << 1 | 1u << 2 | 1u << 3 | 1u << 17 | 1u << 20 | 1u << 21;

void Put(std::vector<uint8_t>& page, uint32_t at, uint32_t value) {
    for (uint32_t b = 0; b < 4; ++b) {
        page[at + b] = static_cast<uint8_t>(value >> (8 * b));
    }
}

void PutCode(std::vector<uint8_t>& page, uint32_t at, std::initializer_list<uint32_t> words) {
    for (const uint32_t word : words) {
        Put(page, at, word);
        at += 4;
    }
}

}  // namespace

std::vector<uint8_t> KernelDataPage() {
    std::vector<uint8_t> page(kPageSize, 0);
    Put(page, kData, kThreadLocalStorage);
    Put(page, kData + 8, kThreadHandle);
    Put(page, kData + 0xC, kProcessHandle);
    Put(page, kInfo + 4 * kInfoPageSize, kPageSize);
    Put(page, kInfo + 4 * kInfoFreePages, kFreePages);
    Put(page, kInfo + 4 * kInfoTotalPages, kTotalPages);
    Put(page, kInfo + 4 * kInfoReadySets, kReadySets);
    Put(page, kInfo + 4 * kInfoUserLocale, kEnglishUnitedStates);
    // The interlocked operations, which the kernel restarts if a thread is switched inside one;
    // the simulated device runs one thread, so plain loads and stores do. Their addresses and
    // arguments are the kernel's.
    PutCode(page, kData + 0x380,  // InterlockedPopList(head)
            {0xE5901000, 0xE3510000, 0x15912000, 0x15802000, 0xE1A00001, 0xE12FFF1E});
    PutCode(page, kData + 0x398,  // InterlockedPushList(head, item)
            {0xE5902000, 0xE5812000, 0xE5801000, 0xE1A00002, 0xE12FFF1E});
    PutCode(page, kData + 0x3AC,  // InterlockedCompareExchange(target, value, comparand)
            {0xE590C000, 0xE15C0002, 0x05801000, 0xE1A0000C, 0xE12FFF1E});
    PutCode(page, kData + 0x3C0,  // InterlockedExchangeAdd(target, increment)
            {0xE590C000, 0xE08C2001, 0xE5802000, 0xE1A0000C, 0xE12FFF1E});
    PutCode(page, kData + 0x3D4,  // InterlockedExchange(target, value)
            {0xE590C000, 0xE5801000, 0xE1A0000C, 0xE12FFF1E});
    return page;
}

}  // namespace sim::kernel
