#include "platform/sim/emulator/kernel/shell_bridge.h"

#include "platform/sim/device.h"
#include "platform/sim/shell.h"

namespace sim::kernel {
namespace {

constexpr uint32_t kNoAttributes = 0xFFFFFFFF;
constexpr uint32_t kFolder = 0x10;
constexpr uint32_t kNormal = 0x80;
constexpr uint32_t kOk = 1;  // IDOK: the box closed

// The unit's COREDLL runs the shell's own steps; the device records what they came to, as the
// model's shell records a request, so that both reports read alike. The record's size and mask
// stay inside COREDLL: by the time it reaches the kernel the record was the device's.
ShellRequest& Recorded(Device& device, const std::u16string& path,
                       const std::u16string& parameters) {
    ++device.record.calls.shellRequests;
    Event event;
    event.kind = Event::Kind::kOpen;
    event.deviceMs = device.clockMs;
    event.beganNs = HostNowNs();
    event.endedNs = event.beganNs;
    event.request.size = 60;
    event.request.devicesSize = true;
    event.request.file = path;
    event.request.parameters = parameters;
    event.request.hasParameters = !parameters.empty();
    device.record.events.push_back(std::move(event));
    return device.record.events.back().request;
}

ShellAnswer Start(Device& device, const std::u16string& path, const std::u16string& parameters) {
    ShellRequest& request = Recorded(device, path, parameters);
    const ProgramStart start = ShellStartsProgram(device, path, parameters);
    request.accepted = start.error == 0;
    request.error = start.error;
    request.reason = start.reason;
    request.instApp = start.error == 0 ? 0 : ShellInstApp(start.error);
    // Without a box to follow, the start failed with no word to the user.
    request.outcome = start.error == 0 ? ShellOutcome::kStarted : ShellOutcome::kFailedQuietly;
    return ShellAnswer{start.error == 0 ? 1u : 0u, start.error};
}

ShellAnswer OpenFolder(Device& device, const std::u16string& path) {
    ShellRequest& request = Recorded(device, path, u"");
    if (!device.shellRunning) {
        request.error = kErrorNotSupported;
        request.instApp = ShellInstApp(kErrorNotSupported);
        request.reason = "no shell is running to open a folder";
        request.outcome = ShellOutcome::kFailedQuietly;
        return ShellAnswer{0, kErrorNotSupported};
    }
    request.accepted = true;
    request.outcome = ShellOutcome::kExplorer;
    return ShellAnswer{1, 0};
}

// The box COREDLL shows, in its own words, belongs to the failed request it follows; one that
// follows none is recorded on its own, under its caption.
ShellAnswer ShowBox(Device& device, const std::u16string& caption, const std::u16string& text,
                    uint32_t flags) {
    Event* last = device.record.events.empty() ? nullptr : &device.record.events.back();
    if (last == nullptr || last->kind != Event::Kind::kOpen ||
        last->request.outcome != ShellOutcome::kFailedQuietly) {
        ShellRequest& request = Recorded(device, caption, u"");
        request.error = device.lastError;
        request.instApp = ShellInstApp(device.lastError);
        request.reason = "the shell gave up before it asked the kernel to start the program";
        last = &device.record.events.back();
    }
    last->request.outcome = ShellOutcome::kBox;
    last->request.boxText = text;
    last->request.boxCaption = caption;
    last->request.boxFlags = flags;
    return ShellAnswer{kOk, 0};
}

}  // namespace

ShellAnswer AskShell(ShellStep step, const std::u16string& path, const std::u16string& parameters,
                     uint32_t flags) {
    Device& device = CurrentDevice();
    switch (step) {
        case ShellStep::kAttributes: {
            const std::optional<bool> folder = ShellFindsFolder(device, path);
            if (!folder) {
                return ShellAnswer{kNoAttributes, kErrorFileNotFound};
            }
            return ShellAnswer{*folder ? kFolder : kNormal, 0};
        }
        case ShellStep::kStartProcess:
            return Start(device, path, parameters);
        case ShellStep::kOpenFolder:
            return OpenFolder(device, path);
        case ShellStep::kMessageBox:
            return ShowBox(device, path, parameters, flags);
    }
    return ShellAnswer{};
}

}  // namespace sim::kernel
