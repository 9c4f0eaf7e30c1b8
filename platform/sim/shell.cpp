#include "platform/sim/shell.h"

#include "platform/sim/program_start.h"

namespace sim {
namespace {

constexpr uint32_t kIconError = 0x10;
constexpr uint32_t kIconExclamation = 0x30;
constexpr uint32_t kSetForeground = 0x10000;
constexpr uint32_t kErrorBadFormat = 11;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorOutOfMemory = 14;
constexpr uint32_t kSeErrAccessDenied = 5;  // hInstApp for a failure the shell names no better

// The box's text with the program's name in place of %s.
std::u16string Fill(std::u16string_view format, std::u16string_view name) {
    std::u16string text(format);
    const size_t at = text.find(u"%s");
    if (at != std::u16string::npos) {
        text.replace(at, 2, name);
    }
    return text;
}

void Fail(Device& device, ShellRequest& request, uint32_t error, std::string reason) {
    request.accepted = false;
    request.error = error;
    request.instApp = ShellInstApp(error);
    request.reason = std::move(reason);
    if ((request.mask & kMaskFlagNoUi) != 0) {
        request.outcome = ShellOutcome::kFailedQuietly;
    } else {
        const ShellBox box = ShellErrorBox(request.file, error);
        request.outcome = ShellOutcome::kBox;
        request.boxText = box.text;
        request.boxCaption = box.caption;
        request.boxFlags = box.flags;
    }
    device.lastError = error;
}

}  // namespace

const ShellRequest& ShellExecuteRecorded(Device& device, const ShellRequest& request) {
    ++device.record.calls.shellRequests;
    Event event;
    event.beganNs = HostNowNs();
    event.kind = Event::Kind::kOpen;
    event.deviceMs = device.clockMs;
    event.request = request;
    ShellExecute(device, event.request);
    event.endedNs = HostNowNs();
    device.record.events.push_back(std::move(event));
    return device.record.events.back().request;
}

ShellBox ShellErrorBox(std::u16string_view path, uint32_t error) {
    const size_t slash = path.find_last_of(u"\\/");
    const std::u16string_view caption =
        slash == std::u16string_view::npos ? path : path.substr(slash + 1);
    const std::u16string_view name = caption.substr(0, caption.find_last_of(u'.'));
    const uint32_t flags = kIconError | kSetForeground;
    switch (error) {
        case kErrorBadExeFormat:
        case kErrorBadFormat:
            return {Fill(u"'%s' is not a valid Windows CE application.", name),
                    std::u16string(caption), flags};
        case kErrorAccessDenied:
            return {Fill(u"'%s' cannot be accessed. Make sure the file is not currently open. If "
                         u"the file is not open, try opening the file from within the "
                         u"appropriate program.",
                         name),
                    std::u16string(caption), kIconExclamation | kSetForeground};
        case kErrorNotEnoughMemory:
        case kErrorOutOfMemory:
            return {Fill(u"Cannot execute '%s'. A critical component is either missing or is "
                         u"failing to start due to low memory.",
                         name),
                    std::u16string(caption), flags};
        case kErrorInvalidParameter:
            return {u"A filename must be specified.", std::u16string(caption), kIconError};
        case kErrorNotSupported:
            return {
                u"A system shell must be present to support executing folder paths or shell "
                u"extensions.",
                std::u16string(caption), kIconError};
        default:
            return {Fill(u"Cannot find '%s' (or one of its components). Make sure the path and "
                         u"filename are correct and that all the required libraries are "
                         u"available.",
                         name),
                    std::u16string(caption), flags};
    }
}

uint32_t ShellInstApp(uint32_t error) {
    switch (error) {
        case 2:
            return 2;  // SE_ERR_FNF
        case 3:
            return 3;  // SE_ERR_PNF
        case 11:
            return 11;  // SE_ERR_BAD_FORMAT, ERROR_BAD_FORMAT kept as it is
        case 1150:
            return 10;  // the shell maps a later Windows CE to 10
        case 1157:
            return 32;  // SE_ERR_DLLNOTFOUND
        default:
            // 193, 5, 126 and every other error the shell names no better.
            return kSeErrAccessDenied;
    }
}

std::optional<bool> ShellFindsFolder(const Device& device, std::u16string_view path) {
    if (path.find_first_of(u"*?") != std::u16string_view::npos) {
        return std::nullopt;
    }
    const auto found = device.files.Find(path, device.clockMs);
    if (!found) {
        return std::nullopt;
    }
    return found->isFolder;
}

ProgramStart ShellStartsProgram(Device& device, std::u16string_view path,
                                std::u16string_view parameters) {
    if (device.shellRefuses) {
        return ProgramStart{kErrorFileNotFound, "the kernel cannot open the file (--shell-fails)"};
    }
    return StartProgram(device, path, parameters);
}

void ShellExecute(Device& device, ShellRequest& request) {
    request.process = 0;
    if (!request.devicesSize) {
        // Refused before anything else: no box, whatever the mask.
        request.accepted = false;
        request.outcome = ShellOutcome::kRecordRefused;
        request.error = kErrorInvalidParameter;
        request.instApp = kSeErrAccessDenied;
        device.lastError = kErrorInvalidParameter;
        return;
    }
    if (request.file.empty()) {
        Fail(device, request, kErrorInvalidParameter, "no file named");
        return;
    }
    // The verb, the window state and the folder are not read for a program; only the file's
    // attributes decide between a folder and a program.
    if (ShellFindsFolder(device, request.file).value_or(false)) {
        if (!device.shellRunning) {
            Fail(device, request, kErrorNotSupported, "no shell is running to open a folder");
            return;
        }
        request.accepted = true;
        request.outcome = ShellOutcome::kExplorer;
        request.error = 0;
        request.instApp = 0;
        device.lastError = 0;
        return;
    }
    const ProgramStart start = ShellStartsProgram(device, request.file, request.parameters);
    if (start.error != 0) {
        Fail(device, request, start.error, start.reason);
        return;
    }
    request.accepted = true;
    request.outcome = ShellOutcome::kStarted;
    request.error = 0;
    request.instApp = 0;  // not above 32 as on desktop Windows
    // The shell closes the new process's handles unless the caller asked to keep one.
    if ((request.mask & kMaskNoCloseProcess) != 0) {
        request.process = static_cast<uint32_t>(device.nextHandle++);
    }
    device.lastError = 0;
}

}  // namespace sim
