// The unit's boot order as HKEY_LOCAL_MACHINE\init gives it: which programs the kernel starts,
// in what order, and what each waits for before it starts.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_BOOT_ORDER_H
#define KELBRUN_TOOLS_KELBRUN_SIM_BOOT_ORDER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/registry.h"
#include "tools/kelbrun-sim/finding.h"

namespace bootorder {

inline constexpr char16_t kInitKey[] = u"HKEY_LOCAL_MACHINE\\init";

// The kernel keeps at most this many entries, and reads at most this many bytes of a DependNN
// (32 launch numbers of 16 bits).
inline constexpr size_t kMostEntries = 32;
inline constexpr size_t kMostDependBytes = 64;

struct Entry {
    uint32_t number = 0;
    std::u16string digits;   // the number as written after "Launch"
    std::u16string program;  // the LaunchNN text
    std::vector<uint32_t> waitsFor;
    bool launcher = false;  // the launcher's own entry
};

struct BootOrder {
    bool hasKey = false;
    std::vector<Entry> entries;  // in the order they start: ascending number
};

// Whether a program name names the launcher: its file name, with ".exe" added when it has no
// such ending, is Kelbrun.EXE or the file name of the launcher's own path, without regard to
// case.
bool NamesLauncher(std::u16string_view program, std::u16string_view ownPath);

// Reads the init key; adds a finding for each value the kernel would not read as it looks
// meant to be read.
BootOrder ReadBootOrder(const sim::Registry& registry, std::u16string_view ownPath,
                        setupcheck::Findings& findings);

// Adds a finding for each entry that waits for something that never comes, and for each
// dependency on a number that has no entry. Gives the index of the first entry that waits in
// vain, where the boot stops, or the number of entries when none does.
size_t CheckWaits(const BootOrder& order, setupcheck::Findings& findings);

// "entry 50 (\Windows\Kelbrun.EXE)", for the findings.
std::string Describe(const Entry& entry);

// The entry's program as the boot order shows it: a DependNN alone starts none.
std::u16string ShownProgram(const Entry& entry);

}  // namespace bootorder

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_BOOT_ORDER_H
