// The locale data a unit's COREDLL maps at start-up: Platform Builder writes it into the image
// as \Windows\wince.nls.
#include "platform/sim/emulator/kernel/kernel.h"

namespace sim::kernel {

uint32_t LocaleView(KernelCall& call, KernelState& state) {
    return Allocate(call, state, 0x10000, "the locale data");
}

}  // namespace sim::kernel
