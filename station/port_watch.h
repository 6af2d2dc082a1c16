// Where the station learns that ports came or went. On Linux inotify wakes it as soon as an
// entry of a watched folder changes, so it rests in between; on Windows the COM port list is
// read again each second. A folder that does not exist yet (udev removes /dev/serial/by-id
// with its last device) is waited for.
#pragma once

#include "station/port_match.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace orvane {

class PortWatch {
  public:
    explicit PortWatch(std::vector<std::filesystem::path> folders);
    ~PortWatch();
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // Sleeps until something in the folders changed (true) or the time is up (false; also
    // where changes cannot be heard, and the caller then looks again now and then).
    bool waitForChange(std::chrono::milliseconds timeout);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// The ports in folder now, as paths (Linux: entries that lead to a device; Windows: the COM
// ports, folder unused); with details, each with what --match looks at (read from sysfs).
std::vector<PortFacts> portsIn(const std::filesystem::path& folder, bool details);
// The port opens by this name now.
bool portPresent(const std::string& port);
// The device the port's name leads to (Linux: the tty behind a by-id link), empty when it
// leads nowhere or is no link (Windows: always empty).
std::string portDevice(const std::string& port);
// The folder to watch for a fixed port's coming and going.
std::filesystem::path folderOfPort(const std::string& port);

} // namespace orvane
