#include "platform/sim/emulator/kernel/shell_bridge.h"

#include "platform/coredll.h"
#include "platform/sim/device.h"

namespace sim::kernel {
namespace {

constexpr uint32_t kNoAttributes = 0xFFFFFFFF;
constexpr uint32_t kFolder = 0x10;
constexpr uint32_t kNormal = 0x80;
constexpr uint32_t kOk = 1;  // IDOK: the box closed

// The device's shell, as the linked-in launcher's ShellExecuteEx meets it: it records the request
// and decides whether it is accepted.
ShellAnswer Open(const std::u16string& path, const std::u16string& parameters) {
    SHELLEXECUTEINFO info;
    memset(&info, 0, sizeof(info));
    info.cbSize = sizeof(SHELLEXECUTEINFO);
    info.lpFile = path.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    const BOOL accepted = ShellExecuteEx(&info);
    return ShellAnswer{static_cast<uint32_t>(accepted), accepted ? 0u : CurrentDevice().lastError};
}

}  // namespace

ShellAnswer AskShell(ShellStep step, const std::u16string& path, const std::u16string& parameters,
                     uint32_t flags) {
    (void)flags;
    Device& device = CurrentDevice();
    switch (step) {
        case ShellStep::kAttributes: {
            const auto found = device.files.Find(path, device.clockMs);
            if (!found) {
                return ShellAnswer{kNoAttributes, ERROR_FILE_NOT_FOUND};
            }
            return ShellAnswer{found->isFolder ? kFolder : kNormal, 0};
        }
        case ShellStep::kStartProcess:
        case ShellStep::kOpenFolder:
            return Open(path, parameters);
        case ShellStep::kMessageBox:
            return ShellAnswer{kOk, 0};
    }
    return ShellAnswer{};
}

}  // namespace sim::kernel
