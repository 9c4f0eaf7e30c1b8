// The windowing system's calls (GWES, API set 17) and the shell's (set 21) on the launcher's
// path: the wait cursor, the error box, and an Explorer window on a folder.
#include "platform/sim/device.h"
#include "platform/sim/emulator/kernel/kernel.h"
#include "platform/sim/emulator/kernel/shell_bridge.h"

namespace sim::kernel {
namespace {

constexpr uint32_t kGraphicsSet = 16;
constexpr uint32_t kWindowingSet = 17;
constexpr uint32_t kShellSet = 21;
constexpr uint32_t kWaitCursor = 0x0C3E7002;
constexpr uint32_t kFirstClassAtom = 0xC000;

void LoadCursor(KernelCall& call, KernelState&) {
    call.Return(kWaitCursor);
}

// SetCursor gives the cursor shown before: none, when the launcher starts.
void SetCursor(KernelCall& call, KernelState&) {
    call.Return(0);
}

void MessageBox(KernelCall& call, KernelState&) {
    const std::u16string text = call.Arg(1) != 0 ? call.ReadText(call.Arg(1)) : u"";
    const std::u16string caption = call.Arg(2) != 0 ? call.ReadText(call.Arg(2)) : u"";
    call.Return(AskShell(ShellStep::kMessageBox, caption, text, call.Arg(3)).result);
}

void OpenFolder(KernelCall& call, KernelState&) {
    const ShellAnswer answer = AskShell(ShellStep::kOpenFolder, call.ReadText(call.Arg(0)), u"", 0);
    if (answer.error != 0) {
        CurrentDevice().lastError = answer.error;
    }
    call.Return(answer.result);
}

void Ready(KernelCall&, KernelState&) {}

// GDI's stock objects and the window classes COREDLL registers at start-up: the launcher draws
// nothing, so a handle for each is all there is.
void NewWindowingObject(KernelCall& call, KernelState& state) {
    call.Return(NewHandle(state, kGraphicsSet));
}

// RegisterClassW(class): the class's atom, from where the windowing system numbers them.
void RegisterClass(KernelCall& call, KernelState&) {
    call.Return(kFirstClassAtom);
}

}  // namespace

const ServedCall kWindowingCalls[] = {
    {kGraphicsSet, 35, "GetStockObject", NewWindowingObject},
    {kWindowingSet, 0, "the windowing system's start notice", Ready},
    {kWindowingSet, 2, "RegisterClassW", RegisterClass},
    {kWindowingSet, 50, "MessageBoxW", MessageBox},
    {kWindowingSet, 209, "LoadCursorW", LoadCursor},
    {kWindowingSet, 210, "SetCursor", SetCursor},
    {kShellSet, 0, "the shell's start notice", Ready},
    {kShellSet, 9, "SHCreateExplorerInstance", OpenFolder},
    {0, 0, nullptr, nullptr},
};

}  // namespace sim::kernel
