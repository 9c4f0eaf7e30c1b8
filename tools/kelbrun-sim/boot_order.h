// The unit's boot order as HKEY_LOCAL_MACHINE\init gives it to Windows CE 5.0's launch loop:
// which programs start, in what order, and what each waits for before it starts.
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

// What the launch loop keeps and reads: 32 entries; a DependNN of at most 32 launch numbers of
// 16 bits; value names in a buffer of 128 characters and data in one of 520 bytes (MAX_PATH
// characters), a longer one cut to fit.
inline constexpr size_t kMostEntries = 32;
inline constexpr size_t kMostDependBytes = 64;
inline constexpr size_t kNameBufferChars = 128;
inline constexpr size_t kDataBufferBytes = 520;

// Where a finding's fact comes from.
inline constexpr char kOnCe5[] = " (CE 5.0's launch loop)";

struct Entry {
    uint32_t number = 0;
    std::u16string launchName;  // the LaunchNN that gave the program; empty for a DependNN alone
    std::u16string dependName;  // the DependNN that gave the list; empty for none
    std::u16string program;     // as the loop hands it to CreateProcess
    // The numbers it waits for, as the loop reads them; the last fromProgramName of them are
    // the program name's characters, read on from a DependNN that fills its 64 bytes.
    std::vector<uint32_t> waitsFor;
    size_t fromProgramName = 0;
    bool launcher = false;      // the launcher's own entry
    bool startedEarly = false;  // device.exe, already started for "Start DevMgr": not again
    // Its start fails (no program, a cut or unexpanded name, no such file), so the loop marks
    // it done without a signal and its dependents go on.
    bool startFails = false;
};

struct BootOrder {
    bool hasKey = false;
    bool deviceManagerEarly = false;      // init\BootVars "Start DevMgr" set
    std::vector<Entry> entries;           // in the order they start: ascending number, unsigned
    std::vector<std::u16string> dropped;  // values of numbers past the 32 kept, as enumerated
};

// COREDLL's _wtol, as the launch loop reads the number after "Launch" or "Depend": white space
// skipped; one "0" skipped, and then an "x" or "X" reads hexadecimal digits; else an optional
// sign and decimal digits, up to the first other character; 32 bits, wrapping.
uint32_t ReadNumber(std::u16string_view text);

// Whether a program name names the launcher: its file name, with ".exe" added when it has no
// such ending, is Kelbrun.EXE or the file name of the launcher's own path, without regard to
// case.
bool NamesLauncher(std::u16string_view program, std::u16string_view ownPath);

// Reads the init key as the launch loop enumerates it, in the order its values were set; adds
// a finding for each value the loop would not read as it looks meant to be read.
BootOrder ReadBootOrder(const sim::Registry& registry, std::u16string_view ownPath,
                        setupcheck::Findings& findings);

// Adds a finding for each entry that waits for something that never comes, for each
// dependency on a number that has no entry, and for each on an entry whose start fails. Gives
// the index of the first entry that waits in vain, where the boot stops, or the number of
// entries when none does.
size_t CheckWaits(const BootOrder& order, setupcheck::Findings& findings);

// "entry 50 (\Windows\Kelbrun.EXE)", for the findings.
std::string Describe(const Entry& entry);

// The entry's program as the boot order shows it: a DependNN alone starts none.
std::u16string ShownProgram(const Entry& entry);

}  // namespace bootorder

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_BOOT_ORDER_H
