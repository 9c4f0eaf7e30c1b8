// Where Windows CE 5.0's kernel looks for a program the launch loop starts: the name as it
// stands, then with ".exe"; a relative name in \Windows (the ROM's files show there), in \, and
// in each folder of HKEY_LOCAL_MACHINE\Loader "SystemPath".
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_PROGRAM_SEARCH_H
#define KELBRUN_TOOLS_KELBRUN_SIM_PROGRAM_SEARCH_H

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/device.h"
#include "tools/kelbrun-sim/boot_order.h"
#include "tools/kelbrun-sim/finding.h"

namespace programsearch {

// The kernel's limit on a path: MAX_PATH characters with the terminator.
inline constexpr size_t kMostPathChars = 259;

// The folders of "SystemPath" as the kernel keeps them: a REG_MULTI_SZ of fewer than 520 bytes,
// up to its first empty string; anything else is not read. Adds a finding for a value the
// kernel ignores and for a folder it would join badly.
std::vector<std::u16string> ReadSystemPath(const sim::Registry& registry,
                                           setupcheck::Findings& findings);

// The paths the kernel tries for a program, in its order. Each folder is joined to the name as
// it stands, as the kernel joins them.
std::vector<std::u16string> Candidates(std::u16string_view program,
                                       const std::vector<std::u16string>& systemPath);

// Looks for each entry's program on the device; marks those that do not resolve as failing to
// start, adds a finding for each and gives their numbers. Unless windowsDescribed (by the OS
// image's files, or a Windows folder under the root), a path under \Windows is not known, and
// the launcher's own path counts as its file. fromImage: the image's files were given, and the
// findings say the program is not in the image.
std::set<uint32_t> CheckPrograms(const sim::Device& device, bootorder::BootOrder& order,
                                 bool windowsDescribed, bool fromImage,
                                 setupcheck::Findings& findings);

}  // namespace programsearch

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_PROGRAM_SEARCH_H
