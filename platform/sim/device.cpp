#include "platform/sim/device.h"

#include <chrono>

namespace sim {

Device& CurrentDevice() {
    static Device device;
    return device;
}

void ResetDevice() {
    CurrentDevice() = Device();
}

uint64_t HostNowNs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void CloseRecord(Device& device) {
    device.record.keysLeftOpen = static_cast<uint32_t>(device.openKeys.size());
    device.record.searchesLeftOpen = static_cast<uint32_t>(device.openSearches.size());
    device.record.endMs = device.clockMs;
}

}  // namespace sim
