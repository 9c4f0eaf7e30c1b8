// The file system's calls (API set 20) and its find handles' (set 8): the registry, the
// attributes of a file, and searches, served by the COREDLL model's bindings of the same
// functions, whose arguments COREDLL passes on as they came.
#include "platform/coredll.h"
#include "platform/sim/device.h"
#include "platform/sim/emulator/coredll.h"
#include "platform/sim/emulator/kernel/kernel.h"
#include "platform/sim/emulator/kernel/shell_bridge.h"

namespace sim::kernel {
namespace {

constexpr uint32_t kFileSystemSet = 20;
constexpr uint32_t kFindSet = 8;
constexpr uint32_t kLocalMachine = 0x80000002;
constexpr uint32_t kCreatedNewKey = 1;
constexpr uint32_t kNoMoreItems = 259;
constexpr uint32_t kOpenedExistingKey = 2;

void GetFileAttributes(KernelCall& call, KernelState&) {
    const ShellAnswer answer = AskShell(ShellStep::kAttributes, call.ReadText(call.Arg(0)), u"", 0);
    if (answer.error != 0) {
        CurrentDevice().lastError = answer.error;
    }
    call.Return(answer.result);
}

// The search handle the model gives out is the kernel's too: its later calls come as method 0
// of a find handle.
void FindFirstFile(KernelCall& call, KernelState& state) {
    FindCoredllFunction("FindFirstFileW")->call(call);
    const uint32_t handle = call.Arg(0);  // the result, now in r0
    if (handle != 0xFFFFFFFF) {
        state.handleSets[handle] = kFindSet;
    }
}

void FindClose(KernelCall& call, KernelState& state) {
    state.handleSets.erase(call.Arg(0));
    FindCoredllFunction("FindClose")->call(call);
}

// RegCreateKeyExW(key, subkey, 0, class, options, access, security, &key, &disposition):
// COREDLL makes its own keys (its locale overrides); made in the simulated registry, then opened
// as RegOpenKeyExW opens a key.
void RegCreateKey(KernelCall& call, KernelState&) {
    Device& device = CurrentDevice();
    const uint32_t parent = call.Arg(0);
    const std::u16string subKey = call.ReadText(call.Arg(1));
    const auto open = device.openKeys.find(parent);
    if (parent != kLocalMachine && open == device.openKeys.end()) {
        call.Return(ERROR_INVALID_HANDLE);
        return;
    }
    const std::u16string path = Registry::Join(
        open == device.openKeys.end() ? u"HKEY_LOCAL_MACHINE" : open->second, subKey);
    const bool existed = device.registry.HasKey(path);
    if (!existed) {
        device.registry.CreateKey(path);
    }
    HKEY opened = nullptr;
    const LONG result = RegOpenKeyExW(reinterpret_cast<HKEY>(static_cast<uintptr_t>(parent)),
                                      subKey.c_str(), 0, 0, &opened);
    if (result == ERROR_SUCCESS) {
        call.WriteU32(call.Arg(7), static_cast<uint32_t>(reinterpret_cast<uintptr_t>(opened)));
        if (call.Arg(8) != 0) {
            call.WriteU32(call.Arg(8), existed ? kOpenedExistingKey : kCreatedNewKey);
        }
    }
    call.Return(static_cast<uint32_t>(result));
}

// RegEnumValueW(key, index, name, &name size, 0, &type, data, &data size): the key's values in
// the order they were set.
void RegEnumValue(KernelCall& call, KernelState&) {
    Device& device = CurrentDevice();
    const auto open = device.openKeys.find(call.Arg(0));
    if (open == device.openKeys.end()) {
        call.Return(ERROR_INVALID_HANDLE);
        return;
    }
    const std::vector<NamedValue> values = device.registry.ValuesInOrderSet(open->second);
    const uint32_t index = call.Arg(1);
    if (index >= values.size()) {
        call.Return(kNoMoreItems);
        return;
    }
    const NamedValue& value = values[index];
    const uint32_t nameRoom = call.ReadU32(call.Arg(3));
    if (nameRoom <= value.name.size()) {
        call.Return(ERROR_MORE_DATA);
        return;
    }
    call.Write(call.Arg(2), value.name.c_str(), static_cast<uint32_t>(2 * (value.name.size() + 1)));
    call.WriteU32(call.Arg(3), static_cast<uint32_t>(value.name.size()));
    if (call.Arg(5) != 0) {
        call.WriteU32(call.Arg(5), value.value.type);
    }
    const auto size = static_cast<uint32_t>(value.value.bytes.size());
    if (call.Arg(7) != 0) {
        const uint32_t room = call.ReadU32(call.Arg(7));
        call.WriteU32(call.Arg(7), size);
        if (call.Arg(6) != 0 && room < size) {
            call.Return(ERROR_MORE_DATA);
            return;
        }
        if (call.Arg(6) != 0) {
            call.Write(call.Arg(6), value.value.bytes.data(), size);
        }
    }
    call.Return(ERROR_SUCCESS);
}

// The windowing system and the shell ask the file system whether it is up.
void Ready(KernelCall&, KernelState&) {}

}  // namespace

const ServedCall kFileSystemCalls[] = {
    {kFileSystemSet, 0, "the file system's start notice", Ready},
    {kFileSystemSet, 7, "GetFileAttributesW", GetFileAttributes},
    {kFileSystemSet, 8, "FindFirstFileW", FindFirstFile},
    {kFileSystemSet, 17, "RegCloseKey", nullptr},
    {kFileSystemSet, 18, "RegCreateKeyExW", RegCreateKey},
    {kFileSystemSet, 21, "RegEnumValueW", RegEnumValue},
    {kFileSystemSet, 23, "RegOpenKeyExW", nullptr},
    {kFileSystemSet, 25, "RegQueryValueExW", nullptr},
    {kFindSet, 0, "FindClose", FindClose},
    {0, 0, nullptr, nullptr},
};

}  // namespace sim::kernel
