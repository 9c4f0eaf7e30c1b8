// The kernel's resource calls (API set 0) on a module mapped in the process: COREDLL finds the
// texts of the shell's error boxes in its own string table this way. Read from the module's
// headers and resource directory as they lie in memory.
#include "platform/sim/device.h"
#include "platform/sim/emulator/kernel/kernel.h"

namespace sim::kernel {
namespace {

constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kSubdirectory = 0x80000000;
constexpr uint32_t kNamedEntry = 0x80000000;
constexpr uint32_t kResourceNotFound = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
constexpr uint32_t kLargestId = 0xFFFF;

// The entry of a resource directory (at base + rva) for the numeric id, or for the first entry
// when first; 0 when none. Entries with names are not looked at: COREDLL asks by number.
uint32_t Entry(KernelCall& call, uint32_t resources, uint32_t directory, uint32_t id, bool first) {
    const uint32_t named = call.ReadU32(directory + 12) & 0xFFFF;
    const uint32_t numbered = call.ReadU32(directory + 12) >> 16;
    for (uint32_t i = 0; i < named + numbered; ++i) {
        const uint32_t entry = directory + 16 + 8 * i;
        const uint32_t name = call.ReadU32(entry);
        if (first || ((name & kNamedEntry) == 0 && name == id)) {
            return resources + (call.ReadU32(entry + 4) & ~kSubdirectory);
        }
    }
    return 0;
}

// FindResource(module, name, type): the resource's data entry, by type, then name, then the
// first language.
void FindResource(KernelCall& call, KernelState&) {
    const uint32_t module = call.Arg(0);
    const uint32_t name = call.Arg(1);
    const uint32_t type = call.Arg(2);
    uint32_t found = 0;
    if (name <= kLargestId && type <= kLargestId) {
        const uint32_t headers = module + call.ReadU32(module + 0x3C);
        const uint32_t rva = call.ReadU32(headers + 24 + 96 + 8 * kResourceDirectory);
        if (rva != 0) {
            const uint32_t resources = module + rva;
            const uint32_t names = Entry(call, resources, resources, type, false);
            const uint32_t languages = names != 0 ? Entry(call, resources, names, name, false) : 0;
            found = languages != 0 ? Entry(call, resources, languages, 0, true) : 0;
        }
    }
    if (found == 0) {
        CurrentDevice().lastError = kResourceNotFound;
    }
    call.Return(found);
}

// LoadResource(module, resource): where its data lies in the module.
void LoadResource(KernelCall& call, KernelState&) {
    call.Return(call.Arg(1) == 0 ? 0 : call.Arg(0) + call.ReadU32(call.Arg(1)));
}

void SizeofResource(KernelCall& call, KernelState&) {
    call.Return(call.Arg(1) == 0 ? 0 : call.ReadU32(call.Arg(1) + 4));
}

}  // namespace

const ServedCall kResourceCalls[] = {
    {0, 25, "FindResource", FindResource},
    {0, 26, "LoadResource", LoadResource},
    {0, 27, "SizeofResource", SizeofResource},
    {0, 0, nullptr, nullptr},
};

}  // namespace sim::kernel
