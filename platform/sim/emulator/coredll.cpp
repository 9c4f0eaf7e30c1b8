#include "platform/sim/emulator/coredll.h"

#include "platform/sim/emulator/coredll_exports.h"

#include <list>
#include <string>

#include "platform/coredll.h"
#include "platform/debug_format.h"
#include "platform/sim/device.h"
#include "platform/sim/shell.h"

namespace sim {
namespace {

// Windows CE's pseudo-handle for the calling process, what GetCurrentProcess() gives there.
constexpr uint32_t kCurrentProcess = 0x42;
// The device's SHELLEXECUTEINFO: fifteen 32-bit fields.
constexpr uint32_t kShellInfoSize = 60;
constexpr uint32_t kInstAppOffset = 32;
constexpr uint32_t kProcessOffset = 56;
// The find data has no pointers, so the device's layout is the simulated one.
constexpr uint32_t kFindDataSize = 560;
static_assert(sizeof(WIN32_FIND_DATAW) == kFindDataSize);

HKEY KeyOf(uint32_t value) {
    return reinterpret_cast<HKEY>(static_cast<uintptr_t>(value));
}

HANDLE HandleOf(uint32_t value) {
    // INVALID_HANDLE_VALUE is all ones in either width.
    return value == 0xFFFFFFFF ? INVALID_HANDLE_VALUE
                               : reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
}

// Handles the simulated device gives out are small numbers, or INVALID_HANDLE_VALUE.
uint32_t Handle32(const void* handle) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle));
}

// A text argument that may be NULL.
struct OptionalText {
    OptionalText(ArmCall& call, uint32_t address)
        : present(address != 0), text(present ? call.ReadText(address) : std::u16string()) {}
    LPCWSTR Get() const {
        return present ? text.c_str() : nullptr;
    }
    bool present;
    std::u16string text;
};

void GetModuleFileNameWCall(ArmCall& call) {
    const uint32_t buffer = call.Arg(1);
    const uint32_t size = call.Arg(2);
    std::u16string path(size, u'\0');
    if (size != 0) {
        call.Read(buffer, 2ull * size);  // the whole buffer must be the program's to give
    }
    const DWORD result = GetModuleFileNameW(nullptr, path.data(), size);
    if (size != 0) {
        const size_t end = path.find(u'\0');
        const size_t written = end == std::u16string::npos ? size : end + 1;
        call.Write(buffer, path.data(), static_cast<uint32_t>(2 * written));
    }
    call.Return(result);
}

void GetLastErrorCall(ArmCall& call) {
    call.Return(GetLastError());
}

void WcsstrCall(ArmCall& call) {
    const uint32_t textAddress = call.Arg(0);
    const std::u16string text = call.ReadText(textAddress);
    const std::u16string pattern = call.ReadText(call.Arg(1));
    const WCHAR* found = wcsstr(text.c_str(), pattern.c_str());
    call.Return(found == nullptr ? 0
                                 : textAddress + 2 * static_cast<uint32_t>(found - text.c_str()));
}

void RegOpenKeyExWCall(ArmCall& call) {
    const OptionalText subKey(call, call.Arg(1));
    HKEY opened = nullptr;
    const LONG result =
        RegOpenKeyExW(KeyOf(call.Arg(0)), subKey.Get(), call.Arg(2), call.Arg(3), &opened);
    if (result == ERROR_SUCCESS) {
        call.WriteU32(call.Arg(4), Handle32(opened));
    }
    call.Return(static_cast<uint32_t>(result));
}

void RegQueryValueExWCall(ArmCall& call) {
    const OptionalText name(call, call.Arg(1));
    const uint32_t typeAddress = call.Arg(3);
    const uint32_t dataAddress = call.Arg(4);
    const uint32_t sizeAddress = call.Arg(5);
    DWORD type = 0;
    DWORD size = sizeAddress != 0 ? call.ReadU32(sizeAddress) : 0;
    std::vector<uint8_t> data;
    uint8_t noRoom = 0;  // data given without its size: refused below, as on the device
    if (dataAddress != 0 && sizeAddress != 0) {
        data = call.Read(dataAddress, size);
    }
    LPBYTE dataPointer = dataAddress == 0 ? nullptr : data.empty() ? &noRoom : data.data();
    const LONG result = RegQueryValueExW(KeyOf(call.Arg(0)), name.Get(), nullptr,
                                         typeAddress != 0 ? &type : nullptr, dataPointer,
                                         sizeAddress != 0 ? &size : nullptr);
    if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
        if (typeAddress != 0) {
            call.WriteU32(typeAddress, type);
        }
        if (sizeAddress != 0) {
            call.WriteU32(sizeAddress, size);
        }
    }
    if (result == ERROR_SUCCESS && dataAddress != 0 && size != 0) {
        call.Write(dataAddress, data.data(), size);
    }
    call.Return(static_cast<uint32_t>(result));
}

void RegCloseKeyCall(ArmCall& call) {
    call.Return(static_cast<uint32_t>(RegCloseKey(KeyOf(call.Arg(0)))));
}

