// The first holder of a port, and the technician's words for it.
#include "serial/port_holder.h"

#include <utility>

namespace orvane {

std::optional<PortHolder> findPortHolder(const std::filesystem::path& device,
                                         const std::filesystem::path& procRoot) {
    std::vector<PortHolder> holders = findPortHolders(device, procRoot);
    if (holders.empty()) {
        return std::nullopt;
    }
    return std::move(holders.front());
}

std::string busyPortHint(const PortHolder& holder) {
    std::string hint = "the port is held by " + holder.command + " (pid " + std::to_string(holder.pid) + ")";
    if (holder.command == "ModemManager") {
        return hint + ", which probes new serial adapters: stop it with sudo systemctl stop ModemManager, "
                      "or keep it off the adapter with a udev rule setting ENV{ID_MM_DEVICE_IGNORE}=\"1\"";
    }
    return hint + ": close it there first";
}

} // namespace orvane
