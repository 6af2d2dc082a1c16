// Which device a path ends at, so that two names of one device are known as one: ttyUSB0 and
// its /dev/serial/by-id link, or /dev/pts/3 and /dev/tty (the controlling terminal) in the
// process whose terminal it is. Paths are never compared for this: they differ by links, and
// std::filesystem::equivalent gives no answer for character devices in some standard libraries.
#pragma once

#include <compare>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace orvane {

struct DeviceIdentity {
    bool characterDevice = false;
    std::uint64_t device = 0; // a character device's own number, else its file system's
    std::uint64_t inode = 0;  // 0 for a character device: any node of it is the device
    auto operator<=>(const DeviceIdentity&) const = default;
};

// The device path ends at, links followed; /dev/tty stands for the controlling terminal.
// Nothing when the path reaches nothing (or /dev/tty with no controlling terminal), and on
// systems whose devices have no such numbers (Windows: compare the port names there).
std::optional<DeviceIdentity> deviceIdentityOf(const std::filesystem::path& path);

} // namespace orvane
