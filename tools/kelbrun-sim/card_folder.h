// --check on the card folder the launcher reads (SDMMC): whether it is a name the storage
// manager gives a card, by the profiles under HKEY_LOCAL_MACHINE\System\StorageManager.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_CARD_FOLDER_H
#define KELBRUN_TOOLS_KELBRUN_SIM_CARD_FOLDER_H

#include <string_view>

#include "platform/sim/device.h"
#include "tools/kelbrun-sim/finding.h"

namespace setupcheck {

// card: SDMMC as the launcher reads it, empty when it reads none. A name the profiles do not
// give is an error, or a warning when --mount or --root (hasRoot) stands for it.
void CheckCardFolder(const sim::Device& device, std::u16string_view card, bool hasRoot,
                     Findings& findings);

}  // namespace setupcheck

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_CARD_FOLDER_H
