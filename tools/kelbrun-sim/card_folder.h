// --check on the card folder the launcher reads (SDMMC): whether it is a name the storage
// manager gives a card, by the profiles under HKEY_LOCAL_MACHINE\System\StorageManager.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_CARD_FOLDER_H
#define KELBRUN_TOOLS_KELBRUN_SIM_CARD_FOLDER_H

#include <string_view>

#include "platform/sim/device.h"
#include "tools/kelbrun-sim/finding.h"
#include "tools/kelbrun-sim/image_check.h"

namespace setupcheck {

// card: SDMMC as the launcher reads it, empty when it reads none. A name the profiles do not
// give is an error, whatever folder the dry run has under that name: only a folder the image's
// object store makes (its .dat) is there on the unit, and makes it a warning. A profile's Folder
// left as a LOC_ token, or an #include of the registry not read, makes it a warning that
// cannot judge (context.readerWarnings).
void CheckCardFolder(const sim::Device& device, std::u16string_view card,
                     const imagecheck::CheckContext& context, Findings& findings);

}  // namespace setupcheck

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_CARD_FOLDER_H
