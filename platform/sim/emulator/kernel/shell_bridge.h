// Where the simulated kernel meets the simulated shell: the shell steps a unit's COREDLL takes
// inside ShellExecuteEx, each answered by the simulated device's shell. One function, so that
// the shell's rules live in one place, which this calls.
#ifndef KELBRUN_PLATFORM_SIM_EMULATOR_KERNEL_SHELL_BRIDGE_H
#define KELBRUN_PLATFORM_SIM_EMULATOR_KERNEL_SHELL_BRIDGE_H

#include <cstdint>
#include <string>

namespace sim::kernel {

enum class ShellStep {
    kAttributes,    // GetFileAttributesW(path)
    kStartProcess,  // CreateProc(path, parameters, ...)
    kOpenFolder,    // SHCreateExplorerInstance(path, 4)
    kMessageBox,    // MessageBoxW(0, text = parameters, caption = path, flags)
};

struct ShellAnswer {
    uint32_t result = 0;
    uint32_t error = 0;  // the last error to set when nonzero
};

ShellAnswer AskShell(ShellStep step, const std::u16string& path, const std::u16string& parameters,
                     uint32_t flags);

}  // namespace sim::kernel

#endif  // KELBRUN_PLATFORM_SIM_EMULATOR_KERNEL_SHELL_BRIDGE_H
