// The technician's words for a busy port's holder.
#include "serial/port_holder.h"

namespace orvane {

std::string busyPortHint(const PortHolder& holder) {
    std::string hint = "the port is held by " + holder.command + " (pid " + std::to_string(holder.pid) + ")";
    if (holder.command == "ModemManager") {
        return hint + ", which probes new serial adapters: stop it with sudo systemctl stop ModemManager, "
                      "or keep it off the adapter with a udev rule setting ENV{ID_MM_DEVICE_IGNORE}=\"1\"";
    }
    return hint + ": close it there first";
}

} // namespace orvane
