// Which program holds a serial port open, and what to tell the technician about it: a busy
// port is most often a terminal program left open, or ModemManager probing a new adapter.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

struct PortHolder {
    int pid = 0;
    std::string command; // the program's name as the system keeps it (at most 15 characters)
    bool farEnd = false; // holds a pseudo-terminal's master side too: the line's other end
};

// Every other process with device open, among those whose descriptors this user may read
// under procRoot, in the order procRoot lists them; none when procRoot is empty. device may be
// a link. For a pseudo-terminal slave, a process that holds its master side as well (a virtual
// camera keeping its line up) is the far end of the line: such come after the programs that
// hold the port for use.
std::vector<PortHolder> findPortHolders(const std::filesystem::path& device,
                                        const std::filesystem::path& procRoot = "/proc");
// The first of them: the program a busy port is to be closed in, or nothing.
std::optional<PortHolder> findPortHolder(const std::filesystem::path& device,
                                         const std::filesystem::path& procRoot = "/proc");

// One line, English, without a trailing full stop, to stand for the reason of a busy port:
//   "the port is held by minicom (pid 4242): close it there first"
//   "the port is held by ModemManager (pid 812), which probes new serial adapters: stop it
//    with sudo systemctl stop ModemManager, or keep it off the adapter with a udev rule
//    setting ENV{ID_MM_DEVICE_IGNORE}="1""
std::string busyPortHint(const PortHolder& holder);

} // namespace orvane
