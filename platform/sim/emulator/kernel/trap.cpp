// Decoding a branch into the trap area, and dispatching the call to the part of the kernel
// that serves it.
#include "platform/sim/emulator/kernel/kernel.h"

#include "platform/sim/emulator/coredll.h"

namespace sim::kernel {
namespace {

constexpr uint32_t kMethodMask = 0xFF;

const ServedCall* Find(const ServedCall* table, uint32_t set, uint32_t method) {
    for (; table->name != nullptr; ++table) {
        if (table->set == set && table->method == method) {
            return table;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<Trap> DecodeTrap(uint32_t address) {
    if (address < kTrapBegin || address >= kTrapEnd || address % 4 != 0) {
        return std::nullopt;
    }
    Trap trap;
    if (address >= kFirstMethod) {
        trap.onHandle = true;
        trap.method = (address - kFirstMethod) / 4;
        return trap;
    }
    const uint32_t index = (kFirstMethod - address) / 4;
    trap.set = index >> 8;  // 64 at the very bottom: no API set, never served
    trap.method = index & kMethodMask;
    return trap;
}

uint32_t NewHandle(KernelState& state, uint32_t set) {
    const uint32_t handle = state.nextHandle;
    state.nextHandle += 4;
    state.handleSets[handle] = set;
    return handle;
}

uint32_t Allocate(KernelCall& call, KernelState& state, uint32_t size, const std::string& name) {
    const uint64_t rounded = (uint64_t{size} + 0xFFFF) / 0x10000 * 0x10000;
    if (size == 0 || state.nextAllocation + rounded > kAllocationEnd) {
        return 0;
    }
    const uint32_t at = state.nextAllocation;
    call.MapMemory(at, static_cast<uint32_t>(rounded), name);
    state.nextAllocation += static_cast<uint32_t>(rounded);
    return at;
}

std::optional<std::string> ServeTrap(KernelCall& call, KernelState& state, const Trap& trap) {
    Trap served = trap;
    if (trap.onHandle) {
        const auto handle = state.handleSets.find(call.Arg(0));
        if (handle == state.handleSets.end()) {
            return std::nullopt;
        }
        served.set = handle->second;
    }
    for (const ServedCall* table :
         {kProcessCalls, kFileSystemCalls, kWindowingCalls, kResourceCalls}) {
        const ServedCall* found = Find(table, served.set, served.method);
        if (found == nullptr) {
            continue;
        }
        ++state.calls;
        if (found->serve != nullptr) {
            found->serve(call, state);
        } else {
            FindCoredllFunction(found->name)->call(call);
        }
        return std::string(found->name);
    }
    return std::nullopt;
}

}  // namespace sim::kernel
