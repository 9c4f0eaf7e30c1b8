// A call to an address where no loader binds anything: the process ends on executing there.
#include "platform/platform.h"

// Inside the range the simulated device's loader reserves for COREDLL's functions, but bound to
// none of them. The emulator's binding region decides this value: keep the two in step.
static const uintptr_t kUnboundAddress = 0x00F0FFF0u;

typedef int (*Function)(void);

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    const Function unbound = reinterpret_cast<Function>(kUnboundAddress);
    return unbound();
}
