#include "serial/port_details.h"
#include "serial/port_list.h"
#include "station/port_watch.h"

#include <algorithm>
#include <cctype>
#include <thread>

namespace orvane {

// Windows tells of new COM ports through window messages a console program has not got:
// the list is read again each second instead, which costs next to nothing.
struct PortWatch::State {};

PortWatch::PortWatch(std::vector<std::filesystem::path> /*folders*/) : state_(std::make_unique<State>()) {}

PortWatch::~PortWatch() = default;

bool PortWatch::waitForChange(std::chrono::milliseconds timeout) {
    std::this_thread::sleep_for(timeout);
    return false;
}

// A port is known by its COM name; --match also sees the USB VID:PID and serial number the
// device setup API holds for it, where it holds them.
std::vector<PortFacts> portsIn(const std::filesystem::path& /*folder*/, bool details) {
    std::vector<std::string> names;
    gatherPortNames(names);
    std::vector<PortFacts> ports;
    for (const std::string& name : names) {
        PortFacts port{name, name, {}, {}, {}};
        if (details) {
            const PortDetails described = describePort(name);
            port.vid = described.vid;
            port.pid = described.pid;
            port.serial = described.serial;
        }
        ports.push_back(std::move(port));
    }
    return ports;
}

bool portPresent(const std::string& port) {
    std::vector<std::string> names;
    gatherPortNames(names);
    return std::any_of(names.begin(), names.end(), [&port](const std::string& name) {
        return std::equal(name.begin(), name.end(), port.begin(), port.end(), [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
        });
    });
}

std::string portDevice(const std::string& /*port*/) {
    return {}; // a COM name is the device itself
}

std::filesystem::path folderOfPort(const std::string& /*port*/) {
    return {};
}

} // namespace orvane
