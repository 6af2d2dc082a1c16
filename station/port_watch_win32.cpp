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

std::vector<PortFacts> portsIn(const std::filesystem::path& /*folder*/, bool /*details*/) {
    std::vector<std::string> names;
    gatherPortNames(names);
    std::vector<PortFacts> ports;
    for (const std::string& name : names) {
        ports.push_back({name, name, {}, {}, {}});
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

std::filesystem::path folderOfPort(const std::string& /*port*/) {
    return {};
}

} // namespace orvane
