// The devices the serial ports of this process hold, by device identity. The lock an open
// takes is on the node it opened, and one device may have several: /dev/tty reaches the
// controlling terminal through a node of its own.
#pragma once

#include "serial/device_identity.h"

#include <cstdint>

namespace orvane {

// Records that handle holds device; false (and nothing recorded) when another handle of this
// process holds it already.
bool claimDevice(const DeviceIdentity& device, std::intptr_t handle);
// Forgets what handle held; call it before the handle is closed, while its number is still ours.
void releaseDeviceClaim(std::intptr_t handle);

} // namespace orvane
