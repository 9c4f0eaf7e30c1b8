// The kernel's own calls (API set 0) and the process's (set 2) that a unit's COREDLL makes on
// the launcher's path: the debug print, the clock, the last error, the module's name, memory,
// starting a process and ending the thread.
#include <list>

#include "platform/debug_format.h"
#include "platform/sim/device.h"
#include "platform/sim/emulator/kernel/kernel.h"
#include "platform/sim/emulator/kernel/shell_bridge.h"

namespace sim::kernel {
namespace {

constexpr uint32_t kCurrentProcess = 0x42;  // GetCurrentProcess()'s pseudo-handle
constexpr uint32_t kProcessSet = 2;
constexpr uint32_t kThreadSet = 1;
constexpr uint32_t kMemoryInfoSize = 28;  // MEMORY_BASIC_INFORMATION
constexpr uint32_t kMemCommit = 0x1000;
constexpr uint32_t kPageReadWrite = 0x04;
constexpr uint32_t kPageNoAccess = 0x01;
constexpr uint32_t kPageExecuteRead = 0x20;
constexpr uint32_t kMemFree = 0x10000;
constexpr uint32_t kMemPrivate = 0x20000;
constexpr uint32_t kModuleNotFound = 126;

// The arguments NKvDbgPrintfW's va_list points at: one 32-bit word after another.
struct ListArgs {
    KernelCall& call;
    uint32_t next;
    std::list<std::u16string> texts;  // lists, so that earlier texts stay where they are
    std::list<std::string> narrowTexts;
};

uint32_t NextWord(ListArgs& args) {
    const uint32_t word = args.call.ReadU32(args.next);
    args.next += 4;
    return word;
}

LPCWSTR NextText(void* context) {
    auto& args = *static_cast<ListArgs*>(context);
    const uint32_t address = NextWord(args);
    return address == 0 ? nullptr : args.texts.emplace_back(args.call.ReadText(address)).c_str();
}

const char* NextNarrowText(void* context) {
    auto& args = *static_cast<ListArgs*>(context);
    const uint32_t address = NextWord(args);
    return address == 0 ? nullptr
                        : args.narrowTexts.emplace_back(args.call.ReadNarrowText(address)).c_str();
}

DWORD NextNumber(void* context) {
    return NextWord(*static_cast<ListArgs*>(context));
}

// NKvDbgPrintfW(format, va_list): the kernel formats the line. A line the program asked for
// is on the trail; COREDLL's own go to the report, as its.
void DebugPrint(KernelCall& call, KernelState&) {
    const std::u16string format = call.ReadText(call.Arg(0));
    ListArgs args{call, call.Arg(1), {}, {}};
    WCHAR line[kDebugLineChars];
    FormatDebugLineFrom(line, format.c_str(),
                        DebugArgs{&args, NextText, NextNarrowText, NextNumber});
    Record& record = CurrentDevice().record;
    (call.ProgramIsPrinting() ? record.trail : record.moduleLines).push_back(line);
}

void SetLastErrorCall(KernelCall& call, KernelState&) {
    CurrentDevice().lastError = call.Arg(0);
}

// The thread ends, and with the process's only thread the process, with its status.
void TerminateThread(KernelCall& call, KernelState&) {
    call.EndProcess(static_cast<int>(call.Arg(0)));
}

void TerminateProcessCall(KernelCall& call, KernelState&) {
    const uint32_t process = call.Arg(0);
    if (process == kProcessHandle || process == kCurrentProcess) {
        call.EndProcess(static_cast<int>(call.Arg(1)));
        return;
    }
    CurrentDevice().lastError = ERROR_INVALID_HANDLE;  // no other process is simulated
    call.Return(FALSE);
}

// CreateProc(image, command line, 0, 0, FALSE, flags, 0, 0, 0, &process information): the
// simulated shell starts the program; on success the new process and thread handles.
void CreateProc(KernelCall& call, KernelState& state) {
    const std::u16string path = call.ReadText(call.Arg(0));
    const std::u16string parameters = call.Arg(1) != 0 ? call.ReadText(call.Arg(1)) : u"";
    const uint32_t information = call.Arg(9);
    const ShellAnswer answer = AskShell(ShellStep::kStartProcess, path, parameters, 0);
    if (answer.result == FALSE) {
        CurrentDevice().lastError = answer.error;
        call.Return(FALSE);
        return;
    }
    if (information != 0) {
        const uint32_t process = NewHandle(state, kProcessSet);
        const uint32_t thread = NewHandle(state, kThreadSet);
        const uint32_t words[4] = {process, thread, process, thread};
        call.Write(information, words, sizeof(words));
    }
    call.Return(TRUE);
}

// VirtualQuery(address, information, size): the stretch of the process's memory the address
// lies in, committed or free, from its page to the stretch's end.
void VirtualQuery(KernelCall& call, KernelState&) {
    const uint32_t address = call.Arg(0) & ~(kPageSize - 1);
    if (call.Arg(2) < kMemoryInfoSize) {
        CurrentDevice().lastError = ERROR_INVALID_PARAMETER;
        call.Return(0);
        return;
    }
    const KernelCall::Stretch stretch = call.StretchAt(address);
    const uint32_t protection = !stretch.mapped    ? kPageNoAccess
                                : stretch.writable ? kPageReadWrite
                                                   : kPageExecuteRead;
    const uint32_t words[7] = {address,
                               stretch.mapped ? stretch.begin : 0,
                               protection,
                               stretch.end - address,
                               stretch.mapped ? kMemCommit : kMemFree,
                               protection,
                               stretch.mapped ? kMemPrivate : 0};
    call.Write(call.Arg(1), words, sizeof(words));
    call.Return(kMemoryInfoSize);
}

// A kernel object the process only holds: a critical section's, a mutex.
void NewObject(KernelCall& call, KernelState& state) {
    call.Return(NewHandle(state, 0));
}

// A notice to the kernel that needs no answer (a debugger's, a module's).
void Notice(KernelCall& call, KernelState&) {
    call.Return(0);
}

// The launcher's process is the first after the kernel's own: index 1.
void ProcessIndex(KernelCall& call, KernelState&) {
    call.Return(1);
}

// One address space for all: a pointer is the same in every process.
void SamePointer(KernelCall& call, KernelState&) {
    call.Return(call.Arg(0));
}

// VirtualAlloc(address, size, type, protection): fresh memory, or what was reserved before.
void VirtualAlloc(KernelCall& call, KernelState& state) {
    const uint32_t address = call.Arg(0);
    if (address != 0 && address >= kAllocationBegin && address < state.nextAllocation) {
        call.Return(address);  // committing what it reserved
        return;
    }
    call.Return(Allocate(call, state, call.Arg(1), "memory from VirtualAlloc"));
}

// Nothing of the kind here: no file in ROM, no debug zones to register.
void No(KernelCall& call, KernelState&) {
    call.Return(FALSE);
}

// LoadLibraryExW(name, 0, flags): no DLL besides COREDLL is on the simulated unit (a debug
// COREDLL asks for its memory debugger's).
void LoadLibrary(KernelCall& call, KernelState&) {
    CurrentDevice().lastError = kModuleNotFound;
    call.Return(0);
}

// CreateFileMapping(file, attributes, protection, size high, size low, name): memory shared
// by name, which only this process uses here (COREDLL's "NLSHEAP").
void CreateFileMapping(KernelCall& call, KernelState& state) {
    const uint32_t handle = NewHandle(state, kMappingSet);
    state.mappingSizes[handle] = call.Arg(4);
    call.Return(handle);
}

// MapViewOfFile(mapping, access, offset high, offset low, size): the mapping's memory, zeros.
void MapViewOfFile(KernelCall& call, KernelState& state) {
    const auto mapping = state.mappingSizes.find(call.Arg(0));
    if (mapping == state.mappingSizes.end()) {
        CurrentDevice().lastError = ERROR_INVALID_HANDLE;
        call.Return(0);
        return;
    }
    const uint32_t size = call.Arg(4) != 0 ? call.Arg(4) : mapping->second;
    call.Return(Allocate(call, state, size, "a view of a file mapping"));
}

// CreateLocaleView(first): a view of the image's \Windows\wince.nls.
void CreateLocaleView(KernelCall& call, KernelState& state) {
    call.Return(LocaleView(call, state));
}

// CloseHandle of a process or thread handle CreateProc gave: method 0 of the handle.
void CloseHandle(KernelCall& call, KernelState& state) {
    call.Return(state.handleSets.erase(call.Arg(0)) == 1 ? TRUE : FALSE);
}

// The launcher's process has one thread, its primary one.
void Yes(KernelCall& call, KernelState&) {
    call.Return(TRUE);
}

}  // namespace

const ServedCall kProcessCalls[] = {
    {0, 11, "ThreadAttachOrDetach", Notice},
    {0, 30, "ProcessDetachAllDLLs", Notice},
    {0, 65, "OtherThreadsRunning", No},
    {0, 66, "KillAllOtherThreads", Notice},
    {0, 71, "IsPrimaryThread", Yes},
    {0, 92, "CloseAllHandles", Notice},
    {kThreadSet, 0, "CloseHandle", CloseHandle},
    {kProcessSet, 0, "CloseHandle", CloseHandle},
    {0, 163, "CreateLocaleView", CreateLocaleView},
    {kMappingSet, 2, "MapViewOfFile", MapViewOfFile},
    {0, 95, "CreateFileMapping", CreateFileMapping},
    {0, 148, "LoadLibraryExW", LoadLibrary},
    {0, 22, "RegisterDbgZones", No},
    {0, 32, "GetRomFileInfo", No},
    {0, 3, "VirtualAlloc", VirtualAlloc},
    {0, 60, "MapPtrUnsecure", SamePointer},
    {0, 80, "CreateMutex", NewObject},
    {0, 152, "ProcGetIndex", ProcessIndex},
    {0, 46, "CloseProcOE", Notice},
    {0, 103, "UpdateNLSInfo", Notice},
    {0, 118, "DebugNotify", Notice},
    {0, 78, "CreateCrit", NewObject},
    {0, 6, "VirtualQuery", VirtualQuery},
    {0, 23, "NKvDbgPrintfW", DebugPrint},
    {0, 53, "CreateProc", CreateProc},
    {0, 82, "Sleep", nullptr},
    {0, 87, "NKTerminateThread", TerminateThread},
    {0, 88, "SetLastError", SetLastErrorCall},
    {0, 89, "GetLastError", nullptr},
    {0, 125, "GetModuleFileNameW", nullptr},
    {kProcessSet, 2, "TerminateProcess", TerminateProcessCall},
    {0, 0, nullptr, nullptr},
};

}  // namespace sim::kernel
