// The process-wide record of held devices: a handful of entries, one per open port.
#include "serial/held_devices.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace orvane {
namespace {

struct HeldDevices {
    std::mutex mutex;
    std::vector<std::pair<DeviceIdentity, std::intptr_t>> entries;
};

HeldDevices& heldDevices() {
    static HeldDevices held;
    return held;
}

} // namespace

bool claimDevice(const DeviceIdentity& device, std::intptr_t handle) {
    HeldDevices& held = heldDevices();
    const std::lock_guard lock(held.mutex);
    const bool taken = std::any_of(held.entries.begin(), held.entries.end(),
                                   [&](const auto& entry) { return entry.first == device; });
    if (!taken) {
        held.entries.emplace_back(device, handle);
    }
    return !taken;
}

void releaseDeviceClaim(std::intptr_t handle) {
    HeldDevices& held = heldDevices();
    const std::lock_guard lock(held.mutex);
    std::erase_if(held.entries, [&](const auto& entry) { return entry.second == handle; });
}

} // namespace orvane
