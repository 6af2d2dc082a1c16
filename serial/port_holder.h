// Which program holds a serial port open, and what to tell the technician about it: a busy
// port is most often a terminal program left open, or ModemManager probing a new adapter.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace orvane {

struct PortHolder {
    int pid = 0;
    std::string command; // the program's name as the system keeps it (at most 15 characters)
};

// The first other process with device open, among those whose descriptors this user may
// read under procRoot; nothing when none is found or procRoot is empty. device may be a link.
std::optional<PortHolder> findPortHolder(const std::filesystem::path& device,
                                         const std::filesystem::path& procRoot = "/proc");

// One line, English, without a trailing full stop, to stand for the reason of a busy port:
//   "the port is held by minicom (pid 4242): close it there first"
//   "the port is held by ModemManager (pid 812), which probes new serial adapters: stop it
//    with sudo systemctl stop ModemManager, or keep it off the adapter with a udev rule
//    setting ENV{ID_MM_DEVICE_IGNORE}="1""
std::string busyPortHint(const PortHolder& holder);

} // namespace orvane
