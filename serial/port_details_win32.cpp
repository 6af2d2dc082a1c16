// Port details on Windows: the name and its device path, and whether the system has such a
// device. The driver and USB identity would need the setup API and are left empty; Windows
// gives every user the serial ports, and the program holding one is not told.
#include "serial/port_details.h"

#include <windows.h>

#include "serial/port_name.h"

namespace orvane {

UserIdentity UserIdentity::ofProcess() {
    return {};
}

std::optional<PortHolder> findPortHolder(const std::filesystem::path& /*device*/,
                                         const std::filesystem::path& /*procRoot*/) {
    return std::nullopt;
}

PortDetails describePort(std::string_view name, const PortRoots& /*roots*/, const UserIdentity& /*user*/) {
    PortDetails details;
    details.name = std::string(name);
    details.path = windowsDevicePathOf(name);
    if (details.path.empty()) {
        details.access = "no such device";
        return details;
    }
    // Asks the object manager, without opening the port (an open raises DTR).
    const std::string device = details.path.substr(4);
    char target[1024];
    details.access = QueryDosDeviceA(device.c_str(), target, sizeof target) != 0 ? "ok" : "no such device";
    return details;
}

std::string portDescription(const PortDetails& details) {
    if (details.product && !details.product->empty()) {
        return *details.product;
    }
    return details.driver.value_or(std::string());
}

} // namespace orvane
