// Which device a port name stands for, so that two names of one port are known as one before
// two jobs on it would each take the other's replies: on Linux ttyUSB0, /dev/ttyUSB0, its
// /dev/serial/by-id link and /dev/tty; on Windows COM9 and \\.\com9.
#pragma once

#include "serial/device_identity.h"

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

struct PortKey {
    std::optional<DeviceIdentity> device; // where the system numbers its devices
    std::string path;                     // the device path, as the technician is shown it
    bool sameAs(const PortKey& other) const {
        return device || other.device ? device == other.device : path == other.path;
    }
};

// Linux: the device number where the name reaches a device, else the path with links
// followed. Windows: the device path (\\.\COM9), in capitals, as Windows ignores the case of
// device names. A name that stands for no device is its own key: its job says what is wrong.
PortKey portKeyOf(std::string_view port);

} // namespace orvane
