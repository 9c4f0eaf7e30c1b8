// The simulated device's shell behind ShellExecuteEx, as Windows CE 5.0's shell answers a request:
// a record of another size refused, a folder opened in an Explorer window, a file handed to
// CreateProcessW without being looked for first, and a failed start shown in the shell's error
// box, which the caller waits on until it is closed.
#ifndef KELBRUN_PLATFORM_SIM_SHELL_H
#define KELBRUN_PLATFORM_SIM_SHELL_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sim/device.h"
#include "platform/sim/program_start.h"

namespace sim {

inline constexpr uint32_t kMaskNoCloseProcess = 0x40;
inline constexpr uint32_t kMaskFlagNoUi = 0x400;

struct ShellBox {
    std::u16string text;
    std::u16string caption;
    uint32_t flags = 0;  // MessageBox's
};

// Carries out the request on the device and fills in what the shell did; sets the device's last
// error. The request's size, mask, file and parameters are what the shell reads of it.
void ShellExecute(Device& device, ShellRequest& request);

// ShellExecute as a call of the run: counted, timed on the host's steady clock and recorded as
// an event. Gives the recorded request.
const ShellRequest& ShellExecuteRecorded(Device& device, const ShellRequest& request);

// The box the shell shows when starting path failed with error: its caption is the file's name,
// and the program's name in its text is that name without its extension.
ShellBox ShellErrorBox(std::u16string_view path, uint32_t error);

// The hInstApp the shell leaves for a start that failed with error.
uint32_t ShellInstApp(uint32_t error);

// What the shell learns of a name from its attributes: whether it is a folder. Nothing when
// the name is not there; attributes are read of the name itself, so a wildcard matches nothing.
std::optional<bool> ShellFindsFolder(const Device& device, std::u16string_view path);

// The shell's CreateProcessW of a program, or the start failing as --shell-fails asks.
ProgramStart ShellStartsProgram(Device& device, std::u16string_view path,
                                std::u16string_view parameters);

}  // namespace sim

#endif  // KELBRUN_PLATFORM_SIM_SHELL_H
