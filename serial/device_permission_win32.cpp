#include "serial/device_permission.h"

namespace orvane {

// Windows gives every user its serial ports: a refused open there means another program holds it.
std::optional<DevicePermission> devicePermissionOf(const std::string&) {
    return std::nullopt;
}

} // namespace orvane
