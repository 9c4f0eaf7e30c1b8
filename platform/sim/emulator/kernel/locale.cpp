// The locale data a unit's COREDLL maps at start-up: Platform Builder writes it into the image
// as \Windows\wince.nls, in a layout only COREDLL and that tool share. COREDLL reads a header of
// five words (the number of locales, of a second table's entries and of code pages, and two
// offsets of shared tables), then the three tables of {id, offset} pairs, sorted by id, and
// finds a locale's and a code page's data by offset from the view. Without the file, the view
// the simulated device gives holds English (United States) and code page 1252 and nothing of
// their data but the locale's ANSI code page, so that COREDLL starts: whatever it would read
// from that data (names, sorting) reads zeros.
#include "platform/sim/emulator/kernel/kernel.h"

namespace sim::kernel {
namespace {

constexpr uint32_t kViewSize = 0x10000;
constexpr uint32_t kEnglishUnitedStates = 0x0409;
constexpr uint32_t kWesternEuropean = 1252;
constexpr uint32_t kLocaleTable = 20;
constexpr uint32_t kLocaleData = 0x100;
constexpr uint32_t kLocaleAnsiCodePage = 0xC0;
constexpr uint32_t kCodePageData = 0x400;
constexpr uint32_t kSharedTables = 0x800;

}  // namespace

uint32_t LocaleView(KernelCall& call, KernelState& state) {
    if (state.localeData != nullptr && !state.localeData->empty()) {
        const auto size = static_cast<uint32_t>(state.localeData->size());
        const uint32_t file = Allocate(call, state, size, "the image's wince.nls");
        if (file != 0) {
            call.Write(file, state.localeData->data(), size);
        }
        return file;
    }
    const uint32_t view = Allocate(call, state, kViewSize, "the locale data");
    if (view == 0) {
        return 0;
    }
    const uint32_t header[5] = {1, 0, 1, kSharedTables, kSharedTables};
    call.Write(view, header, sizeof(header));
    const uint32_t tables[4] = {kEnglishUnitedStates, kLocaleData, kWesternEuropean, kCodePageData};
    call.Write(view + kLocaleTable, tables, sizeof(tables));
    call.WriteU32(view + kLocaleData + kLocaleAnsiCodePage, kWesternEuropean);
    return view;
}

}  // namespace sim::kernel
