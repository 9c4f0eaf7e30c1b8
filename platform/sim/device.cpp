#include "platform/sim/device.h"

namespace sim {

Device& CurrentDevice() {
    static Device device;
    return device;
}

void ResetDevice() {
    CurrentDevice() = Device();
}

void CloseRecord(Device& device) {
    device.record.keysLeftOpen = static_cast<uint32_t>(device.openKeys.size());
    device.record.searchesLeftOpen = static_cast<uint32_t>(device.openSearches.size());
    device.record.endMs = device.clockMs;
}

}  // namespace sim