void FindFirstFileWCall(ArmCall& call) {
    const OptionalText path(call, call.Arg(0));
    const uint32_t findAddress = call.Arg(1);
    call.Read(findAddress, kFindDataSize);
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(path.Get(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        call.Write(findAddress, &found, kFindDataSize);
    }
    call.Return(Handle32(search));
}

void FindCloseCall(ArmCall& call) {
    call.Return(static_cast<uint32_t>(FindClose(HandleOf(call.Arg(0)))));
}

// The device's record is handed to the same shell as the linked-in launcher's: a record of
// another size is refused there, before any of its other fields is read.
void ShellExecuteExCall(ArmCall& call) {
    const uint32_t infoAddress = call.Arg(0);
    const uint32_t size = call.ReadU32(infoAddress);
    const bool devices = size == kShellInfoSize;
    const auto field = [&](uint32_t offset) {
        return devices ? call.ReadU32(infoAddress + offset) : 0u;
    };
    const OptionalText verb(call, field(12));
    const OptionalText file(call, field(16));
    const OptionalText parameters(call, field(20));
    const OptionalText directory(call, field(24));
    ShellRequest asked;
    // The size as the linked-in launcher's record gives it, so that both runs record the same.
    asked.size = devices ? sizeof(SHELLEXECUTEINFO) : size;
    asked.devicesSize = devices;
    asked.mask = field(4);
    asked.verb = verb.text;
    asked.file = file.text;
    asked.parameters = parameters.text;
    asked.hasParameters = parameters.present;
    asked.hasDirectory = directory.present;
    asked.show = static_cast<int>(field(28));
    const ShellRequest& done = ShellExecuteRecorded(CurrentDevice(), asked);
    // hInstApp is set even in a record of another size: the shell's one answer to it.
    call.WriteU32(infoAddress + kInstAppOffset, done.instApp);
    if (devices) {
        call.WriteU32(infoAddress + kProcessOffset, done.process);
    }
    call.Return(done.accepted ? 1u : 0u);
}

void SleepCall(ArmCall& call) {
    Sleep(call.Arg(0));
}

// The debug print's arguments, fetched from the caller's registers and stack as its format
// asks for them: r1 to r3, then the stack.
struct PrintArgs {
    ArmCall& call;
    int next = 1;
    std::list<std::u16string> texts;  // lists, so that earlier texts stay where they are
    std::list<std::string> narrowTexts;
};

LPCWSTR NextText(void* context) {
    auto& args = *static_cast<PrintArgs*>(context);
    const uint32_t address = args.call.Arg(args.next++);
    if (address == 0) {
        return nullptr;
    }
    return args.texts.emplace_back(args.call.ReadText(address)).c_str();
}

const char* NextNarrowText(void* context) {
    auto& args = *static_cast<PrintArgs*>(context);
    const uint32_t address = args.call.Arg(args.next++);
    if (address == 0) {
        return nullptr;
    }
    return args.narrowTexts.emplace_back(args.call.ReadNarrowText(address)).c_str();
}

DWORD NextNumber(void* context) {
    auto& args = *static_cast<PrintArgs*>(context);
    return args.call.Arg(args.next++);
}

void NKDbgPrintfWCall(ArmCall& call) {
    const std::u16string format = call.ReadText(call.Arg(0));
    PrintArgs args{call, 1, {}, {}};
    PrintDebugLine(format.c_str(), DebugArgs{&args, NextText, NextNarrowText, NextNumber});
}

void TerminateProcessCall(ArmCall& call) {
    if (call.Arg(0) == kCurrentProcess) {
        call.EndProcess(static_cast<int>(call.Arg(1)));
        return;
    }
    CurrentDevice().lastError = ERROR_INVALID_HANDLE;  // no other process is simulated
    call.Return(FALSE);
}

void MemsetCall(ArmCall& call) {
    const uint32_t target = call.Arg(0);
    std::vector<uint8_t> bytes = call.Read(target, call.Arg(2));
    std::fill(bytes.begin(), bytes.end(), static_cast<uint8_t>(call.Arg(1)));
    call.Write(target, bytes.data(), static_cast<uint32_t>(bytes.size()));
    call.Return(target);
}

// memmove's work, which memcpy may do too: the source is read whole before anything is written.
void MemmoveCall(ArmCall& call) {
    const uint32_t target = call.Arg(0);
    const uint32_t size = call.Arg(2);
    call.Read(target, size);
    const std::vector<uint8_t> bytes = call.Read(call.Arg(1), size);
    call.Write(target, bytes.data(), size);
    call.Return(target);
}

const CoredllFunction kFunctions[] = {
    {"FindClose", FindCloseCall},
    {"FindFirstFileW", FindFirstFileWCall},
    {"GetLastError", GetLastErrorCall},
    {"GetModuleFileNameW", GetModuleFileNameWCall},
    {"NKDbgPrintfW", NKDbgPrintfWCall},
    {"RegCloseKey", RegCloseKeyCall},
    {"RegOpenKeyExW", RegOpenKeyExWCall},
    {"RegQueryValueExW", RegQueryValueExWCall},
    {"ShellExecuteEx", ShellExecuteExCall},
    {"Sleep", SleepCall},
    {"TerminateProcess", TerminateProcessCall},
    {"memcpy", MemmoveCall},
    {"memmove", MemmoveCall},
    {"memset", MemsetCall},
    {"wcsstr", WcsstrCall},
};

}  // namespace

uint32_t ArmCall::ReadU32(uint32_t address) {
    const std::vector<uint8_t> bytes = Read(address, 4);
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void ArmCall::WriteU32(uint32_t address, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    Write(address, bytes, 4);
}

std::string ArmCall::ReadNarrowText(uint32_t address) {
    std::string text;
    for (uint32_t at = address;; ++at) {
        const auto c = static_cast<char>(Read(at, 1)[0]);
        if (c == 0) {
            return text;
        }
        if (text.size() == kLongestText) {
            return text;  // cut, as a debug line is
        }
        text += c;
    }
}

const CoredllFunction* FindCoredllFunction(std::string_view name) {
    for (const CoredllFunction& function : kFunctions) {
        if (name == function.name) {
            return &function;
        }
    }
    return nullptr;
}

// Only what COREDLL exports can be bound: a binding of a name missing from its export table
// would let a program run here that no unit starts.
bool CoredllOffers(std::string_view name) {
    return FindCoredllExport(name) != nullptr && FindCoredllFunction(name) != nullptr;
}

}  // namespace sim
