// The cameras the demo upgrades and the lines they live on: a pseudo-terminal on Linux, an
// in-memory line on Windows (which has no pseudo-terminal) or wherever one is asked for. The
// demo itself is the same everywhere.
#pragma once

#include "serial/serial_link.h"
#include "sim/boot_loader.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace orvane {

class DemoCamera {
  public:
    virtual ~DemoCamera() = default;
    // The port the job opens, as the log names it.
    virtual std::string port() const = 0;
    // The job's line; nullptr: the serial port named port().
    virtual SerialLink* line() = 0;
    virtual std::optional<UpgradeVerdict> waitForVerdict(std::chrono::milliseconds timeout) = 0;
    virtual void stop() = 0;
};

struct DemoCameraSettings {
    std::uint8_t address = 1;
    int lineSpeed = 9600;
    int upgradeSpeed = 9600;
    unsigned number = 1; // which of the demo's cameras, from 1
};

// A camera on this system's own kind of line, its bytes paced at the line rate. nullptr:
// error says why.
std::unique_ptr<DemoCamera> startDemoCamera(const DemoCameraSettings& settings, std::string& error);
// A camera on an in-memory line, on every system.
std::unique_ptr<DemoCamera> startMemoryDemoCamera(const DemoCameraSettings& settings);

} // namespace orvane
