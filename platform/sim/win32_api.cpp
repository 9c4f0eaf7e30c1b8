// The platform operations of the simulated device. Each behaves as the device's does in what
// the launcher passes and relies on, and records what it was asked.
#include "platform/coredll.h"

#include <chrono>
#include <string>
#include <thread>

#include "platform/debug_format.h"
#include "platform/sim/device.h"
#include "platform/sim/shell.h"

namespace {

const char16_t kLocalMachine[] = u"HKEY_LOCAL_MACHINE";

std::u16string TextOf(LPCWSTR text) {
    return text == nullptr ? std::u16string() : std::u16string(text);
}

// The key path a handle stands for, or nothing when it is no open key.
const std::u16string* KeyPathOf(sim::Device& device, HKEY key) {
    static const std::u16string localMachine = kLocalMachine;
    if (key == HKEY_LOCAL_MACHINE) {
        return &localMachine;
    }
    const auto open = device.openKeys.find(reinterpret_cast<uintptr_t>(key));
    return open == device.openKeys.end() ? nullptr : &open->second;
}

}  // namespace

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
    (void)module;
    sim::Device& device = sim::CurrentDevice();
    ++device.record.calls.moduleQueries;
    if (device.moduleQueryError != 0) {
        device.lastError = device.moduleQueryError;
        return 0;
    }
    if (size == 0) {
        device.lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    const std::u16string& path = device.ownPath;
    const DWORD copied = path.size() < size ? static_cast<DWORD>(path.size()) : size - 1;
    path.copy(fileName, copied);
    fileName[copied] = 0;
    if (copied < path.size()) {
        device.lastError = ERROR_INSUFFICIENT_BUFFER;
        return size;
    }
    device.lastError = ERROR_SUCCESS;
    return copied;
}

DWORD GetLastError(void) {
    return sim::CurrentDevice().lastError;
}

const WCHAR* wcsstr(const WCHAR* text, const WCHAR* pattern) {
    const std::u16string_view haystack(text);
    const size_t at = haystack.find(std::u16string_view(pattern));
    return at == std::u16string_view::npos ? nullptr : text + at;
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
    (void)options;
    (void)desired;
    sim::Device& device = sim::CurrentDevice();
    ++device.record.calls.keyOpens;
    const std::u16string* parent = KeyPathOf(device, key);
    if (parent == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    const std::u16string path = sim::Registry::Join(*parent, TextOf(subKey));
    if (!device.registry.HasKey(path)) {
        return ERROR_FILE_NOT_FOUND;
    }
    const uintptr_t handle = device.nextHandle++;
    device.openKeys[handle] = path;
    *result = reinterpret_cast<HKEY>(handle);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
    (void)reserved;
    sim::Device& device = sim::CurrentDevice();
    ++device.record.calls.valueQueries;
    const std::u16string* path = KeyPathOf(device, key);
    if (path == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    if (data != nullptr && dataSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const sim::RegistryValue* value = device.registry.FindValue(*path, TextOf(valueName));
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (type != nullptr) {
        *type = value->type;
    }
    if (dataSize == nullptr) {
        return ERROR_SUCCESS;
    }
    const DWORD needed = static_cast<DWORD>(value->bytes.size());
    const DWORD room = *dataSize;
    *dataSize = needed;
    if (data == nullptr) {
        return ERROR_SUCCESS;
    }
    if (room < needed) {
        return ERROR_MORE_DATA;
    }
    if (needed != 0) {
        memcpy(data, value->bytes.data(), needed);
    }
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    sim::Device& device = sim::CurrentDevice();
    ++device.record.calls.keyCloses;
    return device.openKeys.erase(reinterpret_cast<uintptr_t>(key)) == 1 ? ERROR_SUCCESS
                                                                        : ERROR_INVALID_HANDLE;
}

HANDLE FindFirstFileW(LPCWSTR fileName, WIN32_FIND_DATAW* findData) {
    sim::Device& device = sim::CurrentDevice();
    ++device.record.calls.searches;
    const auto found = device.files.Find(TextOf(fileName), device.clockMs);
    if (!found) {
        device.lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    memset(findData, 0, sizeof(*findData));
    findData->dwFileAttributes = found->isFolder ? 0x10 : 0x80;  // DIRECTORY or NORMAL
    found->name.copy(findData->cFileName,
                     found->name.size() < MAX_PATH ? found->name.size() : MAX_PATH - 1);
    const uintptr_t handle = device.nextHandle++;
    device.openSearches.insert(handle);
    return reinterpret_cast<HANDLE>(handle);
}

BOOL FindClose(HANDLE find) {
    sim::Device& device = sim::CurrentDevice();
    ++device.record.calls.searchCloses;
    return device.openSearches.erase(reinterpret_cast<uintptr_t>(find)) == 1 ? TRUE : FALSE;
}

BOOL ShellExecuteEx(SHELLEXECUTEINFO* info) {
    sim::ShellRequest asked;
    asked.size = info->cbSize;
    asked.devicesSize = info->cbSize == sizeof(SHELLEXECUTEINFO);
    asked.mask = info->fMask;
    asked.verb = TextOf(info->lpVerb);
    asked.file = TextOf(info->lpFile);
    asked.parameters = TextOf(info->lpParameters);
    asked.hasParameters = info->lpParameters != nullptr;
    asked.hasDirectory = info->lpDirectory != nullptr;
    asked.show = info->nShow;
    const sim::ShellRequest& done = sim::ShellExecuteRecorded(sim::CurrentDevice(), asked);
    // hInstApp is set even in a record of another size: the shell's one answer to it.
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(done.instApp));
    if (done.devicesSize) {
        info->hProcess = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(done.process));
    }
    return done.accepted ? TRUE : FALSE;
}

void Sleep(DWORD milliseconds) {
    sim::Device& device = sim::CurrentDevice();
    ++device.record.calls.sleeps;
    sim::Event event;
    event.kind = sim::Event::Kind::kSleep;
    event.milliseconds = milliseconds;
    event.deviceMs = device.clockMs;
    event.beganNs = sim::HostNowNs();
    if (device.waitForReal) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    // Saturating: a clock that wrapped would bring unmounted folders back to their start.
    device.clockMs =
        milliseconds > UINT32_MAX - device.clockMs ? UINT32_MAX : device.clockMs + milliseconds;
    event.endedNs = sim::HostNowNs();
    device.record.events.push_back(event);
}

void sim::PrintDebugLine(LPCWSTR format, const DebugArgs& args) {
    WCHAR line[kDebugLineChars];
    FormatDebugLineFrom(line, format, args);
    CurrentDevice().record.trail.push_back(line);
}

// NOLINTNEXTLINE(cert-dcl50-cpp): the device's debug print is a C-style variadic function.
void NKDbgPrintfW(LPCWSTR format, ...) {
    WCHAR line[kDebugLineChars];
    va_list args;
    va_start(args, format);
    FormatDebugLine(line, format, args);
    va_end(args);
    sim::CurrentDevice().record.trail.push_back(line);
}
