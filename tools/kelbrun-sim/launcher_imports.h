// The COREDLL functions the launcher's device executable imports, as platform/launcher.imports
// lists them; made into this table when configuring.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_LAUNCHER_IMPORTS_H
#define KELBRUN_TOOLS_KELBRUN_SIM_LAUNCHER_IMPORTS_H

#include <cstddef>

namespace imagecheck {

extern const char* const kLauncherImports[];
extern const size_t kLauncherImportCount;

}  // namespace imagecheck

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_LAUNCHER_IMPORTS_H
