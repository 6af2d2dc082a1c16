// Where the station learns which ports are there: the watched folder's entries, a fixed
// slot's port, and a wait that ends when they may have changed. The station's rules see only
// this, so they can be run over ports that come and go at a test's word.
#pragma once

#include "station/port_match.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace orvane {

class StationPorts {
  public:
    virtual ~StationPorts() = default;
    // Rests until the ports may have changed (true) or the time is up (false; also where
    // changes cannot be heard: the station then looks again now and then).
    virtual bool waitForChange(std::chrono::milliseconds timeout) = 0;
    // The ports in folder now; with details, what --match looks at.
    virtual std::vector<PortFacts> portsIn(const std::filesystem::path& folder, bool details) = 0;
    // The port opens by this name now.
    virtual bool present(const std::string& port) = 0;
    // The device a port's name leads to now (a by-id link's tty), empty when it leads nowhere
    // or is the device itself.
    virtual std::string deviceOf(const std::string& port) = 0;
};

} // namespace orvane
