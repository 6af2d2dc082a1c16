// The machine's ports for a shift: the watched folder (or the folders of the fixed slots'
// ports) heard through PortWatch, read and looked at as they are now.
#pragma once

#include "station/port_watch.h"
#include "station/station_ports.h"

namespace orvane {

struct StationPlan;

class WatchedPorts final : public StationPorts {
  public:
    explicit WatchedPorts(const StationPlan& plan);
    bool waitForChange(std::chrono::milliseconds timeout) override { return watch_.waitForChange(timeout); }
    std::vector<PortFacts> portsIn(const std::filesystem::path& folder, bool details) override {
        return orvane::portsIn(folder, details);
    }
    bool present(const std::string& port) override { return portPresent(port); }
    std::string deviceOf(const std::string& port) override { return portDevice(port); }

  private:
    PortWatch watch_;
};

} // namespace orvane
